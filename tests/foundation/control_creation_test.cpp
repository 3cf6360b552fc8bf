#include "foundation/control_creation.h"

#include "foundation/dll_call.h"
#include "foundation/list_view.h"
#include "runtime/dib.h"
#include "runtime/draw_objects.h"
#include "runtime/dynamic_library.h"
#include "runtime/object_registry.h"
#include "runtime/window_events.h"
#include "runtime/window_geometry.h"
#include "runtime/window_messages.h"
#include "support/fakes.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QDeadlineTimer>
#include <QGroupBox>
#include <QGuiApplication>
#include <QHeaderView>
#include <QHelpEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QScrollBar>
#include <QThread>
#include <QToolTip>
#include <QTreeWidget>
#include <QWindow>

#include <functional>
#include <memory>
#include <unistd.h>

namespace folvex {
namespace {

// Lets Qt work until condition holds or five seconds have passed.
bool eventually(const std::function<bool()>& condition)
{
    const QDeadlineTimer deadline(5000);
    while (!condition()) {
        if (deadline.hasExpired()) {
            return false;
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(5);
    }
    return true;
}

// A fresh foundation with a main window; every window made by create is deleted afterwards.
class ControlCreationTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        startFoundationLibrary("/opt/folvex/Folvex");
        DrainWindowEvents();
        mainWindow = create("WINDOW", NoHandle, "Hauptfenster", 100, 100, 600, 400, 0);
        ASSERT_NE(mainWindow, NoHandle);
        mainWidget.reset(findWidget(mainWindow));
        setMainWindowHandle(mainWindow);
    }

    void TearDown() override
    {
        setMainWindowHandle(NoHandle);
        mainWidget.reset();
        DrainWindowEvents();
    }

