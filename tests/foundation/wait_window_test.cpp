#include "foundation/wait_window.h"

#include "foundation/note.h"
#include "foundation/text_measure.h"
#include "foundation/window_routines.h"
#include "runtime/draw_objects.h"
#include "runtime/object_registry.h"
#include "runtime/window_messages.h"
#include "support/fakes.h"

#include <gtest/gtest.h>

#include <QFontMetrics>
#include <QLabel>
#include <QPointer>
#include <QWidget>

namespace folvex {
namespace {

constexpr std::uint32_t OverlappedWindowStyle = 0x10CF0000;
constexpr char ProgressText[] = "Seite 00 von 00 wird gespeichert";

// A registered main window at a known place, fake effects, and no wait window left behind.
class WaitWindowTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_main = registerObject(&m_mainWindow, ObjectKind::Window, OverlappedWindowStyle);
        setHasMenuBar(m_main, true);
        placeWindowByOuterRect(m_main, {100, 80, 640, 481});
        m_mainWindow.show();
        setMainWindowHandle(m_main);
    }

    void TearDown() override
    {
        if (WaitWindow() != NoHandle) {
            XWartenEnde();
        }
        setMainWindowHandle(NoHandle);
    }

    QWidget m_mainWindow;
    Handle m_main = NoHandle;
    testing::ScopedFakeEffects m_fakes;
};

TEST_F(WaitWindowTest, WindowFitsTheTextAndIsCentredOnTheMainWindow)
{
    const int tw = MeasureTextWidth(ProgressText, NoHandle, NoHandle);
    const int th = MeasureTextHeight(ProgressText, NoHandle, NoHandle);
    ASSERT_GT(tw, 0);
    ASSERT_GT(th, 0);

    EXPECT_EQ(XWarten(ProgressText, NoHandle, 20, -1, 0, 0, NoHandle), 0);
    const Handle wait = WaitWindow();
    ASSERT_NE(wait, NoHandle);
    EXPECT_EQ(ClientWidth(wait), tw + 40);
    EXPECT_EQ(WindowHeight(wait), th + 70);
    EXPECT_EQ(WindowWidth(wait), tw + 40 + 2 * DialogFrameWidth());
    EXPECT_EQ(WindowLeft(wait), 100 + 640 / 2 - WindowWidth(wait) / 2);
    EXPECT_EQ(WindowTop(wait), 80 + 481 / 2 - (th + 70) / 2);
    EXPECT_EQ(findWidget(wait)->windowTitle(), QStringLiteral("Bitte warten..."));
    EXPECT_TRUE(findWidget(wait)->isVisible());

    const QWidget* label = findWidget(WaitWindowText());
    ASSERT_NE(label, nullptr);
    EXPECT_EQ(label->parentWidget(), findWidget(wait));
    EXPECT_EQ(label->geometry(), QRect(20, 20, tw, th));
    EXPECT_TRUE(m_fakes.messages.shown.empty());
}

TEST_F(WaitWindowTest, CentredOnAGivenParentWithOffsetText)
{
    QWidget parent;
    const Handle parentHandle = registerObject(&parent, ObjectKind::Window, OverlappedWindowStyle);
    placeWindowByOuterRect(parentHandle, {400, 300, 200, 101});
    parent.show();
    XWarten("Bitte warten", NoHandle, 10, -1, 5, -3, parentHandle);
    const Handle wait = WaitWindow();
    EXPECT_EQ(WindowLeft(wait), 400 + 100 - WindowWidth(wait) / 2);
    EXPECT_EQ(WindowTop(wait), 300 + 50 - WindowHeight(wait) / 2);
    EXPECT_EQ(findWidget(WaitWindowText())->pos(), QPoint(15, 7));
}

TEST_F(WaitWindowTest, AGivenFontIsMeasuredAndUsed)
{
    const Handle bigFont = createFont("Segoe UI", 24, static_cast<std::uint32_t>(FontFlag::Bold));
    const int bigWidth = QFontMetrics(*findFont(bigFont)).horizontalAdvance(QString::fromUtf8(ProgressText));
    ASSERT_GT(bigWidth, MeasureTextWidth(ProgressText, NoHandle, NoHandle));

    XWarten(ProgressText, bigFont, 20, -1, 0, 0, NoHandle);
    EXPECT_EQ(ClientWidth(WaitWindow()), bigWidth + 40);
    EXPECT_EQ(MeasureTextWidth(ProgressText, NoHandle, bigFont), bigWidth);
    const QWidget* label = findWidget(WaitWindowText());
    EXPECT_EQ(label->font(), *findFont(bigFont));
    EXPECT_EQ(label->width(), bigWidth);
    XWartenEnde();
    deleteDrawObject(bigFont);
}

TEST_F(WaitWindowTest, LaterTextsKeepTheLabelsSize)
{
    XWarten("Seite 0 von 0", NoHandle, 20, -1, 0, 0, NoHandle);
    auto* label = qobject_cast<QLabel*>(findWidget(WaitWindowText()));
    ASSERT_NE(label, nullptr);
    const QSize size = label->size();
    const QSize windowSize = findWidget(WaitWindow())->size();
    EXPECT_EQ(SetText(WaitWindowText(), "Seite 12 von 345, bitte noch etwas Geduld"), 1);
    EXPECT_EQ(label->text(), QStringLiteral("Seite 12 von 345, bitte noch etwas Geduld"));
    EXPECT_EQ(label->size(), size);
    EXPECT_EQ(findWidget(WaitWindow())->size(), windowSize);
}

