// Documents a hostile or broken server could send: whatever arrives, the
// walks stay within the record and the list holds only safe, sized files.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "state/app_state.h"
#include "config/documents.h"
#include "fake_probe.h"
#include "support/fresh_state.h"

namespace {

// The largest document the retrieval hands over.
constexpr size_t kDocumentCapacity = 65000;

class HostileDocument : public ::testing::Test {
protected:
    void SetUp() override { ResetAppState(); }

    HRESULT Settings(const std::string& text) { return ApplySettingsDocument(text.data(), text.size()); }
    HRESULT Files(const std::string& text) { return ApplyFileListDocument(text.data(), text.size(), probe.Function()); }

    FakeProbe probe;
};

std::string Nested(const std::string& open, const std::string& close, size_t capacity)
{
    std::string text = "<Download>";
    while (text.size() + open.size() + close.size() + 11 <= capacity) text += open;
    while (!close.empty() && text.size() + close.size() + 11 <= capacity) text += close;
    return text + "</Download>";
}

TEST_F(HostileDocument, DeepNestingWithinTheCapacityIsSurvived)
{
    // Unclosed and closed nesting, as deep as 65000 bytes allow.
    for (const std::string& doc :
         {Nested("<a>", "", kDocumentCapacity), Nested("<File url='http://h/x'>", "</File>", kDocumentCapacity),
          Nested("<Title>", "</Title>", kDocumentCapacity)}) {
        ASSERT_LE(doc.size(), kDocumentCapacity);
        Files(doc);
        Settings(doc);
        EXPECT_TRUE(AppState.fileList.Count() <= 1);
        EXPECT_LT(strlen(AppState.windowTitle), kTextSize);
    }
}

TEST_F(HostileDocument, TenThousandFilesAreAllSized)
{
    std::string doc = "<Download>";
    for (int i = 0; i < 10000; ++i) {
        std::string url = "http://h/" + std::to_string(i);
        probe.sizes[url] = "1";
        doc += "<File url='" + url + "'/>";
    }
    Files(doc + "</Download>");
    EXPECT_EQ(10000u, probe.calls.size());
    EXPECT_EQ(10000u, AppState.fileList.Count());
    EXPECT_EQ(10000, AppState.totalSize);
}

TEST_F(HostileDocument, DocumentsWithoutAWholeDownloadElementGiveNothing)
{
    static const char kNulFirst[] = "\0<Download><File url='http://h/a'/></Download>";
    const std::string docs[] = {"", "<", "<Download", "</Download>", "<!-- <Download> -->", "\xEF\xBB\xBF",
                                std::string(kNulFirst, sizeof kNulFirst - 1)};
    probe.sizes["http://h/a"] = "5";
    for (const std::string& doc : docs) {
        ResetAppState();
        Files(doc);
        Settings(doc);
        EXPECT_TRUE(AppState.fileList.Empty()) << doc;
        EXPECT_STREQ("", AppState.serverList) << doc;
    }
}

TEST_F(HostileDocument, TruncatedDocumentsKeepOnlyWholeSafeEntries)
{
    const char* docs[] = {"<Download><File url='http://h/a'", "<Download><File url='http://h/a'/><File url='ht",
                          "<Download url=><File url='http://h/a'/>", "<Download><File url='http://h/a'/><<<>>>"};
    probe.sizes["http://h/a"] = "5";
    for (const char* doc : docs) {
        ResetAppState();
        Files(doc);
        EXPECT_LE(AppState.fileList.Count(), 1u) << doc;
        if (!AppState.fileList.Empty()) {
            EXPECT_STREQ("http://h/a", AppState.fileList.Head().url) << doc;
        }
    }
}

TEST_F(HostileDocument, UrlsAtTheFieldLimit)
{
    for (size_t length : {511u, 512u, 600u}) {
        ResetAppState();
        std::string url = "http://h/" + std::string(length - 15, 'u') + "/u.exe";
        probe.sizes[url] = "3";
        Files("<Download><File url='" + url + "' run='true'/></Download>");
        EXPECT_EQ(length < kTextSize ? 1u : 0u, AppState.fileList.Count()) << length;
        EXPECT_STREQ(length < kTextSize ? "u.exe" : "", AppState.runFileName) << length;
    }
}

TEST_F(HostileDocument, AttributesAtEveryLengthBoundaryStayTerminated)
{
    for (size_t length : {0u, 1u, 2u, 510u, 511u, 512u, 513u, 4000u}) {
        ResetAppState();
        std::string value(length, 'v');
        Settings("<Download><Title>" + value + "</Title><Service id='" + value + "'/><Location saveto='" + value +
                 "' mkdir='" + value + "'/><Image url='" + value + "'/><Server addr='" + value + "'/><Server addr='" +
                 value + "'/></Download>");
        for (const char* field : {AppState.windowTitle, AppState.serviceId, AppState.downloadFolder,
                                  AppState.subFolderName, AppState.imageUrl, AppState.serverList})
            EXPECT_LT(strlen(field), kTextSize) << length;
        // A whole value fits or the field is left empty; only the title is cut.
        EXPECT_EQ(length < kTextSize ? value : "", AppState.serviceId) << length;
        EXPECT_EQ(std::min<size_t>(length, kTextSize - 1), strlen(AppState.windowTitle)) << length;
    }
}

// Every setting after the title is read, whatever the declaration says.
TEST_F(HostileDocument, TitlesInCp949AndUtf8AreKeptAsBytes)
{
    const std::string cp949 = "\xB1\xDB\xB7\xBB\xB9\xAB\xBE\xEE";  // 글렌무어 in CP949
    const std::string utf8 = "\xEA\xB8\x80\xEB\xA0\x8C\xEB\xAC\xB4\xEC\x96\xB4";  // the same in UTF-8
    struct {
        const char* declaration;
        std::string title;
        std::string shown;  // UTF-8 read as CP949 ends in half a character, which is left out
    } const cases[] = {
        {"", cp949, cp949},
        {"<?xml version=\"1.0\"?>", cp949, cp949},
        {"<?xml version=\"1.0\" encoding=\"UTF-8\"?>", cp949, cp949},
        {"<?xml version=\"1.0\" encoding=\"euc-kr\"?>", cp949, cp949},
        {"<?xml version=\"1.0\"?>", utf8, utf8.substr(0, utf8.size() - 1)},
        {"<?xml version=\"1.0\" encoding=\"UTF-8\"?>", utf8, utf8.substr(0, utf8.size() - 1)},
    };
    for (const auto& c : cases) {
        ResetAppState();
        Settings(std::string(c.declaration) + "\n<Download><Title>" + c.title +
                 "</Title><Location saveto='AppData' mkdir='Client'/><Server addr='m:1'/></Download>");
        EXPECT_EQ(c.shown, AppState.windowTitle) << c.declaration;
        EXPECT_STREQ("Client", AppState.subFolderName) << c.declaration;
        EXPECT_STREQ("m:1", AppState.serverList) << c.declaration;
    }
}

}  // namespace