    Handle mainWindow = NoHandle;
    std::unique_ptr<QWidget> mainWidget;
};

QString shownText(QWidget* widget)
{
    if (auto* label = qobject_cast<QLabel*>(widget)) {
        return label->text();
    }
    if (auto* edit = qobject_cast<QLineEdit*>(widget)) {
        return edit->text();
    }
    if (auto* edit = qobject_cast<QPlainTextEdit*>(widget)) {
        return edit->toPlainText();
    }
    if (auto* button = qobject_cast<QAbstractButton*>(widget)) {
        return button->text();
    }
    if (auto* group = qobject_cast<QGroupBox*>(widget)) {
        return group->title();
    }
    return widget->windowTitle();
}

enum class Opt
{
    Zero,
    One,
    Two,
    Font,
    Image,
};

TEST_F(ControlCreationTest, EveryKeywordMakesItsWidgetWithStyleTextAndFont)
{
    const Handle font = createFont("Arial", 12);
    const Handle image = registerImage(makeDibBitmap(16, 12, 24));

    struct Case
    {
        const char* art;
        const char* text;
        Opt opt;
        const char* className;
        std::uint32_t style;
        const char* shown;
        const char* family;
        int points;
    };

    const Case cases[] = {
        {"WINDOW", "Probe", Opt::Zero, "folvex::WndClass1", 0x10CF0000, "Probe", "Liberation Sans", 8},
        {"dialog", "Probe", Opt::Zero, "folvex::DlgClass1", 0x10C90000, "Probe", "Liberation Sans", 8},
        {"DIALOG", "Probe", Opt::One, "folvex::DlgClass1", 0x50C90000, "Probe", "Liberation Sans", 8},
        {"TEXT", "Probe", Opt::Font, "QLabel", 0x50000000, "Probe", "Liberation Sans", 12},
        {"TEXT", "Probe", Opt::Zero, "QLabel", 0x50000000, "Probe", "Liberation Sans", 8},
        {"EDIT", "Probe", Opt::Font, "QLineEdit", 0x50810080, "Probe", "Liberation Sans", 12},
        {"MULTIEDIT", "Probe", Opt::Font, "QPlainTextEdit", 0x50200044, "", "Liberation Sans", 12},
        {"Button", "Probe", Opt::Font, "QPushButton", 0x50010000, "Probe", "Liberation Sans", 12},
        {"DEFBUTTON", "Probe", Opt::Font, "QPushButton", 0x50010001, "Probe", "Liberation Sans", 12},
        {"PICBUTTON", "Probe", Opt::Image, "QPushButton", 0x50010080, "", "Liberation Sans", 8},
        {"DEFPICBUTTON", "Probe", Opt::Image, "QPushButton", 0x50010081, "", "Liberation Sans", 8},
        {"RADIOBUTTON", "Probe", Opt::Font, "QRadioButton", 0x50010009, "Probe", "Liberation Sans", 12},
        {"CHECKBOX", "Probe", Opt::Font, "QCheckBox", 0x50010003, "Probe", "Liberation Sans", 12},
        {"GROUPBOX", "Probe", Opt::Font, "QGroupBox", 0x50010007, "Probe", "Liberation Sans", 12},
        {"LISTBOX", "1", Opt::Font, "QListWidget", 0x50B10083, "", "Liberation Sans", 12},
        {"LISTBOX", "", Opt::Zero, "QListWidget", 0x50B10081, "", "Liberation Sans", 8},
        {"LISTVIEW", "Probe", Opt::Zero, "QTreeWidget", 0x50B10049, "", "Liberation Sans", 8},
        {"LISTVIEW", "", Opt::One, "QTreeWidget", 0x50B10059, "", "Liberation Sans", 8},
        {"LISTVIEW", "", Opt::Two, "QTreeWidget", 0x50B10069, "", "Liberation Sans", 8},
        {"HSCROLL", "", Opt::Zero, "QScrollBar", 0x50010000, "", "Liberation Sans", 8},
        {"VSCROLL", "", Opt::Zero, "QScrollBar", 0x50010001, "", "Liberation Sans", 8},
        {"VScroll", "", Opt::Zero, "QScrollBar", 0x50010001, "", "Liberation Sans", 8},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.art) + " " + c.text);
        std::intptr_t opt = 0;
        switch (c.opt) {
            case Opt::Zero:
                break;
            case Opt::One:
                opt = 1;
                break;
            case Opt::Two:
                opt = 2;
                break;
            case Opt::Font:
                opt = font;
                break;
            case Opt::Image:
                opt = image;
                break;
        }
        const Handle handle = create(c.art, mainWindow, c.text, 10, 20, 110, 40, opt);
        ASSERT_NE(handle, NoHandle);
        QWidget* widget = findWidget(handle);
        ASSERT_NE(widget, nullptr);
        const std::unique_ptr<QWidget> topLevel(widget->isWindow() ? widget : nullptr);
        EXPECT_STREQ(widget->metaObject()->className(), c.className);
        EXPECT_EQ(styleOf(handle), c.style);
        EXPECT_EQ(shownText(widget), QString::fromUtf8(c.shown));
        EXPECT_EQ(widget->font().family(), QString::fromUtf8(c.family));
        EXPECT_EQ(widget->font().pointSize(), c.points);
        EXPECT_FALSE(widget->isHidden());
        const bool isWindowKeyword = c.style == 0x10CF0000 || c.style == 0x10C90000 || c.style == 0x50C90000;
        EXPECT_EQ(kindOf(handle), isWindowKeyword ? ObjectKind::Window : ObjectKind::Control);
        if (widget->isWindow()) {
            EXPECT_EQ(windowOuterRect(handle), (WindowRect{10, 20, 110, 40}));
        } else {
            EXPECT_EQ(widget->parentWidget(), mainWidget.get());
            EXPECT_EQ(widget->geometry(), QRect(10, 20, 110, 40));
        }
    }
}

