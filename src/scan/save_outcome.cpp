#include "scan/save_outcome.h"

#include "foundation/paths.h"
#include "runtime/effects.h"

#include <algorithm>
#include <cerrno>

namespace folvex {

namespace {

constexpr std::intptr_t AllBlankIcon = 1;
constexpr std::intptr_t SaveErrorIcon = 3;
constexpr int SimpleBeep = -1;

void showBox(ScanJobContext& context, std::string_view title, std::string text, std::intptr_t icon)
{
    ActionBoxParams params;
    ResetActionBoxParams(params);
    params.Title = std::string(title);
    params.Text = std::move(text);
    params.Icon = icon;
    static_cast<void>(context.dialogs.actionBox(params));
}

// The messages on one line, in the order they arose.
std::string joinedMessages(const std::vector<std::string>& messages)
{
    std::string text(LibraryMessagePrefix);
    for (std::size_t i = 0; i < messages.size(); ++i) {
        text += (i == 0 ? "" : " / ") + messages[i];
    }
    return text;
}

} // namespace

std::string writeFailureCause(int error)
{
    switch (error) {
        case ENOSPC:
            return "kein Speicherplatz mehr frei";
        case EDQUOT:
            return "Speicherplatz-Kontingent erschöpft";
        case EACCES:
        case EPERM:
            return "keine Schreibrechte";
        case EROFS:
            return "schreibgeschütztes Dateisystem";
        case ENOENT:
        case ENOTDIR:
            return "Ordner nicht gefunden";
        case EFBIG:
            return "Datei zu groß";
        case EIO:
            return "Ein-/Ausgabefehler des Datenträgers";
        default:
            return {};
    }
}

void SaveOutcome::pageUnreadable(std::int32_t page)
{
    failures.push_back("Seite " + std::to_string(page) + ": konnte nicht gelesen werden.");
}

void SaveOutcome::fileNotWritten(const std::string& path, const std::string& cause)
{
    failures.push_back(
        PathFileName(path) + ": konnte nicht geschrieben werden." + (cause.empty() ? "" : " Grund: " + cause + "."));
}

void SaveOutcome::pageMessages(
    std::int32_t page, const std::vector<std::string>& messages, std::size_t failuresBefore)
{
    if (messages.empty()) {
        return;
    }
    if (failures.size() > failuresBefore) {
        failures.back() += " " + joinedMessages(messages);
    } else {
        failures.push_back("Seite " + std::to_string(page) + ": " + joinedMessages(messages));
    }
}

std::string saveFailureText(const std::vector<std::string>& failures)
{
    return std::string(SaveErrorIntro) + failureLines(failures);
}

std::string failureLines(const std::vector<std::string>& failures)
{
    std::string text;
    const std::size_t shown = std::min(failures.size(), MaxFailureLines);
    for (std::size_t i = 0; i < shown; ++i) {
        if (i > 0) {
            text += R"(\n)";
        }
        text += failures[i];
    }
    if (failures.size() > shown) {
        text += R"(\n… und )" + std::to_string(failures.size() - shown) + " weitere";
    }
    return text;
}

void SaveOutcome::listLibraryMessages()
{
    for (const std::string& message : libraryMessages.take()) {
        failures.push_back(std::string(LibraryMessagePrefix) + message);
    }
}

void finishWriterRun(ScanJobContext& context, SaveOutcome& outcome, bool setsLastOutput)
{
    outcome.listLibraryMessages();
    if (!outcome.written.empty() && setsLastOutput) {
        context.shell.LastOutputFile = outcome.written.back();
        context.window.enableMenuItem(LastOutputMenuItem, true);
        context.window.enableButton(MainButton::OpenLastOutput, true);
    }
    if (!outcome.failures.empty()) {
        showBox(context, SaveErrorTitle, saveFailureText(outcome.failures), SaveErrorIcon);
    } else if (!outcome.written.empty()) {
        context.pagesSaved = true;
        effects().sound->systemSound(SimpleBeep);
    } else {
        showBox(context, AllBlankTitle, std::string(AllBlankText), AllBlankIcon);
    }
}

} // namespace folvex
