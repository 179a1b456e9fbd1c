// Bodies of several ranges (multipart/byteranges), in-process: the parts of
// a well-formed body however its bytes arrive, and nothing past the first
// fault of a malformed one.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "tkwengine/body_reader.h"

namespace {

// A body that arrives at most step bytes a read.
class StepBody : public BodyReader {
public:
    StepBody(std::string bytes, DWORD step) : bytes_(std::move(bytes)), step_(step) {}
    bool Read(char* buffer, DWORD size, DWORD& got) override
    {
        got = static_cast<DWORD>(std::min<size_t>({size, step_, bytes_.size() - at_}));
        std::memcpy(buffer, bytes_.data() + at_, got);
        at_ += got;
        return true;
    }

private:
    std::string bytes_;
    size_t step_, at_ = 0;
};

std::string Part(const std::string& range, const std::string& data, const std::string& name = "Content-Range")
{
    return "\r\n--VXB\r\nContent-Type: application/octet-stream\r\n" + name + ": " + range + "\r\n\r\n" + data;
}

const std::string kEnd = "\r\n--VXB--\r\n";

TEST(PartReader, ReadsEachPartOfAWellFormedBody)
{
    const std::string longData(3000, 'L');
    const struct {
        const char* name;
        std::string body;
        std::vector<std::string> parts;  // "first-last/total:data" of each part read
    } rows[] = {
        {"two parts", Part("bytes 0-3/100", "abcd") + Part("bytes 10-14/100", "klmno") + kEnd,
         {"0-3/100:abcd", "10-14/100:klmno"}},
        {"no line end before the first delimiter", Part("bytes 0-0/9", "x").substr(2) + kEnd, {"0-0/9:x"}},
        {"a part longer than a head", Part("bytes 0-2999/5000", longData) + Part("bytes 4000-4000/5000", "z") + kEnd,
         {"0-2999/5000:" + longData, "4000-4000/5000:z"}},
        {"another letter case", Part("bytes 1-2/3", "bc", "content-range") + kEnd, {"1-2/3:bc"}},
        {"another boundary", "\r\n--OTHER\r\nContent-Range: bytes 0-0/9\r\n\r\nx" + kEnd, {}},
        {"no Content-Range", Part("bytes 0-0/9", "x", "Content-Length") + kEnd, {}},
        {"a range that is none", Part("bytes 5-3/100", "xyz") + kEnd, {}},
        {"a head too long",
         Part("bytes 0-0/9", "x", "X-Padding: " + std::string(2000, 'p') + "\r\nContent-Range") + kEnd, {}},
        {"bytes between a part and the next delimiter", Part("bytes 0-1/9", "ab") + "junk" + Part("bytes 5-5/9", "f"),
         {"0-1/9:ab"}},
        {"a body that ends within a part", Part("bytes 0-9/10", "abc"), {"0-9/10:abc"}},
    };
    for (const auto& row : rows) {
        for (DWORD step : {1u, 7u, 4096u}) {
            SCOPED_TRACE(std::string(row.name) + ", " + std::to_string(step) + " bytes a read");
            StepBody body(row.body, step);
            PartReader parts(body, "VXB");
            std::vector<std::string> read;
            ContentRange range;
            while (parts.NextPart(range)) {
                std::string data;
                char chunk[500];
                for (DWORD got = 0; parts.Read(chunk, sizeof chunk, got) && got > 0;) data.append(chunk, got);
                read.push_back(std::to_string(range.first) + "-" + std::to_string(range.last) + "/" +
                               std::to_string(range.total) + ":" + data);
            }
            EXPECT_EQ(row.parts, read);
        }
    }
}

}  // namespace
