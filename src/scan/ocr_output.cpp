#include "scan/ocr_output.h"

#include "foundation/note.h"
#include "foundation/paths.h"
#include "runtime/effects.h"
#include "runtime/safe_file.h"
#include "runtime/worker_pool.h"
#include "scan/page_depth.h"
#include "scan/pdf_output.h"
#include "scan/save_outcome.h"
#include "scan/writer_steps.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <deque>
#include <filesystem>
#include <memory>
#include <mutex>
#include <string>
#include <system_error>
#include <vector>

namespace folvex {

namespace {

namespace fs = std::filesystem;

constexpr std::intptr_t OcrFailedIcon = 3;
constexpr int SimpleBeep = -1;
// How long the GUI thread waits for news of the runs before it takes window events again.
constexpr std::chrono::milliseconds EventInterval{30};

// One range TIFF: consecutive kept pages of one document, recognised by one tesseract process.
struct OcrRange
{
    std::string tiff;
    FIMULTIBITMAP* open = nullptr; // written to tiff when closed, on the range's own worker
    std::string outputBase;        // tesseract writes outputBase + ".pdf"
    std::size_t document = 0;
    std::int32_t pages = 0;
    bool firstOfDocument = false;
    bool succeeded = false;
};

// One output document: its ranges in page order and the name it is renamed to.
struct OcrDocument
{
    std::string name;
    std::int32_t pages = 0;
    std::vector<std::size_t> ranges;
};

bool nonEmptyFile(const std::string& path)
{
    std::error_code error;
    return fs::is_regular_file(path, error) && fs::file_size(path, error) > 0 && !error;
}

void removeQuietly(const std::string& path)
{
    std::error_code error;
    fs::remove(path, error);
}

// Writes the range's TIFF; no thread touches the range's other fields meanwhile.
void closeRange(const FreeImageFunctionTable& functions, OcrRange& range)
{
    if (range.open != nullptr) {
        functions.CloseMultiBitmap(range.open, 0);
        range.open = nullptr;
    }
}

// Collects the kept pages into range TIFFs, opened at their first page so that a document without a
// kept page has no TIFF and no number. The ranges stay open: writing a TIFF (its compression) is most
// of the collecting time, so each range's worker closes its own before its run.
class RangeCollector
{
public:
    RangeCollector(const FreeImageFunctionTable& functions, std::string tmpPath, std::int32_t rangeSize)
        : m_functions(functions)
        , m_tmpPath(std::move(tmpPath))
        , m_rangeSize(rangeSize)
    {}

    ~RangeCollector()
    {
        for (OcrRange& range : m_ranges) {
            closeRange(m_functions, range);
        }
    }

    RangeCollector(const RangeCollector&) = delete;
    RangeCollector& operator=(const RangeCollector&) = delete;

    // Appends a page to the current range of the current document; false when it could not be added.
    bool add(FIBITMAP* page)
    {
        if (m_current != nullptr && m_current->pages >= m_rangeSize) {
            m_current = nullptr;
        }
        if (m_current == nullptr && !openRange()) {
            return false;
        }
        m_functions.AppendPage(m_current->open, page);
        ++m_ranges.back().pages;
        ++m_documents.back().pages;
        return true;
    }

    // Ends the current document at a split point; the next kept page starts a new one.
    void endDocument()
    {
        m_current = nullptr;
        m_documentOpen = false;
    }

    std::vector<OcrRange>& ranges() { return m_ranges; }

    std::vector<OcrDocument>& documents() { return m_documents; }

private:
    bool openRange()
    {
        const std::string tiff = m_tmpPath + "/MultiPage_" + std::to_string(m_ranges.size() + 1) + ".tiff";
        FIMULTIBITMAP* open = m_functions.OpenMultiBitmap(FIF_TIFF, tiff.c_str(), TRUE, FALSE, FALSE, 0);
        if (open == nullptr) {
            return false;
        }
        if (!m_documentOpen) {
            m_documents.emplace_back();
            m_documentOpen = true;
        }
        OcrRange range;
        range.tiff = tiff;
        range.open = open;
        range.document = m_documents.size() - 1;
        range.firstOfDocument = m_documents.back().ranges.empty();
        m_documents.back().ranges.push_back(m_ranges.size());
        m_ranges.push_back(range);
        m_current = &m_ranges.back();
        return true;
    }

