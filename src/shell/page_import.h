#pragma once
// Taking a job's pages from existing files instead of a scanner: image files, the pages of one
// multi-page TIFF, or the pages of one PDF rendered by Ghostscript. Each importer writes the page
// files TmpReadyImg1.bmp, TmpReadyImg2.bmp, ... into the temporary folder and hands them to the scan
// job. Qt-free; the wait window comes through a port. GUI thread.

#include "foundation/freeimage_binding.h"
#include "shell/settings.h"
#include "shell/shell_state.h"

#include <cstdint>
#include <string>

namespace folvex {

inline constexpr const char* ImportImagesTitle = "externe Grafikdateien als Input benutzen";
inline constexpr const char* ImportImagesPatterns =
    "Grafik-Dateien|*.JPG;*.JPEG;*.BMP;*.PNG;*.GIF;*.TGA;*.TARGA;*.TIF;*.TIFF";
inline constexpr const char* ImportTiffTitle = "externes Multipage-TIF als Input benutzen";
inline constexpr const char* ImportTiffPatterns = "TIF-Dateien|*.TIFF;*.TIF";
inline constexpr const char* ImportPdfTitle = "externes PDF als Input benutzen";
inline constexpr const char* ImportPdfPatterns = "PDF-Dateien|*.PDF";
inline constexpr const char* ImportPdfWaitText = "PDF-Seiten werden extrahiert...";
inline constexpr const char* NotOpenedSuffix = " konnte nicht geöffnet werden.";
inline constexpr const char* GhostscriptMissingNote =
    "GhostScript-Pfad ist nicht gesetzt.\\n\\nBitte in den Optionen einstellen.";

// The wait window shown while Ghostscript renders.
class PageImportWaitView
{
public:
    virtual ~PageImportWaitView() = default;

    // Opens the wait window with text, centred on the main window.
    virtual void openWaitWindow(const std::string& text) = 0;
    virtual void closeWaitWindow() = 0;
};

// What the importers work with. The scan job is reached through the entry points'
// MayDeleteOldPages, DeleteOldTempFiles and ScanAndSave; requesters, notes and program runs through
// effects(). Each importer asks MayDeleteOldPages before it deletes the previous job's files; when the
// user keeps unsaved pages, it ends there and writes no page.
struct PageImportContext
{
    const Settings& settings; // TmpPath, GSPath, PDFasInputDPI
    ShellEntryPoints& entryPoints;
    const FreeImageFunctionTable& functions;
    PageImportWaitView& waitView;
};

// The page file k (from 1) in folder: folder + "/TmpReadyImg" + k + ".bmp".
std::string pageFilePath(const std::string& folder, int k);

// The note for a page that could not be written into the temporary folder.
std::string pageNotWrittenNote(const std::string& source, const std::string& tmpPath);

// The note for a Ghostscript run that failed (code −1: it could not be started).
std::string ghostscriptFailedNote(const std::string& pdf, int code);

// The note for a Ghostscript run that made pages but reported errors (a page it could not draw comes
// out blank).
std::string ghostscriptDamagedNote(const std::string& pdf);

// The note for a damaged or cut-short file of which the readable part became pages.
std::string damagedFileNote(const std::string& source);

// The note for a picture (page 0: the file's only one) that is not imported because its decoded
// pixels would take more than MaxDecodedImageBytes.
std::string tooLargeNote(const std::string& source, int page, std::uint64_t width, std::uint64_t height);

// The library image as a page file's image: 1, 4, 8, 24 and 32 bits stay as they are; 16-bit colour,
// 16-bit grey, 48-bit RGB and 64-bit RGBA become 24, 8, 24 and 32 bits; every other image type goes
// through the library's standard-type conversion with scaling. The dots per metre are kept. nullptr
// when it cannot be converted; owner holds a converted copy.
FIBITMAP* pageImageOf(const FreeImageFunctionTable& functions, FIBITMAP* image, FreeImageBitmap& owner);

// The format an image file is loaded as, chosen by its upper-cased extension; FIF_UNKNOWN for others.
FREE_IMAGE_FORMAT importFormatOf(const std::string& path);

// The Ghostscript program: GSPath when it names an existing file, "gs" from PATH when GSPath is
// empty; the empty text otherwise.
std::string ghostscriptProgram(const Settings& settings);

// Every "%" of text doubled, so Ghostscript's output pattern takes it literally.
std::string escapePercent(const std::string& text);

// Asks for image files and makes a page of each one that loads, in the order chosen; a file that
// does not load, or whose header claims a picture too large for memory, gives a note and is skipped.
// A damaged file of which a part was read becomes a page with a note naming it. The job starts when at least
// one page was made; a page that cannot be written stops the import and hands over the pages made before it.
void ImportImageFiles(PageImportContext& context);

// Asks for a multi-page TIFF and makes a page of each of its pages that fits in memory (the others are
// skipped); the job starts even for none. A file that does not open gives a note and keeps the
// previous job's files. Everything said about one file goes into one note.
void ImportMultipageTiff(PageImportContext& context);

// Asks for a PDF and lets Ghostscript render its pages at PDFasInputDPI as 24-bit page files while the
// wait window shows. A failed run gives a note with its exit code, a run that reports errors but makes
// pages a note too, each followed by Ghostscript's own lines; the job starts only when a page file
// exists.
void ImportPdfViaGhostscript(PageImportContext& context);

} // namespace folvex
