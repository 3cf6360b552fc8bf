#include "scan/scan_job.h"

#include "foundation/note.h"
#include "foundation/paths.h"
#include "runtime/effects.h"
#include "runtime/text.h"
#include "scan/saved_pages.h"
#include "shell/scanner_selection.h"
#include "shell/settings.h"
#include "twain/bmp_page.h"

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <limits>
#include <string>
#include <system_error>

namespace folvex {

namespace {

constexpr std::int32_t ScannerDuplex = 2;

std::string text(std::string_view view)
{
    return std::string(view);
}

// The number of the resolution text's first blank-separated word, to the nearest integer.
std::int32_t resolutionFrom(const std::string& resolutionText)
{
    const std::size_t start = resolutionText.find_first_not_of(' ');
    if (start == std::string::npos) {
        return 0;
    }
    const std::size_t end = resolutionText.find(' ', start);
    const double value = readLeadingDecimal(std::string_view(resolutionText).substr(start, end - start));
    if (!(value > std::numeric_limits<std::int32_t>::min() &&
          value < std::numeric_limits<std::int32_t>::max())) {
        return 0;
    }
    return static_cast<std::int32_t>(std::nearbyint(value));
}

class ScanJob
{
public:
    ScanJob(ScanJobContext& context, std::uint8_t existingPages)
        : m_context(context)
        , m_shell(context.shell)
        , m_scanner(context.scanner)
        , m_window(context.window)
    {
        m_job.existingPages = existingPages;
    }

    void run()
    {
        if (!setUp()) {
            return;
        }
        while (m_job.nextCycle == 1 && m_job.ok == 1) {
            runCycle();
        }
        finish();
    }

private:
    const std::string& tmpPath() const { return m_shell.settingsState.settings.TmpPath; }

    std::string tmpFile(std::string_view name) const { return tmpPath() + "/" + std::string(name); }

    std::intptr_t
    box(std::string_view title,
        const std::string& message,
        std::intptr_t icon,
        std::string_view buttons = {},
        std::intptr_t defaultButton = 0,
        std::intptr_t buttonWidth = 0)
    {
        ActionBoxParams params;
        ResetActionBoxParams(params);
        params.Title = text(title);
        params.Text = message;
        params.Icon = icon;
        if (!buttons.empty()) {
            params.ButtonCount = 1 + std::count(buttons.begin(), buttons.end(), '|');
            params.Buttons = text(buttons);
            params.DefaultButton = defaultButton;
            params.ButtonWidth = buttonWidth;
        }
        return m_context.dialogs.actionBox(params);
    }

    bool setUp()
    {
        SettingsState& settings = m_shell.settingsState;
        m_job.jobFont = m_window.createJobFont();

        const std::string& sourceName = settings.settings.LastSourceName;
        if (!sourceName.empty()) {
            writeSetting(
                settings,
                "SOURCE " + sourceName,
                "LastPageOrigin",
                m_window.selectorText(ScanSelector::PaperSource));
        }
        writeSetting(settings, "LAST_VALUES", "ColorMode", m_window.selectorText(ScanSelector::ColourMode));
        writeSetting(settings, "LAST_VALUES", "Resolution", m_window.selectorText(ScanSelector::Resolution));
        writeSetting(
            settings, "LAST_VALUES", "DestType", m_window.selectorText(ScanSelector::DestinationType));
        writeSetting(settings, "LAST_VALUES", "PaperSize", m_window.selectorText(ScanSelector::PaperSize));
        writeSetting(
            settings,
            "LAST_VALUES",
            "DiscardEmptyPages",
            m_window.checkBoxTicked(ScanCheckBox::DiscardBlank) ? "1" : "0");

        if (m_shell.CurrentSource == NoHandle && m_shell.ImportRunning == 0 && m_job.existingPages == 0) {
            m_job.ok = 0;
            box(ErrorTitle, text(NoScannerSelectedText), WarningIcon);
        }
        if (m_job.ok == 1 && m_window.selectorText(ScanSelector::DestinationType) == OcrDestinationType &&
            findInPath(std::string(TesseractProgram)).empty()) {
            m_job.ok = 0;
            ShowNote(text(TesseractMissingNote), 0);
        }
        if (m_job.ok == 1 && m_job.existingPages == 0 && !mayDeleteOldPages(m_context)) {
            m_job.ok = 0;
        }

        // The page editor may have grown the table; entry 0 is not a page boundary.
        std::vector<std::uint8_t>& splits = m_shell.PageSplitFlags;
        std::fill(splits.begin() + std::min<std::size_t>(1, splits.size()), splits.end(), std::uint8_t{0});

        if (m_job.ok == 0) {
            m_window.freeJobFont(m_job.jobFont);
            m_job.jobFont = NoHandle;
            return false;
        }
        for (const MainButton button : {MainButton::Scan, MainButton::SelectScanner, MainButton::Quit}) {
            m_window.enableButton(button, false);
        }
        if (m_job.existingPages == 0) {
            DeleteOldTempFiles(m_context, static_cast<std::int32_t>(TempCleanUp::Everything));
        }
        m_job.mergedPages = 0;
        m_shell.ScanCounters.job = 0;
        m_job.nextCycle = 1;
        return true;
    }

