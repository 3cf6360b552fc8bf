#include "twain/sane_scanner_library.h"

#include "runtime/checked_cast.h"
#include "twain/bmp_page.h"
#include "twain/sane_image.h"
#include "twain/sane_option_rules.h"
#include "twain/sane_worker.h"

#include <sane/sane.h>
#include <sane/saneopts.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstring>
#include <deque>
#include <map>
#include <mutex>
#include <thread>
#include <type_traits>

namespace folvex {

namespace {

using SteadyClock = std::chrono::steady_clock;

// Refuses pages beyond this size: a device that sends endless data must not exhaust the memory.
constexpr std::size_t MaxPageBytes = std::size_t{2} << 30;
constexpr std::size_t ReadChunkBytes = 256 * 1024;

std::int64_t nowMs()
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(SteadyClock::now().time_since_epoch())
        .count();
}

struct LastError
{
    ScannerErrorCode code = ScannerErrorCode::None;
    std::string text;
};

std::string notReadyText(const std::string& reason)
{
    return std::string(InterfaceNotStartedPhrase) + ": " + reason;
}

// The error a SANE status stands for, with the device's own wording appended.
LastError errorOfStatus(SANE_Status status)
{
    const std::string said = std::string(" (") + sane_strstatus(status) + ")";
    switch (status) {
        case SANE_STATUS_IO_ERROR:
            return {ScannerErrorCode::NotReady, notReadyText("Ein-/Ausgabefehler beim Scanner" + said)};
        case SANE_STATUS_DEVICE_BUSY:
            return {ScannerErrorCode::NotReady, notReadyText("Der Scanner ist belegt" + said)};
        case SANE_STATUS_ACCESS_DENIED:
            return {ScannerErrorCode::NotReady, notReadyText("Kein Zugriff auf den Scanner" + said)};
        case SANE_STATUS_JAMMED:
            return {ScannerErrorCode::DeviceFault, "Papierstau im Scanner" + said};
        case SANE_STATUS_COVER_OPEN:
            return {ScannerErrorCode::DeviceFault, "Die Abdeckung des Scanners ist offen" + said};
        case SANE_STATUS_NO_MEM:
            return {ScannerErrorCode::DeviceFault, "Zu wenig Speicher zum Scannen" + said};
        case SANE_STATUS_INVAL:
            return {ScannerErrorCode::DeviceFault, "Der Scanner lehnt die Einstellungen ab" + said};
        default:
            return {ScannerErrorCode::DeviceFault, "Der Scanner meldet einen Fehler" + said};
    }
}

LastError hungError()
{
    return {ScannerErrorCode::NotReady, notReadyText("Der Scanner antwortet nicht.")};
}

LastError goneError()
{
    return {
        ScannerErrorCode::NotReady,
        notReadyText("Der Scanner ist nicht geöffnet oder nicht mehr verbunden.")};
}

std::string genericErrorText(ScannerErrorCode code)
{
    switch (code) {
        case ScannerErrorCode::None:
            return "Kein Fehler.";
        case ScannerErrorCode::NotReady:
            return notReadyText("Der Scanner ist nicht bereit.");
        case ScannerErrorCode::DeviceFault:
            return "Der Scanner meldet einen Fehler.";
        case ScannerErrorCode::PageNotWritten:
            return "Eine gescannte Seite konnte nicht gespeichert werden.";
        case ScannerErrorCode::BadCall:
            return "Ungültiger Aufruf der Scannerbibliothek.";
    }
    return "Unbekannter Fehler.";
}

// ---- Options (worker thread only) ----

struct Option
{
    int index = -1;
    const SANE_Option_Descriptor* descriptor = nullptr;

