#include "scan/scan_result.h"

#include "foundation/note.h"
#include "foundation/paths.h"
#include "runtime/safe_file.h"
#include "scan/saved_pages.h"

#include <algorithm>
#include <string>

namespace folvex {

namespace {

std::string text(std::string_view view)
{
    return std::string(view);
}

std::string numbered(std::string_view prefix, std::int32_t number)
{
    return std::string(prefix) + std::to_string(number) + ".bmp";
}

// What the user chose in the result dialog, whichever button set was shown.
enum class ResultAnswer
{
    Save,
    Edit,
    ScanOn,
    ScanBacks,
    ChangeDestination,
    Abort,
};

ResultAnswer answerOf(std::int32_t button, bool frontBlock)
{
    switch (button) {
        case 1:
            return ResultAnswer::Save;
        case 2:
            return ResultAnswer::Edit;
        case 3:
            return ResultAnswer::ScanOn;
        case 4:
            return frontBlock ? ResultAnswer::ScanBacks : ResultAnswer::ChangeDestination;
        case 5:
            return frontBlock ? ResultAnswer::ChangeDestination : ResultAnswer::Abort;
        default:
            return ResultAnswer::Abort;
    }
}

class ResultStep
{
public:
    ResultStep(ScanJobContext& context, ScanJobState& job)
        : m_context(context)
        , m_shell(context.shell)
        , m_window(context.window)
        , m_job(job)
    {}

    void run()
    {
        m_job.skipAcquisition = 0;
        while (!act(askUntilDecided())) {
        }
    }

private:
    // A front block of an acquiring job, which alone may be followed by its back sides: only while
    // its scan files are not yet merged, as back sides scanned after the merge could not go between
    // them.
    bool frontBlock() const
    {
        return m_job.backPass == 0 && m_job.rescanPending == 0 && m_job.existingPages == 0 &&
               m_job.blockMerged == 0;
    }

    std::string resultText() const
    {
        const ScanCounterPair& counters = m_shell.ScanCounters;
        // Page files found by a job on existing pages belong to its first block only.
        const std::int32_t pages =
            m_job.existingPages == 1 ? counters.pass + m_job.readyCount : counters.pass;
        std::string message =
            "Scannen erfolgreich (" + std::to_string(pages) + (pages == 1 ? " Seite)" : " Seiten)");
        const std::int32_t total = counters.job + m_job.readyCount;
        if (total != pages) {
            message += text(TotalPagesLine) + std::to_string(total);
        }
        return message;
    }

    std::intptr_t showResultDialog()
    {
        const bool front = frontBlock();
        ActionBoxParams params;
        ResetActionBoxParams(params);
        params.Title = text(ResultTitle);
        params.Text = resultText();
        params.Icon = InformationIcon;
        params.Buttons = text(front ? ResultButtonsFront : ResultButtons);
        params.ButtonCount = front ? 6 : 5;
        params.Tooltips = text(front ? ResultTooltipsFront : ResultTooltips);
        params.ButtonWidth = front ? ResultFrontButtonWidthPx : 0;
        params.ButtonHeight = ResultButtonHeightPx;
        params.DefaultButton = 1;
        return m_context.dialogs.actionBox(params);
    }

    // Shows the result dialog until an answer leaves it; "Ziel ändern" and "Bearbeiten" come back.
    ResultAnswer askUntilDecided()
    {
        for (;;) {
            const bool front = frontBlock();
            m_job.resultButton = static_cast<std::int32_t>(showResultDialog());
            const ResultAnswer answer = answerOf(m_job.resultButton, front);
            if (answer == ResultAnswer::ChangeDestination) {
                changeDestination();
            } else if (answer == ResultAnswer::Edit) {
                mergeScannedPages(m_context, m_job);
                if (m_shell.entryPoints.EditPages) {
                    m_shell.entryPoints.EditPages(m_job.discardBlank, m_job.emptyRemoved);
                    countEditedPages();
                }
            } else {
                return answer;
            }
        }
    }

    // Every block is merged before the editor runs, so the page files it leaves are all of the job's
    // pages: the dialog and the counts of later blocks go on from them.
    void countEditedPages()
    {
        const std::int32_t pages = countNumberedFiles(
            m_shell.settingsState.settings.TmpPath, PageFilePrefix, 1, ".bmp", MaxReadyPages);
        m_job.readyCount = 0;
        m_shell.ScanCounters.pass = pages;
        m_shell.ScanCounters.job = pages;
    }

    void changeDestination()
    {
        // The table counts from 1.
        std::vector<std::string> types;
        for (std::int32_t i = 1; i <= m_shell.DestinationTypeCount &&
                                 static_cast<std::size_t>(i) < m_shell.DestinationTypes.size();
             ++i) {
            types.push_back(m_shell.DestinationTypes[static_cast<std::size_t>(i)]);
        }
        const DestinationChoice current{
            m_window.selectorText(ScanSelector::DestinationType),
            m_window.checkBoxTicked(ScanCheckBox::DiscardBlank)};
        const std::optional<DestinationChoice> chosen =
            m_context.dialogs.changeDestination(types, current, m_job.jobFont);
        if (!chosen) {
            return;
        }
        m_window.setDestinationType(chosen->type);
        m_window.setDiscardBlank(chosen->discardBlank);
        m_job.discardBlank = m_window.checkBoxTicked(ScanCheckBox::DiscardBlank) ? 1 : 0;
    }

