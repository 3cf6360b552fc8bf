#pragma once
// What every writer test runs in: a program folder, the temporary folder for the page files and an
// output folder; the job's window and dialogs recorded, the save dialog and the message box scripted,
// the real image library.

#include "scan/writer_table.h"
#include "scan_job_fakes.h"
#include "shell/settings.h"
#include "support/action_box_fakes.h"
#include "support/fakes.h"
#include "support/image_fixtures.h"
#include "support/temp_dir.h"
#include "twain/fake_scanner_library.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <string>

namespace folvex::testing {

class WriterFixture : public ::testing::Test
{
protected:
    WriterFixture()
    {
        allocateMainProgramTables(shell);
        SettingsState& s = shell.settingsState;
        std::filesystem::create_directories(dir.path() / "prog");
        std::filesystem::create_directories(dir.path() / "tmp");
        std::filesystem::create_directories(dir.path() / "out");
        s.ProgramDir = dir.folder() + "prog/";
        s.settings.TmpPath = dir.file("tmp");
        job.discardBlank = 1;
    }

    // Runs the writer with the save dialog answering answer.
    WriterOutcome runWriter(
        WriterOutcome (*writer)(ScanJobContext&, ScanJobState&),
        const std::string& answer,
        const FreeImageFunctionTable& functions = realFunctions())
    {
        effects.files.queueAnswer(answer);
        ScanJobContext context{shell, scanner, window, dialogs, {}, &functions};
        return writer(context, job);
    }

    std::string tmp(const std::string& name) const { return dir.folder() + "tmp/" + name; }

    std::string out(const std::string& name) const { return dir.folder() + "out/" + name; }

    std::set<std::string> outFiles() const
    {
        std::set<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(dir.path() / "out")) {
            names.insert(entry.path().filename().string());
        }
        return names;
    }

    bool beeped() const { return !effects.sound.systemSounds.empty(); }

    TempDir dir;
    ScopedFakeEffects effects;
    ScriptedActionBoxAnswerer boxes;
    ShellState shell;
    FakeScannerLibrary scanner;
    RecordingWindow window;
    RecordingDialogs dialogs;
    ScanJobState job;
};

} // namespace folvex::testing
