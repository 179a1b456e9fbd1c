// Engine events: the callback the engine calls on its own threads, and their
// handling on the window's thread.
#pragma once
#include <windows.h>

#include <cstddef>
#include <cstdint>

HRESULT __stdcall OnEngineEvent(void* context, int32_t event, uint32_t valueLow, uint32_t valueHigh);
void HandleEngineEvent(WPARAM event, LPARAM code);

// Renders seconds as hours:minutes:seconds, two digits each at least.
void FormatDuration(uint32_t seconds, char* out, size_t outSize);

// The status text for an engine error code (nullptr when it has none), and
// whether the error invites the user to try again.
const char* EngineErrorMessage(int32_t code, bool* retryAllowed);
