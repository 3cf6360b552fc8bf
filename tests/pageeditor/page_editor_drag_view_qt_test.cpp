// The real page editor offscreen, driven by synthetic input: reordering pages by dragging a thumbnail
// and the large view of a page.

#include "foundation/window_routines.h"
#include "pageeditor/large_view.h"
#include "pageeditor/page_editor_window_qt.h"
#include "runtime/controls.h"
#include "runtime/effects.h"
#include "runtime/input_state.h"
#include "runtime/object_registry.h"
#include "runtime/window_events.h"
#include "shell/main_window.h"
#include "shell_parts.h"
#include "support/fakes.h"
#include "support/image_fixtures.h"
#include "support/temp_dir.h"
#include "twain/fake_scanner_library.h"
#include "when_true.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QPointer>
#include <QTest>
#include <QTimer>
#include <QWidget>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace folvex {
namespace {

using testing::realFunctions;
using testing::whenTrue;

// The visible top-level window with the title, if any.
QWidget* topLevelTitled(const char* title)
{
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (widget->isVisible() && widget->windowTitle() == QString::fromUtf8(title)) {
            return widget;
        }
    }
    return nullptr;
}

bool cursorIs(Handle window, Qt::CursorShape shape)
{
    const QWidget* widget = findWidget(window);
    return widget != nullptr && QApplication::overrideCursor() == nullptr &&
           widget->cursor().shape() == shape;
}

bool overrideIs(Qt::CursorShape shape)
{
    return QApplication::overrideCursor() != nullptr && QApplication::overrideCursor()->shape() == shape;
}

class PageEditorDragViewTest : public ::testing::Test
{
protected:
    PageEditorDragViewTest()
    {
        scanner.devices.push_back({"Acme", "Feeder", "acme:0", true, true, true});
        testing::startShellParts(programDir.folder(), scanner);
        EXPECT_TRUE(ComboSelectText(program().windows.controls.destinationType, "PDF"));
        program().state.settingsState.settings.Rotate_ThumbSize = 100;
    }

    ~PageEditorDragViewTest() override
    {
        setPageEditorReadyHook({});
        testing::stopShellParts();
        clearKeyStates();
        DrainWindowEvents();
    }

    ShellProgram& program() { return shellProgram(); }

    std::string tmp() { return program().state.settingsState.settings.TmpPath; }

    std::string pagePath(int p) { return tmp() + "/TmpReadyImg" + std::to_string(p) + ".bmp"; }

    // A 24-bit page saved as BMP: its left half of grey level left, its right half of grey level right.
    void writePage(int p, int width, int height, BYTE left, BYTE right)
    {
        const FreeImageFunctionTable& f = realFunctions();
        FreeImageBitmap page = ownFreeImage(f, f.Allocate(width, height, 24, 0, 0, 0));
        for (int y = 0; y < height; ++y) {
            BYTE* row = f.GetScanLine(page.get(), y);
            for (int x = 0; x < width; ++x) {
                std::fill_n(row + 3 * x, 3, x < width / 2 ? left : right);
            }
        }
        ASSERT_TRUE(f.SaveU(FIF_BMP, page.get(), pagePath(p), 0));
    }

    // Pages 1 .. count, page p of grey level 20 · p throughout.
    void writePages(int count)
    {
        for (int p = 1; p <= count; ++p) {
            writePage(p, 300, 200, static_cast<BYTE>(20 * p), static_cast<BYTE>(20 * p));
        }
    }

    // The grey level of the page files in the order of their names' numbers.
    std::vector<int> greysInFileOrder()
    {
        std::vector<std::pair<int, int>> numbered;
        const FreeImageFunctionTable& f = realFunctions();
        for (const auto& entry : std::filesystem::directory_iterator(tmp())) {
            const std::string name = entry.path().filename().string();
            FIBITMAP* image = f.LoadU(FIF_BMP, entry.path().string(), 0);
            if (image == nullptr || name.rfind("TmpReadyImg", 0) != 0) {
                f.Unload(image);
                continue;
            }
            RGBQUAD colour{};
            f.GetPixelColor(image, 1, 1, &colour);
            numbered.emplace_back(std::stoi(name.substr(11)), colour.rgbRed);
            f.Unload(image);
        }
        std::sort(numbered.begin(), numbered.end());
        std::vector<int> greys;
        for (const auto& [number, grey] : numbered) {
            greys.push_back(grey);
        }
        return greys;
    }

    // Runs the editor; ready runs once the thumbnails stand and must lead to the event that ends it.
    bool edit(const std::function<void(PageEditorWindow&)>& ready)
    {
        bool reached = false;
        setPageEditorReadyHook([&](PageEditorWindow& editor) {
            reached = true;
            ready(editor);
        });
        std::uint8_t emptyRemoved = 0;
        EXPECT_EQ(program().state.entryPoints.EditPages(0, emptyRemoved), 1);
        setPageEditorReadyHook({});
        return reached;
    }

