#include "scan/multipage_writers.h"

#include "foundation/paths.h"
#include "runtime/safe_file.h"
#include "runtime/text.h"
#include "scan/page_depth.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <limits>
#include <optional>
#include <unistd.h>

namespace folvex {

namespace {

constexpr std::string_view TiffEnding = ".TIF";
constexpr std::string_view LongTiffEnding = ".TIFF";
constexpr unsigned MaxLogicalScreen = std::numeric_limits<std::uint16_t>::max();

bool endsInUpper(const std::string& name, std::string_view ending)
{
    return name.size() >= ending.size() &&
           upperCase(std::string_view(name).substr(name.size() - ending.size())) == ending;
}

// Flushes the finished file to the disk and renames it over the target; 0, or the system error.
int commitFile(const std::string& temporary, const std::string& target)
{
    const int fd = ::open(temporary.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return errno;
    }
    const int synced = ::fsync(fd) == 0 ? 0 : errno;
    ::close(fd);
    if (synced != 0) {
        return synced;
    }
    return std::rename(temporary.c_str(), target.c_str()) == 0 ? 0 : errno;
}

// The system error a library call left behind when it is one a failed write gives (the library
// reports only success or failure); 0 otherwise. errno must have been cleared before the call.
int libraryWriteError()
{
    const int error = errno;
    switch (error) {
        case ENOSPC:
        case EDQUOT:
        case EIO:
        case EFBIG:
        case EROFS:
        case EACCES:
        case EPERM:
            return error;
        default:
            return 0;
    }
}

// One document of the image library's multi-page kind. It is opened at its first page, so a part
// without a kept page creates nothing, and written under a temporary name that replaces the target
// only when the library closed it successfully.
class MultipageDocument
{
public:
    MultipageDocument(const FreeImageFunctionTable& functions, FREE_IMAGE_FORMAT format, SaveOutcome& outcome)
        : m_functions(functions)
        , m_format(format)
        , m_outcome(outcome)
    {}

    MultipageDocument(const MultipageDocument&) = delete;
    MultipageDocument& operator=(const MultipageDocument&) = delete;

    ~MultipageDocument()
    {
        if (m_document != nullptr) {
            static_cast<void>(m_functions.CloseMultiBitmap(m_document, 0));
            removeLeftovers();
        }
    }

