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

TEST_F(SmallVolumeTest, FileLargerThanTheFreeSpaceIs2001BeforeAnyRequest)
{
    ScriptedServer server;
    server.Serve("/two.bin", HttpReply::Ok(Pattern(2 << 20, 11)));
    ASSERT_EQ(0, Start(server.Url("/two.bin"), 2 << 20));
    ASSERT_TRUE(WaitForEnd(kWaitMs));
    EXPECT_EQ(kErrorDiskFull, LastErrorCode());
    EXPECT_TRUE(server.Requests().empty());
}

TEST_F(SmallVolumeTest, VolumeFillingUpWhileWritingIs2001)
{
    ScriptedServer server;
    server.Serve("/grows.bin", HttpReply::Ok(Pattern(2 << 20, 12)));
    ASSERT_EQ(0, Start(server.Url("/grows.bin"), 0));  // size unknown: only the writes can tell
    ASSERT_TRUE(WaitForEnd(kWaitMs));
    EXPECT_EQ(kErrorDiskFull, LastErrorCode());
    EXPECT_FALSE(HasEvent(kEngineFinished));
}

}  // namespace
