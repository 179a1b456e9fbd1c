#include <gtest/gtest.h>

#include "common/file_system.h"
#include "support/temp_dir.h"

namespace {

TEST(FileSystem, ParentFoldersStopBeforeTheFileName)
{
    const std::string dir = FreshTempDir("parents");
    const std::string path = dir + "\\a\\b\\c.dll";
    EXPECT_TRUE(CreateParentFolders(path.c_str()));
    EXPECT_TRUE(IsDirectory((dir + "\\a\\b").c_str()));
    EXPECT_FALSE(FileExists(path));
}

TEST(FileSystem, FolderChainIsCreatedOrRefused)
{
    const std::string dir = FreshTempDir("chain");
    EXPECT_TRUE(CreateFolderChain((dir + "\\one\\two").c_str()));
    EXPECT_TRUE(IsDirectory((dir + "\\one\\two").c_str()));
    WriteWholeFile(dir + "\\plain", "x");
    EXPECT_FALSE(CreateFolderChain((dir + "\\plain\\below").c_str()));
    EXPECT_FALSE(CreateFolderChain(""));
}

TEST(FileSystem, LocalFileSizeIsZeroForAMissingFile)
{
    const std::string dir = FreshTempDir("size");
    EXPECT_EQ(0, LocalFileSize((dir + "\\missing").c_str()));
    WriteWholeFile(dir + "\\seven", "1234567");
    EXPECT_EQ(7, LocalFileSize((dir + "\\seven").c_str()));
}

}  // namespace
