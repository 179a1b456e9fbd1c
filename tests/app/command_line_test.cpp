#include <gtest/gtest.h>

#include <string>

#include "app/command_line.h"
#include "support/fresh_state.h"

namespace {

const std::string kSettings = VEXIL_SERVER_URL "/glenmoor/download.xml";
const std::string kList = VEXIL_SERVER_URL "/downlist.xml";
const std::string kLong = "http://h/" + std::string(503, 'a');  // 512 bytes: one too many

struct Row {
    const char* name;
    std::string line;
    std::string settings, list, pending;
};

// Blanks separate tokens, quotes are plain characters, a token of 512 bytes
// or more is refused whole, and tokens after the second are ignored.
const Row kRows[] = {
    {"no tokens", "", kSettings, kList, ""},
    {"first token", "http://h/s.xml", "http://h/s.xml", kList, ""},
    {"second with .xml", "http://h/s.xml   http://h/list.xml?v=2", "http://h/s.xml", "http://h/list.xml?v=2", ""},
    {"second names a file", " x  http://h/files/setup.exe third fourth", "x", kList, "http://h/files/setup.exe"},
    {"quotes", "\"a b\" c", "\"a", kList, "b\""},
    {"over-long documents", kLong + " " + kLong + ".xml", kSettings, kList, ""},
    {"over-long file", "a " + kLong, "a", kList, ""},
    {"longest file", "a " + kLong.substr(0, 511), "a", kList, kLong.substr(0, 511)},
};

TEST(CommandLine, Table)
{
    for (const Row& row : kRows) {
        ResetAppState();
        ApplyCommandLine(row.line.c_str());
        EXPECT_EQ(row.settings, AppState.settingsUrl) << row.name;
        EXPECT_EQ(row.list, AppState.fileListUrl) << row.name;
        EXPECT_EQ(row.pending, AppState.pendingEntry.url) << row.name;
    }
    ResetAppState();
    ApplyCommandLine(nullptr);
    EXPECT_EQ(kSettings, AppState.settingsUrl);
}

}  // namespace
