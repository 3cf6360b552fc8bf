#include "shell/scanner_selection.h"

#include "foundation/twain_binding.h"
#include "shell/scanner_selection_view_qt.h"
#include "support/action_box_fakes.h"
#include "support/fakes.h"
#include "support/scanner_selection_parts.h"
#include "support/temp_dir.h"
#include "twain/fake_scanner_library.h"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QEvent>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QWidget>

#include <optional>
#include <set>

namespace folvex {
namespace {

const std::string Flatbed = "Flachbettauflage";
const std::string Feeder = "Einzelblatteinzug";
const std::string Opening = "Status: Scanner öffnen...";
const std::string Reading = "Status: Scannerdaten abrufen...";
const std::string Idle = "Status: unbeschäftigt";
const std::string NoScanner = "Scanner: keiner gewählt";

const FakeDevice FlatbedScanner{"Canon", "LiDE 25", "plustek:libusb:001:004", true, false, false};
const FakeDevice FeederScanner{"Brother", "ADS-1200", "brother5:bus2;dev1", true, true, false};
const FakeDevice DuplexScanner{"Fujitsu", "fi-7160", "fujitsu:fi-7160:1", true, true, true};

// One paint of the status line: its text and how many library calls had been made by then.
struct StatusPaint
{
    std::string text;
    std::size_t callsBefore;
};

// Records every paint of the status line; the selection blocks the event loop, so only an
// immediate repaint shows up here while it runs.
class PaintRecorder : public QObject
{
public:
    PaintRecorder(QLabel& label, const FakeScannerLibrary& fake)
        : m_label(label)
        , m_fake(fake)
    {
        label.installEventFilter(this);
    }

    std::vector<StatusPaint> paints;

    std::vector<std::string> texts() const
    {
        std::vector<std::string> result;
        for (const StatusPaint& paint : paints) {
            if (result.empty() || result.back() != paint.text) {
                result.push_back(paint.text);
            }
        }
        return result;
    }

    // Calls made before the first paint of text; nullopt when it was never painted.
    std::optional<std::size_t> callsBeforeFirstPaint(const std::string& text) const
    {
        for (const StatusPaint& paint : paints) {
            if (paint.text == text) {
                return paint.callsBefore;
            }
        }
        return std::nullopt;
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (watched == &m_label && event->type() == QEvent::Paint) {
            paints.push_back({m_label.text().toStdString(), m_fake.trace.size()});
        }
        return false;
    }

private:
    QLabel& m_label;
    const FakeScannerLibrary& m_fake;
};

// The main window's parts on a shown window, the shell's data, the fake library as the binding and
// a scripted message box.
struct SelectionFixture : testing::ScannerSelectionParts
{
    testing::TempDir dir;
    testing::ScopedFakeEffects effects;
    FakeScannerLibrary fake;
    testing::ScriptedActionBoxAnswerer boxes;

    SelectionFixture()
    {
        state.ProgramDir = dir.folder();
        scannerLine->setGeometry(5, 5, 590, 20);
        statusLine->setGeometry(5, 25, 590, 20);
        scanButton->setGeometry(5, 55, 200, 30);
        paperSource->setGeometry(220, 55, 140, 23);
        duplexBox->setGeometry(375, 55, 200, 20);
        window.resize(600, 200);
        window.show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(&window));
        fake.initialize();
        installDTwainBinding(&fake);
    }

    ~SelectionFixture() { installDTwainBinding(nullptr); }

    SelectionFixture(const SelectionFixture&) = delete;
    SelectionFixture& operator=(const SelectionFixture&) = delete;