    explicit operator bool() const { return descriptor != nullptr; }
};

Option findOption(SANE_Handle handle, const char* name)
{
    SANE_Int count = 0;
    if (sane_get_option_descriptor(handle, 0) == nullptr ||
        sane_control_option(handle, 0, SANE_ACTION_GET_VALUE, &count, nullptr) != SANE_STATUS_GOOD) {
        return {};
    }
    for (int i = 1; i < count; ++i) {
        const SANE_Option_Descriptor* d = sane_get_option_descriptor(handle, i);
        if (d != nullptr && d->name != nullptr && std::strcmp(d->name, name) == 0) {
            return {i, d};
        }
    }
    return {};
}

bool settable(const Option& option)
{
    return option && SANE_OPTION_IS_ACTIVE(option.descriptor->cap) &&
           SANE_OPTION_IS_SETTABLE(option.descriptor->cap);
}

std::vector<std::string> stringEntries(const Option& option)
{
    std::vector<std::string> entries;
    if (option && option.descriptor->type == SANE_TYPE_STRING &&
        option.descriptor->constraint_type == SANE_CONSTRAINT_STRING_LIST) {
        for (const SANE_String_Const* s = option.descriptor->constraint.string_list;
             s != nullptr && *s != nullptr;
             ++s) {
            entries.emplace_back(*s);
        }
    }
    return entries;
}

std::optional<std::string> getString(SANE_Handle handle, const Option& option)
{
    if (!option || option.descriptor->type != SANE_TYPE_STRING || option.descriptor->size <= 0 ||
        !SANE_OPTION_IS_ACTIVE(option.descriptor->cap)) {
        return std::nullopt;
    }
    std::vector<char> buffer(static_cast<std::size_t>(option.descriptor->size) + 1, '\0');
    if (sane_control_option(handle, option.index, SANE_ACTION_GET_VALUE, buffer.data(), nullptr) !=
        SANE_STATUS_GOOD) {
        return std::nullopt;
    }
    return std::string(buffer.data());
}

bool setString(SANE_Handle handle, const Option& option, const std::string& value)
{
    if (!settable(option) || option.descriptor->type != SANE_TYPE_STRING ||
        value.size() + 1 > static_cast<std::size_t>(option.descriptor->size)) {
        return false;
    }
    std::vector<char> buffer(static_cast<std::size_t>(option.descriptor->size), '\0');
    std::memcpy(buffer.data(), value.data(), value.size());
    return sane_control_option(handle, option.index, SANE_ACTION_SET_VALUE, buffer.data(), nullptr) ==
           SANE_STATUS_GOOD;
}

bool isNumber(const Option& option)
{
    return option &&
           (option.descriptor->type == SANE_TYPE_INT || option.descriptor->type == SANE_TYPE_FIXED) &&
           option.descriptor->size == static_cast<SANE_Int>(sizeof(SANE_Word));
}

double fromWord(const Option& option, SANE_Word word)
{
    return option.descriptor->type == SANE_TYPE_FIXED ? SANE_UNFIX(word) : static_cast<double>(word);
}

SANE_Word toWord(const Option& option, double value)
{
    return option.descriptor->type == SANE_TYPE_FIXED ? SANE_FIX(value)
                                                      : static_cast<SANE_Word>(std::lround(value));
}

NumericConstraint numericConstraint(const Option& option)
{
    NumericConstraint c;
    const SANE_Option_Descriptor* d = option.descriptor;
    if (d->constraint_type == SANE_CONSTRAINT_RANGE && d->constraint.range != nullptr) {
        c.kind = NumericConstraint::Kind::Range;
        c.min = fromWord(option, d->constraint.range->min);
        c.max = fromWord(option, d->constraint.range->max);
        c.quant = fromWord(option, d->constraint.range->quant);
    } else if (d->constraint_type == SANE_CONSTRAINT_WORD_LIST && d->constraint.word_list != nullptr) {
        c.kind = NumericConstraint::Kind::List;
        const SANE_Word count = d->constraint.word_list[0];
        for (SANE_Word i = 1; i <= count; ++i) {
            c.values.push_back(fromWord(option, d->constraint.word_list[i]));
        }
    }
    return c;
}

std::optional<double> getNumber(SANE_Handle handle, const Option& option)
{
    if (!isNumber(option) || !SANE_OPTION_IS_ACTIVE(option.descriptor->cap)) {
        return std::nullopt;
    }
    SANE_Word word = 0;
    if (sane_control_option(handle, option.index, SANE_ACTION_GET_VALUE, &word, nullptr) !=
        SANE_STATUS_GOOD) {
        return std::nullopt;
    }
    return fromWord(option, word);
}

bool setNumber(SANE_Handle handle, const Option& option, double wanted)
{
    if (!settable(option) || !isNumber(option)) {
        return false;
    }
    SANE_Word word = toWord(option, nearestAllowed(wanted, numericConstraint(option)));
    return sane_control_option(handle, option.index, SANE_ACTION_SET_VALUE, &word, nullptr) ==
           SANE_STATUS_GOOD;
}

bool setBool(SANE_Handle handle, const Option& option, bool on)
{
    if (!settable(option) || option.descriptor->type != SANE_TYPE_BOOL) {
        return false;
    }
    SANE_Bool value = on ? SANE_TRUE : SANE_FALSE;
    return sane_control_option(handle, option.index, SANE_ACTION_SET_VALUE, &value, nullptr) ==
           SANE_STATUS_GOOD;
}

bool currentSourceIsFeeder(SANE_Handle handle)
{
    const auto value = getString(handle, findOption(handle, SANE_NAME_SCAN_SOURCE));
    return value && (namesFeeder(*value) || namesDuplex(*value));
}

// Sets mode and depth for the pixel type: 0 a line-art mode, else grey at depth 1, else grey 8 (the
// page is thresholded when written); 1 grey 8; 2 colour 8.
void configureMode(SANE_Handle handle, int pixelType)
{
    const Option mode = findOption(handle, SANE_NAME_SCAN_MODE);
    const Option depth = findOption(handle, SANE_NAME_BIT_DEPTH);
    const std::vector<std::string> modes = stringEntries(mode);
    auto selectMode = [&](ModeKind kind) {
        const int index = findMode(modes, kind);
        return index >= 0 && setString(handle, mode, modes[static_cast<std::size_t>(index)]);
    };
    auto depthAllows = [&](double bits) {
        if (!settable(depth) || !isNumber(depth)) {
            return false;
        }
        return nearestAllowed(bits, numericConstraint(depth)) == bits;
    };
    if (pixelType == static_cast<int>(ScanPixelType::BlackWhite)) {
        if (selectMode(ModeKind::Lineart)) {
            return;
        }
        selectMode(ModeKind::Grey);
        const Option depthNow = findOption(handle, SANE_NAME_BIT_DEPTH);
        (void)setNumber(handle, depthNow, depthAllows(1.0) ? 1.0 : 8.0);
        return;
    }
    selectMode(pixelType == static_cast<int>(ScanPixelType::Grey) ? ModeKind::Grey : ModeKind::Colour);
    (void)setNumber(handle, findOption(handle, SANE_NAME_BIT_DEPTH), 8.0);
}

double currentResolution(SANE_Handle handle)
{
    for (const char* name : {SANE_NAME_SCAN_RESOLUTION, SANE_NAME_SCAN_X_RESOLUTION}) {
        if (const auto value = getNumber(handle, findOption(handle, name))) {
            return *value;
        }
    }
    return 0.0;
}

std::optional<FrameFormat> frameFormat(SANE_Frame format)
{
    switch (format) {
        case SANE_FRAME_GRAY:
            return FrameFormat::Grey;
        case SANE_FRAME_RGB:
            return FrameFormat::Rgb;
        case SANE_FRAME_RED:
            return FrameFormat::Red;
        case SANE_FRAME_GREEN:
            return FrameFormat::Green;
        case SANE_FRAME_BLUE:
            return FrameFormat::Blue;
        default:
            return std::nullopt;
    }
}

// ---- Device search ----

std::vector<SaneDevice> listDevices()
{
    std::vector<SaneDevice> devices;
    const SANE_Device** list = nullptr;
    if (sane_get_devices(&list, SANE_FALSE) != SANE_STATUS_GOOD || list == nullptr) {
        return devices;
    }
    for (const SANE_Device** d = list; *d != nullptr; ++d) {
        auto text = [](SANE_String_Const s) { return s != nullptr ? std::string(s) : std::string(); };
        devices.push_back({text((*d)->name), text((*d)->vendor), text((*d)->model), {}});
    }
    assignProductNames(devices);
    return devices;
}

class Search final : public DeviceSearch
{
public:
    explicit Search(int timeoutMs)
        : m_deadlineMs(nowMs() + timeoutMs)
    {}

