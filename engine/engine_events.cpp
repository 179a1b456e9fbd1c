#include "engine/engine_events.h"

HRESULT __stdcall OnEngineEvent(void*, int32_t, uint32_t, uint32_t) { return S_OK; }
void HandleEngineEvent(WPARAM, LPARAM) {}
