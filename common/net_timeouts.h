// Explicit WinINet time-outs: the platform's defaults let a silent server
// hold a request for minutes.
#pragma once
#include <windows.h>
#include <wininet.h>

// Connect, send and receive limits of handle and the handles made from it.
void ApplyTimeouts(HINTERNET handle, DWORD ms);