    void applyCycleSettings()
    {
        const SourceHandle source = m_shell.CurrentSource;
        if (m_window.selectorText(ScanSelector::PaperSource) == FeederPaperSource) {
            m_job.feederOn = 1;
            m_scanner.enableFeeder(source, 1);
        } else {
            m_job.feederOn = 0;
            if (m_scanner.hasFeeder(source) != 0) {
                m_scanner.enableFeeder(source, 0);
            }
        }
        m_job.duplexMode = 0;
        if (m_job.feederOn == 1 && m_window.checkBoxEnabled(ScanCheckBox::Duplex) &&
            m_window.checkBoxTicked(ScanCheckBox::Duplex)) {
            m_job.duplexMode = ScannerDuplex;
        }
        m_job.discardBlank = m_window.checkBoxTicked(ScanCheckBox::DiscardBlank) ? 1 : 0;
        m_job.resolutionDpi = resolutionFrom(m_window.selectorText(ScanSelector::Resolution));
        const std::string colour = m_window.selectorText(ScanSelector::ColourMode);
        if (colour == "schwarzweiß") {
            m_job.pixelType = static_cast<std::int32_t>(ScanPixelType::BlackWhite);
        } else if (colour == "Graustufen") {
            m_job.pixelType = static_cast<std::int32_t>(ScanPixelType::Grey);
        } else if (colour == "Farbe") {
            m_job.pixelType = static_cast<std::int32_t>(ScanPixelType::Colour);
        }

        if (m_scanner.hasFeeder(source) != 0) {
            if (m_scanner.canScanBothSides(source) != 0 && m_job.duplexMode == ScannerDuplex) {
                m_scanner.setManualDuplexMode(source, 0, 0);
                m_scanner.enableDuplex(source, 1);
            } else {
                m_scanner.enableDuplex(source, 0);
            }
        } else {
            m_scanner.enableDuplex(source, 0);
        }
        m_scanner.setManualDuplexMode(source, 0, 0);
    }

    void prepareAcquisition()
    {
        const SourceHandle source = m_shell.CurrentSource;
        m_scanner.sourceSetting3600(source, 1);
        m_scanner.sourceSetting8400(source, 98.5, 65535, 0);
        m_scanner.setResolution(source, static_cast<double>(m_job.resolutionDpi));
        m_scanner.SetPaperSize(source, m_window.selectorText(ScanSelector::PaperSize));
        m_scanner.sourceSetting3200(source, 1, 0, 1);
    }

    void acquire(const std::string& baseName)
    {
        const FileListHandle list = m_scanner.createFileList(FileListKind, 1);
        m_scanner.setFileListEntry(list, 0, baseName);
        // A status left from an earlier pass must not be taken for this one's.
        m_job.acquireStatus = 0;
        m_job.acquireResult = m_scanner.acquireToFiles(
            m_shell.CurrentSource,
            list,
            FileTransferKind,
            BmpFileFlags,
            m_job.pixelType,
            AllPages,
            1,
            0,
            &m_job.acquireStatus);
        m_scanner.freeFileList(list);
        m_job.writeRightsFailure = 0;
        m_window.setStatusNow(text(StatusIdle));
        if (m_job.acquireResult != 0 &&
            m_job.acquireStatus == static_cast<std::int32_t>(AcquireStatus::Done)) {
            const bool anyFile = FileExists(tmpFile(FrontBaseName)) == 1 ||
                                 FileExists(tmpFile(BackBaseName)) == 1 ||
                                 FileExists(pageFileName(tmpFile(FrontBaseName), 0)) == 1 ||
                                 FileExists(pageFileName(tmpFile(BackBaseName), 0)) == 1;
            m_job.writeRightsFailure = anyFile ? 0 : 1;
        }
    }