    // Carries out an answer that left the dialog; false when the dialog is to come again.
    bool act(ResultAnswer answer)
    {
        switch (answer) {
            case ResultAnswer::Save:
                return save();
            case ResultAnswer::ScanOn:
                return scanOn();
            case ResultAnswer::ScanBacks:
                m_job.backPass = 1;
                m_job.nextCycle = 1;
                return true;
            case ResultAnswer::Edit:
            case ResultAnswer::ChangeDestination:
            case ResultAnswer::Abort:
                break;
        }
        m_job.ok = 0;
        m_job.nextCycle = 0;
        return true;
    }

    bool save()
    {
        mergeScannedPages(m_context, m_job);
        m_job.nextCycle = 0;
        const auto writer = m_context.writers.find(m_window.selectorText(ScanSelector::DestinationType));
        if (writer == m_context.writers.end() || !writer->second) {
            return true;
        }
        m_context.pagesSaved = false;
        switch (writer->second(m_context, m_job)) {
            case WriterOutcome::Written:
                if (m_context.pagesSaved) {
                    markPagesSaved(m_shell.settingsState.settings.TmpPath, m_job.mergedPages);
                }
                m_job.nextCycle = 0;
                return true;
            case WriterOutcome::Declined:
                m_job.ok = 0;
                m_job.nextCycle = 0;
                return true;
            case WriterOutcome::Cancelled:
                // No name was given: the pages stay merged and the result dialog comes again.
                m_job.nextCycle = 0;
                return false;
        }
        return true;
    }

    bool scanOn()
    {
        if (!mergeScannedPages(m_context, m_job)) {
            // A new block would write over the scan files the merge left behind.
            return false;
        }
        m_job.nextCycle = 1;
        // The next pass scans the front sides of a new block, whether a scanner is open now or later.
        m_job.backPass = 0;
        m_job.rescanPending = 0;
        if (m_shell.CurrentSource != NoHandle) {
            m_job.existingPages = 0;
            return true;
        }
        ActionBoxParams params;
        ResetActionBoxParams(params);
        params.Title = text(NoScannerTitle);
        params.Text = text(NoScannerQuestion);
        params.Icon = InformationIcon;
        params.ButtonCount = 2;
        params.Buttons = text(NoScannerButtons);
        params.ButtonWidth = NoScannerButtonWidthPx;
        params.DefaultButton = 1;
        if (m_context.dialogs.actionBox(params) == 1 && m_shell.entryPoints.SelectScanner) {
            m_shell.entryPoints.SelectScanner("");
            // Opening a source enables "Scannen"; the buttons stay disabled until the job's end.
            for (const MainButton button : {MainButton::Scan, MainButton::SelectScanner, MainButton::Quit}) {
                m_window.enableButton(button, false);
            }
        }
        return true;
    }

    ScanJobContext& m_context;
    ShellState& m_shell;
    ScanJobWindow& m_window;
    ScanJobState& m_job;
};

} // namespace

void runScanResult(ScanJobContext& context, ScanJobState& job)
{
    ResultStep step(context, job);
    step.run();
}

bool mergeScannedPages(ScanJobContext& context, ScanJobState& job)
{
    ScanJobWindow& window = context.window;
    const std::string kept = window.statusText();
    const std::string& tmpPath = context.shell.settingsState.settings.TmpPath;
    const std::string folder = tmpPath + "/";
    bool merged = true;

    const std::int32_t backs = job.backCount;
    for (std::int32_t i = 0; i < backs && merged; ++i) {
        window.setStatusNow(
            "Status: Rückseitenreihenfolge berichtigen (" + std::to_string(i + 1) + "/" +
            std::to_string(backs) + ")...");
        const std::string scanned = numbered(BackScanPrefix, i);
        const std::string reversed = numbered(ReversedBackPrefix, backs - 1 - i);
        if (FileExists(folder + scanned) == 1 && !renameNoReplace(folder + scanned, folder + reversed)) {
            ShowNote(
                "Die Datei »" + scanned + "« konnte nicht in »" + reversed +
                    "« umbenannt werden. Sie bleibt im temporären Ordner.",
                0);
            merged = false;
        }
    }

    std::int32_t page = countNumberedFiles(tmpPath, PageFilePrefix, 1, ".bmp", MaxReadyPages);
    const std::string progress = "/" + std::to_string(job.frontCount + job.backCount) + ")...";
    for (std::int32_t i = 0; merged; ++i) {
        const std::string front = numbered(FrontScanPrefix, i);
        const std::string back = numbered(ReversedBackPrefix, i);
        if (FileExists(folder + front) == 0 && FileExists(folder + back) == 0) {
            break;
        }
        for (const std::string& name : {front, back}) {
            if (!merged || FileExists(folder + name) == 0) {
                continue;
            }
            window.setStatusNow("Status: gescannte Dateien einreihen (" + std::to_string(i + 1) + progress);
            const std::string target = numbered(PageFilePrefix, page + 1);
            if (!renameNoReplace(folder + name, folder + target)) {
                ShowNote(
                    "Die Datei »" + name + "« konnte nicht als Seite »" + target +
                        "« eingereiht werden. Sie bleibt im temporären Ordner.",
                    0);
                merged = false;
            } else {
                ++page;
            }
        }
    }
    job.mergedPages = merged ? page : countNumberedFiles(tmpPath, PageFilePrefix, 1, ".bmp", MaxReadyPages);
    job.blockMerged = 1;
    window.setStatusNow(kept);
    return merged;
}

} // namespace folvex
