#pragma once
// One acquisition: the worker reads the pages of an open source and streams each to its file, while
// the GUI thread watches through AcquisitionSession and delivers the page notifications. A cancel is
// honoured between two reads; a worker stuck in a SANE call is given up when its call overruns its
// time or a cancel is not honoured within SaneTimeouts::cancelMs: the page in progress is removed at
// once and the worker is left to come back on its own, touching nothing of SANE after that.

#include "twain/sane_errors.h"
#include "twain/sane_scanner_library.h"

#include <sane/sane.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <string>

namespace folvex {

class PageWriter;

struct AcquisitionRequest
{
    SANE_Handle handle = nullptr; // open; the acquisition does not close it
    std::string baseName;         // page i is written to pageFileName(baseName, i)
    int pixelType = 0;            // a ScanPixelType
    int maxPages = -1;            // ≤ 0: as many as the source delivers
    SaneTimeouts timeouts;
    std::string productName;
    ScannerCallback callback; // called on the GUI thread
    std::int64_t userData = 0;
    SaneReadSeam readSeam;
};

// The result of an acquisition as acquireToFiles gives it: result 0 = failed (error tells why);
// else status, with an error also when status is Done and the first page could not be written.
struct Outcome
{
    std::int32_t result = 1;
    AcquireStatus status = AcquireStatus::Done;
    LastError error;
};

class Acquisition final : public AcquisitionSession
{
public:
    explicit Acquisition(AcquisitionRequest request);

    const std::string& productName() const override { return m_request.productName; }

    int currentPage() const override;
    void deliverEvents() override;
    bool finished() const override;
    void requestCancel() override;

    bool cancelRequested() const override { return m_cancel; }

    void checkWatchdog() override;
    void setWakeUp(std::function<void()> wakeUp) override;

    // True when the GUI thread gave up on the worker; its SANE handle then counts as lost until
    // the worker has stopped.
    bool abandoned() const { return m_abandoned; }

    // Waits until the worker has left run() (also after it was given up); true when it has.
    bool waitUntilStopped(std::chrono::milliseconds timeout);

    SANE_Handle handle() const { return m_request.handle; }

    // The outcome once finished() is true.
    Outcome outcome() const;

    // Worker: the whole acquisition.
    void run();

private:
    enum class PageEnd
    {
        Complete,
        NoDocuments,
        Cancelled,
        Failed,
        NotWritten,
    };

    template <typename Call>
    auto guarded(int timeoutMs, Call call);
    void wakeLocked();
    void giveUpLocked(bool byCancel);
    PageEnd endOfStatus(SANE_Status status, bool pageHasBytes, LastError& error) const;
    PageEnd readPage(PageWriter& writer, LastError& error);
    Outcome scanPages();

    const AcquisitionRequest m_request;

    mutable std::mutex m_mutex;
    std::condition_variable m_stopped;
    std::deque<int> m_written; // pages written, not yet delivered
    int m_page = 1;
    bool m_workerDone = false;
    bool m_outcomeSet = false;
    bool m_givenUpByCancel = false;
    Outcome m_outcome;
    std::string m_pageTemporary; // the temporary file of the page in progress
    std::function<void()> m_wakeUp;
    std::int64_t m_cancelAtMs = 0;
    std::atomic<bool> m_cancel{false};
    std::atomic<bool> m_abandoned{false};
    std::atomic<std::int64_t> m_deadlineMs{0};
};

} // namespace folvex
