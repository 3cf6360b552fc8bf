#include "twain/sane_scanner_library.h"

#include "twain/sane_acquisition.h"
#include "twain/sane_device_search.h"
#include "twain/sane_errors.h"
#include "twain/sane_options.h"
#include "twain/sane_worker.h"

#include <sane/sane.h>

#include <map>
#include <memory>
#include <thread>
#include <utility>

namespace folvex {

namespace {

constexpr std::int32_t MaxFileListEntries = 10000;

} // namespace

struct SaneScannerLibrary::Impl
{
    struct Source
    {
        SaneDevice device;
        SANE_Handle handle = nullptr; // nullptr: closed
    };

    // An acquisition given up while its worker was inside a SANE call. Its handle is closed on the
    // current worker once that call has come back; until then the device cannot be opened again.
    struct Orphan
    {
        std::string deviceName;
        std::shared_ptr<Acquisition> acquisition;
    };

    Impl(SaneDialogs& d, SaneTimeouts t, SaneReadSeam seam)
        : dialogs(d)
        , timeouts(t)
        , readSeam(std::move(seam))
    {}

    SaneDialogs& dialogs;
    SaneTimeouts timeouts;
    SaneReadSeam readSeam;
    std::unique_ptr<SaneWorker> worker;
    bool initialized = false;
    bool wedgedOnce = false;
    Handle parent = NoHandle;
    std::map<SourceHandle, Source> sources;
    std::map<FileListHandle, std::vector<std::string>> lists;
    std::vector<Orphan> orphans;
    ScannerCallback callback;
    std::int64_t userData = 0;
    LastError lastError;

    // Every call to the scanner starts with a clean slate, so a success reads as code 0. The file
    // list calls only set a reason when they fail: the caller frees the list between a failed
    // acquisition and asking for its reason.
    void beginCall() { lastError = {}; }

    void fail(LastError error) { lastError = std::move(error); }

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
        fail(hungError());
        return false;
    }

    // The open source of a handle; nullptr with the reason set when there is none.
    Source* openSource(SourceHandle handle)
    {
        if (!initialized) {
            fail(badCallError("die Bibliothek ist nicht gestartet"));
            return nullptr;
        }
        const auto found = sources.find(handle);
        if (found == sources.end()) {
            fail(badCallError("unbekannte Quelle " + std::to_string(handle)));
            return nullptr;
        }
        if (found->second.handle == nullptr) {
            fail(goneError());
            return nullptr;
        }
        return &found->second;
    }

    // Runs fn(handle) on the worker for an open source; nullopt (reason set) when the source is not
    // open or the call hung.
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

    // A yes/no answer or a setting of an open source: 1 or 0; refused (0 from fn) gives refusal
    // as the reason.
    std::int32_t
    flag(SourceHandle source, std::function<bool(SANE_Handle)> fn, std::optional<LastError> refusal)
    {
        const std::optional<bool> answer = query<bool>(source, std::move(fn));
        if (!answer) {
            return 0;
        }
        if (!*answer && refusal) {
            fail(*refusal);
        }
        return *answer ? 1 : 0;
    }

    // 1 for an open source, else 0 with the reason.
    std::int32_t whenOpen(SourceHandle source) { return openSource(source) != nullptr ? 1 : 0; }

    void closeHandle(SANE_Handle handle)
    {
        (void)run(
            [handle] {
                sane_cancel(handle);
                sane_close(handle);
            },
            timeouts.callMs);
    }

    // Closes the handles of given-up acquisitions whose worker has come back. For deviceName, waits
    // up to the call time for it; false when that device's call is still stuck.
    bool closeOrphans(const std::string& deviceName)
    {
        bool free = true;
        for (auto it = orphans.begin(); it != orphans.end();) {
            const bool mine = it->deviceName == deviceName;
            const auto wait = std::chrono::milliseconds(mine ? timeouts.callMs : 0);
            if (!it->acquisition->waitUntilStopped(wait)) {
                free = free && !mine;
                ++it;
                continue;
            }
            closeHandle(it->acquisition->handle());
            it = orphans.erase(it);
        }
        return free;
    }

    bool open(Source& source)
    {
        if (!closeOrphans(source.device.name)) {
            fail(hungError());
            return false;
        }
        auto handle = std::make_shared<SANE_Handle>(nullptr);
        auto status = std::make_shared<SANE_Status>(SANE_STATUS_INVAL);
        const std::string name = source.device.name;
        if (!run(
                [handle, status, name] { *status = sane_open(name.c_str(), handle.get()); },
                timeouts.callMs)) {
            return false;
        }
        if (*status != SANE_STATUS_GOOD || *handle == nullptr) {
            fail(errorOfStatus(*status == SANE_STATUS_GOOD ? SANE_STATUS_INVAL : *status));
            return false;
        }
        source.handle = *handle;
        return true;
    }

