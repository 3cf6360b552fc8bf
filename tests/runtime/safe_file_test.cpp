#include "runtime/safe_file.h"

#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace folvex {
namespace {

std::vector<std::string> folderNames(const std::filesystem::path& folder)
{
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

TEST(SafeFileTest, WritesAndReplacesOnlyWhenComplete)
{
    testing::TempDir dir;
    const std::string target = dir.file("a.txt");
    ASSERT_TRUE(writeFileSafely(target, "first"));
    EXPECT_EQ(testing::readFile(target), "first");

    auto writer = SafeFileWriter::create(target);
    ASSERT_TRUE(writer);
    ASSERT_TRUE(writer->write("second"));
    EXPECT_TRUE(writer->temporaryPath().ends_with(".folvex-tmp"));
    EXPECT_EQ(testing::readFile(target), "first");
    ASSERT_TRUE(writer->commit());
    EXPECT_EQ(testing::readFile(target), "second");
    EXPECT_EQ(folderNames(dir.path()), std::vector<std::string>{"a.txt"});
}

TEST(SafeFileTest, AnAbandonedWriteLeavesTheOldFileAndNoTemporary)
{
    testing::TempDir dir;
    const std::string target = dir.file("a.txt");
    testing::writeFile(target, "old");
    {
        auto writer = SafeFileWriter::create(target);
        ASSERT_TRUE(writer);
        ASSERT_TRUE(writer->write("half"));
    }
    EXPECT_EQ(testing::readFile(target), "old");
    EXPECT_EQ(folderNames(dir.path()), std::vector<std::string>{"a.txt"});
}

TEST(SafeFileTest, AFailedRenameKeepsTheTargetAndRemovesTheTemporary)
{
    testing::TempDir dir;
    const std::string target = dir.file("folder");
    std::filesystem::create_directory(target);
    testing::writeFile(dir.file("folder/inner"), "x");
    const auto result = writeFileSafely(target, "content");
    EXPECT_FALSE(result);
    EXPECT_TRUE(std::filesystem::is_directory(target));
    EXPECT_EQ(folderNames(dir.path()), std::vector<std::string>{"folder"});
}

TEST(SafeFileTest, AMissingFolderFails)
{
    testing::TempDir dir;
    EXPECT_FALSE(writeFileSafely(dir.file("missing/a.txt"), "x"));
    testing::writeFile(dir.file("plain"), "x");
    EXPECT_FALSE(writeFileSafely(dir.file("plain/a.txt"), "x"));
}

TEST(SafeFileTest, CopyReplacesTheTargetWholeOrNotAtAll)
{
    testing::TempDir dir;
    const std::string target = dir.file("copy.bmp");
    testing::writeFile(target, "old");
    // Larger than one read, with every byte value.
    std::string content;
    for (int i = 0; i < 200000; ++i) {
        content.push_back(static_cast<char>(i * 7));
    }
    testing::writeFile(dir.file("page.bmp"), content);
    ASSERT_TRUE(copyFileSafely(dir.file("page.bmp"), target));
    EXPECT_EQ(testing::readFile(target), content);

    const Expected<void> missing = copyFileSafely(dir.file("none.bmp"), target);
    ASSERT_FALSE(missing);
    EXPECT_NE(missing.error().message.find("none.bmp"), std::string::npos);
    EXPECT_EQ(testing::readFile(target), content);
    EXPECT_FALSE(copyFileSafely(dir.file("page.bmp"), dir.file("no/such/folder.bmp")));
    EXPECT_EQ(folderNames(dir.path()), (std::vector<std::string>{"copy.bmp", "page.bmp"}));
}

TEST(SafeFileTest, RenameNoReplaceNeverReplaces)
{
    testing::TempDir dir;
    testing::writeFile(dir.file("a"), "a");
    testing::writeFile(dir.file("b"), "b");
    const auto refused = renameNoReplace(dir.file("a"), dir.file("b"));
    ASSERT_FALSE(refused);
    EXPECT_EQ(refused.error().code, EEXIST);
    EXPECT_EQ(testing::readFile(dir.file("b")), "b");
    ASSERT_TRUE(renameNoReplace(dir.file("a"), dir.file("c")));
    EXPECT_EQ(testing::readFile(dir.file("c")), "a");
    EXPECT_FALSE(std::filesystem::exists(dir.file("a")));
}

} // namespace
} // namespace folvex
