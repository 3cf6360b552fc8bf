#include "scan/ocr_output.h"

#include "foundation/note.h"
#include "foundation/paths.h"
#include "runtime/effects.h"
#include "runtime/safe_file.h"
#include "runtime/worker_pool.h"
#include "scan/page_depth.h"
#include "scan/pdf_output.h"
#include "scan/save_outcome.h"
#include "scan/tiff_pages.h"
#include "scan/writer_steps.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <deque>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <system_error>
#include <vector>

namespace folvex {

namespace {

namespace fs = std::filesystem;

constexpr std::intptr_t OcrFailedIcon = 3;
// How long the GUI thread waits for news of the runs before it takes window events again.
constexpr std::chrono::milliseconds EventInterval{30};

// One range TIFF: consecutive kept pages of one document, recognised by one tesseract process.
struct OcrRange
{
    std::string tiff;
    std::string outputBase; // tesseract writes outputBase + ".pdf"
    std::size_t document = 0;
    std::int32_t pages = 0;
    bool firstOfDocument = false;
    bool succeeded = false;
    std::string failure; // why the run failed, in German, with the program's last line of its own
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

// Why a tesseract run gave no document, in German; its last line on standard error follows on a
// line of its own.
std::string runFailure(const ProcessResult& result, const std::string& lastErrorLine)
{
    constexpr int SignalBase = 128;
    std::string text;
    if (!result.started) {
        text = "Tesseract konnte nicht gestartet werden.";
        if (!result.error.empty()) {
            text += R"(\n)" + result.error;
        }
        return text;
    }
    if (result.exitCode > SignalBase) {
        text = "Tesseract wurde abgebrochen (Signal " + std::to_string(result.exitCode - SignalBase) + ").";
    } else if (result.exitCode != 0) {
        text = "Tesseract endete mit dem Fehlercode " + std::to_string(result.exitCode) + ".";
    } else {
        text = "Tesseract hat keine PDF-Datei erzeugt.";
    }
    if (!lastErrorLine.empty()) {
        text += R"(\nTesseract meldet: )" + lastErrorLine;
    }
    return text;
}

// What the range processes tell the GUI thread: status lines, the documents whose first run started
// and the runs that ended.
struct RunNews
{
    static constexpr std::size_t NoDocument = static_cast<std::size_t>(-1);

    struct Line
    {
        std::string text;
        std::size_t startedDocument = NoDocument; // set: "OCR läuft (<n> Seiten)..." for that document
    };

    std::mutex mutex;
    std::condition_variable changed;
    std::deque<Line> lines;
    std::vector<std::size_t> succeeded;                        // ranges whose run succeeded
    std::vector<std::pair<std::size_t, std::string>> failures; // the other ranges and why
    std::size_t finished = 0;
};

// Collects the kept pages into range TIFFs and starts each range's tesseract run as soon as its TIFF
// is complete, at most cores runs at once, in page order; the GUI thread goes on collecting meanwhile.
// A range (and its document) is counted from its first page appended, so a document without a kept
// page has no TIFF, no number and no run. The pages come encoded (one TIFF file each), so appending
// one costs little more than copying it.
// Tesseract and qpdf create their files by name, so every file of the run lies in a private folder:
// the TIFFs in one in the temporary folder, the range results in one beside the documents (so that a
// result is renamed into place on the same file system). No one else can plant a link there.
class RangeRecognition
{
public:
    RangeRecognition(
        std::string tmpPath,
        std::int32_t rangeSize,
        unsigned cores,
        std::string language,
        std::string workingDir,
        std::function<std::string(std::size_t)> documentName)
        : m_tiffFolder(PrivateFolder::create(tmpPath))
        , m_resultFolder(PrivateFolder::create(workingDir))
        , m_rangeSize(rangeSize)
        , m_language(std::move(language))
        , m_workingDir(std::move(workingDir))
        , m_documentName(std::move(documentName))
        , m_pool(std::make_unique<WorkerPool>(cores))
    {}

    ~RangeRecognition()
    {
        m_pool.reset(); // runs and waits for the runs still queued: they use this object
        removeTiffs();
    }

    RangeRecognition(const RangeRecognition&) = delete;
    RangeRecognition& operator=(const RangeRecognition&) = delete;