TEST_F(ControlCreationTest, ControlsKeepTheirKeywordsMeaning)
{
    auto* label = qobject_cast<QLabel*>(findWidget(create("TEXT", mainWindow, "a b c", 0, 0, 50, 50, 0)));
    ASSERT_NE(label, nullptr);
    EXPECT_TRUE(label->wordWrap());

    auto* def =
        qobject_cast<QPushButton*>(findWidget(create("DEFBUTTON", mainWindow, "OK", 0, 0, 50, 20, 0)));
    auto* plain = qobject_cast<QPushButton*>(findWidget(create("BUTTON", mainWindow, "OK", 0, 0, 50, 20, 0)));
    ASSERT_NE(def, nullptr);
    ASSERT_NE(plain, nullptr);
    EXPECT_TRUE(def->isDefault());
    EXPECT_FALSE(plain->isDefault());

    const Handle image = registerImage(makeDibBitmap(16, 12, 8));
    auto* picture =
        qobject_cast<QPushButton*>(findWidget(create("PICBUTTON", mainWindow, "Bild", 0, 0, 50, 20, image)));
    ASSERT_NE(picture, nullptr);
    EXPECT_FALSE(picture->icon().isNull());
    EXPECT_EQ(picture->iconSize(), QSize(16, 12));

    auto* vertical =
        qobject_cast<QScrollBar*>(findWidget(create("vscroll", mainWindow, "", 0, 0, 15, 90, 0)));
    auto* horizontal =
        qobject_cast<QScrollBar*>(findWidget(create("HScroll", mainWindow, "", 0, 0, 90, 15, 0)));
    ASSERT_NE(vertical, nullptr);
    ASSERT_NE(horizontal, nullptr);
    EXPECT_EQ(vertical->orientation(), Qt::Vertical);
    EXPECT_EQ(horizontal->orientation(), Qt::Horizontal);

    auto* list =
        qobject_cast<QTreeWidget*>(findWidget(create("LISTVIEW", mainWindow, "", 0, 0, 200, 100, 0)));
    ASSERT_NE(list, nullptr);
    EXPECT_EQ(list->columnCount(), 0);
    EXPECT_FALSE(list->rootIsDecorated());
    EXPECT_EQ(list->selectionBehavior(), QAbstractItemView::SelectRows);
    EXPECT_TRUE(list->allColumnsShowFocus());
    EXPECT_FALSE(list->isSortingEnabled());

    auto* sortedBox =
        qobject_cast<QListWidget*>(findWidget(create("LISTBOX", mainWindow, "1", 0, 0, 50, 50, 0)));
    ASSERT_NE(sortedBox, nullptr);
    sortedBox->addItems({QStringLiteral("b"), QStringLiteral("a")});
    EXPECT_EQ(sortedBox->item(0)->text(), QStringLiteral("a"));
}

TEST_F(ControlCreationTest, AWordThatIsNoKeywordIsRefusedWithANote)
{
    testing::ScopedFakeEffects fakes;
    fakes.messages.queueAnswer(MessageAnswer::Ok);
    EXPECT_EQ(create("Knopf", mainWindow, "Probe", 0, 0, 10, 10, 0), NoHandle);
    ASSERT_EQ(fakes.messages.shown.size(), 1U);
    EXPECT_EQ(fakes.messages.shown[0].title, "Hinweis");
    EXPECT_EQ(fakes.messages.shown[0].text, "create: »Knopf« ist kein zulässiges Schlüsselwort für art$");
    EXPECT_EQ(fakes.messages.shown[0].buttons, MessageButtons::Ok);

    // A child without a parent window cannot be made; that is no misuse of the keyword.
    EXPECT_EQ(create("BUTTON", NoHandle, "Probe", 0, 0, 10, 10, 0), NoHandle);
    EXPECT_EQ(create("DIALOG", NoHandle, "Probe", 0, 0, 10, 10, 1), NoHandle);
    EXPECT_EQ(fakes.messages.shown.size(), 1U);
    EXPECT_EQ(foundationLibrary().WindowList, (std::vector<Handle>{mainWindow}));
}

