#include "config/received_document.h"

#include <string>
#include <vector>

#include "common/signature.h"
#include "config/http_fetch.h"
#include "state/app_state.h"
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

// The signature file as its answer gives it, whole; false when none was
// read (or none was asked for).
bool TakeSignature(const DocumentAnswer& answer, std::vector<char>& signature)
{
    DWORD count = kSignatureFileCapacity;
    signature.assign(count, 0);
    if (!answer || FAILED(answer(signature.data(), &count))) return false;
    signature.resize(count);
    return true;
}

// Reads url (and its signature, at the same time) and judges it, once.
DocumentVerdict ReadAndJudge(const char* url, DocumentRole role, TiXmlDocument& document)
{
    char signatureUrl[kTextSize];
    DocumentAnswer signatureAnswer;
    if (PublisherKeysPinned() && SignatureLocation(url, signatureUrl))
        signatureAnswer = StartDocumentRead(signatureUrl, kSignatureFileCapacity);
    std::vector<char> buffer(kDocumentCapacity, 0), signature;
    DWORD count = kDocumentCapacity;
    document.Clear();
    if (FAILED(ReadDocument(buffer.data(), &count, url))) return DocumentVerdict::Unreadable;
    const bool hasSignature = TakeSignature(signatureAnswer, signature);
    return JudgeDocument(role, buffer.data(), count, hasSignature ? signature.data() : nullptr, signature.size(), document);
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

HRESULT ReadWholeDocument(const char* url, DocumentRole role, TiXmlDocument& document)
{
    DocumentVerdict verdict = ReadAndJudge(url, role, document);
    if (verdict != DocumentVerdict::Accepted) {
        Sleep(50);
        verdict = ReadAndJudge(url, role, document);
    }
    if (verdict == DocumentVerdict::Accepted) return S_OK;
    if (const char* message = VerdictMessage(verdict)) CopyText(AppState.statusMessage, message);
    return E_FAIL;
}
