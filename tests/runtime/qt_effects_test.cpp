#include "runtime/qt_effects.h"

#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <utility>

namespace folvex {
namespace {

TEST(LineBreaksForDisplayTest, CarriageReturnsBecomeLineBreaks)
{
    struct Case
    {
        const char* text;
        const char* shown;
    };

    const Case cases[] = {
        {"a\rb", "a\nb"},
        {"a\r\nb", "a\nb"},
        {"a\nb", "a\nb"},
        {"a\r\rb", "a\n\nb"},
        {"a\r\n\r\nb\r", "a\n\nb\n"},
        {"", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(lineBreaksForDisplay(c.text), c.shown);
    }
}

// Runs action on the modal dialog of that class as soon as it is shown; closes any modal widget after
// a bound so a failing test cannot hang.
template <typename Dialog>
void whenModalShows(std::function<void(Dialog&)> action)
{
    auto* poll = new QTimer;
    int tries = 0;
    QObject::connect(poll, &QTimer::timeout, [poll, action, tries]() mutable {
        auto* box = qobject_cast<Dialog*>(QApplication::activeModalWidget());
        if (box == nullptr && ++tries < 2000) {
            return;
        }
        poll->stop();
        poll->deleteLater();
        if (box != nullptr) {
            action(*box);
        } else if (QWidget* modal = QApplication::activeModalWidget()) {
            modal->close();
        }
    });
    poll->start(5);
}

void whenMessageBoxShows(std::function<void(QMessageBox&)> action)
{
    whenModalShows<QMessageBox>(std::move(action));
}

struct ShownBox
{
    QString text;
    Qt::TextFormat format = Qt::AutoText;
    int labelHeight = 0;
    int lineSpacing = 0;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    int buttons = 0;
    QStringList buttonTexts;
};

TEST(QtMessageRequesterTest, ShowsCarriageReturnsAsTwoLines)
{
    for (const char* text : {"a\rb", "a\r\nb"}) {
        SCOPED_TRACE(text);
        ShownBox shown;
        whenMessageBoxShows([&shown](QMessageBox& box) {
            shown.text = box.text();
            shown.format = box.textFormat();
            if (auto* label = box.findChild<QLabel*>(QStringLiteral("qt_msgbox_label"))) {
                shown.labelHeight = label->sizeHint().height();
                shown.lineSpacing = label->fontMetrics().lineSpacing();
            }
            box.button(QMessageBox::Ok)->click();
        });
        QtMessageRequester requester;
        EXPECT_EQ(
            requester.showMessage("Hinweis", text, MessageButtons::Ok, MessageIcon::None), MessageAnswer::Ok);
        EXPECT_EQ(shown.text, QStringLiteral("a\nb"));
        EXPECT_EQ(shown.format, Qt::PlainText);
        EXPECT_GE(shown.labelHeight, 2 * shown.lineSpacing);
    }
}

TEST(QtMessageRequesterTest, ButtonsIconsAndAnswers)
{
    struct Case
    {
        const char* label;
        MessageButtons buttons;
        MessageIcon icon;
        QMessageBox::Icon shownIcon;
        int buttonCount;
        QMessageBox::StandardButton click; // NoButton: press Esc
        MessageAnswer answer;
    };

    const Case cases[] = {
        {"ok",
         MessageButtons::Ok,
         MessageIcon::Information,
         QMessageBox::Information,
         1,
         QMessageBox::Ok,
         MessageAnswer::Ok},
        {"ok, esc",
         MessageButtons::Ok,
         MessageIcon::None,
         QMessageBox::NoIcon,
         1,
         QMessageBox::NoButton,
         MessageAnswer::Ok},
        {"ok-cancel, ok",
         MessageButtons::OkCancel,
         MessageIcon::Question,
         QMessageBox::Question,
         2,
         QMessageBox::Ok,
         MessageAnswer::Ok},
        {"ok-cancel, esc",
         MessageButtons::OkCancel,
         MessageIcon::Question,
         QMessageBox::Question,
         2,
         QMessageBox::NoButton,
         MessageAnswer::Cancel},
        {"yes-no, no",
         MessageButtons::YesNo,
         MessageIcon::Warning,
         QMessageBox::Warning,
         2,
         QMessageBox::No,
         MessageAnswer::No},
        {"yes-no, esc",
         MessageButtons::YesNo,
         MessageIcon::Warning,
         QMessageBox::Warning,
         2,
         QMessageBox::NoButton,
         MessageAnswer::No},
        {"yes-no-cancel, yes",
         MessageButtons::YesNoCancel,
         MessageIcon::Error,
         QMessageBox::Critical,
         3,
         QMessageBox::Yes,
         MessageAnswer::Yes},
        {"yes-no-cancel, cancel",
         MessageButtons::YesNoCancel,
         MessageIcon::Error,
         QMessageBox::Critical,
         3,
         QMessageBox::Cancel,
         MessageAnswer::Cancel},
        {"yes-no-cancel, esc",
         MessageButtons::YesNoCancel,
         MessageIcon::Error,
         QMessageBox::Critical,
         3,
         QMessageBox::NoButton,
         MessageAnswer::Cancel},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        ShownBox shown;
        QString title;
        whenMessageBoxShows([&shown, &title, &c](QMessageBox& box) {
            shown.icon = box.icon();
            shown.buttons = static_cast<int>(box.buttons().size());
            for (QAbstractButton* button : box.buttons()) {
                shown.buttonTexts.append(button->text());
            }
            title = box.windowTitle();
            if (c.click == QMessageBox::NoButton) {
                QTest::keyClick(&box, Qt::Key_Escape);
            } else if (QAbstractButton* button = box.button(c.click)) {
                button->click();
            } else {
                box.close();
            }
        });
        QtMessageRequester requester;
        EXPECT_EQ(requester.showMessage("Größe", "Text", c.buttons, c.icon), c.answer);
        EXPECT_EQ(title, QStringLiteral("Größe"));
        EXPECT_EQ(shown.icon, c.shownIcon);
        EXPECT_EQ(shown.buttons, c.buttonCount);
        // The buttons speak German whatever translations the system has.
        for (const QString& text : shown.buttonTexts) {
            EXPECT_TRUE(QStringList({"OK", "Abbrechen", "Ja", "Nein"}).contains(text)) << text.toStdString();
        }
    }
}

TEST(QtTextInputRequesterTest, GermanButtonsAndTheCancelAnswer)
{
    struct Case
    {
        const char* label;
        bool accept;
        const char* answer;
    };

    const Case cases[] = {
        {"typed and confirmed", true, "-2,5"},
        {"cancelled", false, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        QStringList buttonTexts;
        QString title;
        QString initial;
        whenModalShows<QInputDialog>([&](QInputDialog& dialog) {
            title = dialog.windowTitle();
            initial = dialog.textValue();
            for (QAbstractButton* button : dialog.findChildren<QAbstractButton*>()) {
                buttonTexts.append(button->text());
            }
            if (c.accept) {
                dialog.setTextValue(QStringLiteral("-2,5"));
                dialog.accept();
            } else {
                QTest::keyClick(&dialog, Qt::Key_Escape);
            }
        });
        QtTextInputRequester requester;
        EXPECT_EQ(requester.askText("freier Drehwinkel", "freien Drehwinkel eingeben:", "0"), c.answer);
        EXPECT_EQ(title, QStringLiteral("freier Drehwinkel"));
        EXPECT_EQ(initial, QStringLiteral("0"));
        EXPECT_TRUE(buttonTexts.contains(QStringLiteral("OK")));
        EXPECT_TRUE(buttonTexts.contains(QStringLiteral("Abbrechen")));
    }
}

// Linux names are case-sensitive, but the patterns a program gives are written for any case: a
// photo.jpg must be offered for "*.JPG".
TEST(QtFileRequesterTest, PatternsMatchWhateverTheCase)
{
    testing::TempDir folder;
    for (const char* name : {"photo.jpg", "SCAN.TIFF", "Mixed.Jpg", "notes.txt"}) {
        testing::writeFile(folder.file(name), "x");
    }
    QStringList offered;
    whenModalShows<QFileDialog>([&offered](QFileDialog& dialog) {
        auto* view = dialog.findChild<QListView*>(QStringLiteral("listView"));
        if (view == nullptr) {
            dialog.reject();
            return;
        }
        const auto listed = [view, &offered] {
            offered.clear();
            const QModelIndex root = view->rootIndex();
            for (int row = 0; row < view->model()->rowCount(root); ++row) {
                const QModelIndex index = view->model()->index(row, 0, root);
                if (view->model()->flags(index) & Qt::ItemIsEnabled) {
                    offered.push_back(index.data().toString());
                }
            }
            return offered.size() >= 3;
        };
        static_cast<void>(QTest::qWaitFor(listed, 5000));
        dialog.reject();
    });
    QtFileRequester requester;
    const std::vector<std::string> chosen =
        requester.openFiles({"Öffnen", folder.file("x"), "Bilder|*.JPG;*.TIFF", 0, true});
    EXPECT_TRUE(chosen.empty());
    offered.sort();
    EXPECT_EQ(
        offered,
        (QStringList{QStringLiteral("Mixed.Jpg"), QStringLiteral("SCAN.TIFF"), QStringLiteral("photo.jpg")}));
}

// The save dialog saves the name as it was typed: Qt's dialog would read a name with double quotes
// as a list of quoted names and give only the first of them (Ergebnis "Q1".pdf became Q1).
TEST(QtFileRequesterTest, SaveTakesTheNameAsTyped)
{
    testing::TempDir folder;
    std::filesystem::create_directory(folder.path() / "\"Ordner\"");

    struct Case
    {
        QStringList typed; // typed and confirmed one after the other
        std::string chosen;
    };

    const Case cases[] = {
        {{QStringLiteral("Ergebnis \"Q1\".pdf")}, "Ergebnis \"Q1\".pdf"},
        {{QStringLiteral("\"Q1\".pdf")}, "\"Q1\".pdf"},
        {{QStringLiteral("\"a\" \"b\"")}, "\"a\" \"b\""},
        {{QStringLiteral("Bericht.pdf")}, "Bericht.pdf"},
        // A quoted name of a folder opens the folder, as any folder's name does.
        {{QStringLiteral("\"Ordner\""), QStringLiteral("Seite \"1\".pdf")}, "\"Ordner\"/Seite \"1\".pdf"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.chosen);
        whenModalShows<QFileDialog>([&c](QFileDialog& dialog) {
            auto* edit = dialog.findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
            if (edit == nullptr) {
                dialog.reject();
                return;
            }
            for (const QString& typed : c.typed) {
                edit->setText(typed);
                // Confirmed with the mouse, as the button must be usable.
                auto* buttons = dialog.findChild<QDialogButtonBox*>(QStringLiteral("buttonBox"));
                QPushButton* save = buttons != nullptr ? buttons->button(QDialogButtonBox::Save) : nullptr;
                ASSERT_NE(save, nullptr);
                EXPECT_TRUE(save->isEnabled()) << typed.toStdString();
                QTest::mouseClick(save, Qt::LeftButton);
            }
            if (dialog.isVisible()) {
                dialog.reject();
            }
        });
        QtFileRequester requester;
        const std::string chosen =
            requester.saveFile({"Speichern unter", folder.file("x.pdf"), "PDF|*.pdf", 0, false});
        EXPECT_EQ(chosen, folder.file(c.chosen));
    }
}

} // namespace
} // namespace folvex