// The tip the tool shows when the mouse rests on it; empty when it shows none.
QString tipShownBy(QWidget* tool)
{
    QToolTip::hideText(); // hides after a short fade
    if (!eventually([] { return !QToolTip::isVisible(); })) {
        return QStringLiteral("(the previous tip stays)");
    }
    QHelpEvent help(QEvent::ToolTip, QPoint(2, 2), tool->mapToGlobal(QPoint(2, 2)));
    QApplication::sendEvent(tool, &help);
    return QToolTip::isVisible() ? QToolTip::text() : QString();
}

TEST_F(ControlCreationTest, ToolTipsShowTheirTextOnTheToolWhileTheyLive)
{
    const Handle tool = create("BUTTON", mainWindow, "Werkzeug", 10, 10, 80, 25, 0);
    QWidget* toolWidget = findWidget(tool);
    mainWidget->show();
    EXPECT_TRUE(tipShownBy(toolWidget).isEmpty());

    const Handle tip = create("TOOLTIP", tool, "a\\nb\\qc", 0, 0, 0, 0, mainWindow);
    ASSERT_NE(tip, NoHandle);
    EXPECT_EQ(styleOf(tip), 0x80000001U);
    EXPECT_TRUE(findWidget(tip)->isHidden());
    EXPECT_EQ(tipShownBy(toolWidget), QStringLiteral("a\nb\"c"));

    delete findWidget(tip);
    EXPECT_EQ(findWidget(tip), nullptr);
    EXPECT_TRUE(tipShownBy(toolWidget).isEmpty());

    const Handle empty = create("TOOLTIP", tool, "", 0, 0, 0, 0, mainWindow);
    EXPECT_NE(empty, NoHandle);
    EXPECT_TRUE(tipShownBy(toolWidget).isEmpty());
    QToolTip::hideText();
}

TEST_F(ControlCreationTest, LongTipsWrapAt500Pixels)
{
    const Handle tool = create("BUTTON", mainWindow, "Werkzeug", 10, 10, 80, 25, 0);
    std::string text;
    for (int i = 0; i < 60; ++i) {
        text += "Wort" + std::to_string(i) + " ";
    }
    text += "\\n" + std::string(200, 'x');
    create("TOOLTIP", tool, text, 0, 0, 0, 0, mainWindow);
    mainWidget->show();
    const QString shown = tipShownBy(findWidget(tool));
    QToolTip::hideText();
    const QStringList lines = shown.split(QLatin1Char('\n'));
    EXPECT_GE(lines.size(), 4);
    const QFontMetrics metrics(QToolTip::font());
    for (const QString& line : lines) {
        EXPECT_LE(metrics.horizontalAdvance(line), 500) << line.toStdString();
    }
    EXPECT_EQ(
        QString(shown).remove(QLatin1Char('\n')).remove(QLatin1Char(' ')).size(),
        QString::fromUtf8(text).remove(QStringLiteral("\\n")).remove(QLatin1Char(' ')).size());
}

QStringList firstCells(const QTreeWidget* list)
{
    QStringList cells;
    for (int i = 0; i < list->topLevelItemCount(); ++i) {
        cells.push_back(list->topLevelItem(i)->text(0));
    }
    return cells;
}

