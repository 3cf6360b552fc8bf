#pragma once
// A deterministic scanner library for tests: no threads, no timers. Devices, the dialog's choice,
// open failures, feeder and duplex abilities and the passes of 237 are scripted; every call is traced
// with its number and arguments. Pages are written as real BMP files and reported through the
// callback one by one, in order, before 237 returns.

#include "twain/bmp_page.h"
#include "twain/scanner_library.h"

#include <deque>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace folvex {

struct FakeDevice
{
    std::string vendor;
    std::string model;
    std::string deviceName; // may be changed by a test: the device moved to another port
    bool opens = true;      // false: 31 and 213 fail for it
    bool feeder = false;
    bool duplex = false;
};

enum class FakeContent
{
    StampedId, // white with the page id stamped in black cells (readStampedPageId reads it back)
    White,
    NearWhiteNoise, // every sample between 245 and 255, seeded by the page id
};

struct FakePage
{
    int id = 1;
    int width = 80;
    int height = 100;
    int depth = 24; // 1, 8 or 24 bits per pixel
    double dpi = 100.0;
    FakeContent content = FakeContent::StampedId;
};

// One sheet in the feeder; its back is delivered right after its front while both sides are on.
struct FakeSheet
{
    FakePage front;
    std::optional<FakePage> back;
};

// What one call of 237 does.
struct FakePass
{
    std::vector<FakeSheet> sheets;
    std::int32_t status = static_cast<std::int32_t>(AcquireStatus::Done); // reported with result 1
    std::int32_t result = 1; // 0: the pass fails after failAfterPages pages with errorText
    int failAfterPages = 0;
    std::string errorText;
    bool writeNothing = false; // status 1000 without any file
    // Codes sent through the callback after the pass's pages, in order (for instance 1041 at the end
    // of a first manual pass, 1043 when the two passes' page counts differ).
    std::vector<std::int32_t> notifications;

    // Single pages with these ids, all alike otherwise.
    static FakePass pages(const std::vector<int>& ids, FakePage like = {});

    // Sheets with fronts 1..n and backs 101..100+n.
    static FakePass duplexSheets(int sheets, FakePage like = {});

    // The feeder is empty: status 1001, no page.
    static FakePass emptyFeeder();

    // k pages, then result 0 with the text.
    static FakePass failing(int pagesBefore, std::string text, FakePage like = {});
};

struct FakeCallRecord
{
    int number;                    // the call number; SetPaperSize has FakePaperSizeCall
    std::vector<std::string> args; // each argument as text; handles as numbers, texts as they are

    bool operator==(const FakeCallRecord&) const = default;
};

inline constexpr int FakePaperSizeCall = 0;

// The page image of a scripted page.
PageImage makeFakePage(const FakePage& page);

// The id stamped on a page, nullopt when the page carries no stamp.
std::optional<int> readStampedPageId(const PageImage& page);

class FakeScannerLibrary final : public ScannerLibrary
{
public:
    std::vector<FakeDevice> devices;
    std::string version = "Folvex-Scannerbibliothek Version: 5.6.6 (SANE)";
    std::optional<std::string> dialogChoice; // product name the dialog (211) picks; nullopt = cancel
    std::deque<FakePass> passes;
    std::vector<FakeCallRecord> trace;
    std::set<int> failingOpenCalls;        // calls of 31 that fail whatever the source, counted from 1
    std::int32_t manualFirstPassPages = 0; // what 3203 answers for an open source
    std::int32_t manualSecondPassPages = 0;
    std::vector<std::int32_t> notificationResults; // the callback's results for a pass's notifications

    // The calls with the given number, in order.
    std::vector<FakeCallRecord> callsOf(int number) const;

    // State of a source as set through the calls (false/0/empty for an unknown source).
    bool isOpen(SourceHandle source) const;
    bool feederOn(SourceHandle source) const;
    bool duplexOn(SourceHandle source) const;
    double resolution(SourceHandle source) const;
    std::string paperSize(SourceHandle source) const;

    bool initialized() const { return m_initialized; }

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

private:
    struct Source
    {
        std::string deviceName;
        std::string productName;
        bool open = false;
        bool feederOn = false;
        bool duplexOn = false;
        double dpi = 0.0;
        std::string paperSize;
    };

    const FakeDevice* deviceNamed(const std::string& name) const;
    Source* openSourceRecord(SourceHandle source);
    const Source* sourceRecord(SourceHandle source) const;
    void record(int number, std::vector<std::string> args);
    SourceHandle addOpenedSource(const FakeDevice& device, const std::string& productName);

    bool m_initialized = false;
    std::map<SourceHandle, Source> m_sources;
    std::map<FileListHandle, std::vector<std::string>> m_lists;
    ScannerCallback m_callback;
    std::int64_t m_userData = 0;
    int m_openCalls = 0;
    std::int32_t m_lastErrorCode = 0;
    std::string m_lastErrorText;
};

} // namespace folvex