    // Presses an owner-drawn button as the space key does.
    static void click(PageEditorWindow& editor, std::size_t control)
    {
        QKeyEvent press(QEvent::KeyPress, Qt::Key_Space, Qt::NoModifier);
        QCoreApplication::sendEvent(findWidget(editor.controls()[control]), &press);
    }

    static QWidget* area(PageEditorWindow& editor) { return findWidget(editor.thumbnailArea()); }

    // The middle of position p's cell in the area's coordinates.
    static QPoint cellMiddle(PageEditorWindow& editor, std::int32_t p)
    {
        const GridRect cell = editor.model().grid().cell(p);
        return {cell.left + cell.width / 2, cell.top + cell.height / 2};
    }

    // Presses the left button on position p's thumbnail; then, as the loop judges the press, moves
    // the pointer by (dx, dy) and, once the drag has started, releases it at the area point `at`.
    static void
    dragPage(PageEditorWindow& editor, std::int32_t p, QPoint by, QPoint at, std::function<void()> then)
    {
        QWidget* thumbnail = findWidget(editor.thumbnailButton(p));
        const QPoint press(thumbnail->width() / 2, thumbnail->height() / 2);
        QTest::mousePress(thumbnail, Qt::LeftButton, {}, press);
        const Handle window = editor.window();
        whenTrue(
            [window] { return cursorIs(window, Qt::PointingHandCursor); },
            [&editor, thumbnail, press, by, at, then] {
                setPointerPosition(thumbnail->mapToGlobal(press + by));
                whenTrue(
                    [] { return overrideIs(Qt::SizeAllCursor); },
                    [&editor, at, then] {
                        QTest::mouseRelease(area(editor), Qt::LeftButton, {}, at);
                        whenTrue([] { return shellProgram().state.DragInProgress == 0; }, then);
                    });
            });
    }

    testing::TempDir programDir;
    FakeScannerLibrary scanner;
    testing::ScopedFakeEffects fakes;
};

constexpr std::size_t Apply = 31;
constexpr std::size_t Cancel = 32;

TEST_F(PageEditorDragViewTest, DraggingPageTwoOntoFourMovesItWithItsThumbnailAndApplyKeepsTheOrder)
{
    writePages(5);
    ASSERT_TRUE(edit([&](PageEditorWindow& editor) {
        PageEditorModel& model = editor.model();
        EXPECT_EQ(model.grid().GridColumns, 5);
        model.markForDeletion(3);
        editor.BuildThumbnails(3, false);
        model.setAngle(2, 0.0);
        const FIBITMAP* second = editor.thumbnailImage(2);
        const Handle secondBitmap = editor.thumbnailBitmap(2);
        const std::vector<Handle> captions{editor.caption(2), editor.caption(3), editor.caption(4)};
        const Handle untouched = editor.thumbnailButton(5);
        const std::size_t waits = editor.waitTexts().size();
        dragPage(
            editor, 2, {0, 40}, cellMiddle(editor, 4), [&, second, secondBitmap, captions, untouched, waits] {
                EXPECT_EQ(model.pagePath(4), pagePath(2));
                EXPECT_EQ(model.pagePath(2), pagePath(3));
                EXPECT_EQ(model.pagePath(3), pagePath(4));
                EXPECT_TRUE(model.markedForDeletion(2));
                EXPECT_EQ(editor.thumbnailImage(4), second);
                EXPECT_EQ(editor.thumbnailBitmap(4), secondBitmap);
                // The moved marked page shows its text button; captions and the thumbnails outside 2 .. 4
                // stay.
                EXPECT_EQ(
                    qobject_cast<QAbstractButton*>(findWidget(editor.thumbnailButton(2)))
                        ->text()
                        .toStdString(),
                    "X X X\nZU LÖSCHEN\nX X X");
                EXPECT_EQ(
                    (std::vector<Handle>{editor.caption(2), editor.caption(3), editor.caption(4)}), captions);
                EXPECT_EQ(editor.thumbnailButton(5), untouched);
                EXPECT_EQ(
                    std::vector<std::string>(
                        editor.waitTexts().begin() + static_cast<std::ptrdiff_t>(waits),
                        editor.waitTexts().end()),
                    (std::vector<std::string>{
                        ThumbnailWaitStartText,
                        "erstelle Thumbnail 1/3",
                        "erstelle Thumbnail 2/3",
                        "erstelle Thumbnail 3/3"}));
                EXPECT_EQ(fakes.sound.beeps.size(), 1U);
                for (const testing::CountingSoundSink::Beep& beep : fakes.sound.beeps) {
                    EXPECT_EQ(beep.frequencyHz, 1000);
                    EXPECT_EQ(beep.durationMs, 100);
                }
                EXPECT_TRUE(cursorIs(editor.window(), Qt::ArrowCursor));
                // The release that ended the drag turns no page, also once the loop has waited again.
                PostCustomEvent(editor.window());
                whenTrue(
                    [] { return queuedWindowEvents() == 0; },
                    [&] {
                        for (std::int32_t p = 1; p <= 5; ++p) {
                            EXPECT_EQ(model.turns(p), 0) << p;
                        }
                        EXPECT_EQ(shellProgram().state.InputFlags.ClickMessage, 0);
                        click(editor, Apply);
                    });
            });
    }));
    // Page 3 was marked for deletion; the others are written in their new order.
    EXPECT_EQ(greysInFileOrder(), (std::vector<int>{20, 80, 40, 100}));
}

