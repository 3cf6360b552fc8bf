#include "runtime/qt_effects.h"

#include "runtime/process_runner.h"
#include "runtime/waiting_process_runner.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QInputDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QStringList>

#include <algorithm>
#include <utility>

namespace folvex {
namespace {

QWidget* dialogParent()
{
    return QApplication::activeWindow();
}

QStringList nameFilters(const std::string& patterns)
{
    QStringList filters;
    for (const FilePattern& entry : parseFilePatterns(patterns)) {
        QStringList globs;
        for (const std::string& pattern : entry.patterns) {
            globs.push_back(QString::fromUtf8(pattern));
        }
        filters.push_back(
            QString::fromUtf8(entry.description) + QStringLiteral(" (") + globs.join(QLatin1Char(' ')) +
            QStringLiteral(")"));
    }
    return filters;
}

// A non-native file dialog set up from a request: filters, the filter shown first, the folder and
// name given by defaultFile.
void prepareFileDialog(QFileDialog& dialog, const FileRequest& request)
{
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setWindowTitle(QString::fromUtf8(request.title));
    const QStringList filters = nameFilters(request.patterns);
    if (!filters.isEmpty()) {
        dialog.setNameFilters(filters);
        if (request.patternIndex >= 0 && request.patternIndex < filters.size()) {
            dialog.selectNameFilter(filters.at(request.patternIndex));
        }
    }
    if (!request.defaultFile.empty()) {
        const QFileInfo info(QString::fromUtf8(request.defaultFile));
        if (request.defaultFile.find('/') != std::string::npos) {
            dialog.setDirectory(info.absolutePath());
        }
        if (!info.fileName().isEmpty()) {
            dialog.selectFile(info.fileName());
        }
    }
}

// The save dialog that saves the name as typed. Qt's dialog reads typed text holding double quotes as
// a list of quoted names and would take only what stands between the first pair (a name typed as
// Ergebnis "Q1".pdf became Q1); quotes are allowed in Linux file names, so such a name is taken whole,
// relative to the folder shown.
class TypedNameSaveDialog final : public QFileDialog
{
public:
    using QFileDialog::QFileDialog;

    // Keeps the save button usable for a typed name with quotes, which the dialog's own check (reading
    // it as a list of names) may gray. Called once the dialog is in save mode.
    void allowQuotedNames()
    {
        auto* edit = findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
        auto* buttons = findChild<QDialogButtonBox*>(QStringLiteral("buttonBox"));
        QPushButton* save = buttons != nullptr ? buttons->button(QDialogButtonBox::Save) : nullptr;
        if (edit == nullptr || save == nullptr) {
            return;
        }
        connect(edit, &QLineEdit::textChanged, save, [save](const QString& text) {
            if (text.contains(QLatin1Char('"'))) {
                save->setEnabled(true);
            }
        });
    }

    // The chosen file: the typed name when it held quotes, else the dialog's own choice.
    QString chosenFile() const
    {
        if (!m_typed.isEmpty()) {
            return m_typed;
        }
        const QStringList files = selectedFiles();
        return files.isEmpty() ? QString{} : files.first();
    }

    void accept() override
    {
        auto* edit = findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
        const QString typed = edit != nullptr ? edit->text() : QString{};
        if (!typed.contains(QLatin1Char('"'))) {
            m_typed.clear();
            QFileDialog::accept();
            return;
        }
        const QString path = QDir::cleanPath(directory().absoluteFilePath(typed));
        if (QFileInfo(path).isDir()) {
            // As the dialog does with the name of a folder: it opens the folder.
            setDirectory(path);
            edit->clear();
            return;
        }
        m_typed = path;
        QDialog::accept();
    }

private:
    QString m_typed;
};

std::vector<std::string> toUtf8(const QStringList& paths)
{
    std::vector<std::string> result;
    result.reserve(static_cast<std::size_t>(paths.size()));
    for (const QString& path : paths) {
        result.push_back(path.toStdString());
    }
    return result;
}

} // namespace

std::string lineBreaksForDisplay(const std::string& text)
{
    std::string shown;
    shown.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r') {
            shown.push_back('\n');
            if (i + 1 < text.size() && text[i + 1] == '\n') {
                ++i;
            }
        } else {
            shown.push_back(text[i]);
        }
    }
    return shown;
}