    void close(Source& source)
    {
        SANE_Handle handle = std::exchange(source.handle, nullptr);
        if (handle != nullptr) {
            closeHandle(handle);
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

    // Runs the acquisition on the worker while the progress window shows it; returns once every
    // page is delivered and the worker is done or given up.
    Outcome acquire(Source& source, AcquisitionRequest request)
    {
        auto acquisition = std::make_shared<Acquisition>(std::move(request));
        ensureWorker().post([acquisition] { acquisition->run(); });
        dialogs.showProgress(*acquisition, parent);
        // The window returns when the session is finished; should it return early, the pages are
        // still delivered here before the call returns.
        while (!acquisition->finished()) {
            acquisition->checkWatchdog();
            acquisition->deliverEvents();
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        acquisition->setWakeUp({});
        if (acquisition->abandoned()) {
            wedge();
            orphans.push_back({source.device.name, acquisition});
        }
        return acquisition->outcome();
    }
};

SaneScannerLibrary::SaneScannerLibrary(SaneDialogs& dialogs, SaneTimeouts timeouts, SaneReadSeam readSeam)
    : m(std::make_unique<Impl>(dialogs, timeouts, std::move(readSeam)))
{}

SaneScannerLibrary::~SaneScannerLibrary() = default;

std::string SaneScannerLibrary::versionText(int maxChars)
{
    return limitCharacters(SaneLibraryVersionText, maxChars);
}

std::int32_t SaneScannerLibrary::initialize()
{
    m->beginCall();
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
    if (!m->initialized) {
        m->fail(errorOfStatus(*status));
    }
    return m->initialized ? 1 : 0;
}

std::int32_t SaneScannerLibrary::shutDown()
{
    m->beginCall();
    if (!m->initialized) {
        m->fail(badCallError("die Bibliothek ist nicht gestartet"));
        return 0;
    }
    for (auto& [handle, source] : m->sources) {
        m->close(source);
    }
    (void)m->closeOrphans({});
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
    m->beginCall();
    if (!m->initialized) {
        m->fail(badCallError("die Bibliothek ist nicht gestartet"));
        return NoHandle;
    }
    auto search = std::make_shared<SaneDeviceSearch>(m->timeouts.searchMs);
    m->ensureWorker().post([search] { search->complete(listDevices()); });
    const std::optional<std::size_t> choice = m->dialogs.chooseDevice(*search, m->parent);
    search->setWakeUp({});
    if (search->hung()) {
        m->wedge();
        m->fail(hungError());
        return NoHandle;
    }
    const std::vector<SaneDevice> devices = search->devices();
    if (!choice || *choice >= devices.size()) {
        return NoHandle; // cancelled by the user: no error
    }
    // The source is given back also when it does not open, so the caller's open reports the failure.
    const SourceHandle handle = m->addSource(devices[*choice]);
    (void)m->open(m->sources[handle]);
    return handle;
}

SourceHandle SaneScannerLibrary::selectSourceByName(const std::string& productName)
{
    m->beginCall();
    if (!m->initialized) {
        m->fail(badCallError("die Bibliothek ist nicht gestartet"));
        return NoHandle;
    }
    const auto devices = m->listNow();
    if (!devices) {
        return NoHandle;
    }
    const int index = findDeviceByProductName(*devices, productName);
    if (index < 0) {
        m->fail(unknownDeviceError(productName));
        return NoHandle;
    }
    const SourceHandle handle = m->addSource((*devices)[static_cast<std::size_t>(index)]);
    if (!m->open(m->sources[handle])) {
        m->sources.erase(handle);
        return NoHandle;
    }
    return handle;
}

std::int32_t SaneScannerLibrary::openSource(SourceHandle source)
{
    m->beginCall();
    if (!m->initialized) {
        m->fail(badCallError("die Bibliothek ist nicht gestartet"));
        return 0;
    }
    const auto found = m->sources.find(source);
    if (found == m->sources.end()) {
        m->fail(badCallError("unbekannte Quelle " + std::to_string(source)));
        return 0;
    }
    if (found->second.handle != nullptr) {
        return 1;
    }
    return m->open(found->second) ? 1 : 0;
}

std::int32_t SaneScannerLibrary::closeSource(SourceHandle source)
{
    m->beginCall();
    Impl::Source* s = m->openSource(source);
    if (s == nullptr) {
        return 0;
    }
    m->close(*s);
    return 1;
}

std::string SaneScannerLibrary::productName(SourceHandle source, int maxChars)
{
    m->beginCall();
    const Impl::Source* s = m->openSource(source);
    if (s == nullptr) {
        return {};
    }
    return limitCharacters(s->device.productName, maxChars);
}

std::int32_t SaneScannerLibrary::hasFeeder(SourceHandle source)
{
    m->beginCall();
    return m->flag(source, deviceHasFeeder, std::nullopt);
}

std::int32_t SaneScannerLibrary::canUseFeeder(SourceHandle source)
{
    return hasFeeder(source);
}

std::int32_t SaneScannerLibrary::canScanBothSides(SourceHandle source)
{
    m->beginCall();
    return m->flag(source, deviceScansBothSides, std::nullopt);
}

std::int32_t SaneScannerLibrary::isPaperInFeeder(SourceHandle source)
{
    m->beginCall();
    return m->whenOpen(source);
}

std::int32_t SaneScannerLibrary::enableFeeder(SourceHandle source, std::int32_t on)
{
    m->beginCall();
    return m->flag(
        source,
        [on](SANE_Handle h) { return selectFeeder(h, on != 0); },
        LastError{
            ScannerErrorCode::DeviceFault, "Die Papierquelle des Scanners lässt sich nicht umstellen."});
}

std::int32_t SaneScannerLibrary::enableDuplex(SourceHandle source, std::int32_t on)
{
    m->beginCall();
    return m->flag(
        source,
        [on](SANE_Handle h) { return selectBothSides(h, on != 0); },
        LastError{ScannerErrorCode::DeviceFault, "Der Scanner kann nicht beidseitig scannen."});
}

std::int32_t
SaneScannerLibrary::setManualDuplexMode(SourceHandle source, std::int32_t /*mode*/, std::int32_t /*on*/)
{
    m->beginCall();
    return m->whenOpen(source);
}

std::int32_t SaneScannerLibrary::sourceSetting3600(SourceHandle source, std::int32_t /*value*/)
{
    m->beginCall();
    return m->whenOpen(source);
}

std::int32_t SaneScannerLibrary::sourceSetting8400(
    SourceHandle source, double /*value*/, std::int32_t /*limit*/, std::int32_t /*flags*/)
{
    m->beginCall();
    return m->whenOpen(source);
}

std::int32_t SaneScannerLibrary::sourceSetting3200(
    SourceHandle source, std::int32_t /*a*/, std::int32_t /*b*/, std::int32_t /*c*/)
{
    m->beginCall();
    return m->whenOpen(source);
}

std::int32_t SaneScannerLibrary::setResolution(SourceHandle source, double dpi)
{
    m->beginCall();
    if (!(dpi > 0.0)) {
        m->fail(badCallError("Auflösung nicht größer als 0"));
        return 0;
    }
    return m->flag(
        source,
        [dpi](SANE_Handle h) { return setDeviceResolution(h, dpi); },
        LastError{ScannerErrorCode::DeviceFault, "Der Scanner lehnt die Auflösung ab."});
}

std::int32_t SaneScannerLibrary::SetPaperSize(SourceHandle source, const std::string& paperSize)
{
    m->beginCall();
    return m->flag(
        source,
        [paperSize](SANE_Handle h) { return setScanArea(h, paperSize); },
        LastError{ScannerErrorCode::DeviceFault, "Der Scanner lehnt den Scanbereich ab."});
}

FileListHandle SaneScannerLibrary::createFileList(std::int32_t /*kind*/, std::int32_t count)
{
    if (count < 0 || count > MaxFileListEntries) {
        m->fail(badCallError("Dateiliste mit " + std::to_string(count) + " Einträgen"));
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
        m->fail(badCallError("unbekannte Dateiliste oder unbekannter Eintrag"));
        return 0;
    }
    found->second[static_cast<std::size_t>(index)] = text;
    return 1;
}

std::int32_t SaneScannerLibrary::freeFileList(FileListHandle list)
{
    if (m->lists.erase(list) == 0) {
        m->fail(badCallError("unbekannte Dateiliste"));
        return 0;
    }
    return 1;
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
    m->beginCall();
    if (!m->initialized || m->sources.find(source) == m->sources.end()) {
        m->fail(badCallError("unbekannte Quelle " + std::to_string(source)));
        return 0;
    }
    const auto names = m->lists.find(list);
    if (names == m->lists.end() || names->second.empty() || names->second.front().empty()) {
        m->fail(badCallError("keine Datei für die Seiten angegeben"));
        return 0;
    }
    if (pixelType < 0 || pixelType > static_cast<std::int32_t>(ScanPixelType::Colour)) {
        m->fail(badCallError("Pixeltyp " + std::to_string(pixelType)));
        return 0;
    }
    Impl::Source* record = m->openSource(source);
    if (record == nullptr) {
        return 0;
    }
    const Outcome outcome = m->acquire(
        *record,
        AcquisitionRequest{
            record->handle,
            names->second.front(),
            pixelType,
            maxPages,
            m->timeouts,
            record->device.productName,
            m->callback,
            m->userData,
            m->readSeam});
    m->lastError = outcome.error;
    if (outcome.result == 0) {
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
    m->beginCall();
    // SANE devices know no manual double-sided passes: both counts are 0.
    if (firstPass != nullptr) {
        *firstPass = 0;
    }
    if (secondPass != nullptr) {
        *secondPass = 0;
    }
    return m->whenOpen(source);
}

} // namespace folvex