TEST_F(PageEditorDragViewTest, ReleaseBelowTheVisiblePartMovesOntoTheScrolledOutCell)
{
    writePages(20);
    ASSERT_TRUE(edit([&](PageEditorWindow& editor) {
        PageEditorModel& model = editor.model();
        // Just below the area, inside the window, over a cell of the grid's part that is scrolled out.
        const QPoint target(cellMiddle(editor, 1).x(), area(editor)->height() + 10);
        const std::int32_t hidden = model.grid().ThumbnailAtPoint(target.x(), target.y(), GridHitTestMode, 0);
        EXPECT_GT(hidden, 1);
        dragPage(editor, 1, {40, 0}, target, [&, hidden] {
            EXPECT_EQ(model.pagePath(hidden), pagePath(1));
            EXPECT_EQ(model.pagePath(1), pagePath(2));
            EXPECT_EQ(model.pagePath(20), pagePath(20));
            click(editor, Cancel);
        });
    }));
}

TEST_F(PageEditorDragViewTest, ANearReleaseIsAClickAndAPressOnNoThumbnailDoesNothing)
{
    writePages(3);
    ASSERT_TRUE(edit([&](PageEditorWindow& editor) {
        PageEditorModel& model = editor.model();
        QWidget* thumbnail = findWidget(editor.thumbnailButton(1));
        const QPoint press(10, 10);
        QTest::mousePress(thumbnail, Qt::LeftButton, {}, press);
        const Handle window = editor.window();
        whenTrue(
            [window] { return cursorIs(window, Qt::PointingHandCursor); },
            [&, thumbnail, press, window] {
                setPointerPosition(thumbnail->mapToGlobal(press + QPoint(29, 29)));
                whenTrue(
                    [] { return true; },
                    [&, thumbnail, press, window] {
                        QTest::mouseRelease(thumbnail, Qt::LeftButton, {}, press + QPoint(29, 29));
                        whenTrue(
                            [&model] { return model.turns(1) == 1; },
                            [&, window] {
                                EXPECT_TRUE(fakes.sound.beeps.empty());
                                EXPECT_TRUE(cursorIs(window, Qt::ArrowCursor));
                                // A press in the gap of the grid: nothing until its release, and nothing
                                // after it.
                                QWidget* panel = static_cast<ControlScrollArea*>(area(editor))->panel();
                                QTest::mousePress(panel, Qt::LeftButton, {}, QPoint(10, 10));
                                whenTrue(
                                    [] { return queuedWindowEvents() == 0; },
                                    [&, panel] {
                                        setPointerPosition(panel->mapToGlobal(cellMiddle(editor, 3)));
                                        whenTrue(
                                            [] { return true; },
                                            [&, panel] {
                                                QTest::mouseRelease(
                                                    panel, Qt::LeftButton, {}, cellMiddle(editor, 3));
                                                whenTrue(
                                                    [] {
                                                        return queuedWindowEvents() == 0 &&
                                                               !KeyIsDown(VkLeftButton);
                                                    },
                                                    [&] {
                                                        EXPECT_EQ(model.turns(1), 1);
                                                        EXPECT_EQ(model.turns(3), 0);
                                                        EXPECT_EQ(model.pagePath(1), pagePath(1));
                                                        EXPECT_TRUE(fakes.sound.beeps.empty());
                                                        click(editor, Cancel);
                                                    });
                                            });
                                    });
                            });
                    });
            });
    }));
}

// Opens the large view of page p through its context menu.
void openLargeView(PageEditorWindow& editor, testing::ScopedFakeEffects& fakes, std::int32_t p)
{
    fakes.popupMenus.queueAnswer(1030);
    shellProgram().state.InputFlags = {editor.thumbnailButton(p), RightButtonUpMessage};
    postButtonUpEvent(editor.window(), editor.thumbnailButton(p), true, 5, 5);
}

