// Engine events: the callback the engine calls, and their handling on the
// window's thread.
#pragma once
#include <windows.h>
#include <cstdint>

HRESULT __stdcall OnEngineEvent(void* context, int32_t event, uint32_t valueLow, uint32_t valueHigh);
void HandleEngineEvent(WPARAM event, LPARAM code);
