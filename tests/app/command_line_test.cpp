#include <gtest/gtest.h>

#include <string>

#include "app/command_line.h"
#include "support/fresh_state.h"

class CommandLine : public ::testing::Test {
protected:
    void SetUp() override { ResetAppState(); }
};

TEST_F(CommandLine, NoTokensGiveTheBuiltInUrls)
{
    ApplyCommandLine("");
    EXPECT_STREQ(kBuiltInSettingsUrl, AppState.settingsUrl);
    EXPECT_STREQ(kBuiltInFileListUrl, AppState.fileListUrl);
    EXPECT_STREQ("", AppState.pendingEntry.url);
    EXPECT_STREQ(VEXIL_SERVER_URL "/glenmoor/download.xml", AppState.settingsUrl);
    EXPECT_STREQ(VEXIL_SERVER_URL "/downlist.xml", AppState.fileListUrl);
}

TEST_F(CommandLine, NullCommandLineGivesTheBuiltInUrls)
{
    ApplyCommandLine(nullptr);
    EXPECT_STREQ(kBuiltInSettingsUrl, AppState.settingsUrl);
}

TEST_F(CommandLine, FirstTokenReplacesTheSettingsUrl)
{
    ApplyCommandLine("http://h/s.xml");
    EXPECT_STREQ("http://h/s.xml", AppState.settingsUrl);
    EXPECT_STREQ(kBuiltInFileListUrl, AppState.fileListUrl);
    EXPECT_STREQ("", AppState.pendingEntry.url);
}

TEST_F(CommandLine, SecondTokenWithXmlReplacesTheFileListUrl)
{
    ApplyCommandLine("http://h/s.xml   http://h/list.xml?v=2");
    EXPECT_STREQ("http://h/s.xml", AppState.settingsUrl);
    EXPECT_STREQ("http://h/list.xml?v=2", AppState.fileListUrl);
    EXPECT_STREQ("", AppState.pendingEntry.url);
}

TEST_F(CommandLine, SecondTokenWithoutXmlNamesOneFile)
{
    ApplyCommandLine(" x  http://h/files/setup.exe third fourth");
    EXPECT_STREQ("x", AppState.settingsUrl);
    EXPECT_STREQ(kBuiltInFileListUrl, AppState.fileListUrl);
    EXPECT_STREQ("http://h/files/setup.exe", AppState.pendingEntry.url);
}

TEST_F(CommandLine, QuotesHaveNoSpecialMeaning)
{
    ApplyCommandLine("\"a b\" c");
    EXPECT_STREQ("\"a", AppState.settingsUrl);
    EXPECT_STREQ("b\"", AppState.pendingEntry.url);
}

TEST_F(CommandLine, OverLongTokensAreRefusedNotCut)
{
    std::string longUrl = "http://h/" + std::string(503, 'a');  // 512 bytes
    ApplyCommandLine((longUrl + " " + longUrl + ".xml").c_str());
    EXPECT_STREQ(kBuiltInSettingsUrl, AppState.settingsUrl);
    EXPECT_STREQ(kBuiltInFileListUrl, AppState.fileListUrl);

    ApplyCommandLine(("a " + longUrl).c_str());
    EXPECT_STREQ("", AppState.pendingEntry.url);

    std::string fits = longUrl.substr(0, 511);
    ApplyCommandLine(("a " + fits).c_str());
    EXPECT_EQ(fits, AppState.pendingEntry.url);
}
