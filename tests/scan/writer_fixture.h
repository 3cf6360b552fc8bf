#pragma once
// Page files as the scan job leaves them and a writer run through the job's ports: the scripted save
// dialog, the scripted message boxes, the recording main window and the real image library.

#include "scan/scan_job.h"
#include "scan/writer_table.h"
#include "scan_job_fakes.h"
#include "shell/settings.h"
#include "support/action_box_fakes.h"
#include "support/fakes.h"
#include "support/image_fixtures.h"
#include "support/temp_dir.h"
#include "twain/fake_scanner_library.h"

#include <FreeImage.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

namespace folvex {

class FileOps;

namespace fs = std::filesystem;
using testing::realFunctions;

inline constexpr double MetresPerInch = 0.0254;

// A library image of the depth: 1, 4 and 8 ("8 palette") with colour palettes, "8 grey", 16 (565),
// 24 and 32 bits, with the fixtures' pattern.
inline FIBITMAP* makeDepthImage(unsigned width, unsigned height, const std::string& depth)
{
    std::string rgb;
    if (depth == "8 grey" || depth == "16") {
        FIBITMAP* colour = testing::makeLibraryImage(width, height, 24, rgb);
        FIBITMAP* converted =
            depth == "16" ? FreeImage_ConvertTo16Bits565(colour) : FreeImage_ConvertToGreyscale(colour);
        FreeImage_Unload(colour);
        return converted;
    }
    return testing::makeLibraryImage(width, height, depth == "8 palette" ? 8 : std::stoul(depth), rgb);
}

// A page as the scan job leaves it: its depth, size and resolution; blank pages are white.
struct PageShape
{
    std::string depth = "24";
    unsigned width = 120;
    unsigned height = 160;
    double dpi = 72.0;
    bool blank = false;
};

class WriterTest : public ::testing::Test
{
protected:
    WriterTest()
    {
        allocateMainProgramTables(shell);
        SettingsState& s = shell.settingsState;
        fs::create_directories(dir.path() / "prog");
        fs::create_directories(dir.path() / "tmp");
        fs::create_directories(dir.path() / "out");
        s.ProgramDir = dir.folder() + "prog/";
        s.settings.TmpPath = dir.file("tmp");
        job.discardBlank = 1;
    }

    void writePage(int number, const PageShape& shape = {})
    {
        FIBITMAP* image = makeDepthImage(shape.width, shape.height, shape.depth);
        if (shape.blank) {
            FIBITMAP* white =
                FreeImage_Allocate(static_cast<int>(shape.width), static_cast<int>(shape.height), 24);
            const RGBQUAD colour{255, 255, 255, 0};
            FreeImage_FillBackground(white, &colour, 0);
            FreeImage_Unload(image);
            image = white;
        }
        const auto dpm = static_cast<unsigned>(std::lround(shape.dpi / MetresPerInch));
        FreeImage_SetDotsPerMeterX(image, dpm);
        FreeImage_SetDotsPerMeterY(image, dpm);
        testing::saveLibraryImage(image, FIF_BMP, tmp("TmpReadyImg" + std::to_string(number) + ".bmp"));
        FreeImage_Unload(image);
        job.mergedPages = std::max(job.mergedPages, number);
    }

    void writePages(int count, const std::set<int>& blank = {})
    {
        for (int k = 1; k <= count; ++k) {
            PageShape shape;
            shape.blank = blank.count(k) != 0;
            writePage(k, shape);
        }
    }

    WriterOutcome save(const ScanWriter& writer, const std::string& answer, FileOps* files = nullptr)
    {
        return saveWith(writer, answer, realFunctions(), files);
    }

    // The same run on another image-library table (tests swap entries in a copy to inject failures).
    WriterOutcome saveWith(
        const ScanWriter& writer,
        const std::string& answer,
        const FreeImageFunctionTable& functions,
        FileOps* files = nullptr)
    {
        effects.files.queueAnswer(answer);
        ScanJobContext context{shell, scanner, window, dialogs, {}, &functions, {}, files};
        return writer(context, job);
    }

    std::string tmp(const std::string& name) const { return dir.folder() + "tmp/" + name; }

    std::string out(const std::string& name) const { return dir.folder() + "out/" + name; }

    std::set<std::string> outFiles() const
    {
        std::set<std::string> names;
        for (const auto& entry : fs::directory_iterator(dir.path() / "out")) {
            names.insert(entry.path().filename().string());
        }
        return names;
    }

    std::vector<std::string> boxTitles() const { return boxes.titles(); }

    bool beeped() const { return !effects.sound.systemSounds.empty(); }

    testing::TempDir dir;
    testing::ScopedFakeEffects effects;
    testing::ScriptedActionBoxAnswerer boxes;
    ShellState shell;
    FakeScannerLibrary scanner;
    testing::RecordingWindow window;
    testing::RecordingDialogs dialogs;
    ScanJobState job;
};

} // namespace folvex
