#include "scan/scan_result.h"

#include "scan/save_outcome.h"
#include "scan_job_fakes.h"
#include "shell/settings.h"
#include "support/action_box_fakes.h"
#include "support/fakes.h"
#include "support/temp_dir.h"
#include "twain/bmp_page.h"
#include "twain/fake_scanner_library.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <map>
#include <numeric>
#include <string>
#include <vector>

namespace folvex {
namespace {

namespace fs = std::filesystem;
using testing::readFile;
using testing::writeFile;

const FakeDevice DuplexScanner{"Fujitsu", "fi-7160", "fujitsu:fi-7160:1", true, true, true};
const std::string DuplexScannerName = "Fujitsu fi-7160";
const std::string TimeoutReason = "Twain User Interface could NOT be started: Gerät antwortet nicht";

// The answers of the result dialog with six buttons and with five.
enum Six : std::intptr_t
{
    Save6 = 1,
    Edit6 = 2,
    ScanOn6 = 3,
    Backs6 = 4,
    Destination6 = 5,
    Abort6 = 6,
};

enum Five : std::intptr_t
{
    Save5 = 1,
    Edit5 = 2,
    ScanOn5 = 3,
    Destination5 = 4,
    Abort5 = 5,
};

// The stamped ids of the files prefix<first>.bmp, prefix<first + 1>.bmp, ... in order.
std::vector<int> stampedIds(const std::string& prefix, int first)
{
    std::vector<int> ids;
    for (int i = first; fs::exists(prefix + std::to_string(i) + ".bmp"); ++i) {
        auto page = decodeBmp(readFile(prefix + std::to_string(i) + ".bmp"));
        ids.push_back(page ? readStampedPageId(*page).value_or(-1) : -2);
    }
    return ids;
}

std::vector<int> range(int first, int last, int step = 1)
{
    std::vector<int> ids;
    for (int id = first; step > 0 ? id <= last : id >= last; id += step) {
        ids.push_back(id);
    }
    return ids;
}

// A scan job with the real result step on the fake scanner library: the shell's counters as its
// callback counts them, the scanner selection as a stub, and a writer for "PDF" that records the ids
// of the page files it is handed and ends as told.
struct ResultBench
{
    testing::TempDir dir;
    testing::ScopedFakeEffects effects;
    testing::ScriptedActionBoxAnswerer boxes;
    ShellState shell;
    FakeScannerLibrary scanner;
    testing::RecordingWindow window;
    testing::RecordingDialogs dialogs;
    WriterTable writers;
    std::vector<std::vector<int>> written;
    std::vector<ScanJobState> writerSaw;
    std::vector<WriterOutcome> outcomes; // in turn; none left: Written
    std::vector<std::string> selections;
    bool selectionOpens = false;
    std::vector<bool> scanEnabledAtAcquisition;

    ResultBench()
    {
        allocateMainProgramTables(shell);
        fillDestinationTypes(shell);
        fs::create_directories(dir.path() / "prog");
        fs::create_directories(dir.path() / "tmp");
        shell.settingsState.ProgramDir = dir.folder() + "prog/";
        shell.settingsState.settings.TmpPath = dir.file("tmp");
        scanner.devices = {DuplexScanner};
        scanner.initialize();
        testing::countPagesAsTheShell(scanner, shell);
        shell.entryPoints.SelectScanner = [this](const std::string& name) {
            selections.push_back(name);
            if (selectionOpens) {
                shell.CurrentSource = scanner.selectSourceByName(DuplexScannerName);
                window.enableButton(MainButton::Scan, true);
            }
            return shell.CurrentSource;
        };
        writers["PDF"] = [this](ScanJobContext&, ScanJobState& job) {
            writerSaw.push_back(job);
            std::vector<int> ids = stampedIds(tmp("TmpReadyImg"), 1);
            ids.resize(std::min<std::size_t>(ids.size(), static_cast<std::size_t>(job.mergedPages)));
            written.push_back(ids);
            return written.size() <= outcomes.size() ? outcomes[written.size() - 1] : WriterOutcome::Written;
        };
    }

    void openScanner()
    {
        shell.CurrentSource = scanner.selectSourceByName(DuplexScannerName);
        ASSERT_NE(shell.CurrentSource, NoHandle);
        shell.settingsState.settings.LastSourceName = DuplexScannerName;
    }

    // Opens the scanner, scripts the passes and the answers of the boxes, and runs a job.
    void play(
        const std::vector<FakePass>& passes,
        const std::vector<std::intptr_t>& answers,
        std::uint8_t existingPages)
    {
        openScanner();
        scanner.passes.assign(passes.begin(), passes.end());
        boxes.answers.assign(answers.begin(), answers.end());
        run(existingPages);
    }

    void answer(std::initializer_list<std::intptr_t> answers)
    {
        for (const std::intptr_t a : answers) {
            boxes.queueAnswer(a);
        }
    }

