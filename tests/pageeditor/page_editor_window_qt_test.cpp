#include "pageeditor/page_editor_window_qt.h"

#include "components/owner_drawn_button_table.h"
#include "foundation/wait_window.h"
#include "foundation/window_routines.h"
#include "pageeditor/editor_tools.h"
#include "pageeditor/external_editor.h"
#include "runtime/controls.h"
#include "runtime/dib.h"
#include "runtime/effects.h"
#include "runtime/input_state.h"
#include "runtime/object_registry.h"
#include "runtime/qt_effects.h"
#include "runtime/waiting_process_runner.h"
#include "runtime/window_events.h"
#include "shell/main_window.h"
// Its start of the shell makes the compiler warn falsely of an uninitialised temporary.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#include "shell_parts.h"
#pragma GCC diagnostic pop
#include "support/action_box_fakes.h"
#include "support/fakes.h"
#include "support/image_fixtures.h"
#include "support/scoped_environment.h"
#include "support/temp_dir.h"
#include "support/text_fit.h"
#include "twain/fake_scanner_library.h"
#include "when_true.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QTest>
#include <QTimer>
#include <QToolTip>
#include <QWidget>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <string>
#include <vector>

namespace folvex {
namespace {

using testing::realFunctions;

// A 24-bit page of one grey level saved as BMP.
void writePage(const std::string& path, int width, int height, BYTE grey)
{
    const FreeImageFunctionTable& f = realFunctions();
    FIBITMAP* page = f.Allocate(width, height, 24, 0, 0, 0);
    RGBQUAD colour{grey, grey, grey, 0};
    f.FillBackground(page, &colour, 0);
    f.SetDotsPerMeterX(page, 11811);
    f.SetDotsPerMeterY(page, 11811);
    ASSERT_TRUE(f.SaveU(FIF_BMP, page, path, 0));
    f.Unload(page);
}

QString tipShownBy(Handle tool)
{
    QToolTip::hideText();
    QWidget* widget = findWidget(tool);
    QHelpEvent help(QEvent::ToolTip, QPoint(2, 2), widget->mapToGlobal(QPoint(2, 2)));
    QApplication::sendEvent(widget, &help);
    return QToolTip::isVisible() ? QToolTip::text() : QString();
}

std::uint32_t pixelAt(Handle bitmap, int x, int y)
{
    const DibBitmap* dib = findImage(bitmap);
    const std::uint8_t* p = dib->rowTopDown(y) + 3 * x;
    return static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[1]) << 8 | p[0];
}

using testing::whenTrue;

// A key pressed or let go on a widget, as the keyboard delivers it (through the program's key table).
void sendKey(Handle widget, QEvent::Type type, Qt::Key key)
{
    QKeyEvent event(type, key, Qt::NoModifier);
    QApplication::sendEvent(findWidget(widget), &event);
}

class PageEditorWindowTest : public ::testing::Test
{
protected:
    PageEditorWindowTest()
    {
        scanner.devices.push_back({"Acme", "Feeder", "acme:0", true, true, true});
        testing::startShellParts(programDir.folder(), scanner);
        setDestination("PDF");
    }

    ~PageEditorWindowTest() override
    {
        setPageEditorReadyHook({});
        testing::stopShellParts();
        DrainWindowEvents();
    }

    ShellProgram& program() { return shellProgram(); }

    std::string tmp() { return program().state.settingsState.settings.TmpPath; }

    void setDestination(const std::string& type)
    {
        ASSERT_TRUE(ComboSelectText(program().windows.controls.destinationType, type));
    }

    // Pages 1 .. count; the pages named in white are white, the others dark; landscape 600 × 400.
    void writePages(int count, const std::vector<int>& white = {})
    {
        for (int p = 1; p <= count; ++p) {
            const bool isWhite = std::find(white.begin(), white.end(), p) != white.end();
            writePage(tmp() + "/TmpReadyImg" + std::to_string(p) + ".bmp", 600, 400, isWhite ? 255 : 60);
        }
    }

    std::vector<std::string> pageFiles()
    {
        std::vector<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(tmp())) {
            names.push_back(entry.path().filename().string());
        }
        std::sort(names.begin(), names.end());
        return names;
    }

    // Runs the editor; ready runs once the thumbnails stand and must queue the event that ends it.
    bool edit(std::int32_t detectBlank, const std::function<void(PageEditorWindow&)>& ready)
    {
        bool reached = false;
        setPageEditorReadyHook([&](PageEditorWindow& editor) {
            reached = true;
            ready(editor);
        });
        EXPECT_EQ(program().state.entryPoints.EditPages(detectBlank, emptyRemoved), 1);
        setPageEditorReadyHook({});
        return reached;
    }

    // Presses an owner-drawn button as the space key does: its clicked flag is set and its event posted.
    static void click(PageEditorWindow& editor, std::size_t control)
    {
        QKeyEvent press(QEvent::KeyPress, Qt::Key_Space, Qt::NoModifier);
        QCoreApplication::sendEvent(findWidget(editor.controls()[control]), &press);
    }

    testing::TempDir programDir;
    FakeScannerLibrary scanner;
    testing::ScopedFakeEffects fakes;
    std::uint8_t emptyRemoved = 7;
};

constexpr std::size_t Apply = 31;
constexpr std::size_t Cancel = 32;

TEST_F(PageEditorWindowTest, RefusesWithoutPagesOrWithTooLargeThumbnails)
{
    fakes.messages.queueAnswer(MessageAnswer::Ok);
    EXPECT_FALSE(edit(1, [](PageEditorWindow&) {}));
    ASSERT_EQ(fakes.messages.shown.size(), 1U);
    EXPECT_NE(
        fakes.messages.shown[0].text.find("Es sind keine gescannten Seiten vorhanden."), std::string::npos);
    EXPECT_EQ(emptyRemoved, 7);

    writePages(1);
    program().state.settingsState.settings.Rotate_ThumbSize = 700;
    fakes.messages.queueAnswer(MessageAnswer::Ok);
    EXPECT_FALSE(edit(1, [](PageEditorWindow&) {}));
    ASSERT_EQ(fakes.messages.shown.size(), 2U);
    EXPECT_NE(fakes.messages.shown[1].text.find("Thumbnail-Größe zu groß"), std::string::npos);
    EXPECT_EQ(emptyRemoved, 7);
    EXPECT_EQ(pageFiles(), std::vector<std::string>{"TmpReadyImg1.bmp"});
}

TEST_F(PageEditorWindowTest, WindowHoldsEveryControlWhereTheTablePutsIt)
{
    writePages(1);
    ASSERT_TRUE(edit(0, [&](PageEditorWindow& editor) {
        QWidget* window = findWidget(editor.window());
        ASSERT_NE(window, nullptr);
        EXPECT_EQ(window->windowTitle().toStdString(), "Seiten bearbeiten");
        const int cw = ClientWidth(editor.window());
        const int ch = ClientHeight(editor.window());
        EXPECT_EQ(cw, ScreenWidth() - 100);
        EXPECT_EQ(ch, ScreenHeight() - 200);
        EXPECT_EQ(HasSizingFrame(editor.window()), 0);
        EXPECT_EQ(window->parentWidget(), findWidget(program().windows.MainWindow));

        const std::vector<PlacedEditorControl>& table = editor.layout().controls;
        ASSERT_EQ(editor.controls().size(), 33U);
        for (std::size_t i = 0; i < table.size(); ++i) {
            const QWidget* control = findWidget(editor.controls()[i]);
            ASSERT_NE(control, nullptr) << table[i].layout.text;
            EXPECT_EQ(control->parentWidget(), window) << table[i].layout.text;
            const GridRect& r = table[i].rect;
            EXPECT_EQ(control->geometry(), QRect(r.left, r.top, r.width, r.height)) << table[i].layout.text;
        }
        EXPECT_EQ(table[11].rect, (GridRect{cw - 110, 10, 100, 20}));
        EXPECT_EQ(table[31].rect, (GridRect{cw / 2 - 250, ch - 40, 150, 30}));
        EXPECT_EQ(table[32].rect, (GridRect{cw / 2 + 100, ch - 40, 150, 30}));
        EXPECT_EQ(
            qobject_cast<QLabel*>(findWidget(editor.controls()[17]))->text().toStdString(), "Weißpunkt rot:");
        EXPECT_EQ(
            qobject_cast<QAbstractButton*>(findWidget(editor.controls()[23]))->text().toStdString(), "pick");

        EXPECT_EQ(tipShownBy(editor.controls()[23]).toStdString(), WhitePickTooltip);
        EXPECT_EQ(tipShownBy(editor.controls()[30]).toStdString(), BlackPickTooltip);
        EXPECT_EQ(tipShownBy(editor.controls()[31]).toStdString(), ApplyTooltip);
        EXPECT_EQ(tipShownBy(editor.controls()[32]).toStdString(), CancelTooltip);

        const QWidget* area = findWidget(editor.thumbnailArea());
        const int top = editor.layout().thumbnailAreaTop;
        EXPECT_EQ(area->geometry(), QRect(0, top, cw, ch - 50 - top));
        click(editor, Cancel);
    }));
}