    // Where page number's TIFF is written; empty when there is no folder for the TIFFs.
    std::string pageTiffName(std::int32_t number) const
    {
        return m_tiffFolder ? m_tiffFolder->file("MultiPage_page" + std::to_string(number) + ".tiff")
                            : std::string{};
    }

    // Where the documents' joined results are written; empty when there is no folder for them.
    std::string joinedName(std::size_t document) const
    {
        return m_resultFolder ? m_resultFolder->file("joined" + std::to_string(document + 1) + ".pdf")
                              : std::string{};
    }

    // Appends an encoded page to the current range of the current document; false when it could not
    // be added. A full range is started at once.
    bool add(const std::string& pageTiff)
    {
        if (!m_tiffFolder) {
            return false;
        }
        if (!m_joinerOpen) {
            m_joinerOpen = m_joiner.open(nextTiffName());
            if (!m_joinerOpen) {
                return false;
            }
        }
        if (!m_joiner.appendFile(pageTiff)) {
            return false;
        }
        if (m_joiner.pages() == 1) {
            recordRange();
        }
        ++m_ranges.back().pages;
        ++m_documents.back().pages;
        if (m_ranges.back().pages >= m_rangeSize) {
            endRange();
        }
        return true;
    }

    // Ends the current document at a split point; the next kept page starts a new one.
    void endDocument()
    {
        endRange();
        m_documentOpen = false;
    }

    // Ends the collecting: the last range is started, then the GUI thread shows the status lines and
    // takes window events until every run has ended.
    void finish(ScanJobContext& context)
    {
        endDocument();
        if (m_ranges.empty()) {
            return;
        }
        context.window.setStatusNow(std::string(OcrRunningStatus));
        std::unique_lock lock(m_news.mutex);
        while (true) {
            while (!m_news.lines.empty()) {
                const RunNews::Line line = std::move(m_news.lines.front());
                m_news.lines.pop_front();
                lock.unlock();
                context.window.setStatusNow(
                    line.startedDocument == RunNews::NoDocument
                        ? line.text
                        : "Status: OCR läuft (" + std::to_string(m_documents[line.startedDocument].pages) +
                              " Seiten)...");
                lock.lock();
            }
            if (m_news.finished == m_started) {
                break;
            }
            lock.unlock();
            context.window.drainWindowEvents();
            lock.lock();
            m_news.changed.wait_for(
                lock, EventInterval, [&] { return !m_news.lines.empty() || m_news.finished == m_started; });
        }
        for (const std::size_t index : m_news.succeeded) {
            m_ranges[index].succeeded = true;
        }
        for (auto& [index, failure] : m_news.failures) {
            m_ranges[index].failure = std::move(failure);
        }
    }

    const std::deque<OcrRange>& ranges() const { return m_ranges; }

    // Deletes the range TIFFs; only once every run has ended.
    void removeTiffs()
    {
        for (const OcrRange& range : m_ranges) {
            removeQuietly(range.tiff);
        }
    }

    const std::vector<OcrDocument>& documents() const { return m_documents; }

private:
    std::string nextTiffName() const
    {
        return m_tiffFolder->file("MultiPage_" + std::to_string(m_ranges.size() + 1) + ".tiff");
    }

    // The range of the page just appended, and its document when this is the document's first page.
    void recordRange()
    {
        if (!m_documentOpen) {
            m_documents.emplace_back();
            m_documents.back().name = m_documentName(m_documents.size() - 1);
            m_documentOpen = true;
        }
        OcrDocument& document = m_documents.back();
        OcrRange range;
        range.tiff = nextTiffName();
        range.outputBase = m_resultFolder
                               ? m_resultFolder->file("range" + std::to_string(m_ranges.size() + 1))
                               : std::string{};
        range.document = m_documents.size() - 1;
        range.firstOfDocument = document.ranges.empty();
        document.ranges.push_back(m_ranges.size());
        m_ranges.push_back(std::move(range));
    }

    // Closes the current range's TIFF and starts its run; a TIFF that could not be written completely
    // fails the range without a run.
    void endRange()
    {
        if (!m_joinerOpen) {
            return;
        }
        m_joinerOpen = false;
        const bool appended = m_joiner.pages() > 0;
        const bool complete = m_joiner.close();
        if (!appended) {
            removeQuietly(nextTiffName());
        } else if (complete && m_resultFolder) {
            startRun(m_ranges.size() - 1);
        }
    }