    std::string storedSourceName() { return readSetting(state, "LAST_VALUES", "LastSourceName"); }
};

// Where a call with that number stands in the trace (from 0), counted from the call index from.
std::optional<std::size_t> callIndex(const FakeScannerLibrary& fake, int number, std::size_t from = 0)
{
    for (std::size_t i = from; i < fake.trace.size(); ++i) {
        if (fake.trace[i].number == number) {
            return i;
        }
    }
    return std::nullopt;
}

struct SelectionCase
{
    const char* label;
    std::vector<FakeDevice> devices;
    std::vector<std::string> paperItems;    // the combo box before; the last item is shown
    std::optional<std::string> openedFirst; // selected by name before the case
    bool duplexBefore;                      // the boxes' states just before the case's selection
    bool scanBefore;
    std::string name; // empty: the dialog
    std::optional<std::string> dialogChoice;
    std::set<int> failingOpenCalls;
    int selections; // how often the case's selection is made

    std::string scannerLine;
    std::vector<std::string> paperItemsAfter;
    std::string shownPaperSource;
    bool duplexAfter;
    bool scanAfter;
    bool sourceOpen;
    bool sameSourceAsBefore;
    std::string storedName; // "LastSourceName" in the settings file; empty: never written
    bool errorBox;
};

const SelectionCase SelectionCases[] = {
    {"flatbed only removes the stored and shown feeder item",
     {FlatbedScanner},
     {Flatbed, Feeder},
     std::nullopt,
     true,
     false,
     "",
     "Canon LiDE 25",
     {},
     1,
     "Scanner: Canon LiDE 25",
     {Flatbed},
     Flatbed,
     false,
     true,
     true,
     false,
     "Canon LiDE 25",
     false},
    {"feeder without duplex selected twice adds the item once",
     {FlatbedScanner, FeederScanner},
     {Flatbed},
     std::nullopt,
     true,
     false,
     "Brother ADS-1200",
     std::nullopt,
     {},
     2,
     "Scanner: Brother ADS-1200",
     {Flatbed, Feeder},
     Flatbed,
     false,
     true,
     true,
     false,
     "Brother ADS-1200",
     false},
    {"feeder with duplex enables the box under the flatbed item",
     {DuplexScanner},
     {Flatbed},
     std::nullopt,
     false,
     false,
     "",
     "Fujitsu fi-7160",
     {},
     1,
     "Scanner: Fujitsu fi-7160",
     {Flatbed, Feeder},
     Flatbed,
     true,
     true,
     true,
     false,
     "Fujitsu fi-7160",
     false},
    {"a dialog choice that does not open gives the error box",
     {DuplexScanner, {"Canon", "LiDE 25", "plustek:libusb:001:004", false, false, false}},
     {Flatbed, Feeder},
     "Fujitsu fi-7160",
     true,
     true,
     "",
     "Canon LiDE 25",
     {},
     1,
     NoScanner,
     {Flatbed, Feeder},
     Feeder,
     true,
     false,
     false,
     false,
     "Fujitsu fi-7160",
     true},
    {"a source by name that does not open stays silent",
     {DuplexScanner, FeederScanner},
     {Flatbed},
     "Fujitsu fi-7160",
     true,
     true,
     "Brother ADS-1200",
     std::nullopt,
     {2},
     1,
     NoScanner,
     {Flatbed, Feeder},
     Flatbed,
     true,
     false,
     false,
     false,
     "Fujitsu fi-7160",
     false},
    {"an unknown name stays silent",
     {FeederScanner},
     {Flatbed},
     std::nullopt,
     true,
     true,
     "Epson Perfection V39",
     std::nullopt,
     {},
     1,
     NoScanner,
     {Flatbed},
     Flatbed,
     true,
     false,
     false,
     false,
     "",
     false},
    {"cancel reopens the open source and leaves the window alone",
     {DuplexScanner, FlatbedScanner},
     {Flatbed, Feeder},
     "Fujitsu fi-7160",
     false,
     true,
     "",
     std::nullopt,
     {},
     1,
     "Scanner: Fujitsu fi-7160",
     {Flatbed, Feeder},
     Feeder,
     false,
     true,
     true,
     true,
     "Fujitsu fi-7160",
     false},
    {"cancel without an open source",
     {DuplexScanner},
     {Flatbed},
     std::nullopt,
     true,
     true,
     "",
     std::nullopt,
     {},
     1,
     NoScanner,
     {Flatbed},
     Flatbed,
     true,
     false,
     false,
     false,
     "",
     false},
    {"cancel with a reopen that fails shows no scanner",
     {DuplexScanner},
     {Flatbed, Feeder},
     "Fujitsu fi-7160",
     true,
     true,
     "",
     std::nullopt,
     {2},
     1,
     NoScanner,
     {Flatbed, Feeder},
     Feeder,
     true,
     false,
     false,
     false,
     "Fujitsu fi-7160",
     false},
};

TEST(SelectScannerTest, AdaptsTheWindowToTheScriptedSource)
{
    for (const SelectionCase& c : SelectionCases) {
        SCOPED_TRACE(c.label);
        SelectionFixture f;
        f.fake.devices = c.devices;
        for (const std::string& item : c.paperItems) {
            f.paperSource->addItem(QString::fromStdString(item));
        }
        f.paperSource->setCurrentIndex(f.paperSource->count() - 1);
        SourceHandle first = NoHandle;
        if (c.openedFirst) {
            first = SelectScanner(f.context, *c.openedFirst);
            ASSERT_NE(first, NoHandle);
        }
        f.duplexBox->setEnabled(c.duplexBefore);
        f.scanButton->setEnabled(c.scanBefore);
        f.fake.dialogChoice = c.dialogChoice;
        f.fake.failingOpenCalls = c.failingOpenCalls;
        if (c.errorBox) {
            f.boxes.queueAnswer(1);
        }
        PaintRecorder recorder(*f.statusLine, f.fake);
        const std::size_t callsBefore = f.fake.trace.size();

        SourceHandle result = NoHandle;
        for (int i = 0; i < c.selections; ++i) {
            result = SelectScanner(f.context, c.name);
        }

        EXPECT_EQ(result, f.currentSource);
        EXPECT_EQ(f.currentSource != NoHandle, c.sourceOpen);
        EXPECT_EQ(f.fake.isOpen(f.currentSource), c.sourceOpen);
        if (c.sameSourceAsBefore) {
            EXPECT_EQ(f.currentSource, first);
        }
        if (first != NoHandle && !c.sameSourceAsBefore) {
            EXPECT_FALSE(f.fake.isOpen(first)) << "the earlier source was left open";
        }
        EXPECT_EQ(f.scannerLine->text().toStdString(), c.scannerLine);
        EXPECT_EQ(f.paperItems(), c.paperItemsAfter);
        EXPECT_EQ(f.paperSource->currentText().toStdString(), c.shownPaperSource);
        EXPECT_EQ(f.duplexBox->isEnabled(), c.duplexAfter);
        EXPECT_EQ(f.scanButton->isEnabled(), c.scanAfter);
        EXPECT_EQ(f.storedSourceName(), c.storedName);
        EXPECT_EQ(f.state.settings.LastSourceName, c.storedName);

        // The status texts are painted before the calls they announce, and end at idle.
        EXPECT_EQ(f.statusLine->text().toStdString(), Idle);
        std::vector<std::string> expectedTexts;
        for (int i = 0; i < c.selections; ++i) {
            expectedTexts.push_back(Opening);
            if (c.sourceOpen && !c.sameSourceAsBefore) {
                expectedTexts.push_back(Reading);
            }
            expectedTexts.push_back(Idle);
        }
        EXPECT_EQ(recorder.texts(), expectedTexts);
        const auto selectCall = callIndex(f.fake, c.name.empty() ? 211 : 213, callsBefore);
        ASSERT_TRUE(selectCall.has_value());
        EXPECT_LE(recorder.callsBeforeFirstPaint(Opening).value_or(SIZE_MAX), *selectCall);
        if (c.sourceOpen && !c.sameSourceAsBefore) {
            const auto nameCall = callIndex(f.fake, 18, callsBefore);
            ASSERT_TRUE(nameCall.has_value());
            EXPECT_LE(recorder.callsBeforeFirstPaint(Reading).value_or(SIZE_MAX), *nameCall);
        }

        if (c.errorBox) {
            ASSERT_EQ(f.boxes.shown.size(), 1u);
            EXPECT_EQ(f.boxes.shown[0].Title, "Fehler");
            EXPECT_EQ(f.boxes.shown[0].Text, "Der ausgewählte Scanner konnte nicht geöffnet werden.");
            EXPECT_EQ(f.boxes.shown[0].Icon, 4);
        } else {
            EXPECT_TRUE(f.boxes.shown.empty());
        }
        EXPECT_TRUE(f.effects.messages.shown.empty());
    }
}

TEST(SelectScannerTest, CancelClosesAndReopensTheSameSource)
{
    SelectionFixture f;
    f.fake.devices = {DuplexScanner};
    const SourceHandle first = SelectScanner(f.context, "Fujitsu fi-7160");
    ASSERT_NE(first, NoHandle);
    const std::size_t callsBefore = f.fake.trace.size();
    EXPECT_EQ(SelectScanner(f.context, ""), first);
    const std::string id = std::to_string(first);
    std::vector<FakeCallRecord> calls(
        f.fake.trace.begin() + static_cast<std::ptrdiff_t>(callsBefore), f.fake.trace.end());
    EXPECT_EQ(calls, (std::vector<FakeCallRecord>{{32, {id}}, {211, {}}, {31, {id}}}));
}

TEST(SelectScannerTest, ProductNameIsCutAtFiveThousandCharacters)
{
    SelectionFixture f;
    std::string model;
    for (int i = 0; i < 3000; ++i) {
        model += "ä";
    }
    f.fake.devices = {{"Canon", model, "plustek:libusb:001:004", true, false, false}};
    f.fake.dialogChoice = "Canon " + model;
    ASSERT_NE(SelectScanner(f.context, ""), NoHandle);
    // "Canon " and 4994 two-byte characters.
    const std::string expected = "Canon " + model.substr(0, 2 * 4994);
    EXPECT_EQ(f.state.settings.LastSourceName, expected);
    EXPECT_EQ(f.storedSourceName(), expected);
    EXPECT_EQ(f.scannerLine->text().toStdString(), "Scanner: " + expected);
}

TEST(SelectScannerTest, StartUpOpensTheStoredScannerOnlyWhenAsked)
{
    struct Row
    {
        const char* label;
        std::string stored;
        std::uint8_t openOnStartUp;
        std::vector<std::string> splash;
        std::string scannerLine;
        bool selected;
    };

    const Row rows[] = {
        {"stored and wanted",
         "Fujitsu fi-7160",
         1,
         {"letzten Scanner öffnen..."},
         "Scanner: Fujitsu fi-7160",
         true},
        {"stored but not wanted", "Fujitsu fi-7160", 0, {}, NoScanner, false},
        {"nothing stored", "", 1, {}, NoScanner, false},
        {"stored and gone", "Canon LiDE 25", 1, {"letzten Scanner öffnen..."}, NoScanner, true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.label);
        SelectionFixture f;
        f.fake.devices = {DuplexScanner};
        f.state.settings.LastSourceName = row.stored;
        f.state.settings.OpenLastScannerOnStartup = row.openOnStartUp;
        std::vector<std::string> splash;
        selectLastScannerAtStartUp(f.context, [&splash](const std::string& text) { splash.push_back(text); });
        EXPECT_EQ(splash, row.splash);
        EXPECT_EQ(f.scannerLine->text().toStdString(), row.scannerLine);
        EXPECT_EQ(f.fake.callsOf(213).size(), row.selected ? 1u : 0u);
        EXPECT_EQ(f.state.settings.LastSourceName, row.stored);
        EXPECT_TRUE(f.boxes.shown.empty());
    }
}

TEST(TwainNotificationCallbackTest, EveryPageCountsInBothCountersAndOtherCodesDoNothing)
{
    SelectionFixture f;
    f.passPages = 4;
    f.jobPages = 10;
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(TwainNotificationCallback(f.context, 1010, 0, 0), 1);
    }
    EXPECT_EQ(f.passPages, 7);
    EXPECT_EQ(f.jobPages, 13);

