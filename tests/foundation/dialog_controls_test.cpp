// The dialog pieces together: an owned dialog window with every new control, driven as a user would
// while a loop waits on WaitWindowEvent(-1); the controls' state by handle; button-up events; popup
// menus and the colour picker answered by the test seams.

#include "control_gallery_dialog.h"
#include "foundation/color_picker.h"
#include "foundation/control_creation.h"
#include "runtime/controls.h"
#include "runtime/dib.h"
#include "runtime/input_state.h"
#include "runtime/object_registry.h"
#include "runtime/window_events.h"
#include "runtime/window_messages.h"
#include "support/fakes.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QScrollBar>
#include <QSpinBox>
#include <QTest>
#include <QTreeWidget>
#include <QWheelEvent>
#include <QWindow>

#include <functional>
#include <memory>
#include <ostream>
#include <utility>
#include <vector>

namespace folvex {
namespace {

struct SeenEvent
{
    EventKind kind;
    Handle window;
    Handle control;
    int type;

    bool operator==(const SeenEvent&) const = default;
};

std::ostream& operator<<(std::ostream& out, const SeenEvent& e)
{
    return out << "{kind " << static_cast<int>(e.kind) << ", window " << e.window << ", control " << e.control
               << ", type " << e.type << "}";
}

SeenEvent current()
{
    return {currentEventKind(), EventWindow(), EventControl(), EventType()};
}

class DialogControlsTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        startFoundationLibrary("/opt/folvex/Folvex");
        clearKeyStates();
        DrainWindowEvents();
        mainWindow = create("WINDOW", NoHandle, "Hauptfenster", 100, 100, 640, 480, 0);
        ASSERT_NE(mainWindow, NoHandle);
        mainWidget.reset(findWidget(mainWindow));
        setMainWindowHandle(mainWindow);
        d = openGalleryDialog(NoHandle);
        ASSERT_NE(d.window, NoHandle);
        DrainWindowEvents();
    }

    void TearDown() override
    {
        closeDialogWindow(d.window);
        setMainWindowHandle(NoHandle);
        mainWidget.reset();
        clearKeyStates();
        DrainWindowEvents();
    }

    // Runs a user's action and returns what it queued, in order: the first event as the waiting loop
    // gets it, the rest as they follow.
    std::vector<SeenEvent> eventsOf(const std::function<void()>& action)
    {
        DrainWindowEvents();
        action();
        std::vector<SeenEvent> seen;
        if (queuedWindowEvents() == 0) {
            return seen; // the loop would not wake
        }
        WaitWindowEvent(-1);
        seen.push_back(current());
        while (WindowEvent() != 0) {
            seen.push_back(current());
        }
        return seen;
    }

    SeenEvent control(Handle c, ControlEventType type) const
    {
        return {EventKind::Control, d.window, c, static_cast<int>(type)};
    }

    SeenEvent key(int vk) const { return {EventKind::Key, d.window, NoHandle, vk}; }

    Handle mainWindow = NoHandle;
    std::unique_ptr<QWidget> mainWidget;
    GalleryDialog d;
};