    void startRun(std::size_t index)
    {
        const OcrRange& range = m_ranges[index];
        ++m_started;
        m_pool->post([this,
                      index,
                      tiff = range.tiff,
                      outputBase = range.outputBase,
                      document = range.document,
                      first = range.firstOfDocument] {
            const auto say = [this](RunNews::Line line) {
                {
                    std::lock_guard lock(m_news.mutex);
                    m_news.lines.push_back(std::move(line));
                }
                m_news.changed.notify_all();
            };
            if (first) {
                say({{}, document});
            }
            ProcessRequest request;
            request.argv = {
                std::string(TesseractProgram), tiff, outputBase, "-l", m_language, "--psm", "1", "pdf"};
            request.workingDir = m_workingDir;
            request.environment = {"OMP_THREAD_LIMIT=1", std::string(TesseractAllocatorSetting)};
            std::string lastErrorLine;
            request.onLine = [&say, &lastErrorLine](OutputStream stream, const std::string& line) {
                if (!line.empty()) {
                    say({std::string(OcrLinePrefix) + line});
                    if (stream == OutputStream::StandardError) {
                        lastErrorLine = line;
                    }
                }
            };
            const ProcessResult result = effects().processes->run(request);
            const bool succeeded =
                result.started && result.exitCode == 0 && nonEmptyFile(outputBase + ".pdf");
            {
                std::lock_guard lock(m_news.mutex);
                if (succeeded) {
                    m_news.succeeded.push_back(index);
                } else {
                    m_news.failures.emplace_back(index, runFailure(result, lastErrorLine));
                }
                ++m_news.finished;
            }
            m_news.changed.notify_all();
        });
    }

