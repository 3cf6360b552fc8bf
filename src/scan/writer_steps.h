#pragma once
// The steps every output writer shares: the split points of the page order, the save dialog with the
// wait for the Esc key, the completed extension and the overwrite question, the stored output folder,
// and the page loop over the job's page files with its status text and blank-page rule. Each writer
// gives its own texts (WriterLiterals) and its own page work. GUI thread; the page work of the loop
// runs on worker threads.

#include "foundation/freeimage_binding.h"
#include "scan/save_outcome.h"
#include "scan/scan_job.h"
#include "scan/writer_table.h"

#include <FreeImage.h>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace folvex {

inline constexpr std::string_view OverwriteTitle = "Datei existiert bereits";
inline constexpr std::string_view OverwriteButtons = "Ja|Nein";
inline constexpr std::string_view OverwriteExistsText = "existiert bereits.";
// Extra text of the overwrite question when more than one file of the run exists: the chosen name or
// a numbered file of an earlier run.
inline constexpr std::string_view NumberVariantExistsText =
    " bzw. eine Nummernvariante davon existiert bereits.";
inline constexpr std::string_view PageStatusPrefix = "Status: verarbeite Seite (";
inline constexpr int EscapeWaitMs = 25;

// The texts of one writer's save dialog. extension: with its dot, compared without letter case and
// appended when the chosen name does not end in it, unless the writer completes names its own way
// (completeName set).
struct WriterLiterals
{
    std::string_view dialogTitle;
    std::string_view defaultName;
    std::string_view patterns;
    std::string_view extension;
    std::string (*completeName)(const std::string& name) = nullptr;
};

// The flag of PageSplitFlags at position (1-based); 0 at and beyond the table's end.
std::uint8_t splitFlagAt(const ShellState& shell, std::size_t position);

// True when any position 1 .. size() - 1 of PageSplitFlags is set.
bool splitModeOf(const ShellState& shell);

// The name with the extension appended unless it already ends in it (any letter case).
std::string withExtension(const std::string& name, std::string_view extension);

// The numbered name of a split document: the name without its extension + "_" + number + extension.
std::string numberedName(const std::string& chosenName, std::int32_t number, std::string_view extension);

// The number of documents a run of pages pages splits into: 1 + the split flags at positions 1 ..
// pages - 1 (a flag after the last page splits nothing).
std::int32_t splitPartCount(const ShellState& shell, std::int32_t pages);

// Whether a writer makes numbered documents at the split points or ignores them.
enum class SplitPoints
{
    Followed,
    Ignored,
};

// The target a writer run saves to.
struct WriterTarget
{
    WriterOutcome outcome = WriterOutcome::Written; // Written: go on; else the run ends with it
    std::string chosenName;                         // the dialog's name with its extension
    std::string targetName;                         // in split mode the first numbered name
    bool splitMode = false;
};

// The overwrite question for the files a run is going to replace: none of them exists: true without
// a question; one exists: the question names it (existsText); several exist: it names the first and
// says that number variants exist too. True only for "Ja".
bool replacingAllowed(
    ScanJobContext& context, const std::vector<std::string>& targets, std::string_view existsText);

// The page file TmpReadyImg<number>.bmp of the temporary folder.
std::string pageFile(const std::string& tmpPath, std::int32_t number);

// The overwrite question on target: "Die Zieldatei "<file name>" " + existsText + " Soll sie
// überschrieben werden?". True only for "Ja".
bool overwriteAllowed(ScanJobContext& context, const std::string& target, std::string_view existsText);

// Entry and save dialog with the wait for the Esc key: the dialog's answer, empty when cancelled; a
// given answer's folder is where the next dialog starts.
std::string askSaveName(ScanJobContext& context, ScanJobState& job, const WriterLiterals& literals);

// Stores the folder of target as ImagePath (field and settings file).
void storeOutputFolder(ScanJobContext& context, const std::string& target);

// Entry, save dialog, Esc wait, extension, overwrite question and stored folder. The question asks
// about every file the run may replace: the chosen name, or in split mode the numbered names of all
// parts (splitPoints Ignored: never split mode). A cancelled dialog gives Cancelled; "Nein", Esc or
// the close box of the question give Declined with job.ok = 0 and nothing stored. Otherwise
// ImagePath (field and settings file) is the target's folder.
WriterTarget chooseWriterTarget(
    ScanJobContext& context,
    ScanJobState& job,
    const WriterLiterals& literals,
    SplitPoints splitPoints = SplitPoints::Followed);

// What the page work of one kept page gives to the GUI thread.
struct PageWork
{
    std::string file;     // a file written for the page (a temporary image, an output file)
    float widthPt = 0.0F; // the page's size in points (pixels × 72 / dpi; 1 point a pixel without dpi)
    float heightPt = 0.0F;
    bool failed = false;   // the file could not be written
    FreeImageBitmap image; // a prepared image the writer keeps for the GUI thread, if any
};

// The writer's part of the page loop.
struct PageLoopHooks
{
    // On a worker thread, for every page that is kept: page is the loaded page file (freed after).
    std::function<void(PageWork& work, FIBITMAP* page, std::int32_t number)> prepare;
    // On the GUI thread in page order, for every kept page whose work did not fail.
    std::function<void(PageWork& work, std::int32_t number)> add;
    // On the GUI thread in page order after every page, kept or not.
    std::function<void(std::int32_t number)> afterPage;
    // False: prepare needs only the page file, so without the blank test no page is loaded and prepare
    // gets nullptr.
    bool needsPixels = true;
    // The loop's worker threads; 0: one per core. Each page in flight holds a whole page image, so a
    // writer whose pages meet other work for the cores may take fewer.
    unsigned workers = 0;
};

// The page files TmpReadyImg1.bmp .. of the temporary folder in order: each is loaded, tested for
// blankness when the job asks for it (discardBlank set, emptyRemoved not 1; only the result 1 of the
// test drops a page) and handed to prepare on a worker pool, at most workers + 2 pages in memory. The
// GUI thread shows "Status: verarbeite Seite (i/N)..." for each, records unreadable pages, failed
// files and the image library's messages raised in the workers in outcome (never a note of its own),
// counts the pages left out as blank in job.blankPagesLeftOut, and calls add and afterPage. Returns
// the number of page files handled.
std::int32_t
runPageLoop(ScanJobContext& context, ScanJobState& job, const PageLoopHooks& hooks, SaveOutcome& outcome);

// The page's size in points on one axis: pixels × 72 / dpi, dpi = dots per metre × 0.0254; without a
// resolution one point a pixel.
float pagePoints(unsigned pixels, unsigned dotsPerMeter);

} // namespace folvex