TEST_F(ControlCreationTest, ListViewsSortByTheFirstCellWhenRowsAreAdded)
{
    struct Case
    {
        std::intptr_t opt;
        QStringList expected;
    };

    const Case cases[] = {
        {0, {QStringLiteral("b"), QStringLiteral("a"), QStringLiteral("c"), QStringLiteral("0")}},
        {1, {QStringLiteral("0"), QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("c")}},
        {2, {QStringLiteral("c"), QStringLiteral("b"), QStringLiteral("a"), QStringLiteral("0")}},
    };
    mainWidget->show();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.opt);
        const Handle view = create("LISTVIEW", mainWindow, "", 0, 0, 300, 200, c.opt);
        auto* list = qobject_cast<QTreeWidget*>(findWidget(view));
        ASSERT_NE(list, nullptr);
        LVAddColumn(view, "Erste", 100, 0, 0, 0, 0);
        LVAddColumn(view, "Zweite", 100, 0, 0, 0, 1);
        const auto add = [view](const char* first, const char* second) {
            LVAddRow(view, std::string(first) + "|" + second);
        };
        add("b", "1");
        add("a", "3");
        add("c", "2");
        // A click on the second column's header changes nothing about the order.
        QHeaderView* header = list->header();
        const QPoint second(header->sectionViewportPosition(1) + 5, header->height() / 2);
        QMouseEvent press(
            QEvent::MouseButtonPress,
            second,
            header->viewport()->mapToGlobal(second),
            Qt::LeftButton,
            Qt::LeftButton,
            Qt::NoModifier);
        QMouseEvent release(
            QEvent::MouseButtonRelease,
            second,
            header->viewport()->mapToGlobal(second),
            Qt::LeftButton,
            Qt::NoButton,
            Qt::NoModifier);
        QApplication::sendEvent(header->viewport(), &press);
        QApplication::sendEvent(header->viewport(), &release);
        add("0", "9");
        EXPECT_EQ(firstCells(list), c.expected);
    }
}

TEST_F(ControlCreationTest, ClosingAWindowLeavesItOpenAndQueuesTheRequest)
{
    const Handle other = create("WINDOW", NoHandle, "Zweites", 50, 50, 300, 200, 0);
    const std::unique_ptr<QWidget> otherWidget(findWidget(other));
    EXPECT_EQ(foundationLibrary().WindowList, (std::vector<Handle>{mainWindow, other}));

    EXPECT_FALSE(mainWidget->close());
    EXPECT_TRUE(mainWidget->isVisible());
    EXPECT_EQ(findWidget(mainWindow), mainWidget.get());
    EXPECT_EQ(foundationLibrary().WindowList, (std::vector<Handle>{other}));
    ASSERT_EQ(WaitWindowEvent(1000), static_cast<int>(EventKind::CloseWindow));
    EXPECT_EQ(EventWindow(), mainWindow);

    // A second request is queued again; the list stays as it is.
    mainWidget->close();
    EXPECT_EQ(queuedWindowEvents(), 1);
    EXPECT_EQ(foundationLibrary().WindowList, (std::vector<Handle>{other}));
}

TEST_F(ControlCreationTest, ClosingADialogDestroysItAndFocusesTheMainWindow)
{
    mainWidget->show();
    const Handle first = create("DIALOG", mainWindow, "Erster", 150, 150, 200, 100, 0);
    const Handle second = create("DIALOG", mainWindow, "Zweiter", 160, 160, 200, 100, 0);
    const Handle text = create("TEXT", second, "Inhalt", 5, 5, 100, 20, 0);
    ASSERT_NE(text, NoHandle);
    EXPECT_EQ(foundationLibrary().WindowList, (std::vector<Handle>{mainWindow, first, second}));

    QPointer<QWidget> dialog = findWidget(second);
    dialog->activateWindow();
    ASSERT_TRUE(eventually([&] { return QApplication::activeWindow() == dialog; }));
    EXPECT_TRUE(dialog->close());
    EXPECT_EQ(foundationLibrary().WindowList, (std::vector<Handle>{mainWindow, first}));
    EXPECT_EQ(findWidget(second), nullptr);
    EXPECT_EQ(queuedWindowEvents(), 0);
    EXPECT_TRUE(eventually([&] { return dialog.isNull() && findWidget(text) == nullptr; }));
    EXPECT_TRUE(eventually([&] { return QApplication::activeWindow() == mainWidget.get(); }));
    EXPECT_EQ(queuedWindowEvents(), 0);

    // A dialog destroyed by its user leaves the list as well.
    delete findWidget(first);
    EXPECT_EQ(foundationLibrary().WindowList, (std::vector<Handle>{mainWindow}));
}

