#include <gtest/gtest.h>
#include <windows.h>

#include <cstring>

#include "common/text.h"

TEST(Platform, AnsiCodePageIsKorean) { EXPECT_EQ(949u, GetACP()); }

TEST(Platform, KoreanLiteralsAreCompiledToCp949) { EXPECT_STREQ("\xB0\xA1\xB3\xAA", "가나"); }

TEST(CopyText, CopiesWhatFits)
{
    char buffer[8];
    EXPECT_TRUE(CopyText(buffer, "abc"));
    EXPECT_STREQ("abc", buffer);
    EXPECT_TRUE(CopyText(buffer, "1234567"));
    EXPECT_STREQ("1234567", buffer);
}

TEST(CopyText, CutsLongTextAndReportsIt)
{
    char buffer[8];
    EXPECT_FALSE(CopyText(buffer, "123456789"));
    EXPECT_STREQ("1234567", buffer);
}

TEST(CopyText, NeverSplitsADoubleByteCharacter)
{
    char buffer[4];  // room for 3 bytes: one Korean character and half of the next
    EXPECT_FALSE(CopyText(buffer, "가나"));
    EXPECT_STREQ("가", buffer);
    EXPECT_FALSE(CopyText(buffer, "a가나"));
    EXPECT_STREQ("a가", buffer);
}

TEST(CopyText, FullSizeBufferKeepsAtMost511Bytes)
{
    char source[600];
    memset(source, 'x', sizeof source - 1);
    source[sizeof source - 1] = '\0';
    char buffer[kTextSize];
    EXPECT_FALSE(CopyText(buffer, source));
    EXPECT_EQ(511u, strlen(buffer));
}

TEST(CopyText, NullSourceGivesEmptyText)
{
    char buffer[8] = "old";
    EXPECT_TRUE(CopyText(buffer, nullptr));
    EXPECT_STREQ("", buffer);
}

TEST(CopyTextWhole, RefusesTextThatDoesNotFit)
{
    char buffer[8] = "old";
    EXPECT_FALSE(CopyTextWhole(buffer, "12345678"));
    EXPECT_STREQ("old", buffer);
    EXPECT_TRUE(CopyTextWhole(buffer, "1234567"));
    EXPECT_STREQ("1234567", buffer);
}

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
