#include "runtime/input_state.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QKeyEvent>
#include <QTest>
#include <QWidget>

namespace folvex {
namespace {

class InputStateTest : public ::testing::Test
{
protected:
    void SetUp() override { clearKeyStates(); }

    void TearDown() override { clearKeyStates(); }

    // A key event as the window system delivers it, with its scan code and auto-repeat flag.
    void
    sendKey(QEvent::Type type, int key, quint32 scanCode = 0, bool autoRepeat = false, quint32 keySym = 0)
    {
        QKeyEvent event(type, key, Qt::NoModifier, scanCode, keySym, 0, QString(), autoRepeat);
        QApplication::sendEvent(&m_widget, &event);
    }

    QWidget m_widget;
};

TEST_F(InputStateTest, KeysAreRecordedAsVirtualKeysUntilReleased)
{
    struct Case
    {
        Qt::Key key;
        int vk;
    };

    const Case cases[] = {
        {Qt::Key_Backspace, 8}, {Qt::Key_Tab, 9},          {Qt::Key_Return, 13},      {Qt::Key_Enter, 13},
        {Qt::Key_Shift, 16},    {Qt::Key_Control, 17},     {Qt::Key_Alt, 18},         {Qt::Key_Escape, 27},
        {Qt::Key_Space, 32},    {Qt::Key_Left, 37},        {Qt::Key_Up, 38},          {Qt::Key_Right, 39},
        {Qt::Key_Down, 40},     {Qt::Key_Delete, 46},      {Qt::Key_0, 48},           {Qt::Key_9, 57},
        {Qt::Key_A, 65},        {Qt::Key_Z, 90},           {Qt::Key_F1, 112},         {Qt::Key_F12, 123},
        {Qt::Key_Agrave, 192},  {Qt::Key_Adiaeresis, 196}, {Qt::Key_Udiaeresis, 220}, {Qt::Key_THORN, 222},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.vk);
        QTest::keyPress(&m_widget, c.key);
        EXPECT_TRUE(KeyIsDown(c.vk));
        for (int other = 0; other < 256; ++other) {
            if (other != c.vk && KeyIsDown(other)) {
                ADD_FAILURE() << "also down: " << other;
            }
        }
        QTest::keyRelease(&m_widget, c.key);
        EXPECT_FALSE(KeyIsDown(c.vk));
    }
}

TEST_F(InputStateTest, KeysOutsideTheTableAndNumbersOutsideTheRangeAreNeverDown)
{
    QTest::keyPress(&m_widget, Qt::Key_Home);
    QTest::keyPress(&m_widget, Qt::Key_multiply);
    for (int vk = 0; vk < 256; ++vk) {
        EXPECT_FALSE(KeyIsDown(vk)) << vk;
    }
    EXPECT_FALSE(KeyIsDown(-1));
    EXPECT_FALSE(KeyIsDown(256 + VkEscape));
}

TEST_F(InputStateTest, AltGrHoldsRightAltAndCtrl)
{
    sendKey(QEvent::KeyPress, Qt::Key_AltGr, 108);
    EXPECT_TRUE(KeyIsDown(VkRightAlt));
    EXPECT_TRUE(KeyIsDown(VkControl));
    EXPECT_FALSE(KeyIsDown(VkAlt));
    sendKey(QEvent::KeyRelease, Qt::Key_AltGr, 108);
    EXPECT_FALSE(KeyIsDown(VkRightAlt));
    EXPECT_FALSE(KeyIsDown(VkControl));

    // The right Alt key of a layout without AltGr is Alt and right Alt.
    sendKey(QEvent::KeyPress, Qt::Key_Alt, 108, false, 0xffea);
    EXPECT_TRUE(KeyIsDown(VkAlt));
    EXPECT_TRUE(KeyIsDown(VkRightAlt));
    EXPECT_FALSE(KeyIsDown(VkControl));
}

TEST_F(InputStateTest, CtrlStaysDownWhileEitherCtrlOrAltGrIsHeld)
{
    sendKey(QEvent::KeyPress, Qt::Key_Control, 37);
    sendKey(QEvent::KeyPress, Qt::Key_AltGr, 108);
    sendKey(QEvent::KeyRelease, Qt::Key_AltGr, 108);
    EXPECT_TRUE(KeyIsDown(VkControl));
    sendKey(QEvent::KeyRelease, Qt::Key_Control, 37);
    EXPECT_FALSE(KeyIsDown(VkControl));
}

TEST_F(InputStateTest, BothShiftKeysCountApart)
{
    sendKey(QEvent::KeyPress, Qt::Key_Shift, 50);
    sendKey(QEvent::KeyPress, Qt::Key_Shift, 62);
    sendKey(QEvent::KeyRelease, Qt::Key_Shift, 50);
    EXPECT_TRUE(KeyIsDown(VkShift));
    sendKey(QEvent::KeyRelease, Qt::Key_Shift, 62);
    EXPECT_FALSE(KeyIsDown(VkShift));
}

TEST_F(InputStateTest, ChangesCountPressesAndReleasesOfRecordedKeysOnly)
{
    struct Step
    {
        const char* label;
        QEvent::Type type;
        int key;
        bool autoRepeat;
        unsigned long long added;
    };

    const Step steps[] = {
        {"press J", QEvent::KeyPress, Qt::Key_J, false, 1},
        {"repeated J", QEvent::KeyPress, Qt::Key_J, true, 0},
        {"release J", QEvent::KeyRelease, Qt::Key_J, false, 1},
        {"release J again", QEvent::KeyRelease, Qt::Key_J, false, 0},
        {"press Home (not recorded)", QEvent::KeyPress, Qt::Key_Home, false, 0},
        {"release Home", QEvent::KeyRelease, Qt::Key_Home, false, 0},
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(step.label);
        const unsigned long long before = keyStateChanges();
        sendKey(step.type, step.key, 0, step.autoRepeat);
        EXPECT_EQ(keyStateChanges() - before, step.added);
    }
    const unsigned long long before = keyStateChanges();
    QTest::mousePress(&m_widget, Qt::LeftButton);
    QTest::mouseRelease(&m_widget, Qt::LeftButton);
    EXPECT_EQ(keyStateChanges() - before, 2u) << "mouse button";
}

TEST_F(InputStateTest, AutoRepeatIsIgnored)
{
    sendKey(QEvent::KeyPress, Qt::Key_Escape, 9);
    // The window system repeats a held key as release and press pairs marked as repeats.
    sendKey(QEvent::KeyRelease, Qt::Key_Escape, 9, true);
    EXPECT_TRUE(KeyIsDown(VkEscape));
    sendKey(QEvent::KeyRelease, Qt::Key_Escape, 9);
    sendKey(QEvent::KeyPress, Qt::Key_Escape, 9, true);
    EXPECT_FALSE(KeyIsDown(VkEscape));
}

TEST_F(InputStateTest, AKeyIsReleasedByItsScanCodeWhateverItsKeyReadsThen)
{
    struct Case
    {
        const char* label;
        Qt::Key pressed;
        Qt::Key released;
        quint32 scanCode;
        int vk;
    };

    const Case cases[] = {
        // Shift pressed while 1 is held: the release reads "!".
        {"digit, then Shift", Qt::Key_1, Qt::Key_Exclam, 10, 49},
        // AltGr pressed while Q is held: the release reads "@".
        {"letter, then AltGr", Qt::Key_Q, Qt::Key_At, 24, 81},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        sendKey(QEvent::KeyPress, c.pressed, c.scanCode);
        EXPECT_TRUE(KeyIsDown(c.vk));
        sendKey(QEvent::KeyRelease, c.released, c.scanCode);
        EXPECT_FALSE(KeyIsDown(c.vk));
    }
}

TEST_F(InputStateTest, MouseButtonsAndPointerPosition)
{
    m_widget.setGeometry(100, 150, 200, 100);
    m_widget.show();
    QTest::mousePress(&m_widget, Qt::LeftButton, Qt::NoModifier, QPoint(10, 20));
    EXPECT_TRUE(KeyIsDown(VkLeftButton));
    EXPECT_FALSE(KeyIsDown(VkRightButton));
    EXPECT_EQ(pointerPosition(), m_widget.mapToGlobal(QPoint(10, 20)));
    QTest::mousePress(&m_widget, Qt::RightButton, Qt::NoModifier, QPoint(30, 40));
    EXPECT_TRUE(KeyIsDown(VkRightButton));
    QTest::mouseRelease(&m_widget, Qt::LeftButton, Qt::NoModifier, QPoint(30, 40));
    EXPECT_FALSE(KeyIsDown(VkLeftButton));
    EXPECT_TRUE(KeyIsDown(VkRightButton));
    QTest::mouseRelease(&m_widget, Qt::RightButton, Qt::NoModifier, QPoint(50, 60));
    EXPECT_FALSE(KeyIsDown(VkRightButton));
    EXPECT_EQ(pointerPosition(), m_widget.mapToGlobal(QPoint(50, 60)));

    setPointerPosition(QPoint(-5, 7));
    EXPECT_EQ(pointerPosition(), QPoint(-5, 7));
}

TEST_F(InputStateTest, LosingActivationForgetsHeldKeys)
{
    struct Case
    {
        const char* label;
        QEvent::Type type;
        Qt::ApplicationState state;
        bool stillDown;
    };

    const Case cases[] = {
        {"inactive", QEvent::ApplicationStateChange, Qt::ApplicationInactive, false},
        {"hidden", QEvent::ApplicationStateChange, Qt::ApplicationHidden, false},
        {"active again", QEvent::ApplicationStateChange, Qt::ApplicationActive, true},
        {"deactivated", QEvent::ApplicationDeactivate, Qt::ApplicationInactive, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        QTest::keyPress(&m_widget, Qt::Key_Escape);
        QTest::mousePress(&m_widget, Qt::LeftButton);
        if (c.type == QEvent::ApplicationStateChange) {
            QApplicationStateChangeEvent event(c.state);
            QApplication::sendEvent(qApp, &event);
        } else {
            QEvent event(c.type);
            QApplication::sendEvent(qApp, &event);
        }
        EXPECT_EQ(KeyIsDown(VkEscape), c.stillDown);
        EXPECT_EQ(KeyIsDown(VkLeftButton), c.stillDown);
        clearKeyStates();
    }
}

} // namespace
} // namespace folvex