    bool finished() const override
    {
        std::lock_guard lock(m_mutex);
        return m_done;
    }

    std::vector<SaneDevice> devices() const override
    {
        std::lock_guard lock(m_mutex);
        return m_done ? m_devices : std::vector<SaneDevice>();
    }

    void setWakeUp(std::function<void()> wakeUp) override
    {
        std::lock_guard lock(m_mutex);
        m_wakeUp = std::move(wakeUp);
    }

    void checkWatchdog() override
    {
        std::lock_guard lock(m_mutex);
        if (!m_done && nowMs() > m_deadlineMs) {
            m_done = true;
            m_hung = true;
        }
    }

    bool hung() const
    {
        std::lock_guard lock(m_mutex);
        return m_hung;
    }

    // Worker: the search result.
    void complete(std::vector<SaneDevice> devices)
    {
        std::lock_guard lock(m_mutex);
        if (m_done) {
            return;
        }
        m_devices = std::move(devices);
        m_done = true;
        if (m_wakeUp) {
            m_wakeUp();
        }
    }

private:
    mutable std::mutex m_mutex;
    std::int64_t m_deadlineMs;
    bool m_done = false;
    bool m_hung = false;
    std::vector<SaneDevice> m_devices;
    std::function<void()> m_wakeUp;
};

// ---- Acquisition ----

struct Outcome
{
    std::int32_t result = 1;
    AcquireStatus status = AcquireStatus::Done;
    LastError error;
};

Outcome failedOutcome(LastError error)
{
    return {0, AcquireStatus::Failed, std::move(error)};
}

class Acquisition final : public AcquisitionSession
{
public:
    Acquisition(
        SANE_Handle handle,
        std::string baseName,
        int pixelType,
        int maxPages,
        SaneTimeouts timeouts,
        std::string productName,
        ScannerCallback callback,
        std::int64_t userData)
        : m_handle(handle)
        , m_baseName(std::move(baseName))
        , m_pixelType(pixelType)
        , m_maxPages(maxPages)
        , m_timeouts(timeouts)
        , m_productName(std::move(productName))
        , m_callback(std::move(callback))
        , m_userData(userData)
    {}

    const std::string& productName() const override { return m_productName; }

    int currentPage() const override
    {
        std::lock_guard lock(m_mutex);
        return m_page;
    }

    void deliverEvents() override
    {
        while (true) {
            {
                std::lock_guard lock(m_mutex);
                if (m_written.empty()) {
                    return;
                }
                m_written.pop_front();
            }
            if (m_callback) {
                m_callback(static_cast<std::int32_t>(ScannerNotification::PageAcquired), 0, m_userData);
            }
        }
    }

    bool finished() const override
    {
        std::lock_guard lock(m_mutex);
        return (m_workerDone || m_hung) && m_written.empty();
    }

    void requestCancel() override { m_cancel = true; }

    bool cancelRequested() const override { return m_cancel; }

    void checkWatchdog() override
    {
        const std::int64_t deadline = m_deadlineMs.load();
        std::lock_guard lock(m_mutex);
        if (!m_workerDone && deadline != 0 && nowMs() > deadline) {
            m_hung = true;
            m_abandoned = true;
        }
    }

    void setWakeUp(std::function<void()> wakeUp) override
    {
        std::lock_guard lock(m_mutex);
        m_wakeUp = std::move(wakeUp);
    }

    bool hung() const
    {
        std::lock_guard lock(m_mutex);
        return m_hung;
    }

    // The outcome as the GUI thread sees it once finished.
    Outcome outcome() const
    {
        std::lock_guard lock(m_mutex);
        if (m_outcomeSet) {
            return m_outcome;
        }
        return failedOutcome(hungError());
    }

