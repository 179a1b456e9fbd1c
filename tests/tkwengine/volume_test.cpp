// Disk space on a real small volume: a 1 MiB RAM disk that the test bench
// maps as a drive where the machine allows mounting (VEXIL_SMALL_DRIVE).
#include <cstdlib>

#include "tkwengine/engine_harness.h"

namespace {

constexpr DWORD kWaitMs = 30000;

class SmallVolumeTest : public EngineTest {
protected:
    void SetUp() override
    {
        EngineTest::SetUp();
        const char* drive = std::getenv("VEXIL_SMALL_DRIVE");
        if (!drive || !*drive) GTEST_SKIP() << "no small volume on this machine";
        folder_ = std::string(drive) + "\\engine_" + ::testing::UnitTest::GetInstance()->current_test_info()->name();
        ASSERT_EQ(0, engine_->SetDownloadFolder(folder_.c_str()));
    }
};

// Known to be too large, the file is refused before any request; of unknown
// size, only the writes can tell.
TEST_F(SmallVolumeTest, FileLargerThanTheFreeSpaceIs2001)
{
    for (uint64_t size : {2 << 20, 0}) {
        ScriptedServer server;
        server.Serve("/two.bin", HttpReply::Ok(Pattern(2 << 20, 11)));
        DeleteFileA(Local("two.bin").c_str());
        ClearEvents();
        ASSERT_EQ(0, Start(server.Url("/two.bin"), size));
        ASSERT_TRUE(WaitForEnd(kWaitMs));
        EXPECT_EQ(kErrorDiskFull, LastErrorCode()) << size;
        EXPECT_FALSE(HasEvent(kEngineFinished)) << size;
        EXPECT_EQ(size ? 0u : 1u, server.Requests().size()) << size;
    }
}

}  // namespace