    void runCycle()
    {
        applyCycleSettings();
        if (m_job.existingPages == 0 && m_job.skipAcquisition == 0) {
            prepareAcquisition();
        }
        m_shell.ScanCounters.pass = 0;
        if (m_job.existingPages == 0) {
            m_shell.AcquisitionRunning = 1;
            const bool back = m_job.backPass == 1;
            if (m_job.skipAcquisition == 0) {
                m_job.blockMerged = 0;
                m_window.setStatusNow(text(back ? StatusScannerActiveBack : StatusScannerActive));
                acquire(tmpFile(back ? BackBaseName : FrontBaseName));
            } else {
                // A cycle that shows the pages of a failed pass has no scanner dialog to announce.
                m_window.setStatusNow(text(StatusIdle));
                m_job.acquireResult = 1;
                m_job.acquireStatus = static_cast<std::int32_t>(AcquireStatus::Done);
                m_window.drainWindowEvents();
            }
            m_shell.AcquisitionRunning = 0;
        } else {
            m_job.acquireResult = 1;
            m_job.acquireStatus = static_cast<std::int32_t>(AcquireStatus::Done);
            m_window.drainWindowEvents();
        }

        if (m_job.writeRightsFailure == 1) {
            reportWriteRights();
        } else if (m_job.acquireResult == 0) {
            recoverFromFailure();
        } else if (m_job.acquireStatus == static_cast<std::int32_t>(AcquireStatus::Done)) {
            count();
            askOnMismatch();
            if (m_job.showResult == 1) {
                runResultStep();
            }
        } else {
            reportOutcome();
        }
    }

    void reportWriteRights()
    {
        std::string note = text(WriteRightsIntro) + tmpPath() + text(WriteRightsOutro);
        // The folder is asked again, for the system's reason in words the user reads.
        if (const int error = folderWriteError(tmpPath()); error != 0) {
            note += text(ReasonSeparator) + text(WriteRightsReason) + folderWriteReason(error) + ".";
        } else if (m_scanner.lastErrorCode() == PageNotWrittenError) {
            note += text(ReasonSeparator) + m_scanner.errorText(PageNotWrittenError, ErrorTextMaxChars);
        }
        ShowNote(note, 0);
        m_job.writeRightsFailure = 0;
        m_job.ok = 0;
        m_job.nextCycle = 0;
    }

    void recoverFromFailure()
    {
        m_job.ok = 0;
        m_job.nextCycle = 0;
        const std::int32_t code = m_scanner.lastErrorCode();
        const std::string reason = m_scanner.errorText(code, ErrorTextMaxChars);
        if (lowerCase(reason).find(lowerCase(InterfaceNotStartedPhrase)) != std::string::npos &&
            m_shell.CurrentSource != NoHandle) {
            box(TimeoutTitle, text(TimeoutText), WarningIcon);
            m_context.dialogs.openWaitWindow(text(ReconnectingWaitText));
            m_scanner.closeSource(m_shell.CurrentSource);
            m_shell.CurrentSource = NoHandle;
            m_shell.CurrentSource =
                m_scanner.selectSourceByName(m_shell.settingsState.settings.LastSourceName);
            m_context.dialogs.closeWaitWindow();
            if (m_shell.CurrentSource == NoHandle) {
                m_window.setScannerLine(text(NoScannerLine));
                box(ErrorTitle, text(ReconnectFailedText), WarningIcon);
            }
        } else {
            box(ErrorTitle, text(ScanFailedText), WarningIcon);
        }
        if (m_shell.ScanCounters.job > 0) {
            m_job.nextCycle = 1;
            m_job.ok = 1;
            m_job.skipAcquisition = 1;
            m_window.drainWindowEvents();
        }
    }