    const FreeImageFunctionTable& m_functions;
    std::string m_tmpPath;
    std::int32_t m_rangeSize;
    OcrRange* m_current = nullptr; // into m_ranges, which grows only in openRange
    bool m_documentOpen = false;
    std::vector<OcrRange> m_ranges;
    std::vector<OcrDocument> m_documents;
};

// What the range processes tell the GUI thread: status lines and finished runs.
struct RunNews
{
    std::mutex mutex;
    std::condition_variable changed;
    std::deque<std::string> lines;
    std::size_t finished = 0;
};

// Writes each range's TIFF and runs tesseract on it, at most cores ranges at once, in page order. The
// GUI thread shows the status lines and keeps taking window events until every run has ended.
void recogniseRanges(
    ScanJobContext& context,
    const FreeImageFunctionTable& functions,
    std::vector<OcrRange>& ranges,
    const std::vector<OcrDocument>& documents,
    const std::string& workingDir,
    unsigned cores)
{
    const std::string language = context.shell.settingsState.settings.Language;
    RunNews news;
    {
        WorkerPool pool(std::max(1U, std::min<unsigned>(cores, static_cast<unsigned>(ranges.size()))));
        for (OcrRange& range : ranges) {
            pool.post([&functions, &range, &news, &documents, &language, &workingDir] {
                closeRange(functions, range);
                const auto say = [&news](std::string line) {
                    {
                        std::lock_guard lock(news.mutex);
                        news.lines.push_back(std::move(line));
                    }
                    news.changed.notify_all();
                };
                if (range.firstOfDocument) {
                    say("Status: OCR läuft (" + std::to_string(documents[range.document].pages) +
                        " Seiten)...");
                }
                ProcessRequest request;
                request.argv = {
                    std::string(TesseractProgram),
                    range.tiff,
                    range.outputBase,
                    "-l",
                    language,
                    "--psm",
                    "1",
                    "pdf"};
                request.workingDir = workingDir;
                request.environment = {"OMP_THREAD_LIMIT=1"};
                request.onLine = [&say](OutputStream, const std::string& line) {
                    if (!line.empty()) {
                        say(std::string(OcrLinePrefix) + line);
                    }
                };
                const ProcessResult result = effects().processes->run(request);
                const bool succeeded =
                    result.started && result.exitCode == 0 && nonEmptyFile(range.outputBase + ".pdf");
                {
                    std::lock_guard lock(news.mutex);
                    range.succeeded = succeeded;
                    ++news.finished;
                }
                news.changed.notify_all();
            });
        }

        std::unique_lock lock(news.mutex);
        while (true) {
            while (!news.lines.empty()) {
                const std::string line = std::move(news.lines.front());
                news.lines.pop_front();
                lock.unlock();
                context.window.setStatusNow(line);
                lock.lock();
            }
            if (news.finished == ranges.size()) {
                break;
            }
            lock.unlock();
            context.window.drainWindowEvents();
            lock.lock();
            news.changed.wait_for(
                lock, EventInterval, [&] { return !news.lines.empty() || news.finished == ranges.size(); });
        }
    }
}

// Joins the range PDFs of a document in page order into output; true when qpdf wrote it.
bool joinRanges(
    const std::vector<std::string>& parts, const std::string& output, const std::string& workingDir)
{
    ProcessRequest request;
    request.argv = {std::string(QpdfProgram), "--empty", "--pages"};
    request.argv.insert(request.argv.end(), parts.begin(), parts.end());
    request.argv.insert(request.argv.end(), {"--", output});
    request.workingDir = workingDir;
    const ProcessResult result = effects().processes->run(request);
    // qpdf ends with 3 for warnings on a file it still wrote completely.
    return result.started && (result.exitCode == 0 || result.exitCode == 3) && nonEmptyFile(output);
}

// Puts a document in place under its name: joined when it has several ranges, then renamed over the
// old file. A document that failed leaves no output and the old file untouched.
bool finishDocument(
    const OcrDocument& document, const std::vector<OcrRange>& ranges, const std::string& workingDir)
{
    std::vector<std::string> parts;
    bool ranOk = true;
    for (const std::size_t index : document.ranges) {
        parts.push_back(ranges[index].outputBase + ".pdf");
        ranOk = ranOk && ranges[index].succeeded;
    }
    std::string result = parts.front();
    std::string joined;
    if (ranOk && parts.size() > 1) {
        joined = makeTemporaryName(document.name) + ".pdf";
        ranOk = joinRanges(parts, joined, workingDir);
        result = joined;
    }
    bool placed = false;
    if (ranOk) {
        std::error_code error;
        fs::rename(result, document.name, error);
        placed = !error;
    }
    for (const std::string& part : parts) {
        removeQuietly(part);
    }
    if (!joined.empty()) {
        removeQuietly(joined);
    }
    return placed;
}

void showFailureBox(
    ScanJobContext& context, const std::vector<std::string>& notCreated, const SaveOutcome& pages)
{
    std::string text(OcrFailedText);
    for (std::size_t i = 0; i < notCreated.size(); ++i) {
        text += (i == 0 ? std::string(OcrNotCreated) : std::string(", ")) + notCreated[i];
    }
    if (!pages.failures.empty()) {
        text += R"(\n)";
        for (const std::string& line : pages.failures) {
            text += R"(\n)" + line;
        }
    }
    ActionBoxParams params;
    ResetActionBoxParams(params);
    params.Title = std::string(OcrFailedTitle);
    params.Text = text;
    params.Icon = OcrFailedIcon;
    static_cast<void>(context.dialogs.actionBox(params));
}

} // namespace

WriterOutcome SavePdfOcr(ScanJobContext& context, ScanJobState& job)
{
    return SavePdfOcr(context, job, defaultWorkerCount());
}

WriterOutcome SavePdfOcr(ScanJobContext& context, ScanJobState& job, unsigned cores)
{
    // "Ziel ändern" may have chosen this writer without the job's start check.
    if (findInPath(std::string(TesseractProgram)).empty()) {
        ShowNote(std::string(TesseractMissingNote), 0);
        return WriterOutcome::Cancelled;
    }
    const WriterTarget target = chooseWriterTarget(context, job, PdfLiterals);
    if (target.outcome != WriterOutcome::Written) {
        return target.outcome;
    }
    const FreeImageFunctionTable& functions = *context.freeImage;
    const std::string tmpPath = context.shell.settingsState.settings.TmpPath;
    const std::string workingDir = PathDirectory(target.targetName);

    cores = std::max(1U, cores);
    const std::int32_t total = std::max<std::int32_t>(1, job.mergedPages);
    const bool canJoin = !findInPath(std::string(QpdfProgram)).empty();
    const std::int32_t rangeSize =
        canJoin ? (total + static_cast<std::int32_t>(cores) - 1) / static_cast<std::int32_t>(cores) : total;

    SaveOutcome pageFailures;
    RangeCollector collector(functions, tmpPath, rangeSize);
    PageLoopHooks hooks;
    hooks.prepare = [&functions](PageWork& work, FIBITMAP* page, std::int32_t) {
        PreparedPage prepared = prepareDepthFor(functions, FIF_TIFF, page);
        work.image =
            prepared.owner
                ? std::move(prepared.owner)
                : ownFreeImage(
                      functions, prepared.image == nullptr ? nullptr : functions.Clone(prepared.image));
        work.failed = !work.image;
    };
    hooks.add = [&collector, &pageFailures](PageWork& work, std::int32_t number) {
        if (!collector.add(work.image.get())) {
            pageFailures.pageUnreadable(number);
        }
        work.image.reset();
    };
    hooks.afterPage = [&](std::int32_t number) {
        if (target.splitMode && splitFlagAt(context.shell, static_cast<std::size_t>(number)) != 0) {
            collector.endDocument();
        }
    };
    runPageLoop(context, job, hooks, pageFailures);

    std::vector<OcrRange>& ranges = collector.ranges();
    std::vector<OcrDocument>& documents = collector.documents();
    for (std::size_t d = 0; d < documents.size(); ++d) {
        documents[d].name = target.splitMode
                                ? numberedName(target.chosenName, static_cast<std::int32_t>(d + 1), ".pdf")
                                : target.chosenName;
    }
    for (OcrRange& range : ranges) {
        range.outputBase = makeTemporaryName(documents[range.document].name);
    }

    std::vector<std::string> notCreated;
    SaveOutcome written;
    if (!ranges.empty()) {
        context.window.setStatusNow(std::string(OcrRunningStatus));
        recogniseRanges(context, functions, ranges, documents, workingDir, cores);
        for (const OcrDocument& document : documents) {
            if (finishDocument(document, ranges, workingDir)) {
                written.fileWritten(document.name);
            } else {
                notCreated.push_back(PathFileName(document.name));
            }
        }
    }
    for (const OcrRange& range : ranges) {
        removeQuietly(range.tiff);
    }

    if (notCreated.empty() && pageFailures.failures.empty()) {
        finishWriterRun(context, written, true);
        return WriterOutcome::Written;
    }
    if (!written.written.empty()) {
        context.shell.LastOutputFile = written.written.back();
        context.window.enableMenuItem(LastOutputMenuItem, true);
        context.window.enableButton(MainButton::OpenLastOutput, true);
    }
    showFailureBox(context, notCreated, pageFailures);
    return WriterOutcome::Written;
}

} // namespace folvex
