// Blocking HTTP operations of the program itself (documents, sizes, the
// engine library, the background picture).
#pragma once
#include <windows.h>

#include "app/command_line.h"

constexpr const char kEngineLibraryUrl[] = VEXIL_SERVER_URL "/glenmoor/tkwengine.dll";
constexpr DWORD kDocumentCapacity = 65000;

// Reads a whole document into buffer; *count is the capacity on entry and
// the number of bytes received on return (unchanged when no body was read).
HRESULT ReadDocument(char* buffer, DWORD* count, const char* url);

enum class BodyCheck { None, ProgramImage };

// Streams url into path through a temporary file beside it; path is replaced
// only by a whole 200 answer that passes the check.
HRESULT DownloadToFile(const char* url, const char* path, const char* userAgent,
                       BodyCheck check = BodyCheck::None);
HRESULT DownloadEngineLibrary(const char* path, const char* url = kEngineLibraryUrl);
HRESULT DownloadImage(const char* url, const char* path);

// HEAD request for url; true when the request was made. A Content-Length
// answer is copied into sizeText (512 bytes), which is otherwise untouched.
bool ProbeFileSize(const char* url, const char* userAgent, char* sizeText);

// Sets AppState.engineLibraryPath and fetches the library from url when it
// is not on disk or, with AppState.engineLibraryPin set, does not match the
// pin. Always 0.
int EnsureEngineLibrary(const char* url = kEngineLibraryUrl);
