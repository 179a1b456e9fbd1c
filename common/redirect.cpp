#include "common/redirect.h"

#include <cctype>
#include <cstring>
#include <string>
#include <vector>

#include "common/url.h"

namespace {

// A path with its "." and ".." segments resolved; the query is left alone.
std::string WithoutDotSegments(const std::string& path)
{
    const size_t queryAt = path.find('?');
    const std::string query = queryAt == std::string::npos ? "" : path.substr(queryAt);
    std::vector<std::string> kept;
    size_t start = 1;  // past the leading "/"
    const std::string segments = path.substr(0, queryAt);
    for (;;) {
        const size_t end = segments.find('/', start);
        const std::string segment = segments.substr(start, end == std::string::npos ? end : end - start);
        const bool last = end == std::string::npos;
        if (segment == "..") {
            if (!kept.empty()) kept.pop_back();
            if (last) kept.emplace_back();
        } else if (segment == ".") {
            if (last) kept.emplace_back();
        } else {
            kept.push_back(segment);
        }
        if (last) break;
        start = end + 1;
    }
    std::string resolved;
    for (const std::string& segment : kept) resolved += "/" + segment;
    return (resolved.empty() ? "/" : resolved) + query;
}

// "scheme:" ahead of any path, as in "ftp:" or "mailto:".
bool HasScheme(const std::string& reference)
{
    const size_t colon = reference.find(':');
    if (colon == 0 || colon == std::string::npos || !isalpha(static_cast<unsigned char>(reference[0]))) return false;
    for (size_t i = 1; i < colon; ++i)
        if (!isalnum(static_cast<unsigned char>(reference[i])) && !std::strchr("+-.", reference[i])) return false;
    return true;
}

// The absolute URL a reference relative to base names.
std::string Resolve(const char* base, const UrlParts& parts, const std::string& reference)
{
    if (HasScheme(reference)) return reference;  // only an http or https one parses
    if (reference.compare(0, 2, "//") == 0) return (parts.secure ? "https:" : "http:") + reference;
    const std::string origin(base, std::strlen(base) - std::strlen(parts.path));
    if (reference[0] == '/') return origin + WithoutDotSegments(reference);
    const std::string basePath(parts.path, std::strcspn(parts.path, "?"));
    if (reference[0] == '?') return origin + basePath + reference;
    return origin + WithoutDotSegments(basePath.substr(0, basePath.rfind('/') + 1) + reference);
}

}  // namespace

bool IsFollowedRedirect(DWORD status)
{
    return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

bool ResolveRedirect(const char* url, const char* location, char (&next)[kTextSize])
{
    UrlParts from, to;
    if (!ParseUrl(url, from) || location == nullptr) return false;
    const std::string reference(location, std::strcspn(location, "#"));
    if (reference.empty()) return false;
    const std::string resolved = Resolve(url, from, reference);
    return ParseUrl(resolved.c_str(), to) && (to.secure || !from.secure) && CopyTextWhole(next, resolved.c_str());
}

bool NextHop(HINTERNET request, const char* url, char (&next)[kTextSize])
{
    char location[kTextSize] = {};
    DWORD size = sizeof location - 1;
    return HttpQueryInfoA(request, HTTP_QUERY_LOCATION, location, &size, nullptr) &&
           ResolveRedirect(url, location, next);
}