    f.acquisitionRunning = 0;
    for (const std::int32_t code : {1043, 1042, 1011, 0, -1}) {
        SCOPED_TRACE(code);
        EXPECT_EQ(TwainNotificationCallback(f.context, code, 5, 0), 1);
    }
    EXPECT_EQ(f.passPages, 7);
    EXPECT_EQ(f.jobPages, 13);
    EXPECT_TRUE(f.boxes.shown.empty());
    EXPECT_TRUE(f.fake.callsOf(3203).empty());
}

TEST(TwainNotificationCallbackTest, FirstManualPassAsksToTurnTheStack)
{
    SelectionFixture f;
    f.boxes.queueAnswer(1);
    EXPECT_EQ(TwainNotificationCallback(f.context, 1041, 0, 0), 1);
    ASSERT_EQ(f.boxes.shown.size(), 1u);
    EXPECT_EQ(f.boxes.shown[0].Title, "Pass 2 manueller doppelseitiger Scan");
    EXPECT_EQ(
        f.boxes.shown[0].Text,
        "manueller doppelseitiger Scan:\\n\\nBitte jetzt den Vorlagenstapel wenden und mit der letzten Seite "
        "zuoberst in den Einzelblatteinzug einlegen.\\n\\nDann den zweiten Scan-Durchgang starten.");
    EXPECT_EQ(f.boxes.shown[0].Icon, 1);
    EXPECT_EQ(f.boxes.shown[0].ButtonCount, 1) << "a plain Ok box";
}

