#include "shell/options_dialog.h"

#include "components/owner_drawn_button.h"
#include "foundation/list_view.h"
#include "runtime/controls.h"
#include "runtime/input_state.h"
#include "runtime/object_registry.h"
#include "runtime/subclass.h"
#include "runtime/window_events.h"
#include "shell/options_settings.h"
#include "shell_parts.h"
#include "support/fakes.h"
#include "support/temp_dir.h"
#include "support/text_fit.h"
#include "twain/fake_scanner_library.h"

#include <gtest/gtest.h>

#include <QAbstractSpinBox>
#include <QApplication>
#include <QElapsedTimer>
#include <QImage>
#include <QLineEdit>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>

#include <deque>
#include <functional>
#include <string>
#include <utility>

namespace folvex {
namespace {

using testing::TempDir;

// Drives the dialogs while their loops run: each step waits until its condition holds, then acts.
// A script that stalls for five seconds fails the test and closes every open dialog, so no loop hangs.
class DialogScript final : public QObject
{
public:
    DialogScript()
    {
        m_timer.callOnTimeout(this, [this] { tick(); });
        m_timer.start(5);
        m_stall.start();
    }

    DialogScript& when(std::function<bool()> ready, std::function<void()> act)
    {
        m_steps.push_back({std::move(ready), std::move(act)});
        return *this;
    }

    DialogScript& then(std::function<void()> act)
    {
        return when([] { return true; }, std::move(act));
    }

    bool finished() const { return m_steps.empty(); }

private:
    void tick()
    {
        if (m_steps.empty()) {
            return;
        }
        if (m_steps.front().first()) {
            auto act = std::move(m_steps.front().second);
            m_steps.pop_front();
            m_stall.restart();
            act();
        } else if (m_stall.elapsed() > 5000) {
            ADD_FAILURE() << "dialog script stalled with " << m_steps.size() << " steps left";
            m_steps.clear();
            clearKeyStates();
            for (const Handle open :
                 {openEditorWindow() ? openEditorWindow()->window : NoHandle,
                  openEditorList() ? openEditorList()->window : NoHandle,
                  openOptionsDialog() ? openOptionsDialog()->window : NoHandle}) {
                if (open != NoHandle) {
                    postCloseEvent(open);
                }
            }
        }
    }

    QTimer m_timer;
    QElapsedTimer m_stall;
    std::deque<std::pair<std::function<bool()>, std::function<void()>>> m_steps;
};

bool optionsOpen()
{
    return openOptionsDialog() != nullptr;
}

bool listOpen()
{
    return openEditorList() != nullptr;
}

bool editorOpen()
{
    return openEditorWindow() != nullptr;
}

void click(Handle button)
{
    QTest::mouseClick(findWidget(button), Qt::LeftButton);
}

std::string text(Handle field)
{
    return fieldText(field);
}

void type(Handle field, const std::string& value)
{
    QWidget* widget = findWidget(field);
    if (auto* edit = qobject_cast<QLineEdit*>(widget)) {
        edit->setText(QString::fromStdString(value));
    } else if (auto* spin = qobject_cast<QAbstractSpinBox*>(widget)) {
        spin->findChild<QLineEdit*>()->setText(QString::fromStdString(value));
    }
}

const OptionsDialogControls& options()
{
    return *openOptionsDialog();
}

// The program started in a temporary program folder with the fake scanner and scripted requesters.
class OptionsDialogTest : public ::testing::Test
{
protected:
    OptionsDialogTest() { testing::startShellParts(programDir.folder(), scanner); }

    ~OptionsDialogTest() override
    {
        clearKeyStates();
        testing::stopShellParts();
        DrainWindowEvents();
    }

    ShellState& state() { return shellProgram().state; }

    Settings& settings() { return state().settingsState.settings; }

    std::string ini(const std::string& section, const std::string& key)
    {
        return readSetting(state().settingsState, section, key);
    }

    std::string iniBytes() { return testing::readFile(programDir.file("Folvex.ini")); }

    void runOptions(DialogScript& script)
    {
        OptionsDialog(state(), shellProgram().windows);
        EXPECT_TRUE(script.finished());
        EXPECT_FALSE(optionsOpen());
    }

    void runEditorList(DialogScript& script)
    {
        ExternalEditorsDialog(state(), shellProgram().windows);
        EXPECT_TRUE(script.finished());
        EXPECT_FALSE(listOpen());
    }

    void storeEditors()
    {
        for (const char* name : {"Zeta", "Alpha", "Beta"}) {
            storeExternalEditor(settings().ExternalEditors, 0, name, std::string("/usr/bin/") + name, false);
        }
        writeExternalEditors(state().settingsState);
    }