    // Worker: the whole acquisition.
    void run()
    {
        Outcome result = scanPages();
        {
            std::lock_guard lock(m_mutex);
            m_outcome = result;
            m_outcomeSet = true;
        }
        if (!abandoned()) {
            guarded(m_timeouts.callMs, [&] {
                sane_cancel(m_handle);
                return 0;
            });
        }
        std::lock_guard lock(m_mutex);
        m_workerDone = true;
        wakeLocked();
    }

private:
    enum class PageEnd
    {
        Complete,
        NoDocuments,
        Cancelled,
        Failed,
    };

    template <typename Call>
    std::invoke_result_t<Call> guarded(int timeoutMs, Call call)
    {
        m_deadlineMs = nowMs() + timeoutMs;
        auto result = call();
        m_deadlineMs = 0;
        return result;
    }

    void wakeLocked()
    {
        if (m_wakeUp) {
            m_wakeUp();
        }
    }

    bool abandoned()
    {
        std::lock_guard lock(m_mutex);
        return m_abandoned;
    }

    PageEnd endOfStatus(SANE_Status status, bool pageHasBytes, LastError& error)
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

    // Reads every frame of one page. A page cut short by a cancel ends as Cancelled and is dropped.
    PageEnd readPage(std::vector<ScanFrame>& frames, LastError& error)
    {
        std::vector<SANE_Byte> buffer(ReadChunkBytes);
        std::size_t pageBytes = 0;
        SANE_Status status = guarded(m_timeouts.startMs, [&] { return sane_start(m_handle); });
        while (true) {
            if (status != SANE_STATUS_GOOD) {
                return endOfStatus(status, pageBytes > 0, error);
            }
            SANE_Parameters parameters{};
            status = guarded(m_timeouts.callMs, [&] { return sane_get_parameters(m_handle, &parameters); });
            if (status != SANE_STATUS_GOOD) {
                return endOfStatus(status, pageBytes > 0, error);
            }
            const auto format = frameFormat(parameters.format);
            if (!format) {
                error = {
                    ScannerErrorCode::DeviceFault, "Der Scanner liefert ein nicht unterstütztes Bildformat."};
                return PageEnd::Failed;
            }
            ScanFrame frame;
            frame.format = *format;
            frame.depth = parameters.depth;
            frame.pixelsPerLine = parameters.pixels_per_line;
            frame.bytesPerLine = parameters.bytes_per_line;
            frame.lines = parameters.lines;
            std::size_t expected = MaxPageBytes;
            if (parameters.lines > 0 && parameters.bytes_per_line > 0) {
                const auto total = checkedMultiply<std::size_t>(
                    static_cast<std::size_t>(parameters.lines),
                    static_cast<std::size_t>(parameters.bytes_per_line));
                expected = total ? std::min(*total, MaxPageBytes) : MaxPageBytes;
                frame.bytes.reserve(expected);
            }
            while (true) {
                // A cancel is honoured only once this start has delivered data: backends that read
                // through a helper thread can deadlock when that thread is stopped while it is still
                // setting up, so the first read lets it get going before the scan is stopped.
                if (m_cancel && !frame.bytes.empty()) {
                    return PageEnd::Cancelled;
                }
                SANE_Int got = 0;
                status = guarded(m_timeouts.readMs, [&] {
                    return sane_read(m_handle, buffer.data(), static_cast<SANE_Int>(buffer.size()), &got);
                });
                if (status == SANE_STATUS_EOF) {
                    break;
                }
                if (status != SANE_STATUS_GOOD) {
                    return endOfStatus(status, pageBytes > 0, error);
                }
                if (got > 0) {
                    if (frame.bytes.size() + static_cast<std::size_t>(got) > expected + buffer.size()) {
                        error = {
                            ScannerErrorCode::DeviceFault,
                            "Der Scanner liefert mehr Bilddaten als angekündigt."};
                        return PageEnd::Failed;
                    }
                    frame.bytes.insert(frame.bytes.end(), buffer.begin(), buffer.begin() + got);
                    pageBytes += static_cast<std::size_t>(got);
                }
            }
            if (!frameComplete(frame)) {
                if (m_cancel) {
                    return PageEnd::Cancelled;
                }
                error = {
                    ScannerErrorCode::NotReady, notReadyText("Die Seite wurde unvollständig übertragen.")};
                return PageEnd::Failed;
            }
            frames.push_back(std::move(frame));
            if (parameters.last_frame) {
                return PageEnd::Complete;
            }
            status = guarded(m_timeouts.startMs, [&] { return sane_start(m_handle); });
        }
    }

