// Blocking HTTP operations of the program itself: documents, sizes and
// files fetched at start-up.
#pragma once
#include <windows.h>

#include <cstdint>
#include <functional>

constexpr DWORD kDocumentCapacity = 65000;
// The engine library and the picture: anything larger is refused.
constexpr int64_t kLargestFetchedFile = 16 << 20;

// Every operation ends within about 6 s of the call, however slowly the
// server answers: each runs on a task of its own (common/bounded_task.h).

// Reads a whole document into buffer; *count is the capacity on entry and
// the number of bytes received on return (unchanged when no body was read).
HRESULT ReadDocument(char* buffer, DWORD* count, const char* url);

// The same, started at once for a body of at most capacity bytes and
// answered when the returned function is called (the budget runs from the
// start); dropping the function unanswered gives the request up.
using DocumentAnswer = std::function<HRESULT(char* buffer, DWORD* count)>;
DocumentAnswer StartDocumentRead(const char* url, DWORD capacity);

enum class BodyCheck { None, ProgramImage };

// Streams url into path through a temporary file beside it; path is replaced
// only by a whole 200 answer of at most kLargestFetchedFile that passes the
// check.
HRESULT DownloadToFile(const char* url, const char* path, const char* userAgent,
                       BodyCheck check = BodyCheck::None);

// HEAD request for url; true when the request was made. The size of a
// success is copied into sizeText (512 bytes), which is otherwise untouched.
// A server that refuses HEAD (403, 405, 501) is asked for the first byte
// with a ranged GET instead, whose Content-Range total (or a 200's length)
// is the size; no other error status gives one.
bool ProbeFileSize(const char* url, const char* userAgent, char* sizeText);

// What sizing a file found.
enum class SizeAnswer {
    NotMade,   // no request could be made, or no answer came in time
    Answered,  // a success, with the size in sizeText when it gave one
    Missing,   // an error status, and no size from a ranged GET either
};

// The same, started at once and answered when the returned function is
// called (the budget runs from the start); dropping the function unanswered
// gives the request up.
using ProbeAnswer = std::function<SizeAnswer(char* sizeText)>;
ProbeAnswer StartSizeProbe(const char* url, const char* userAgent);
