#include "config/documents.h"

#include <cstring>
#include <deque>
#include <string>
#include <vector>

#include "common/file_names.h"
#include "common/text.h"
#include "common/url.h"
#include "config/http_fetch.h"
#include "config/size_text.h"
#include "state/app_state.h"
#include "tinyxml.h"

namespace {

const char kAbsent[] = "(null)";

// An absent attribute reads as "(null)", as the documents' convention has it.
const char* AttributeText(const TiXmlElement* element, const char* name)
{
    const char* value = element->Attribute(name);
    return value ? value : kAbsent;
}

bool IsAbsent(const char* text) { return _stricmp(text, kAbsent) == 0; }

bool IsTrue(const TiXmlElement* element, const char* name)
{
    return _stricmp(AttributeText(element, name), "true") == 0;
}

// Appends one address, or nothing when it would not fit whole.
bool AppendServer(const char* address)
{
    const size_t used = strlen(AppState.serverList);
    const size_t extra = (used ? 1 : 0) + strlen(address);
    if (used + extra >= kTextSize) return false;
    if (used) strcat(AppState.serverList, ";");
    strcat(AppState.serverList, address);
    return true;
}

void WalkServers(const TiXmlElement* element)
{
    while (element != nullptr) {
        const char* address = AttributeText(element, "addr");
        if (IsAbsent(address) || !AppendServer(address)) return;
        element = element->NextSiblingElement();
        if (element != nullptr && element->Attribute("addr") == nullptr) return;
    }
}

// Takes the answer for pendingEntry and adds the entry when its size is
// known. False when the request could not be made.
bool TakeAnswer(const ProbeAnswer& answer, bool makesRunFile)
{
    CopyText(AppState.pendingEntry.sizeText, "0");
    if (!answer(AppState.pendingEntry.sizeText)) return false;
    if (makesRunFile) CopyText(AppState.runFileName, LocalFileName(AppState.pendingEntry.url));
    if (ParsePositiveSize(AppState.pendingEntry.sizeText) > 0) AddPendingEntry();
    return true;
}

// A File element the walk will size.
struct ListedFile {
    std::string url;
    bool run = false;
};

// The files to size, in order, up to the first element without a url.
// Over-long URLs and unsafe names are left out; the walk goes on.
std::vector<ListedFile> ListedFiles(const TiXmlElement* root)
{
    std::vector<ListedFile> files;
    for (const TiXmlElement* file = root->FirstChildElement("File"); file != nullptr;
         file = file->NextSiblingElement()) {
        const char* url = AttributeText(file, "url");
        if (IsAbsent(url)) break;
        if (strlen(url) >= kTextSize || !IsSafeFileName(LocalFileName(url))) continue;
        files.push_back({url, IsTrue(file, "run")});
    }
    return files;
}

// Reads url with one retry after 50 ms, each attempt with the full capacity.
HRESULT ReadWithRetry(const char* url, std::vector<char>& buffer, DWORD* count)
{
    buffer.assign(kDocumentCapacity, 0);
    *count = kDocumentCapacity;
    if (SUCCEEDED(ReadDocument(buffer.data(), count, url))) return S_OK;
    Sleep(50);
    buffer.assign(kDocumentCapacity, 0);
    *count = kDocumentCapacity;
    return ReadDocument(buffer.data(), count, url);
}

const ProbeStart kRealProbe = [](const char* url, const char* userAgent) { return StartSizeProbe(url, userAgent); };

// Sizing requests in flight at once.
constexpr size_t kProbesAtOnce = 8;

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

}  // namespace

void ParseReceivedDocument(TiXmlDocument& document, const char* buffer, size_t count)
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
    if (!NestingWithin(text.c_str(), kMaxNesting)) return;
    // TinyXML takes a document without a declared encoding for UTF-8, where
    // CP949 bytes swallow the markup after them: such a document is read
    // byte for byte, as one that declares CP949.
    document.Parse(text.c_str(), nullptr, IsValidUtf8(text) ? TIXML_DEFAULT_ENCODING : TIXML_ENCODING_LEGACY);
}

