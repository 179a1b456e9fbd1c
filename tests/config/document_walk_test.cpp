#include <gtest/gtest.h>

#include <string>

#include "state/app_state.h"
#include "config/documents.h"
#include "fake_probe.h"
#include "support/fresh_state.h"
#include "tinyxml.h"

namespace {

class DocumentWalk : public ::testing::Test {
protected:
    void SetUp() override { ResetAppState(); }

    HRESULT Settings(const std::string& text) { return ApplySettingsDocument(text.data(), text.size()); }
    HRESULT Files(const std::string& text) { return ApplyFileListDocument(text.data(), text.size(), probe.Function()); }

    std::vector<std::string> ListedUrls() const
    {
        std::vector<std::string> urls;
        FileList copy = AppState.fileList;
        while (!copy.Empty()) {
            urls.push_back(copy.Head().url);
            copy.RemoveHead();
        }
        return urls;
    }

    FakeProbe probe;
};

const char kSettings[] =
    "<?xml version=\"1.0\" encoding=\"euc-kr\"?>\r\n"
    "<Download>\r\n"
    "  <Title>Demo Title</Title>\r\n"
    "  <Service id=\"svc01\" encrypt=\"TRUE\" userinfo=\"True\" report=\"fid\"/>\r\n"
    "  <Location saveto=\"ProgramFiles\" mkdir=\"Game\"/>\r\n"
    "  <Image url=\"http://example.test/img/back.jpg\"/>\r\n"
    "  <Server addr=\"A\"/>\r\n"
    "  <Server addr=\"B\"/>\r\n"
    "  <Server addr=\"C\"/>\r\n"
    "</Download>\r\n";

TEST_F(DocumentWalk, SettingsFillTheRecord)
{
    ASSERT_EQ(S_OK, Settings(kSettings));
    EXPECT_STREQ("Demo Title", AppState.windowTitle);
    EXPECT_STREQ("svc01", AppState.serviceId);
    EXPECT_EQ(1, AppState.encryptFlag);
    EXPECT_EQ(1, AppState.userInfoMode);
    EXPECT_EQ(2, AppState.reportMode);
    EXPECT_STREQ("ProgramFiles", AppState.downloadFolder);
    EXPECT_STREQ("Game", AppState.subFolderName);
    EXPECT_STREQ("http://example.test/img/back.jpg", AppState.imageUrl);
    EXPECT_STREQ("A;B;C", AppState.serverList);
}

TEST_F(DocumentWalk, SettingsWithoutDownloadFailAndChangeNothing)
{
    EXPECT_EQ(E_FAIL, Settings("<Other><Title>x</Title></Other>"));
    EXPECT_STREQ("", AppState.windowTitle);
    EXPECT_EQ(E_FAIL, Settings(""));
}

TEST_F(DocumentWalk, ModeLetterCase)
{
    Settings("<Download><Service id='a' encrypt='yes' userinfo='TRUE' report='xml'/></Download>");
    EXPECT_EQ(0, AppState.encryptFlag);
    EXPECT_EQ(1, AppState.userInfoMode);
    EXPECT_EQ(3, AppState.reportMode);
    ResetAppState();
    Settings("<Download><Service id='a' encrypt='tRuE' userinfo='no' report='Lip'/></Download>");
    EXPECT_EQ(1, AppState.encryptFlag);
    EXPECT_EQ(2, AppState.userInfoMode);
    EXPECT_EQ(1, AppState.reportMode);
    ResetAppState();
    Settings("<Download><Service id='a' report='HTML'/></Download>");
    EXPECT_EQ(0, AppState.reportMode);
    EXPECT_EQ(0, AppState.encryptFlag);
    EXPECT_EQ(2, AppState.userInfoMode);
}

TEST_F(DocumentWalk, AbsentAttributesReadAsNullText)
{
    Settings("<Download><Service/><Location/></Download>");
    EXPECT_STREQ("(null)", AppState.serviceId);
    EXPECT_STREQ("(null)", AppState.downloadFolder);
    EXPECT_STREQ("", AppState.subFolderName);
    EXPECT_STREQ("", AppState.serverList);
}

TEST_F(DocumentWalk, MkdirOfOneCharacterIsIgnored)
{
    Settings("<Download><Location saveto='DeskTop' mkdir='x'/></Download>");
    EXPECT_STREQ("", AppState.subFolderName);
    ResetAppState();
    Settings("<Download><Location saveto='DeskTop' mkdir='xy'/></Download>");
    EXPECT_STREQ("xy", AppState.subFolderName);
}

TEST_F(DocumentWalk, TitleWithoutTextStaysEmpty)
{
    Settings("<Download><Title></Title></Download>");
    EXPECT_STREQ("", AppState.windowTitle);
}

TEST_F(DocumentWalk, ServerWalkStopsAtThirdWithoutAddr)
{
    Settings("<Download><Server addr='A'/><Server addr='B'/><Server/></Download>");
    EXPECT_STREQ("A;B", AppState.serverList);
}

TEST_F(DocumentWalk, ServerWalkEndsAtImageSibling)
{
    Settings("<Download><Server addr='A'/><Image url='http://h/p.bmp'/><Server addr='B'/></Download>");
    EXPECT_STREQ("A", AppState.serverList);
    EXPECT_STREQ("http://h/p.bmp", AppState.imageUrl);
}

TEST_F(DocumentWalk, ServerWalkTakesSiblingsOfAnyNameWithAddr)
{
    Settings("<Download><Server addr='A'/><Mirror addr='M'/><Server addr='B'/></Download>");
    EXPECT_STREQ("A;M;B", AppState.serverList);
}

TEST_F(DocumentWalk, FirstServerWithoutAddrGivesEmptyList)
{
    Settings("<Download><Server/><Server addr='B'/></Download>");
    EXPECT_STREQ("", AppState.serverList);
}

TEST_F(DocumentWalk, LongServerListKeepsWholeAddresses)
{
    // Five addresses of 100 take 504 characters; a sixth would not fit.
    std::string doc = "<Download>";
    std::string expected;
    for (int i = 0; i < 6; ++i) {
        const std::string address = std::string(99, 's') + static_cast<char>('0' + i);
        doc += "<Server addr='" + address + "'/>";
        if (i < 5) expected += (i ? ";" : "") + address;
    }
    doc += "<Server addr='z'/></Download>";
    Settings(doc);
    EXPECT_EQ(expected, AppState.serverList);
    EXPECT_LT(strlen(AppState.serverList), 512u);
}

TEST_F(DocumentWalk, LongTitleIsCutLongIdIsRefused)
{
    const std::string title(600, 'T');
    const std::string id(600, 'i');
    Settings("<Download><Title>" + title + "</Title><Service id='" + id + "'/><Image url='http://h/" +
             std::string(600, 'p') + "'/></Download>");
    EXPECT_EQ(std::string(511, 'T'), AppState.windowTitle);
    EXPECT_STREQ("", AppState.serviceId);
    EXPECT_STREQ("", AppState.imageUrl);
}

TEST_F(DocumentWalk, KoreanTitleIsCutAtCharacterBoundary)
{
    // "가" in CP949 is two bytes; 510 ASCII bytes leave room for no whole pair.
    std::string title(510, 'a');
    for (int i = 0; i < 3; ++i) title += "\xB0\xA1";
    Settings("<?xml version='1.0' encoding='euc-kr'?><Download><Title>" + title + "</Title></Download>");
    EXPECT_EQ(std::string(510, 'a'), AppState.windowTitle);
}

TEST_F(DocumentWalk, SizesGiveListOfTwoAndTotal)
{
    probe.sizes = {{"http://h/a.bin", "100"}, {"http://h/c.bin", "300"}};
    ASSERT_EQ(S_OK, Files("<Download><File url='http://h/a.bin'/><File url='http://h/b.bin'/>"
                             "<File url='http://h/c.bin'/></Download>"));
    EXPECT_EQ((std::vector<std::string>{"http://h/a.bin", "http://h/c.bin"}), ListedUrls());
    EXPECT_EQ(400, AppState.totalSize);
    EXPECT_EQ(3u, probe.calls.size());
    for (const auto& agent : probe.agents) EXPECT_EQ("Glenmoor FileXml", agent);
    EXPECT_STREQ("100", AppState.fileList.Head().sizeText);
}

TEST_F(DocumentWalk, ZeroSizeLeftOut)
{
    probe.sizes = {{"http://h/a.bin", "0"}, {"http://h/b.bin", "7"}};
    Files("<Download><File url='http://h/a.bin'/><File url='http://h/b.bin'/></Download>");
    EXPECT_EQ((std::vector<std::string>{"http://h/b.bin"}), ListedUrls());
    EXPECT_EQ(7, AppState.totalSize);
}

TEST_F(DocumentWalk, UnreachableFileEndsTheWalk)
{
    probe.sizes = {{"http://h/a.bin", "10"}, {"http://h/c.bin", "30"}};
    probe.unreachable = {"http://down/b.bin"};
    EXPECT_EQ(S_OK, Files("<Download><File url='http://h/a.bin'/><File url='http://down/b.bin' run='true'/>"
                             "<File url='http://h/c.bin'/></Download>"));
    EXPECT_EQ((std::vector<std::string>{"http://h/a.bin"}), ListedUrls());
    EXPECT_EQ(2u, probe.calls.size());
    EXPECT_STREQ("", AppState.runFileName);
}

TEST_F(DocumentWalk, FileWithoutUrlEndsTheWalk)
{
    probe.sizes = {{"http://h/a.bin", "10"}, {"http://h/c.bin", "30"}};
    Files("<Download><File url='http://h/a.bin'/><File run='true'/><File url='http://h/c.bin'/></Download>");
    EXPECT_EQ((std::vector<std::string>{"http://h/a.bin"}), ListedUrls());
    EXPECT_EQ(1u, probe.calls.size());
}

TEST_F(DocumentWalk, ForeignElementIsVisitedLikeAFile)
{
    probe.sizes = {{"http://h/a.bin", "1"}, {"http://h/x.bin", "2"}, {"http://h/c.bin", "3"}};
    Files("<Download><File url='http://h/a.bin'/><Extra url='http://h/x.bin'/><File url='http://h/c.bin'/></Download>");
    EXPECT_EQ((std::vector<std::string>{"http://h/a.bin", "http://h/x.bin", "http://h/c.bin"}), ListedUrls());
    ResetAppState();
    FakeProbe second;
    second.sizes = probe.sizes;
    probe = second;
    Files("<Download><File url='http://h/a.bin'/><Note/><File url='http://h/c.bin'/></Download>");
    EXPECT_EQ((std::vector<std::string>{"http://h/a.bin"}), ListedUrls());
}

TEST_F(DocumentWalk, LastRunWinsEvenWithoutSize)
{
    probe.sizes = {{"http://h/a.exe", "5"}};
    Files("<Download><File url='http://h/a.exe' run='true'/><File url='http://h/dir/b.exe' run='TRUE'/>"
             "<File url='http://h/c.exe' run='false'/></Download>");
    EXPECT_STREQ("b.exe", AppState.runFileName);
    EXPECT_EQ(1u, AppState.fileList.Count());
}

TEST_F(DocumentWalk, NoFileGivesEmptyList)
{
    EXPECT_EQ(S_OK, Files("<Download><Other/></Download>"));
    EXPECT_TRUE(AppState.fileList.Empty());
    EXPECT_EQ(E_FAIL, Files("<File url='http://h/a'/>"));
}

TEST_F(DocumentWalk, BadSizesAreLeftOut)
{
    probe.sizes = {{"http://h/neg.bin", "-500"}, {"http://h/empty.bin", ""}, {"http://h/text.bin", "12abc"},
                   {"http://h/plus.bin", "+5"}, {"http://h/huge.bin", "99999999999999999999"},
                   {"http://h/ok.bin", "40"}};
    AppState.totalSize = 0;
    Files("<Download><File url='http://h/neg.bin'/><File url='http://h/empty.bin'/><File url='http://h/text.bin'/>"
             "<File url='http://h/plus.bin'/><File url='http://h/huge.bin'/><File url='http://h/ok.bin'/></Download>");
    EXPECT_EQ((std::vector<std::string>{"http://h/ok.bin"}), ListedUrls());
    EXPECT_EQ(40, AppState.totalSize);
}

TEST_F(DocumentWalk, UnsafeNamesAreLeftOutAndNeverRun)
{
    // The module would refuse each of these at start; the walk leaves them out.
    const char* bad[] = {"http://h/", "http://h/..", "http://h/a\\..\\b.exe", "http://h/c:x.exe", "http://h/a?b",
                         "http://h/con.exe", "http://h/trail.", "http://h/a\tb"};
    std::string doc = "<Download>";
    for (const char* url : bad) {
        probe.sizes[url] = "10";
        doc += "<File url='" + std::string(url) + "' run='true'/>";
    }
    probe.sizes["http://h/good.exe"] = "10";
    doc += "<File url='http://h/good.exe'/></Download>";
    Files(doc);
    EXPECT_EQ((std::vector<std::string>{"http://h/good.exe"}), ListedUrls());
    EXPECT_STREQ("", AppState.runFileName);
    EXPECT_EQ(1u, probe.calls.size());
}

TEST_F(DocumentWalk, UrlOf512BytesIsRefused)
{
    const std::string longUrl = "http://h/" + std::string(512 - 15, 'a') + "/a.bin";
    const std::string fits = "http://h/" + std::string(511 - 15, 'b') + "/b.bin";
    probe.sizes = {{longUrl, "1"}, {fits, "2"}};
    Files("<Download><File url='" + longUrl + "' run='true'/><File url='" + fits + "'/></Download>");
    EXPECT_EQ((std::vector<std::string>{fits}), ListedUrls());
    EXPECT_STREQ("", AppState.runFileName);
}

TEST_F(DocumentWalk, CommandLineFileStaysAtTheHead)
{
    CopyText(AppState.pendingEntry.url, "http://h/direct.exe");
    probe.sizes = {{"http://h/direct.exe", "1000"}, {"http://h/a.bin", "5"}};
    AddDirectlyNamedFile(probe.Function());
    Files("<Download><File url='http://h/a.bin'/></Download>");
    EXPECT_EQ((std::vector<std::string>{"http://h/direct.exe", "http://h/a.bin"}), ListedUrls());
    EXPECT_EQ(1005, AppState.totalSize);
    EXPECT_STREQ("direct.exe", AppState.runFileName);
    EXPECT_EQ("Glenmoor SetXml", probe.agents.front());
}

TEST_F(DocumentWalk, CommandLineFileWithoutSizeIsStillRun)
{
    CopyText(AppState.pendingEntry.url, "http://h/direct.exe");
    AddDirectlyNamedFile(probe.Function());
    EXPECT_TRUE(AppState.fileList.Empty());
    EXPECT_STREQ("direct.exe", AppState.runFileName);
}

TEST_F(DocumentWalk, CommandLineFileUnreachableIsNotRun)
{
    CopyText(AppState.pendingEntry.url, "http://h/direct.exe");
    probe.unreachable = {"http://h/direct.exe"};
    AddDirectlyNamedFile(probe.Function());
    EXPECT_TRUE(AppState.fileList.Empty());
    EXPECT_STREQ("", AppState.runFileName);
}

TEST_F(DocumentWalk, LineEndsAreNormalised)
{
    TiXmlDocument doc;
    const char text[] = "<Download>\r<Title>a\r\nb\rc</Title></Download>";
    TiXmlBase::SetCondenseWhiteSpace(false);
    ParseReceivedDocument(doc, text, sizeof(text) - 1);
    TiXmlBase::SetCondenseWhiteSpace(true);
    ASSERT_NE(nullptr, doc.FirstChildElement("Download"));
    EXPECT_STREQ("a\nb\nc", doc.FirstChildElement("Download")->FirstChildElement("Title")->GetText());
}

TEST_F(DocumentWalk, AddPendingEntryAppendsACopy)
{
    CopyText(AppState.pendingEntry.url, "http://h/x");
    CopyText(AppState.pendingEntry.sizeText, "25");
    AddPendingEntry();
    CopyText(AppState.pendingEntry.url, "http://h/y");
    EXPECT_EQ(25, AppState.totalSize);
    EXPECT_STREQ("http://h/x", AppState.fileList.Head().url);
}

}  // namespace
