#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "state/app_state.h"
#include "common/file_system.h"
#include "config/documents.h"
#include "config/background_picture.h"
#include "config/engine_library.h"
#include "config/http_fetch.h"
#include "config/signed_document.h"
#include "support/fresh_state.h"
#include "support/http_responder.h"
#include "support/temp_dir.h"
#include "support/test_publisher.h"

namespace {

class HttpFetch : public ::testing::Test {
protected:
    void SetUp() override { ResetAppState(); }
    HttpResponder server;
};

std::string Padded(size_t size)
{
    std::string text = "<Download>";
    text += std::string(size - text.size() - 11, ' ');
    return text + "</Download>";
}

TEST_F(HttpFetch, DocumentOfExactCapacityIsReadWhole)
{
    server.Serve("/big.xml", HttpReply::Ok(Padded(65000)));
    std::vector<char> buffer(65000, 0);
    DWORD count = 65000;
    EXPECT_EQ(S_OK, ReadDocument(buffer.data(), &count, server.Url("/big.xml").c_str()));
    EXPECT_EQ(65000u, count);
    EXPECT_EQ(0, memcmp(buffer.data(), "<Download>", 10));
    const auto requests = server.Requests();
    ASSERT_EQ(1u, requests.size());
    EXPECT_EQ("GET", requests[0].method);
    EXPECT_EQ("Glenmoor ReadXML", requests[0].Header("user-agent"));
}

TEST_F(HttpFetch, DocumentOneByteTooLargeFails)
{
    server.Serve("/big.xml", HttpReply::Ok(Padded(65001)));
    std::vector<char> buffer(65000, 0);
    DWORD count = 65000;
    EXPECT_EQ(E_FAIL, ReadDocument(buffer.data(), &count, server.Url("/big.xml").c_str()));
    EXPECT_LT(count, 65000u);
    EXPECT_GT(count, 65000u - 4096u - 1);
}

TEST_F(HttpFetch, Status404FailsAnd500IsADocument)
{
    server.Serve("/missing.xml", HttpReply::Status(404, "Not Found", "gone"));
    server.Serve("/error.xml", HttpReply::Status(500, "Internal Server Error", "<p>error page</p>"));
    char buffer[100] = {};
    DWORD count = sizeof(buffer);
    EXPECT_EQ(E_FAIL, ReadDocument(buffer, &count, server.Url("/missing.xml").c_str()));
    EXPECT_EQ(100u, count);
    EXPECT_EQ(S_OK, ReadDocument(buffer, &count, server.Url("/error.xml").c_str()));
    EXPECT_EQ(std::string("<p>error page</p>"), std::string(buffer, count));
}

TEST_F(HttpFetch, UnreachableDocumentFails)
{
    char buffer[16];
    DWORD count = sizeof(buffer);
    EXPECT_EQ(E_FAIL, ReadDocument(buffer, &count, "http://127.0.0.1:1/x.xml"));
    EXPECT_EQ(16u, count);
}

// Every request of start-up follows redirects itself: each status it
// follows, relative and absolute Locations, five hops at most, the verb kept.
TEST_F(HttpFetch, RedirectsAreFollowedUpToFiveHops)
{
    auto moved = [](int status, const std::string& to) {
        HttpReply reply = HttpReply::Status(status, "Moved");
        reply.headers = {"Location: " + to};
        return reply;
    };
    server.Serve("/d/r1", moved(301, "r2"));
    server.Serve("/d/r2", moved(302, "/d/r3?x=1"));
    server.Serve("/d/r3", moved(303, server.Url("/d/r4")));
    server.Serve("/d/r4", moved(307, "./r5"));
    server.Serve("/d/r5", moved(308, "../e/final.xml"));
    server.Serve("/e/final.xml", HttpReply::Ok("<Download/>"));
    server.Serve("/loop", moved(302, "/loop"));
    server.Serve("/r0", moved(302, "/d/r1"));  // six hops
    char buffer[100] = {};
    DWORD count = sizeof buffer;
    ASSERT_EQ(S_OK, ReadDocument(buffer, &count, server.Url("/d/r1").c_str()));
    EXPECT_EQ("<Download/>", std::string(buffer, count));
    for (const char* failing : {"/loop", "/r0"}) {
        count = sizeof buffer;
        EXPECT_EQ(E_FAIL, ReadDocument(buffer, &count, server.Url(failing).c_str())) << failing;
    }
    char size[kTextSize] = "0";
    EXPECT_TRUE(ProbeFileSize(server.Url("/d/r1").c_str(), "Glenmoor FileXml", size));
    EXPECT_STREQ("11", size);
    EXPECT_FALSE(ProbeFileSize(server.Url("/loop").c_str(), "Glenmoor FileXml", size));
    std::vector<std::string> heads;
    for (const HttpRequest& request : server.Requests())
        if (request.method == "HEAD") heads.push_back(request.path);
    EXPECT_EQ(heads[5], "/e/final.xml");
    EXPECT_EQ(6u + 6u, heads.size());  // the chain, then the loop up to its limit
}

TEST_F(HttpFetch, SettingsRetriedAfterFirstFailure)
{
    HttpReply first = HttpReply::Status(404, "Not Found");
    first.times = 1;
    server.Serve("/s.xml", first);
    server.Serve("/s.xml", HttpReply::Ok("<Download><Title>Second</Title><Server addr='A'/></Download>"));
    CopyText(AppState.settingsUrl, server.Url("/s.xml").c_str());
    AppState.appInstance = GetModuleHandleA(nullptr);
    const DWORD start = GetTickCount();
    EXPECT_EQ(S_OK, ReadSettingsDocument());
    EXPECT_GE(GetTickCount() - start, 40u);
    EXPECT_STREQ("Second", AppState.windowTitle);
    EXPECT_STREQ("A", AppState.serverList);
    int gets = 0;
    for (const auto& request : server.Requests()) gets += request.path == "/s.xml";
    EXPECT_EQ(2, gets);
}

TEST_F(HttpFetch, RetryStartsWithFullCapacity)
{
    HttpReply first = HttpReply::Ok(Padded(65001));
    first.times = 1;
    server.Serve("/f.xml", first);
    server.Serve("/f.xml", HttpReply::Ok("<Download>" + std::string(64000, ' ') + "<File url='" +
                                         server.Url("/a.bin") + "'/></Download>"));
    server.Serve("/a.bin", HttpReply::Ok(std::string(100, 'x')));
    CopyText(AppState.fileListUrl, server.Url("/f.xml").c_str());
    EXPECT_EQ(S_OK, ReadFileListDocument());
    EXPECT_EQ(1u, AppState.fileList.Count());
    EXPECT_EQ(100, AppState.totalSize);
}

// Under the publisher's key each attempt asks for the signature while it
// reads the document: each answer stalled 2 s, an attempt takes 2 s, not 4;
// a retry asks for both again.
TEST_F(HttpFetch, ASignatureIsReadWithItsDocumentAndARetryReadsBoth)
{
    static const TestPublisher publisher;
    AppState.publisherKeys = publisher.KeyLine();
    char path[MAX_PATH];
    ASSERT_TRUE(AcceptedVersionPath(DocumentRole::Settings, path));
    DeleteFileA(path);
    const std::string document = Fresh("<Download><Title>Signed</Title></Download>", "1");
    HttpReply missing = HttpReply::Status(404, "Not Found");
    missing.times = 1;
    missing.stallMs = 2000;
    HttpReply signature = HttpReply::Ok(publisher.Signature(document)), stalled = HttpReply::Ok(document);
    signature.stallMs = stalled.stallMs = 2000;
    server.Serve("/s.xml.sig?n=1", missing);
    server.Serve("/s.xml.sig?n=1", signature);
    server.Serve("/s.xml?n=1", stalled);
    CopyText(AppState.settingsUrl, server.Url("/s.xml?n=1").c_str());
    const DWORD start = GetTickCount();
    EXPECT_EQ(S_OK, ReadSettingsDocument());
    const DWORD elapsed = GetTickCount() - start;
    EXPECT_GE(elapsed, 4000u);  // two attempts
    EXPECT_LT(elapsed, 6000u);  // asked one after the other, 8 s
    EXPECT_STREQ("Signed", AppState.windowTitle);
    std::vector<std::string> asked;
    for (const auto& request : server.Requests()) {
        asked.push_back(request.path);
        EXPECT_EQ("Glenmoor ReadXML", request.Header("user-agent")) << request.path;
    }
    std::sort(asked.begin(), asked.end());
    EXPECT_EQ((std::vector<std::string>{"/s.xml.sig?n=1", "/s.xml.sig?n=1", "/s.xml?n=1", "/s.xml?n=1"}), asked);
    DeleteFileA(path);
}

TEST_F(HttpFetch, TwoFailuresFailTheDocument)
{
    server.Serve("/f.xml", HttpReply::Status(404, "Not Found"));
    CopyText(AppState.fileListUrl, server.Url("/f.xml").c_str());
    EXPECT_EQ(E_FAIL, ReadFileListDocument());
}

TEST_F(HttpFetch, FileListProbesEachFileWithHead)
{
    HttpReply none = HttpReply::Ok("");
    none.contentLength = "none";
    server.Serve("/a.bin", HttpReply::Ok(std::string(100, 'a')));
    server.Serve("/b.bin", none);
    server.Serve("/c.bin", HttpReply::Ok(std::string(300, 'c')));
    server.Serve("/f.xml", HttpReply::Ok("<Download><File url='" + server.Url("/a.bin") + "'/><File url='" +
                                         server.Url("/b.bin") + "'/><File url='" + server.Url("/c.bin") +
                                         "'/></Download>"));
    CopyText(AppState.fileListUrl, server.Url("/f.xml").c_str());
    ASSERT_EQ(S_OK, ReadFileListDocument());
    EXPECT_EQ(2u, AppState.fileList.Count());
    EXPECT_EQ(400, AppState.totalSize);
    EXPECT_EQ(server.Url("/a.bin"), AppState.fileList.Head().url);
    const auto requests = server.Requests();
    ASSERT_EQ(4u, requests.size());
    EXPECT_EQ("GET", requests[0].method);
    for (size_t i = 1; i < requests.size(); ++i) {
        EXPECT_EQ("HEAD", requests[i].method);
        EXPECT_EQ("HTTP/1.0", requests[i].version);
        EXPECT_EQ("Glenmoor FileXml", requests[i].Header("user-agent"));
        EXPECT_EQ("Close", requests[i].Header("connection"));
    }
}

TEST_F(HttpFetch, ProbeHonoursThePort)
{
    server.Serve("/sized.bin?x=1", HttpReply::Ok(std::string(1234, 'z')));
    char size[kTextSize] = "0";
    EXPECT_TRUE(ProbeFileSize(server.Url("/sized.bin?x=1").c_str(), "Glenmoor SetXml", size));
    EXPECT_STREQ("1234", size);
    const auto requests = server.Requests();
    ASSERT_EQ(1u, requests.size());
    EXPECT_EQ("/sized.bin?x=1", requests[0].path);
    EXPECT_EQ("Glenmoor SetXml", requests[0].Header("user-agent"));
}

TEST_F(HttpFetch, ProbeWithoutLengthKeepsSizeText)
{
    HttpReply none = HttpReply::Ok("");
    none.contentLength = "none";
    server.Serve("/n.bin", none);
    char size[kTextSize] = "0";
    EXPECT_TRUE(ProbeFileSize(server.Url("/n.bin").c_str(), "Glenmoor FileXml", size));
    EXPECT_STREQ("0", size);
}

// A HEAD refused (405, 403 of a URL signed for GET, 501) is followed by a
// GET of the first byte; no other error status sizes a file, whatever
// length its page has.
TEST_F(HttpFetch, OnlyASuccessSizesAFile)
{
    const std::string data(5000, 'd'), page(164, 'p');
    HttpReply file = HttpReply::Ok(data);
    file.ranges = file.exactRanges = true;
    HttpReply noLength = HttpReply::Status(405, "Method Not Allowed");
    noLength.contentLength = "none";
    HttpReply unsized = HttpReply::Ok("");
    unsized.contentLength = "none";
    struct Row {
        const char* name;
        HttpReply head;
        HttpReply get;  // status 0: not asked for
        SizeAnswer answer;
        const char* size;
    } const rows[] = {
        {"405 with its page's length", HttpReply::Status(405, "Method Not Allowed", page), file, SizeAnswer::Answered,
         "5000"},
        {"405 without a length", noLength, file, SizeAnswer::Answered, "5000"},
        {"403 to HEAD", HttpReply::Status(403, "Forbidden", page), file, SizeAnswer::Answered, "5000"},
        {"501, then a GET that ignores ranges", HttpReply::Status(501, "Not Implemented"), HttpReply::Ok(data),
         SizeAnswer::Answered, "5000"},
        {"405, then nothing there", noLength, HttpReply::Status(404, "Not Found", page), SizeAnswer::Missing, "0"},
        {"404 with its page's length", HttpReply::Status(404, "Not Found", page), HttpReply::Status(0, ""),
         SizeAnswer::Missing, "0"},
        {"500", HttpReply::Status(500, "Internal Server Error", page), HttpReply::Status(0, ""), SizeAnswer::Missing,
         "0"},
        {"200 without a length", unsized, HttpReply::Status(0, ""), SizeAnswer::Answered, "0"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        HttpResponder responder;
        HttpReply head = row.head;
        head.times = 1;
        responder.Serve("/sized.bin", head);
        if (row.get.status) responder.Serve("/sized.bin", row.get);
        char size[kTextSize] = "0";
        EXPECT_EQ(row.answer, StartSizeProbe(responder.Url("/sized.bin").c_str(), "Glenmoor FileXml")(size));
        EXPECT_STREQ(row.size, size);
        const auto requests = responder.Requests();
        ASSERT_EQ(row.get.status ? 2u : 1u, requests.size());
        if (row.get.status) {
            EXPECT_EQ("GET", requests[1].method);
            EXPECT_EQ("bytes=0-0", requests[1].Header("range"));
            EXPECT_EQ("Glenmoor FileXml", requests[1].Header("user-agent"));
        }
    }
}

TEST_F(HttpFetch, ProbeRefusesMalformedUrls)
{
    char size[kTextSize] = "0";
    EXPECT_FALSE(ProbeFileSize("ftp://127.0.0.1/a.bin", "ua", size));
    EXPECT_FALSE(ProbeFileSize("http://127.0.0.1", "ua", size));
    EXPECT_FALSE(ProbeFileSize("http://127.0.0.1:1/a.bin", "ua", size));
    EXPECT_FALSE(ProbeFileSize(("http://127.0.0.1/" + std::string(600, 'a')).c_str(), "ua", size));
    EXPECT_STREQ("0", size);
}

TEST_F(HttpFetch, ProbeAcceptsUrlsBeyond127Characters)
{
    const std::string path = "/" + std::string(300, 'q') + ".bin";
    server.Serve(path, HttpReply::Ok(std::string(9, 'q')));
    char size[kTextSize] = "0";
    EXPECT_TRUE(ProbeFileSize(server.Url(path).c_str(), "ua", size));
    EXPECT_STREQ("9", size);
}

// Sized several at a time, the list is still what one file after the other
// gives: in order, up to the first file that cannot be sized, with the run
// file only among those.
TEST_F(HttpFetch, UnreachableFileEndsTheList)
{
    std::string list = "<Download>";
    for (int i = 1; i <= 30; ++i) {
        const std::string path = "/f" + std::to_string(i) + ".bin";
        server.Serve(path, HttpReply::Ok(std::string(static_cast<size_t>(i), 'x')));
        const std::string url = i == 20 ? "http://127.0.0.1:1" + path : server.Url(path);
        list += "<File url='" + url + "'" + (i % 10 == 5 ? " run='true'" : "") + "/>";
    }
    server.Serve("/f.xml", HttpReply::Ok(list + "</Download>"));
    CopyText(AppState.fileListUrl, server.Url("/f.xml").c_str());
    EXPECT_EQ(S_OK, ReadFileListDocument());
    ASSERT_EQ(19u, AppState.fileList.Count());
    EXPECT_EQ(19 * 20 / 2, AppState.totalSize);
    EXPECT_EQ(server.Url("/f1.bin"), AppState.fileList.Head().url);
    EXPECT_STREQ("f15.bin", AppState.runFileName);
}

TEST_F(HttpFetch, NegativeLengthNeverLowersTotal)
{
    HttpReply negative = HttpReply::Ok("");
    negative.contentLength = "-500";
    HttpReply text = HttpReply::Ok("");
    text.contentLength = "lots";
    server.Serve("/neg.bin", negative);
    server.Serve("/txt.bin", text);
    server.Serve("/ok.bin", HttpReply::Ok("12345"));
    server.Serve("/f.xml", HttpReply::Ok("<Download><File url='" + server.Url("/neg.bin") + "'/><File url='" +
                                         server.Url("/txt.bin") + "'/><File url='" + server.Url("/ok.bin") +
                                         "'/></Download>"));
    CopyText(AppState.fileListUrl, server.Url("/f.xml").c_str());
    EXPECT_EQ(S_OK, ReadFileListDocument());
    EXPECT_EQ(1u, AppState.fileList.Count());
    EXPECT_EQ(5, AppState.totalSize);
}

class Download : public HttpFetch {
protected:
    void SetUp() override
    {
        HttpFetch::SetUp();
        dir = FreshTempDir("dl");
        target = dir + "\\sub\\target.bin";
    }
    std::string dir;
    std::string target;
};

TEST_F(Download, WholeAnswerReplacesTheFile)
{
    server.Serve("/f.bin", HttpReply::Ok("new content"));
    CreateDirectoryA((dir + "\\sub").c_str(), nullptr);
    WriteWholeFile(target, "old");
    EXPECT_EQ(S_OK, DownloadToFile(server.Url("/f.bin").c_str(), target.c_str(), "Glenmoor ImgDown"));
    EXPECT_EQ("new content", ReadWholeFile(target));
    EXPECT_EQ(1, CountFiles(dir + "\\sub"));
    EXPECT_EQ("Glenmoor ImgDown", server.Requests().at(0).Header("user-agent"));
}

TEST_F(Download, CreatesTheFolders)
{
    server.Serve("/f.bin", HttpReply::Ok("abc"));
    const std::string deep = dir + "\\x\\y\\file.dat";
    EXPECT_EQ(S_OK, DownloadImage(server.Url("/f.bin").c_str(), deep.c_str()));
    EXPECT_EQ("abc", ReadWholeFile(deep));
}

TEST_F(Download, ErrorPageNeverReplacesTheFile)
{
    server.Serve("/f.bin", HttpReply::Status(404, "Not Found", "error page"));
    CreateDirectoryA((dir + "\\sub").c_str(), nullptr);
    WriteWholeFile(target, "old");
    EXPECT_EQ(E_FAIL, DownloadToFile(server.Url("/f.bin").c_str(), target.c_str(), "ua"));
    EXPECT_EQ("old", ReadWholeFile(target));
    EXPECT_EQ(1, CountFiles(dir + "\\sub"));
}

TEST_F(Download, ShortBodyNeverReplacesTheFile)
{
    HttpReply cut = HttpReply::Ok(std::string(200000, 'n'));
    cut.closeAfter = 1000;
    server.Serve("/f.bin", cut);
    CreateDirectoryA((dir + "\\sub").c_str(), nullptr);
    WriteWholeFile(target, "old");
    EXPECT_EQ(E_FAIL, DownloadToFile(server.Url("/f.bin").c_str(), target.c_str(), "ua"));
    EXPECT_EQ("old", ReadWholeFile(target));
    EXPECT_EQ(1, CountFiles(dir + "\\sub"));
}

TEST_F(Download, WrongLengthFails)
{
    HttpReply wrong = HttpReply::Ok("short");
    wrong.contentLength = "50";
    wrong.closeAfter = 5;
    server.Serve("/f.bin", wrong);
    EXPECT_EQ(E_FAIL, DownloadToFile(server.Url("/f.bin").c_str(), target.c_str(), "ua"));
    EXPECT_FALSE(FileExists(target));
}

TEST_F(Download, UnreachableLeavesNothing)
{
    EXPECT_EQ(E_FAIL, DownloadToFile("http://127.0.0.1:1/f.bin", target.c_str(), "ua"));
    EXPECT_FALSE(FileExists(target));
}

TEST_F(Download, ProgramImageMustStartWithMZ)
{
    server.Serve("/lib.dll", HttpReply::Ok("<html>not a library</html>"));
    server.Serve("/good.dll", HttpReply::Ok(std::string("MZ") + std::string(100, '\0')));
    EXPECT_EQ(E_FAIL, DownloadToFile(server.Url("/lib.dll").c_str(), target.c_str(), "Glenmoor EngineDown",
                                     BodyCheck::ProgramImage));
    EXPECT_FALSE(FileExists(target));
    EXPECT_EQ(S_OK, DownloadToFile(server.Url("/good.dll").c_str(), target.c_str(), "Glenmoor EngineDown",
                                   BodyCheck::ProgramImage));
    EXPECT_EQ(102u, ReadWholeFile(target).size());
}

TEST_F(HttpFetch, PresentEngineLibraryIsKept)
{
    AppState.engineLibraryPin = "";
    EnsureEngineLibrary();
    const std::string path = AppState.engineLibraryPath;
    ASSERT_NE(std::string::npos, path.find("\\Glenmoor\\download\\tkwengine.dll"));
    CreateParentFolders(path.c_str());
    WriteWholeFile(path, "");
    ResetAppState();
    AppState.engineLibraryPin = "";
    EnsureEngineLibrary();
    EXPECT_EQ(path, AppState.engineLibraryPath);
    EXPECT_EQ("", ReadWholeFile(path));
    DeleteFileA(path.c_str());
}

TEST_F(HttpFetch, CommandLineFileAtTheHeadThroughTheNetwork)
{
    server.Serve("/s.xml", HttpReply::Ok("<Download><Server addr='A'/></Download>"));
    server.Serve("/direct.exe", HttpReply::Ok(std::string(50, 'd')));
    server.Serve("/a.bin", HttpReply::Ok(std::string(7, 'a')));
    server.Serve("/f.xml", HttpReply::Ok("<Download><File url='" + server.Url("/a.bin") + "'/></Download>"));
    CopyText(AppState.settingsUrl, server.Url("/s.xml").c_str());
    CopyText(AppState.fileListUrl, server.Url("/f.xml").c_str());
    CopyText(AppState.pendingEntry.url, server.Url("/direct.exe").c_str());
    AppState.appInstance = GetModuleHandleA(nullptr);
    ASSERT_EQ(S_OK, ReadSettingsDocument());
    AddDirectlyNamedFile();
    ASSERT_EQ(S_OK, ReadFileListDocument());
    ASSERT_EQ(2u, AppState.fileList.Count());
    EXPECT_EQ(server.Url("/direct.exe"), AppState.fileList.Head().url);
    EXPECT_EQ(57, AppState.totalSize);
    EXPECT_STREQ("direct.exe", AppState.runFileName);
    bool setXml = false;
    for (const auto& request : server.Requests())
        if (request.path == "/direct.exe") setXml = request.Header("user-agent") == "Glenmoor SetXml";
    EXPECT_TRUE(setXml);
}

}  // namespace
