#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "config/documents.h"
#include "config/received_document.h"
#include "fake_probe.h"
#include "state/app_state.h"
#include "support/fresh_state.h"
#include "tinyxml.h"

namespace {

using Urls = std::vector<std::string>;
using Fields = std::map<std::string, std::string>;

// The record's fields a settings document writes, as text.
std::string Field(const std::string& name)
{
    const AppStateRecord& s = AppState;
    const std::map<std::string, std::string> fields = {
        {"title", s.windowTitle},
        {"id", s.serviceId},
        {"encrypt", std::to_string(s.encryptFlag)},
        {"userinfo", std::to_string(s.userInfoMode)},
        {"report", std::to_string(s.reportMode)},
        {"saveto", s.downloadFolder},
        {"mkdir", s.subFolderName},
        {"image", s.imageUrl},
        {"servers", s.serverList},
        {"engine", s.engineLibraryPin},
    };
    return fields.at(name);
}

Urls ListedUrls()
{
    Urls urls;
    FileList copy = AppState.fileList;
    for (; !copy.Empty(); copy.RemoveHead()) urls.push_back(copy.Head().url);
    return urls;
}

HRESULT Settings(const std::string& text) { return ApplySettingsDocument(text.data(), text.size()); }

// Five addresses of 100 take 504 characters; a sixth would not fit whole.
std::pair<std::string, std::string> LongServerList()
{
    std::string doc = "<Download>", joined;
    for (int i = 0; i < 6; ++i) {
        const std::string address = std::string(99, 's') + static_cast<char>('0' + i);
        doc += "<Server addr='" + address + "'/>";
        if (i < 5) joined += (i ? ";" : "") + address;
    }
    return {doc + "<Server addr='z'/></Download>", joined};
}

const std::string kKoreanTitle = std::string(510, 'a') + "\xB0\xA1\xB0\xA1";  // "가" is two bytes in CP949

// Any key text pins: the walks do not check signatures.
const char kSomeKey[] = "p256:key";
const std::string kHash = "0123456789ABCDEFabcdef0123456789abcdef0123456789abcdef0123456789";
const std::string kLowerHash = "0123456789abcdefabcdef0123456789abcdef0123456789abcdef0123456789";

struct SettingsRow {
    std::string doc;
    Fields expected;
    bool pinned = false;  // under the publisher's key
};

const SettingsRow kSettingsRows[] = {
    {"<?xml version=\"1.0\" encoding=\"euc-kr\"?>\r\n<Download>\r\n  <Title>Demo Title</Title>\r\n"
     "  <Service id=\"svc01\" encrypt=\"TRUE\" userinfo=\"True\" report=\"fid\"/>\r\n"
     "  <Location saveto=\"ProgramFiles\" mkdir=\"Game\"/>\r\n  <Image url=\"http://example.test/img/back.jpg\"/>\r\n"
     "  <Server addr=\"A\"/>\r\n  <Server addr=\"B\"/>\r\n  <Server addr=\"C\"/>\r\n</Download>\r\n",
     {{"title", "Demo Title"}, {"id", "svc01"}, {"encrypt", "1"}, {"userinfo", "1"}, {"report", "2"},
      {"saveto", "ProgramFiles"}, {"mkdir", "Game"}, {"image", "http://example.test/img/back.jpg"},
      {"servers", "A;B;C"}}},
    {"<Download><Service id='a' encrypt='yes' userinfo='TRUE' report='xml'/></Download>",
     {{"encrypt", "0"}, {"userinfo", "1"}, {"report", "3"}}},
    {"<Download><Service id='a' encrypt='tRuE' userinfo='no' report='Lip'/></Download>",
     {{"encrypt", "1"}, {"userinfo", "2"}, {"report", "1"}}},
    {"<Download><Service id='a' report='HTML'/></Download>", {{"encrypt", "0"}, {"userinfo", "2"}, {"report", "0"}}},
    {"<Download><Service/><Location/></Download>",
     {{"id", "(null)"}, {"saveto", "(null)"}, {"mkdir", ""}, {"servers", ""}}},
    {"<Download><Location saveto='DeskTop' mkdir='x'/></Download>", {{"mkdir", ""}}},
    {"<Download><Location saveto='DeskTop' mkdir='xy'/></Download>", {{"mkdir", "xy"}}},
    {"<Download><Location saveto='DeskTop' mkdir='..\\x'/></Download>", {{"mkdir", ""}}},
    {"<Download><Location saveto='DeskTop' mkdir='Glenmoor\\Client'/></Download>", {{"mkdir", "Glenmoor\\Client"}}},
    {"<Download><Title></Title></Download>", {{"title", ""}}},
    {"<Download><Server addr='A'/><Server addr='B'/><Server/></Download>", {{"servers", "A;B"}}},
    {"<Download><Server addr='A'/><Image url='http://h/p.bmp'/><Server addr='B'/></Download>",
     {{"servers", "A"}, {"image", "http://h/p.bmp"}}},
    {"<Download><Server addr='A'/><Mirror addr='M'/><Server addr='B'/></Download>", {{"servers", "A;M;B"}}},
    {"<Download><Server/><Server addr='B'/></Download>", {{"servers", ""}}},
    {LongServerList().first, {{"servers", LongServerList().second}}},
    // A long title is cut, a long id or URL refused.
    {"<Download><Title>" + std::string(600, 'T') + "</Title><Service id='" + std::string(600, 'i') +
         "'/><Image url='http://h/" + std::string(600, 'p') + "'/></Download>",
     {{"title", std::string(511, 'T')}, {"id", ""}, {"image", ""}}},
    {"<?xml version='1.0' encoding='euc-kr'?><Download><Title>" + kKoreanTitle + "</Title></Download>",
     {{"title", std::string(510, 'a')}}},
    // Only signed settings choose the engine library; they do instead of the build's pin.
    {"<Download><Engine sha256='" + kHash + "'/></Download>", {{"engine", kEngineLibraryPin}}},
    {"<Download><Engine sha256='" + kHash + "'/></Download>", {{"engine", kLowerHash}}, true},
    {"<Download><Engine sha256='" + kHash.substr(1) + "'/></Download>", {{"engine", kEngineLibraryPin}}, true},
    {"<Download><Engine/><Engine sha256='" + kHash + "'/></Download>", {{"engine", kEngineLibraryPin}}, true},
};

TEST(DocumentWalk, SettingsTable)
{
    for (const SettingsRow& row : kSettingsRows) {
        ResetAppState();
        if (row.pinned) AppState.publisherKeys = kSomeKey;
        ASSERT_EQ(S_OK, Settings(row.doc)) << row.doc.substr(0, 80);
        for (const auto& field : row.expected) EXPECT_EQ(field.second, Field(field.first)) << row.doc.substr(0, 80);
    }
    ResetAppState();
    EXPECT_EQ(E_FAIL, Settings("<Other><Title>x</Title></Other>"));
    EXPECT_STREQ("", AppState.windowTitle);
    EXPECT_EQ(E_FAIL, Settings(""));
}

struct FileListRow {
    const char* name;
    std::map<std::string, std::string> sizes;  // URL -> Content-Length; none sent for the others
    std::set<std::string> unreachable;
    std::string doc;  // the File elements
    Urls listed;
    int64_t total;
    const char* run;
    size_t probes;
    bool pinned = false;  // under the publisher's key
};

const std::string kLongUrl = "http://h/" + std::string(512 - 15, 'a') + "/a.bin";
const std::string kLongestUrl = "http://h/" + std::string(511 - 15, 'b') + "/b.bin";

// The module would refuse each of these names at start; the walk leaves them out.
std::string UnsafeFiles()
{
    std::string doc;
    for (const char* url : {"http://h/", "http://h/..", "http://h/a\\..\\b.exe", "http://h/c:x.exe", "http://h/a?b",
                            "http://h/con.exe", "http://h/trail.", "http://h/a\tb"})
        doc += "<File url='" + std::string(url) + "' run='true'/>";
    return doc + "<File url='http://h/good.exe'/>";
}

const FileListRow kFileListRows[] = {
    {"sizes", {{"http://h/a.bin", "100"}, {"http://h/c.bin", "300"}}, {},
     "<File url='http://h/a.bin'/><File url='http://h/b.bin'/><File url='http://h/c.bin'/>",
     {"http://h/a.bin", "http://h/c.bin"}, 400, "", 3},
    {"zero size", {{"http://h/a.bin", "0"}, {"http://h/b.bin", "7"}}, {},
     "<File url='http://h/a.bin'/><File url='http://h/b.bin'/>", {"http://h/b.bin"}, 7, "", 2},
    {"unreachable ends the walk", {{"http://h/a.bin", "10"}, {"http://h/c.bin", "30"}}, {"http://down/b.bin"},
     "<File url='http://h/a.bin'/><File url='http://down/b.bin' run='true'/><File url='http://h/c.bin'/>",
     {"http://h/a.bin"}, 10, "", 2},
    {"no url ends the walk", {{"http://h/a.bin", "10"}, {"http://h/c.bin", "30"}}, {},
     "<File url='http://h/a.bin'/><File run='true'/><File url='http://h/c.bin'/>", {"http://h/a.bin"}, 10, "", 1},
    {"another element is visited", {{"http://h/a.bin", "1"}, {"http://h/x.bin", "2"}, {"http://h/c.bin", "3"}}, {},
     "<File url='http://h/a.bin'/><Extra url='http://h/x.bin'/><File url='http://h/c.bin'/>",
     {"http://h/a.bin", "http://h/x.bin", "http://h/c.bin"}, 6, "", 3},
    {"another element without url ends", {{"http://h/a.bin", "1"}, {"http://h/c.bin", "3"}}, {},
     "<File url='http://h/a.bin'/><Note/><File url='http://h/c.bin'/>", {"http://h/a.bin"}, 1, "", 1},
    {"the last run wins, sized or not", {{"http://h/a.exe", "5"}}, {},
     "<File url='http://h/a.exe' run='true'/><File url='http://h/dir/b.exe' run='TRUE'/>"
     "<File url='http://h/c.exe' run='false'/>",
     {"http://h/a.exe"}, 5, "b.exe", 3},
    {"no file", {}, {}, "<Other/>", {}, 0, "", 0},
    {"bad sizes",
     {{"http://h/neg.bin", "-500"}, {"http://h/empty.bin", ""}, {"http://h/text.bin", "12abc"},
      {"http://h/plus.bin", "+5"}, {"http://h/huge.bin", "99999999999999999999"}, {"http://h/ok.bin", "40"}},
     {},
     "<File url='http://h/neg.bin'/><File url='http://h/empty.bin'/><File url='http://h/text.bin'/>"
     "<File url='http://h/plus.bin'/><File url='http://h/huge.bin'/><File url='http://h/ok.bin'/>",
     {"http://h/ok.bin"}, 40, "", 6},
    {"unsafe names", {{"http://h/good.exe", "10"}}, {}, UnsafeFiles(), {"http://h/good.exe"}, 10, "", 1},
    {"one local name, one entry", {{"http://h/v1/data.pak", "3"}, {"http://h/v2/DATA.pak", "4"}}, {},
     "<File url='http://h/v1/data.pak'/><File url='http://h/v2/DATA.pak' run='true'/>", {"http://h/v1/data.pak"}, 3,
     "", 1},
    {"a URL of 512 bytes", {{kLongUrl, "1"}, {kLongestUrl, "2"}}, {},
     "<File url='" + kLongUrl + "' run='true'/><File url='" + kLongestUrl + "'/>", {kLongestUrl}, 2, "", 1},
    // Under the publisher's key every file carries its hash, and the one to
    // start is one the list holds.
    {"a key: a file without its hash is left out", {{"http://h/a.bin", "1"}, {"http://h/b.exe", "2"}}, {},
     "<File url='http://h/a.bin' sha256='" + kHash + "'/><File url='http://h/b.exe' run='true'/>"
     "<File url='http://h/c.bin' sha256='12'/>",
     {"http://h/a.bin"}, 1, "", 1, true},
    {"a key: an unsized file is not run", {{"http://h/a.bin", "1"}}, {},
     "<File url='http://h/a.bin' sha256='" + kHash + "'/><File url='http://h/b.exe' sha256='" + kHash +
         "' run='true'/>",
     {"http://h/a.bin"}, 1, "", 2, true},
    {"a key: a hashed run file is run", {{"http://h/b.exe", "2"}}, {},
     "<File url='http://h/b.exe' sha256='" + kHash + "' run='true'/>", {"http://h/b.exe"}, 2, "b.exe", 1, true},
    {"a key: a name left out is free", {{"http://h/v2/DATA.pak", "4"}}, {},
     "<File url='http://h/v1/data.pak'/><File url='http://h/v2/DATA.pak' sha256='" + kHash + "'/>",
     {"http://h/v2/DATA.pak"}, 4, "", 1, true},
};

TEST(DocumentWalk, FileListTable)
{
    for (const FileListRow& row : kFileListRows) {
        ResetAppState();
        if (row.pinned) AppState.publisherKeys = kSomeKey;
        FakeProbe probe;
        probe.sizes = row.sizes;
        probe.unreachable = row.unreachable;
        const std::string doc = "<Download>" + row.doc + "</Download>";
        ASSERT_EQ(S_OK, ApplyFileListDocument(doc.data(), doc.size(), probe.Function())) << row.name;
        EXPECT_EQ(row.listed, ListedUrls()) << row.name;
        EXPECT_EQ(row.total, AppState.totalSize) << row.name;
        EXPECT_STREQ(row.run, AppState.runFileName) << row.name;
        EXPECT_EQ(row.probes, probe.calls.size()) << row.name;
        for (const std::string& agent : probe.agents) EXPECT_EQ("Glenmoor FileXml", agent) << row.name;
    }
    EXPECT_STREQ("4", AppState.fileList.Head().sizeText);  // the last row's, as the server sent it
    FakeProbe probe;
    EXPECT_EQ(E_FAIL, ApplyFileListDocument("<File url='http://h/a'/>", 24, probe.Function()));
}

// Files whose servers answered with an error are left out and counted; the
// walk goes on past them.
TEST(DocumentWalk, FilesTheServerDoesNotHaveAreCounted)
{
    ResetAppState();
    FakeProbe probe;
    probe.sizes = {{"http://h/a.bin", "1"}, {"http://h/c.bin", "3"}};
    probe.missing = {"http://h/b.bin", "http://h/d.bin"};
    const std::string doc = "<Download><File url='http://h/a.bin'/><File url='http://h/b.bin'/>"
                            "<File url='http://h/c.bin'/><File url='http://h/d.bin'/></Download>";
    ASSERT_EQ(S_OK, ApplyFileListDocument(doc.data(), doc.size(), probe.Function()));
    EXPECT_EQ((Urls{"http://h/a.bin", "http://h/c.bin"}), ListedUrls());
    EXPECT_EQ(2, AppState.unfoundFiles);
}

// A File element's sha256 goes with its entry, in lower case; any other
// value is as if there were none.
TEST(DocumentWalk, APublishersHashGoesWithItsFile)
{
    ResetAppState();
    FakeProbe probe;
    probe.sizes = {{"http://h/a.bin", "1"}, {"http://h/b.bin", "2"}, {"http://h/c.bin", "3"}};
    const std::string doc = "<Download><File url='http://h/a.bin' sha256='" + kHash + "'/><File url='http://h/b.bin' "
                            "sha256='" + kHash.substr(1) + "'/><File url='http://h/c.bin'/></Download>";
    ASSERT_EQ(S_OK, ApplyFileListDocument(doc.data(), doc.size(), probe.Function()));
    std::vector<std::string> hashes;
    for (FileList list = AppState.fileList; !list.Empty(); list.RemoveHead()) hashes.push_back(list.Head().sha256);
    EXPECT_EQ((std::vector<std::string>{kLowerHash, "", ""}), hashes);
}

// A File element's block index goes with a hashed entry, resolved against
// its URL as a browser resolves a link, never from https to http, and only
// when it fits.
TEST(DocumentWalk, ABlockIndexGoesWithAHashedFile)
{
    const std::string hash(64, 'a');
    const struct {
        const char* url;
        std::string attributes;
        const char* blocks;
    } rows[] = {
        {"http://h/d/a.bin", "blocks='a.bin.vxblocks'", "http://h/d/a.bin.vxblocks"},
        {"http://h/d/a.bin", "blocks='/i/a.vxblocks'", "http://h/i/a.vxblocks"},
        {"https://h/d/a.bin", "blocks='https://cdn.example/a.vxblocks'", "https://cdn.example/a.vxblocks"},
        {"https://h/d/a.bin", "blocks='http://cdn.example/a.vxblocks'", ""},
        {"http://h/d/a.bin", "blocks='ftp://h/a.vxblocks'", ""},
        {"http://h/d/a.bin", "blocks='(null)'", ""},
        {"http://h/d/a.bin", "blocks='" + std::string(600, 'b') + "'", ""},
        {"http://h/d/a.bin", "", ""},
    };
    for (const auto& row : rows) {
        for (bool hashed : {true, false}) {
            ResetAppState();
            FakeProbe probe;
            probe.sizes = {{row.url, "1"}};
            const std::string doc = std::string("<Download><File url='") + row.url + "' " + row.attributes +
                                    (hashed ? " sha256='" + hash + "'" : "") + "/></Download>";
            ASSERT_EQ(S_OK, ApplyFileListDocument(doc.data(), doc.size(), probe.Function()));
            ASSERT_FALSE(AppState.fileList.Empty());
            EXPECT_STREQ(hashed ? row.blocks : "", AppState.fileList.Head().blocks) << row.attributes;
        }
    }
}

struct DirectRow {
    const char* name;
    std::map<std::string, std::string> sizes;
    std::set<std::string> unreachable;
    Urls listed;
    const char* run;
    bool pinned = false;  // under the publisher's key: no signed list names it
};

// The directly named file heads the list, before the file list's own.
const DirectRow kDirectRows[] = {
    {"sized", {{"http://h/direct.exe", "1000"}, {"http://h/a.bin", "5"}}, {}, {"http://h/direct.exe", "http://h/a.bin"},
     "direct.exe"},
    {"without a size it is still run", {{"http://h/a.bin", "5"}}, {}, {"http://h/a.bin"}, "direct.exe"},
    {"unreachable: not run", {{"http://h/a.bin", "5"}}, {"http://h/direct.exe"}, {"http://h/a.bin"}, ""},
    {"a key: neither sized nor run", {{"http://h/direct.exe", "1000"}, {"http://h/a.bin", "5"}}, {},
     {"http://h/a.bin"}, "", true},
};

TEST(DocumentWalk, DirectlyNamedFileTable)
{
    for (const DirectRow& row : kDirectRows) {
        ResetAppState();
        if (row.pinned) AppState.publisherKeys = kSomeKey;
        FakeProbe probe;
        probe.sizes = row.sizes;
        probe.unreachable = row.unreachable;
        CopyText(AppState.pendingEntry.url, "http://h/direct.exe");
        AddDirectlyNamedFile(probe.Function());
        const std::string doc = "<Download><File url='http://h/a.bin' sha256='" + kHash + "'/></Download>";
        ApplyFileListDocument(doc.data(), doc.size(), probe.Function());
        EXPECT_EQ(row.listed, ListedUrls()) << row.name;
        EXPECT_STREQ(row.run, AppState.runFileName) << row.name;
        ASSERT_FALSE(probe.agents.empty()) << row.name;
        EXPECT_EQ(row.pinned ? "Glenmoor FileXml" : "Glenmoor SetXml", probe.agents.front()) << row.name;
    }
}

TEST(DocumentWalk, LineEndsAreNormalised)
{
    TiXmlDocument doc;
    const char text[] = "<Download>\r<Title>a\r\nb\rc</Title></Download>";
    TiXmlBase::SetCondenseWhiteSpace(false);
    ParseReceivedDocument(doc, text, sizeof(text) - 1);
    TiXmlBase::SetCondenseWhiteSpace(true);
    ASSERT_NE(nullptr, doc.FirstChildElement("Download"));
    EXPECT_STREQ("a\nb\nc", doc.FirstChildElement("Download")->FirstChildElement("Title")->GetText());
}

TEST(DocumentWalk, AddPendingEntryAppendsACopy)
{
    ResetAppState();
    CopyText(AppState.pendingEntry.url, "http://h/x");
    CopyText(AppState.pendingEntry.sizeText, "25");
    AddPendingEntry();
    CopyText(AppState.pendingEntry.url, "http://h/y");
    EXPECT_EQ(25, AppState.totalSize);
    EXPECT_STREQ("http://h/x", AppState.fileList.Head().url);
}

}  // namespace
