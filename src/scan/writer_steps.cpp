#include "scan/writer_steps.h"

#include "foundation/blank_page.h"
#include "foundation/freeimage_messages.h"
#include "foundation/paths.h"
#include "runtime/effects.h"
#include "runtime/requesters.h"
#include "runtime/text.h"
#include "runtime/worker_pool.h"

#include <cmath>
#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

namespace folvex {

namespace {

constexpr int OverwriteDefaultButton = 2;
constexpr std::intptr_t OverwriteYes = 1;
constexpr double MetresPerInch = 0.0254;
constexpr double PointsPerInch = 72.0;

// The folder the save dialog starts in: the last one confirmed since the start, else the stored
// output folder when it exists, else the home folder.
std::string startFolder(const ShellState& shell)
{
    if (!shell.LastSaveFolder.empty()) {
        return shell.LastSaveFolder;
    }
    const std::string& stored = shell.settingsState.settings.ImagePath;
    if (!stored.empty() && DirectoryExists(stored) != 0) {
        return stored;
    }
    const char* home = std::getenv("HOME");
    return home == nullptr ? std::string() : std::string(home);
}

// What a worker gives for one page file.
struct PageResult
{
    bool unreadable = false;
    bool blank = false;
    std::vector<std::string> messages; // the image library's messages raised on the page
    PageWork work;
};

} // namespace

std::uint8_t splitFlagAt(const ShellState& shell, std::size_t position)
{
    return position < shell.PageSplitFlags.size() ? shell.PageSplitFlags[position] : std::uint8_t{0};
}

bool splitModeOf(const ShellState& shell)
{
    for (std::size_t p = 1; p < shell.PageSplitFlags.size(); ++p) {
        if (shell.PageSplitFlags[p] != 0) {
            return true;
        }
    }
    return false;
}

std::int32_t splitPartCount(const ShellState& shell, std::int32_t pages)
{
    std::int32_t parts = 1;
    for (std::int32_t p = 1; p < pages; ++p) {
        if (splitFlagAt(shell, static_cast<std::size_t>(p)) != 0) {
            ++parts;
        }
    }
    return parts;
}

std::string withExtension(const std::string& name, std::string_view extension)
{
    if (name.size() >= extension.size() &&
        upperCase(std::string_view(name).substr(name.size() - extension.size())) == upperCase(extension)) {
        return name;
    }
    return name + std::string(extension);
}

std::string numberedName(const std::string& chosenName, std::int32_t number, std::string_view extension)
{
    return PathWithoutExtension(chosenName) + "_" + std::to_string(number) + std::string(extension);
}

float pagePoints(unsigned pixels, unsigned dotsPerMeter)
{
    if (dotsPerMeter == 0) {
        return static_cast<float>(pixels);
    }
    const double dpi = dotsPerMeter * MetresPerInch;
    return static_cast<float>(pixels * PointsPerInch / dpi);
}

std::string pageFile(const std::string& tmpPath, std::int32_t number)
{
    return tmpPath + "/" + std::string(PageFilePrefix) + std::to_string(number) + ".bmp";
}

bool overwriteAllowed(ScanJobContext& context, const std::string& target, std::string_view existsText)
{
    ActionBoxParams params;
    ResetActionBoxParams(params);
    params.Title = std::string(OverwriteTitle);
    params.Text = R"(Die Zieldatei\n\n\q)" + PathFileName(target) + R"(\q\n\n)" + std::string(existsText) +
                  R"(\n\nSoll sie überschrieben werden?)";
    params.ButtonCount = 2;
    params.Buttons = std::string(OverwriteButtons);
    params.DefaultButton = OverwriteDefaultButton;
    params.Icon = WarningIcon;
    // Esc and the close box (0) keep the file, as "Nein" does.
    return context.dialogs.actionBox(params) == OverwriteYes;
}

bool replacingAllowed(
    ScanJobContext& context, const std::vector<std::string>& targets, std::string_view existsText)
{
    std::vector<std::string> existing;
    for (const std::string& target : targets) {
        if (FileExists(target) != 0) {
            existing.push_back(target);
        }
    }
    if (existing.empty()) {
        return true;
    }
    return overwriteAllowed(context, existing.front(), existing.size() == 1 ? existsText : NumberVariantExistsText);
}

std::string askSaveName(ScanJobContext& context, ScanJobState& job, const WriterLiterals& literals)
{
    job.nextCycle = 0;
    FileRequest request;
    request.title = std::string(literals.dialogTitle);
    request.defaultFile = startFolder(context.shell) + "/" + std::string(literals.defaultName);
    request.patterns = std::string(literals.patterns);
    const std::string answer = effects().files->saveFile(request);
    while (context.window.keyHeld(EscapeKey)) {
        context.window.delay(EscapeWaitMs);
    }
    if (!answer.empty()) {
        context.shell.LastSaveFolder = PathDirectory(answer);
    }
    return answer;
}

void storeOutputFolder(ScanJobContext& context, const std::string& target)
{
    SettingsState& settings = context.shell.settingsState;
    settings.settings.ImagePath = PathDirectory(target);
    static_cast<void>(writeSetting(settings, "LAST_VALUES", "ImagePath", settings.settings.ImagePath));
}

WriterTarget chooseWriterTarget(
    ScanJobContext& context, ScanJobState& job, const WriterLiterals& literals, SplitPoints splitPoints)
{
    WriterTarget target;
    target.splitMode = splitPoints == SplitPoints::Followed && splitModeOf(context.shell);
    const std::string answer = askSaveName(context, job, literals);
    if (answer.empty()) {
        target.outcome = WriterOutcome::Cancelled;
        return target;
    }
    target.chosenName = literals.completeName != nullptr ? literals.completeName(answer)
                                                         : withExtension(answer, literals.extension);
    target.targetName =
        target.splitMode ? numberedName(target.chosenName, 1, literals.extension) : target.chosenName;
    std::vector<std::string> replaced{target.targetName};
    if (target.splitMode) {
        const std::int32_t parts = splitPartCount(context.shell, job.mergedPages);
        for (std::int32_t number = 2; number <= parts; ++number) {
            replaced.push_back(numberedName(target.chosenName, number, literals.extension));
        }
    }
    if (!replacingAllowed(context, replaced, OverwriteExistsText)) {
        job.ok = 0;
        target.outcome = WriterOutcome::Declined;
        return target;
    }
    storeOutputFolder(context, target.targetName);
    return target;
}

std::int32_t
runPageLoop(ScanJobContext& context, ScanJobState& job, const PageLoopHooks& hooks, SaveOutcome& outcome)
{
    const FreeImageFunctionTable& functions = *context.freeImage;
    const Settings& settings = context.shell.settingsState.settings;
    const std::string tmpPath = settings.TmpPath;
    const bool testBlank = job.discardBlank != 0 && job.emptyRemoved != 1;
    const float percent = settings.BlankRecognitionPercentageSingle;
    const int step = settings.BlankRecognitionResolution;
    const int level = settings.BlankRecognitionMinColor;
    const std::int32_t count = countNumberedFiles(tmpPath, PageFilePrefix, 1, ".bmp", MaxReadyPages);

    const std::function<Expected<PageResult>(std::size_t)> work = [&](std::size_t index) {
        const auto number = static_cast<std::int32_t>(index + 1);
        PageResult result;
        FreeImageMessageScope messages;
        if (!testBlank && !hooks.needsPixels) {
            hooks.prepare(result.work, nullptr, number);
            return Expected<PageResult>(std::move(result));
        }
        const FreeImageBitmap page =
            ownFreeImage(functions, functions.LoadU(FIF_BMP, pageFile(tmpPath, number)));
        if (!page) {
            result.unreadable = true;
        } else {
            if (testBlank) {
                // A page the bitmap cannot be made of is kept, as a failed test keeps it.
                const Handle bitmap = FreeImageToHBitmap(functions, page.get());
                if (bitmap != NoHandle) {
                    result.blank = IsPicBlank(
                                       bitmap,
                                       static_cast<int>(functions.GetWidth(page.get())),
                                       static_cast<int>(functions.GetHeight(page.get())),
                                       percent,
                                       step,
                                       level) == 1;
                    FreeHBitmap(bitmap);
                }
            }
            if (!result.blank) {
                hooks.prepare(result.work, page.get(), number);
            }
        }
        result.messages = messages.take();
        return Expected<PageResult>(std::move(result));
    };

    std::int32_t handled = 0;
    job.blankPagesLeftOut = 0;
    const std::function<bool(JobOutcome<PageResult> &&)> consume = [&](JobOutcome<PageResult>&& done) {
        const auto number = static_cast<std::int32_t>(done.index + 1);
        ++handled;
        context.window.setStatusNow(
            std::string(PageStatusPrefix) + std::to_string(handled) + "/" + std::to_string(job.mergedPages) +
            ")...");
        context.window.drainWindowEvents();
        if (!done.result) {
            outcome.pageUnreadable(number);
        } else {
            PageResult& page = done.result.value();
            const std::size_t failuresBefore = outcome.failures.size();
            if (page.unreadable) {
                outcome.pageUnreadable(number);
            } else if (page.blank) {
                ++job.blankPagesLeftOut;
            } else if (page.work.failed) {
                outcome.fileNotWritten(page.work.file);
            } else {
                hooks.add(page.work, number);
            }
            // The page's messages go with the line that reports it, else on a line of their own.
            outcome.pageMessages(number, page.messages, failuresBefore);
        }
        hooks.afterPage(number);
        return true;
    };

    WorkerPool pool(hooks.workers == 0 ? defaultWorkerCount() : hooks.workers);
    runInOrder<PageResult>(pool, static_cast<std::size_t>(count), pool.workerCount() + 2, work, consume);
    return handled;
}

} // namespace folvex