    void run(std::uint8_t existingPages = 0)
    {
        ScanJobContext context{shell, scanner, window, dialogs, runScanResult, nullptr, writers};
        ScanAndSave(context, existingPages);
    }

    std::string tmp(const std::string& name) const
    {
        return shell.settingsState.settings.TmpPath + "/" + name;
    }

    std::vector<int> pages() const { return stampedIds(tmp("TmpReadyImg"), 1); }

    std::vector<ActionBoxParams> resultBoxes() const
    {
        std::vector<ActionBoxParams> shown;
        for (const ActionBoxParams& params : boxes.shown) {
            if (params.Title == "Scannen ok") {
                shown.push_back(params);
            }
        }
        return shown;
    }

    std::size_t acquisitions() const { return scanner.callsOf(237).size(); }
};

// Leaves stamped pages prefix<first>.bmp, prefix<first + 1>.bmp, ... as a crashed job would.
void leaveFiles(ResultBench& bench, const std::string& prefix, int first, const std::vector<int>& ids)
{
    for (std::size_t i = 0; i < ids.size(); ++i) {
        FakePage page;
        page.id = ids[i];
        ASSERT_TRUE(writeBmpPage(
            bench.tmp(prefix + std::to_string(first + static_cast<int>(i)) + ".bmp"),
            makeFakePage(page),
            BmpDepth::Colour));
    }
}

TEST(ScanResultTest, TheDialogCountsThePagesAndOffersTheBackSidesOnlyForAFrontBlock)
{
    const std::string front = std::string(ResultTooltipsFront);
    const std::string other = std::string(ResultTooltips);

    struct Case
    {
        const char* label;
        std::function<void(ResultBench&)> prepare;
        std::uint8_t existingPages;
        std::vector<std::intptr_t> answers; // the last one answers the dialog that is checked
        std::string text;
        bool six;
    };

    const Case cases[] = {
        {"one page",
         [](ResultBench& b) { b.scanner.passes = {FakePass::pages({1})}; },
         0,
         {Abort6},
         "Scannen erfolgreich (1 Seite)",
         true},
        {"second front block",
         [](ResultBench& b) {
             b.scanner.passes = {FakePass::pages({1, 2, 3}), FakePass::pages({4, 5})};
         },
         0,
         {ScanOn6, Abort6},
         R"(Scannen erfolgreich (2 Seiten)\n\nGesamtzahl Seiten: 5)",
         true},
        {"skip cycle after a time-out",
         [](ResultBench& b) {
             b.scanner.passes = {FakePass::pages({1, 2, 3}), FakePass::failing(0, TimeoutReason)};
         },
         0,
         {ScanOn6, 1, Abort6},
         R"(Scannen erfolgreich (0 Seiten)\n\nGesamtzahl Seiten: 3)",
         true},
        {"back block",
         [](ResultBench& b) {
             b.scanner.passes = {FakePass::pages({1, 2}), FakePass::pages({102, 101})};
         },
         0,
         {Backs6, Abort5},
         R"(Scannen erfolgreich (2 Seiten)\n\nGesamtzahl Seiten: 4)",
         false},
        {"rescue of page files and fronts",
         [](ResultBench& b) {
             leaveFiles(b, "TmpReadyImg", 1, {1, 2});
             leaveFiles(b, "tmpimg", 0, {3, 4, 5});
         },
         1,
         {Abort5},
         "Scannen erfolgreich (5 Seiten)",
         false},
        {"rescue turned into an acquiring job",
         [](ResultBench& b) {
             leaveFiles(b, "TmpReadyImg", 1, {1, 2});
             leaveFiles(b, "tmpimg", 0, {3, 4, 5});
             b.scanner.passes = {FakePass::pages({6, 7})};
         },
         1,
         {ScanOn5, Abort6},
         R"(Scannen erfolgreich (2 Seiten)\n\nGesamtzahl Seiten: 7)",
         true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        ResultBench bench;
        bench.openScanner();
        c.prepare(bench);
        bench.boxes.answers.assign(c.answers.begin(), c.answers.end());

        bench.run(c.existingPages);

        EXPECT_TRUE(bench.boxes.answers.empty());
        const std::vector<ActionBoxParams> shown = bench.resultBoxes();
        ASSERT_FALSE(shown.empty());
        const ActionBoxParams& box = shown.back();
        EXPECT_EQ(box.Text, c.text);
        EXPECT_EQ(box.Icon, 1);
        EXPECT_EQ(box.ButtonHeight, 30);
        EXPECT_EQ(box.DefaultButton, 1);
        EXPECT_EQ(box.ButtonCount, c.six ? 6 : 5);
        EXPECT_EQ(
            box.Buttons,
            c.six ? "Speichern|Bearbeiten|Weiterscannen|Rückseiten scannen|Ziel ändern|Abbruch"
                  : "Speichern|Bearbeiten|Weiterscannen|Ziel ändern|Abbruch");
        EXPECT_EQ(box.ButtonWidth, c.six ? 130 : 100);
        EXPECT_EQ(box.Tooltips, c.six ? front : other);
        EXPECT_TRUE(box.Tooltips.ends_with("ändern|")) << "\"Abbruch\" has no tooltip";
        // "Abbruch" ends the job without merging the last block.
        EXPECT_EQ(bench.window.status, testing::Idle);
        EXPECT_TRUE(bench.window.allButtonsEnabled());
        EXPECT_TRUE(bench.written.empty());
    }
}

TEST(ScanResultTest, ManualDuplexInterleavesTheTurnedStackWhateverTheNumberOfSheets)
{
    for (const int sheets : {1, 3, 21, 22, 30, 211}) {
        SCOPED_TRACE(sheets);
        ResultBench bench;
        bench.openScanner();
        bench.scanner.passes = {
            FakePass::pages(range(1, sheets)), FakePass::pages(range(100 + sheets, 101, -1))};
        bench.answer({Backs6, Save5});

        bench.run();

        std::vector<int> expected;
        for (int sheet = 1; sheet <= sheets; ++sheet) {
            expected.push_back(sheet);
            expected.push_back(100 + sheet);
        }
        ASSERT_EQ(bench.written.size(), 1U);
        EXPECT_EQ(bench.written[0], expected);
        EXPECT_EQ(bench.writerSaw[0].mergedPages, 2 * sheets);
        EXPECT_EQ(bench.acquisitions(), 2U);
        EXPECT_EQ(bench.effects.messages.shown.size(), 0U);
        // Nothing is left under a scan or intermediate name.
        for (const auto& entry : fs::directory_iterator(bench.dir.path() / "tmp")) {
            EXPECT_TRUE(entry.path().filename().string().starts_with("TmpReadyImg")) << entry.path();
        }
    }
}

TEST(ScanResultTest, BlocksFollowEachOtherInScanOrder)
{
    struct Case
    {
        const char* label;
        std::vector<FakePass> passes;
        std::vector<std::intptr_t> answers;
        std::uint8_t existingPages;
        std::vector<int> pages;
    };

    const Case cases[] = {
        {"three fronts, two backs, go on",
         {FakePass::pages({1, 2, 3}), FakePass::pages({102, 101})},
         {Backs6, 3, Save5},
         0,
         {1, 101, 2, 102, 3}},
        {"two front blocks",
         {FakePass::pages({1, 2, 3}), FakePass::pages({4, 5})},
         {ScanOn6, Save6},
         0,
         range(1, 5)},
        {"rescue", {}, {Save5}, 1, range(1, 5)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        ResultBench bench;
        if (c.existingPages == 1) {
            leaveFiles(bench, "TmpReadyImg", 1, {1, 2});
            leaveFiles(bench, "tmpimg", 0, {3, 4, 5});
        }

        bench.play(c.passes, c.answers, c.existingPages);

        ASSERT_EQ(bench.written.size(), 1U);
        EXPECT_EQ(bench.written[0], c.pages);
        EXPECT_EQ(bench.pages(), c.pages);
    }
}

TEST(ScanResultTest, EditingMergesOnceAndSavingRecountsWhatTheEditorLeft)
{
    ResultBench bench;
    bench.openScanner();
    bench.window.discardTicked = true;
    bench.scanner.passes = {FakePass::pages({1, 2, 3})};
    std::vector<std::vector<int>> editorSaw;
    int edits = 0;
    bench.shell.entryPoints.EditPages = [&](std::int32_t detectBlank, std::uint8_t& emptyRemoved) {
        EXPECT_EQ(detectBlank, 1);
        editorSaw.push_back(bench.pages());
        if (++edits == 2) {
            // Deletes page 2 and renumbers, as "Anwenden" with blank pages dropped would.
            fs::remove(bench.tmp("TmpReadyImg2.bmp"));
            fs::rename(bench.tmp("TmpReadyImg3.bmp"), bench.tmp("TmpReadyImg2.bmp"));
            emptyRemoved = 1;
        }
        return 1;
    };
    bench.answer({Edit6, Edit6, Save6});

    bench.run();

    EXPECT_EQ(editorSaw, (std::vector<std::vector<int>>{{1, 2, 3}, {1, 2, 3}}));
    const std::vector<ActionBoxParams> shown = bench.resultBoxes();
    ASSERT_EQ(shown.size(), 3U);
    EXPECT_EQ(shown[1].Text, shown[0].Text);
    EXPECT_EQ(shown[2].Text, "Scannen erfolgreich (2 Seiten)");
    ASSERT_EQ(bench.written.size(), 1U);
    EXPECT_EQ(bench.written[0], (std::vector<int>{1, 3}));
    EXPECT_EQ(bench.writerSaw[0].mergedPages, 2);
    EXPECT_EQ(bench.writerSaw[0].emptyRemoved, 1);
    EXPECT_EQ(bench.writerSaw[0].discardBlank, 1);
    EXPECT_EQ(bench.writerSaw[0].nextCycle, 0);
}

// After the editor every block is merged: the dialog counts the page files it left, and later blocks
// count on from them.
TEST(ScanResultTest, TheDialogCountsThePagesTheEditorLeft)
{
    struct Case
    {
        const char* label;
        std::vector<int> leftReady; // page files a rescue finds
        std::vector<int> leftFronts;
        std::vector<FakePass> passes;
        std::uint8_t existingPages;
        std::vector<std::intptr_t> answers;
        std::vector<std::string> texts;
    };

    // The editor deletes the last page each time it runs.
    const Case cases[] = {
        {"two blocks, editing the second, a third block",
         {},
         {},
         {FakePass::pages({1, 2, 3}), FakePass::pages({4, 5}), FakePass::pages({6})},
         0,
         {ScanOn6, Edit6, ScanOn5, Abort6},
         {"Scannen erfolgreich (3 Seiten)",
          R"(Scannen erfolgreich (2 Seiten)\n\nGesamtzahl Seiten: 5)",
          "Scannen erfolgreich (4 Seiten)",
          R"(Scannen erfolgreich (1 Seite)\n\nGesamtzahl Seiten: 5)"}},
        {"rescue of page files and fronts",
         {1, 2},
         {3, 4},
         {},
         1,
         {Edit5, Edit5, Abort5},
         {"Scannen erfolgreich (4 Seiten)",
          "Scannen erfolgreich (3 Seiten)",
          "Scannen erfolgreich (2 Seiten)"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        ResultBench bench;
        leaveFiles(bench, "TmpReadyImg", 1, c.leftReady);
        leaveFiles(bench, "tmpimg", 0, c.leftFronts);
        bench.shell.entryPoints.EditPages = [&bench](std::int32_t, std::uint8_t&) {
            fs::remove(bench.tmp("TmpReadyImg" + std::to_string(bench.pages().size()) + ".bmp"));
            return 1;
        };

        bench.play(c.passes, c.answers, c.existingPages);

        std::vector<std::string> texts;
        for (const ActionBoxParams& box : bench.resultBoxes()) {
            texts.push_back(box.Text);
        }
        EXPECT_EQ(texts, c.texts);
        EXPECT_TRUE(bench.boxes.answers.empty());
    }
}

TEST(ScanResultTest, WithoutAPageEditorEditingMergesAndAsksAgain)
{
    ResultBench bench;
    bench.openScanner();
    bench.scanner.passes = {FakePass::pages({1, 2})};
    bench.answer({Edit6, Abort6});

    bench.run();

    EXPECT_EQ(bench.resultBoxes().size(), 2U);
    EXPECT_EQ(bench.pages(), (std::vector<int>{1, 2}));
}

TEST(ScanResultTest, TheBackSidesAreNotOfferedAfterABackPassARescanOrOnExistingPages)
{
    struct Case
    {
        const char* label;
        std::vector<FakePass> passes;
        std::vector<std::intptr_t> answers;
        std::uint8_t existingPages;
        std::vector<int> buttonCounts;
        std::vector<WriterOutcome> outcomes = {};
    };

    // Once a block is merged its back sides could no longer go between its front sides.
    const Case cases[] = {
        {"after a back pass", {FakePass::pages({1}), FakePass::pages({101})}, {Backs6, Abort5}, 0, {6, 5}},
        {"after a re-scan of the fronts",
         {FakePass::pages({1, 2}), FakePass::pages({101}), FakePass::pages({1})},
         {Backs6, 1, Abort5},
         0,
         {6, 5}},
        {"existing pages until scanning on with a scanner",
         {FakePass::pages({4})},
         {ScanOn5, Abort6},
         1,
         {5, 6}},
        {"after a save whose dialog was cancelled",
         {FakePass::pages({1, 2, 3})},
         {Save6, Abort5},
         0,
         {6, 5},
         {WriterOutcome::Cancelled}},
        {"after editing", {FakePass::pages({1, 2, 3})}, {Edit6, Abort5}, 0, {6, 5}},
        {"a new block after a merged one",
         {FakePass::pages({1}), FakePass::pages({2})},
         {ScanOn6, Abort6},
         0,
         {6, 6}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        ResultBench bench;
        bench.outcomes = c.outcomes;
        if (c.existingPages == 1) {
            leaveFiles(bench, "tmpimg", 0, {1, 2, 3});
        }

        bench.play(c.passes, c.answers, c.existingPages);

        std::vector<int> counts;
        for (const ActionBoxParams& box : bench.resultBoxes()) {
            counts.push_back(static_cast<int>(box.ButtonCount));
        }
        EXPECT_EQ(counts, c.buttonCounts);
        EXPECT_TRUE(bench.boxes.answers.empty());
    }
}

TEST(ScanResultTest, ScanningOnWithoutAScannerAsksForOne)
{
    // After a back block the scanner chosen in the question scans the fronts of a new block.
    {
        ResultBench bench;
        bench.openScanner();
        bench.scanner.passes = {FakePass::pages({1}), FakePass::pages({101}), FakePass::pages({2})};
        bench.selectionOpens = true;
        testing::countPagesAsTheShell(bench.scanner, bench.shell, [&bench] {
            bench.scanEnabledAtAcquisition.push_back(bench.window.buttons[MainButton::Scan]);
        });
        // The scanner is gone by the second dialog, as after a lost connection.
        ScanJobContext context{
            bench.shell, bench.scanner, bench.window, bench.dialogs, {}, nullptr, bench.writers};
        context.resultStep = [&bench](ScanJobContext& job, ScanJobState& state) {
            if (bench.resultBoxes().size() == 1) {
                bench.scanner.closeSource(bench.shell.CurrentSource);
                bench.shell.CurrentSource = NoHandle;
            }
            runScanResult(job, state);
        };
        bench.answer({Backs6, ScanOn5, 1, Abort6});

        ScanAndSave(context, 0);

        const std::vector<ActionBoxParams>& shown = bench.boxes.shown;
        ASSERT_EQ(shown.size(), 4U);
        EXPECT_EQ(shown[2].Title, "Kein Scanner gewählt");
        EXPECT_EQ(shown[2].Text, std::string(NoScannerQuestion));
        EXPECT_EQ(shown[2].Buttons, "Scanner auswählen|Ok");
        EXPECT_EQ(shown[2].ButtonWidth, 130);
        EXPECT_EQ(shown[2].DefaultButton, 1);
        EXPECT_EQ(shown[2].Icon, 1);
        EXPECT_EQ(bench.selections, (std::vector<std::string>{""}));
        // The third pass scanned fronts into tmpimg, and the scanner's "Scannen" stayed disabled.
        const std::vector<FakeCallRecord> calls = bench.scanner.callsOf(237);
        ASSERT_EQ(calls.size(), 3U);
        EXPECT_EQ(bench.resultBoxes().back().ButtonCount, 6);
        EXPECT_EQ(bench.scanEnabledAtAcquisition, (std::vector<bool>{false, false, false}));
        EXPECT_EQ(bench.pages(), (std::vector<int>{1, 101}));
        EXPECT_TRUE(fs::exists(bench.tmp("tmpimg0.bmp")));
        EXPECT_TRUE(bench.window.allButtonsEnabled());
    }
    // A job on existing pages asks and shows the dialog again; "Ok" chooses no scanner.
    {
        ResultBench bench;
        leaveFiles(bench, "tmpimg", 0, {1, 2});
        bench.answer({ScanOn5, 2, Abort5});

        bench.run(1);

        EXPECT_EQ(bench.boxes.shown.size(), 3U);
        EXPECT_EQ(bench.boxes.shown[1].Title, "Kein Scanner gewählt");
        EXPECT_EQ(bench.resultBoxes()[1].Text, "Scannen erfolgreich (2 Seiten)");
        EXPECT_TRUE(bench.selections.empty());
        EXPECT_EQ(bench.acquisitions(), 0U);
        EXPECT_EQ(bench.pages(), (std::vector<int>{1, 2}));
    }
}

TEST(ScanResultTest, AbortAndEscKeepTheLastBlockUnmerged)
{
    for (const std::intptr_t answer : {std::intptr_t{Abort6}, std::intptr_t{0}}) {
        SCOPED_TRACE(answer);
        ResultBench bench;
        bench.openScanner();
        bench.scanner.passes = {FakePass::pages({1, 2}), FakePass::pages({3})};
        bench.answer({ScanOn6, answer});

        bench.run();

        EXPECT_EQ(bench.pages(), (std::vector<int>{1, 2}));
        EXPECT_EQ(stampedIds(bench.tmp("tmpimg"), 0), (std::vector<int>{3}));
        EXPECT_TRUE(bench.written.empty());
        EXPECT_EQ(bench.acquisitions(), 2U);
    }
}

TEST(ScanResultTest, TheWritersOutcomeDecidesHowTheJobGoesOn)
{
    struct Case
    {
        const char* label;
        std::string type;
        std::vector<WriterOutcome> outcomes;
        std::vector<std::intptr_t> answers;
        std::size_t writes;
        std::size_t dialogs;
    };

    const Case cases[] = {
        {"written", "PDF", {WriterOutcome::Written}, {Save6}, 1, 1},
        {"declined", "PDF", {WriterOutcome::Declined}, {Save6}, 1, 1},
        {"cancelled, then written", "PDF", {WriterOutcome::Cancelled}, {Save6, Save6}, 2, 2},
        {"cancelled, then aborted", "PDF", {WriterOutcome::Cancelled}, {Save6, Abort6}, 1, 2},
        {"no writer for the type", "GIF", {}, {Save6}, 0, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        ResultBench bench;
        bench.window.selectors[ScanSelector::DestinationType] = c.type;
        bench.outcomes = c.outcomes;

        bench.play({FakePass::pages({1, 2})}, c.answers, 0);

        EXPECT_EQ(bench.written.size(), c.writes);
        const std::vector<ActionBoxParams> shown = bench.resultBoxes();
        ASSERT_EQ(shown.size(), c.dialogs);
        EXPECT_EQ(shown.back().Text, shown.front().Text);
        EXPECT_EQ(bench.acquisitions(), 1U);
        for (const std::vector<int>& pages : bench.written) {
            EXPECT_EQ(pages, (std::vector<int>{1, 2}));
        }
        EXPECT_TRUE(bench.window.allButtonsEnabled());
    }
}

TEST(ScanResultTest, ChangingTheDestinationUpdatesTheMainWindowOnlyOnOk)
{
    ResultBench bench;
    bench.openScanner();
    bench.scanner.passes = {FakePass::pages({1})};
    bench.dialogs.destinationAnswers = {std::nullopt, DestinationChoice{"GIF", true}};
    bench.writers["GIF"] = [&bench](ScanJobContext&, ScanJobState& job) {
        bench.writerSaw.push_back(job);
        return WriterOutcome::Written;
    };
    bench.answer({Destination6, Destination6, Save6});

    bench.run();

    const auto& shown = bench.dialogs.destinationsShown;
    ASSERT_EQ(shown.size(), 2U);
    std::vector<std::string> types(std::begin(DestinationTypeNames), std::end(DestinationTypeNames));
    EXPECT_EQ(shown[0].types, types);
    EXPECT_EQ(shown[0].current, (DestinationChoice{"PDF", false}));
    EXPECT_EQ(shown[0].font, bench.window.fontsMade.at(0));
    EXPECT_EQ(shown[1].current, (DestinationChoice{"PDF", false}));
    EXPECT_EQ(bench.window.selectors[ScanSelector::DestinationType], "GIF");
    EXPECT_TRUE(bench.window.discardTicked);
    EXPECT_TRUE(bench.written.empty());
    ASSERT_EQ(bench.writerSaw.size(), 1U);
    EXPECT_EQ(bench.writerSaw[0].discardBlank, 1);
    EXPECT_EQ(bench.resultBoxes().size(), 3U);
}

TEST(ScanResultTest, AMoveOntoAnExistingPageFileStopsTheMergeAndOverwritesNothing)
{
    // A rescue of pages 1 and 2, a page 4 after a gap, and three fronts.
    ResultBench bench;
    leaveFiles(bench, "TmpReadyImg", 1, {1, 2});
    leaveFiles(bench, "TmpReadyImg", 4, {99});
    leaveFiles(bench, "tmpimg", 0, {3, 4, 5});
    bench.answer({Save5});
    bench.effects.messages.queueAnswer(MessageAnswer::Ok);

    bench.run(1);

    ASSERT_EQ(bench.effects.messages.shown.size(), 1U);
    EXPECT_EQ(
        bench.effects.messages.shown[0].text,
        "Die Datei »tmpimg1.bmp« konnte nicht als Seite »TmpReadyImg4.bmp« eingereiht werden. Sie bleibt "
        "im temporären Ordner.");
    EXPECT_EQ(bench.pages(), (std::vector<int>{1, 2, 3, 99}));
    EXPECT_EQ(stampedIds(bench.tmp("tmpimg"), 1), (std::vector<int>{4, 5}));
    ASSERT_EQ(bench.writerSaw.size(), 1U);
    EXPECT_EQ(bench.writerSaw[0].mergedPages, 4);
    EXPECT_EQ(bench.written[0], (std::vector<int>{1, 2, 3, 99}));
}

TEST(ScanResultTest, ScanningOnAfterAFailedMergeShowsTheDialogAgainInsteadOfScanningOverTheFiles)
{
    ResultBench bench;
    bench.openScanner();
    bench.scanner.passes = {FakePass::pages({1, 2}), FakePass::pages({3})};
    bench.effects.messages.queueAnswer(MessageAnswer::Ok);
    bench.answer({ScanOn6, Abort6});
    // A file of someone else's appears where page 2 would go.
    ScanJobContext context{
        bench.shell, bench.scanner, bench.window, bench.dialogs, {}, nullptr, bench.writers};
    context.resultStep = [&bench](ScanJobContext& job, ScanJobState& state) {
        writeFile(bench.tmp("TmpReadyImg2.bmp"), "fremd");
        runScanResult(job, state);
    };

    ScanAndSave(context, 0);

    EXPECT_EQ(bench.effects.messages.shown.size(), 1U);
    EXPECT_EQ(bench.acquisitions(), 1U);
    EXPECT_EQ(bench.resultBoxes().size(), 2U);
    EXPECT_EQ(stampedIds(bench.tmp("tmpimg"), 1), (std::vector<int>{2}));
    EXPECT_TRUE(readFile(bench.tmp("TmpReadyImg2.bmp")) == "fremd");
}

TEST(ScanResultTest, TheMergeShowsItsProgressAndGivesTheStatusLineBack)
{
    ResultBench bench;
    bench.window.status = "Status: vorher";
    leaveFiles(bench, "tmpimg", 0, {1, 2});
    leaveFiles(bench, "tmpimgr", 0, {102, 101});
    ScanJobState job;
    job.frontCount = 2;
    job.backCount = 2;
    ScanJobContext context{bench.shell, bench.scanner, bench.window, bench.dialogs, {}};

    EXPECT_TRUE(mergeScannedPages(context, job));
    const std::vector<std::string> afterFirst = bench.window.statusHistory;
    EXPECT_TRUE(mergeScannedPages(context, job));

    EXPECT_EQ(
        afterFirst,
        (std::vector<std::string>{
            "Status: Rückseitenreihenfolge berichtigen (1/2)...",
            "Status: Rückseitenreihenfolge berichtigen (2/2)...",
            "Status: gescannte Dateien einreihen (1/4)...",
            "Status: gescannte Dateien einreihen (1/4)...",
            "Status: gescannte Dateien einreihen (2/4)...",
            "Status: gescannte Dateien einreihen (2/4)...",
            "Status: vorher"}));
    EXPECT_EQ(bench.pages(), (std::vector<int>{1, 101, 2, 102}));
    EXPECT_EQ(job.mergedPages, 4);
    EXPECT_EQ(bench.window.status, "Status: vorher");
}

// A writer that ends its run as the real ones do: the document written, and with failing a file it
// could not write.
ScanWriter reportingWriter(bool failing)
{
    return [failing](ScanJobContext& context, ScanJobState&) {
        SaveOutcome outcome;
        outcome.fileWritten(context.shell.settingsState.settings.TmpPath + "/../Ergebnis.pdf");
        if (failing) {
            outcome.fileNotWritten("Ergebnis_2.pdf");
        }
        finishWriterRun(context, outcome, true);
        return WriterOutcome::Written;
    };
}

// The names and contents of the temporary folder's files.
std::map<std::string, std::string> folderContent(const ResultBench& bench)
{
    std::map<std::string, std::string> files;
    for (const auto& entry : fs::directory_iterator(bench.dir.path() / "tmp")) {
        files[entry.path().filename().string()] = readFile(entry.path().string());
    }
    return files;
}

TEST(ScanResultTest, PagesThatWereNeverSavedAreDeletedOnlyAfterAQuestion)
{
    // How the previous run left the temporary folder, and how many of its pages were not saved.
    struct Case
    {
        const char* label;
        std::function<void(ResultBench&)> previousRun;
        std::int32_t unsaved;
    };

    const auto saved = [](ResultBench& b) {
        b.writers["PDF"] = reportingWriter(false);
        b.play({FakePass::pages({1, 2, 3})}, {Save6}, 0);
    };
    const Case cases[] = {
        {"killed after scanning",
         [](ResultBench& b) {
             leaveFiles(b, "tmpimg", 0, {1, 2, 3});
         },
         3},
        {"killed after a merged block and a back pass",
         [](ResultBench& b) {
             leaveFiles(b, "TmpReadyImg", 1, {1, 2});
             leaveFiles(b, "tmpimg", 0, {3});
             leaveFiles(b, "tmpimgr", 0, {103});
         },
         4},
        {"scan cancelled",
         [](ResultBench& b) {
             FakePass cancelled = FakePass::pages({1, 2});
             cancelled.status = static_cast<std::int32_t>(AcquireStatus::Cancelled);
             b.play({cancelled}, {1}, 0);
         },
         2},
        {"save failed",
         [](ResultBench& b) {
             b.writers["PDF"] = reportingWriter(true);
             b.play({FakePass::pages({1, 2, 3})}, {Save6, 1}, 0);
         },
         3},
        {"save dialog cancelled, then Abbruch",
         [](ResultBench& b) {
             b.outcomes = {WriterOutcome::Cancelled};
             b.play({FakePass::pages({1, 2, 3})}, {Save6, Abort5}, 0);
         },
         3},
        {"saved", saved, 0},
        {"saved, then a page turned in a rescue",
         [&saved](ResultBench& b) {
             saved(b);
             // The same size, written later.
             leaveFiles(b, "TmpReadyImg", 2, {42});
             const fs::path page = b.tmp("TmpReadyImg2.bmp");
             fs::last_write_time(page, fs::last_write_time(page) + std::chrono::seconds(2));
         },
         1},
        {"saved, then a rescue scanned on",
         [&saved](ResultBench& b) {
             saved(b);
             b.play({FakePass::pages({4})}, {ScanOn5, Abort6}, 1);
         },
         1},
        {"saved, the list cut short by a crash",
         [&saved](ResultBench& b) {
             saved(b);
             const std::string marker = b.tmp(std::string(SavedPagesMarkerName));
             const std::string content = readFile(marker);
             writeFile(marker, content.substr(0, content.size() - 1));
         },
         1},
        {"saved by moving the pages away, a blank one left behind",
         [](ResultBench& b) {
             b.writers["PDF"] = [&b](ScanJobContext& context, ScanJobState& job) {
                 fs::rename(b.tmp("TmpReadyImg1.bmp"), b.dir.file("Seite_1.bmp"));
                 fs::rename(b.tmp("TmpReadyImg3.bmp"), b.dir.file("Seite_3.bmp"));
                 return reportingWriter(false)(context, job);
             };
             b.play({FakePass::pages({1, 2, 3})}, {Save6}, 0);
         },
         0},
        {"empty folder", [](ResultBench&) {}, 0},
    };

    enum Answer : std::intptr_t
    {
        Esc = 0,
        Keep = 1,
        Delete = 2,
    };

    for (const Case& c : cases) {
        for (const Answer answer : {Keep, Esc, Delete}) {
            if (c.unsaved == 0 && answer != Delete) {
                continue;
            }
            SCOPED_TRACE(std::string(c.label) + ", answer " + std::to_string(answer));
            ResultBench bench;
            c.previousRun(bench);
            ASSERT_TRUE(bench.boxes.answers.empty());
            const std::map<std::string, std::string> before = folderContent(bench);
            const std::size_t acquisitions = bench.acquisitions();
            const int buttonChanges = bench.window.buttonChanges;
            bench.boxes.shown.clear();
            bench.window.statusHistory.clear();
            if (c.unsaved > 0) {
                bench.answer({answer});
            }
            if (c.unsaved == 0 || answer == Delete) {
                bench.answer({Abort6});
            }

            bench.openScanner();
            bench.scanner.passes = {FakePass::pages({7})};
            bench.run();

            EXPECT_TRUE(bench.boxes.answers.empty());
            if (c.unsaved > 0) {
                ASSERT_FALSE(bench.boxes.shown.empty());
                const ActionBoxParams& question = bench.boxes.shown[0];
                EXPECT_EQ(question.Title, "Seiten nicht gespeichert");
                EXPECT_EQ(question.Text, unsavedPagesText(c.unsaved));
                EXPECT_EQ(question.Buttons, "Seiten behalten|Seiten löschen");
                EXPECT_EQ(question.DefaultButton, 1);
                EXPECT_EQ(question.Icon, 3);
            }
            if (answer == Delete) {
                EXPECT_EQ(bench.acquisitions(), acquisitions + 1);
                EXPECT_EQ(stampedIds(bench.tmp("tmpimg"), 0), (std::vector<int>{7}));
                EXPECT_EQ(bench.pages(), (std::vector<int>{}));
                EXPECT_EQ(bench.resultBoxes().size(), 1U);
            } else {
                EXPECT_EQ(bench.boxes.shown.size(), 1U);
                EXPECT_EQ(folderContent(bench), before);
                EXPECT_EQ(bench.acquisitions(), acquisitions);
                EXPECT_EQ(bench.window.buttonChanges, buttonChanges);
                EXPECT_TRUE(bench.window.statusHistory.empty());
            }
        }
    }
    // The question names one page as one and points to the rescue in the menu.
    EXPECT_NE(unsavedPagesText(1).find("liegt noch 1 Seite, die nicht gespeichert wurde"), std::string::npos);
    EXPECT_NE(
        unsavedPagesText(12).find("liegen noch 12 Seiten, die nicht gespeichert wurden"), std::string::npos);
    EXPECT_NE(
        unsavedPagesText(2).find("»alte Grafikdateien retten (nach Absturz nach dem Scannen)«"),
        std::string::npos);
}

TEST(ScanResultTest, TheCleanUpTreatsReversedBackSidesAsBackSides)
{
    EXPECT_TRUE(isOwnTempFile("tmpimgrv12.bmp"));
    for (const auto& [mode, kept] : std::vector<std::pair<TempCleanUp, bool>>{
             {TempCleanUp::FrontSides, true}, {TempCleanUp::BackSides, false}}) {
        ResultBench bench;
        writeFile(bench.tmp("tmpimgrv12.bmp"), "back");
        ScanJobContext context{bench.shell, bench.scanner, bench.window, bench.dialogs, {}};
        DeleteOldTempFiles(context, static_cast<std::int32_t>(mode));
        EXPECT_EQ(fs::exists(bench.tmp("tmpimgrv12.bmp")), kept);
    }
}

} // namespace
} // namespace folvex
