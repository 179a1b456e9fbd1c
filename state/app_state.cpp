#include "state/app_state.h"

#include "engine_pin_value.h"

const char kEngineLibraryPin[] = VEXIL_ENGINE_PIN;

AppStateRecord AppState;
