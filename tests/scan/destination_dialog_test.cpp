#include "scan/destination_dialog.h"

#include "foundation/control_creation.h"
#include "runtime/draw_objects.h"
#include "runtime/input_state.h"
#include "runtime/object_registry.h"
#include "runtime/window_events.h"
#include "runtime/window_messages.h"
#include "shell/shell_state.h"
#include "support/text_fit.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <functional>
#include <memory>

namespace folvex {
namespace {

// The dialog's controls as the user sees them.
struct DialogParts
{
    QWidget* window = nullptr;
    QComboBox* combo = nullptr;
    QCheckBox* check = nullptr;
    QPushButton* ok = nullptr;
    QPushButton* cancel = nullptr;
};

QPushButton* buttonLabelled(QWidget* window, const QString& label)
{
    for (QPushButton* button : window->findChildren<QPushButton*>()) {
        if (button->text() == label) {
            return button;
        }
    }
    return nullptr;
}

// Runs act on the dialog as soon as it is shown.
void whenDialogShows(std::function<void(const DialogParts&)> act)
{
    auto* timer = new QTimer;
    timer->setInterval(5);
    QObject::connect(timer, &QTimer::timeout, [timer, act = std::move(act)] {
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            if (widget->isVisible() && widget->windowTitle() == QStringLiteral("Ziel temporär ändern")) {
                timer->stop();
                timer->deleteLater();
                act(
                    {widget,
                     widget->findChild<QComboBox*>(),
                     widget->findChild<QCheckBox*>(),
                     buttonLabelled(widget, QStringLiteral("Ok")),
                     buttonLabelled(widget, QStringLiteral("Abbruch"))});
                return;
            }
        }
    });
    timer->start();
}

class DestinationDialogTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        clearKeyStates();
        startFoundationLibrary("/opt/folvex/Folvex");
        DrainWindowEvents();
        mainWindow = create("WINDOW", NoHandle, "Hauptfenster", 100, 100, 600, 400, 0);
        ASSERT_NE(mainWindow, NoHandle);
        mainWidget.reset(findWidget(mainWindow));
        setMainWindowHandle(mainWindow);
        font = createFont("Arial", 9);
        types.assign(std::begin(DestinationTypeNames), std::end(DestinationTypeNames));
    }

    void TearDown() override
    {
        setMainWindowHandle(NoHandle);
        mainWidget.reset();
        deleteDrawObject(font);
        DrainWindowEvents();
    }

    Handle mainWindow = NoHandle;
    std::unique_ptr<QWidget> mainWidget;
    Handle font = NoHandle;
    std::vector<std::string> types;
};

TEST_F(DestinationDialogTest, ShowsTheCurrentChoiceInTheJobsFont)
{
    // What the dialog showed, read while it was open.
    struct Control
    {
        QRect geometry;
        QString text;
        QFont font;
    };

    std::vector<Control> controls;
    QRect frame;
    QWidget* owner = nullptr;
    QStringList items;
    bool ticked = false;
    whenDialogShows([&](const DialogParts& d) {
        ASSERT_TRUE(d.combo && d.check && d.ok && d.cancel);
        frame = d.window->frameGeometry();
        owner = d.window->parentWidget();
        for (int i = 0; i < d.combo->count(); ++i) {
            items << d.combo->itemText(i);
        }
        ticked = d.check->isChecked();
        controls = {
            {d.combo->geometry(), d.combo->currentText(), d.combo->font()},
            {d.check->geometry(), d.check->text(), d.check->font()},
            {d.ok->geometry(), d.ok->text(), d.ok->font()},
            {d.cancel->geometry(), d.cancel->text(), d.cancel->font()}};
        QTest::mouseClick(d.cancel, Qt::LeftButton);
    });

    EXPECT_EQ(runDestinationDialog(types, {"JPG", true}, font), std::nullopt);

    QStringList expectedItems;
    for (const std::string& type : types) {
        expectedItems << QString::fromStdString(type);
    }
    EXPECT_EQ(items, expectedItems);
    EXPECT_TRUE(ticked);
    ASSERT_EQ(controls.size(), 4U);
    const std::vector<std::pair<QRect, QString>> expected{
        {QRect(5, 5, 140, 23), QStringLiteral("JPG")},
        {QRect(7, 33, 160, 20), QStringLiteral("leere Seiten entfernen")},
        {QRect(5, 65, 60, 30), QStringLiteral("Ok")},
        {QRect(85, 65, 60, 30), QStringLiteral("Abbruch")}};
    const QFont* jobFont = findFont(font);
    ASSERT_NE(jobFont, nullptr);
    for (std::size_t i = 0; i < controls.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(controls[i].geometry, expected[i].first);
        EXPECT_EQ(controls[i].text, expected[i].second);
        EXPECT_EQ(controls[i].font.family(), jobFont->family());
        EXPECT_EQ(controls[i].font.pointSizeF(), jobFont->pointSizeF());
    }
    EXPECT_EQ(owner, mainWidget.get());
    const QRect mainFrame = mainWidget->frameGeometry();
    EXPECT_NEAR(frame.center().x(), mainFrame.center().x(), 1);
    EXPECT_NEAR(frame.center().y(), mainFrame.center().y(), 1);
}

TEST_F(DestinationDialogTest, EveryTextFitsItsControl)
{
    std::vector<std::string> cut{"not shown"};
    whenDialogShows([&](const DialogParts& d) {
        cut = testing::cutTexts(*d.window);
        QTest::mouseClick(d.cancel, Qt::LeftButton);
    });
    EXPECT_EQ(runDestinationDialog(types, {"mehrseitiges TIF", true}, font), std::nullopt);
    EXPECT_EQ(cut, std::vector<std::string>{});
}

TEST_F(DestinationDialogTest, OnlyOkReturnsAChoice)
{
    struct Case
    {
        const char* label;
        std::function<void(const DialogParts&)> finish;
        std::optional<DestinationChoice> expected;
    };

    const Case cases[] = {
        {"Ok",
         [](const DialogParts& d) { QTest::mouseClick(d.ok, Qt::LeftButton); },
         DestinationChoice{"GIF", false}},
        {"Abbruch", [](const DialogParts& d) { QTest::mouseClick(d.cancel, Qt::LeftButton); }, std::nullopt},
        {"close box", [](const DialogParts& d) { d.window->close(); }, std::nullopt},
        {"Esc", [](const DialogParts& d) { QTest::keyClick(d.combo, Qt::Key_Escape); }, std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        bool stillOpenAfterChanges = false;
        whenDialogShows([&](const DialogParts& d) {
            // Changing the type and the check box leaves the dialog open.
            d.combo->setCurrentIndex(d.combo->findText(QStringLiteral("GIF")));
            QTest::mouseClick(d.check, Qt::LeftButton);
            QTimer::singleShot(0, d.window, [&stillOpenAfterChanges, d, finish = c.finish] {
                stillOpenAfterChanges = d.window->isVisible();
                finish(d);
            });
        });

        EXPECT_EQ(runDestinationDialog(types, {"PDF", true}, font), c.expected);

        EXPECT_TRUE(stillOpenAfterChanges);
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            EXPECT_FALSE(
                widget->isVisible() && widget->windowTitle() == QStringLiteral("Ziel temporär ändern"));
        }
    }
}

} // namespace
} // namespace folvex
