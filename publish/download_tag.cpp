#include "publish/download_tag.h"

#include <cstring>
#include <map>

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

size_t SkipBlanks(const std::string& text, size_t at)
{
    while (at < text.size() && IsBlank(text[at])) ++at;
    return at;
}

// Where the first element's "<" stands: after a byte-order mark, blanks,
// the declaration, comments, processing instructions and a DOCTYPE.
size_t FirstElement(const std::string& text)
{
    size_t at = text.compare(0, 3, "\xEF\xBB\xBF") == 0 ? 3 : 0;
    for (;;) {
        at = SkipBlanks(text, at);
        const char* end = text.compare(at, 4, "<!--") == 0 ? "-->"
                          : text.compare(at, 2, "<?") == 0 ? "?>"
                          : text.compare(at, 2, "<!") == 0 ? ">"
                                                           : nullptr;
        if (end == nullptr) return at;
        const size_t found = text.find(end, at + 2);
        if (found == std::string::npos) return std::string::npos;
        at = found + strlen(end);
    }
}

struct ValuePlace {
    size_t start = 0, length = 0;
};

// The attributes of the start tag whose name ends at at, by name; false
// when the tag does not read as one (or names an attribute twice).
bool ReadAttributes(const std::string& text, size_t at, std::map<std::string, ValuePlace>& values)
{
    for (;;) {
        at = SkipBlanks(text, at);
        if (at >= text.size()) return false;
        if (text[at] == '>' || text.compare(at, 2, "/>") == 0) return true;
        const size_t name = at;
        while (at < text.size() && !IsBlank(text[at]) && text[at] != '=' && text[at] != '>' && text[at] != '/') ++at;
        const std::string attribute = text.substr(name, at - name);
        at = SkipBlanks(text, at);
        if (attribute.empty() || at >= text.size() || text[at] != '=') return false;
        at = SkipBlanks(text, at + 1);
        if (at >= text.size() || (text[at] != '"' && text[at] != '\'')) return false;
        const size_t close = text.find(text[at], at + 1);
        if (close == std::string::npos || values.count(attribute)) return false;
        values[attribute] = {at + 1, close - at - 1};
        at = close + 1;
    }
}

}  // namespace

bool SetDownloadAttributes(std::string& document, const std::vector<Attribute>& attributes, std::string& why)
{
    static const char kOpen[] = "<Download";
    const size_t tag = FirstElement(document), nameEnd = tag + sizeof kOpen - 1;
    if (tag == std::string::npos || document.compare(tag, sizeof kOpen - 1, kOpen) != 0 ||
        nameEnd >= document.size() || !(IsBlank(document[nameEnd]) || document[nameEnd] == '>' ||
                                        document[nameEnd] == '/')) {
        why = "its first element is not Download";
        return false;
    }
    std::map<std::string, ValuePlace> values;
    if (!ReadAttributes(document, nameEnd, values)) {
        why = "its Download tag does not read as one";
        return false;
    }
    // From the end of the tag backwards, so that each place stays where it was found.
    std::map<size_t, std::pair<ValuePlace, std::string>> edits;
    std::string added;
    for (const Attribute& attribute : attributes) {
        auto found = values.find(attribute.first);
        if (found == values.end())
            added += " " + attribute.first + "=\"" + attribute.second + "\"";
        else
            edits[found->second.start] = {found->second, attribute.second};
    }
    for (auto edit = edits.rbegin(); edit != edits.rend(); ++edit)
        document.replace(edit->second.first.start, edit->second.first.length, edit->second.second);
    document.insert(nameEnd, added);
    return true;
}
