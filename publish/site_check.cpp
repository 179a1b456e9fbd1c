// check: a site as the program and the engine will use it. The documents
// are read and walked by the program's own code; then every listed file is
// asked for on its host and on every mirror the way the engine asks.
#include <windows.h>
#include <wininet.h>

#include <string>
#include <vector>

#include "bridge/engine_events.h"
#include "common/block_index.h"
#include "common/content_range.h"
#include "common/win_handles.h"
#include "config/documents.h"
#include "config/received_document.h"
#include "config/server_urls.h"
#include "publish/console.h"
#include "publish/findings.h"
#include "publish/site_request.h"
#include "publish/verbs.h"
#include "state/app_state.h"
#include "state/messages.h"
#include "tinyxml.h"
#include "tkwengine/target.h"

namespace {

// A validator that no server's file has.
constexpr char kStaleValidator[] = "\"vexil-check-stale\"";

std::string EngineMessage(int32_t code)
{
    bool retry = false;
    const char* message = EngineErrorMessage(code, &retry);
    return std::string("\"") + (message ? message : "") + "\"";
}

bool IsSuccess(DWORD status) { return status >= 200 && status < 300; }

bool IsStrong(const std::string& etag) { return !etag.empty() && etag[0] == '"'; }

struct ListedFile {
    std::string url, sha256;
    int64_t size = 0;    // 0: the program leaves it out
    std::string blocks;  // its block index's URL, as the program resolved it; empty: none
};

bool OfTheFile(const BlockIndex& index, const ListedFile& file)
{
    char hex[kSha256TextSize];
    DigestText(index.sha256, hex);
    return index.fileSize == static_cast<uint64_t>(file.size) && lstrcmpiA(hex, file.sha256.c_str()) == 0;
}

class SiteCheck {
public:
    explicit SiteCheck(HINTERNET internet) : internet_(internet) {}

    bool ReadDocuments(const std::string& settingsUrl, const std::string& listUrl);
    void CheckFile(const ListedFile& file);
    const std::vector<ListedFile>& Files() const { return files_; }
    size_t Servers() const { return servers_; }
    const Findings& Found() const { return findings_; }

private:
    bool ReadDocument(const std::string& url, DocumentRole role, const char* what, TiXmlDocument& document);
    void CheckServer(const ListedFile& file, const std::string& url, bool host, std::string& etag);
    bool CheckHead(const std::string& url, int64_t size, bool host);
    void CheckRanges(const ListedFile& file, const std::string& url, const SiteAnswer& whole);
    void CheckIfRange(const ListedFile& file, const std::string& url, const std::string& validator);
    void CheckBlocks(const ListedFile& file);

