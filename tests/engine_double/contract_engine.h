// The contract-checking engine library's extra exports, for the test
// programs that load it: the log of everything it saw, and its script.
#pragma once
#include <windows.h>

// The log, one line per call, event or breach of the contract:
//   GetVDInterface service=S servers=S one=N encrypt=N report=N userinfo=N reference=desktop|window|invalid
//   SetDownloadFolder FOLDER / StartDownload URL SIZE / StartVerifiedDownload URL SIZE HASH /
//   StartDeltaDownload URL SIZE HASH BLOCKS / CancelDownload / Release
//   event CODE VALUE [context=null] / violation: TEXT
typedef const char*(__stdcall* ContractLogProc)();

// Replaces the script (see contract_engine.cpp) and forgets which entries
// were used.
typedef void(__stdcall* ContractScriptProc)(const char* script);