TEST_F(WaitWindowTest, SecondOpenIsRefusedAndKeepsTheFirstWindow)
{
    XWarten("erstes", NoHandle, 20, -1, 0, 0, NoHandle);
    const Handle first = WaitWindow();
    const Handle firstText = WaitWindowText();
    m_fakes.messages.queueAnswer(MessageAnswer::Ok);
    EXPECT_EQ(XWarten("zweites", NoHandle, 20, -1, 0, 0, NoHandle), 0);
    ASSERT_EQ(m_fakes.messages.shown.size(), 1u);
    EXPECT_EQ(m_fakes.messages.shown[0].text, prepareNoteText(WaitWindowOpenTwiceNote));
    EXPECT_EQ(m_fakes.messages.shown[0].buttons, MessageButtons::OkCancel);
    EXPECT_EQ(WaitWindow(), first);
    EXPECT_EQ(WaitWindowText(), firstText);
    EXPECT_EQ(qobject_cast<QLabel*>(findWidget(firstText))->text(), QStringLiteral("erstes"));
}

TEST_F(WaitWindowTest, CloseWithoutOpenIsRefusedWithItsNoteOnly)
{
    m_fakes.messages.queueAnswer(MessageAnswer::Ok);
    EXPECT_EQ(XWartenEnde(), 0);
    ASSERT_EQ(m_fakes.messages.shown.size(), 1u);
    EXPECT_EQ(
        m_fakes.messages.shown[0].text,
        "Prozedur XWartenEnde ohne vorheriges XWarten nochmal aufgerufen!\r\rZweiter Aufruf wird ignoriert.");
    EXPECT_EQ(WaitWindow(), NoHandle);
    EXPECT_TRUE(m_fakes.exit.codes.empty());
}

TEST_F(WaitWindowTest, CloseRemovesTheWindowAndAllowsANewOne)
{
    XWarten("eins", NoHandle, 20, -1, 0, 0, NoHandle);
    const QPointer<QWidget> window = findWidget(WaitWindow());
    const Handle text = WaitWindowText();
    EXPECT_EQ(subclassCount(WaitWindow()), 1);
    EXPECT_EQ(XWartenEnde(), 0);
    EXPECT_TRUE(window.isNull());
    EXPECT_EQ(WaitWindow(), NoHandle);
    EXPECT_EQ(WaitWindowText(), NoHandle);
    EXPECT_EQ(findWidget(text), nullptr);

    XWarten("zwei", NoHandle, 20, -1, 0, 0, NoHandle);
    EXPECT_NE(WaitWindow(), NoHandle);
    EXPECT_TRUE(m_fakes.messages.shown.empty());
}

TEST_F(WaitWindowTest, ColourFillsTheWindowAndTheTextIsBlack)
{
    XWarten("Farbe", NoHandle, 20, 0x00306090, 0, 0, NoHandle);
    QWidget* window = findWidget(WaitWindow());
    const QImage shot = window->grab().toImage();
    EXPECT_EQ(QColor(shot.pixel(2, 2)), QColor(0x90, 0x60, 0x30));
    const QWidget* label = findWidget(WaitWindowText());
    EXPECT_EQ(label->palette().color(QPalette::WindowText), QColor(Qt::black));
    EXPECT_FALSE(label->autoFillBackground());
}

TEST(TextMeasureTest, WidthAndHeightOfATextInAFont)
{
    QWidget window;
    const Handle small = createFont("Arial", 8);
    const Handle large = createFont("Arial", 20);
    window.setFont(*findFont(large));
    const Handle handle = registerObject(&window, ObjectKind::Window, OverlappedWindowStyle);

    EXPECT_GT(MeasureTextWidth("Bitte warten...", NoHandle, NoHandle), 0);
    EXPECT_GT(MeasureTextHeight("Bitte warten...", NoHandle, NoHandle), 0);
    EXPECT_EQ(MeasureTextWidth("", NoHandle, NoHandle), 0);
    EXPECT_EQ(MeasureTextHeight("", NoHandle, small), 0);
    EXPECT_EQ(MeasureTextWidth("", handle, NoHandle), 0);

    // The window's font, else the given font.
    const int smallWidth = MeasureTextWidth("Bitte warten...", NoHandle, small);
    const int windowWidth = MeasureTextWidth("Bitte warten...", handle, small);
    EXPECT_LT(smallWidth, windowWidth);
    EXPECT_EQ(windowWidth, MeasureTextWidth("Bitte warten...", NoHandle, large));
    EXPECT_LT(MeasureTextHeight("X", NoHandle, small), MeasureTextHeight("X", handle, NoHandle));
    EXPECT_LT(MeasureTextWidth("Bitte", NoHandle, small), smallWidth);

    const Handle unknownWindow = 999999;
    EXPECT_EQ(MeasureTextWidth("Bitte", unknownWindow, NoHandle), 0);
    EXPECT_EQ(MeasureTextHeight("Bitte", unknownWindow, NoHandle), 0);
    deleteDrawObject(small);
    deleteDrawObject(large);
}

} // namespace
} // namespace folvex
