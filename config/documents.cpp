#include "config/documents.h"

#include <cstring>
#include <deque>
#include <set>
#include <string>
#include <vector>

#include "common/file_names.h"
#include "common/redirect.h"
#include "common/text.h"
#include "common/url.h"
#include "config/http_fetch.h"
#include "config/received_document.h"
#include "config/signed_document.h"
#include "common/size_text.h"
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
// known; a file the server does not have is counted. False when the
// request could not be made. Under the publisher's key the run file is one
// the list holds, so that only bytes of its signed hash are ever started.
bool TakeAnswer(const ProbeAnswer& answer, bool makesRunFile)
{
    CopyText(AppState.pendingEntry.sizeText, "0");
    const SizeAnswer found = answer(AppState.pendingEntry.sizeText);
    if (found == SizeAnswer::NotMade) return false;
    if (found == SizeAnswer::Missing) ++AppState.unfoundFiles;
    const bool sized = ParsePositiveSize(AppState.pendingEntry.sizeText) > 0;
    if (makesRunFile && (sized || !PublisherKeysPinned())) {
        CopyText(AppState.runFileName, LocalFileName(AppState.pendingEntry.url));
        CopyText(AppState.runFileSha256, AppState.pendingEntry.sha256);
    }
    if (sized) AddPendingEntry();
    return true;
}

// A File element the walk will size.
struct ListedFile {
    std::string url;
    bool run = false;
    char sha256[kSha256TextSize] = {};  // empty when the element has none that reads as a hash
    char blocks[kTextSize] = {};         // the block index's absolute URL; empty: none
};

// The block index's URL, resolved against the file's, as a browser resolves
// a link (never from https to http); none unless the file has a hash, which
// checks what the index gives.
void ReadBlocksUrl(const TiXmlElement* file, ListedFile& listed)
{
    const char* blocks = file->Attribute("blocks");
    if (listed.sha256[0] == '\0' || blocks == nullptr || IsAbsent(blocks) ||
        !ResolveRedirect(listed.url.c_str(), blocks, listed.blocks))
        listed.blocks[0] = '\0';
}

// The files to size, in order, up to the first element without a url.
// Over-long URLs, unsafe names, a name that an earlier file of the list
// already has (they would be one file on disk) and, under the publisher's
// key, a file without its hash are left out; the walk goes on.
std::vector<ListedFile> ListedFiles(const TiXmlElement* root)
{
    const bool hashRequired = PublisherKeysPinned();
    std::set<std::wstring> taken;
    for (FileList list = AppState.fileList; !list.Empty(); list.RemoveHead())
        taken.insert(PathKey(LocalFileName(list.Head().url)));
    std::vector<ListedFile> files;
    for (const TiXmlElement* file = root->FirstChildElement("File"); file != nullptr;
         file = file->NextSiblingElement()) {
        const char* url = AttributeText(file, "url");
        if (IsAbsent(url)) break;
        ListedFile listed{url, IsTrue(file, "run")};
        const bool hashed = ReadSha256Text(file->Attribute("sha256"), listed.sha256);
        if (strlen(url) >= kTextSize || !IsSafeFileName(LocalFileName(url)) || (hashRequired && !hashed) ||
            !taken.insert(PathKey(LocalFileName(url))).second)
            continue;
        ReadBlocksUrl(file, listed);
        files.push_back(listed);
    }
    return files;
}

// The engine library's hash that signed settings name replaces the build's
// pin, so that a publisher may ship a new library without a new program.
// Unsigned settings name none: a server must not choose what is loaded.
void TakeSignedEnginePin(const TiXmlElement* engine)
{
    if (engine == nullptr || !PublisherKeysPinned()) return;
    if (ReadSha256Text(engine->Attribute("sha256"), AppState.signedEnginePin))
        AppState.engineLibraryPin = AppState.signedEnginePin;
}

const ProbeStart kRealProbe = [](const char* url, const char* userAgent) { return StartSizeProbe(url, userAgent); };

// Sizing requests in flight at once.
constexpr size_t kProbesAtOnce = 8;

}  // namespace

void AddPendingEntry()
{
    AppState.totalSize += ParsePositiveSize(AppState.pendingEntry.sizeText);
    AppState.fileList.Append(AppState.pendingEntry);
}

HRESULT ApplySettingsDocument(const char* buffer, size_t count)
{
    TiXmlDocument document;
    if (!ParseReceivedDocument(document, buffer, count)) return E_FAIL;
    return ApplySettings(document);
}

HRESULT ApplySettings(const TiXmlDocument& document)
{
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
    TakeSignedEnginePin(root->FirstChildElement("Engine"));
    WalkServers(root->FirstChildElement("Server"));
    return S_OK;
}

void AddDirectlyNamedFile(const ProbeStart& probe)
{
    // No signed list names it: under the publisher's key it is left out.
    if (AppState.pendingEntry.url[0] == '\0' || PublisherKeysPinned()) return;
    if (!IsSafeFileName(LocalFileName(AppState.pendingEntry.url))) return;
    TakeAnswer(probe(AppState.pendingEntry.url, "Glenmoor SetXml"), true);
}

HRESULT ApplyFileListDocument(const char* buffer, size_t count, const ProbeStart& probe)
{
    TiXmlDocument document;
    if (!ParseReceivedDocument(document, buffer, count)) return E_FAIL;
    return ApplyFileList(document, probe);
}

HRESULT ApplyFileList(const TiXmlDocument& document, const ProbeStart& probe)
{
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
        CopyText(AppState.pendingEntry.sha256, files[taken].sha256);
        CopyText(AppState.pendingEntry.blocks, files[taken].blocks);
        // The first file that cannot be sized ends the list; the requests
        // after it are given up.
        if (!TakeAnswer(answer, files[taken].run)) break;
    }
    return S_OK;
}

HRESULT ReadSettingsDocument()
{
    TiXmlDocument document;
    if (FAILED(ReadWholeDocument(AppState.settingsUrl, DocumentRole::Settings, document))) return E_FAIL;
    return ApplySettings(document);
}

void AddDirectlyNamedFile() { AddDirectlyNamedFile(kRealProbe); }

HRESULT ReadFileListDocument()
{
    TiXmlDocument document;
    if (FAILED(ReadWholeDocument(AppState.fileListUrl, DocumentRole::FileList, document))) return E_FAIL;
    return ApplyFileList(document, kRealProbe);
}
