#include "scan/save_outcome.h"

#include "foundation/paths.h"
#include "runtime/effects.h"

#include <algorithm>

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

} // namespace

void SaveOutcome::pageUnreadable(std::int32_t page)
{
    failures.push_back("Seite " + std::to_string(page) + ": konnte nicht gelesen werden.");
}

void SaveOutcome::fileNotWritten(const std::string& path)
{
    failures.push_back(PathFileName(path) + ": konnte nicht geschrieben werden.");
}

std::string saveFailureText(const std::vector<std::string>& failures)
{
    std::string text(SaveErrorIntro);
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

void finishWriterRun(ScanJobContext& context, const SaveOutcome& outcome, bool setsLastOutput)
{
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