    Outcome scanPages()
    {
        bool feeder = false;
        double dpi = 0.0;
        guarded(m_timeouts.callMs, [&] {
            configureMode(m_handle, m_pixelType);
            dpi = currentResolution(m_handle);
            feeder = currentSourceIsFeeder(m_handle);
            return 0;
        });
        int pages = 0;
        while (true) {
            if (m_cancel) {
                return {1, AcquireStatus::Cancelled, {}};
            }
            if (m_maxPages > 0 && pages >= m_maxPages) {
                return {};
            }
            {
                std::lock_guard lock(m_mutex);
                m_page = pages + 1;
                wakeLocked();
            }
            std::vector<ScanFrame> frames;
            LastError error;
            switch (readPage(frames, error)) {
                case PageEnd::NoDocuments:
                    return pages == 0 ? Outcome{1, AcquireStatus::Failed, {}} : Outcome{};
                case PageEnd::Cancelled:
                    return {1, AcquireStatus::Cancelled, {}};
                case PageEnd::Failed:
                    return failedOutcome(error);
                case PageEnd::Complete:
                    break;
            }
            if (abandoned()) {
                return failedOutcome(hungError());
            }
            auto page = assemblePage(frames, dpi);
            if (!page) {
                return failedOutcome(
                    {ScannerErrorCode::DeviceFault, "Unbrauchbare Bilddaten: " + page.error().message});
            }
            const BmpDepth depth =
                m_pixelType == static_cast<int>(ScanPixelType::BlackWhite) ? BmpDepth::Bilevel
                : m_pixelType == static_cast<int>(ScanPixelType::Colour) && page->channels == 3
                    ? BmpDepth::Colour
                    : BmpDepth::Grey;
            const std::string file = pageFileName(m_baseName, pages);
            const auto written = writeBmpPage(file, *page, depth);
            if (!written) {
                // Without a first page the caller finds no file and tells the user about write
                // rights; after it, the pages so far stay and the failure names the file.
                if (pages == 0) {
                    return {};
                }
                return failedOutcome(
                    {ScannerErrorCode::PageNotWritten,
                     "Die Seite " + file + " konnte nicht gespeichert werden: " + written.error().message});
            }
            {
                std::lock_guard lock(m_mutex);
                m_written.push_back(pages);
                wakeLocked();
            }
            ++pages;
            if (!feeder) {
                return {};
            }
        }
    }

    const SANE_Handle m_handle;
    const std::string m_baseName;
    const int m_pixelType;
    const int m_maxPages;
    const SaneTimeouts m_timeouts;
    const std::string m_productName;
    const ScannerCallback m_callback; // GUI thread only
    const std::int64_t m_userData;

    mutable std::mutex m_mutex;
    std::deque<int> m_written;
    int m_page = 1;
    bool m_workerDone = false;
    bool m_hung = false;
    bool m_abandoned = false;
    bool m_outcomeSet = false;
    Outcome m_outcome;
    std::function<void()> m_wakeUp;
    std::atomic<bool> m_cancel{false};
    std::atomic<std::int64_t> m_deadlineMs{0};
};

} // namespace

void assignProductNames(std::vector<SaneDevice>& devices)
{
    for (SaneDevice& device : devices) {
        device.productName = device.vendor + " " + device.model;
        const bool shared = std::count_if(devices.begin(), devices.end(), [&](const SaneDevice& other) {
                                return other.vendor == device.vendor && other.model == device.model;
                            }) > 1;
        if (shared) {
            device.productName += " (" + device.name + ")";
        }
    }
}

int findDeviceByProductName(const std::vector<SaneDevice>& devices, const std::string& productName)
{
    if (productName.empty()) {
        return -1;
    }
    for (std::size_t i = 0; i < devices.size(); ++i) {
        if (devices[i].productName == productName) {
            return static_cast<int>(i);
        }
    }
    // "Vendor Model (device)": that device when it is still there; when it is gone (another port, a
    // new bus number), the one device of that vendor and model, if there is only one.
    const std::size_t open = productName.rfind(" (");
    if (productName.back() != ')' || open == std::string::npos) {
        return -1;
    }
    const std::string base = productName.substr(0, open);
    const std::string deviceName = productName.substr(open + 2, productName.size() - open - 3);
    int sameModel = -1;
    int count = 0;
    for (std::size_t i = 0; i < devices.size(); ++i) {
        if (devices[i].name == deviceName) {
            // Still there, only its name lost the suffix because its twin is gone.
            return devices[i].vendor + " " + devices[i].model == base ? static_cast<int>(i) : -1;
        }
        if (devices[i].vendor + " " + devices[i].model == base) {
            sameModel = static_cast<int>(i);
            ++count;
        }
    }
    return count == 1 ? sameModel : -1;
}

struct SaneScannerLibrary::Impl
{
    struct Source
    {
        SaneDevice device;
        SANE_Handle handle = nullptr; // nullptr: closed
    };

    Impl(SaneDialogs& d, SaneTimeouts t)
        : dialogs(d)
        , timeouts(t)
    {}

    SaneDialogs& dialogs;
    SaneTimeouts timeouts;
    std::unique_ptr<SaneWorker> worker;
    bool initialized = false;
    bool wedgedOnce = false;
    Handle parent = NoHandle;
    std::map<SourceHandle, Source> sources;
    std::map<FileListHandle, std::vector<std::string>> lists;
    ScannerCallback callback;
    std::int64_t userData = 0;
    LastError lastError;

    SaneWorker& ensureWorker()
    {
        if (!worker) {
            worker = std::make_unique<SaneWorker>();
        }
        return *worker;
    }

    // A worker that overran a call is left to itself; the handles opened through it count as lost
    // (closing them could hang as well), and the next call starts a fresh worker.
    void wedge()
    {
        if (worker) {
            worker->abandon();
            worker.reset();
        }
        wedgedOnce = true;
        for (auto& [handle, source] : sources) {
            source.handle = nullptr;
        }
    }

    bool run(std::function<void()> fn, int timeoutMs)
    {
        if (ensureWorker().run(std::move(fn), std::chrono::milliseconds(timeoutMs))) {
            return true;
        }
        wedge();
        return false;
    }

    Source* openSource(SourceHandle handle)
    {
        if (!initialized) {
            return nullptr;
        }
        const auto found = sources.find(handle);
        return found != sources.end() && found->second.handle != nullptr ? &found->second : nullptr;
    }

