#pragma once
// The scanner library on SANE. Every SANE call runs on a worker thread under a watchdog, so a device
// that hangs never freezes the window: the call gives up, the device counts as gone and the caller is
// told so. The two windows (device selection, progress) come through SaneDialogs, which the window
// layer implements and tests script. The library object lives on the GUI thread.

#include "runtime/handles.h"
#include "twain/scanner_library.h"

#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace folvex {

// The version text the library answers, also before it is initialised.
inline constexpr const char* SaneLibraryVersionText = "Folvex-Scannerbibliothek Version: 5.6.6 (SANE)";

// How long a SANE call may take before the device counts as hung.
struct SaneTimeouts
{
    int callMs = 30000;   // opening, closing, options, cancelling
    int searchMs = 60000; // listing the devices
    int startMs = 120000; // starting a page (lamp warm-up, paper feed)
    int readMs = 60000;   // one read of image data
    int cancelMs = 800;   // a cancel not honoured by then gives the acquisition up
};

// Test seam around the reads of image data: called on the worker before every read with the page
// number (from 1). 0 lets the read go ahead; any other value is the SANE status the read gives
// instead. It may block, as a device stuck in a read does.
using SaneReadSeam = std::function<int(int page)>;

struct SaneDevice
{
    std::string name; // the SANE device name, e.g. "test:0"
    std::string vendor;
    std::string model;
    std::string productName;
};

// The product names of a device list: vendor + " " + model, with " (" + device name + ")" when
// another device of the list has the same vendor and model.
void assignProductNames(std::vector<SaneDevice>& devices);

// The index of the device a stored product name means, −1 for none: the device with that product
// name; else, for a name "<vendor> <model> (<device>)", that device when it is still listed with
// that vendor and model, and when it is gone, the only device of that vendor and model.
int findDeviceByProductName(const std::vector<SaneDevice>& devices, const std::string& productName);

// A device search running on the worker. The GUI thread polls it; the worker calls the wake-up.
class DeviceSearch
{
public:
    virtual ~DeviceSearch() = default;

    virtual bool finished() const = 0;

    // The devices found; empty until finished (and when the search failed or hung).
    virtual std::vector<SaneDevice> devices() const = 0;

    // Called by the worker when the search ends (any thread); replaced with an empty function
    // before the window that set it goes.
    virtual void setWakeUp(std::function<void()> wakeUp) = 0;

    // GUI thread: ends a search that has overrun its time as failed.
    virtual void checkWatchdog() = 0;
};

// An acquisition running on the worker, seen from the GUI thread.
class AcquisitionSession
{
public:
    virtual ~AcquisitionSession() = default;

    virtual const std::string& productName() const = 0;

    // The page being scanned, from 1.
    virtual int currentPage() const = 0;

    // GUI thread: calls the notification callback for each page written since the last call, in
    // page order.
    virtual void deliverEvents() = 0;

    // True when the worker is done (or hung) and every page was delivered.
    virtual bool finished() const = 0;

    // "Abbrechen": the worker stops between two reads; one stuck in a call is given up after
    // SaneTimeouts::cancelMs (status Cancelled, the source closed). Any thread; a second call does
    // nothing.
    virtual void requestCancel() = 0;

    virtual bool cancelRequested() const = 0;

    // GUI thread: declares the device hung when a SANE call has overrun its time, and gives the
    // acquisition up when a cancel has not been honoured in time.
    virtual void checkWatchdog() = 0;

    // As DeviceSearch::setWakeUp: called by the worker whenever there is something to deliver.
    virtual void setWakeUp(std::function<void()> wakeUp) = 0;
};

// The windows of the library.
class SaneDialogs
{
public:
    virtual ~SaneDialogs() = default;

    // "Scanner auswählen": lists the devices of the search while it runs; the index of the chosen
    // device in search.devices(), nullopt when cancelled.
    virtual std::optional<std::size_t> chooseDevice(DeviceSearch& search, Handle parent) = 0;