TEST_F(PageEditorDragViewTest, LargeViewShowsTheTurnedPageAndClosesByClickCloseBoxAndEsc)
{
    // Page 2 is dark on its left half; turned once clockwise the dark half is on top.
    writePages(3);
    writePage(2, 2400, 1600, 30, 255);
    fakes.answerPopupMenus();
    ASSERT_TRUE(edit([&](PageEditorWindow& editor) {
        PageEditorModel& model = editor.model();
        model.turnRight(2);
        const Handle window = editor.window();
        const auto viewOpen = [] { return topLevelTitled(LargeViewTitle) != nullptr; };
        const auto closedAndBack = [&model, window] {
            return topLevelTitled(LargeViewTitle) == nullptr && queuedWindowEvents() == 0 &&
                   shellProgram().state.InputFlags.ClickedHandle == NoHandle;
        };
        openLargeView(editor, fakes, 2);
        whenTrue(viewOpen, [&, closedAndBack, viewOpen, window] {
            QWidget* view = topLevelTitled(LargeViewTitle);
            // The turned page, 1600 × 2400, scaled down to fit the screen less the margin.
            const LargeViewSize fit = largeViewSize(1600, 2400, ScreenWidth(), ScreenHeight());
            const QSize size(fit.width, fit.height);
            EXPECT_LT(fit.height, 2400);
            EXPECT_EQ(view->size(), size);
            EXPECT_EQ(view->parentWidget(), findWidget(shellProgram().windows.MainWindow));
            auto* label = view->findChild<QLabel*>();
            const QImage shown = label != nullptr ? label->pixmap().toImage() : QImage();
            EXPECT_EQ(shown.size(), size);
            if (shown.size() == size) {
                EXPECT_EQ(qRed(shown.pixel(size.width() / 2, 10)), 30);
                EXPECT_EQ(qRed(shown.pixel(size.width() / 2, size.height() - 10)), 255);
            }
            QTest::mouseClick(label != nullptr ? label : view, Qt::LeftButton, {}, QPoint(100, 100));
            whenTrue(closedAndBack, [&, closedAndBack, viewOpen, window] {
                EXPECT_TRUE(QTest::qWaitFor(
                    [window] { return QApplication::activeWindow() == findWidget(window); }, 2000));
                openLargeView(editor, fakes, 1);
                whenTrue(viewOpen, [&, closedAndBack, viewOpen] {
                    topLevelTitled(LargeViewTitle)->close();
                    whenTrue(closedAndBack, [&, closedAndBack, viewOpen] {
                        openLargeView(editor, fakes, 3);
                        whenTrue(viewOpen, [&, closedAndBack] {
                            const QPointer<QWidget> third = topLevelTitled(LargeViewTitle);
                            QTest::keyPress(third, Qt::Key_Escape);
                            // The view has taken the Esc and waits for its release.
                            whenTrue(
                                [] { return queuedWindowEvents() == 0; },
                                [&, closedAndBack, third] {
                                    EXPECT_TRUE(!third.isNull() && third->isVisible());
                                    QWidget* holder =
                                        third.isNull() ? findWidget(editor.window()) : third.data();
                                    QTest::keyRelease(holder, Qt::Key_Escape);
                                    whenTrue(closedAndBack, [&] { click(editor, Apply); });
                                });
                        });
                    });
                });
            });
        });
    }));
    // The editor ended with "Anwenden", not with an "Abbruch" by the Esc; the turn was applied.
    EXPECT_TRUE(fakes.messages.shown.empty());
    FIBITMAP* turned = realFunctions().LoadU(FIF_BMP, pagePath(2), 0);
    ASSERT_NE(turned, nullptr);
    EXPECT_EQ(realFunctions().GetWidth(turned), 1600U);
    realFunctions().Unload(turned);
}

TEST_F(PageEditorDragViewTest, LargeViewOfAnUnreadablePageGivesTheNoteAndNoWindow)
{
    writePages(3);
    fakes.answerPopupMenus();
    fakes.messages.queueAnswer(MessageAnswer::Ok);
    ASSERT_TRUE(edit([&](PageEditorWindow& editor) {
        testing::writeFile(pagePath(3), "no longer a bitmap");
        openLargeView(editor, fakes, 3);
        whenTrue(
            [this] { return !fakes.messages.shown.empty(); },
            [&] {
                // One note, with the library's complaint appended.
                EXPECT_EQ(fakes.messages.shown.size(), 1U);
                const std::string& note = fakes.messages.shown[0].text;
                EXPECT_EQ(note.rfind("Seite 3 kann nicht angezeigt werden.\r\rFreeImage-Fehler:", 0), 0U)
                    << note;
                EXPECT_EQ(topLevelTitled(LargeViewTitle), nullptr);
                click(editor, Cancel);
            });
    }));
}

} // namespace
} // namespace folvex
