// Gives each test a freshly constructed state record.
#pragma once
#include <new>

#include "state/app_state.h"

inline void ResetAppState()
{
    AppState.~AppStateRecord();
    new (&AppState) AppStateRecord();
}