const std::string ReversedAdvice =
    "Bitte den Vorlagenstapel \\qfalschherum\\q mit der letzten Rückseite obenliegend in den "
    "Einzelblatteinzug einlegen und den Scanvorgang für die Vorderseiten wiederholen.";
const std::string InOrderAdvice =
    "Bitte den Vorlagenstapel richtigherum mit der ersten Vorderseite obenliegend "
    "in den Einzelblatteinzug einlegen und den Scanvorgang für die Vorderseiten "
    "wiederholen.";

TEST(TwainNotificationCallbackTest, DifferingPageCountsDuringAnAcquisition)
{
    struct Row
    {
        const char* label;
        std::int32_t first;
        std::int32_t second;
        std::intptr_t pressed; // 0: Esc or the close box
        std::int32_t result;
        const std::string& advice;
        bool restartBox;
    };

    const Row rows[] = {
        {"first pass larger, Ok", 3, 2, 1, 3, ReversedAdvice, false},
        {"equal counts, Esc", 2, 2, 0, 3, ReversedAdvice, false},
        {"second pass larger, Ok", 2, 3, 1, 2, InOrderAdvice, false},
        {"second pass larger, Esc", 2, 3, 0, 2, InOrderAdvice, false},
        {"restart the whole scan", 3, 2, 2, 4, ReversedAdvice, true},
        {"keep the scan", 2, 3, 3, 1, InOrderAdvice, false},
        {"two-digit counts", 12, 10, 1, 3, ReversedAdvice, false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.label);
        SelectionFixture f;
        f.fake.devices = {DuplexScanner};
        ASSERT_NE(SelectScanner(f.context, "Fujitsu fi-7160"), NoHandle);
        f.fake.manualFirstPassPages = row.first;
        f.fake.manualSecondPassPages = row.second;
        f.acquisitionRunning = 1;
        f.boxes.queueAnswer(row.pressed);
        if (row.restartBox) {
            f.boxes.queueAnswer(1);
        }

        EXPECT_EQ(TwainNotificationCallback(f.context, 1043, 0, 0), row.result);

        EXPECT_EQ(
            f.fake.callsOf(3203), (std::vector<FakeCallRecord>{{3203, {std::to_string(f.currentSource)}}}));
        ASSERT_EQ(f.boxes.shown.size(), row.restartBox ? 2u : 1u);
        const ActionBoxParams& box = f.boxes.shown[0];
        EXPECT_EQ(box.Title, "Seitenzahlfehler");
        EXPECT_EQ(
            box.Text,
            "manueller doppelseitiger Scan:\\n\\nDie Anzahl der Seiten der beiden Scandurchgänge stimmt "
            "nicht "
            "überein:\\nAnzahl Seiten Durchgang 1: " +
                std::to_string(row.first) + "\\nAnzahl Seiten Durchgang 2: " + std::to_string(row.second) +
                "\\n\\n" + row.advice);
        EXPECT_EQ(box.Icon, 3);
        EXPECT_EQ(box.ButtonCount, 3);
        EXPECT_EQ(
            box.Buttons,
            "Ok|gesamten Scanvorgang mit den Vorderseiten erneut starten|Scan so belassen und Datei "
            "erzeugen");
        EXPECT_EQ(box.DefaultButton, 1);
        EXPECT_EQ(box.ButtonWidth, 330);
        if (row.restartBox) {
            EXPECT_EQ(f.boxes.shown[1].Title, "Pass 1 manueller doppelseitiger Scan");
            EXPECT_EQ(
                f.boxes.shown[1].Text,
                "erneuter manueller doppelseitiger Scan:\\n\\nBitte jetzt den Vorlagenstapel mit der ersten "
                "Seite zuoberst in den Einzelblatteinzug einlegen.\\n\\nDann den ersten Scan-Durchgang "
                "starten.");
            EXPECT_EQ(f.boxes.shown[1].Icon, 1);
        }
    }
}