TEST_F(DialogControlsTest, EveryUserActionWakesTheLoopWithItsEvent)
{
    auto* list = qobject_cast<QTreeWidget*>(findWidget(d.list));
    ASSERT_NE(list, nullptr);
    const auto rowCentre = [list](int row) { return list->visualItemRect(list->topLevelItem(row)).center(); };

    struct ActionCase
    {
        const char* label;
        std::function<void()> act;
        std::vector<SeenEvent> expected;
    };

    const ActionCase cases[] = {
        {"next combo item",
         [&] { QTest::keyClick(findWidget(d.combo), Qt::Key_Down); },
         {control(d.combo, ControlEventType::Changed)}},
        {"spin arrow up",
         [&] { QTest::keyClick(findWidget(d.spin), Qt::Key_Up); },
         {control(d.spin, ControlEventType::Changed)}},
        {"tick the check box",
         [&] { QTest::mouseClick(findWidget(d.check), Qt::LeftButton); },
         {control(d.check, ControlEventType::Clicked)}},
        {"press the toggle",
         [&] { QTest::mouseClick(findWidget(d.toggle), Qt::LeftButton); },
         {control(d.toggle, ControlEventType::Clicked)}},
        {"Return in the text field",
         [&] { QTest::keyClick(findWidget(d.edit), Qt::Key_Return); },
         {key(VkReturn), control(d.edit, ControlEventType::ReturnPressed)}},
        {"Ok",
         [&] { QTest::mouseClick(findWidget(d.okButton), Qt::LeftButton); },
         {control(d.okButton, ControlEventType::Clicked)}},
        {"Abbruch",
         [&] { QTest::mouseClick(findWidget(d.cancelButton), Qt::LeftButton); },
         {control(d.cancelButton, ControlEventType::Clicked)}},
        {"select a row",
         [&] { QTest::mouseClick(list->viewport(), Qt::LeftButton, Qt::NoModifier, rowCentre(1)); },
         {control(d.list, ControlEventType::SelectionChanged)}},
        {"double-click the selected row",
         [&] { QTest::mouseDClick(list->viewport(), Qt::LeftButton, Qt::NoModifier, rowCentre(1)); },
         {control(d.list, ControlEventType::DoubleClicked)}},
        {"Esc on a control", [&] { QTest::keyClick(findWidget(d.spin), Qt::Key_Escape); }, {key(VkEscape)}},
        {"Return on the window",
         [&] { QTest::keyClick(findWidget(d.window), Qt::Key_Enter); },
         {key(VkReturn)}},
        {"close box",
         [&] { findWidget(d.window)->close(); },
         {{EventKind::CloseWindow, d.window, NoHandle, 0}}},
    };
    for (const ActionCase& c : cases) {
        SCOPED_TRACE(c.label);
        EXPECT_EQ(eventsOf(c.act), c.expected);
        EXPECT_NE(findWidget(d.window), nullptr);
        EXPECT_TRUE(findWidget(d.window)->isVisible());
    }
    EXPECT_EQ(ComboText(d.combo), "PDF+OCR");
    EXPECT_EQ(SpinValue(d.spin), 76);
    EXPECT_EQ(GetCheckState(d.check), 1);
    EXPECT_EQ(GetCheckState(d.toggle), 1);

    // A key held down posts once; it counts again after it was let go.
    QWidget* edit = findWidget(d.edit);
    EXPECT_EQ(
        eventsOf([edit] {
            QTest::keyPress(edit, Qt::Key_Escape);
            QTest::keyPress(edit, Qt::Key_Escape, Qt::NoModifier); // seen again on the way up
            QTest::keyRelease(edit, Qt::Key_Escape);
            QTest::keyPress(edit, Qt::Key_Escape);
            QTest::keyRelease(edit, Qt::Key_Escape);
        }),
        (std::vector<SeenEvent>{key(VkEscape), key(VkEscape)}));
    // Other keys and windows the program does not know wake nothing.
    EXPECT_TRUE(eventsOf([edit] { QTest::keyClick(edit, Qt::Key_A); }).empty());
    QWidget stranger;
    EXPECT_TRUE(eventsOf([&stranger] { QTest::keyClick(&stranger, Qt::Key_Escape); }).empty());
}

TEST_F(DialogControlsTest, RadioButtonsPostOnlyTheChosenOneAndPictureButtonsTheirClick)
{
    const Handle first = create("RADIOBUTTON", d.window, "hoch", 10, 255, 60, 20, 0);
    const Handle second = create("RADIOBUTTON", d.window, "quer", 75, 255, 60, 20, 0);
    const Handle picture = create("PICBUTTON", d.window, "Bild", 140, 255, 20, 20, 0);
    const Handle list = create("LISTBOX", d.window, "", 10, 10, 100, 60, 0);
    auto* rows = qobject_cast<QListWidget*>(findWidget(list));
    rows->addItem(QStringLiteral("eins"));
    const std::vector<std::pair<Handle, std::function<void()>>> clicks = {
        {first, [&] { QTest::mouseClick(findWidget(first), Qt::LeftButton); }},
        {second, [&] { QTest::mouseClick(findWidget(second), Qt::LeftButton); }}, // first loses its mark
        {picture, [&] { QTest::mouseClick(findWidget(picture), Qt::LeftButton); }},
    };
    for (const auto& [handle, click] : clicks) {
        EXPECT_EQ(eventsOf(click), (std::vector<SeenEvent>{control(handle, ControlEventType::Clicked)}));
    }
    EXPECT_EQ(
        eventsOf([rows] { rows->setCurrentRow(0); }),
        (std::vector<SeenEvent>{control(list, ControlEventType::SelectionChanged)}));
}

