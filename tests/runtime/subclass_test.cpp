#include "runtime/subclass.h"

#include "runtime/object_registry.h"
#include "runtime/window_geometry.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QWidget>

#include <memory>
#include <ostream>
#include <vector>

namespace folvex {
namespace {

struct Received
{
    Handle hwnd;
    std::uint32_t message;
    std::intptr_t wParam;
    std::intptr_t lParam;
    std::intptr_t id;

    bool operator==(const Received&) const = default;
};

void PrintTo(const Received& r, std::ostream* out)
{
    *out << "{" << r.hwnd << ", 0x" << std::hex << r.message << ", " << r.wParam << ", 0x" << r.lParam
         << std::dec << ", id " << r.id << "}";
}

// refData is the address of the list that records what arrives.
std::intptr_t recordingProc(
    Handle hwnd,
    std::uint32_t message,
    std::intptr_t wParam,
    std::intptr_t lParam,
    std::intptr_t id,
    std::intptr_t refData)
{
    reinterpret_cast<std::vector<Received>*>(refData)->push_back({hwnd, message, wParam, lParam, id});
    return DefSubclassProc(hwnd, message, wParam, lParam);
}

std::intptr_t
otherProc(Handle, std::uint32_t, std::intptr_t, std::intptr_t, std::intptr_t, std::intptr_t refData)
{
    ++*reinterpret_cast<int*>(refData);
    return 5;
}

std::intptr_t refData(std::vector<Received>& list)
{
    return reinterpret_cast<std::intptr_t>(&list);
}

std::vector<Received> only(const std::vector<Received>& all, std::uint32_t message)
{
    std::vector<Received> picked;
    for (const Received& r : all) {
        if (r.message == message) {
            picked.push_back(r);
        }
    }
    return picked;
}

TEST(SubclassTest, ButtonReleasesArriveWithTheClientPosition)
{
    struct Case
    {
        const char* label;
        bool topLevelWithMenu;
        Qt::MouseButton button;
        QPoint pos;
        std::uint32_t message;
        std::intptr_t lParam;
    };

    const Case cases[] = {
        {"left on a control", false, Qt::LeftButton, QPoint(12, 34), LeftButtonUpMessage, 12 | (34 << 16)},
        {"right on a control", false, Qt::RightButton, QPoint(70, 5), RightButtonUpMessage, 70 | (5 << 16)},
        // The menu bar lies above the client area, inside the window's widget.
        {"left below a menu bar", true, Qt::LeftButton, QPoint(8, 50), LeftButtonUpMessage, 8 | (30 << 16)},
        {"left on a menu bar",
         true,
         Qt::LeftButton,
         QPoint(8, 5),
         LeftButtonUpMessage,
         8 | (std::intptr_t{0xFFF1} << 16)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        QWidget window;
        window.resize(200, 100);
        auto* control = new QWidget(&window);
        control->setGeometry(10, 10, 100, 60);
        QWidget* target = c.topLevelWithMenu ? &window : control;
        const Handle handle = registerObject(target, ObjectKind::Window, 0x10CF0000);
        setHasMenuBar(handle, c.topLevelWithMenu);
        std::vector<Received> received;
        ASSERT_TRUE(SetWindowSubclass(handle, recordingProc, 3, refData(received)));
        QTest::mousePress(target, c.button, Qt::NoModifier, c.pos);
        QTest::mouseRelease(target, c.button, Qt::NoModifier, c.pos);
        EXPECT_EQ(only(received, c.message), (std::vector<Received>{{handle, c.message, 0, c.lParam, 3}}));
    }
}

TEST(SubclassTest, SizeAndFocusArrive)
{
    QWidget window;
    auto* edit = new QLineEdit(&window);
    auto* other = new QLineEdit(&window);
    other->move(0, 40);
    const Handle windowHandle = registerObject(&window, ObjectKind::Window, 0x10CF0000);
    setHasMenuBar(windowHandle, true);
    const Handle editHandle = registerObject(edit, ObjectKind::Control, 0x50810080);
    std::vector<Received> windowMessages;
    std::vector<Received> editMessages;
    ASSERT_TRUE(SetWindowSubclass(windowHandle, recordingProc, 1, refData(windowMessages)));
    ASSERT_TRUE(SetWindowSubclass(editHandle, recordingProc, 2, refData(editMessages)));

    window.resize(300, 220);
    window.show();
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    other->setFocus();
    editMessages.clear();
    other->setFocus();
    EXPECT_TRUE(only(editMessages, SetFocusMessage).empty());
    edit->setFocus();
    EXPECT_EQ(only(editMessages, SetFocusMessage).size(), 1u);

    // The client area is the window's widget below the menu bar.
    ASSERT_FALSE(only(windowMessages, SizeMessage).empty());
    EXPECT_EQ(only(windowMessages, SizeMessage).back().lParam, 300 | (200 << 16));
    EXPECT_EQ(only(windowMessages, SizeMessage).back().wParam, SizeRestored);
}

TEST(SubclassTest, ChildButtonClicksArriveAsCommands)
{
    QWidget window;
    auto* before = new QPushButton(QStringLiteral("Eins"), &window);
    const Handle windowHandle = registerObject(&window, ObjectKind::Window, 0x10CF0000);
    const Handle beforeHandle = registerObject(before, ObjectKind::Control, 0x50010000);
    std::vector<Received> received;
    ASSERT_TRUE(SetWindowSubclass(windowHandle, recordingProc, 1, refData(received)));
    auto* after = new QPushButton(QStringLiteral("Zwei"), &window);
    const Handle afterHandle = registerObject(after, ObjectKind::Control, 0x50010000);
    window.show();

    int clicked = 0;
    QObject::connect(before, &QPushButton::clicked, [&clicked] { ++clicked; });
    QTest::mouseClick(before, Qt::LeftButton);
    after->click();
    EXPECT_EQ(clicked, 1); // the button still works as before
    EXPECT_EQ(
        only(received, CommandMessage),
        (std::vector<Received>{
            {windowHandle, CommandMessage, 0, beforeHandle, 1},
            {windowHandle, CommandMessage, 0, afterHandle, 1}}));
}

TEST(SubclassTest, F1ArrivesAsHelp)
{
    QWidget widget;
    const Handle handle = registerObject(&widget, ObjectKind::Control);
    std::vector<Received> received;
    ASSERT_TRUE(SetWindowSubclass(handle, recordingProc, 1, refData(received)));
    QTest::keyClick(&widget, Qt::Key_F2);
    EXPECT_TRUE(only(received, HelpMessage).empty());
    QTest::keyClick(&widget, Qt::Key_F1);
    EXPECT_EQ(only(received, HelpMessage).size(), 1u);
}

TEST(SubclassTest, AttachmentsByProcedureAndId)
{
    QWidget widget;
    const Handle handle = registerObject(&widget, ObjectKind::Control);
    std::vector<Received> first;
    std::vector<Received> second;
    int otherCalls = 0;

    EXPECT_FALSE(SetWindowSubclass(NoHandle, recordingProc, 1, refData(first)));
    EXPECT_FALSE(SetWindowSubclass(handle, nullptr, 1, 0));
    ASSERT_TRUE(SetWindowSubclass(handle, recordingProc, 1, refData(first)));
    // The same procedure and id again only changes the reference data.
    ASSERT_TRUE(SetWindowSubclass(handle, recordingProc, 1, refData(second)));
    ASSERT_TRUE(SetWindowSubclass(handle, recordingProc, 2, refData(second)));
    ASSERT_TRUE(SetWindowSubclass(handle, otherProc, 1, reinterpret_cast<std::intptr_t>(&otherCalls)));
    EXPECT_EQ(subclassCount(handle), 3);

    // The most recently attached answers first.
    EXPECT_EQ(sendSubclassMessage(handle, HelpMessage, 0, 0), 5);
    EXPECT_TRUE(first.empty());
    EXPECT_EQ(second.size(), 2u);
    EXPECT_EQ(otherCalls, 1);

    EXPECT_FALSE(RemoveWindowSubclass(handle, otherProc, 2));
    EXPECT_TRUE(RemoveWindowSubclass(handle, otherProc, 1));
    EXPECT_FALSE(RemoveWindowSubclass(handle, otherProc, 1));
    EXPECT_TRUE(RemoveWindowSubclass(handle, recordingProc, 1));
    EXPECT_TRUE(RemoveWindowSubclass(handle, recordingProc, 2));
    EXPECT_EQ(subclassCount(handle), 0);
    QTest::keyClick(&widget, Qt::Key_F1);
    EXPECT_EQ(second.size(), 2u);
}

TEST(SubclassTest, AttachmentsEndWithTheWidget)
{
    auto widget = std::make_unique<QWidget>();
    const Handle handle = registerObject(widget.get(), ObjectKind::Control);
    std::vector<Received> received;
    ASSERT_TRUE(SetWindowSubclass(handle, recordingProc, 1, refData(received)));
    widget.reset();
    EXPECT_EQ(subclassCount(handle), 0);
    EXPECT_EQ(sendSubclassMessage(handle, HelpMessage, 0, 0), 0);
    EXPECT_TRUE(received.empty());
}

// A procedure that detaches itself while a message is delivered.
std::intptr_t detachingProc(
    Handle hwnd,
    std::uint32_t message,
    std::intptr_t wParam,
    std::intptr_t lParam,
    std::intptr_t id,
    std::intptr_t refData)
{
    RemoveWindowSubclass(hwnd, detachingProc, id);
    RemoveWindowSubclass(hwnd, recordingProc, 1);
    ++*reinterpret_cast<int*>(refData);
    return DefSubclassProc(hwnd, message, wParam, lParam);
}

TEST(SubclassTest, ProcedureDetachedDuringDeliveryIsNotCalled)
{
    QWidget widget;
    const Handle handle = registerObject(&widget, ObjectKind::Control);
    std::vector<Received> received;
    int calls = 0;
    ASSERT_TRUE(SetWindowSubclass(handle, recordingProc, 1, refData(received)));
    ASSERT_TRUE(SetWindowSubclass(handle, detachingProc, 1, reinterpret_cast<std::intptr_t>(&calls)));
    sendSubclassMessage(handle, HelpMessage, 0, 0);
    EXPECT_EQ(calls, 1);
    EXPECT_TRUE(received.empty());
    EXPECT_EQ(subclassCount(handle), 0);
}

} // namespace
} // namespace folvex