TEST_F(PageEditorWindowTest, EveryTextFitsItsControl)
{
    writePages(2);
    std::vector<std::string> cut{"not shown"};
    ASSERT_TRUE(edit(0, [&](PageEditorWindow& editor) {
        cut = testing::cutTexts(*findWidget(editor.window()));
        click(editor, Cancel);
    }));
    EXPECT_EQ(cut, std::vector<std::string>{});
}

TEST_F(PageEditorWindowTest, ApplyTooltipNamesTheDeletionOnlyWithBothSwitchesOn)
{
    EXPECT_STREQ(applyTooltipText(1, 1), ApplyTooltipDeleting);
    EXPECT_STREQ(applyTooltipText(0, 1), ApplyTooltip);
    EXPECT_STREQ(applyTooltipText(1, 0), ApplyTooltip);
    EXPECT_STREQ(applyTooltipText(0, 0), ApplyTooltip);
}

TEST_F(PageEditorWindowTest, BuildsThirteenPagesInTheGridWithMarksCaptionsAndToggles)
{
    writePages(13, {2});
    program().state.settingsState.settings.DelEmptyOnEdit = 1;
    ASSERT_TRUE(edit(1, [&](PageEditorWindow& editor) {
        PageEditorModel& model = editor.model();
        const ThumbnailGrid grid = model.grid();
        ASSERT_EQ(grid.GridColumns, 2);
        std::vector<std::string> waits{ThumbnailWaitStartText};
        for (int p = 1; p <= 13; ++p) {
            waits.push_back(thumbnailWaitText(p, 13));
        }
        EXPECT_EQ(editor.waitTexts(), waits);
        const QWidget* area = findWidget(editor.thumbnailArea());
        const QWidget* panel = static_cast<const ControlScrollArea*>(area)->panel();
        EXPECT_EQ(panel->height(), 32 + 7 * 282);
        EXPECT_EQ(panel->width(), ClientWidth(editor.window()) - 19);

        for (int p = 1; p <= 13; ++p) {
            const GridRect cell = grid.cell(p);
            EXPECT_EQ(
                findWidget(editor.thumbnailButton(p))->geometry(), QRect(cell.left, cell.top + 42, 250, 166));
            const QLabel* caption = qobject_cast<QLabel*>(findWidget(editor.caption(p)));
            ASSERT_NE(caption, nullptr);
            EXPECT_EQ(
                caption->text().toStdString(),
                p == 13 ? "Seite 13 / Ref.-Bild" : "Seite " + std::to_string(p));
            EXPECT_EQ(caption->geometry(), QRect(cell.left, cell.top + 253, 250, 15));
            if (p < 13) {
                EXPECT_EQ(
                    findWidget(editor.splitToggle(p))->geometry(), QRect(cell.left + 259, cell.top, 12, 250));
            } else {
                EXPECT_EQ(editor.splitToggle(p), NoHandle);
            }
            EXPECT_EQ(model.dpiText(p), "300");
        }
        EXPECT_EQ(editor.blankTests(), 13);

        // The white page is marked blank: red bars, yellow rows on red, the grey lightened.
        EXPECT_TRUE(model.markedBlank(2));
        EXPECT_FALSE(model.markedBlank(1));
        const Handle blank = editor.thumbnailBitmap(2);
        EXPECT_EQ(pixelAt(blank, 125, 83 - 12 - 3), 0xFF0000U);
        EXPECT_EQ(pixelAt(blank, 125, 83 + 12 - 3), 0xFF0000U);
        EXPECT_EQ(pixelAt(blank, 5, 5), 0xFFFFFFU);

        // Marked both ways, the page shows the deletion rows; a dark page's grey is lightened.
        model.markForDeletion(3);
        model.markForDeletion(2);
        const std::vector<Handle> captions{editor.caption(1), editor.caption(13)};
        editor.BuildThumbnails(3, false);
        editor.BuildThumbnails(2, false);
        EXPECT_EQ(editor.waitTexts().size(), waits.size());
        EXPECT_EQ(editor.caption(1), captions[0]);
        EXPECT_EQ(editor.caption(13), captions[1]);
        EXPECT_EQ(editor.blankTests(), 13);
        EXPECT_TRUE(model.markedBlank(2)); // a rebuild keeps the mark the first build set
        const Handle marked = editor.thumbnailBitmap(3);
        EXPECT_EQ(pixelAt(marked, 125, 83 - 12 - 3), 0xFF0000U);
        EXPECT_EQ(pixelAt(marked, 5, 5), lightenedGrey(60) * 0x010101U);
        bool yellow = false;
        for (int x = 0; x < 250; ++x) {
            yellow = yellow || pixelAt(marked, x, 83 - 25 - 5) == 0xFFFF00U;
        }
        EXPECT_TRUE(yellow);
        click(editor, Apply);
    }));
    // Both marked pages are gone, the rest renumbered; DelEmptyOnEdit is on.
    EXPECT_EQ(emptyRemoved, 1);
    EXPECT_EQ(pageFiles().size(), 11U);
}

TEST_F(PageEditorWindowTest, TogglesAndCaptionsOnlyForSplittingTypes)
{
    setDestination("JPG");
    writePages(3);
    ASSERT_TRUE(edit(0, [&](PageEditorWindow& editor) {
        for (int p = 1; p <= 3; ++p) {
            EXPECT_EQ(editor.splitToggle(p), NoHandle);
            EXPECT_EQ(editor.caption(p), NoHandle);
        }
        click(editor, Cancel);
    }));

    setDestination("mehrseitiges TIF");
    std::filesystem::remove(tmp() + "/TmpReadyImg2.bmp");
    std::filesystem::remove(tmp() + "/TmpReadyImg3.bmp");
    ASSERT_TRUE(edit(0, [&](PageEditorWindow& editor) {
        EXPECT_EQ(qobject_cast<QLabel*>(findWidget(editor.caption(1)))->text().toStdString(), "Seite 1");
        EXPECT_EQ(editor.splitToggle(1), NoHandle);
        click(editor, Cancel);
    }));
}

TEST_F(PageEditorWindowTest, ReleasedToggleStaysReleasedAndApplyClearsItsFlag)
{
    writePages(3);
    program().state.PageSplitFlags[1] = 1;
    ASSERT_TRUE(edit(0, [&](PageEditorWindow& editor) {
        ASSERT_EQ(GetCheckState(editor.splitToggle(1)), 1);
        EXPECT_EQ(
            qobject_cast<QLabel*>(findWidget(editor.caption(2)))->text().toStdString(), "Datei 2, Seite 1");
        qobject_cast<QAbstractButton*>(findWidget(editor.splitToggle(1)))->click();
        editor.BuildThumbnails(1, false);
        EXPECT_EQ(GetCheckState(editor.splitToggle(1)), 0);
        click(editor, Apply);
    }));
    EXPECT_EQ(program().state.PageSplitFlags[1], 0);
}