TEST_F(DialogControlsTest, TheDialogIsOwnedByTheMainWindowAndCannotBeResized)
{
    mainWidget->show();
    QWidget* dialog = findWidget(d.window);
    ASSERT_NE(dialog->windowHandle(), nullptr);
    EXPECT_EQ(dialog->windowHandle()->transientParent(), mainWidget->windowHandle());
    dialog->resize(GalleryClientWidthPx + 50, GalleryClientHeightPx + 50);
    EXPECT_EQ(dialog->size(), QSize(GalleryClientWidthPx, GalleryClientHeightPx));
    EXPECT_TRUE(mainWidget->isEnabled());
}

TEST_F(DialogControlsTest, StatesAreReadAndSetByHandleWithoutEvents)
{
    DrainWindowEvents();
    // Combo box: by text (exact), by index, items.
    EXPECT_EQ(ComboItemCount(d.combo), 4);
    EXPECT_EQ(ComboIndex(d.combo), 0);
    EXPECT_TRUE(ComboSelectText(d.combo, "mehrseitiges TIF"));
    EXPECT_EQ(ComboIndex(d.combo), 3);
    EXPECT_FALSE(ComboSelectText(d.combo, "pdf")); // no item of that exact text: unchanged
    EXPECT_FALSE(ComboSelectText(d.combo, "PDF+"));
    EXPECT_EQ(ComboText(d.combo), "mehrseitiges TIF");
    EXPECT_TRUE(ComboSelectIndex(d.combo, 1));
    EXPECT_FALSE(ComboSelectIndex(d.combo, 4));
    EXPECT_EQ(ComboText(d.combo), "PDF+OCR");
    EXPECT_EQ(ComboAddItem(d.combo, "TARGA"), 4);
    EXPECT_EQ(ComboItemText(d.combo, 4), "TARGA");
    EXPECT_TRUE(ComboRemoveItem(d.combo, 0));
    EXPECT_EQ(ComboItemText(d.combo, 0), "PDF+OCR");
    EXPECT_EQ(ComboItemText(d.combo, 9), "");

    // Spin box: values are kept inside the range.
    EXPECT_EQ(SpinValue(d.spin), 75);
    EXPECT_TRUE(SpinSetValue(d.spin, 500));
    EXPECT_EQ(SpinValue(d.spin), 100);
    EXPECT_TRUE(SpinSetRange(d.spin, 0, 50));
    EXPECT_EQ(SpinValue(d.spin), 50);
    EXPECT_FALSE(SpinSetRange(d.spin, 10, 5));

    // Check box and toggle.
    EXPECT_EQ(GetCheckState(d.check), 0);
    EXPECT_TRUE(SetCheckState(d.check, 1));
    EXPECT_EQ(GetCheckState(d.check), 1);
    EXPECT_TRUE(SetCheckState(d.toggle, 1));
    EXPECT_EQ(GetCheckState(d.toggle), 1);
    EXPECT_EQ(GetCheckState(d.okButton), -1); // a plain button has no state
    EXPECT_FALSE(SetCheckState(d.okButton, 1));
    EXPECT_EQ(queuedWindowEvents(), 0);

    // Wrong handles change nothing.
    EXPECT_EQ(ComboAddItem(d.spin, "x"), -1);
    EXPECT_EQ(SpinValue(d.combo), 0);
    EXPECT_EQ(GetCheckState(NoHandle), -1);
    EXPECT_EQ(ScrollAreaPanel(d.list), NoHandle);
}

