// list: the file-list document of a folder of files, each with its hash,
// and with --blocks each with its block index, written beside it.
#include <windows.h>

#include <algorithm>
#include <set>
#include <string>
#include <vector>

#include "common/block_index.h"
#include "common/file_names.h"
#include "common/sha256.h"
#include "common/text.h"
#include "common/url.h"
#include "common/win_handles.h"
#include "publish/console.h"
#include "publish/verbs.h"

namespace {

// Beside each file, its block index: never a file of the list itself.
constexpr char kBlocksSuffix[] = ".vxblocks";

bool IsBlockIndexName(const std::string& name)
{
    const size_t length = sizeof kBlocksSuffix - 1;
    return name.size() > length && _stricmp(name.c_str() + name.size() - length, kBlocksSuffix) == 0;
}

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
        else if (!IsBlockIndexName(name))
            files.push_back({below, path});
    } while (FindNextFileA(find.Get(), &found));
}

bool HashFile(const std::string& path, char (&hex)[kSha256TextSize])
{
    FileHandle file(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    return file.Valid() && HashFileSha256(file.Get(), hex);
}

// The file's hash and its block index (empty for a file that gets none),
// from one reading of it.
bool IndexFile(const std::string& path, char (&hex)[kSha256TextSize], std::string& index)
{
    FileHandle file(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    LARGE_INTEGER size = {};
    if (!file.Valid() || !GetFileSizeEx(file.Get(), &size)) return false;
    BlockIndexWriter writer(static_cast<uint64_t>(size.QuadPart));
    std::vector<uint8_t> chunk(1 << 20);
    for (DWORD read = 0;;) {
        if (!ReadFile(file.Get(), chunk.data(), static_cast<DWORD>(chunk.size()), &read, nullptr)) return false;
        if (read == 0) return writer.Finish(index, hex);
        writer.Add(chunk.data(), read);
    }
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

// With --blocks, the file's index beside it and the attribute that names it
// (relative to the file's URL); nothing for a file that gets none, said why.
bool HashAndIndex(const SiteFile& file, const std::string& url, bool blocks, char (&hex)[kSha256TextSize],
                  std::string& attribute)
{
    attribute.clear();
    if (!blocks) return HashFile(file.path, hex);
    std::string index;
    if (!IndexFile(file.path, hex, index)) return false;
    if (index.empty() || url.size() + sizeof kBlocksSuffix > kTextSize) {
        Say("no block index: " + file.relative + ": " +
            (index.empty() ? "empty, or too large for one" : "its index's URL would be too long"));
        return true;
    }
    const std::string name = std::string(LocalFileName(file.relative.c_str())) + kBlocksSuffix;
    attribute = " blocks=\"" + Escaped(name) + "\"";
    return WriteLocalFile(file.path + kBlocksSuffix, index);
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
        std::string blocks;
        if (!Listable(file, url, taken)) continue;
        if (!HashAndIndex(file, url, arguments.Has("--blocks"), hex, blocks)) {
            Say("cannot read " + file.path + " or write its block index");
            return kExitFailed;
        }
        const bool runs = !run.empty() && (file.relative == run || std::string(LocalFileName(file.relative.c_str())) == run);
        runFound = runFound || runs;
        document += "  <File url=\"" + Escaped(url) + "\" sha256=\"" + hex + "\"" + blocks +
                    (runs ? " run=\"true\"" : "") + "/>\n";
    }
    document += "</Download>\n";
    if (!runFound) {
        Say("--run " + run + ": no such file under " + folder);
        return kExitFailed;
    }
    return WriteOut(document) ? kExitOk : kExitFailed;
}