TEST_F(PageEditorWindowTest, QuarterTurnsAndRelayoutUseTheShownThumbnails)
{
    writePages(5);
    ASSERT_TRUE(edit(0, [&](PageEditorWindow& editor) {
        const FreeImageFunctionTable& f = realFunctions();
        FIBITMAP* first = editor.thumbnailImage(1);
        const std::string before(
            reinterpret_cast<const char*>(f.GetBits(first)), f.GetPitch(first) * f.GetHeight(first));
        editor.RenderOneThumbnail(1, true);
        EXPECT_EQ(findWidget(editor.thumbnailButton(1))->geometry(), QRect(30 + 42, 32, 166, 250));
        EXPECT_EQ(editor.model().turns(1), 1);
        for (int i = 0; i < 3; ++i) {
            editor.RenderOneThumbnail(1, true);
        }
        EXPECT_EQ(editor.model().turns(1), 0);
        FIBITMAP* after = editor.thumbnailImage(1);
        EXPECT_EQ(
            std::string(
                reinterpret_cast<const char*>(f.GetBits(after)), f.GetPitch(after) * f.GetHeight(after)),
            before);

        editor.model().markForDeletion(3);
        editor.model().markForDeletion(4);
        editor.model().clearBlankMark(4);
        const std::vector<Handle> captions{editor.caption(2), editor.caption(3), editor.caption(4)};
        const std::size_t waits = editor.waitTexts().size();
        program().state.DragInProgress = 1;
        editor.relayout(2, 4);
        EXPECT_EQ(
            std::vector<std::string>(
                editor.waitTexts().begin() + static_cast<std::ptrdiff_t>(waits), editor.waitTexts().end()),
            (std::vector<std::string>{
                ThumbnailWaitStartText,
                "erstelle Thumbnail 1/3",
                "erstelle Thumbnail 2/3",
                "erstelle Thumbnail 3/3"}));
        EXPECT_EQ(
            qobject_cast<QAbstractButton*>(findWidget(editor.thumbnailButton(3)))->text().toStdString(),
            "X X X\nZU LÖSCHEN\nX X X");
        EXPECT_EQ((std::vector<Handle>{editor.caption(2), editor.caption(3), editor.caption(4)}), captions);
        EXPECT_EQ(program().state.DragInProgress, 0);

        // A new size from the options: too large changes nothing, a fitting one rebuilds the grid.
        program().state.settingsState.settings.Rotate_ThumbSize = 700;
        EXPECT_FALSE(editor.applyThumbnailSize());
        EXPECT_EQ(editor.model().grid().GridColumns, 2);
        program().state.settingsState.settings.Rotate_ThumbSize = 100;
        EXPECT_TRUE(editor.applyThumbnailSize());
        EXPECT_EQ(editor.model().grid().GridColumns, (ClientWidth(editor.window()) - 19 - 30) / 130);
        EXPECT_EQ(findWidget(editor.thumbnailButton(2))->geometry(), QRect(160, 32 + 17, 100, 66));
        EXPECT_EQ(editor.waitTexts().back(), "erstelle Thumbnail 5/5");
        click(editor, Cancel);
    }));
    EXPECT_EQ(pageFiles().size(), 5U);
}

TEST_F(PageEditorWindowTest, CancelEscAndCloseRequestEndWithoutChangesAndReleaseEverything)
{
    writePages(2);
    const std::vector<std::function<void(PageEditorWindow&)>> endings{
        [](PageEditorWindow& editor) { click(editor, Cancel); },
        [](PageEditorWindow& editor) { postKeyEvent(editor.window(), VkEscape); },
        [](PageEditorWindow& editor) { postCloseEvent(editor.window()); },
        // Esc pressed and held in the editor window: its key event wakes the loop, the held key cancels.
        [](PageEditorWindow& editor) {
            findWidget(editor.window())->activateWindow();
            whenTrue(
                [&editor] { return QApplication::activeWindow() == findWidget(editor.window()); },
                [&editor] {
                    sendKey(editor.window(), QEvent::KeyPress, Qt::Key_Escape);
                    // Let go again: the cancel waits for the release of Esc.
                    whenTrue(
                        [] { return true; },
                        [] {
                            sendKey(shellProgram().windows.MainWindow, QEvent::KeyRelease, Qt::Key_Escape);
                        });
                });
        },
    };
    // The close request finds the turn pending and asks; "Verwerfen" discards it.
    testing::ScriptedActionBoxAnswerer questions;
    questions.queueAnswer(1);
    for (const auto& ending : endings) {
        Handle window = NoHandle;
        std::vector<Handle> made;
        ASSERT_TRUE(edit(0, [&](PageEditorWindow& editor) {
            window = editor.window();
            made = {
                editor.thumbnailButton(1), editor.splitToggle(1), editor.caption(2), editor.controls()[0]};
            editor.model().turnRight(1);
            ending(editor);
        }));
        QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        EXPECT_EQ(findWidget(window), nullptr);
        for (const Handle handle : made) {
            EXPECT_EQ(findWidget(handle), nullptr);
        }
        EXPECT_EQ(emptyRemoved, 7);
        EXPECT_EQ(pageFiles(), (std::vector<std::string>{"TmpReadyImg1.bmp", "TmpReadyImg2.bmp"}));
    }
    ASSERT_EQ(questions.shown.size(), 1U);
    EXPECT_EQ(questions.shown[0].Text, DiscardQuestionText);
    EXPECT_EQ(questions.shown[0].Buttons, DiscardQuestionButtons);
    EXPECT_EQ(questions.shown[0].DefaultButton, 2);
}

// A copy of the image library's table that counts the images its creating entries give and the
// images Unload frees.
std::atomic<int> imagesAlive{0};
FreeImageFunctionTable countedOriginal;

#define FOLVEX_COUNTED(name, params, args)                                                                   \
    FIBITMAP* DLL_CALLCONV counted##name params                                                              \
    {                                                                                                        \
        FIBITMAP* image = countedOriginal.name args;                                                         \
        if (image != nullptr) {                                                                              \
            ++imagesAlive;                                                                                   \
        }                                                                                                    \
        return image;                                                                                        \
    }

FOLVEX_COUNTED(Load, (FREE_IMAGE_FORMAT f, const char* p, int fl), (f, p, fl))
FOLVEX_COUNTED(Allocate, (int w, int h, int b, unsigned r, unsigned g, unsigned bl), (w, h, b, r, g, bl))
FOLVEX_COUNTED(Clone, (FIBITMAP * i), (i))
FOLVEX_COUNTED(Rescale, (FIBITMAP * i, int w, int h, FREE_IMAGE_FILTER f), (i, w, h, f))
FOLVEX_COUNTED(ConvertTo24Bits, (FIBITMAP * i), (i))
FOLVEX_COUNTED(ConvertTo32Bits, (FIBITMAP * i), (i))
FOLVEX_COUNTED(ConvertTo8Bits, (FIBITMAP * i), (i))
FOLVEX_COUNTED(ConvertToGreyscale, (FIBITMAP * i), (i))
FOLVEX_COUNTED(Rotate, (FIBITMAP * i, double a, const void* c), (i, a, c))
FOLVEX_COUNTED(Copy, (FIBITMAP * i, int l, int t, int r, int b), (i, l, t, r, b))
#undef FOLVEX_COUNTED

void DLL_CALLCONV countedUnload(FIBITMAP* image)
{
    if (image != nullptr) {
        --imagesAlive;
    }
    countedOriginal.Unload(image);
}

FreeImageFunctionTable countingTable(const FreeImageFunctionTable& real)
{
    countedOriginal = real;
    FreeImageFunctionTable table = real;
    table.Load = countedLoad;
    table.Allocate = countedAllocate;
    table.Clone = countedClone;
    table.Rescale = countedRescale;
    table.ConvertTo24Bits = countedConvertTo24Bits;
    table.ConvertTo32Bits = countedConvertTo32Bits;
    table.ConvertTo8Bits = countedConvertTo8Bits;
    table.ConvertToGreyscale = countedConvertToGreyscale;
    table.Rotate = countedRotate;
    table.Copy = countedCopy;
    table.Unload = countedUnload;
    return table;
}

// The editor bound to the shell's window parts, on another image-library table and pool.
PageEditorContext editorContext(const FreeImageFunctionTable& functions, WorkerPool& pool)
{
    ShellWindows& w = shellProgram().windows;
    return PageEditorContext{
        shellProgram().state,
        functions,
        w.ButtonFont,
        w.DialogFont,
        w.ButtonFaceProps,
        w.ShellArcSets,
        ClickSubclassProc,
        w.MarkedPageMenu,
        [] { return 0; },
        [] { return std::string("PDF"); },
        pool};
}

