#include "config/received_document.h"

#include <string>
#include <vector>

#include "config/http_fetch.h"
#include "tinyxml.h"

namespace {

// Real documents nest two or three levels deep.
constexpr int kMaxNesting = 256;

// TinyXML parses and frees nested elements recursively: a document of a few
// thousand nested tags, which fits in 65000 bytes, would overflow the stack.
bool NestingWithin(const char* text, int limit)
{
    int depth = 0;
    for (const char* p = text; *p != '\0'; ++p) {
        if (*p != '<' || p[1] == '!' || p[1] == '?') continue;
        if (p[1] == '/') {
            --depth;
            continue;
        }
        if (++depth > limit) return false;
        char quote = '\0';
        for (++p; *p != '\0' && (quote != '\0' || *p != '>'); ++p) {
            if (quote != '\0') {
                if (*p == quote) quote = '\0';
            } else if (*p == '"' || *p == '\'') {
                quote = *p;
            }
        }
        if (*p == '\0') break;
        if (p[-1] == '/') --depth;
    }
    return true;
}

// Bytes that follow a UTF-8 lead byte, or -1 for a byte no character starts with.
int Utf8TrailCount(unsigned char c)
{
    if (c < 0x80) return 0;
    if (c >= 0xC2 && c <= 0xDF) return 1;
    if (c >= 0xE0 && c <= 0xEF) return 2;
    if (c >= 0xF0 && c <= 0xF4) return 3;
    return -1;
}

bool IsValidUtf8(const std::string& text)
{
    for (size_t i = 0; i < text.size();) {
        const int trail = Utf8TrailCount(static_cast<unsigned char>(text[i]));
        if (trail < 0 || text.size() - i <= static_cast<size_t>(trail)) return false;
        for (int k = 1; k <= trail; ++k)
            if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80) return false;
        i += static_cast<size_t>(trail) + 1;
    }
    return true;
}

// Reads and parses url once.
bool ReadAndParse(const char* url, TiXmlDocument& document)
{
    std::vector<char> buffer(kDocumentCapacity, 0);
    DWORD count = kDocumentCapacity;
    document.Clear();
    return SUCCEEDED(ReadDocument(buffer.data(), &count, url)) && ParseReceivedDocument(document, buffer.data(), count);
}

}  // namespace

bool ParseReceivedDocument(TiXmlDocument& document, const char* buffer, size_t count)
{
    std::string text;
    text.reserve(count);
    for (size_t i = 0; i < count; ++i) {
        if (buffer[i] == '\r') {
            text += '\n';
            if (i + 1 < count && buffer[i + 1] == '\n') ++i;
        } else {
            text += buffer[i];
        }
    }
    if (!NestingWithin(text.c_str(), kMaxNesting)) return false;
    // TinyXML takes a document without a declared encoding for UTF-8, where
    // CP949 bytes swallow the markup after them: such a document is read
    // byte for byte, as one that declares CP949.
    document.Parse(text.c_str(), nullptr, IsValidUtf8(text) ? TIXML_DEFAULT_ENCODING : TIXML_ENCODING_LEGACY);
    return !document.Error();
}

HRESULT ReadWholeDocument(const char* url, TiXmlDocument& document)
{
    if (ReadAndParse(url, document)) return S_OK;
    Sleep(50);
    return ReadAndParse(url, document) ? S_OK : E_FAIL;
}