    void count()
    {
        const std::string& folder = tmpPath();
        m_job.frontCount =
            countNumberedFiles(folder, FrontScanPrefix, 0, ".bmp", std::numeric_limits<std::int32_t>::max());
        m_job.backCount =
            countNumberedFiles(folder, BackScanPrefix, 0, ".bmp", std::numeric_limits<std::int32_t>::max());
        m_job.showResult = 1;
        if (m_job.existingPages == 1) {
            if (m_job.frontCount == 0 && m_job.backCount == 0 &&
                FileExists(tmpFile(std::string(PageFilePrefix) + "1.bmp")) == 0) {
                m_job.ok = 0;
                m_job.showResult = 0;
                ShowNote(text(NothingToRescueNote), 0);
                return;
            }
            m_job.backPass = m_job.backCount > 0 ? 1 : 0;
            if (m_job.backPass == 0) {
                m_shell.ScanCounters.pass = m_job.frontCount;
                m_shell.ScanCounters.job = m_job.frontCount;
            } else {
                m_shell.ScanCounters.pass = m_job.backCount;
                m_shell.ScanCounters.job = m_job.frontCount + m_job.backCount;
            }
            m_job.readyCount = countNumberedFiles(folder, PageFilePrefix, 1, ".bmp", MaxReadyPages);
        }
        if (m_job.showResult == 1) {
            if (m_job.rescanPending == 1) {
                m_job.backPass = 1;
                m_job.rescanPending = 0;
            }
            if (m_job.existingPages == 1 && m_job.backCount > 0) {
                m_job.backPass = 1;
            }
        }
    }

    void askOnMismatch()
    {
        if (m_job.showResult != 1 || m_job.backPass != 1 || m_job.frontCount == m_job.backCount) {
            return;
        }
        const std::string counts = "Die Anzahl der Vorder- und Rückseiten unterscheidet sich:\\n" +
                                   std::to_string(m_job.frontCount) + " Vorderseiten gescannt\\n" +
                                   std::to_string(m_job.backCount) + " Rückseiten gescannt";
        if (m_job.existingPages == 1) {
            // A re-scan would delete the very pages the rescue is for, and acquire nothing.
            box(ErrorTitle, counts + text(RescueMismatchOutro), WarningIcon, RescueMismatchButtons, 1);
            return;
        }
        const std::intptr_t answer =
            box(ErrorTitle,
                counts + "\\n\\nWie soll vorgegangen werden?",
                WarningIcon,
                MismatchButtons,
                m_job.frontCount > m_job.backCount ? 2 : 1,
                MismatchButtonWidthPx);
        if (answer != 1 && answer != 2) {
            return;
        }
        const bool fronts = answer == 1;
        m_shell.ScanCounters.job -= fronts ? m_job.frontCount : m_job.backCount;
        m_job.ok = 1;
        m_job.showResult = 0;
        m_job.nextCycle = 1;
        m_job.rescanPending = 1;
        m_job.backPass = fronts ? 0 : 1;
        DeleteOldTempFiles(
            m_context, static_cast<std::int32_t>(fronts ? TempCleanUp::FrontSides : TempCleanUp::BackSides));
    }

    void runResultStep()
    {
        if (m_context.resultStep) {
            m_context.resultStep(m_context, m_job);
            return;
        }
        m_job.nextCycle = 0;
    }

    void reportOutcome()
    {
        const std::int32_t status = m_job.acquireStatus;
        if (status == static_cast<std::int32_t>(AcquireStatus::Cancelled)) {
            box(CancelledTitle, text(CancelledText), WarningIcon);
        } else if (status == static_cast<std::int32_t>(AcquireStatus::Failed)) {
            box(ErrorTitle, text(ScanFailedText), WarningIcon);
        } else {
            box(UnknownStatusTitle, text(UnknownStatusText) + std::to_string(status), WarningIcon);
        }
        m_job.ok = 0;
        m_job.nextCycle = 0;
    }