TEST_F(PageEditorWindowTest, EveryImageTheEditorMadeIsFreedAndEveryOwnerDrawnSlotReleased)
{
    writePages(3, {2});
    // A small page is pasted on a tile, so that the library's reduction and pasting are used too.
    writePage(tmp() + "/TmpReadyImg4.bmp", 120, 90, 60);
    const FreeImageFunctionTable functions = countingTable(program().freeImage.FreeImageFunctions);
    WorkerPool pool(2);
    for (const std::size_t ending : {Cancel, Apply}) {
        imagesAlive = 0;
        PageEditorContext context = editorContext(functions, pool);
        std::vector<Handle> buttons;
        setPageEditorReadyHook([&](PageEditorWindow& editor) {
            editor.model().markForDeletion(3);
            editor.BuildThumbnails(3, false);
            editor.RenderOneThumbnail(1, true);
            editor.model().setAngle(4, 5.0);
            editor.BuildThumbnails(4, false);
            for (const std::size_t i : {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 11, 12, 13, 14, 15, 16, 31, 32}) {
                buttons.push_back(editor.controls()[i]);
                EXPECT_NE(ODBIndex(static_cast<std::intptr_t>(buttons.back())), 0);
            }
            click(editor, ending);
        });
        std::uint8_t removed = 0;
        EditPages(context, 1, removed);
        EXPECT_EQ(imagesAlive.load(), 0) << (ending == Apply ? "Anwenden" : "Abbruch");
        QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        for (const Handle button : buttons) {
            EXPECT_EQ(ODBIndex(static_cast<std::intptr_t>(button)), 0);
            EXPECT_EQ(findWidget(button), nullptr);
        }
    }
}

// The build keeps the window painting while a worker waits for a page.
std::mutex latchMutex;
std::condition_variable latchChanged;
bool latchOpen = false;
bool latchTimedOut = false;
std::atomic<bool> latchReached{false};
std::function<void()> latchArmed;
std::atomic<FIBITMAP* (*)(FREE_IMAGE_FORMAT, const char*, int)> realLoad{nullptr};

FIBITMAP* DLL_CALLCONV latchedLoad(FREE_IMAGE_FORMAT format, const char* path, int flags)
{
    if (std::string(path).find("TmpReadyImg1.bmp") != std::string::npos) {
        latchReached = true;
        QMetaObject::invokeMethod(qApp, latchArmed, Qt::QueuedConnection);
        std::unique_lock lock(latchMutex);
        latchTimedOut = !latchChanged.wait_for(lock, std::chrono::seconds(10), [] { return latchOpen; });
    }
    return realLoad.load()(format, path, flags);
}

TEST_F(PageEditorWindowTest, BuildKeepsPaintingWhileAPageLoads)
{
    writePages(3);
    // A page smaller than the thumbnail is loaded whole through the library's table.
    writePage(tmp() + "/TmpReadyImg1.bmp", 200, 150, 60);
    FreeImageFunctionTable functions = program().freeImage.FreeImageFunctions;
    realLoad = functions.Load;
    latchTimedOut = false;
    functions.Load = latchedLoad;
    latchOpen = false;
    bool firedWhileClosed = false;
    // Armed by the waiting load itself, the timer can only fire while the GUI thread keeps
    // processing its events during the wait.
    latchArmed = [&] {
        QTimer::singleShot(0, [&] {
            {
                std::lock_guard lock(latchMutex);
                firedWhileClosed = !latchOpen;
                latchOpen = true;
            }
            latchChanged.notify_all();
        });
    };
    WorkerPool pool(2);
    PageEditorContext context = editorContext(functions, pool);
    bool complete = false;
    setPageEditorReadyHook([&](PageEditorWindow& editor) {
        complete = editor.thumbnailButton(1) != NoHandle && editor.thumbnailButton(2) != NoHandle &&
                   editor.thumbnailButton(3) != NoHandle;
        click(editor, Cancel);
    });
    EditPages(context, 0, emptyRemoved);
    EXPECT_TRUE(firedWhileClosed);
    latchArmed = nullptr;
    EXPECT_TRUE(latchReached);
    EXPECT_FALSE(latchTimedOut);
    EXPECT_TRUE(complete);
}

} // namespace
} // namespace folvex

namespace folvex {
namespace {

// A click with the mouse on a page's thumbnail: pressed and let go again.
void clickThumbnail(PageEditorWindow& editor, std::int32_t page, bool right)
{
    QTest::mouseClick(
        findWidget(editor.thumbnailButton(page)), right ? Qt::RightButton : Qt::LeftButton, {}, QPoint(5, 5));
}

// A menu written line by line: "id text" per item, "-" per separator, "> text" per submenu followed by
// its lines indented by two blanks; a disabled or checkable item is flagged.
void describeMenu(const QMenu& menu, const std::string& indent, std::vector<std::string>& lines)
{
    for (const QAction* action : menu.actions()) {
        if (action->isSeparator()) {
            lines.push_back(indent + "-");
        } else if (const QMenu* submenu = action->menu<QMenu*>()) {
            lines.push_back(indent + "> " + action->text().toStdString());
            describeMenu(*submenu, indent + "  ", lines);
        } else {
            lines.push_back(
                indent + std::to_string(action->data().toInt()) + " " + action->text().toStdString() +
                (action->isEnabled() && !action->isCheckable() ? "" : " (!)"));
        }
    }
}

void describeEntries(
    const std::vector<PopupEntry>& entries, const std::string& indent, std::vector<std::string>& lines)
{
    for (const PopupEntry& entry : entries) {
        if (entry.separator) {
            lines.push_back(indent + "-");
        } else if (!entry.submenu.empty()) {
            lines.push_back(indent + "> " + entry.text);
            describeEntries(entry.submenu, indent + "  ", lines);
        } else {
            lines.push_back(indent + std::to_string(entry.id) + " " + entry.text);
        }
    }
}

std::vector<std::string> describeEntries(const std::vector<PopupEntry>& entries)
{
    std::vector<std::string> lines;
    describeEntries(entries, "", lines);
    return lines;
}

// Answers popup menus from a queue (0 = dismissed) and writes down each menu as it was shown.
class MenuReader final : public PopupMenuRequester
{
public:
    int choosePopupItem(Handle menu, Handle /*window*/) override
    {
        handles.push_back(menu);
        std::vector<std::string> lines;
        if (const auto* popup = qobject_cast<const QMenu*>(findObject(menu))) {
            describeMenu(*popup, "", lines);
        }
        shown.push_back(lines);
        if (answers.empty()) {
            ADD_FAILURE() << "unexpected popup menu";
            return 0;
        }
        const int answer = answers.front();
        answers.pop_front();
        return answer;
    }