    HINTERNET internet_;
    Findings findings_;
    std::vector<ListedFile> files_;
    size_t servers_ = 0;
};

bool SiteCheck::ReadDocument(const std::string& url, DocumentRole role, const char* what, TiXmlDocument& document)
{
    AppState.statusMessage[0] = '\0';
    if (SUCCEEDED(ReadWholeDocument(url.c_str(), role, document)) && document.FirstChildElement("Download"))
        return true;
    if (AppState.statusMessage[0] != '\0') {  // refused under the publisher's key
        findings_.Add(Severity::Hurts, url, std::string("the ") + what + " is refused under the publisher's key",
                      std::string("\"") + AppState.statusMessage + "\", and nothing is downloaded",
                      "sign it with vexil-publish sign (a key the program pins, a version no lower than before, "
                      "an expiry ahead) and publish its .sig beside it");
        return false;
    }
    const SiteAnswer answer = AskSite(internet_, "GET", url, "", Body::Left);
    std::string why = !answer.answered ? FailureText(answer)
                      : answer.status == 404 ? "it is not there (404)"
                                             : "it is not one whole XML document with a Download element";
    findings_.Add(Severity::Hurts, url, std::string("the ") + what + " cannot be read: " + why,
                  std::string("\"") + kMessageDocumentsUnreadable + "\", and nothing is downloaded",
                  "serve the whole document at this URL, at most 65000 bytes");
    return false;
}

// The documents as the program reads them: the files it lists, and the
// File elements it leaves out.
bool SiteCheck::ReadDocuments(const std::string& settingsUrl, const std::string& listUrl)
{
    TiXmlDocument settings, list;
    if (!ReadDocument(settingsUrl, DocumentRole::Settings, "settings document", settings) ||
        FAILED(ApplySettings(settings)) || !ReadDocument(listUrl, DocumentRole::FileList, "file-list document", list))
        return false;
    const ProbeStart probe = [](const char* url, const char* agent) { return StartSizeProbe(url, agent); };
    ApplyFileList(list, probe);
    for (const TiXmlElement* file = list.FirstChildElement("Download")->FirstChildElement("File"); file;
         file = file->NextSiblingElement()) {
        const char* url = file->Attribute("url");
        if (!url) break;
        ListedFile listed{url, file->Attribute("sha256") ? file->Attribute("sha256") : "", 0, ""};
        for (FileList entries = AppState.fileList; !entries.Empty(); entries.RemoveHead()) {
            if (listed.url != entries.Head().url) continue;
            listed.size = _strtoi64(entries.Head().sizeText, nullptr, 10);
            listed.blocks = entries.Head().blocks;
        }
        files_.push_back(listed);
    }
    return true;
}

void SiteCheck::CheckFile(const ListedFile& file)
{
    Target target;
    if (!ParseTarget(file.url.c_str(), target)) {
        findings_.Add(Severity::Hurts, file.url, "not an http or https URL the downloader takes",
                      "the file is left out", "list it as https://host[:port]/path");
        return;
    }
    AppendMirrors(AppState.serverList, target);
    std::string hostTag;
    for (size_t index = 0; index < target.count; ++index) {
        char url[kTextSize];
        if (!EndpointUrl(target, target.endpoints[index], url)) continue;
        ++servers_;
        std::string etag;
        CheckServer(file, url, index == 0, etag);
        if (index == 0) hostTag = etag;
        if (index > 0 && IsStrong(hostTag) && IsStrong(etag) && etag != hostTag)
            findings_.Add(Severity::Costs, url, "its ETag " + etag + " is not the host's " + hostTag,
                          "a file's pieces come only from answers of one version: this mirror's are not used "
                          "with the host's, and a resume moves between them only by starting again",
                          "give every server the same strong ETag for the same bytes");
    }
    CheckBlocks(file);
}

// The block index as the engine reads it: one it cannot use costs each
// player with an older copy the whole file.
void SiteCheck::CheckBlocks(const ListedFile& file)
{
    if (file.blocks.empty() || file.size <= 0) return;
    const SiteAnswer answer = AskSite(internet_, "GET", file.blocks, "", Body::Kept);
    BlockIndex index;
    std::string what;
    if (!answer.answered || answer.status != 200)
        what = "its block index cannot be fetched: " +
               (answer.answered ? "GET answers " + std::to_string(answer.status) : FailureText(answer));
    else if (!ReadBlockIndex(reinterpret_cast<const uint8_t*>(answer.bytes.data()), answer.bytes.size(), index))
        what = "its block index is damaged, too large or of another format";
    else if (!OfTheFile(index, file))
        what = "its block index is another file's";
    if (!what.empty())
        findings_.Add(Severity::Costs, file.blocks, what,
                      "a player with an older copy fetches the whole file instead of what changed",
                      "write the indexes with vexil-publish list --blocks, and publish them with their files");
}

// As the program sizes a file: only the host's HEAD counts. False when
// the program leaves the file out for it.
bool SiteCheck::CheckHead(const std::string& url, int64_t size, bool host)
{
    const SiteAnswer head = AskSite(internet_, "HEAD", url, "", Body::Left);
    if (!host || !head.answered) return true;
    if (head.status == 403 || head.status == 405 || head.status == 501) {
        findings_.Add(Severity::Costs, url, "HEAD is refused (" + std::to_string(head.status) + ")",
                      "the downloader asks for the file's first byte instead: a second request per file at start-up",
                      "allow HEAD for the files");
    } else if (!IsSuccess(head.status)) {
        char shown[kTextSize];
        FormatText(shown, sizeof shown, kMessageFilesNotFound, 1);
        findings_.Add(Severity::Hurts, url, "HEAD answers " + std::to_string(head.status),
                      "the file is left out, and the window says \"" + std::string(shown) + "\"",
                      "publish the file at this URL, or take it out of the list");
        return false;
    } else if (size > 0 && head.length != std::to_string(size)) {
        findings_.Add(Severity::Hurts, url, "HEAD gives " + head.length + " bytes, not " + std::to_string(size),
                      EngineMessage(kErrorServerChanged), "serve one file at one URL");
    }
    return true;
}

void SiteCheck::CheckServer(const ListedFile& file, const std::string& url, bool host, std::string& etag)
{
    if (!CheckHead(url, file.size, host)) return;
    const SiteAnswer whole = AskSite(internet_, "GET", url, "", Body::Read);
    const Severity failing = host ? Severity::Hurts : Severity::Costs;
    const std::string skipped = host ? "the download fails on it" : "the engine moves past this mirror";
    if (!whole.answered) return findings_.Add(failing, url, FailureText(whole), skipped, "");
    if (whole.status != 200)
        return findings_.Add(failing, url, "GET answers " + std::to_string(whole.status), skipped,
                             "serve the file here");
    if (host && file.size == 0)
        findings_.Add(Severity::Hurts, url, "the downloader leaves this file out",
                      "it is never downloaded", "give it a Content-Length above 0 and a name the downloader takes");
    if (file.size > 0 && whole.bodyBytes != static_cast<uint64_t>(file.size))
        findings_.Add(Severity::Hurts, url,
                      "GET sends " + std::to_string(whole.bodyBytes) + " bytes where HEAD said " +
                          std::to_string(file.size),
                      EngineMessage(kErrorServerChanged), "serve one file at one URL, whole");
    if (!file.sha256.empty() && lstrcmpiA(file.sha256.c_str(), whole.sha256) != 0)
        findings_.Add(Severity::Hurts, url, "its bytes do not have the listed sha256",
                      EngineMessage(kErrorVerifyFailed) + " unless another server has the listed bytes",
                      "publish the listed bytes, or list their hash");
    etag = whole.etag;
    if (whole.etag.empty() && whole.lastModified.empty())
        findings_.Add(Severity::Costs, url, "neither an ETag nor Last-Modified",
                      "a paused or broken download starts again from its first byte", "send a strong ETag");
    else if (!IsStrong(whole.etag))
        findings_.Add(Severity::Costs, url, whole.etag.empty() ? "no ETag" : "a weak ETag " + whole.etag,
                      "a resume is held against Last-Modified alone", "send a strong ETag");
    CheckRanges(file, url, whole);
}

void SiteCheck::CheckRanges(const ListedFile& file, const std::string& url, const SiteAnswer& whole)
{
    if (whole.bodyBytes < 3) return;
    const SiteAnswer one = AskSite(internet_, "GET", url, "Range: bytes=1-1\r\n", Body::Left);
    const ContentRange range = ParseContentRange(one.range.c_str());
    if (!one.answered || one.status != 206 || !range.valid || range.first != 1 || range.last != 1 ||
        range.total != whole.bodyBytes) {
        findings_.Add(Severity::Costs, url,
                      one.status == 200 ? "Range is ignored (200)"
                                        : "Range is answered with " + std::to_string(one.status) + " " + one.range,
                      "a paused or broken download starts again from its first byte, and a large file comes over "
                      "one connection",
                      "answer Range with 206 and the right Content-Range");
        return;
    }
    CheckIfRange(file, url, IsStrong(whole.etag) ? whole.etag : whole.lastModified);
    const SiteAnswer several = AskSite(internet_, "GET", url, "Range: bytes=0-0,2-2\r\n", Body::Left);
    const bool multipart = several.status == 206 && several.type.compare(0, 20, "multipart/byteranges") == 0;
    findings_.Add(Severity::Note, url, std::string("several ranges in one request: ") + (multipart ? "yes" : "no"),
                  "", "");
}

void SiteCheck::CheckIfRange(const ListedFile& file, const std::string& url, const std::string& validator)
{
    if (validator.empty()) return;
    const SiteAnswer own = AskSite(internet_, "GET", url, "Range: bytes=1-1\r\nIf-Range: " + validator + "\r\n",
                                   Body::Left);
    if (own.status != 206)
        findings_.Add(Severity::Costs, url, "If-Range with its own validator is answered with " +
                                                std::to_string(own.status),
                      "every resume starts the file again", "honour If-Range");
    const SiteAnswer stale = AskSite(internet_, "GET", url,
                                     std::string("Range: bytes=1-1\r\nIf-Range: ") + kStaleValidator + "\r\n",
                                     Body::Left);
    if (stale.status == 206)
        findings_.Add(file.sha256.empty() ? Severity::Hurts : Severity::Costs, url,
                      "If-Range with another version's validator is answered with 206",
                      file.sha256.empty() ? "a resume after the file changed joins two versions into a wrong file"
                                          : "a resume after the file changed fails its hash and is fetched whole",
                      "honour If-Range (a 200 with the whole file for another validator)");
}

}  // namespace

int CheckSite(const Arguments& arguments)
{
    if (arguments.Count() < 1 || arguments.Count() > 2) return kExitUsage;
    InetHandle internet(InternetOpenA("Vexil Check", INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0));
    if (!internet) return kExitFailed;
    // A site is checked, not this machine's history: no version it took
    // counts, and none is kept.
    AppState.keepsDocumentVersions = 0;
    SiteCheck check(internet.Get());
    const std::string listUrl = arguments.Count() > 1 ? arguments.At(1) : kBuiltInFileListUrl;
    if (check.ReadDocuments(arguments.At(0), listUrl))
        for (const ListedFile& file : check.Files()) check.CheckFile(file);
    WriteOut(check.Found().Report(check.Files().size(), check.Servers()));
    return check.Found().Hurt() ? kExitFailed : kExitOk;
}
