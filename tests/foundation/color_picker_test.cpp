#include "foundation/color_picker.h"

#include "runtime/input_state.h"
#include "runtime/object_registry.h"
#include "runtime/window_geometry.h"
#include "runtime/window_messages.h"
#include "support/fakes.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QTest>
#include <QTimer>
#include <QWidget>

#include <functional>

namespace folvex {
namespace {

constexpr char Hint[] = "Farbe unter Cursor abgreifen: Linksklick, Abbruch: Escape";

QWidget* topLevelNamed(const QString& name)
{
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (widget->objectName() == name && widget->isVisible()) {
            return widget;
        }
    }
    return nullptr;
}

// Runs act once, from inside the picker's loop, as soon as its frozen screen and hint are shown.
void whenPickerShows(const std::function<void(QWidget* frozen, QWidget* hint)>& act)
{
    auto* timer = new QTimer(qApp);
    timer->setInterval(1);
    QObject::connect(timer, &QTimer::timeout, timer, [timer, act] {
        QWidget* frozen = topLevelNamed(QStringLiteral("colourPickerScreen"));
        QWidget* hint = topLevelNamed(QStringLiteral("colourPickerHint"));
        if (frozen != nullptr && hint != nullptr) {
            timer->stop();
            timer->deleteLater();
            act(frozen, hint);
        }
    });
    timer->start();
}

// A main window and a window filled with RGB(10, 20, 30) in front, as the page editor would be.
class ColorPickerTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        clearKeyStates();
        m_main = registerObject(&m_mainWindow, ObjectKind::Window, 0x10CF0000);
        placeWindowByClientRect(m_main, {10, 10, 300, 200});
        m_mainWindow.show();
        setMainWindowHandle(m_main);

        QPalette palette = m_editor.palette();
        palette.setColor(QPalette::Window, QColor(10, 20, 30));
        m_editor.setPalette(palette);
        m_editor.setAutoFillBackground(true);
        m_editor.setGeometry(400, 300, 200, 150);
        m_editor.show();
        m_editor.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&m_editor));
    }

    void TearDown() override
    {
        setMainWindowHandle(NoHandle);
        clearKeyStates();
    }

    QWidget m_mainWindow;
    QWidget m_editor;
    Handle m_main = NoHandle;
    testing::ScopedFakeEffects m_fakes;
};

TEST_F(ColorPickerTest, LeftReleaseOnTheFrozenScreenPicksThePixel)
{
    bool editorHidden = false;
    QString hintTitle;
    whenPickerShows([&](QWidget* frozen, QWidget* hint) {
        editorHidden = !m_editor.isVisible();
        hintTitle = hint->windowTitle();
        const QPoint onEditor = frozen->mapFromGlobal(QPoint(450, 350));
        QTest::mouseClick(frozen, Qt::LeftButton, Qt::NoModifier, onEditor);
    });
    EXPECT_EQ(ColorPicker(false, nullptr, Hint), 0x001E140A);
    EXPECT_TRUE(editorHidden);
    EXPECT_EQ(hintTitle, QStringLiteral("ColorPicker"));
    ASSERT_EQ(m_fakes.sound.beeps.size(), 1u);
    EXPECT_EQ(m_fakes.sound.beeps[0].frequencyHz, 2000);
    EXPECT_EQ(m_fakes.sound.beeps[0].durationMs, 100);
    EXPECT_TRUE(m_editor.isVisible());
    EXPECT_EQ(topLevelNamed(QStringLiteral("colourPickerScreen")), nullptr);
    EXPECT_EQ(topLevelNamed(QStringLiteral("colourPickerHint")), nullptr);
    EXPECT_FALSE(KeyIsDown(VkLeftButton));
}

TEST_F(ColorPickerTest, HidingFirstLeavesTheWindowOutOfThePicture)
{
    whenPickerShows([](QWidget* frozen, QWidget*) {
        QTest::mouseClick(frozen, Qt::LeftButton, Qt::NoModifier, frozen->mapFromGlobal(QPoint(450, 350)));
    });
    const std::int32_t colour = ColorPicker(true, nullptr, Hint);
    EXPECT_NE(colour, 0x001E140A);
    EXPECT_NE(colour, -1);
}

TEST_F(ColorPickerTest, EscEndsAfterItsReleaseAndShowsTheWindowsAgain)
{
    QWidget listed;
    const Handle listedHandle = registerObject(&listed, ObjectKind::Window, 0x10CF0000);
    listed.setGeometry(20, 400, 100, 100);
    listed.show();
    m_editor.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&m_editor));
    const std::intptr_t windowList[] = {1, listedHandle};

    bool listedHidden = false;
    bool released = false;
    whenPickerShows([&](QWidget* frozen, QWidget*) {
        listedHidden = !listed.isVisible();
        QTest::keyPress(frozen, Qt::Key_Escape);
        // The picker keeps waiting while Esc is held.
        QTimer::singleShot(50, frozen, [&released, frozen] {
            released = true;
            QTest::keyRelease(frozen, Qt::Key_Escape);
        });
    });
    EXPECT_EQ(ColorPicker(false, windowList, Hint), -1);
    EXPECT_TRUE(released);
    EXPECT_TRUE(listedHidden);
    EXPECT_TRUE(listed.isVisible());
    EXPECT_TRUE(m_editor.isVisible());
    EXPECT_TRUE(m_fakes.sound.beeps.empty());
    EXPECT_TRUE(QTest::qWaitFor([this] { return QApplication::activeWindow() == &m_editor; }, 5000));
}

TEST_F(ColorPickerTest, ReleaseOutsideTheFrozenScreenGivesMinusOne)
{
    whenPickerShows([](QWidget*, QWidget* hint) { QTest::mouseClick(hint, Qt::LeftButton); });
    EXPECT_EQ(ColorPicker(false, nullptr, Hint), -1);
    EXPECT_TRUE(m_editor.isVisible());
}

} // namespace
} // namespace folvex