    std::deque<int> answers;
    std::vector<Handle> handles;
    std::vector<std::vector<std::string>> shown;
};

// The colour of a pixel of a page file, counted from the top left.
std::uint32_t filePixel(const std::string& path, int x, int y)
{
    const FreeImageFunctionTable& f = realFunctions();
    FIBITMAP* image = f.LoadU(FIF_BMP, path, 0);
    if (image == nullptr) {
        ADD_FAILURE() << "cannot load " << path;
        return 0;
    }
    RGBQUAD colour{};
    f.GetPixelColor(image, x, f.GetHeight(image) - 1 - y, &colour);
    f.Unload(image);
    return static_cast<std::uint32_t>(colour.rgbRed) << 16 |
           static_cast<std::uint32_t>(colour.rgbGreen) << 8 | colour.rgbBlue;
}

std::pair<unsigned, unsigned> fileSize(const std::string& path)
{
    const FreeImageFunctionTable& f = realFunctions();
    FIBITMAP* image = f.LoadU(FIF_BMP, path, 0);
    if (image == nullptr) {
        return {0, 0};
    }
    const std::pair<unsigned, unsigned> size{f.GetWidth(image), f.GetHeight(image)};
    f.Unload(image);
    return size;
}

TEST_F(PageEditorWindowTest, ClicksMenusAndTheFreeAngleReachThePages)
{
    writePages(3);
    ExternalEditorTables& editors = program().state.settingsState.settings.ExternalEditors;
    editors.AnzExtEditors = 1;
    editors.EditorName = {"", "Gimp"};
    MenuReader menus;
    menus.answers = {1015, 1020};
    effects().popupMenus = &menus;
    fakes.textInput.queueAnswer("1,5");
    ASSERT_TRUE(edit(0, [](PageEditorWindow& editor) {
        PageEditorModel& model = editor.model();
        clickThumbnail(editor, 1, false);
        whenTrue(
            [&model] { return model.turns(1) == 1; },
            [&editor, &model] {
                clickThumbnail(editor, 1, true);
                whenTrue(
                    [&model] { return model.angle(1) == -1.5; },
                    [&editor, &model] {
                        // The turned thumbnail (166 x 250) is turned on white: white corners, the page
                        // grey in its middle.
                        EXPECT_EQ(pixelAt(editor.thumbnailBitmap(1), 0, 0), 0xFFFFFFU);
                        EXPECT_EQ(pixelAt(editor.thumbnailBitmap(1), 165, 249), 0xFFFFFFU);
                        EXPECT_EQ(pixelAt(editor.thumbnailBitmap(1), 83, 125), 0x3C3C3CU);
                        // Closing the main window or Esc in it leaves the editor running.
                        postCloseEvent(shellProgram().windows.MainWindow);
                        postKeyEvent(shellProgram().windows.MainWindow, VkEscape);
                        clickThumbnail(editor, 2, true);
                        whenTrue(
                            [&model] { return model.markedForDeletion(2); },
                            [&editor] { click(editor, Apply); });
                    });
            });
    }));
    ASSERT_EQ(menus.shown.size(), 2U);
    // Page 1 was turned before its menu: it offers the restore; page 2 is unedited.
    EXPECT_EQ(menus.shown[0], describeEntries(pageContextMenu(editors, true)));
    EXPECT_EQ(menus.shown[1], describeEntries(pageContextMenu(editors, false)));
    EXPECT_NE(std::find(menus.shown[0].begin(), menus.shown[0].end(), "  10001 Gimp"), menus.shown[0].end());
    ASSERT_EQ(fakes.textInput.asked.size(), 1U);
    EXPECT_EQ(fakes.textInput.asked[0].title, "freier Drehwinkel");
    EXPECT_EQ(fakes.textInput.asked[0].initial, "0");
    // Page 2 was marked "löschen" and is gone after "Anwenden".
    EXPECT_EQ(pageFiles().size(), 2U);
}

TEST_F(PageEditorWindowTest, AllPageInversionIsAppliedToEveryUnmarkedPage)
{
    writePages(2);
    ASSERT_TRUE(edit(0, [](PageEditorWindow& editor) {
        click(editor, 15); // "alle invertieren"
        whenTrue([] { return true; }, [&editor] { click(editor, Apply); });
    }));
    const FreeImageFunctionTable& f = realFunctions();
    for (const std::string& name : pageFiles()) {
        FIBITMAP* image = f.LoadU(FIF_BMP, tmp() + "/" + name, 0);
        ASSERT_NE(image, nullptr) << name;
        RGBQUAD colour{};
        f.GetPixelColor(image, 10, 10, &colour);
        EXPECT_EQ(colour.rgbRed, 255 - 60) << name;
        f.Unload(image);
    }
}

// Runs an action on the GUI thread when the page operations next load the page file of that name.
std::function<void()> onPageLoad;
std::string onPageLoadName;

FIBITMAP* DLL_CALLCONV hookedLoad(FREE_IMAGE_FORMAT format, const char* path, int flags)
{
    if (onPageLoad && std::string(path).ends_with("/" + onPageLoadName)) {
        const std::function<void()> action = std::move(onPageLoad);
        onPageLoad = nullptr;
        action();
    }
    return realLoad.load()(format, path, flags);
}

TEST_F(PageEditorWindowTest, EventsMadeDuringAnAllPageCommand)
{
    writePages(3);
    FreeImageFunctionTable functions = program().freeImage.FreeImageFunctions;
    realLoad = functions.Load;
    functions.Load = hookedLoad;
    onPageLoadName = "TmpReadyImg2.bmp";
    WorkerPool pool(2);
    PageEditorContext context = editorContext(functions, pool);

    // Runs the editor; ready arms what happens while page 2 is worked on, then the all-page button is
    // clicked. The events of the clicks made meanwhile are dropped with the rest, so the clicks must
    // be acted on without another event: true when the watchdog had to wake the loop.
    const auto needsWaking = [&](std::size_t button, const std::function<void(PageEditorWindow&)>& ready) {
        Handle window = NoHandle;
        setPageEditorReadyHook([&](PageEditorWindow& editor) {
            window = editor.window();
            ready(editor);
            click(editor, button);
        });
        bool woken = false;
        QTimer watchdog;
        watchdog.setSingleShot(true);
        QObject::connect(&watchdog, &QTimer::timeout, [&] {
            woken = true;
            PostCustomEvent(window);
        });
        watchdog.start(10000);
        EditPages(context, 0, emptyRemoved);
        EXPECT_FALSE(onPageLoad);
        return woken;
    };

    // A menu command and the close requests made meanwhile are lost, "Anwenden" is acted on: every
    // page is inverted and none deleted.
    constexpr std::size_t AllInvert = 15;
    EXPECT_FALSE(needsWaking(AllInvert, [](PageEditorWindow& editor) {
        onPageLoad = [&editor] {
            shellProgram().state.InputFlags.ClickedHandle = editor.thumbnailButton(1);
            postMenuEvent(editor.window(), 1020);
            postCloseEvent(editor.window());
            postCloseEvent(shellProgram().windows.MainWindow);
            click(editor, Apply);
        };
    }));
    ASSERT_EQ(pageFiles().size(), 3U);
    for (int p = 1; p <= 3; ++p) {
        EXPECT_EQ(filePixel(tmp() + "/TmpReadyImg" + std::to_string(p) + ".bmp", 5, 5), 0xC3C3C3U) << p;
    }

    // "Abbruch" clicked meanwhile cancels right after the command.
    EXPECT_FALSE(needsWaking(
        AllInvert, [](PageEditorWindow& editor) { onPageLoad = [&editor] { click(editor, Cancel); }; }));
    EXPECT_EQ(
        pageFiles(), (std::vector<std::string>{"TmpReadyImg1.bmp", "TmpReadyImg2.bmp", "TmpReadyImg3.bmp"}));
    EXPECT_EQ(filePixel(tmp() + "/TmpReadyImg2.bmp", 5, 5), 0xC3C3C3U);

    // A right click on a thumbnail while page 2 is straightened opens its menu right after the
    // command, although the straightening of page 3 took the click's only event. The page files are
    // unreadable by then, so the straighteners find no angle and no thumbnail is rebuilt.
    fakes.answerPopupMenus();
    fakes.popupMenus.queueAnswer(0);
    constexpr std::size_t AllStraighten1 = 3;
    EXPECT_FALSE(needsWaking(AllStraighten1, [this](PageEditorWindow& editor) {
        for (int p = 1; p <= 3; ++p) {
            testing::writeFile(tmp() + "/TmpReadyImg" + std::to_string(p) + ".bmp", "unreadable");
        }
        onPageLoad = [this, &editor] {
            clickThumbnail(editor, 1, true);
            whenTrue(
                [this] { return fakes.popupMenus.shown.size() == 1; }, [&editor] { click(editor, Cancel); });
        };
    }));
}

TEST_F(PageEditorWindowTest, EscAndCloseInTheMainWindowLeaveTheEditorOpen)
{
    writePages(2);
    ASSERT_TRUE(edit(0, [](PageEditorWindow& editor) {
        const Handle main = shellProgram().windows.MainWindow;
        findWidget(main)->activateWindow();
        whenTrue(
            [main] { return QApplication::activeWindow() == findWidget(main); },
            [&editor, main] {
                // Esc held down in the main window in front, and its close request.
                sendKey(main, QEvent::KeyPress, Qt::Key_Escape);
                postCloseEvent(main);
                clickThumbnail(editor, 1, false);
                whenTrue(
                    [&editor] { return editor.model().turns(1) == 1; },
                    [&editor, main] {
                        sendKey(main, QEvent::KeyRelease, Qt::Key_Escape);
                        click(editor, Apply);
                    });
            });
    }));
    // The turn made after them was applied.
    EXPECT_EQ(fileSize(tmp() + "/TmpReadyImg1.bmp"), (std::pair<unsigned, unsigned>{400, 600}));
    EXPECT_EQ(fileSize(tmp() + "/TmpReadyImg2.bmp"), (std::pair<unsigned, unsigned>{600, 400}));
}

// The window manager's close box: with nothing pending it cancels at once; with a pending turn the
// question's default ("Weiter bearbeiten"), Esc or its close box keep editing, and the turn is applied.
TEST_F(PageEditorWindowTest, CloseRequestWithPendingEditsKeepsEditingUnlessConfirmed)
{
    writePages(2);
    testing::ScriptedActionBoxAnswerer questions;
    ASSERT_TRUE(edit(0, [](PageEditorWindow& editor) { postCloseEvent(editor.window()); }));
    EXPECT_TRUE(questions.shown.empty());

    for (const std::intptr_t keep : {std::intptr_t{2}, std::intptr_t{0}}) {
        questions.queueAnswer(keep);
        ASSERT_TRUE(edit(0, [](PageEditorWindow& editor) {
            editor.model().turnRight(1);
            postCloseEvent(editor.window());
            click(editor, Apply);
        }));
        EXPECT_TRUE(questions.answers.empty());
        EXPECT_EQ(fileSize(tmp() + "/TmpReadyImg1.bmp"), (std::pair<unsigned, unsigned>{400, 600})) << keep;
        writePages(2);
    }
}

// An Esc that closes a real popup menu or the free-angle requester is still held when the editor is in
// front again and an event wakes its loop: it does not cancel. Let go, "Anwenden" applies the turn.
TEST_F(PageEditorWindowTest, EscThatClosedAPopupOrTheRequesterDoesNotCancel)
{
    QtTextInputRequester requester;
    effects().textInput = &requester;

    struct Case
    {
        const char* name;
        bool right; // right click: the context menu; else menu item 1015 asks for the angle
        std::function<QWidget*()> consumer;
    };

    const Case cases[] = {
        {"popup menu", true, [] { return QApplication::activePopupWidget(); }},
        {"free-angle requester", false, [] { return QApplication::activeModalWidget(); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        writePages(2);
        bool closed = false;
        ASSERT_TRUE(edit(0, [&c, &closed](PageEditorWindow& editor) {
            const Handle window = editor.window();
            const Handle apply = editor.controls()[Apply];
            editor.model().turnRight(2);
            findWidget(window)->activateWindow();
            if (c.right) {
                clickThumbnail(editor, 1, true);
            } else {
                shellProgram().state.InputFlags.ClickedHandle = editor.thumbnailButton(1);
                postMenuEvent(window, 1015);
            }
            const auto consumer = c.consumer;
            whenTrue(
                [consumer] { return consumer() != nullptr; },
                [consumer, window, apply, &closed] {
                    // Pressed in the menu or box, which closes; held while the editor's loop wakes.
                    QTest::keyPress(consumer(), Qt::Key_Escape);
                    whenTrue(
                        [consumer, window] {
                            // The editor in front again, as it is once the menu or box has gone.
                            QWidget* editorWindow = findWidget(window);
                            if (consumer() != nullptr || editorWindow == nullptr) {
                                return false;
                            }
                            editorWindow->activateWindow();
                            return QApplication::activeWindow() == editorWindow;
                        },
                        [window, apply, &closed] {
                            EXPECT_TRUE(KeyIsDown(VkEscape));
                            closed = true;
                            PostCustomEvent(window);
                            whenTrue(
                                [] { return queuedWindowEvents() == 0; },
                                [window, apply] {
                                    QWidget* applyButton = findWidget(apply);
                                    if (QWidget* editorWindow = findWidget(window); applyButton != nullptr) {
                                        QKeyEvent release(QEvent::KeyRelease, Qt::Key_Escape, Qt::NoModifier);
                                        QApplication::sendEvent(editorWindow, &release);
                                        QKeyEvent space(QEvent::KeyPress, Qt::Key_Space, Qt::NoModifier);
                                        QApplication::sendEvent(applyButton, &space);
                                    }
                                });
                        });
                });
        }));
        EXPECT_TRUE(closed);
        // Ended by "Anwenden": page 2 is turned.
        EXPECT_EQ(fileSize(tmp() + "/TmpReadyImg2.bmp"), (std::pair<unsigned, unsigned>{400, 600}));
        EXPECT_FALSE(KeyIsDown(VkEscape));
    }
}

// A page whose left half has one grey level and its right half another.
void writeHalves(const std::string& path, BYTE left, BYTE right)
{
    const FreeImageFunctionTable& f = realFunctions();
    FIBITMAP* page = f.Allocate(600, 400, 24, 0, 0, 0);
    for (unsigned y = 0; y < 400; ++y) {
        BYTE* row = f.GetScanLine(page, static_cast<int>(y));
        for (unsigned x = 0; x < 600; ++x) {
            std::memset(row + 3 * x, x < 300 ? left : right, 3);
        }
    }
    f.SetDotsPerMeterX(page, 11811);
    f.SetDotsPerMeterY(page, 11811);
    ASSERT_TRUE(f.SaveU(FIF_BMP, page, path, 0));
    f.Unload(page);
}

TEST_F(PageEditorWindowTest, DeGrayingATurnedPageAndTheWhiteBalanceOfAllPages)
{
    writeHalves(tmp() + "/TmpReadyImg1.bmp", 30, 240);
    writePage(tmp() + "/TmpReadyImg2.bmp", 600, 400, 60);
    fakes.answerPopupMenus();
    fakes.popupMenus.queueAnswer(1040); // "entgrauen"
    const std::string copy = tmp() + "/TmpReadyImg1_edited.bmp";
    ASSERT_TRUE(edit(0, [&copy](PageEditorWindow& editor) {
        clickThumbnail(editor, 1, false);
        whenTrue(
            [&editor] { return editor.model().turns(1) == 1; },
            [&editor, &copy] {
                clickThumbnail(editor, 1, true);
                whenTrue(
                    [&copy] { return std::filesystem::exists(copy); },
                    [&editor, &copy] {
                        // The working copy is written unturned; the thumbnail still shows the turn,
                        // the dark half on top.
                        EXPECT_EQ(fileSize(copy), (std::pair<unsigned, unsigned>{600, 400}));
                        EXPECT_EQ(filePixel(copy, 10, 200), 0x000000U);
                        EXPECT_EQ(filePixel(copy, 590, 200), 0xFFFFFFU);
                        const DibBitmap* thumbnail = findImage(editor.thumbnailBitmap(1));
                        EXPECT_EQ(thumbnail->width, 166);
                        EXPECT_EQ(thumbnail->height, 250);
                        EXPECT_EQ(pixelAt(editor.thumbnailBitmap(1), 83, 20), 0x000000U);
                        EXPECT_EQ(pixelAt(editor.thumbnailBitmap(1), 83, 230), 0xFFFFFFU);
                        click(editor, 14); // "alle Weißabgl."
                        whenTrue(
                            [] {
                                return std::filesystem::exists(
                                    shellProgram().state.settingsState.settings.TmpPath +
                                    "/TmpReadyImg2_edited.bmp");
                            },
                            [&editor] { click(editor, Apply); });
                    });
            });
    }));
    // Page 1 turned once by "Anwenden"; grey 60 balanced against the standard grey card's 118.
    EXPECT_EQ(fileSize(tmp() + "/TmpReadyImg1.bmp"), (std::pair<unsigned, unsigned>{400, 600}));
    EXPECT_EQ(filePixel(tmp() + "/TmpReadyImg1.bmp", 200, 10), 0x000000U);
    EXPECT_EQ(filePixel(tmp() + "/TmpReadyImg1.bmp", 200, 590), 0xFFFFFFU);
    EXPECT_EQ(filePixel(tmp() + "/TmpReadyImg2.bmp", 5, 5), 0x828282U);
}

TEST_F(PageEditorWindowTest, RestoringAllPagesRebuildsOnlyTheEditedOnes)
{
    writePages(3);
    const std::string copy = tmp() + "/TmpReadyImg3_edited.bmp";
    ASSERT_TRUE(edit(0, [&copy](PageEditorWindow& editor) {
        writePage(copy, 600, 400, 255);
        clickThumbnail(editor, 2, false);
        whenTrue(
            [&editor] { return editor.model().turns(2) == 1; },
            [&editor, &copy] {
                const std::size_t waits = editor.waitTexts().size();
                const std::vector<Handle> before{
                    editor.thumbnailButton(1), editor.thumbnailButton(2), editor.thumbnailButton(3)};
                click(editor, 12); // "alle Originalb."
                whenTrue(
                    [&editor, before] { return editor.thumbnailButton(3) != before[2]; },
                    [&editor, &copy, waits, before] {
                        EXPECT_EQ(
                            std::vector<std::string>(
                                editor.waitTexts().begin() + static_cast<std::ptrdiff_t>(waits),
                                editor.waitTexts().end()),
                            (std::vector<std::string>{
                                "stelle Originalbilder wieder her (3/3)...",
                                "stelle Originalbilder wieder her (1/3)...",
                                "stelle Originalbilder wieder her (2/3)...",
                                "stelle Originalbilder wieder her (3/3)..."}));
                        EXPECT_EQ(editor.thumbnailButton(1), before[0]);
                        EXPECT_NE(editor.thumbnailButton(2), before[1]);
                        EXPECT_EQ(editor.model().turns(2), 0);
                        EXPECT_FALSE(std::filesystem::exists(copy));
                        // Page 3 shows its dark page file again.
                        EXPECT_EQ(pixelAt(editor.thumbnailBitmap(3), 125, 83), 0x3C3C3CU);
                        click(editor, Apply);
                    });
            });
    }));
    EXPECT_EQ(fileSize(tmp() + "/TmpReadyImg2.bmp"), (std::pair<unsigned, unsigned>{600, 400}));
    EXPECT_EQ(filePixel(tmp() + "/TmpReadyImg3.bmp", 5, 5), 0x3C3C3CU);
}

TEST_F(PageEditorWindowTest, MarkedPageMenuDismissedMenusAndCommandsWhoseThumbnailWasReplaced)
{
    writePages(3);
    MenuReader menus;
    menus.answers = {1020, 0, 0};
    effects().popupMenus = &menus;
    ASSERT_TRUE(edit(0, [&menus](PageEditorWindow& editor) {
        clickThumbnail(editor, 2, true); // "löschen"
        // Once the command is over: it clears the click record at its end.
        whenTrue(
            [&editor] {
                return editor.model().markedForDeletion(2) &&
                       shellProgram().state.InputFlags.ClickedHandle == NoHandle;
            },
            [&editor, &menus] {
                // The marked page shows the shell's menu; dismissing it changes nothing.
                const Handle button2 = editor.thumbnailButton(2);
                clickThumbnail(editor, 2, true);
                whenTrue(
                    [&menus] { return menus.shown.size() == 2; },
                    [&editor, &menus, button2] {
                        clickThumbnail(editor, 3, true);
                        whenTrue(
                            [&menus] { return menus.shown.size() == 3; },
                            [&editor, button2] {
                                EXPECT_EQ(editor.thumbnailButton(2), button2);
                                EXPECT_EQ(
                                    shellProgram().state.InputFlags.ClickedHandle, editor.thumbnailButton(3));
                                // Page 3's thumbnail is made anew before a command for it arrives: the
                                // command finds no page, does nothing and clears the record.
                                editor.BuildThumbnails(3, false);
                                postMenuEvent(editor.window(), 1020);
                                whenTrue(
                                    [] { return shellProgram().state.InputFlags.ClickedHandle == NoHandle; },
                                    [&editor] { click(editor, Apply); });
                            });
                    });
            });
    }));
    ASSERT_EQ(menus.handles.size(), 3U);
    EXPECT_EQ(menus.handles[1], program().windows.MarkedPageMenu);
    EXPECT_EQ(
        menus.shown[1],
        (std::vector<std::string>{"1025 nicht löschen", "1027 nicht leer", "-", "1030 groß anzeigen"}));
    EXPECT_EQ(
        menus.shown[2],
        describeEntries(pageContextMenu(program().state.settingsState.settings.ExternalEditors, false)));
    EXPECT_EQ(pageFiles(), (std::vector<std::string>{"TmpReadyImg1.bmp", "TmpReadyImg2.bmp"}));
}

TEST_F(PageEditorWindowTest, PointFieldsSelectTheirWholeTextOnFocusOnceTheLoopRuns)
{
    writePages(1);
    ASSERT_TRUE(edit(0, [](PageEditorWindow& editor) {
        findWidget(editor.window())->activateWindow();
        whenTrue(
            [&editor] { return QApplication::activeWindow() == findWidget(editor.window()); },
            [&editor] {
                for (const std::size_t index : {18, 20, 22, 25, 27, 29}) {
                    auto* field = qobject_cast<QLineEdit*>(findWidget(editor.controls()[index]));
                    ASSERT_NE(field, nullptr) << index;
                    field->deselect();
                    field->setFocus(Qt::MouseFocusReason);
                    EXPECT_EQ(field->selectedText(), index < 23 ? "170" : "70") << index;
                }
                click(editor, Cancel);
            });
    }));
}

} // namespace
} // namespace folvex

namespace folvex {
namespace {

std::string fieldText(PageEditorWindow& editor, std::size_t control)
{
    return qobject_cast<QLineEdit*>(findWidget(editor.controls()[control]))->text().toStdString();
}

void pressPick(PageEditorWindow& editor, std::size_t control)
{
    qobject_cast<QAbstractButton*>(findWidget(editor.controls()[control]))->click();
}

constexpr std::size_t WhitePickButton = 23;
constexpr std::size_t BlackPickButton = 30;
constexpr std::array<std::size_t, 3> WhiteFields{18, 20, 22};
constexpr std::array<std::size_t, 3> BlackFields{25, 27, 29};

TEST_F(PageEditorWindowTest, PickedColoursFillTheFieldsOfThePointWhosePickWasPressed)
{
    writePages(1);
    fakes.answerColourPicker();
    fakes.colourPicks.queueAnswer(0x000000FF);
    fakes.colourPicks.queueAnswer(0x00102030);
    fakes.colourPicks.queueAnswer(-1);
    ASSERT_TRUE(edit(0, [this](PageEditorWindow& editor) {
        pressPick(editor, WhitePickButton);
        whenTrue(
            [this] { return fakes.colourPicks.hints.size() == 1; },
            [this, &editor] {
                pressPick(editor, BlackPickButton);
                whenTrue(
                    [this] { return fakes.colourPicks.hints.size() == 2; },
                    [this, &editor] {
                        pressPick(editor, WhitePickButton);
                        whenTrue(
                            [this] { return fakes.colourPicks.hints.size() == 3; },
                            [&editor] {
                                PageEditorState& state = editor.model().state();
                                const std::array<std::string, 3> white{"255", "0", "0"};
                                const std::array<std::string, 3> black{"48", "32", "16"};
                                EXPECT_EQ(state.WhitePointFields, white);
                                EXPECT_EQ(state.BlackPointFields, black);
                                for (std::size_t i = 0; i < 3; ++i) {
                                    EXPECT_EQ(fieldText(editor, WhiteFields[i]), white[i]);
                                    EXPECT_EQ(fieldText(editor, BlackFields[i]), black[i]);
                                }
                                // What the user types is what the image operations read.
                                qobject_cast<QLineEdit*>(findWidget(editor.controls()[BlackFields[2]]))
                                    ->setText(QStringLiteral("99"));
                                EXPECT_EQ(editor.model().blackPointText(PointChannel::Blue), "99");
                                click(editor, Cancel);
                            });
                    });
            });
    }));
    EXPECT_EQ(fakes.colourPicks.hints, std::vector<std::string>(3, ColourPickHint));
}

TEST_F(PageEditorWindowTest, OptionsRefuseATooLargeThumbnailAndRebuildEveryPageForAFittingOne)
{
    writePages(3);
    const std::vector<std::int32_t> sizes{700, 250, 100};
    std::size_t dialogs = 0;
    program().state.entryPoints.OptionsDialog = [&] {
        program().state.settingsState.settings.Rotate_ThumbSize = sizes[dialogs++];
    };
    fakes.messages.queueAnswer(MessageAnswer::Ok);
    std::vector<std::vector<std::string>> waitsPerDialog;
    // The loop runs after the ready hook returns: what the steps share lives here.
    PageEditorWindow* shown = nullptr;
    std::int32_t columns = 0;
    std::size_t waits = 0;
    const auto takeNewWaits = [&] {
        const std::vector<std::string>& all = shown->waitTexts();
        waitsPerDialog.emplace_back(all.begin() + static_cast<std::ptrdiff_t>(waits), all.end());
        waits = all.size();
    };
    // Presses "Optionen" and runs then once the command has shown its note or its last wait text.
    const auto options = [&](std::size_t notes, std::size_t newWaits, std::function<void()> then) {
        click(*shown, 11);
        const std::size_t target = dialogs + 1;
        whenTrue(
            [&, target, notes, newWaits] {
                return dialogs == target && fakes.messages.shown.size() == notes &&
                       shown->waitTexts().size() == waits + newWaits && WaitWindow() == NoHandle;
            },
            std::move(then));
    };
    ASSERT_TRUE(edit(0, [&](PageEditorWindow& editor) {
        shown = &editor;
        columns = editor.model().grid().GridColumns;
        waits = editor.waitTexts().size();
        options(1, 0, [&] {
            // Too large: the note, the grid as it was, nothing rebuilt.
            takeNewWaits();
            EXPECT_EQ(shown->model().grid().GridColumns, columns);
            EXPECT_EQ(shown->model().state().ThumbnailSize, 250);
            options(1, 4, [&] {
                // Unchanged: every thumbnail built again.
                takeNewWaits();
                EXPECT_EQ(shown->model().grid().GridColumns, columns);
                options(1, 4, [&] {
                    takeNewWaits();
                    EXPECT_EQ(
                        shown->model().grid().GridColumns, GridColumns(ClientWidth(shown->window()), 100));
                    EXPECT_EQ(findWidget(shown->thumbnailButton(1))->width(), 100);
                    click(*shown, Cancel);
                });
            });
        });
    }));
    ASSERT_EQ(fakes.messages.shown.size(), 1U);
    EXPECT_NE(fakes.messages.shown[0].text.find("Thumbnail-Größe zu groß"), std::string::npos);
    const std::vector<std::string> rebuild{
        ThumbnailWaitStartText, "erstelle Thumbnail 1/3", "erstelle Thumbnail 2/3", "erstelle Thumbnail 3/3"};
    EXPECT_EQ(waitsPerDialog, (std::vector<std::vector<std::string>>{{}, rebuild, rebuild}));
}

std::vector<std::string> readLines(const std::string& path)
{
    std::ifstream in(path);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) {
        lines.push_back(line);
    }
    return lines;
}

int redAt(const std::string& path)
{
    const FreeImageFunctionTable& f = realFunctions();
    FIBITMAP* image = f.LoadU(FIF_BMP, path, 0);
    if (image == nullptr) {
        return -1;
    }
    RGBQUAD colour{};
    f.GetPixelColor(image, 10, 10, &colour);
    f.Unload(image);
    return colour.rgbRed;
}

// Counts the paint events of a widget.
class PaintCounter final : public QObject
{
public:
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::Paint) {
            ++paints;
        }
        return false;
    }