MessageAnswer QtMessageRequester::showMessage(
    const std::string& title, const std::string& text, MessageButtons buttons, MessageIcon icon)
{
    QMessageBox box(dialogParent());
    box.setWindowTitle(QString::fromUtf8(title));
    box.setTextFormat(Qt::PlainText);
    box.setText(QString::fromUtf8(lineBreaksForDisplay(text)));
    switch (icon) {
        case MessageIcon::None:
            box.setIcon(QMessageBox::NoIcon);
            break;
        case MessageIcon::Error:
            box.setIcon(QMessageBox::Critical);
            break;
        case MessageIcon::Question:
            box.setIcon(QMessageBox::Question);
            break;
        case MessageIcon::Warning:
            box.setIcon(QMessageBox::Warning);
            break;
        case MessageIcon::Information:
            box.setIcon(QMessageBox::Information);
            break;
    }
    // Esc and the close box: Cancel where there is one, else No, else Ok.
    switch (buttons) {
        case MessageButtons::Ok:
            box.setStandardButtons(QMessageBox::Ok);
            box.setEscapeButton(QMessageBox::Ok);
            break;
        case MessageButtons::OkCancel:
            box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel);
            box.setEscapeButton(QMessageBox::Cancel);
            break;
        case MessageButtons::YesNoCancel:
            box.setStandardButtons(QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
            box.setEscapeButton(QMessageBox::Cancel);
            break;
        case MessageButtons::YesNo:
            box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
            box.setEscapeButton(QMessageBox::No);
            break;
    }
    // German texts on the standard buttons, whether or not Qt's own translations are installed.
    const std::pair<QMessageBox::StandardButton, const char*> germanTexts[] = {
        {QMessageBox::Ok, "OK"},
        {QMessageBox::Cancel, "Abbrechen"},
        {QMessageBox::Yes, "Ja"},
        {QMessageBox::No, "Nein"},
    };
    for (const auto& [standard, german] : germanTexts) {
        if (QAbstractButton* button = box.button(standard)) {
            button->setText(QString::fromUtf8(german));
        }
    }
    box.exec();
    switch (box.standardButton(box.clickedButton())) {
        case QMessageBox::Ok:
            return MessageAnswer::Ok;
        case QMessageBox::Yes:
            return MessageAnswer::Yes;
        case QMessageBox::No:
            return MessageAnswer::No;
        default:
            break;
    }
    return buttons == MessageButtons::Ok ? MessageAnswer::Ok : MessageAnswer::Cancel;
}

std::string
QtTextInputRequester::askText(const std::string& title, const std::string& prompt, const std::string& initial)
{
    QInputDialog dialog(dialogParent());
    dialog.setWindowTitle(QString::fromUtf8(title));
    dialog.setLabelText(QString::fromUtf8(lineBreaksForDisplay(prompt)));
    dialog.setTextValue(QString::fromUtf8(initial));
    dialog.setOkButtonText(QStringLiteral("OK"));
    dialog.setCancelButtonText(QStringLiteral("Abbrechen"));
    // Wide enough for the title bar to show the whole title: the dialog sizes itself around its field.
    if (auto* field = dialog.findChild<QLineEdit*>()) {
        field->setMinimumWidth(
            std::max(240, dialog.fontMetrics().horizontalAdvance(dialog.windowTitle()) + 100));
    }
    if (dialog.exec() != QDialog::Accepted) {
        return {};
    }
    return dialog.textValue().toStdString();
}

std::vector<std::string> QtFileRequester::openFiles(const FileRequest& request)
{
    QFileDialog dialog(dialogParent());
    prepareFileDialog(dialog, request);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(request.multiple ? QFileDialog::ExistingFiles : QFileDialog::ExistingFile);
    if (dialog.exec() != QDialog::Accepted) {
        return {};
    }
    return toUtf8(dialog.selectedFiles());
}

std::string QtFileRequester::saveFile(const FileRequest& request)
{
    TypedNameSaveDialog dialog(dialogParent());
    prepareFileDialog(dialog, request);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setOption(QFileDialog::DontConfirmOverwrite);
    dialog.allowQuotedNames();
    if (dialog.exec() != QDialog::Accepted) {
        return {};
    }
    return dialog.chosenFile().toStdString();
}

std::string QtFileRequester::chooseFolder(const std::string& title, const std::string& startFolder)
{
    const QString folder = QFileDialog::getExistingDirectory(
        dialogParent(),
        QString::fromUtf8(title),
        QString::fromUtf8(startFolder),
        QFileDialog::ShowDirsOnly | QFileDialog::DontUseNativeDialog);
    return folder.toStdString();
}

void QtSoundSink::beep(int, int)
{
    QApplication::beep();
}

void QtSoundSink::playSound(const std::string&) {}

void QtSoundSink::systemSound(int)
{
    QApplication::beep();
}

void installRealEffects()
{
    static QtMessageRequester messages;
    static QtTextInputRequester textInput;
    static QtFileRequester files;
    static QtSoundSink sound;
    static WaitingProcessRunner processes;
    static ImmediateProgramExit exit;
    Effects& installed = effects();
    installed.messages = &messages;
    installed.textInput = &textInput;
    installed.files = &files;
    installed.sound = &sound;
    installed.processes = &processes;
    installed.exit = &exit;
}

} // namespace folvex
