#include "pageeditor/page_table.h"

#include "pageeditor/editor_fakes.h"
#include "shell/settings.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <numeric>
#include <random>

namespace folvex {
namespace {

using testing::TempDir;

std::vector<std::string> fileNames(const PageTable& table)
{
    std::vector<std::string> names;
    for (const PageRow& row : table.rows) {
        names.push_back(std::filesystem::path(row.path).filename().string());
    }
    return names;
}

TEST(PageTableTest, PageNumbers)
{
    struct Case
    {
        const char* path;
        std::int32_t number;
    };

    const Case cases[] = {
        {"/t/TmpReadyImg12.bmp", 12},
        {"/t/tmpimg3.bmp", 3},
        {"/t/tmpimgr007.bmp", 7},
        {"/t/TmpReadyImg.bmp", 0},
        {"/t/TmpReadyImg_1_5.bmp", 5},
        {"/t/TmpReadyImg4.tar.bmp", 0},
        {"/t/TmpReadyImg2147483647.bmp", 2147483647},
        {"/t/TmpReadyImg2147483648.bmp", 2147483647},
        {"/t/TmpReadyImg99999999999999999999999.bmp", 2147483647},
        {"/t/9/TmpReadyImg", 0},
        {"", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        EXPECT_EQ(pageNumberOf(c.path), c.number);
    }
    const auto rowOf = [](const char* path) {
        PageRow row;
        row.path = path;
        return row;
    };
    EXPECT_EQ(ComparePageNumbers(rowOf("/t/TmpReadyImg12.bmp"), rowOf("/t/TmpReadyImg9.bmp")), 1);
    EXPECT_EQ(ComparePageNumbers(rowOf("/t/TmpReadyImg9.bmp"), rowOf("/t/TmpReadyImg12.bmp")), -1);
    EXPECT_EQ(ComparePageNumbers(rowOf("/t/tmpimg3.bmp"), rowOf("/t/TmpReadyImg3.bmp")), 0);
}

TEST(PageTableTest, MarkCellsAreSetUnlessExactlyZero)
{
    PageRow row;
    EXPECT_FALSE(row.markedForDeletion());
    EXPECT_FALSE(row.markedBlank());
    for (const char* text : {"1", "", "00", " 0"}) {
        SCOPED_TRACE(text);
        row.toBeDeleted = text;
        row.pageEmpty = text;
        EXPECT_TRUE(row.markedForDeletion());
        EXPECT_TRUE(row.markedBlank());
    }
}

TEST(PageTableTest, PagesInAnyListingOrderEndInNumberOrder)
{
    TempDir dir;
    std::vector<int> numbers(12);
    std::iota(numbers.begin(), numbers.end(), 1);
    std::shuffle(numbers.begin(), numbers.end(), std::mt19937(29));
    for (const int n : numbers) {
        testing::writeFile(dir.file("TmpReadyImg" + std::to_string(n) + ".bmp"), "page");
    }
    SystemFileOps files;
    const PageTable table = collectPages(files, dir.path().string());
    ASSERT_EQ(table.PageCount(), 12);
    for (int r = 0; r < 12; ++r) {
        SCOPED_TRACE(r);
        EXPECT_EQ(table.rows[r].path, dir.file("TmpReadyImg" + std::to_string(r + 1) + ".bmp"));
        EXPECT_EQ(table.rows[r].OrigNumber, std::to_string(r + 1));
        EXPECT_EQ(table.rows[r].toBeDeleted, "0");
        EXPECT_EQ(table.rows[r].pageEmpty, "0");
        EXPECT_EQ(table.rows[r].StraightenDegrees, "0.0");
        EXPECT_EQ(table.rows[r].dpi, "");
    }
}

// Pages in any letter case; left-over working copies go; foreign files of the folder stay untouched.
TEST(PageTableTest, CollectionKeepsForeignFilesAndRemovesLeftOverCopies)
{
    TempDir dir;
    for (const char* page : {"TmpReadyImg1.bmp", "tmpimg3.bmp", "TmpReadyImg3.bmp", "TMPREADYIMG4.BMP"}) {
        testing::writeFile(dir.file(page), "page");
    }
    const char* leftOvers[] = {"TmpReadyImg3_edited.bmp", "TmpReadyImg3_edited_2.bmp"};
    for (const char* name : leftOvers) {
        testing::writeFile(dir.file(name), "copy");
    }
    const char* foreign[] = {"scan.bmp", "Bild.BMP", "Foto_edited.bmp", "notes.txt", "TmpReadyImg5.txt"};
    for (const char* name : foreign) {
        testing::writeFile(dir.file(name), std::string("user data ") + name);
    }
    std::filesystem::create_directory(dir.file("tmpimg9.bmp"));
    // The program's list of saved pages is neither a page nor a left-over copy.
    testing::writeFile(dir.file(std::string(SavedPagesMarkerName)), "TmpReadyImg1.bmp\t4\t1\n");

    SystemFileOps real;
    testing::RecordingFileOps files(real);
    const PageTable table = collectPages(files, dir.path().string());

    EXPECT_EQ(
        fileNames(table),
        (std::vector<std::string>{
            "TmpReadyImg1.bmp", "TmpReadyImg3.bmp", "tmpimg3.bmp", "TMPREADYIMG4.BMP"}));
    EXPECT_EQ(table.rows[3].OrigNumber, "4");
    for (const char* name : leftOvers) {
        EXPECT_FALSE(std::filesystem::exists(dir.file(name))) << name;
    }
    for (const char* name : foreign) {
        EXPECT_EQ(testing::readFile(dir.file(name)), std::string("user data ") + name);
    }
    EXPECT_EQ(files.count(testing::FileCall::Remove), 2);
    EXPECT_TRUE(std::filesystem::exists(dir.file(std::string(SavedPagesMarkerName))));
}

TEST(PageTableTest, FolderThatCannotBeListedGivesNoPages)
{
    TempDir dir;
    SystemFileOps files;
    EXPECT_EQ(collectPages(files, dir.file("missing")).PageCount(), 0);
    EXPECT_EQ(collectPages(files, "").PageCount(), 0);
}

} // namespace
} // namespace folvex
