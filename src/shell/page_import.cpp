#include "shell/page_import.h"

#include "foundation/freeimage_messages.h"
#include "foundation/note.h"
#include "foundation/paths.h"
#include "runtime/effects.h"
#include "runtime/image_limits.h"
#include "runtime/requesters.h"
#include "runtime/text.h"
#include "shell/import_checks.h"

#include <algorithm>
#include <fstream>
#include <optional>
#include <string_view>
#include <utility>
#include <vector>

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

// Ghostscript's messages shown in a note at most; the rest rarely adds anything.
constexpr std::size_t MaxGhostscriptLines = 12;

// Texts joined for a note, each on a line of its own.
std::string noteLines(const std::vector<std::string>& lines)
{
    std::string text;
    for (const std::string& line : lines) {
        text += (text.empty() ? "" : "\\n") + line;
    }
    return text;
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

// Writes page file k; true when it was written.
bool writePage(const PageImportContext& context, FIBITMAP* page, int k)
{
    return context.functions.SaveU(FIF_BMP, page, pageFilePath(context.settings.TmpPath, k), 0) == TRUE;
}

// The size a picture's header claims and what its pixels take decoded (nullopt: more than 64 bits).
struct ClaimedSize
{
    std::uint64_t width = 0;
    std::uint64_t height = 0;
    std::optional<std::uint64_t> bytes;
};

bool fitsInMemory(const ClaimedSize& size)
{
    return size.bytes && *size.bytes <= MaxDecodedImageBytes;
}

ClaimedSize claimedSizeOf(const FreeImageFunctionTable& functions, FIBITMAP* header)
{
    const std::uint64_t width = functions.GetWidth(header);
    const std::uint64_t height = functions.GetHeight(header);
    return {width, height, decodedImageBytes(width, height, functions.GetBPP(header))};
}

// What an image file's header claims, read without decoding its pixels (the library reads GIF
// headers only with the pixels, so those are read here); nullopt when there is no header to read.
std::optional<ClaimedSize>
claimedFileSize(const FreeImageFunctionTable& functions, FREE_IMAGE_FORMAT format, const std::string& path)
{
    if (format == FIF_GIF) {
        const std::optional<PictureSize> size = gifPictureSize(path);
        if (!size) {
            return std::nullopt;
        }
        return ClaimedSize{size->width, size->height, decodedImageBytes(size->width, size->height, 8)};
    }
    const FreeImageBitmap header = ownFreeImage(functions, functions.LoadU(format, path, FIF_LOAD_NOPIXELS));
    if (!header) {
        return std::nullopt;
    }
    return claimedSizeOf(functions, header.get());
}

// What the headers of the first count pages of a multi-page TIFF claim; nullopt for a page whose
// header cannot be read.
std::vector<std::optional<ClaimedSize>>
claimedPageSizes(const FreeImageFunctionTable& functions, const std::string& path, int count)
{
    std::vector<std::optional<ClaimedSize>> sizes(static_cast<std::size_t>(std::max(count, 0)));
    FIMULTIBITMAP* headers =
        functions.OpenMultiBitmap(FIF_TIFF, path.c_str(), FALSE, TRUE, FALSE, FIF_LOAD_NOPIXELS);
    if (headers == nullptr) {
        return sizes;
    }
    const int readable = std::min(count, functions.GetPageCount(headers));
    for (int i = 0; i < readable; ++i) {
        FIBITMAP* header = functions.LockPage(headers, i);
        if (header != nullptr) {
            sizes[static_cast<std::size_t>(i)] = claimedSizeOf(functions, header);
            functions.UnlockPage(headers, header, FALSE);
        }
    }
    functions.CloseMultiBitmap(headers, 0);
    return sizes;
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

std::string ghostscriptDamagedNote(const std::string& pdf)
{
    return "Ghostscript meldete Fehler beim Umwandeln von »" + pdf +
           "«; übernommen wurde, was sich zeichnen ließ.";
}

std::string damagedFileNote(const std::string& source)
{
    return "»" + source + "« ist beschädigt oder unvollständig; übernommen wurde, was sich lesen ließ.";
}

std::string tooLargeNote(const std::string& source, int page, std::uint64_t width, std::uint64_t height)
{
    const std::string picture =
        page > 0 ? "Seite " + std::to_string(page) + " aus »" + source + "«" : "Das Bild »" + source + "«";
    return picture + " ist mit " + std::to_string(width) + " × " + std::to_string(height) +
           " Bildpunkten zu groß und wurde nicht übernommen (höchstens " +
           std::to_string(MaxDecodedImageBytes >> 20) + " MB entpackt).";
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
        // The header first: a picture too large for memory is never decoded.
        const std::optional<ClaimedSize> claimed =
            format == FIF_UNKNOWN ? std::nullopt : claimedFileSize(functions, format, path);
        if (claimed && !fitsInMemory(*claimed)) {
            showFileNote(tooLargeNote(path, 0, claimed->width, claimed->height), scope);
            continue;
        }
        if (claimed) {
            scope.take(); // the header's messages come again with the pixels
        }
        const FreeImageBitmap image =
            ownFreeImage(functions, claimed ? functions.LoadU(format, path, 0) : nullptr);
        FreeImageBitmap converted = ownFreeImage(functions, nullptr);
        FIBITMAP* page = pageImageOf(functions, image.get(), converted);
        if (page == nullptr) {
            showFileNote(path + NotOpenedSuffix, scope);
            continue;
        }
        // The library reads a cut-short BMP without a word; every other damage it reports.
        const bool damaged = !scope.messages().empty() || (format == FIF_BMP && bmpCutShort(path));
        if (!writePage(context, page, made + 1)) {
            showFileNote(pageNotWrittenNote(path, context.settings.TmpPath), scope);
            break;
        }
        ++made;
        if (damaged) {
            showFileNote(damagedFileNote(path), scope);
        }
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
    // The headers first: a page too large for memory is never decoded.
    const std::vector<std::optional<ClaimedSize>> claimed = claimedPageSizes(functions, path, count);
    scope.take(); // the headers' messages come again with the pixels
    if (!mayDeleteOldPages(context)) {
        functions.CloseMultiBitmap(multi, 0);
        return;
    }
    callIfSet(context.entryPoints.DeleteOldTempFiles, AllOldTempFiles);
    // What the file's one note says besides the library's messages.
    std::vector<std::string> remarks;
    int made = 0;
    bool stopped = false;
    for (int i = 0; i < count && !stopped; ++i) {
        const std::optional<ClaimedSize>& size = claimed[static_cast<std::size_t>(i)];
        if (size && !fitsInMemory(*size)) {
            remarks.push_back(tooLargeNote(path, i + 1, size->width, size->height));
            continue;
        }
        FIBITMAP* locked = size ? functions.LockPage(multi, i) : nullptr;
        FreeImageBitmap converted = ownFreeImage(functions, nullptr);
        FIBITMAP* page = pageImageOf(functions, locked, converted);
        if (page == nullptr) {
            remarks.push_back(path + NotOpenedSuffix);
            stopped = true;
        } else if (!writePage(context, page, made + 1)) {
            remarks.push_back(pageNotWrittenNote(path, context.settings.TmpPath));
            stopped = true;
        } else {
            ++made;
        }
        if (locked != nullptr) {
            functions.UnlockPage(multi, locked, FALSE);
        }
    }
    functions.CloseMultiBitmap(multi, 0);
    // The library drops the pages behind a cut without a word; other damage it reports.
    if (made > 0 && (!scope.messages().empty() || tiffDirectoriesCutShort(path))) {
        remarks.insert(remarks.begin(), damagedFileNote(path));
    }
    if (!remarks.empty()) {
        showFileNote(noteLines(remarks), scope);
    }
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
    // Absolute paths, and the PDF after the end of the options: no name is read as an option.
    const std::string tmpFolder = AbsolutePath(settings.TmpPath);
    ProcessRequest request;
    request.argv = {
        program,
        "-q",
        "-dBATCH",
        "-dNOPAUSE",
        "-sDEVICE=bmp16m",
        "-r" + std::to_string(settings.PDFasInputDPI),
        "-sOutputFile=" + escapePercent(tmpFolder) + "/TmpReadyImg%d.bmp",
        "--",
        AbsolutePath(pdf)};
    request.workingDir = tmpFolder;
    // Quiet, Ghostscript says only what went wrong, on either stream; a page it cannot draw still
    // ends with code 0.
    std::vector<std::string> reported;
    request.onLine = [&reported](OutputStream, const std::string& line) {
        const std::string_view text = trimBlanks(line);
        if (!text.empty() && reported.size() < MaxGhostscriptLines) {
            reported.emplace_back(text);
        }
    };
    ProcessResult result;
    if (effects().processes != nullptr) {
        result = effects().processes->run(request);
    }
    context.waitView.closeWaitWindow();
    const int code = result.started ? result.exitCode : -1;
    const bool pagesMade = FileExists(pageFilePath(settings.TmpPath, 1)) == 1;
    const std::string said =
        reported.empty() ? std::string() : "\\n\\nGhostscript:\\n\\n" + noteLines(reported);
    // A run that ends well but leaves no page is reported too, rather than ending in silence.
    if (code != 0 || !pagesMade) {
        ShowNote(ghostscriptFailedNote(pdf, code) + said, 0);
    } else if (!reported.empty()) {
        ShowNote(ghostscriptDamagedNote(pdf) + said, 0);
    }
    if (pagesMade) {
        callIfSet(context.entryPoints.ScanAndSave, ExistingPageFiles);
    }
}

} // namespace folvex
