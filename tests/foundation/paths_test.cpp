#include "foundation/paths.h"

#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace folvex {
namespace {

struct PathCase
{
    const char* path;
    const char* directory;
    const char* fileName;
    const char* withoutExtension;
    const char* extension;
};

TEST(PathTest, TakesPathsApart)
{
    const PathCase cases[] = {
        {"/home/anna/scan.pdf", "/home/anna", "scan.pdf", "/home/anna/scan", "pdf"},
        {"/scan.pdf", "/", "scan.pdf", "/scan", "pdf"},
        {"/", "/", "", "/", ""},
        {"scan.pdf", "", "scan.pdf", "scan", "pdf"},
        {"Scans", "", "Scans", "Scans", ""},
        {"/home/anna/", "/home/anna", "", "/home/anna/", ""},
        {"rel/datei", "rel", "datei", "rel/datei", ""},
        {"/home/a.b/datei", "/home/a.b", "datei", "/home/a.b/datei", ""},
        {"/home/a.b/archiv.tar.gz", "/home/a.b", "archiv.tar.gz", "/home/a.b/archiv.tar", "gz"},
        {"/home/a.b/", "/home/a.b", "", "/home/a.b/", ""},
        {"/home/.profile", "/home", ".profile", "/home/", "profile"},
        {"datei.", "", "datei.", "datei", ""},
        {"", "", "", "", ""},
    };
    for (const PathCase& c : cases) {
        SCOPED_TRACE(c.path);
        EXPECT_EQ(PathDirectory(c.path), c.directory);
        EXPECT_EQ(PathFileName(c.path), c.fileName);
        EXPECT_EQ(PathWithoutExtension(c.path), c.withoutExtension);
        EXPECT_EQ(PathExtension(c.path), c.extension);
    }
}

TEST(PathTest, TellsFilesFromFolders)
{
    testing::TempDir dir;
    testing::writeFile(dir.file("a.txt"), "x");
    testing::writeFile(dir.file("leer"), "");
    std::filesystem::create_directory(dir.file("ordner.d"));

    struct Case
    {
        std::string path;
        int file;
        int directory;
    };

    const Case cases[] = {
        {dir.file("a.txt"), 1, 0},
        {dir.file("leer"), 1, 0},
        {dir.file("ordner.d"), 0, 1},
        {dir.file("ordner.d") + "//", 0, 1},
        {dir.file("fehlt"), 0, 0},
        {dir.file("a.txt/x"), 0, 0},
        {"", 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        EXPECT_EQ(FileExists(c.path), c.file);
        EXPECT_EQ(DirectoryExists(c.path), c.directory);
    }
}

} // namespace
} // namespace folvex
