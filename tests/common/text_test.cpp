#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "common/text.h"

TEST(Platform, AnsiCodePageIsKorean) { EXPECT_EQ(949u, GetACP()); }

TEST(Platform, KoreanLiteralsAreCompiledToCp949) { EXPECT_STREQ("\xB0\xA1\xB3\xAA", "가나"); }

namespace {

struct CopyRow {
    const char* what;
    size_t capacity;
    const char* source;
    bool whole;            // CopyTextWhole: refuses what does not fit, leaving "old"
    bool fitted;           // the answer
    std::string expected;  // the buffer afterwards
};

const std::string k600(599, 'x');

const CopyRow kCopyRows[] = {
    {"fits", 8, "abc", false, true, "abc"},
    {"fits exactly", 8, "1234567", false, true, "1234567"},
    {"cut", 8, "123456789", false, false, "1234567"},
    {"never half a character", 4, "가나", false, false, "가"},
    {"never half a character after a byte", 4, "a가나", false, false, "a가"},
    {"a full-size buffer keeps 511 bytes", kTextSize, k600.c_str(), false, false, std::string(511, 'x')},
    {"null is empty", 8, nullptr, false, true, ""},
    {"whole: refused", 8, "12345678", true, false, "old"},
    {"whole: fits", 8, "1234567", true, true, "1234567"},
};

TEST(CopyText, Table)
{
    for (const CopyRow& row : kCopyRows) {
        char buffer[kTextSize] = "old";
        const bool fitted = row.whole ? CopyTextWhole(buffer, row.capacity, row.source)
                                      : CopyText(buffer, row.capacity, row.source);
        EXPECT_EQ(row.fitted, fitted) << row.what;
        EXPECT_EQ(row.expected, buffer) << row.what;
    }
}

}  // namespace

TEST(FormatText, FormatsAndCutsAtCharacterBoundary)
{
    char buffer[kTextSize];
    EXPECT_TRUE(FormatText(buffer, sizeof buffer, "%I64d KB", static_cast<long long>(1) << 40));
    EXPECT_STREQ("1099511627776 KB", buffer);

    char small[6];  // 5 bytes: "ab", one character, then half of the next
    EXPECT_FALSE(FormatText(small, sizeof small, "%s%s", "ab", "가나"));
    EXPECT_STREQ("ab가", small);
}

TEST(CharBoundaryPrefix, DropsALoneLeadByteAtTheEnd)
{
    EXPECT_EQ(1u, CharBoundaryPrefix("a\xB0", 10));
    EXPECT_EQ(3u, CharBoundaryPrefix("a\xB0\xA1", 10));
    EXPECT_EQ(1u, CharBoundaryPrefix("a\xB0\xA1", 2));
}
