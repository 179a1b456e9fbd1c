#include <gtest/gtest.h>

#include <string>

#include "common/file_names.h"

namespace {

struct NameCase {
    std::string name;
    bool safe;
};

TEST(FileNames, OnlyNamesThatStayInTheFolderUnderExactlyThatName)
{
    const NameCase cases[] = {
        {"setup.exe", true},           {"a", true},
        {"con1.txt", true},            {"console.exe", true},
        {"com.txt", true},             {"comx.txt", true},
        {"setup%20v1.bin", true},      {"\xB0\xA1\xB3\xAA.pak", true},
        {"\x81\x7C.bin", true},  // a trail byte that looks like '|'
        {std::string(199, 'n'), true},
        {"", false},                   {".", false},
        {"..", false},                 {"a\\b", false},
        {"a/b", false},                {"c:x.exe", false},
        {"a*b", false},                {"a?b", false},
        {"a\"b", false},               {"a<b", false},
        {"a>b", false},                {"a|b", false},
        {"a\tb", false},               {"a\x01" "b", false},
        {"a\x7F", false},              {"con", false},
        {"CON.exe", false},            {"nul.txt", false},
        {"aux", false},                {"prn.log", false},
        {"com1", false},               {"LPT9.dat", false},
        {"conin$", false},             {"trail.", false},
        {"trail ", false},             {std::string(200, 'n'), false},
        {"half\xB0", false},  // a lead byte without its trail byte
        {"data.pak.vxpart", false},    {"data.pak.VXSTATE", false},
        {"data.vxpart.pak", true},
    };
    for (const NameCase& c : cases) EXPECT_EQ(c.safe, IsSafeFileName(c.name.c_str())) << '"' << c.name << '"';
    EXPECT_FALSE(IsSafeFileName(nullptr));
}

TEST(FileNames, SubFoldersStayBelowTheirFolder)
{
    const NameCase cases[] = {
        {"Client", true},   {"Glenmoor\\Client", true}, {"\xB0\\\\b", true},  // a trail byte like '\\'
        {"..\\x", false},  {"a\\..\\..\\x", false},    {"C:\\x", false},
        {"\\\\host\\x", false}, {"\\x", false},          {"a\\\\b", false},
        {"a\\", false},    {"con", false},              {"a\\nul\\b", false},
        {"a/../b", false},  {"", false},
    };
    for (const NameCase& c : cases) EXPECT_EQ(c.safe, IsSafeSubFolder(c.name.c_str())) << '"' << c.name << '"';
    EXPECT_FALSE(IsSafeSubFolder(nullptr));
}

// One file whatever the letter case; two double-byte characters whose trail
// bytes differ as 'A' and 'a' do stay two files.
TEST(FileNames, KeysOfPathsIgnoreLetterCaseOnly)
{
    struct Pair {
        const char* a;
        const char* b;
        bool same;
    } const pairs[] = {
        {"C:\\Game\\Data.PAK", "c:\\game\\data.pak", true},
        {"\xB0\xA1.bin", "\xB0\xA1.BIN", true},
        {"\x81\x41.bin", "\x81\x61.bin", false},
        {"a.bin", "b.bin", false},
        {"half\xB0", "half?", false},  // no text of the code page: never a text's key
    };
    for (const Pair& p : pairs) EXPECT_EQ(p.same, PathKey(p.a) == PathKey(p.b)) << p.a << " / " << p.b;
}

}  // namespace