    // The progress window: application-modal until session.finished(); "Abbrechen", Esc and closing
    // the window request the cancel.
    virtual void showProgress(AcquisitionSession& session, Handle parent) = 0;
};

class SaneScannerLibrary final : public ScannerLibrary
{
public:
    // dialogs must outlive the library.
    explicit SaneScannerLibrary(SaneDialogs& dialogs, SaneTimeouts timeouts = {}, SaneReadSeam readSeam = {});
    ~SaneScannerLibrary() override;
    SaneScannerLibrary(const SaneScannerLibrary&) = delete;
    SaneScannerLibrary& operator=(const SaneScannerLibrary&) = delete;

    std::string versionText(int maxChars) override;
    std::int32_t initialize() override;
    std::int32_t shutDown() override;
    std::int32_t startConnection(Handle mainWindow, std::int32_t flags) override;
    std::int32_t endConnection() override;
    std::int32_t connectionSetting3210(std::int32_t value) override;
    std::int32_t connectionSetting13(std::int32_t value) override;
    std::int32_t
    setNotificationCallback(ScannerCallback callback, std::int64_t userData, std::int32_t flags) override;
    SourceHandle selectSourceWithDialog() override;
    SourceHandle selectSourceByName(const std::string& productName) override;
    std::int32_t openSource(SourceHandle source) override;
    std::int32_t closeSource(SourceHandle source) override;
    std::string productName(SourceHandle source, int maxChars) override;
    std::int32_t hasFeeder(SourceHandle source) override;
    std::int32_t canUseFeeder(SourceHandle source) override;
    std::int32_t canScanBothSides(SourceHandle source) override;
    std::int32_t isPaperInFeeder(SourceHandle source) override;
    std::int32_t enableFeeder(SourceHandle source, std::int32_t on) override;
    std::int32_t enableDuplex(SourceHandle source, std::int32_t on) override;
    std::int32_t setManualDuplexMode(SourceHandle source, std::int32_t mode, std::int32_t on) override;
    std::int32_t sourceSetting3600(SourceHandle source, std::int32_t value) override;
    std::int32_t
    sourceSetting8400(SourceHandle source, double value, std::int32_t limit, std::int32_t flags) override;
    std::int32_t
    sourceSetting3200(SourceHandle source, std::int32_t a, std::int32_t b, std::int32_t c) override;
    std::int32_t setResolution(SourceHandle source, double dpi) override;
    std::int32_t SetPaperSize(SourceHandle source, const std::string& paperSize) override;
    FileListHandle createFileList(std::int32_t kind, std::int32_t count) override;
    std::int32_t setFileListEntry(FileListHandle list, std::int32_t index, const std::string& text) override;
    std::int32_t freeFileList(FileListHandle list) override;
    std::int32_t acquireToFiles(
        SourceHandle source,
        FileListHandle list,
        std::int32_t transferKind,
        std::int32_t fileFlags,
        std::int32_t pixelType,
        std::int32_t maxPages,
        std::int32_t showInterface,
        std::int32_t closeAfter,
        std::int32_t* status) override;
    std::int32_t lastErrorCode() override;
    std::string errorText(std::int32_t code, int maxChars) override;
    std::int32_t
    manualDuplexCounts(SourceHandle source, std::int32_t* firstPass, std::int32_t* secondPass) override;

    // The parent window given to startConnection (0 before).
    Handle parentWindow() const;

private:
    struct Impl;
    std::unique_ptr<Impl> m;
};

// Error codes of lastErrorCode().
enum class ScannerErrorCode : std::int32_t
{
    None = 0,
    NotReady = 1,       // busy, no access, I/O error, hung or gone: the text holds InterfaceNotStartedPhrase
    DeviceFault = 2,    // jammed, cover open, out of memory, invalid and other device errors
    PageNotWritten = 3, // a page file could not be written; the text names it
    BadCall = 4,        // unknown list, pixel type or a library not initialised
};

} // namespace folvex