    std::vector<std::string> listRows()
    {
        std::vector<std::string> rows;
        const Handle list = openEditorList()->list;
        for (int row = 0; row < LVItemCount(list); ++row) {
            rows.push_back(LVGetRow(list, row));
        }
        return rows;
    }

    void focusRow(const std::string& name)
    {
        QTreeWidget* view = findListView(openEditorList()->list);
        const QList<QTreeWidgetItem*> found =
            view->findItems(QString::fromStdString(name), Qt::MatchExactly, 0);
        ASSERT_EQ(found.size(), 1);
        view->setCurrentItem(found.front());
    }

    TempDir programDir;
    FakeScannerLibrary scanner;
    testing::ScopedFakeEffects fakeEffects;
};

TEST_F(OptionsDialogTest, ControlsStandWhereTheClientSizePutsThem)
{
    DialogScript script;
    script.when(optionsOpen, [] {
        const OptionsDialogControls& c = options();
        const QWidget* window = findWidget(c.window);
        EXPECT_EQ(window->size(), QSize(520, 537));
        EXPECT_EQ(window->windowTitle(), "Optionen");
        const struct
        {
            Handle control;
            QRect place;
        } cases[] = {
            {c.jpgQuality, {459, 8, 50, 20}},
            {c.frameRate, {429, 33, 80, 20}},
            {c.profile, {386, 85, 124, 25}},
            {c.percentage, {459, 165, 50, 20}},
            {c.defaults, {410, 190, 100, 20}},
            {c.language, {459, 340, 50, 20}},
            {c.openLastScanner, {10, 365, 300, 20}},
            {c.editors, {8, 413, 150, 22}},
            {c.tmpPath, {125, 440, 345, 20}},
            {c.tmpPathChooser, {475, 438, 35, 23}},
            {c.gsPathChooser, {475, 463, 35, 23}},
            {c.save, {10, 497, 100, 30}},
            {c.cancel, {410, 497, 100, 30}},
        };
        for (const auto& k : cases) {
            EXPECT_EQ(findWidget(k.control)->geometry(), k.place) << k.place.x() << "," << k.place.y();
        }
        // The arc faces in their normal state: green "Speichern", red "Abbruch".
        const QColor save = findWidget(c.save)->grab().toImage().pixelColor(50, 4);
        const QColor cancel = findWidget(c.cancel)->grab().toImage().pixelColor(50, 4);
        EXPECT_GT(save.green(), save.red() + 60);
        EXPECT_GT(cancel.red(), cancel.green() + 60);
        for (const Handle field : c.selectingFields()) {
            EXPECT_EQ(subclassCount(field), 1);
        }
        click(c.cancel);
    });
    runOptions(script);
}

TEST_F(OptionsDialogTest, EveryTextFitsItsControl)
{
    DialogScript script;
    script.when(optionsOpen, [] {
        EXPECT_EQ(testing::cutTexts(*findWidget(options().window)), std::vector<std::string>{});
        click(options().cancel);
    });
    runOptions(script);
}

TEST_F(OptionsDialogTest, CancelChangesNothingEvenAfterDefaultsAndTyping)
{
    settings().JpgQuality = 33;
    const Settings before = settings();
    const std::string file = iniBytes();

    const struct
    {
        const char* way;
        std::function<void()> cancel;
    } ways[] = {
        {"Abbruch", [] { click(options().cancel); }},
        {"Esc", [] { QTest::keyClick(findWidget(options().language), Qt::Key_Escape); }},
        {"close box", [] { postCloseEvent(options().window); }},
    };

    for (const auto& w : ways) {
        SCOPED_TRACE(w.way);
        DialogScript script;
        script.when(optionsOpen, [] { click(options().defaults); })
            .when(
                [] { return text(options().jpgQuality) == "75"; },
                [] {
                    type(options().thumbSize, "99");
                    type(options().tmpPath, "/elsewhere");
                    ComboSelectIndex(options().profile, 1);
                })
            .then(w.cancel);
        runOptions(script);
        EXPECT_EQ(settings().JpgQuality, before.JpgQuality);
        EXPECT_EQ(settings().Rotate_ThumbSize, before.Rotate_ThumbSize);
        EXPECT_EQ(settings().TmpPath, before.TmpPath);
        EXPECT_EQ(settings().AktBlankProfile, before.AktBlankProfile);
        EXPECT_EQ(iniBytes(), file);
    }
}

TEST_F(OptionsDialogTest, ChosenProfileShowsItsStoredValuesAndIsSaved)
{
    DialogScript script;
    script
        .when(
            optionsOpen,
            [] {
                EXPECT_EQ(text(options().minColor), "250");
                type(options().minColor, "111");
                ComboSelectIndex(options().profile, 1);
            })
        .when(
            [] { return text(options().minColor) == "170"; },
            [] {
                type(options().percentage, "97,5");
                click(options().save);
            });
    runOptions(script);
    EXPECT_EQ(ini("LAST_VALUES", "AktBlankProfile"), "2");
    EXPECT_EQ(ini("BLANK_PROFILE_2", "BlankRecognitionMinColor"), "170");
    EXPECT_EQ(ini("BLANK_PROFILE_2", "BlankRecognitionPercentage"), "97.5");
    EXPECT_EQ(ini("BLANK_PROFILE_1", "BlankRecognitionMinColor"), "250");
    EXPECT_EQ(settings().BlankRecognitionMinColor, 170);
    EXPECT_FLOAT_EQ(settings().BlankRecognitionPercentageSingle, 97.5F);
}

// A value the options cannot take keeps the window open with a note saying why, and stores nothing.
TEST_F(OptionsDialogTest, RefusedValueKeepsTheWindowOpenWithItsNote)
{
    const struct
    {
        Handle OptionsDialogControls::*field;
        const char* typed;
        const char* note;
    } cases[] = {
        {&OptionsDialogControls::tmpPath, "", "Der temporäre Pfad darf nicht leer sein."},
        {&OptionsDialogControls::pdfDpi,
         "100000",
         "»DPI bei PDF als Input« muss zwischen 10 und 1200 liegen."},
    };

    for (const auto& c : cases) {
        SCOPED_TRACE(c.note);
        fakeEffects.messages.shown.clear();
        fakeEffects.messages.queueAnswer(MessageAnswer::Ok);
        DialogScript script;
        script
            .when(
                optionsOpen,
                [&c] {
                    type(options().*c.field, c.typed);
                    click(options().save);
                })
            .when(
                [this] { return !fakeEffects.messages.shown.empty(); },
                [] { QTest::keyClick(findWidget(options().tmpPath), Qt::Key_Escape); });
        const std::string file = iniBytes();
        runOptions(script);
        ASSERT_EQ(fakeEffects.messages.shown.size(), 1U);
        EXPECT_EQ(fakeEffects.messages.shown[0].text, c.note);
        EXPECT_EQ(iniBytes(), file);
    }
}

TEST_F(OptionsDialogTest, ChosenFolderThatCannotBeWrittenIsRefused)
{
    // procfs lets nobody create a file, root included.
    fakeEffects.files.queueAnswer("/proc/");
    fakeEffects.messages.queueAnswer(MessageAnswer::Ok);
    const std::string previous = settings().TmpPath;
    DialogScript script;
    script.when(optionsOpen, [] { postControlEvent(options().window, options().tmpPathChooser); })
        .when(
            [this] { return !fakeEffects.messages.shown.empty(); },
            [previous] {
                EXPECT_EQ(text(options().tmpPath), previous);
                click(options().cancel);
            });
    runOptions(script);
    ASSERT_EQ(fakeEffects.messages.shown.size(), 1U);
    EXPECT_EQ(
        fakeEffects.messages.shown[0].text,
        "Der Ordner »/proc« kann nicht der temporäre Pfad sein (Folvex kann dort nicht schreiben: der Ordner "
        "fehlt). Folvex verwendet weiterhin »" +
            previous + "«.");
}

TEST_F(OptionsDialogTest, ReturnSavesUnlessAnOwnerDrawnButtonTakesIt)
{
    DialogScript script;
    script.when(optionsOpen, [] {
        type(options().jpgQuality, "90");
        QTest::keyClick(findWidget(options().language), Qt::Key_Return);
    });
    runOptions(script);
    EXPECT_EQ(settings().JpgQuality, 90);
    EXPECT_EQ(ini("LAST_VALUES", "JpgQuality"), "90");

    DialogScript onCancel;
    onCancel.when(optionsOpen, [] {
        type(options().jpgQuality, "40");
        findWidget(options().cancel)->setFocus();
        QTest::keyClick(findWidget(options().cancel), Qt::Key_Return);
    });
    runOptions(onCancel);
    EXPECT_EQ(settings().JpgQuality, 90);
    EXPECT_EQ(ini("LAST_VALUES", "JpgQuality"), "90");
}

TEST_F(OptionsDialogTest, HeldKeyDelaysTheCloseUntilReleased)
{
    for (const Qt::Key key : {Qt::Key_Return, Qt::Key_Escape}) {
        SCOPED_TRACE(key);
        QElapsedTimer held;
        DialogScript script;
        script
            .when(
                optionsOpen,
                [key, &held] {
                    QTest::keyPress(findWidget(options().language), key);
                    held.start();
                })
            .when(
                [&held] { return held.elapsed() > 150; },
                [key] {
                    EXPECT_TRUE(optionsOpen());
                    QTest::keyRelease(findWidget(options().language), key);
                });
        runOptions(script);
        EXPECT_GE(held.elapsed(), 150);
    }
}

TEST_F(OptionsDialogTest, FocusSelectsTheTextOfTheQualityField)
{
    DialogScript script;
    script.when(optionsOpen, [] {
        QWidget* window = findWidget(options().window);
        window->activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(window));
        findWidget(options().language)->setFocus();
        QWidget* spin = findWidget(options().jpgQuality);
        spin->setFocus(Qt::MouseFocusReason);
        EXPECT_EQ(spin->findChild<QLineEdit*>()->selectedText(), "75");
        click(options().cancel);
    });
    runOptions(script);
}

TEST_F(OptionsDialogTest, ChoosersFillTheirFieldsAndCancelLeavesThem)
{
    fakeEffects.files.queueAnswer("/x/y/");
    fakeEffects.files.queueAnswer("/opt/gs/bin/gs");
    fakeEffects.files.queueAnswer("");
    fakeEffects.files.queueAnswer(std::vector<std::string>{});
    DialogScript script;
    script.when(optionsOpen, [] { postControlEvent(options().window, options().tmpPathChooser); })
        .when(
            [] { return text(options().tmpPath) == "/x/y"; },
            [] { postControlEvent(options().window, options().gsPathChooser); })
        .when(
            [] { return text(options().gsPath) == "/opt/gs/bin/gs"; },
            [] {
                postControlEvent(options().window, options().tmpPathChooser);
                postControlEvent(options().window, options().gsPathChooser);
            })
        .when(
            [this] { return fakeEffects.files.dialogs.size() == 4; },
            [] {
                EXPECT_EQ(text(options().tmpPath), "/x/y");
                EXPECT_EQ(text(options().gsPath), "/opt/gs/bin/gs");
                click(options().cancel);
            });
    runOptions(script);
    ASSERT_EQ(fakeEffects.files.dialogs.size(), 4U);
    EXPECT_EQ(fakeEffects.files.dialogs[0].request.title, "Pfad für temporäre Dateien wählen");
    EXPECT_EQ(fakeEffects.files.dialogs[0].request.defaultFile, settings().TmpPath);
    EXPECT_EQ(fakeEffects.files.dialogs[1].request.title, "Pfad für GhostScript-Installation wählen");
    EXPECT_EQ(fakeEffects.files.dialogs[1].request.patterns, "Programme|*");
}

TEST_F(OptionsDialogTest, EditorListIsSortedAndKeepsEachRowsNumber)
{
    storeEditors();
    fakeEffects.messages.queueAnswer(MessageAnswer::Ok);
    fakeEffects.messages.queueAnswer(MessageAnswer::Ok);
    DialogScript script;
    script
        .when(
            listOpen,
            [this] {
                EXPECT_EQ(
                    listRows(),
                    (std::vector<std::string>{
                        "Alpha|/usr/bin/Alpha|2", "Beta|/usr/bin/Beta|3", "Zeta|/usr/bin/Zeta|1"}));
                const EditorListControls& l = *openEditorList();
                const QTreeWidget* view = findListView(l.list);
                EXPECT_EQ(view->geometry(), QRect(5, 5, 440, 355));
                EXPECT_EQ(view->columnWidth(0), 150);
                EXPECT_EQ(view->columnWidth(1), 440 - 168);
                EXPECT_EQ(view->columnWidth(2), 0);
                const struct
                {
                    Handle button;
                    QRect place;
                } buttons[] = {
                    {l.add, {5, 365, 30, 30}},
                    {l.edit, {40, 365, 30, 30}},
                    {l.remove, {75, 365, 30, 30}},
                    {l.back, {345, 365, 100, 30}},
                };
                for (const auto& b : buttons) {
                    EXPECT_EQ(findWidget(b.button)->geometry(), b.place);
                }
                // No row is marked until the user marks one.
                QWidget* window = findWidget(l.window);
                window->activateWindow();
                EXPECT_TRUE(QTest::qWaitForWindowActive(window));
                EXPECT_EQ(LVFirstFocused(l.list), -1);
                click(l.edit);
            })
        .when(
            [this] { return fakeEffects.messages.shown.size() == 1; },
            [] { click(openEditorList()->remove); })
        .when(
            [this] { return fakeEffects.messages.shown.size() == 2; },
            [this] {
                focusRow("Beta");
                click(openEditorList()->remove);
            })
        .when(
            [this] { return listRows().size() == 2; },
            [this] {
                EXPECT_EQ(
                    listRows(), (std::vector<std::string>{"Alpha|/usr/bin/Alpha|2", "Zeta|/usr/bin/Zeta|1"}));
                focusRow("Alpha");
                click(openEditorList()->edit);
            })
        .when(
            editorOpen,
            [] {
                const EditorWindowControls& e = *openEditorWindow();
                EXPECT_EQ(findWidget(e.window)->windowTitle(), "externen Bildeditor bearbeiten");
                EXPECT_EQ(text(e.name), "Alpha");
                type(e.name, "Aleph");
                click(e.ok);
            })
        .when([] { return !editorOpen(); }, [] { click(openEditorList()->back); });
    runEditorList(script);
    ASSERT_EQ(fakeEffects.messages.shown.size(), 2U);
    EXPECT_EQ(fakeEffects.messages.shown[0].text, "Kein Editor zum Bearbeiten markiert.");
    EXPECT_EQ(fakeEffects.messages.shown[1].text, "Kein Editor zum Löschen markiert.");
    EXPECT_EQ(ini("EXTERNALEDITORS", "AnzExtEditors"), "2");
    EXPECT_EQ(ini("EXTERNALEDITORS", "EditorName1"), "Zeta");
    EXPECT_EQ(ini("EXTERNALEDITORS", "EditorName2"), "Aleph");
    EXPECT_EQ(ini("EXTERNALEDITORS", "EditorName3"), "Beta");
}

TEST_F(OptionsDialogTest, AddingStoresOnlyOnOkAndOnceWithReturnHeld)
{
    storeEditors();
    const std::string file = iniBytes();
    DialogScript script;
    script.when(listOpen, [] { click(openEditorList()->add); })
        .when(
            editorOpen,
            [] {
                EXPECT_EQ(
                    findWidget(openEditorWindow()->window)->windowTitle(), "externen Bildeditor hinzufügen");
                const EditorWindowControls& e = *openEditorWindow();
                EXPECT_EQ(findWidget(e.window)->size(), QSize(425, 135));
                EXPECT_EQ(findWidget(e.name)->geometry(), QRect(60, 3, 360, 20));
                EXPECT_EQ(findWidget(e.path)->geometry(), QRect(60, 28, 325, 20));
                EXPECT_EQ(findWidget(e.pathChooser)->geometry(), QRect(390, 27, 30, 22));
                EXPECT_EQ(findWidget(e.ok)->geometry(), QRect(5, 100, 100, 30));
                EXPECT_EQ(findWidget(e.cancel)->geometry(), QRect(320, 100, 100, 30));
                type(openEditorWindow()->name, "Neu");
                click(openEditorWindow()->cancel);
            })
        .when(
            [] { return !editorOpen(); },
            [this, &file] {
                EXPECT_EQ(iniBytes(), file);
                findWidget(openEditorList()->add)->setFocus();
                click(openEditorList()->add);
            })
        .when(
            editorOpen,
            [] {
                // Empty texts are stored too; Return is pressed in the name field and held.
                QTest::keyPress(findWidget(openEditorWindow()->name), Qt::Key_Return);
            })
        .when([] { return true; }, [] { Delay(60); })
        .then([] {
            EXPECT_TRUE(editorOpen());
            QTest::keyRelease(findWidget(openEditorWindow()->name), Qt::Key_Return);
        })
        .when([] { return !editorOpen(); }, [] { Delay(60); })
        .then([] { click(openEditorList()->back); });
    runEditorList(script);
    const ExternalEditorTables& editors = settings().ExternalEditors;
    ASSERT_EQ(editors.AnzExtEditors, 4);
    EXPECT_EQ(editors.EditorName[4], "");
    EXPECT_EQ(ini("EXTERNALEDITORS", "AnzExtEditors"), "4");
}

TEST_F(OptionsDialogTest, MenuItemOptionsOpensTheWindow)
{
    bool opened = false;
    DialogScript script;
    script.when(optionsOpen, [&opened] {
        opened = true;
        click(options().cancel);
    });
    postMenuEvent(shellProgram().windows.MainWindow, static_cast<int>(MenuItem::Options));
    MainWindowPort port;
    runMainLoopTurn(state(), port);
    EXPECT_TRUE(opened);
    EXPECT_TRUE(script.finished());
}

} // namespace
} // namespace folvex
