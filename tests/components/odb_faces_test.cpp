// The face sheets of odb_faces, read back with the image library.

#include "support/temp_dir.h"

#include <FreeImage.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

namespace folvex {
namespace {

struct Sheet
{
    const char* file;
    int buttonWidth;
    int buttonHeight;
};

TEST(OdbFacesTest, WritesOneLoadableSheetPerFaceSet)
{
    const Sheet sheets[] = {
        {"gradient_green.png", 100, 30},       {"gradient_yellow.png", 100, 30},
        {"gradient_red.png", 100, 30},         {"gradient_blue.png", 100, 30},
        {"gradient_black.png", 100, 30},       {"gradient_darkpurple.png", 100, 30},
        {"gradient_pink.png", 100, 30},        {"gradient_orange.png", 100, 30},
        {"gradient_silver.png", 100, 30},      {"arc_01_green_200x30.png", 200, 30},
        {"arc_02_black_200x30.png", 200, 30},  {"arc_03_red_150x30.png", 150, 30},
        {"arc_04_green_150x30.png", 150, 30},  {"arc_05_red_100x30.png", 100, 30},
        {"arc_06_green_100x30.png", 100, 30},  {"arc_07_silver_100x20.png", 100, 20},
        {"arc_08_yellow_150x20.png", 150, 20}, {"arc_09_purple_100x20.png", 100, 20},
        {"arc_10_black_100x20.png", 100, 20},  {"arc_11_black_100x20.png", 100, 20},
        {"arc_12_pink_100x20.png", 100, 20},   {"arc_13_orange_100x20.png", 100, 20},
        {"arc_14_cyan_100x20.png", 100, 20},   {"arc_15_brown_100x20.png", 100, 20},
    };
    testing::TempDir dir;
    const std::string out = (dir.path() / "sheets").string();
    const std::string command = std::string("'") + ODB_FACES_PROGRAM + "' '" + out + "'";
    ASSERT_EQ(std::system(command.c_str()), 0);

    int files = 0;
    for (const auto& entry : std::filesystem::directory_iterator(out)) {
        (void)entry;
        ++files;
    }
    EXPECT_EQ(files, 24);
    for (const Sheet& sheet : sheets) {
        SCOPED_TRACE(sheet.file);
        const std::string path = out + "/" + sheet.file;
        FIBITMAP* image = FreeImage_Load(FIF_PNG, path.c_str(), 0);
        ASSERT_NE(image, nullptr);
        // Seven buttons stacked with a 4-pixel margin around and between them.
        EXPECT_EQ(static_cast<int>(FreeImage_GetWidth(image)), sheet.buttonWidth + 8);
        EXPECT_EQ(static_cast<int>(FreeImage_GetHeight(image)), 7 * (sheet.buttonHeight + 4) + 4);
        FreeImage_Unload(image);
    }
}

TEST(OdbFacesTest, WithoutAFolderItExplainsItsUse)
{
    const std::string command = std::string("'") + ODB_FACES_PROGRAM + "' 2>/dev/null";
    const int status = std::system(command.c_str());
    EXPECT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 2);
}

} // namespace
} // namespace folvex
