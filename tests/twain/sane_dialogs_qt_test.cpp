#include "twain/sane_dialogs_qt.h"

#include "sane_test_backend.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QTimer>

#include <filesystem>

namespace folvex {
namespace {

using testing::CaseTimeoutMs;
using testing::filesIn;
using testing::runSaneCase;
using testing::SaneTestConfig;
using testing::TestDevice0;
using testing::TestDevice1;

// Runs body with a QApplication and the SANE library on the Qt windows, in a child process.
void runWindowCase(const SaneTestConfig& config, const std::function<void(SaneScannerLibrary&)>& body)
{
    runSaneCase(config, CaseTimeoutMs, [&] {
        static int argc = 1;
        static char name[] = "folvex_twain_tests";
        static char* argv[] = {name, nullptr};
        QApplication app(argc, argv);
        QtSaneDialogs dialogs;
        SaneScannerLibrary library(dialogs, testing::testTimeouts());
        ASSERT_EQ(library.initialize(), 1);
        body(library);
    });
}

// Once a modal window of the type is up and act says it is done with it, stops looking; fails when
// that does not happen within the bound.
template <typename Dialog>
void whenModal(std::function<bool(Dialog&)> act)
{
    auto* timer = new QTimer(qApp);
    auto ticks = std::make_shared<int>(0);
    QObject::connect(timer, &QTimer::timeout, [timer, ticks, act] {
        constexpr int MaxTicks = 1000;
        if (++*ticks > MaxTicks) {
            ADD_FAILURE() << "the window never became ready";
            timer->stop();
            if (QWidget* modal = QApplication::activeModalWidget()) {
                modal->close();
            }
            return;
        }
        auto* dialog = qobject_cast<Dialog*>(QApplication::activeModalWidget());
        if (dialog != nullptr && act(*dialog)) {
            timer->stop();
            timer->deleteLater();
        }
    });
    timer->start(20);
}

TEST(SourceChooserDialogTest, ListsTheDevicesAndGivesTheChosenOneOpened)
{
    SaneTestConfig config;
    runWindowCase(config, [](SaneScannerLibrary& library) {
        QStringList shown;
        whenModal<SourceChooserDialog>([&](SourceChooserDialog& dialog) {
            if (dialog.deviceList()->count() < 2) {
                return false;
            }
            EXPECT_EQ(dialog.windowTitle(), QStringLiteral("Scanner auswählen"));
            EXPECT_TRUE(dialog.isModal());
            for (int i = 0; i < dialog.deviceList()->count(); ++i) {
                shown << dialog.deviceList()->item(i)->text();
            }
            EXPECT_TRUE(dialog.chooseButton()->isEnabled());
            EXPECT_EQ(dialog.chooseButton()->text(), QStringLiteral("Auswählen"));
            dialog.deviceList()->setCurrentRow(1);
            dialog.chooseButton()->click();
            return true;
        });
        const SourceHandle chosen = library.selectSourceWithDialog();
        EXPECT_EQ(
            shown, (QStringList{QString::fromStdString(TestDevice0), QString::fromStdString(TestDevice1)}));
        EXPECT_NE(chosen, NoHandle);
        EXPECT_EQ(library.productName(chosen, 5000), TestDevice1);
        EXPECT_NE(library.hasFeeder(chosen), 0) << "the chosen source is open";

        whenModal<SourceChooserDialog>([](SourceChooserDialog& dialog) {
            if (dialog.deviceList()->count() < 2) {
                return false;
            }
            EXPECT_EQ(dialog.cancelButton()->text(), QStringLiteral("Abbrechen"));
            dialog.cancelButton()->click();
            return true;
        });
        EXPECT_EQ(library.selectSourceWithDialog(), NoHandle);
    });
}

TEST(SourceChooserDialogTest, SaysWhenNoScannerIsFound)
{
    // No backend at all (the test backend itself cannot be set to no devices).
    SaneTestConfig config;
    testing::writeFile(config.directory() + "/dll.conf", "");
    runWindowCase(config, [](SaneScannerLibrary& library) {
        bool seen = false;
        whenModal<SourceChooserDialog>([&](SourceChooserDialog& dialog) {
            if (dialog.statusLabel()->text() != QStringLiteral("Kein Scanner gefunden.")) {
                EXPECT_EQ(dialog.statusLabel()->text(), QStringLiteral("Scanner werden gesucht..."));
                return false;
            }
            seen = true;
            EXPECT_EQ(dialog.deviceList()->count(), 0);
            EXPECT_FALSE(dialog.chooseButton()->isEnabled());
            dialog.chooseButton()->click();
            dialog.reject();
            return true;
        });
        EXPECT_EQ(library.selectSourceWithDialog(), NoHandle);
        EXPECT_TRUE(seen);
    });
}

TEST(ScanProgressDialogTest, AbbrechenEscAndCloseCancelAfterTheFirstPage)
{
    enum class Trigger
    {
        Button,
        Escape,
        Close,
    };
    for (Trigger trigger : {Trigger::Button, Trigger::Escape, Trigger::Close}) {
        SCOPED_TRACE(static_cast<int>(trigger));
        SaneTestConfig config({
            {"read-limit", "true"},
            {"read-limit-size", "4096"},
            {"read-delay", "true"},
            {"read-delay-duration", "200000"},
        });
        const std::string work = config.work();
        runWindowCase(config, [&](SaneScannerLibrary& library) {
            const SourceHandle source = library.selectSourceByName(TestDevice0);
            ASSERT_NE(source, NoHandle);
            EXPECT_EQ(library.setResolution(source, 100.0), 1);
            EXPECT_EQ(library.enableFeeder(source, 1), 1);
            int pages = 0;
            library.setNotificationCallback(
                [&](std::int32_t, std::int32_t, std::int64_t) {
                    if (pages++ > 0) {
                        return 1;
                    }
                    auto* dialog = qobject_cast<ScanProgressDialog*>(QApplication::activeModalWidget());
                    EXPECT_NE(dialog, nullptr);
                    if (dialog == nullptr) {
                        return 1;
                    }
                    EXPECT_EQ(dialog->windowTitle(), QStringLiteral("Scannen"));
                    EXPECT_EQ(dialog->windowModality(), Qt::ApplicationModal);
                    EXPECT_TRUE(dialog->pageLabel()->text().startsWith(QStringLiteral("Seite ")));
                    EXPECT_TRUE(dialog->pageLabel()->text().endsWith(QStringLiteral(" wird gescannt...")));
                    EXPECT_FALSE(dialog->findChildren<QLabel*>().isEmpty());
                    bool productShown = false;
                    for (QLabel* label : dialog->findChildren<QLabel*>()) {
                        productShown = productShown || label->text() == QString::fromStdString(TestDevice0);
                    }
                    EXPECT_TRUE(productShown);
                    switch (trigger) {
                        case Trigger::Button:
                            EXPECT_EQ(dialog->cancelButton()->text(), QStringLiteral("Abbrechen"));
                            dialog->cancelButton()->click();
                            break;
                        case Trigger::Escape: {
                            QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
                            QApplication::sendEvent(dialog, &escape);
                            break;
                        }
                        case Trigger::Close:
                            dialog->close();
                            EXPECT_TRUE(dialog->isVisible()) << "the window stays until the scanner stopped";
                            break;
                    }
                    return 1;
                },
                0,
                0);
            const FileListHandle list = library.createFileList(6, 1);
            library.setFileListEntry(list, 0, work + "/tmpimg.bmp");
            std::int32_t status = 0;
            EXPECT_EQ(library.acquireToFiles(source, list, 100, 0x241, 1, -1, 1, 0, &status), 1);
            EXPECT_EQ(status, 1002);
            EXPECT_GE(pages, 1);
            EXPECT_LT(pages, 10);
            EXPECT_EQ(static_cast<int>(filesIn(work).size()), pages);
            EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
        });
    }
}

} // namespace
} // namespace folvex
