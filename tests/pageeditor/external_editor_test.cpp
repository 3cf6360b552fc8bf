#include "pageeditor/external_editor.h"

#include "pageeditor/editor_fakes.h"
#include "support/scoped_environment.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>

namespace folvex {
namespace {

using testing::FileCall;
using testing::readFile;
using testing::TempDir;
using testing::writeFile;

// Wait windows and notes in one log, with a probe run at each note.
class LoggingUi final : public EditorUi
{
public:
    void openWait(const std::string& text) override { log.push_back("open: " + text); }

    void setWaitText(const std::string& text) override { log.push_back("text: " + text); }

    void closeWait() override { log.push_back("close"); }

    void showNote(const std::string& text) override
    {
        log.push_back("note: " + text);
        if (atNote) {
            atNote();
        }
    }

    bool escapeDown() override { return false; }

    void pauseMs(int) override {}

    std::vector<std::string> log;
    std::function<void()> atNote;
};

// The outside editor: records what it is started with and does what the test scripts to the file.
class ScriptedEditor final : public ProcessRunner
{
public:
    ProcessResult run(const ProcessRequest& request) override
    {
        requests.push_back(request);
        if (!starts) {
            return {false, -1, "No such file or directory"};
        }
        if (edit && request.argv.size() == 2) {
            edit(request.argv[1]);
        }
        return {true, 0, {}};
    }

    bool startDetached(const std::vector<std::string>&, const std::string&) override { return false; }

    bool openWithDefaultViewer(const std::string&) override { return false; }

    bool starts = true;
    std::function<void(const std::string& file)> edit;
    std::vector<ProcessRequest> requests;
};

struct ExternalEditorFixture
{
    ExternalEditorFixture()
    {
        allocateMainProgramTables(shell);
        shell.settingsState.settings.TmpPath = dir.path().string();
        writeFile(page(), "page");
        model = std::make_unique<PageEditorModel>(shell, files, ui, 0, "PDF");
        model->open(1820);
        editors.AnzExtEditors = 1;
        editors.EditorName = {"", "Pinta"};
        editors.EditorPath = {"", "/opt/pinta/bin/pinta"};
        editors.EditorWait = {0, 0};
    }

    bool open(std::int32_t k)
    {
        return OpenInExternalEditor(*model, editors, runner, 1, k, [this] { return paintProgram; });
    }

    std::string page() const { return dir.file("TmpReadyImg1.bmp"); }

    std::string edited() const { return dir.file("TmpReadyImg1_edited.bmp"); }

    std::string second() const { return dir.file("TmpReadyImg1_edited_2.bmp"); }

    bool exists(const std::string& path) const { return std::filesystem::exists(path); }

