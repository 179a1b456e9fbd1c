// Where the bytes of an answer's body come from: the request itself, or one
// part at a time of a body of several ranges (multipart/byteranges).
#pragma once
#include <windows.h>
#include <wininet.h>

#include <cstddef>
#include <cstdint>

#include "tkwengine/exchange.h"

class BodyReader {
public:
    // Up to size bytes; got is 0 at the end. False when the read failed.
    virtual bool Read(char* buffer, DWORD size, DWORD& got) = 0;

protected:
    ~BodyReader() = default;
};

class RequestBody : public BodyReader {
public:
    explicit RequestBody(HINTERNET request) : request_(request) {}
    bool Read(char* buffer, DWORD size, DWORD& got) override
    {
        return InternetReadFile(request_, buffer, size, &got) != FALSE;
    }

private:
    HINTERNET request_;
};

// A multipart/byteranges body: each part's delimiter and headers are read
// through a small buffer of its own, its bytes then straight into the
// reader's, first those that the last read of its head brought along.
class PartReader : public BodyReader {
public:
    static constexpr size_t kHeadSize = 1024;  // a part's head is far shorter

    PartReader(BodyReader& body, const char* boundary);
    // The next part's range, once the last one has been read to its end;
    // false at the body's end, or when it is not a well-formed part of a
    // file's bytes.
    bool NextPart(ContentRange& range);
    // At most the rest of the current part.
    bool Read(char* buffer, DWORD size, DWORD& got) override;

private:
    bool Fill();
    bool ParseHead(const char* head, ContentRange& range) const;

    BodyReader& body_;
    char delimiter_[80] = {};  // "--" and the boundary
    char held_[kHeadSize + 1] = {};
    size_t heldFrom_ = 0, heldTo_ = 0;  // bytes read ahead
    uint64_t left_ = 0;                 // of the current part
    bool broken_ = false;
};