    // Runs fn(handle) on the worker for an open source; nullopt when the source is not open or the
    // call hung.
    template <typename T>
    std::optional<T> query(SourceHandle source, std::function<T(SANE_Handle)> fn)
    {
        Source* s = openSource(source);
        if (s == nullptr) {
            return std::nullopt;
        }
        auto result = std::make_shared<std::optional<T>>();
        SANE_Handle handle = s->handle;
        if (!run([result, handle, fn] { *result = fn(handle); }, timeouts.callMs)) {
            return std::nullopt;
        }
        return *result;
    }

    std::int32_t flag(SourceHandle source, std::function<bool(SANE_Handle)> fn)
    {
        return query<bool>(source, std::move(fn)).value_or(false) ? 1 : 0;
    }

    bool open(Source& source)
    {
        auto handle = std::make_shared<SANE_Handle>(nullptr);
        auto status = std::make_shared<SANE_Status>(SANE_STATUS_INVAL);
        const std::string name = source.device.name;
        if (!run(
                [handle, status, name] { *status = sane_open(name.c_str(), handle.get()); },
                timeouts.callMs)) {
            return false;
        }
        if (*status != SANE_STATUS_GOOD || *handle == nullptr) {
            return false;
        }
        source.handle = *handle;
        return true;
    }

    void close(Source& source)
    {
        SANE_Handle handle = std::exchange(source.handle, nullptr);
        if (handle != nullptr) {
            (void)run(
                [handle] {
                    sane_cancel(handle);
                    sane_close(handle);
                },
                timeouts.callMs);
        }
    }

    std::optional<std::vector<SaneDevice>> listNow()
    {
        auto devices = std::make_shared<std::vector<SaneDevice>>();
        if (!run([devices] { *devices = listDevices(); }, timeouts.searchMs)) {
            return std::nullopt;
        }
        return *devices;
    }

    SourceHandle addSource(const SaneDevice& device)
    {
        const SourceHandle handle = allocateHandle();
        sources[handle] = Source{device, nullptr};
        return handle;
    }
};

SaneScannerLibrary::SaneScannerLibrary(SaneDialogs& dialogs, SaneTimeouts timeouts)
    : m(std::make_unique<Impl>(dialogs, timeouts))
{}

SaneScannerLibrary::~SaneScannerLibrary() = default;

std::string SaneScannerLibrary::versionText(int maxChars)
{
    return limitCharacters(SaneLibraryVersionText, maxChars);
}

std::int32_t SaneScannerLibrary::initialize()
{
    if (m->initialized) {
        return 1;
    }
    auto status = std::make_shared<SANE_Status>(SANE_STATUS_INVAL);
    if (!m->run(
            [status] {
                SANE_Int version = 0;
                *status = sane_init(&version, nullptr);
            },
            m->timeouts.searchMs)) {
        return 0;
    }
    m->initialized = *status == SANE_STATUS_GOOD;
    return m->initialized ? 1 : 0;
}

std::int32_t SaneScannerLibrary::shutDown()
{
    if (!m->initialized) {
        return 0;
    }
    for (auto& [handle, source] : m->sources) {
        m->close(source);
    }
    // After a hung call a thread may still be inside the backend; ending SANE under it could crash.
    if (!m->wedgedOnce) {
        (void)m->run([] { sane_exit(); }, m->timeouts.callMs);
    }
    m->initialized = false;
    m->worker.reset();
    return 1;
}

std::int32_t SaneScannerLibrary::startConnection(Handle mainWindow, std::int32_t /*flags*/)
{
    m->parent = mainWindow;
    return 1;
}

std::int32_t SaneScannerLibrary::endConnection()
{
    return 1;
}

std::int32_t SaneScannerLibrary::connectionSetting3210(std::int32_t /*value*/)
{
    return 1;
}

std::int32_t SaneScannerLibrary::connectionSetting13(std::int32_t /*value*/)
{
    return 1;
}

std::int32_t SaneScannerLibrary::setNotificationCallback(
    ScannerCallback callback, std::int64_t userData, std::int32_t /*flags*/)
{
    m->callback = std::move(callback);
    m->userData = userData;
    return 1;
}

Handle SaneScannerLibrary::parentWindow() const
{
    return m->parent;
}

SourceHandle SaneScannerLibrary::selectSourceWithDialog()
{
    if (!m->initialized) {
        return NoHandle;
    }
    auto search = std::make_shared<Search>(m->timeouts.searchMs);
    m->ensureWorker().post([search] { search->complete(listDevices()); });
    const std::optional<std::size_t> choice = m->dialogs.chooseDevice(*search, m->parent);
    search->setWakeUp({});
    if (search->hung()) {
        m->wedge();
        return NoHandle;
    }
    const std::vector<SaneDevice> devices = search->devices();
    if (!choice || *choice >= devices.size()) {
        return NoHandle;
    }
    // The source is given back also when it does not open, so the caller's open reports the failure.
    const SourceHandle handle = m->addSource(devices[*choice]);
    (void)m->open(m->sources[handle]);
    return handle;
}

SourceHandle SaneScannerLibrary::selectSourceByName(const std::string& productName)
{
    if (!m->initialized || productName.empty()) {
        return NoHandle;
    }
    const auto devices = m->listNow();
    if (!devices) {
        return NoHandle;
    }
    const int index = findDeviceByProductName(*devices, productName);
    if (index < 0) {
        return NoHandle;
    }
    const SaneDevice* chosen = &(*devices)[static_cast<std::size_t>(index)];
    const SourceHandle handle = m->addSource(*chosen);
    if (!m->open(m->sources[handle])) {
        m->sources.erase(handle);
        return NoHandle;
    }
    return handle;
}