void AddPendingEntry()
{
    AppState.totalSize += ParsePositiveSize(AppState.pendingEntry.sizeText);
    AppState.fileList.Append(AppState.pendingEntry);
}

HRESULT ApplySettingsDocument(const char* buffer, size_t count)
{
    TiXmlDocument document;
    ParseReceivedDocument(document, buffer, count);
    const TiXmlElement* root = document.FirstChildElement("Download");
    if (root == nullptr) return E_FAIL;

    if (const TiXmlElement* title = root->FirstChildElement("Title")) {
        if (const char* text = title->GetText()) CopyText(AppState.windowTitle, text);
    }
    if (const TiXmlElement* service = root->FirstChildElement("Service")) {
        CopyTextWhole(AppState.serviceId, AttributeText(service, "id"));
        AppState.encryptFlag = IsTrue(service, "encrypt") ? 1 : 0;
        AppState.userInfoMode = IsTrue(service, "userinfo") ? 1 : 2;
        const char* report = AttributeText(service, "report");
        if (_stricmp(report, "LIP") == 0) AppState.reportMode = 1;
        else if (_stricmp(report, "FID") == 0) AppState.reportMode = 2;
        else if (_stricmp(report, "XML") == 0) AppState.reportMode = 3;
    }
    if (const TiXmlElement* location = root->FirstChildElement("Location")) {
        CopyTextWhole(AppState.downloadFolder, AttributeText(location, "saveto"));
        // A sub-folder that would leave the folder is ignored: the files then
        // go to the folder itself.
        if (const char* folder = location->Attribute("mkdir")) {
            if (strlen(folder) > 1 && IsSafeSubFolder(folder)) CopyTextWhole(AppState.subFolderName, folder);
        }
    }
    if (const TiXmlElement* image = root->FirstChildElement("Image")) {
        CopyTextWhole(AppState.imageUrl, AttributeText(image, "url"));
    }
    WalkServers(root->FirstChildElement("Server"));
    return S_OK;
}

void AddDirectlyNamedFile(const ProbeStart& probe)
{
    if (AppState.pendingEntry.url[0] == '\0') return;
    if (!IsSafeFileName(LocalFileName(AppState.pendingEntry.url))) return;
    TakeAnswer(probe(AppState.pendingEntry.url, "Glenmoor SetXml"), true);
}

HRESULT ApplyFileListDocument(const char* buffer, size_t count, const ProbeStart& probe)
{
    TiXmlDocument document;
    ParseReceivedDocument(document, buffer, count);
    const TiXmlElement* root = document.FirstChildElement("Download");
    if (root == nullptr) return E_FAIL;

    const std::vector<ListedFile> files = ListedFiles(root);
    std::deque<ProbeAnswer> inFlight;  // answers of files[taken] on
    size_t started = 0;
    for (size_t taken = 0; taken < files.size(); ++taken) {
        for (; started < files.size() && started < taken + kProbesAtOnce; ++started)
            inFlight.push_back(probe(files[started].url.c_str(), "Glenmoor FileXml"));
        const ProbeAnswer answer = std::move(inFlight.front());
        inFlight.pop_front();
        CopyText(AppState.pendingEntry.url, files[taken].url.c_str());
        // The first file that cannot be sized ends the list; the requests
        // after it are given up.
        if (!TakeAnswer(answer, files[taken].run)) break;
    }
    return S_OK;
}

HRESULT ReadSettingsDocument()
{
    std::vector<char> buffer;
    DWORD count = 0;
    if (FAILED(ReadWithRetry(AppState.settingsUrl, buffer, &count))) return E_FAIL;
    return ApplySettingsDocument(buffer.data(), count);
}

void AddDirectlyNamedFile() { AddDirectlyNamedFile(kRealProbe); }

HRESULT ReadFileListDocument()
{
    std::vector<char> buffer;
    DWORD count = 0;
    if (FAILED(ReadWithRetry(AppState.fileListUrl, buffer, &count))) return E_FAIL;
    return ApplyFileListDocument(buffer.data(), count, kRealProbe);
}