    void finish()
    {
        m_window.freeJobFont(m_job.jobFont);
        m_job.jobFont = NoHandle;
        // Pages dropped by the blank test stay visible: a nearly empty page may have held a line.
        m_window.setStatusNow(
            m_job.blankPagesLeftOut > 0
                ? "Status: " + std::to_string(m_job.blankPagesLeftOut) + std::string(BlankPagesLeftOutStatus)
                : text(StatusIdle));
        if (m_shell.CurrentSource != NoHandle) {
            m_window.enableButton(MainButton::Scan, true);
        }
        m_window.enableButton(MainButton::SelectScanner, true);
        m_window.enableButton(MainButton::Quit, true);
        m_window.focusAfterJob();
    }

    ScanJobContext& m_context;
    ShellState& m_shell;
    ScannerLibrary& m_scanner;
    ScanJobWindow& m_window;
    ScanJobState m_job;
};

// Whether the clean-up of that mode deletes a bitmap of the program's own, by its upper-cased name.
bool deletesBitmap(std::int32_t mode, const std::string& upperName)
{
    const bool front = upperName.starts_with("TMPIMG");
    const bool back = upperName.starts_with("TMPIMGR");
    switch (static_cast<TempCleanUp>(mode)) {
        case TempCleanUp::FrontSides:
            return front && !back;
        case TempCleanUp::BackSides:
            return back;
        case TempCleanUp::Everything:
            return true;
    }
    return false;
}

} // namespace

std::int32_t ScanAndSave(ScanJobContext& context, std::uint8_t existingPages)
{
    ScanJob job(context, existingPages);
    job.run();
    return 0;
}

std::string unsavedPagesText(std::int32_t pages)
{
    const std::string count =
        pages == 1 ? "liegt noch 1 Seite, die nicht gespeichert wurde"
                   : "liegen noch " + std::to_string(pages) + " Seiten, die nicht gespeichert wurden";
    return "Im Ordner für temporäre Dateien " + count +
           " (z.B. nach einem Absturz, einem abgebrochenen Scan oder einem fehlgeschlagenen "
           "Speichern).\\n\\nSollen sie jetzt gelöscht werden?\\n\\n»Seiten behalten« beendet diesen "
           "Vorgang; die Seiten lassen sich dann über »Datei« > »alte Grafikdateien retten (nach Absturz "
           "nach dem Scannen)« weiterverarbeiten und speichern.";
}

bool mayDeleteOldPages(ScanJobContext& context)
{
    const std::int32_t unsaved = countUnsavedPages(context.shell.settingsState.settings.TmpPath);
    if (unsaved == 0) {
        return true;
    }
    ActionBoxParams params;
    ResetActionBoxParams(params);
    params.Title = text(UnsavedPagesTitle);
    params.Text = unsavedPagesText(unsaved);
    params.Icon = WarningIcon;
    params.ButtonCount = 2;
    params.Buttons = text(UnsavedPagesButtons);
    params.ButtonWidth = UnsavedPagesButtonWidthPx;
    params.DefaultButton = 1;
    return context.dialogs.actionBox(params) == 2;
}

std::int32_t DeleteOldTempFiles(ScanJobContext& context, std::int32_t mode)
{
    const std::string kept = context.window.statusText();
    context.window.setStatusNow(text(StatusDeletingTempFiles));
    const std::string& folder = context.shell.settingsState.settings.TmpPath;
    std::error_code error;
    std::vector<std::filesystem::path> doomed;
    for (std::filesystem::directory_iterator entry(folder, error), end; !error && entry != end;
         entry.increment(error)) {
        std::error_code typeError;
        if (!entry->is_regular_file(typeError)) {
            continue;
        }
        const std::string name = entry->path().filename().string();
        if (!isOwnTempFile(name)) {
            continue;
        }
        if (upperCase(PathExtension(name)) != "BMP" || deletesBitmap(mode, upperCase(name))) {
            doomed.push_back(entry->path());
        }
    }
    for (const std::filesystem::path& file : doomed) {
        std::error_code removeError;
        std::filesystem::remove(file, removeError);
    }
    context.window.setStatusNow(kept);
    return 0;
}

std::int32_t countNumberedFiles(
    const std::string& folder,
    std::string_view prefix,
    int first,
    std::string_view suffix,
    std::int32_t limit)
{
    std::int32_t found = 0;
    const std::string stem = folder + "/" + std::string(prefix);
    while (found < limit && FileExists(stem + std::to_string(first + found) + std::string(suffix)) == 1) {
        ++found;
    }
    return found;
}

} // namespace folvex