    // Adds a page; folder names where the temporary file goes (the target's folder).
    void add(FIBITMAP* page, const std::string& folderOf)
    {
        if (m_document == nullptr && !m_openFailed) {
            // The library creates its cache and spool files by name beside the document, so the
            // document is made in a private folder beside the target, where no link can be planted.
            auto folder = PrivateFolder::create(PathDirectory(folderOf));
            if (!folder) {
                m_openFailed = true;
                ++m_pages;
                return;
            }
            m_folder = std::move(folder.value());
            m_temporary = m_folder->file(PathFileName(folderOf));
            // The library crashes when it cannot create its cache file beside the document, so the
            // folder is tried first by creating the temporary file, which the library replaces.
            const int probe = ::open(m_temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
            if (probe >= 0) {
                ::close(probe);
                errno = 0;
                m_document =
                    m_functions.OpenMultiBitmap(m_format, m_temporary.c_str(), TRUE, FALSE, FALSE, 0);
                noteError(libraryWriteError());
            } else {
                noteError(errno);
            }
            m_openFailed = m_document == nullptr;
        }
        ++m_pages;
        if (m_document != nullptr) {
            errno = 0;
            m_functions.AppendPage(m_document, page);
            noteError(libraryWriteError());
        }
    }

    // Ends the document as target and returns the number of pages it was given (0: nothing was
    // written and nothing is reported). A document that cannot be completed leaves the target as it
    // was and is reported.
    int close(const std::string& target)
    {
        const int pages = m_pages;
        m_pages = 0;
        if (pages == 0) {
            return 0;
        }
        bool written = false;
        if (m_document != nullptr) {
            FIMULTIBITMAP* document = m_document;
            m_document = nullptr;
            errno = 0;
            if (m_functions.CloseMultiBitmap(document, 0) == FALSE) {
                noteError(libraryWriteError());
            } else {
                const int committed = commitFile(m_temporary, target);
                noteError(committed);
                written = committed == 0;
            }
        }
        m_openFailed = false;
        removeLeftovers();
        if (written) {
            m_outcome.fileWritten(target);
        } else {
            m_outcome.fileNotWritten(target, writeFailureCause(m_error));
        }
        m_error = 0;
        return pages;
    }

private:
    // Keeps the first system error of the document as the cause of its failure.
    void noteError(int error)
    {
        if (m_error == 0) {
            m_error = error;
        }
    }

    // The temporary file and the library's cache and spool files beside it, with their folder.
    void removeLeftovers() { m_folder.reset(); }

    const FreeImageFunctionTable& m_functions;
    FREE_IMAGE_FORMAT m_format;
    SaveOutcome& m_outcome;
    FIMULTIBITMAP* m_document = nullptr;
    std::optional<PrivateFolder> m_folder;
    std::string m_temporary;
    bool m_openFailed = false;
    int m_pages = 0;
    int m_error = 0; // the first system error met while writing the document
};

// On a worker: the page prepared for the format, kept as the work's own image for the GUI thread. A
// page that cannot be prepared is reported by its number and left out of the document.
void keepPrepared(
    const FreeImageFunctionTable& functions,
    FREE_IMAGE_FORMAT format,
    PageWork& work,
    FIBITMAP* page,
    std::int32_t number)
{
    PreparedPage prepared = prepareDepthFor(functions, format, page);
    if (prepared.image != nullptr) {
        work.image =
            prepared.owner ? std::move(prepared.owner) : ownFreeImage(functions, functions.Clone(page));
    }
    work.failed = !work.image;
    if (work.failed) {
        work.file = "Seite " + std::to_string(number);
    }
}

template <typename Value>
void attachAnimationTag(
    const FreeImageFunctionTable& functions,
    FIBITMAP* frame,
    const char* key,
    FREE_IMAGE_MDTYPE type,
    Value value)
{
    FITAG* tag = functions.CreateTag();
    if (tag == nullptr) {
        return;
    }
    functions.SetTagKey(tag, key);
    functions.SetTagType(tag, type);
    functions.SetTagCount(tag, 1);
    functions.SetTagLength(tag, sizeof(Value));
    functions.SetTagValue(tag, &value);
    functions.SetMetadata(FIMD_ANIMATION, frame, functions.GetTagKey(tag), tag);
    functions.DeleteTag(tag);
}

// The largest width and height among the page files, read from their headers only.
std::pair<unsigned, unsigned> largestPage(const FreeImageFunctionTable& functions, const std::string& tmpPath)
{
    const std::int32_t count = countNumberedFiles(tmpPath, PageFilePrefix, 1, ".bmp", MaxReadyPages);
    unsigned width = 0;
    unsigned height = 0;
    for (std::int32_t k = 1; k <= count; ++k) {
        const std::string path = tmpPath + "/" + std::string(PageFilePrefix) + std::to_string(k) + ".bmp";
        const FreeImageBitmap header =
            ownFreeImage(functions, functions.Load(FIF_BMP, path.c_str(), FIF_LOAD_NOPIXELS));
        if (header) {
            width = std::max(width, functions.GetWidth(header.get()));
            height = std::max(height, functions.GetHeight(header.get()));
        }
    }
    return {std::min(width, MaxLogicalScreen), std::min(height, MaxLogicalScreen)};
}

// The page loop's end for both writers: a run that wrote a document grays the offer to open the last
// output, which names no file of this run.
void finishMultipageRun(ScanJobContext& context, SaveOutcome& outcome)
{
    if (!outcome.written.empty()) {
        context.window.enableMenuItem(LastOutputMenuItem, false);
        context.window.enableButton(MainButton::OpenLastOutput, false);
    }
    finishWriterRun(context, outcome, false);
}

} // namespace

std::string completeTiffName(const std::string& name)
{
    std::string completed = name;
    if (!endsInUpper(completed, TiffEnding) && !endsInUpper(completed, LongTiffEnding)) {
        completed += TiffEnding;
    }
    while (endsInUpper(completed, LongTiffEnding)) {
        completed.pop_back();
    }
    return completed;
}

WriterOutcome SaveMultipageTiff(ScanJobContext& context, ScanJobState& job)
{
    const WriterTarget target = chooseWriterTarget(context, job, MultipageTiffLiterals);
    if (target.outcome != WriterOutcome::Written) {
        return target.outcome;
    }
    const FreeImageFunctionTable& functions = *context.freeImage;
    SaveOutcome outcome;
    MultipageDocument document(functions, FIF_TIFF, outcome);
    // Documents that received pages; an empty part gives its number to the next one.
    std::int32_t documents = 0;
    const auto documentName = [&] {
        return target.splitMode
                   ? numberedName(target.chosenName, documents + 1, MultipageTiffLiterals.extension)
                   : target.chosenName;
    };

    PageLoopHooks hooks;
    hooks.prepare = [&functions](PageWork& work, FIBITMAP* page, std::int32_t number) {
        keepPrepared(functions, FIF_TIFF, work, page, number);
    };
    hooks.add = [&](PageWork& work, std::int32_t) { document.add(work.image.get(), target.chosenName); };
    hooks.afterPage = [&](std::int32_t number) {
        if (target.splitMode && splitFlagAt(context.shell, static_cast<std::size_t>(number)) != 0 &&
            document.close(documentName()) > 0) {
            ++documents;
        }
    };
    runPageLoop(context, job, hooks, outcome);
    document.close(documentName());
    finishMultipageRun(context, outcome);
    return WriterOutcome::Written;
}

WriterOutcome SaveAnimatedGif(ScanJobContext& context, ScanJobState& job)
{
    // One animation whatever the split points say: the question is about the chosen name alone.
    const WriterTarget target = chooseWriterTarget(context, job, AnimatedGifLiterals, SplitPoints::Ignored);
    if (target.outcome != WriterOutcome::Written) {
        return target.outcome;
    }
    const FreeImageFunctionTable& functions = *context.freeImage;
    const Settings& settings = context.shell.settingsState.settings;
    const auto loops = static_cast<std::uint32_t>(std::max(settings.AnimGifLoops, 0));
    const auto frameTime = static_cast<std::uint32_t>(std::max(settings.AnimGifFrameRate, 0));
    // Frames of different sizes all fit the logical screen, which the first frame written declares.
    const auto screen = largestPage(functions, settings.TmpPath);
    const auto screenWidth = screen.first;
    const auto screenHeight = screen.second;

    SaveOutcome outcome;
    MultipageDocument document(functions, FIF_GIF, outcome);
    bool first = true;

    PageLoopHooks hooks;
    hooks.prepare = [&functions](PageWork& work, FIBITMAP* page, std::int32_t number) {
        keepPrepared(functions, FIF_GIF, work, page, number);
    };
    hooks.add = [&](PageWork& work, std::int32_t) {
        FIBITMAP* frame = work.image.get();
        if (first) {
            attachAnimationTag(functions, frame, "Loop", FIDT_LONG, loops);
            attachAnimationTag(
                functions, frame, "LogicalWidth", FIDT_SHORT, static_cast<std::uint16_t>(screenWidth));
            attachAnimationTag(
                functions, frame, "LogicalHeight", FIDT_SHORT, static_cast<std::uint16_t>(screenHeight));
            first = false;
        }
        attachAnimationTag(functions, frame, "FrameTime", FIDT_LONG, frameTime);
        document.add(frame, target.chosenName);
    };
    hooks.afterPage = [](std::int32_t) {};
    runPageLoop(context, job, hooks, outcome);
    document.close(target.chosenName);
    finishMultipageRun(context, outcome);
    return WriterOutcome::Written;
}

} // namespace folvex
