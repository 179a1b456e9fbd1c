// Folder set-up and refused inputs.
#include "support/http_responder.h"
#include "tkwengine/engine_harness.h"

namespace {

TEST_F(EngineTest, SetDownloadFolderCreatesTheChain)
{
    std::string deep = folder_ + "\\one\\two\\three";
    EXPECT_EQ(0, engine_->SetDownloadFolder((deep + "\\").c_str()));
    DWORD attributes = GetFileAttributesA(deep.c_str());
    ASSERT_NE(INVALID_FILE_ATTRIBUTES, attributes);
    EXPECT_TRUE(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

TEST_F(EngineTest, SetDownloadFolderRefusesUnusablePaths)
{
    EXPECT_LT(engine_->SetDownloadFolder(""), 0);
    EXPECT_LT(engine_->SetDownloadFolder(nullptr), 0);
    WriteFileBytes(Local("plain"), "x");
    EXPECT_LT(engine_->SetDownloadFolder((folder_ + "\\plain\\below").c_str()), 0);
    EXPECT_LT(engine_->SetDownloadFolder(std::string(300, 'a').c_str()), 0);
}

TEST_F(EngineTest, RefusesUnsafeNames)
{
    ScriptedServer server;
    const char* const paths[] = {"/dir/", "/dir/..", "/a:b", "/a\\b", "/con", "/trail."};
    for (const char* path : paths) EXPECT_NE(0, Start(server.Url(path), 10)) << path;
    EXPECT_NE(0, Start("http://127.0.0.1", 10));
    EXPECT_NE(0, Start("ftp://127.0.0.1/file.bin", 10));
    EXPECT_NE(0, Start("", 10));
    const std::string hash = Sha256Of("x");
    const std::string badHashes[] = {hash.substr(1), hash + "0", hash.substr(1) + "g", hash.substr(1) + " "};
    for (const std::string& bad : badHashes) EXPECT_EQ(kStartBadHash, Start(server.Url("/ok.bin"), 10, bad)) << bad;
    Sleep(200);
    EXPECT_TRUE(RecordedEvents().empty());
    EXPECT_TRUE(server.Requests().empty());
}

TEST_F(EngineTest, RefusesANullCallback)
{
    engine_->Release();
    engine_ = nullptr;
    EngineCallback none = nullptr;
    EXPECT_EQ(nullptr, Entry()("s", "", &none, 1, 0, 0, 0, nullptr));
    EXPECT_EQ(nullptr, Entry()("s", "", nullptr, 1, 0, 0, 0, nullptr));
}

}  // namespace