TEST_F(ControlCreationTest, DialogWindowsAreOwnedFixedAndPlacedAsAsked)
{
    placeWindowByOuterRect(mainWindow, {100, 100, 600, 400});
    mainWidget->show();
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    const WindowFrame frame = frameForStyle(DialogWindowCloseBoxStyle, false);
    const int outerWidth = 200 + 2 * frame.frame;
    const int outerHeight = 100 + frame.caption + 2 * frame.frame;

    struct PlacementCase
    {
        const char* label;
        DialogWindowOptions options;
        int centreX;
        int centreY;
        bool closeBox;
    };

    const PlacementCase cases[] = {
        {"over the main window by default", {}, 400, 300, true},
        {"on the screen",
         {NoHandle, DialogPlacement::CentreOnScreen, true},
         screen.x() + screen.width() / 2,
         screen.y() + screen.height() / 2,
         true},
        {"title bar only", {mainWindow, DialogPlacement::CentreOnOwner, false}, 400, 300, false},
    };
    for (const PlacementCase& c : cases) {
        SCOPED_TRACE(c.label);
        const Handle dialog = openDialogWindow("Ziel temporär ändern", 200, 100, c.options);
        ASSERT_NE(dialog, NoHandle);
        QWidget* widget = findWidget(dialog);
        EXPECT_TRUE(widget->isVisible());
        EXPECT_EQ(widget->windowTitle(), QStringLiteral("Ziel temporär ändern"));
        EXPECT_EQ(widget->parentWidget(), mainWidget.get());
        ASSERT_NE(widget->windowHandle(), nullptr);
        EXPECT_EQ(widget->windowHandle()->transientParent(), mainWidget->windowHandle());
        EXPECT_EQ(widget->minimumSize(), QSize(200, 100));
        EXPECT_EQ(widget->maximumSize(), QSize(200, 100));
        EXPECT_EQ(widget->testAttribute(Qt::WA_OpaquePaintEvent), true);
        EXPECT_EQ(widget->windowFlags().testFlag(Qt::WindowCloseButtonHint), c.closeBox);
        EXPECT_FALSE(widget->windowFlags().testFlag(Qt::WindowMaximizeButtonHint));
        const WindowRect outer = windowOuterRect(dialog);
        EXPECT_EQ(outer.width, outerWidth);
        EXPECT_EQ(outer.height, outerHeight);
        EXPECT_NEAR(outer.x + outer.width / 2, c.centreX, 1);
        EXPECT_NEAR(outer.y + outer.height / 2, c.centreY, 1);
        EXPECT_TRUE(mainWidget->isEnabled());
        EXPECT_EQ(foundationLibrary().WindowList, (std::vector<Handle>{mainWindow, dialog}));

        // The close box asks; the window stays until its caller closes it.
        EXPECT_FALSE(widget->close());
        EXPECT_TRUE(widget->isVisible());
        ASSERT_EQ(WaitWindowEvent(1000), static_cast<int>(EventKind::CloseWindow));
        EXPECT_EQ(EventWindow(), dialog);
        EXPECT_EQ(foundationLibrary().WindowList, (std::vector<Handle>{mainWindow, dialog}));

        const Handle label = create("TEXT", dialog, "Inhalt", 5, 5, 100, 20, 0);
        EXPECT_TRUE(closeDialogWindow(dialog));
        EXPECT_EQ(findWidget(dialog), nullptr);
        EXPECT_EQ(findWidget(label), nullptr);
        EXPECT_FALSE(closeDialogWindow(dialog));
        EXPECT_EQ(foundationLibrary().WindowList, (std::vector<Handle>{mainWindow}));
    }
    EXPECT_EQ(openDialogWindow("leer", 0, 100), NoHandle);
    EXPECT_FALSE(closeDialogWindow(mainWindow));
}

