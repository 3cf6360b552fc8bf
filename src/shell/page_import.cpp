#include "shell/page_import.h"

#include "foundation/freeimage_messages.h"
#include "foundation/note.h"
#include "foundation/paths.h"
#include "runtime/effects.h"
#include "runtime/requesters.h"
#include "runtime/text.h"

#include <fstream>
#include <string_view>
#include <utility>

namespace folvex {
namespace {

// Jobs delete the fronts and backs of the previous job.
constexpr std::int32_t AllOldTempFiles = 3;
// The scan job takes the page files already in the temporary folder.
constexpr std::uint8_t ExistingPageFiles = 1;

template <typename Slot, typename... Args>
void callIfSet(const Slot& slot, Args... args)
{
    if (slot) {
        slot(args...);
    }
}

// Whether the previous job's pages may be deleted: asks when they were never saved.
bool mayDeleteOldPages(const PageImportContext& context)
{
    return !context.entryPoints.MayDeleteOldPages || context.entryPoints.MayDeleteOldPages();
}

// A note for one file, with the library's messages gathered for it appended (one note per file).
void showFileNote(const std::string& text, const FreeImageMessageScope& scope)
{
    const std::string messages = scope.noteText();
    ShowNote(messages.empty() ? text : text + "\\n\\n" + messages, 0);
}

// Writes page file k; on failure shows the note naming the source and returns false.
bool writePage(
    const PageImportContext& context,
    FIBITMAP* page,
    const std::string& source,
    int k,
    const FreeImageMessageScope& scope)
{
    const std::string& folder = context.settings.TmpPath;
    if (context.functions.SaveU(FIF_BMP, page, pageFilePath(folder, k), 0)) {
        return true;
    }
    showFileNote(pageNotWrittenNote(source, folder), scope);
    return false;
}

// True when the file starts like a TIFF or BigTIFF. The library's multi-page open accepts any
// existing file and then finds no pages in it.
bool hasTiffSignature(const std::string& path)
{
    std::ifstream file(path, std::ios::binary);
    char head[4] = {};
    if (!file.read(head, sizeof head)) {
        return false;
    }
    const std::string_view start(head, sizeof head);
    return start == std::string_view("II*\0", 4) || start == std::string_view("MM\0*", 4) ||
           start == std::string_view("II+\0", 4) || start == std::string_view("MM\0+", 4);
}

} // namespace

std::string pageFilePath(const std::string& folder, int k)
{
    return folder + "/TmpReadyImg" + std::to_string(k) + ".bmp";
}

std::string pageNotWrittenNote(const std::string& source, const std::string& tmpPath)
{
    return "Die Seite aus »" + source + "« konnte nicht in den Ordner für temporäre Dateien »" + tmpPath +
           "« geschrieben werden.";
}

std::string ghostscriptFailedNote(const std::string& pdf, int code)
{
    return "Ghostscript konnte »" + pdf + "« nicht vollständig umwandeln (Fehlercode " +
           std::to_string(code) + ").";
}

FIBITMAP* pageImageOf(const FreeImageFunctionTable& functions, FIBITMAP* image, FreeImageBitmap& owner)
{
    FIBITMAP* page = standardBitmapOf(functions, image, owner);
    if (page != nullptr || image == nullptr || functions.GetImageType(image) == FIT_BITMAP) {
        return page;
    }
    // Integer, float and complex images: scaled into 8 bits.
    owner = ownFreeImage(functions, functions.ConvertToStandardType(image, TRUE));
    page = owner.get();
    if (page != nullptr) {
        functions.SetDotsPerMeterX(page, functions.GetDotsPerMeterX(image));
        functions.SetDotsPerMeterY(page, functions.GetDotsPerMeterY(image));
    }
    return page;
}

FREE_IMAGE_FORMAT importFormatOf(const std::string& path)
{
    static constexpr std::pair<std::string_view, FREE_IMAGE_FORMAT> Formats[] = {
        {"JPG", FIF_JPEG},
        {"JPEG", FIF_JPEG},
        {"BMP", FIF_BMP},
        {"PNG", FIF_PNG},
        {"GIF", FIF_GIF},
        {"TGA", FIF_TARGA},
        {"TARGA", FIF_TARGA},
        {"TIF", FIF_TIFF},
        {"TIFF", FIF_TIFF},
    };
    const std::string extension = upperCase(PathExtension(path));
    for (const auto& [name, format] : Formats) {
        if (extension == name) {
            return format;
        }
    }
    return FIF_UNKNOWN;
}

std::string ghostscriptProgram(const Settings& settings)
{
    if (settings.GSPath.empty()) {
        return findInPath("gs");
    }
    return FileExists(settings.GSPath) == 1 ? settings.GSPath : std::string();
}

std::string escapePercent(const std::string& text)
{
    std::string escaped;
    escaped.reserve(text.size());
    for (const char c : text) {
        escaped += c;
        if (c == '%') {
            escaped += '%';
        }
    }
    return escaped;
}

void ImportImageFiles(PageImportContext& context)
{
    const FreeImageFunctionTable& functions = context.functions;
    const FileRequest request{ImportImagesTitle, "", ImportImagesPatterns, 0, true};
    int made = 0;
    bool first = true;
    for (std::string path = openFileRequester(request); !path.empty(); path = nextSelectedFile()) {
        if (first) {
            if (!mayDeleteOldPages(context)) {
                return;
            }
            callIfSet(context.entryPoints.DeleteOldTempFiles, AllOldTempFiles);
            first = false;
        }
        FreeImageMessageScope scope;
        const FREE_IMAGE_FORMAT format = importFormatOf(path);
        const FreeImageBitmap image =
            ownFreeImage(functions, format == FIF_UNKNOWN ? nullptr : functions.LoadU(format, path, 0));
        FreeImageBitmap converted = ownFreeImage(functions, nullptr);
        FIBITMAP* page = pageImageOf(functions, image.get(), converted);
        if (page == nullptr) {
            showFileNote(path + NotOpenedSuffix, scope);
            continue;
        }
        if (!writePage(context, page, path, made + 1, scope)) {
            break;
        }
        ++made;
    }
    if (made > 0) {
        callIfSet(context.entryPoints.ScanAndSave, ExistingPageFiles);
    }
}

void ImportMultipageTiff(PageImportContext& context)
{
    const FreeImageFunctionTable& functions = context.functions;
    const std::string path = openFileRequester({ImportTiffTitle, "", ImportTiffPatterns, 0, false});
    if (path.empty()) {
        return;
    }
    FreeImageMessageScope scope;
    // The library takes the UTF-8 path as it is, so every name opens.
    FIMULTIBITMAP* multi = hasTiffSignature(path)
                               ? functions.OpenMultiBitmap(FIF_TIFF, path.c_str(), FALSE, TRUE, FALSE, 0)
                               : nullptr;
    if (multi == nullptr) {
        showFileNote(path + NotOpenedSuffix, scope);
        return;
    }
    const int count = functions.GetPageCount(multi);
    if (!mayDeleteOldPages(context)) {
        functions.CloseMultiBitmap(multi, 0);
        return;
    }
    callIfSet(context.entryPoints.DeleteOldTempFiles, AllOldTempFiles);
    int made = 0;
    bool stopped = false;
    for (int i = 0; i < count && !stopped; ++i) {
        // Warnings of pages already written belong to no note.
        scope.take();
        FIBITMAP* locked = functions.LockPage(multi, i);
        FreeImageBitmap converted = ownFreeImage(functions, nullptr);
        FIBITMAP* page = pageImageOf(functions, locked, converted);
        if (page == nullptr) {
            showFileNote(path + NotOpenedSuffix, scope);
            stopped = true;
        } else if (!writePage(context, page, path, i + 1, scope)) {
            stopped = true;
        } else {
            ++made;
        }
        if (locked != nullptr) {
            functions.UnlockPage(multi, locked, FALSE);
        }
    }
    functions.CloseMultiBitmap(multi, 0);
    // A file without pages still goes to the job, which reports that there are none.
    if (!stopped || made > 0) {
        callIfSet(context.entryPoints.ScanAndSave, ExistingPageFiles);
    }
}

void ImportPdfViaGhostscript(PageImportContext& context)
{
    const Settings& settings = context.settings;
    const std::string program = ghostscriptProgram(settings);
    if (program.empty()) {
        ShowNote(GhostscriptMissingNote, 0);
        return;
    }
    const std::string pdf = openFileRequester({ImportPdfTitle, "", ImportPdfPatterns, 0, false});
    if (pdf.empty()) {
        return;
    }
    if (!mayDeleteOldPages(context)) {
        return;
    }
    context.waitView.openWaitWindow(ImportPdfWaitText);
    callIfSet(context.entryPoints.DeleteOldTempFiles, AllOldTempFiles);
    ProcessRequest request;
    request.argv = {
        program,
        "-dBATCH",
        "-dNOPAUSE",
        "-sDEVICE=bmp16m",
        "-r" + std::to_string(settings.PDFasInputDPI),
        "-sOutputFile=" + escapePercent(settings.TmpPath) + "/TmpReadyImg%d.bmp",
        pdf};
    request.workingDir = settings.TmpPath;
    ProcessResult result;
    if (effects().processes != nullptr) {
        result = effects().processes->run(request);
    }
    context.waitView.closeWaitWindow();
    const int code = result.started ? result.exitCode : -1;
    const bool pagesMade = FileExists(pageFilePath(settings.TmpPath, 1)) == 1;
    // A run that ends well but leaves no page is reported too, rather than ending in silence.
    if (code != 0 || !pagesMade) {
        ShowNote(ghostscriptFailedNote(pdf, code), 0);
    }
    if (pagesMade) {
        callIfSet(context.entryPoints.ScanAndSave, ExistingPageFiles);
    }
}

} // namespace folvex