std::int32_t SaneScannerLibrary::openSource(SourceHandle source)
{
    if (!m->initialized) {
        return 0;
    }
    const auto found = m->sources.find(source);
    if (found == m->sources.end()) {
        return 0;
    }
    if (found->second.handle != nullptr) {
        return 1;
    }
    return m->open(found->second) ? 1 : 0;
}

std::int32_t SaneScannerLibrary::closeSource(SourceHandle source)
{
    Impl::Source* s = m->openSource(source);
    if (s == nullptr) {
        return 0;
    }
    m->close(*s);
    return 1;
}

std::string SaneScannerLibrary::productName(SourceHandle source, int maxChars)
{
    const Impl::Source* s = m->openSource(source);
    if (s == nullptr) {
        return {};
    }
    return limitCharacters(s->device.productName, maxChars);
}

std::int32_t SaneScannerLibrary::hasFeeder(SourceHandle source)
{
    return m->flag(source, [](SANE_Handle h) {
        const auto entries = stringEntries(findOption(h, SANE_NAME_SCAN_SOURCE));
        return std::any_of(entries.begin(), entries.end(), namesFeeder);
    });
}

std::int32_t SaneScannerLibrary::canUseFeeder(SourceHandle source)
{
    return hasFeeder(source);
}

std::int32_t SaneScannerLibrary::canScanBothSides(SourceHandle source)
{
    return m->flag(source, [](SANE_Handle h) {
        const auto entries = stringEntries(findOption(h, SANE_NAME_SCAN_SOURCE));
        if (std::any_of(entries.begin(), entries.end(), namesDuplex)) {
            return true;
        }
        const Option duplex = findOption(h, "duplex");
        return duplex && duplex.descriptor->type == SANE_TYPE_BOOL;
    });
}

std::int32_t SaneScannerLibrary::isPaperInFeeder(SourceHandle source)
{
    return m->openSource(source) != nullptr ? 1 : 0;
}

std::int32_t SaneScannerLibrary::enableFeeder(SourceHandle source, std::int32_t on)
{
    return m->flag(source, [on](SANE_Handle h) {
        const Option option = findOption(h, SANE_NAME_SCAN_SOURCE);
        const auto entries = stringEntries(option);
        const SourceEntries found = classifySourceEntries(entries);
        const int index = on != 0 ? found.feeder : found.other;
        return index >= 0 && setString(h, option, entries[static_cast<std::size_t>(index)]);
    });
}

std::int32_t SaneScannerLibrary::enableDuplex(SourceHandle source, std::int32_t on)
{
    return m->flag(source, [on](SANE_Handle h) {
        const Option duplex = findOption(h, "duplex");
        if (duplex && duplex.descriptor->type == SANE_TYPE_BOOL) {
            return setBool(h, duplex, on != 0);
        }
        const Option option = findOption(h, SANE_NAME_SCAN_SOURCE);
        const auto entries = stringEntries(option);
        const SourceEntries found = classifySourceEntries(entries);
        const auto current = getString(h, option);
        if (!current || found.duplex < 0) {
            return false;
        }
        const bool feederOn = namesFeeder(*current) || namesDuplex(*current);
        if (on != 0) {
            return feederOn && setString(h, option, entries[static_cast<std::size_t>(found.duplex)]);
        }
        if (namesDuplex(*current) && found.feeder >= 0 && found.feeder != found.duplex) {
            return setString(h, option, entries[static_cast<std::size_t>(found.feeder)]);
        }
        return true;
    });
}

std::int32_t
SaneScannerLibrary::setManualDuplexMode(SourceHandle source, std::int32_t /*mode*/, std::int32_t /*on*/)
{
    return m->openSource(source) != nullptr ? 1 : 0;
}

std::int32_t SaneScannerLibrary::sourceSetting3600(SourceHandle source, std::int32_t /*value*/)
{
    return m->openSource(source) != nullptr ? 1 : 0;
}

std::int32_t SaneScannerLibrary::sourceSetting8400(
    SourceHandle source, double /*value*/, std::int32_t /*limit*/, std::int32_t /*flags*/)
{
    return m->openSource(source) != nullptr ? 1 : 0;
}

std::int32_t SaneScannerLibrary::sourceSetting3200(
    SourceHandle source, std::int32_t /*a*/, std::int32_t /*b*/, std::int32_t /*c*/)
{
    return m->openSource(source) != nullptr ? 1 : 0;
}

std::int32_t SaneScannerLibrary::setResolution(SourceHandle source, double dpi)
{
    if (!(dpi > 0.0)) {
        return 0;
    }
    return m->flag(source, [dpi](SANE_Handle h) {
        bool set = setNumber(h, findOption(h, SANE_NAME_SCAN_RESOLUTION), dpi);
        set = setNumber(h, findOption(h, SANE_NAME_SCAN_X_RESOLUTION), dpi) || set;
        set = setNumber(h, findOption(h, SANE_NAME_SCAN_Y_RESOLUTION), dpi) || set;
        return set;
    });
}