    TempDir dir;
    ShellState shell;
    SystemFileOps real;
    testing::RecordingFileOps files{real};
    LoggingUi ui;
    ExternalEditorTables editors;
    ScriptedEditor runner;
    std::string paintProgram = "/usr/bin/kolourpaint";
    std::unique_ptr<PageEditorModel> model;
};

// A temporary folder named relative to the current folder: the editor, started in the page's folder,
// still gets the page, by its absolute path.
TEST(ExternalEditorTest, TheEditorGetsThePageByItsAbsolutePath)
{
    namespace fs = std::filesystem;
    ExternalEditorFixture f;
    const fs::path previous = fs::current_path();
    fs::current_path(f.dir.path().parent_path());
    f.shell.settingsState.settings.TmpPath = f.dir.path().filename().string();
    f.model = std::make_unique<PageEditorModel>(f.shell, f.files, f.ui, 0, "PDF");
    f.model->open(1820);
    const bool opened = f.open(1);
    fs::current_path(previous);

    ASSERT_TRUE(opened);
    ASSERT_EQ(f.runner.requests.size(), 1U);
    const ProcessRequest& request = f.runner.requests[0];
    ASSERT_EQ(request.argv.size(), 2U);
    EXPECT_TRUE(request.argv[1].starts_with("/")) << request.argv[1];
    EXPECT_TRUE(fs::equivalent(request.argv[1], f.edited())) << request.argv[1];
    EXPECT_TRUE(fs::equivalent(request.workingDir, f.dir.path())) << request.workingDir;
}

TEST(ExternalEditorTest, WithoutWorkingCopyThePageIsCopiedAndTheCopyEditedInPlace)
{
    ExternalEditorFixture f;
    f.runner.edit = [&f](const std::string& file) {
        EXPECT_EQ(readFile(file), "page");
        writeFile(file, "edited");
    };
    f.model->turnRight(1);
    EXPECT_TRUE(f.open(0));

    ASSERT_EQ(f.runner.requests.size(), 1U);
    EXPECT_EQ(f.runner.requests[0].argv, (std::vector<std::string>{"/usr/bin/kolourpaint", f.edited()}));
    EXPECT_EQ(f.runner.requests[0].workingDir, f.dir.path().string());
    EXPECT_EQ(readFile(f.edited()), "edited");
    EXPECT_EQ(readFile(f.page()), "page");
    EXPECT_FALSE(f.exists(f.second()));
    EXPECT_EQ(
        f.ui.log,
        (std::vector<std::string>{"open: " + f.edited() + " wird in MS-Paint geöffnet...", "close"}));
    // Pending turns are not baked into the copy; they stay pending.
    EXPECT_EQ(f.model->turns(1), 1);
}

TEST(ExternalEditorTest, WithWorkingCopyTheSecondCopyIsHandedOverAndRenamedOverIt)
{
    ExternalEditorFixture f;
    writeFile(f.edited(), "earlier");
    f.runner.edit = [&f](const std::string& file) {
        EXPECT_EQ(readFile(file), "earlier");
        EXPECT_EQ(readFile(f.edited()), "earlier");
        writeFile(file, "later");
    };
    EXPECT_TRUE(f.open(1));

    ASSERT_EQ(f.runner.requests.size(), 1U);
    EXPECT_EQ(f.runner.requests[0].argv, (std::vector<std::string>{"/opt/pinta/bin/pinta", f.second()}));
    EXPECT_EQ(readFile(f.edited()), "later");
    EXPECT_FALSE(f.exists(f.second()));
    EXPECT_EQ(readFile(f.page()), "page");
    EXPECT_EQ(
        f.ui.log, (std::vector<std::string>{"open: " + f.second() + " wird in Pinta geöffnet...", "close"}));
    // One rename replaces the working copy; it is never removed first.
    EXPECT_EQ(f.files.count(FileCall::Remove), 0);
    EXPECT_EQ(f.files.count(FileCall::RenameOver, f.second()), 1);
}

TEST(ExternalEditorTest, ConfirmedEndIsAskedAfterTheWaitAndBeforeTheCopyBack)
{
    ExternalEditorFixture f;
    f.editors.EditorWait[1] = 1;
    writeFile(f.edited(), "earlier");
    // The program returns at once; the edit lands while the user is asked to confirm.
    bool secondAtNote = false;
    f.ui.atNote = [&] {
        secondAtNote = f.exists(f.second());
        writeFile(f.second(), "confirmed");
    };
    EXPECT_TRUE(f.open(1));
    EXPECT_TRUE(secondAtNote);
    EXPECT_EQ(
        f.ui.log,
        (std::vector<std::string>{
            "open: " + f.second() + " wird in Pinta geöffnet...",
            "close",
            "note: " + std::string(ExternalEditorEndNote)}));
    EXPECT_EQ(readFile(f.edited()), "confirmed");

    // The paint program never asks, whatever the first entry of the table says.
    ExternalEditorFixture paint;
    paint.editors.EditorWait[0] = 1;
    EXPECT_TRUE(paint.open(0));
    EXPECT_EQ(paint.ui.log.size(), 2U);
}

TEST(ExternalEditorTest, FailuresAreReportedAndLeaveThePageAsItWas)
{
    struct Case
    {
        const char* label;
        bool workingCopy;
        std::int32_t k;
        std::function<void(ExternalEditorFixture&)> arrange;
        std::string note;
        bool started;
        bool rebuild;
        std::string editedAfter; // "" = absent
        std::string secondAfter; // "" = absent
    };

    const std::vector<Case> cases{
        {"no paint program in PATH",
         false,
         0,
         [](ExternalEditorFixture& f) { f.paintProgram.clear(); },
         NoPaintProgramNote,
         false,
         false,
         "",
         ""},
        {"paint program cannot start",
         false,
         0,
         [](ExternalEditorFixture& f) { f.runner.starts = false; },
         externalEditorStartNote("kolourpaint"),
         true,
         false,
         "",
         ""},
        {"configured editor cannot start, page without working copy",
         false,
         1,
         [](ExternalEditorFixture& f) { f.runner.starts = false; },
         externalEditorStartNote("Pinta"),
         true,
         false,
         "",
         ""},
        {"configured editor cannot start, page with working copy",
         true,
         1,
         [](ExternalEditorFixture& f) { f.runner.starts = false; },
         externalEditorStartNote("Pinta"),
         true,
         false,
         "earlier",
         ""},
        {"configured editor without a program",
         false,
         1,
         [](ExternalEditorFixture& f) { f.editors.EditorPath[1].clear(); },
         externalEditorStartNote("Pinta"),
         false,
         false,
         "",
         ""},
        {"the copy for the editor fails",
         false,
         1,
         [](ExternalEditorFixture& f) { f.files.failFor(FileCall::Copy, "TmpReadyImg1"); },
         ExternalEditorCopyNote,
         false,
         false,
         "",
         ""},
        {"the rename of the edited copy fails",
         true,
         1,
         [](ExternalEditorFixture& f) {
             f.files.failFor(FileCall::RenameOver, "_edited_2");
             f.runner.edit = [](const std::string& file) { writeFile(file, "later"); };
         },
         ExternalEditorCopyBackNote,
         true,
         true,
         "earlier",
         "later"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        ExternalEditorFixture f;
        if (c.workingCopy) {
            writeFile(f.edited(), "earlier");
        }
        c.arrange(f);
        EXPECT_EQ(f.open(c.k), c.rebuild);
        ASSERT_FALSE(f.ui.log.empty());
        EXPECT_EQ(f.ui.log.back(), "note: " + c.note);
        EXPECT_EQ(f.runner.requests.size(), c.started ? 1U : 0U);
        EXPECT_EQ(readFile(f.page()), "page");
        EXPECT_EQ(f.exists(f.edited()), !c.editedAfter.empty());
        EXPECT_EQ(f.exists(f.second()), !c.secondAfter.empty());
        if (!c.editedAfter.empty()) {
            EXPECT_EQ(readFile(f.edited()), c.editedAfter);
        }
        if (!c.secondAfter.empty()) {
            EXPECT_EQ(readFile(f.second()), c.secondAfter);
        }
    }
}

TEST(ExternalEditorTest, StaleSecondCopyIsNotTakenOverAFreshWorkingCopy)
{
    // Left by an earlier failed rename; the page's working copy has been dropped since.
    ExternalEditorFixture f;
    writeFile(f.second(), "stale");
    f.runner.edit = [](const std::string& file) { writeFile(file, "edited"); };
    EXPECT_TRUE(f.open(0));
    EXPECT_EQ(readFile(f.edited()), "edited");
}

TEST(ExternalEditorTest, EntriesOfTheSubmenu)
{
    ExternalEditorTables editors;
    editors.AnzExtEditors = 2;
    editors.EditorName = {"", "Pinta", "Script"};
    editors.EditorPath = {"", "pinta", "/opt/script.sh"};
    editors.EditorWait = {1, 0, 1};
    const auto finder = [] { return std::string("/usr/bin/mtpaint"); };

    const auto paint = externalEditorProgram(editors, 0, finder);
    ASSERT_TRUE(paint);
    EXPECT_EQ(paint->name, "MS-Paint");
    EXPECT_EQ(paint->program, "/usr/bin/mtpaint");
    EXPECT_FALSE(paint->confirmEnd);
    const auto script = externalEditorProgram(editors, 2, finder);
    ASSERT_TRUE(script);
    EXPECT_EQ(script->program, "/opt/script.sh");
    EXPECT_TRUE(script->confirmEnd);
    EXPECT_FALSE(externalEditorProgram(editors, 1, finder)->confirmEnd);
    EXPECT_FALSE(externalEditorProgram(editors, 3, finder));
    EXPECT_FALSE(externalEditorProgram(editors, -1, finder));
    // A count beyond the tables names no editor.
    editors.AnzExtEditors = 5;
    EXPECT_FALSE(externalEditorProgram(editors, 4, finder));
}

void makeExecutable(const std::string& path)
{
    writeFile(path, "#!/bin/sh\nexit 0\n");
    std::filesystem::permissions(path, std::filesystem::perms::owner_all);
}

TEST(ExternalEditorTest, PaintProgramIsTheFirstCandidateFoundAsAnExecutableFile)
{
    TempDir dir;
    const std::filesystem::path first = dir.path() / "first";
    const std::filesystem::path second = dir.path() / "second";
    std::filesystem::create_directories(first / "kolourpaint");
    std::filesystem::create_directories(second);
    writeFile((first / "mtpaint").string(), "not executable");
    makeExecutable((second / "gimp").string());
    makeExecutable((second / "pinta").string());
    {
        testing::ScopedEnvironment path("PATH", first.string() + ":" + second.string());
        EXPECT_EQ(findPaintProgram(), (second / "pinta").string());
    }
    {
        testing::ScopedEnvironment path("PATH", first.string());
        EXPECT_EQ(findPaintProgram(), "");
    }
}

} // namespace
} // namespace folvex
