// list: the file-list document of a folder of files, each with its hash.
#include <windows.h>

#include <algorithm>
#include <set>
#include <string>
#include <vector>

#include "common/file_names.h"
#include "common/sha256.h"
#include "common/text.h"
#include "common/url.h"
#include "common/win_handles.h"
#include "publish/console.h"
#include "publish/verbs.h"

namespace {

struct SiteFile {
    std::string relative;  // below the site folder, '/' between its parts
    std::string path;      // on this machine
};

void Walk(const std::string& folder, const std::string& relative, std::vector<SiteFile>& files)
{
    WIN32_FIND_DATAA found;
    FindHandle find(FindFirstFileA((folder + "\\*").c_str(), &found));
    if (!find) return;
    do {
        const std::string name = found.cFileName;
        if (name == "." || name == "..") continue;
        const std::string path = folder + "\\" + name, below = relative.empty() ? name : relative + "/" + name;
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
            Walk(path, below, files);
        else
            files.push_back({below, path});
    } while (FindNextFileA(find.Get(), &found));
}

bool HashFile(const std::string& path, char (&hex)[kSha256TextSize])
{
    FileHandle file(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    return file.Valid() && HashFileSha256(file.Get(), hex);
}

std::string Escaped(const std::string& text)
{
    std::string out;
    for (char c : text) {
        switch (c) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '"': out += "&quot;"; break;
        default: out += c;
        }
    }
    return out;
}

std::string Folded(std::string name)
{
    CharLowerBuffA(&name[0], static_cast<DWORD>(name.size()));
    return name;
}

// Whether the downloader would take the file, as it reads a list: its name
// safe, its URL whole, its name not an earlier file's (letter case ignored).
bool Listable(const SiteFile& file, const std::string& url, std::set<std::string>& taken)
{
    const char* name = LocalFileName(file.relative.c_str());
    UrlParts parts;
    if (!IsSafeFileName(name)) {
        Say("left out: " + file.relative + ": the downloader does not save a file under this name; rename it");
        return false;
    }
    if (url.size() >= kTextSize || !ParseUrl(url.c_str(), parts)) {
        Say("left out: " + file.relative + ": its URL is too long or not an http or https URL");
        return false;
    }
    if (!taken.insert(Folded(name)).second) {
        Say("left out: " + file.relative + ": another file has its name, and the downloader saves every file in one folder");
        return false;
    }
    return true;
}

}  // namespace

int ListSite(const Arguments& arguments)
{
    if (arguments.Count() != 2) return kExitUsage;
    const std::string folder = arguments.At(0), run = arguments.Value("--run");
    std::string base = arguments.At(1);
    while (!base.empty() && base.back() == '/') base.pop_back();
    std::vector<SiteFile> files;
    Walk(folder, "", files);
    std::sort(files.begin(), files.end(), [](const SiteFile& a, const SiteFile& b) { return a.relative < b.relative; });
    if (files.empty()) {
        Say("no files under " + folder);
        return kExitFailed;
    }
    std::string document = "<?xml version=\"1.0\" encoding=\"euc-kr\"?>\n<Download>\n";
    std::set<std::string> taken;
    bool runFound = run.empty();
    for (const SiteFile& file : files) {
        const std::string url = base + "/" + file.relative;
        char hex[kSha256TextSize];
        if (!Listable(file, url, taken)) continue;
        if (!HashFile(file.path, hex)) {
            Say("cannot read " + file.path);
            return kExitFailed;
        }
        const bool runs = !run.empty() && (file.relative == run || std::string(LocalFileName(file.relative.c_str())) == run);
        runFound = runFound || runs;
        document += "  <File url=\"" + Escaped(url) + "\" sha256=\"" + hex + "\"" + (runs ? " run=\"true\"" : "") + "/>\n";
    }
    document += "</Download>\n";
    if (!runFound) {
        Say("--run " + run + ": no such file under " + folder);
        return kExitFailed;
    }
    return WriteOut(document) ? kExitOk : kExitFailed;
}