TEST_F(DialogControlsTest, ToggleFacesAndPictureButtonImagesShowTheirColours)
{
    QWidget* toggle = findWidget(d.toggle);
    const auto centre = [](QWidget* w) {
        const QImage picture = w->grab().toImage();
        return picture.pixel(3, picture.height() / 2);
    };
    EXPECT_EQ(centre(toggle), qRgb(255, 239, 213)); // released
    SetCheckState(d.toggle, 1);
    EXPECT_EQ(centre(toggle), qRgb(255, 0, 0)); // pressed

    std::unique_ptr<DibBitmap> red = makeDibBitmap(8, 8, 24);
    for (int y = 0; y < 8; ++y) {
        for (int x = 0; x < 8; ++x) {
            red->rowTopDown(y)[3 * x + 2] = 255;
        }
    }
    const Handle image = registerImage(std::move(red));
    const Handle button = create("PICBUTTON", d.window, "Bild", 10, 260, 40, 30, 0);
    auto* push = qobject_cast<QPushButton*>(findWidget(button));
    EXPECT_TRUE(push->icon().isNull());
    EXPECT_TRUE(SetButtonImage(button, image));
    ASSERT_FALSE(push->icon().isNull());
    EXPECT_EQ(push->icon().pixmap(8, 8).toImage().pixel(4, 4), qRgb(255, 0, 0));
    EXPECT_TRUE(SetButtonImage(button, NoHandle));
    EXPECT_TRUE(push->icon().isNull());
    EXPECT_FALSE(SetButtonImage(d.check, image));
}

TEST_F(DialogControlsTest, TheScrollAreaScrollsItsPanelWithTheWheel)
{
    const Handle panel = ScrollAreaPanel(d.scrollArea);
    ASSERT_NE(panel, NoHandle);
    EXPECT_EQ(findWidget(panel)->size(), QSize(110, 420));
    auto* area = qobject_cast<QAbstractScrollArea*>(findWidget(d.scrollArea));
    QScrollBar* bar = area->verticalScrollBar();
    EXPECT_EQ(bar->value(), 0);
    EXPECT_GT(bar->maximum(), 0); // the panel is taller than the view
    QWheelEvent wheel(
        QPointF(20, 20),
        QPointF(20, 20),
        QPoint(),
        QPoint(0, -120),
        Qt::NoButton,
        Qt::NoModifier,
        Qt::NoScrollPhase,
        false);
    QApplication::sendEvent(area->viewport(), &wheel);
    EXPECT_GT(bar->value(), 0);
    EXPECT_TRUE(SetScrollAreaPanelSize(d.scrollArea, 110, 100));
    QApplication::processEvents();
    EXPECT_EQ(bar->maximum(), 0);
}

TEST_F(DialogControlsTest, ButtonUpEventsCarryThePlaceOfTheRelease)
{
    const Handle panel = ScrollAreaPanel(d.scrollArea);
    const Handle thumb = create("PICBUTTON", panel, "Seite 1", 5, 30, 80, 60, 0);
    QWidget* widget = findWidget(thumb);
    // Without a request a release posts nothing of its own.
    EXPECT_EQ(
        eventsOf([widget] { QTest::mouseRelease(widget, Qt::RightButton, Qt::NoModifier, QPoint(5, 6)); }),
        std::vector<SeenEvent>{});
    ASSERT_TRUE(RequestButtonUpEvents(thumb, false));
    DrainWindowEvents();
    QTest::mouseRelease(widget, Qt::RightButton, Qt::NoModifier, QPoint(5, 6));
    ASSERT_EQ(WaitWindowEvent(-1), static_cast<int>(EventKind::RightButtonUp));
    EXPECT_EQ(EventWindow(), d.window);
    EXPECT_EQ(EventControl(), thumb);
    EXPECT_EQ(EventX(), 5);
    EXPECT_EQ(EventY(), 6);

    // A left click gives its button-up after the click itself; a release outside gives none.
    const std::vector<SeenEvent> click =
        eventsOf([widget] { QTest::mouseClick(widget, Qt::LeftButton, Qt::NoModifier, QPoint(40, 30)); });
    ASSERT_EQ(click.size(), 2U);
    EXPECT_EQ(click[0], (SeenEvent{EventKind::LeftButtonUp, d.window, thumb, 0}));
    EXPECT_EQ(click[1], control(thumb, ControlEventType::Clicked));
    EXPECT_TRUE(eventsOf([widget] {
                    QTest::mouseRelease(widget, Qt::LeftButton, Qt::NoModifier, QPoint(200, 30));
                }).empty());

    // A left press wakes the loop only where it was asked for.
    EXPECT_TRUE(eventsOf([widget] {
                    QTest::mousePress(widget, Qt::LeftButton, Qt::NoModifier, QPoint(4, 4));
                }).empty());
    QTest::mouseRelease(widget, Qt::LeftButton, Qt::NoModifier, QPoint(200, 30));
    ASSERT_TRUE(RequestButtonUpEvents(thumb, true));
    EXPECT_EQ(
        eventsOf([widget] { QTest::mousePress(widget, Qt::LeftButton, Qt::NoModifier, QPoint(4, 4)); }),
        (std::vector<SeenEvent>{{EventKind::Custom, d.window, NoHandle, 0}}));
    QTest::mouseRelease(widget, Qt::LeftButton, Qt::NoModifier, QPoint(200, 30));
    EXPECT_FALSE(RequestButtonUpEvents(NoHandle, false));

    // An area with controls of its own keeps them as they are.
    ASSERT_TRUE(RequestButtonUpEvents(panel, false));
    ASSERT_TRUE(RequestButtonUpEvents(panel, true));
    EXPECT_EQ(findWidget(thumb)->parentWidget(), findWidget(panel));
    EXPECT_FALSE(findWidget(d.scrollArea)->grab().isNull());
    EXPECT_EQ(
        eventsOf([panel] {
            QTest::mousePress(findWidget(panel), Qt::LeftButton, Qt::NoModifier, QPoint(100, 5));
        }),
        (std::vector<SeenEvent>{{EventKind::Custom, d.window, NoHandle, 0}}));
    QTest::mouseRelease(findWidget(panel), Qt::LeftButton, Qt::NoModifier, QPoint(100, 5));
}