    int paints = 0;
};

// "Sofort" ends at once and asks for the end to be confirmed; "Fehlt" is not there.
ExternalEditorTables configuredEditors(const std::string& endsAtOnce)
{
    ExternalEditorTables editors;
    editors.AnzExtEditors = 2;
    editors.EditorName = {"", "Sofort", "Fehlt"};
    editors.EditorPath = {"", endsAtOnce, "folvex-kein-editor"};
    editors.EditorWait = {0, 1, 0};
    return editors;
}

// Outside editors as PATH holds them: the inverting stub as "pinta" behind a folder named
// "kolourpaint", a script that ends at once, and a configured program that is not there.
class ExternalEditorWindowTest : public PageEditorWindowTest
{
protected:
    ExternalEditorWindowTest()
    {
        namespace fs = std::filesystem;
        fs::create_directories(bin.path() / "first" / "kolourpaint");
        fs::create_directories(bin.path() / "second");
        fs::copy_file(FOLVEX_PAINT_STUB, bin.path() / "second" / "pinta");
        const std::string script = bin.file("second/sofort");
        testing::writeFile(script, "#!/bin/sh\nexit 0\n");
        fs::permissions(script, fs::perms::owner_all);
        // A page folder whose path needs quoting in a shell.
        const std::string pages = programDir.file("Seiten mit \"Zitat\" und Leerzeichen");
        fs::create_directories(pages);
        program().state.settingsState.settings.TmpPath = pages;
        program().state.settingsState.settings.ExternalEditors = configuredEditors(script);
        m_previousRunner = effects().processes;
        effects().processes = &runner;
        fakes.answerPopupMenus();
    }