    Expected<PrivateFolder> m_tiffFolder;
    Expected<PrivateFolder> m_resultFolder;
    std::int32_t m_rangeSize;
    std::string m_language;
    std::string m_workingDir;
    std::function<std::string(std::size_t)> m_documentName;
    TiffPageJoiner m_joiner;
    bool m_joinerOpen = false;
    bool m_documentOpen = false;
    std::deque<OcrRange> m_ranges; // GUI thread only; a run gets its range's fields by value
    std::vector<OcrDocument> m_documents;
    std::size_t m_started = 0; // runs posted
    RunNews m_news;
    std::unique_ptr<WorkerPool> m_pool; // last: gone first, while what its runs use is still there
};

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
// old file. A document that failed leaves no output and the old file untouched; the result is why it
// failed (in German), empty when it was placed.
std::string finishDocument(
    const OcrDocument& document,
    const std::deque<OcrRange>& ranges,
    const std::string& joinedName,
    const std::string& workingDir)
{
    std::vector<std::string> parts;
    std::string failure;
    for (const std::size_t index : document.ranges) {
        parts.push_back(ranges[index].outputBase + ".pdf");
        if (failure.empty() && !ranges[index].succeeded) {
            // A range whose TIFF could not be completed never ran.
            failure = ranges[index].failure.empty() ? "Die Seiten konnten nicht für Tesseract gesammelt werden."
                                                    : ranges[index].failure;
        }
    }
    std::string result = parts.front();
    std::string joined;
    if (failure.empty() && parts.size() > 1) {
        joined = joinedName;
        if (!joinRanges(parts, joined, workingDir)) {
            failure = "Die Teile konnten mit qpdf nicht zusammengefügt werden.";
        }
        result = joined;
    }
    if (failure.empty()) {
        std::error_code error;
        fs::rename(result, document.name, error);
        if (error) {
            const std::string cause = writeFailureCause(error.value());
            failure = "Die Datei konnte nicht geschrieben werden." +
                      (cause.empty() ? std::string() : " Grund: " + cause + ".");
        }
    }
    for (const std::string& part : parts) {
        removeQuietly(part);
    }
    if (!joined.empty()) {
        removeQuietly(joined);
    }
    return failure;
}

// The box for documents that were not created: their names, then why each failed, then the lines
// of the pages that failed.
void showFailureBox(
    ScanJobContext& context,
    const std::vector<std::string>& notCreated,
    const std::vector<std::string>& reasons,
    const SaveOutcome& pages)
{
    std::string text(OcrFailedText);
    for (std::size_t i = 0; i < notCreated.size(); ++i) {
        text += (i == 0 ? std::string(OcrNotCreated) : std::string(", ")) + notCreated[i];
    }
    text += R"(\n)";
    for (std::size_t i = 0; i < notCreated.size(); ++i) {
        text += R"(\n)" + notCreated[i] + ": " + reasons[i];
    }
    if (!pages.failures.empty()) {
        text += R"(\n\n)" + failureLines(pages.failures);
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
    // Absolute: the page TIFFs made in it are handed to tesseract, which runs in another folder.
    const std::string tmpPath = AbsolutePath(context.shell.settingsState.settings.TmpPath);
    const std::string workingDir = PathDirectory(target.targetName);

    cores = std::max(1U, cores);
    const std::int32_t total = std::max<std::int32_t>(1, job.mergedPages);
    const bool canJoin = !findInPath(std::string(QpdfProgram)).empty();
    const std::int32_t rangeSize =
        canJoin ? (total + static_cast<std::int32_t>(cores) - 1) / static_cast<std::int32_t>(cores) : total;

    // Each kept page is encoded on the page loop's workers into a TIFF file of its own, which the GUI
    // thread then only appends to its range. PackBits: fast to write and to read, and small on text
    // pages; lossless, so the pages go in at their depth and resolution as they are.
    SaveOutcome outcome;
    RangeRecognition recognition(
        tmpPath,
        rangeSize,
        cores,
        context.shell.settingsState.settings.Language,
        workingDir,
        [&target](std::size_t document) {
            return target.splitMode
                       ? numberedName(target.chosenName, static_cast<std::int32_t>(document + 1), ".pdf")
                       : target.chosenName;
        });
    PageLoopHooks hooks;
    // One worker loads and encodes the pages while the GUI thread appends them: a second one collects
    // no faster, as threads of one process mapping and freeing page-sized images mostly wait for each
    // other, and it takes twice the processor time from the runs already started.
    hooks.workers = 1;
    hooks.prepare = [&functions, &recognition](PageWork& work, FIBITMAP* page, std::int32_t number) {
        const PreparedPage prepared = prepareDepthFor(functions, FIF_TIFF, page);
        const std::string file = recognition.pageTiffName(number);
        if (prepared.image == nullptr || file.empty()) {
            return; // no file: the page is reported as not read
        }
        if (writePackBitsPage(functions, prepared.image, file) ||
            functions.Save(FIF_TIFF, prepared.image, file.c_str(), TIFF_PACKBITS) == TRUE) {
            work.file = file;
        } else {
            removeQuietly(file);
        }
    };
    hooks.add = [&recognition, &outcome](PageWork& work, std::int32_t number) {
        if (work.file.empty() || !recognition.add(work.file)) {
            outcome.pageUnreadable(number);
        }
        removeQuietly(work.file);
    };
    hooks.afterPage = [&](std::int32_t number) {
        if (target.splitMode && splitFlagAt(context.shell, static_cast<std::size_t>(number)) != 0) {
            recognition.endDocument();
        }
    };
    runPageLoop(context, job, hooks, outcome);
    recognition.finish(context);

    std::vector<std::string> notCreated;
    std::vector<std::string> reasons;
    for (std::size_t index = 0; index < recognition.documents().size(); ++index) {
        const OcrDocument& document = recognition.documents()[index];
        std::string failure = finishDocument(document, recognition.ranges(), recognition.joinedName(index), workingDir);
        if (failure.empty()) {
            outcome.fileWritten(document.name);
        } else {
            notCreated.push_back(PathFileName(document.name));
            reasons.push_back(std::move(failure));
        }
    }
    recognition.removeTiffs();

    // Documents all created: what went wrong with single pages is the usual save outcome.
    if (notCreated.empty()) {
        finishWriterRun(context, outcome, true);
        return WriterOutcome::Written;
    }
    outcome.listLibraryMessages();
    if (!outcome.written.empty()) {
        context.shell.LastOutputFile = outcome.written.back();
        context.window.enableMenuItem(LastOutputMenuItem, true);
        context.window.enableButton(MainButton::OpenLastOutput, true);
    }
    showFailureBox(context, notCreated, reasons, outcome);
    return WriterOutcome::Written;
}

} // namespace folvex
