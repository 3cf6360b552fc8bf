#include "twain/sane_acquisition.h"

#include "twain/bmp_page.h"
#include "twain/sane_device_search.h"
#include "twain/sane_options.h"
#include "twain/sane_page_writer.h"

#include <new>
#include <unistd.h>
#include <vector>

namespace folvex {

namespace {

constexpr std::size_t ReadChunkBytes = 256 * 1024;

Outcome failedOutcome(LastError error)
{
    return {0, AcquireStatus::Failed, std::move(error)};
}

Outcome cancelledOutcome()
{
    return {1, AcquireStatus::Cancelled, {}};
}

BmpDepth wantedDepth(int pixelType)
{
    switch (static_cast<ScanPixelType>(pixelType)) {
        case ScanPixelType::BlackWhite:
            return BmpDepth::Bilevel;
        case ScanPixelType::Colour:
            return BmpDepth::Colour;
        default:
            return BmpDepth::Grey;
    }
}

} // namespace

Acquisition::Acquisition(AcquisitionRequest request)
    : m_request(std::move(request))
{}

template <typename Call>
auto Acquisition::guarded(int timeoutMs, Call call)
{
    m_deadlineMs = steadyNowMs() + timeoutMs;
    auto result = call();
    m_deadlineMs = 0;
    return result;
}

int Acquisition::currentPage() const
{
    std::lock_guard lock(m_mutex);
    return m_page;
}

void Acquisition::deliverEvents()
{
    while (true) {
        {
            std::lock_guard lock(m_mutex);
            if (m_written.empty()) {
                return;
            }
            m_written.pop_front();
        }
        if (m_request.callback) {
            m_request.callback(
                static_cast<std::int32_t>(ScannerNotification::PageAcquired), 0, m_request.userData);
        }
    }
}

bool Acquisition::finished() const
{
    std::lock_guard lock(m_mutex);
    return (m_workerDone || m_abandoned) && m_written.empty();
}

void Acquisition::requestCancel()
{
    std::lock_guard lock(m_mutex);
    if (!m_cancel) {
        m_cancelAtMs = steadyNowMs();
        m_cancel = true;
    }
}

void Acquisition::checkWatchdog()
{
    const std::int64_t deadline = m_deadlineMs.load();
    std::lock_guard lock(m_mutex);
    if (m_workerDone || m_abandoned) {
        return;
    }
    const std::int64_t now = steadyNowMs();
    if (m_cancel && now - m_cancelAtMs > m_request.timeouts.cancelMs) {
        giveUpLocked(true);
    } else if (deadline != 0 && now > deadline) {
        giveUpLocked(false);
    }
}

void Acquisition::giveUpLocked(bool byCancel)
{
    m_abandoned = true;
    m_givenUpByCancel = byCancel;
    // The worker can no longer finish this page (it commits only while not given up), so its file
    // goes now rather than whenever the stuck call returns.
    if (!m_pageTemporary.empty()) {
        ::unlink(m_pageTemporary.c_str());
        m_pageTemporary.clear();
    }
}

void Acquisition::setWakeUp(std::function<void()> wakeUp)
{
    std::lock_guard lock(m_mutex);
    m_wakeUp = std::move(wakeUp);
}

bool Acquisition::waitUntilStopped(std::chrono::milliseconds timeout)
{
    std::unique_lock lock(m_mutex);
    return m_stopped.wait_for(lock, timeout, [&] { return m_workerDone; });
}

Outcome Acquisition::outcome() const
{
    std::lock_guard lock(m_mutex);
    if (m_outcomeSet) {
        return m_outcome;
    }
    return m_givenUpByCancel ? cancelledOutcome() : failedOutcome(hungError());
}

void Acquisition::run()
{
    Outcome result;
    try {
        result = scanPages();
    } catch (const std::bad_alloc&) {
        result = failedOutcome({ScannerErrorCode::DeviceFault, "Zu wenig Speicher zum Scannen."});
    }
    {
        // Known before the closing call: should that call hang, the pages and their outcome stand.
        std::lock_guard lock(m_mutex);
        if (!m_abandoned) {
            m_outcome = std::move(result);
            m_outcomeSet = true;
        }
    }
    if (!m_abandoned) {
        guarded(m_request.timeouts.callMs, [&] {
            sane_cancel(m_request.handle);
            return 0;
        });
    }
    std::lock_guard lock(m_mutex);
    m_workerDone = true;
    m_stopped.notify_all();
    wakeLocked();
}

void Acquisition::wakeLocked()
{
    if (m_wakeUp) {
        m_wakeUp();
    }
}

Acquisition::PageEnd Acquisition::endOfStatus(SANE_Status status, bool pageHasBytes, LastError& error) const
{
    switch (status) {
        case SANE_STATUS_CANCELLED:
            return PageEnd::Cancelled;
        case SANE_STATUS_NO_DOCS:
            if (!pageHasBytes) {
                return PageEnd::NoDocuments;
            }
            error = {ScannerErrorCode::DeviceFault, "Der Einzug ist mitten in der Seite leer gelaufen."};
            return PageEnd::Failed;
        default:
            error = errorOfStatus(status);
            return PageEnd::Failed;
    }
}

Acquisition::PageEnd Acquisition::readPage(PageWriter& writer, LastError& error)
{
    auto problemEnd = [&](const PageProblem& problem) {
        switch (problem.fault) {
            case PageFault::NotWritten:
                error = pageNotWrittenError(writer.path(), problem.message);
                return PageEnd::NotWritten;
            case PageFault::TooMuchData:
                error = {
                    ScannerErrorCode::DeviceFault, "Der Scanner liefert mehr Bilddaten als angekündigt."};
                return PageEnd::Failed;
            case PageFault::BadData:
                break;
        }
        error = {ScannerErrorCode::DeviceFault, "Unbrauchbare Bilddaten: " + problem.message};
        return PageEnd::Failed;
    };
    std::vector<SANE_Byte> buffer(ReadChunkBytes);
    bool pageHasBytes = false;
    SANE_Status status = guarded(m_request.timeouts.startMs, [&] { return sane_start(m_request.handle); });
    while (true) {
        if (m_abandoned) {
            return PageEnd::Cancelled;
        }
        if (status != SANE_STATUS_GOOD) {
            return endOfStatus(status, pageHasBytes, error);
        }
        SANE_Parameters parameters{};
        status = guarded(
            m_request.timeouts.callMs, [&] { return sane_get_parameters(m_request.handle, &parameters); });
        if (m_abandoned) {
            return PageEnd::Cancelled;
        }
        if (status != SANE_STATUS_GOOD) {
            return endOfStatus(status, pageHasBytes, error);
        }
        const auto format = frameFormat(parameters.format);
        if (!format) {
            error = {
                ScannerErrorCode::DeviceFault, "Der Scanner liefert ein nicht unterstütztes Bildformat."};
            return PageEnd::Failed;
        }
        const FrameLayout layout{
            *format,
            parameters.depth,
            parameters.pixels_per_line,
            parameters.bytes_per_line,
            parameters.lines};
        {
            // Under the lock, so that a give-up either sees the new page file and removes it, or
            // comes first and no file is made.
            std::lock_guard lock(m_mutex);
            if (m_abandoned) {
                return PageEnd::Cancelled;
            }
            const auto problem = writer.beginFrame(layout);
            m_pageTemporary = writer.temporaryPath();
            if (problem) {
                return problemEnd(*problem);
            }
        }
        while (true) {
            // A cancel is honoured only once this start has delivered data: backends that read
            // through a helper thread can deadlock when that thread is stopped while it is still
            // setting up, so the first read lets it get going before the scan is stopped.
            if (m_abandoned || (m_cancel && writer.frameBytes() > 0)) {
                return PageEnd::Cancelled;
            }
            SANE_Int got = 0;
            status = guarded(m_request.timeouts.readMs, [&] {
                const int seamStatus = m_request.readSeam ? m_request.readSeam(m_page) : 0;
                if (seamStatus != SANE_STATUS_GOOD) {
                    return static_cast<SANE_Status>(seamStatus);
                }
                return sane_read(m_request.handle, buffer.data(), static_cast<SANE_Int>(buffer.size()), &got);
            });
            if (m_abandoned) {
                return PageEnd::Cancelled;
            }
            if (status == SANE_STATUS_EOF) {
                break;
            }
            if (status != SANE_STATUS_GOOD) {
                return endOfStatus(status, pageHasBytes, error);
            }
            if (got > 0) {
                pageHasBytes = true;
                if (const auto problem = writer.write(buffer.data(), static_cast<std::size_t>(got))) {
                    return problemEnd(*problem);
                }
            }
        }
        if (!writer.frameComplete()) {
            if (m_cancel) {
                return PageEnd::Cancelled;
            }
            error = {ScannerErrorCode::NotReady, notReadyText("Die Seite wurde unvollständig übertragen.")};
            return PageEnd::Failed;
        }
        if (parameters.last_frame) {
            if (const auto problem = writer.finish()) {
                return problemEnd(*problem);
            }
            return PageEnd::Complete;
        }
        status = guarded(m_request.timeouts.startMs, [&] { return sane_start(m_request.handle); });
    }
}

Outcome Acquisition::scanPages()
{
    bool feeder = false;
    double dpi = 0.0;
    guarded(m_request.timeouts.callMs, [&] {
        configureMode(m_request.handle, m_request.pixelType);
        dpi = currentResolution(m_request.handle);
        feeder = currentSourceIsFeeder(m_request.handle);
        return 0;
    });
    int pages = 0;
    while (true) {
        if (m_cancel || m_abandoned) {
            return cancelledOutcome();
        }
        if (m_request.maxPages > 0 && pages >= m_request.maxPages) {
            return {};
        }
        {
            std::lock_guard lock(m_mutex);
            m_page = pages + 1;
            wakeLocked();
        }
        PageWriter writer(pageFileName(m_request.baseName, pages), wantedDepth(m_request.pixelType), dpi);
        LastError error;
        PageEnd end = readPage(writer, error);
        if (end == PageEnd::Complete) {
            std::lock_guard lock(m_mutex);
            if (m_abandoned) {
                end = PageEnd::Cancelled;
            } else if (const auto problem = writer.commit()) {
                error = pageNotWrittenError(writer.path(), problem->message);
                end = PageEnd::NotWritten;
            } else {
                m_written.push_back(pages);
                wakeLocked();
            }
            m_pageTemporary.clear();
        }
        switch (end) {
            case PageEnd::NoDocuments:
                return pages == 0 ? Outcome{1, AcquireStatus::Failed, {}} : Outcome{};
            case PageEnd::Cancelled:
                return cancelledOutcome();
            case PageEnd::Failed:
                return failedOutcome(error);
            case PageEnd::NotWritten:
                // Without a first page the caller finds no file and adds the reason to its note on
                // write rights; after it, the pages so far stay and the failure names the file.
                return pages == 0 ? Outcome{1, AcquireStatus::Done, error} : failedOutcome(error);
            case PageEnd::Complete:
                break;
        }
        ++pages;
        if (!feeder) {
            return {};
        }
    }
}

} // namespace folvex