std::int32_t SaneScannerLibrary::SetPaperSize(SourceHandle source, const std::string& paperSize)
{
    return m->flag(source, [paperSize](SANE_Handle h) {
        auto rangeOf = [&](const char* name) -> std::optional<NumericConstraint> {
            const Option option = findOption(h, name);
            if (!settable(option) || !isNumber(option) || option.descriptor->unit != SANE_UNIT_MM) {
                return std::nullopt;
            }
            return numericConstraint(option);
        };
        AreaRanges ranges;
        ranges.pageWidth = rangeOf("page-width");
        ranges.pageHeight = rangeOf("page-height");
        ranges.tlX = rangeOf(SANE_NAME_SCAN_TL_X);
        ranges.tlY = rangeOf(SANE_NAME_SCAN_TL_Y);
        ranges.brX = rangeOf(SANE_NAME_SCAN_BR_X);
        ranges.brY = rangeOf(SANE_NAME_SCAN_BR_Y);
        const AreaValues values = paperArea(paperSize, ranges);
        bool any = false;
        // The page size first: some devices bound the scan area by it.
        const std::pair<const char*, std::optional<double>> order[] = {
            {"page-width", values.pageWidth},
            {"page-height", values.pageHeight},
            {SANE_NAME_SCAN_TL_X, values.tlX},
            {SANE_NAME_SCAN_TL_Y, values.tlY},
            {SANE_NAME_SCAN_BR_X, values.brX},
            {SANE_NAME_SCAN_BR_Y, values.brY},
        };
        for (const auto& [name, value] : order) {
            if (value) {
                any = setNumber(h, findOption(h, name), *value) || any;
            }
        }
        return any;
    });
}

FileListHandle SaneScannerLibrary::createFileList(std::int32_t /*kind*/, std::int32_t count)
{
    if (count < 0 || count > 10000) {
        return NoHandle;
    }
    const FileListHandle handle = allocateHandle();
    m->lists[handle] = std::vector<std::string>(static_cast<std::size_t>(count));
    return handle;
}

std::int32_t
SaneScannerLibrary::setFileListEntry(FileListHandle list, std::int32_t index, const std::string& text)
{
    const auto found = m->lists.find(list);
    if (found == m->lists.end() || index < 0 || static_cast<std::size_t>(index) >= found->second.size()) {
        return 0;
    }
    found->second[static_cast<std::size_t>(index)] = text;
    return 1;
}

std::int32_t SaneScannerLibrary::freeFileList(FileListHandle list)
{
    return m->lists.erase(list) > 0 ? 1 : 0;
}

std::int32_t SaneScannerLibrary::acquireToFiles(
    SourceHandle source,
    FileListHandle list,
    std::int32_t /*transferKind*/,
    std::int32_t /*fileFlags*/,
    std::int32_t pixelType,
    std::int32_t maxPages,
    std::int32_t /*showInterface*/,
    std::int32_t /*closeAfter*/,
    std::int32_t* status)
{
    if (source == NoHandle) {
        return 0;
    }
    const auto known = m->sources.find(source);
    if (!m->initialized || known == m->sources.end()) {
        m->lastError = {ScannerErrorCode::BadCall, genericErrorText(ScannerErrorCode::BadCall)};
        return 0;
    }
    const auto names = m->lists.find(list);
    if (names == m->lists.end() || names->second.empty() || names->second.front().empty() || pixelType < 0 ||
        pixelType > 2) {
        m->lastError = {ScannerErrorCode::BadCall, genericErrorText(ScannerErrorCode::BadCall)};
        return 0;
    }
    Impl::Source& record = known->second;
    if (record.handle == nullptr) {
        m->lastError = goneError();
        return 0;
    }
    auto acquisition = std::make_shared<Acquisition>(
        record.handle,
        names->second.front(),
        pixelType,
        maxPages,
        m->timeouts,
        record.device.productName,
        m->callback,
        m->userData);
    m->ensureWorker().post([acquisition] { acquisition->run(); });
    m->dialogs.showProgress(*acquisition, m->parent);
    // The window returns when the session is finished; should it return early, the pages are still
    // delivered here before the call returns.
    while (!acquisition->finished()) {
        acquisition->checkWatchdog();
        acquisition->deliverEvents();
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    acquisition->setWakeUp({});
    if (acquisition->hung()) {
        m->wedge();
    }
    const Outcome outcome = acquisition->outcome();
    if (outcome.result == 0) {
        m->lastError = outcome.error;
        return 0;
    }
    if (status != nullptr) {
        *status = static_cast<std::int32_t>(outcome.status);
    }
    return 1;
}

std::int32_t SaneScannerLibrary::lastErrorCode()
{
    return static_cast<std::int32_t>(m->lastError.code);
}

std::string SaneScannerLibrary::errorText(std::int32_t code, int maxChars)
{
    if (code == static_cast<std::int32_t>(m->lastError.code) && !m->lastError.text.empty()) {
        return limitCharacters(m->lastError.text, maxChars);
    }
    if (code < 0 || code > static_cast<std::int32_t>(ScannerErrorCode::BadCall)) {
        return limitCharacters("Unbekannter Fehler.", maxChars);
    }
    return limitCharacters(genericErrorText(static_cast<ScannerErrorCode>(code)), maxChars);
}

std::int32_t
SaneScannerLibrary::manualDuplexCounts(SourceHandle source, std::int32_t* firstPass, std::int32_t* secondPass)
{
    // SANE devices know no manual double-sided passes: both counts are 0.
    if (firstPass != nullptr) {
        *firstPass = 0;
    }
    if (secondPass != nullptr) {
        *secondPass = 0;
    }
    return m->openSource(source) != nullptr ? 1 : 0;
}

} // namespace folvex
