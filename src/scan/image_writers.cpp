#include "scan/image_writers.h"

#include "foundation/image_file_ops.h"
#include "foundation/paths.h"
#include "runtime/file_ops.h"
#include "runtime/safe_file.h"
#include "runtime/text.h"
#include "scan/page_depth.h"

#include <cerrno>
#include <string>

namespace folvex {

namespace {

constexpr std::string_view DialogTitle = "Scanergebnis speichern als...";
constexpr int MaxPadDigits = 5;

// One writer's literals and format. format FIF_UNKNOWN: the page files are moved, not saved.
struct SinglePageFormat
{
    WriterLiterals literals; // extension: the one appended to a name that ends in no accepted one
    std::string_view longEnding;
    std::string_view numberedExtension;
    FREE_IMAGE_FORMAT format;
    bool setsLastOutput;
};

constexpr SinglePageFormat BmpFormat{
    {DialogTitle, "scan.bmp", "BMP-Dateien (*.bmp)|*.bmp", ".bmp"}, {}, ".bmp", FIF_UNKNOWN, false};
constexpr SinglePageFormat JpgFormat{
    {DialogTitle, "scan.jpg", "JPG-Dateien (*.jpg)|*.jpg", ".jpg"}, ".JPEG", ".jpg", FIF_JPEG, true};
constexpr SinglePageFormat PngFormat{
    {DialogTitle, "scan.png", "PNG-Dateien (*.png)|*.png", ".png"}, {}, ".png", FIF_PNG, false};
constexpr SinglePageFormat TifFormat{
    {DialogTitle, "scan.tif", "TIF-Dateien (*.tif)|*.tif", ".TIF"}, ".TIFF", ".tif", FIF_TIFF, false};
constexpr SinglePageFormat GifFormat{
    {DialogTitle, "scan.gif", "GIF-Dateien (*.gif)|*.gif", ".gif"}, {}, ".gif", FIF_GIF, false};
constexpr SinglePageFormat TargaFormat{
    {DialogTitle, "scan.tga", "TARGA-Dateien (*.tga)|*.tga", ".tga"}, {}, ".tga", FIF_TARGA, false};

bool endsInNoCase(const std::string& name, std::string_view ending)
{
    return !ending.empty() && name.size() >= ending.size() &&
           upperCase(std::string_view(name).substr(name.size() - ending.size())) == upperCase(ending);
}

// The chosen name with the appended extension unless it ends in an accepted ending.
std::string completedName(const std::string& answer, const SinglePageFormat& format)
{
    if (endsInNoCase(answer, format.literals.extension) || endsInNoCase(answer, format.longEnding)) {
        return answer;
    }
    return answer + std::string(format.literals.extension);
}

// True when the chosen name or its first numbered name of any digit count exists, or any name the
// run of total pages writes.
bool chosenNameTaken(const std::string& chosenName, std::int32_t total, std::string_view numberedExtension)
{
    if (FileExists(chosenName) != 0) {
        return true;
    }
    for (std::int32_t number = 1; number <= total; ++number) {
        if (FileExists(singlePageName(chosenName, total, number, numberedExtension)) != 0) {
            return true;
        }
    }
    const std::string base = PathWithoutExtension(chosenName) + "_";
    std::string zeros;
    for (int digits = 1; digits <= MaxPadDigits; ++digits) {
        if (FileExists(base + zeros + "1" + std::string(numberedExtension)) != 0) {
            return true;
        }
        zeros += "0";
    }
    return false;
}

WriterOutcome runSinglePageWriter(ScanJobContext& context, ScanJobState& job, const SinglePageFormat& format)
{
    const std::string answer = askSaveName(context, job, format.literals);
    if (answer.empty()) {
        return WriterOutcome::Cancelled;
    }
    const std::string chosenName = completedName(answer, format);
    if (chosenNameTaken(chosenName, job.mergedPages, format.numberedExtension) &&
        !overwriteAllowed(context, chosenName, NumberVariantExistsText)) {
        job.ok = 0;
        return WriterOutcome::Declined;
    }
    storeOutputFolder(context, chosenName);

    const FreeImageFunctionTable& functions = *context.freeImage;
    const Settings& settings = context.shell.settingsState.settings;
    const std::string tmpPath = settings.TmpPath;
    const int flags = format.format == FIF_JPEG ? static_cast<int>(settings.JpgQuality) : 0;
    const std::int32_t total = job.mergedPages;
    ImageFileOps systemFiles(functions);
    FileOps& files = context.files != nullptr ? *context.files : systemFiles;

    SaveOutcome outcome;
    PageLoopHooks hooks;
    hooks.prepare = [&](PageWork& work, FIBITMAP* page, std::int32_t number) {
        work.file = singlePageName(chosenName, total, number, format.numberedExtension);
        if (format.format == FIF_UNKNOWN) {
            work.failed = !movePageFile(files, pageFile(tmpPath, number), work.file);
            return;
        }
        const PreparedPage prepared = prepareDepthFor(functions, format.format, page);
        work.failed =
            prepared.image == nullptr || !files.saveImage(format.format, prepared.image, work.file, flags);
    };
    hooks.add = [&outcome](PageWork& work, std::int32_t) { outcome.fileWritten(work.file); };
    hooks.afterPage = [](std::int32_t) {};
    hooks.needsPixels = format.format != FIF_UNKNOWN; // "BMP" moves the page files as they are
    runPageLoop(context, job, hooks, outcome);

    if (!outcome.written.empty() && !format.setsLastOutput) {
        context.window.enableMenuItem(LastOutputMenuItem, false);
        context.window.enableButton(MainButton::OpenLastOutput, false);
    }
    finishWriterRun(context, outcome, format.setsLastOutput);
    return WriterOutcome::Written;
}

} // namespace

std::string PadPageNumber(std::int32_t total, std::int32_t number)
{
    const auto digits = [](std::int32_t value) {
        int count = 1;
        for (std::int32_t rest = value; rest >= 10 && count < MaxPadDigits; rest /= 10) {
            ++count;
        }
        return count;
    };
    const int missing = digits(total) - digits(number);
    return missing > 0 ? std::string(static_cast<std::size_t>(missing), '0') : std::string();
}

std::string singlePageName(
    const std::string& chosenName,
    std::int32_t total,
    std::int32_t number,
    std::string_view numberedExtension)
{
    if (total == 1) {
        return chosenName;
    }
    return PathWithoutExtension(chosenName) + "_" + PadPageNumber(total, number) + std::to_string(number) +
           std::string(numberedExtension);
}

Expected<void> movePageFile(FileOps& files, const std::string& from, const std::string& to)
{
    Expected<void> renamed = files.renameOver(from, to);
    if (renamed || renamed.error().code != EXDEV) {
        return renamed;
    }
    Expected<void> copied = copyFileSafely(from, to);
    if (!copied) {
        return copied;
    }
    // The copy is complete; a page file that cannot be removed only stays behind in the temporary folder.
    static_cast<void>(files.remove(from));
    return {};
}

WriterOutcome SaveBmp(ScanJobContext& context, ScanJobState& job)
{
    return runSinglePageWriter(context, job, BmpFormat);
}

WriterOutcome SaveJpg(ScanJobContext& context, ScanJobState& job)
{
    return runSinglePageWriter(context, job, JpgFormat);
}

WriterOutcome SavePng(ScanJobContext& context, ScanJobState& job)
{
    return runSinglePageWriter(context, job, PngFormat);
}

WriterOutcome SaveSingleTif(ScanJobContext& context, ScanJobState& job)
{
    return runSinglePageWriter(context, job, TifFormat);
}

WriterOutcome SaveGif(ScanJobContext& context, ScanJobState& job)
{
    return runSinglePageWriter(context, job, GifFormat);
}

WriterOutcome SaveTarga(ScanJobContext& context, ScanJobState& job)
{
    return runSinglePageWriter(context, job, TargaFormat);
}

} // namespace folvex