    ~ExternalEditorWindowTest() override { effects().processes = m_previousRunner; }

    std::string page(int p) { return tmp() + "/TmpReadyImg" + std::to_string(p) + ".bmp"; }

    std::string edited(int p) { return tmp() + "/TmpReadyImg" + std::to_string(p) + "_edited.bmp"; }

    std::string second(int p) { return tmp() + "/TmpReadyImg" + std::to_string(p) + "_edited_2.bmp"; }

    // Opens page p in the editor of menu entry k through its context menu, then runs then.
    void openIn(PageEditorWindow& editor, int p, int k, std::function<void()> then)
    {
        fakes.popupMenus.queueAnswer(ExternalEditorMenuBase + k);
        clickThumbnail(editor, p, true);
        whenTrue([] { return shellProgram().state.InputFlags.ClickedHandle == NoHandle; }, std::move(then));
    }

    testing::TempDir bin;
    testing::ScopedEnvironment path{"PATH", bin.file("first") + ":" + bin.file("second")};
    testing::TempDir records;
    testing::ScopedEnvironment record{"FOLVEX_STUB_RECORD", records.file("argv")};
    WaitingProcessRunner runner;

private:
    ProcessRunner* m_previousRunner = nullptr;
};

TEST_F(ExternalEditorWindowTest, EditedCopiesBecomeTheWorkingCopyAndFailuresLeaveThePage)
{
    writePages(2);
    fakes.messages.queueAnswer(MessageAnswer::Ok);
    fakes.messages.queueAnswer(MessageAnswer::Ok);
    std::vector<std::string> runs;
    ASSERT_TRUE(edit(0, [&](PageEditorWindow& editor) {
        // The paint program on a page without working copy: the copy is made and edited in place.
        openIn(editor, 1, 0, [&] {
            EXPECT_EQ(redAt(edited(1)), 255 - 60);
            EXPECT_EQ(redAt(page(1)), 60);
            EXPECT_FALSE(std::filesystem::exists(second(1)));
            EXPECT_EQ(editor.waitTexts().back(), edited(1) + " wird in MS-Paint geöffnet...");
            runs = readLines(records.file("argv"));
            // Again: the second copy is edited and replaces the first.
            openIn(editor, 1, 0, [&] {
                EXPECT_EQ(redAt(edited(1)), 60);
                EXPECT_FALSE(std::filesystem::exists(second(1)));
                EXPECT_NE(
                    std::find(
                        editor.waitTexts().begin(),
                        editor.waitTexts().end(),
                        second(1) + " wird in MS-Paint geöffnet..."),
                    editor.waitTexts().end());
                // A configured editor that ends at once: the user confirms its end.
                openIn(editor, 2, 1, [&] {
                    EXPECT_EQ(testing::readFile(edited(2)), testing::readFile(page(2)));
                    EXPECT_EQ(editor.waitTexts().back(), edited(2) + " wird in Sofort geöffnet...");
                    // A configured editor that is not there: reported, no file left behind.
                    const std::vector<std::string> before = pageFiles();
                    openIn(editor, 1, 2, [&, before] {
                        EXPECT_EQ(pageFiles(), before);
                        click(editor, Apply);
                    });
                });
            });
        });
    }));
    // The stub got the working copy as its one argument, in the page folder.
    EXPECT_EQ(runs, (std::vector<std::string>{"1", edited(1), tmp()}));
    ASSERT_EQ(fakes.messages.shown.size(), 2U);
    EXPECT_NE(fakes.messages.shown[0].text.find(ExternalEditorEndNote), std::string::npos);
    EXPECT_NE(fakes.messages.shown[1].text.find(externalEditorStartNote("Fehlt")), std::string::npos);
    // "Anwenden" takes the working copies over the pages.
    EXPECT_EQ(pageFiles(), (std::vector<std::string>{"TmpReadyImg1.bmp", "TmpReadyImg2.bmp"}));
    EXPECT_EQ(redAt(page(1)), 60);
}

TEST_F(ExternalEditorWindowTest, EditorWindowRepaintsWhileTheOutsideEditorRuns)
{
    writePages(1);
    testing::ScopedEnvironment marker{"FOLVEX_STUB_MARKER", records.file("painted")};
    PaintCounter counter;
    QTimer probe;
    int paintsWhenRunning = -1;
    QObject::connect(&probe, &QTimer::timeout, [&] {
        // The stub has recorded its start and now waits for the marker.
        if (!std::filesystem::exists(records.file("argv")) ||
            std::filesystem::exists(records.file("painted"))) {
            return;
        }
        if (paintsWhenRunning < 0) {
            paintsWhenRunning = counter.paints;
        }
        if (counter.paints > paintsWhenRunning) {
            testing::writeFile(records.file("painted"), "");
        }
    });
    QWidget* window = nullptr;
    ASSERT_TRUE(edit(0, [&](PageEditorWindow& editor) {
        window = findWidget(editor.window());
        window->installEventFilter(&counter);
        QObject::connect(&probe, &QTimer::timeout, window, [window] { window->update(); });
        probe.start(10);
        openIn(editor, 1, 0, [&probe, &counter, &window, &editor] {
            probe.stop();
            window->removeEventFilter(&counter);
            click(editor, Cancel);
        });
    }));
    const std::vector<std::string> lines = readLines(records.file("argv"));
    ASSERT_EQ(lines.size(), 4U);
    EXPECT_EQ(lines[3], "marker seen");
}

} // namespace
} // namespace folvex