TEST_F(ControlCreationTest, EveryWindowClassPaintsInTheButtonFaceColour)
{
    const Handle dialog = create("DIALOG", mainWindow, "Dialog", 0, 0, 120, 80, 0);
    const Handle owned = openDialogWindow("Dialog", 120, 80);
    for (const Handle window : {mainWindow, dialog, owned}) {
        const QImage picture = findWidget(window)->grab().toImage();
        ASSERT_FALSE(picture.isNull());
        EXPECT_EQ(picture.pixel(picture.width() / 2, picture.height() / 2), qRgb(240, 240, 240));
        EXPECT_EQ(picture.pixel(0, 0), qRgb(240, 240, 240));
    }
}

TEST(ProgramDirTest, IsTheExecutablesFolderWithATrailingSlash)
{
    struct Case
    {
        const char* executable;
        const char* folder;
    };

    const Case cases[] = {
        {"/Folvex", "/"},
        {"/opt/folvex/Folvex", "/opt/folvex/"},
        {"/opt/folvex.1/Folvex", "/opt/folvex.1/"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.executable);
        EXPECT_EQ(programDirFor(c.executable), c.folder);
        startFoundationLibrary(c.executable);
        EXPECT_EQ(foundationLibrary().ProgramDir, c.folder);
    }

    startFoundationLibrary();
    EXPECT_EQ(
        foundationLibrary().ProgramDir,
        (QCoreApplication::applicationDirPath() + QStringLiteral("/")).toStdString());
    EXPECT_EQ(foundationLibrary().ProcessId, static_cast<std::uint32_t>(::getpid()));
    EXPECT_TRUE(foundationLibrary().WindowList.empty());
}

TEST(LibraryShutdownTest, ClosesEveryOpenLibrary)
{
    const DynamicLibrary library("libc.so.6");
    ASSERT_TRUE(library.isOpen());
    EXPECT_EQ(LibraryShutdown(), 0);
    EXPECT_FALSE(library.isOpen());
}

TEST_F(ControlCreationTest, User32CallsReachTheWindowLayer)
{
    const std::int32_t information = CallDllFunction("user32.dll", "LoadIconA", {0, 32516});
    ASSERT_NE(information, 0);
    const DibBitmap* icon = findImage(information);
    ASSERT_NE(icon, nullptr);
    EXPECT_EQ(icon->width, 32);
    EXPECT_EQ(icon->height, 32);
    bool drawn = false;
    for (std::size_t i = 3; i < icon->bits.size(); i += 4) {
        drawn = drawn || icon->bits[i] != 0;
    }
    EXPECT_TRUE(drawn);
    EXPECT_EQ(CallDllFunction("USER32.DLL", "LoadIconA", {0, 32516}), information);
    EXPECT_NE(CallDllFunction("user32.dll", "LoadIconA", {0, 32513}), information);
    EXPECT_EQ(CallDllFunction("user32.dll", "LoadIconA", {0, 4711}), 0);
    EXPECT_EQ(CallDllFunction("user32.dll", "LoadIconA", {1, 32516}), 0);

    EXPECT_EQ(CallDllFunction("user32.dll", "SetWindowPos", {mainWindow, 0, 30, 40, 500, 300, 0}), 1);
    EXPECT_EQ(windowOuterRect(mainWindow), (WindowRect{30, 40, 500, 300}));
    EXPECT_EQ(CallDllFunction("user32.dll", "SetWindowPos", {mainWindow, 0, 0, 0, 400, 200, 0x2 | 0x4}), 1);
    EXPECT_EQ(windowOuterRect(mainWindow), (WindowRect{30, 40, 400, 200}));
    EXPECT_EQ(CallDllFunction("user32.dll", "SetWindowPos", {4711, 0, 0, 0, 1, 1, 0}), 0);

    mainWidget->show();
    mainWidget->activateWindow();
    EXPECT_TRUE(
        eventually([&] { return CallDllFunction("user32.dll", "GetForegroundWindow") == mainWindow; }));
}

} // namespace
} // namespace folvex