TEST(TwainNotificationCallbackTest, ScriptedManualDuplexAcquisitionThroughTheLibrary)
{
    SelectionFixture f;
    f.fake.devices = {DuplexScanner};
    ASSERT_NE(SelectScanner(f.context, "Fujitsu fi-7160"), NoHandle);
    f.fake.setNotificationCallback(twainNotificationCallbackFor(f.context), 0, 0);
    FakePass fronts = FakePass::pages({1, 2, 3});
    fronts.notifications = {1041};
    FakePass backs = FakePass::pages({101, 102});
    backs.notifications = {1043};
    f.fake.passes = {fronts, backs};
    f.fake.manualFirstPassPages = 3;
    f.fake.manualSecondPassPages = 2;
    f.boxes.queueAnswer(1); // the turn-the-stack box
    f.boxes.queueAnswer(3); // keep the scan

    const FileListHandle list = f.fake.createFileList(6, 1);
    f.fake.setFileListEntry(list, 0, f.dir.file("tmpimg.bmp"));
    std::int32_t status = 0;
    for (int pass = 0; pass < 2; ++pass) {
        f.passPages = 0;
        f.acquisitionRunning = 1;
        EXPECT_EQ(f.fake.acquireToFiles(f.currentSource, list, 100, 0x241, 2, -1, 1, 0, &status), 1);
        f.acquisitionRunning = 0;
    }
    f.fake.freeFileList(list);

    EXPECT_EQ(f.passPages, 2);
    EXPECT_EQ(f.jobPages, 5);
    EXPECT_EQ(f.fake.notificationResults, (std::vector<std::int32_t>{1, 1}));
    ASSERT_EQ(f.boxes.shown.size(), 2u);
    EXPECT_EQ(f.boxes.shown[0].Title, "Pass 2 manueller doppelseitiger Scan");
    EXPECT_EQ(f.boxes.shown[1].Title, "Seitenzahlfehler");
}

} // namespace
} // namespace folvex
