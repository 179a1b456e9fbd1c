// Gives each test a freshly constructed state record, with no publisher key
// pinned: a test of signed documents pins its own key.
#pragma once
#include <new>

#include "state/app_state.h"

inline void ResetAppState()
{
    AppState.~AppStateRecord();
    new (&AppState) AppStateRecord();
    AppState.publisherKeys = "";
}
