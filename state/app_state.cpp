#include "state/app_state.h"

#include "engine_pin_value.h"
#include "publisher_keys_value.h"

const char kEngineLibraryPin[] = VEXIL_ENGINE_PIN;
const char kPublisherKeys[] = VEXIL_PUBLISHER_KEY_LIST;

AppStateRecord AppState;
