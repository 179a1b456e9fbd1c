#include "tkwengine/body_reader.h"

#include <algorithm>
#include <cstring>

#include "common/text.h"

namespace {

// Small reads for a head: what they bring past it is copied once.
constexpr DWORD kHeadRead = 256;
// The line ends between a part's bytes and the next delimiter.
constexpr size_t kMaxLineEnds = 4;

}  // namespace

PartReader::PartReader(BodyReader& body, const char* boundary) : body_(body)
{
    broken_ = !FormatText(delimiter_, sizeof delimiter_, "--%s", boundary) || boundary[0] == '\0';
}

bool PartReader::Fill()
{
    DWORD got = 0;
    const DWORD room = static_cast<DWORD>(std::min<size_t>(kHeadRead, kHeadSize - heldTo_));
    if (room == 0 || !body_.Read(held_ + heldTo_, room, got) || got == 0) return false;
    heldTo_ += got;
    return true;
}

// The headers after the delimiter's line: Content-Range is the one that counts.
bool PartReader::ParseHead(const char* head, ContentRange& range) const
{
    if (std::strncmp(head, "\r\n", 2) != 0) return false;
    for (const char* line = head + 2; *line != '\0';) {
        const size_t length = std::strcspn(line, "\r");
        const char kName[] = "Content-Range:";
        if (length < kHeadSize && _strnicmp(line, kName, sizeof kName - 1) == 0) {
            char value[kHeadSize] = {};
            std::memcpy(value, line + sizeof kName - 1, length - (sizeof kName - 1));
            range = ParseContentRange(value + std::strspn(value, " \t"));
            return range.valid;
        }
        line += length + (line[length] == '\r' ? 2 : 0);
    }
    return false;
}

bool PartReader::NextPart(ContentRange& range)
{
    if (broken_ || left_ != 0) return false;
    std::memmove(held_, held_ + heldFrom_, heldTo_ - heldFrom_);
    heldTo_ -= heldFrom_;
    heldFrom_ = 0;
    const size_t delimiterLength = std::strlen(delimiter_);
    for (;;) {
        held_[heldTo_] = '\0';
        const size_t lineEnds = std::strspn(held_, "\r\n");
        const char* delimiter = held_ + lineEnds;
        if (lineEnds > kMaxLineEnds) break;
        if (heldTo_ >= lineEnds + delimiterLength + 2) {
            if (std::strncmp(delimiter, delimiter_, delimiterLength) != 0) break;
            if (std::strncmp(delimiter + delimiterLength, "--", 2) == 0) return false;  // the last delimiter
            const char* end = std::strstr(delimiter + delimiterLength, "\r\n\r\n");
            if (end != nullptr) {
                char head[kHeadSize + 1] = {};
                const size_t length = static_cast<size_t>(end + 2 - delimiter) - delimiterLength;
                std::memcpy(head, delimiter + delimiterLength, length);
                if (!ParseHead(head, range)) break;
                heldFrom_ = static_cast<size_t>(end + 4 - held_);
                left_ = range.last - range.first + 1;
                return true;
            }
        }
        if (!Fill()) break;
    }
    broken_ = true;
    return false;
}

bool PartReader::Read(char* buffer, DWORD size, DWORD& got)
{
    got = 0;
    const DWORD want = static_cast<DWORD>(std::min<uint64_t>(size, left_));
    if (want == 0) return true;
    if (heldFrom_ < heldTo_) {
        got = static_cast<DWORD>(std::min<size_t>(want, heldTo_ - heldFrom_));
        std::memcpy(buffer, held_ + heldFrom_, got);
        heldFrom_ += got;
    } else if (!body_.Read(buffer, want, got)) {
        return false;
    }
    left_ -= got;
    return true;
}