TEST_F(DialogControlsTest, PopupMenusAnsweredByTheSeamPostTheirItem)
{
    testing::ScopedFakeEffects fakes;
    fakes.answerPopupMenus();
    auto* popup = new QMenu(mainWidget.get());
    popup->addAction(QStringLiteral("nicht löschen"))->setData(1025);
    popup->addAction(QStringLiteral("groß anzeigen"))->setData(1030);
    const Handle menu = registerObject(popup, ObjectKind::Menu);

    fakes.popupMenus.queueAnswer(1030);
    fakes.popupMenus.queueAnswer(0);
    DrainWindowEvents();
    EXPECT_EQ(DisplayPopupMenu(menu, d.window), 1030);
    ASSERT_EQ(WaitWindowEvent(-1), static_cast<int>(EventKind::Menu));
    EXPECT_EQ(EventMenu(), 1030);
    EXPECT_EQ(EventWindow(), d.window);
    EXPECT_EQ(DisplayPopupMenu(menu, d.window), 0); // dismissed
    EXPECT_EQ(queuedWindowEvents(), 0);
    ASSERT_EQ(fakes.popupMenus.shown.size(), 2U);
    EXPECT_EQ(fakes.popupMenus.shown[0].menu, menu);
    EXPECT_EQ(fakes.popupMenus.shown[0].window, d.window);
    EXPECT_EQ(DisplayPopupMenu(d.combo, d.window), 0); // no menu: nothing shown
    EXPECT_EQ(fakes.popupMenus.shown.size(), 2U);
}

TEST_F(DialogControlsTest, ColorPickerAnsweredByTheSeamGivesTheColourAndKeepsTheHint)
{
    testing::ScopedFakeEffects fakes;
    fakes.answerColourPicker();
    fakes.colourPicks.queueAnswer(0x00D5EFFF);
    fakes.colourPicks.queueAnswer(-1);
    const std::intptr_t hide[] = {1, d.window};
    EXPECT_EQ(ColorPicker(true, hide, "Weißpunkt wählen"), 0x00D5EFFF);
    EXPECT_EQ(ColorPicker(false, nullptr, "Schwarzpunkt wählen"), -1);
    EXPECT_EQ(fakes.colourPicks.hints, (std::vector<std::string>{"Weißpunkt wählen", "Schwarzpunkt wählen"}));
    EXPECT_TRUE(findWidget(d.window)->isVisible()); // nothing was hidden
}

} // namespace
} // namespace folvex
