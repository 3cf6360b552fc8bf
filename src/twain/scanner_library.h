#pragma once
// The scanner library's calls as the program makes them: one virtual function per call, each with
// its call number as a constant. Sources and file lists are integer handles (0 = none, never reused);
// every call given 0 or an unknown handle does nothing and gives 0. GUI thread.

#include "runtime/handles.h"

#include <cstdint>
#include <functional>
#include <string>

namespace folvex {

// The call numbers the program knows the library's calls by.
enum class ScannerCall : int
{
    Initialize = 2,
    StartConnection = 3,
    EndConnection = 4,
    ShutDown = 6,
    ConnectionSetting13 = 13,
    ProductName = 18,
    OpenSource = 31,
    CloseSource = 32,
    LastErrorCode = 40,
    CreateFileList = 60,
    FreeFileList = 64,
    SetResolution = 205,
    SelectSourceWithDialog = 211,
    SelectSourceByName = 213,
    EnableFeeder = 225,
    IsPaperInFeeder = 227,
    HasFeeder = 228,
    CanUseFeeder = 233,
    AcquireToFiles = 237,
    EnableDuplex = 391,
    CanScanBothSides = 392,
    SourceSetting3200 = 3200,
    SetManualDuplexMode = 3202,
    ManualDuplexCounts = 3203,
    ConnectionSetting3210 = 3210,
    SetFileListEntry = 3532,
    SourceSetting3600 = 3600,
    SourceSetting8400 = 8400,
    SetNotificationCallback = 9100,
    VersionText = 9800,
    ErrorText = 12043,
};

// Outcome statuses of an acquisition.
enum class AcquireStatus : int
{
    Done = 1000,
    Failed = 1001,
    Cancelled = 1002,
};

// Notification codes given to the callback.
enum class ScannerNotification : int
{
    PageAcquired = 1010,
    ManualFirstPassDone = 1041,
    ManualCountsDiffer = 1043,
};

// Pixel types of an acquisition.
enum class ScanPixelType : int
{
    BlackWhite = 0,
    Grey = 1,
    Colour = 2,
};

using SourceHandle = Handle;
using FileListHandle = Handle;

// The notification callback: (code, value, user data) → result. Called on the GUI thread.
using ScannerCallback =
    std::function<std::int32_t(std::int32_t code, std::int32_t value, std::int64_t userData)>;

// The phrase in an error text that tells the caller the device stopped answering (it then reconnects).
inline constexpr const char* InterfaceNotStartedPhrase = "TWAIN user interface could not be started";

// The paper size text that selects A4 (210 × 297 mm from the top left corner).
inline constexpr const char* PaperSizeA4 = "DIN A4";

class ScannerLibrary
{
public:
    virtual ~ScannerLibrary() = default;

    // 9800: the library's version text, at most maxChars characters; answered before Initialize.
    virtual std::string versionText(int maxChars) = 0;

    // 2, 6: start and end the library; 3, 4: start and end the connection (3 keeps the parent window
    // of the library's windows).
    virtual std::int32_t initialize() = 0;
    virtual std::int32_t shutDown() = 0;
    virtual std::int32_t startConnection(Handle mainWindow, std::int32_t flags) = 0;
    virtual std::int32_t endConnection() = 0;

    // 3210, 13: connection settings without effect here.
    virtual std::int32_t connectionSetting3210(std::int32_t value) = 0;
    virtual std::int32_t connectionSetting13(std::int32_t value) = 0;

    // 9100: keeps the callback; user data is given back with every notification.
    virtual std::int32_t
    setNotificationCallback(ScannerCallback callback, std::int64_t userData, std::int32_t flags) = 0;

    // 211: the selection dialog; an opened source, 0 when cancelled.
    virtual SourceHandle selectSourceWithDialog() = 0;

    // 213: the source of that product name, opened; 0 when there is none.
    virtual SourceHandle selectSourceByName(const std::string& productName) = 0;

    // 31: opens (or reopens) the source; ≠ 0 when it is open.
    virtual std::int32_t openSource(SourceHandle source) = 0;

    // 32: closes the source; its handle stays known, so 31 can reopen it.
    virtual std::int32_t closeSource(SourceHandle source) = 0;

    // 18: the product name, at most maxChars characters; empty for no source or a closed one.
    virtual std::string productName(SourceHandle source, int maxChars) = 0;

    // 228, 233: feeder tests; 392: can scan both sides; 227: paper in the feeder.
    virtual std::int32_t hasFeeder(SourceHandle source) = 0;
    virtual std::int32_t canUseFeeder(SourceHandle source) = 0;
    virtual std::int32_t canScanBothSides(SourceHandle source) = 0;
    virtual std::int32_t isPaperInFeeder(SourceHandle source) = 0;

    // 225: feeder on (1) or off (0); 391: both sides on or off; 3202: manual double-sided mode.
    virtual std::int32_t enableFeeder(SourceHandle source, std::int32_t on) = 0;
    virtual std::int32_t enableDuplex(SourceHandle source, std::int32_t on) = 0;
    virtual std::int32_t setManualDuplexMode(SourceHandle source, std::int32_t mode, std::int32_t on) = 0;

    // 3600, 8400, 3200: source settings without effect here.
    virtual std::int32_t sourceSetting3600(SourceHandle source, std::int32_t value) = 0;
    virtual std::int32_t
    sourceSetting8400(SourceHandle source, double value, std::int32_t limit, std::int32_t flags) = 0;
    virtual std::int32_t
    sourceSetting3200(SourceHandle source, std::int32_t a, std::int32_t b, std::int32_t c) = 0;

    // 205: resolution in dots per inch; the device takes its nearest allowed value.
    virtual std::int32_t setResolution(SourceHandle source, double dpi) = 0;

    // Scan area by paper size text: PaperSizeA4, any other text the device's full area.
    virtual std::int32_t SetPaperSize(SourceHandle source, const std::string& paperSize) = 0;

    // 60: a new list of count empty texts; 3532: sets entry index; 64: frees the list.
    virtual FileListHandle createFileList(std::int32_t kind, std::int32_t count) = 0;
    virtual std::int32_t
    setFileListEntry(FileListHandle list, std::int32_t index, const std::string& text) = 0;
    virtual std::int32_t freeFileList(FileListHandle list) = 0;

    // 237: acquires every page the source delivers into BMP files named from entry 0 of the list
    // (page i: i inserted before ".bmp"), calling the callback with PageAcquired after each page on
    // the GUI thread. Result 0 = failed (then 40 and 12043 tell why); else *status is an
    // AcquireStatus.
    virtual std::int32_t acquireToFiles(
        SourceHandle source,
        FileListHandle list,
        std::int32_t transferKind,
        std::int32_t fileFlags,
        std::int32_t pixelType,
        std::int32_t maxPages,
        std::int32_t showInterface,
        std::int32_t closeAfter,
        std::int32_t* status) = 0;

    // 40: the last error code; 12043: the text of a code, at most maxChars characters.
    virtual std::int32_t lastErrorCode() = 0;
    virtual std::string errorText(std::int32_t code, int maxChars) = 0;

    // 3203: page counts of the two passes of a manual double-sided scan.
    virtual std::int32_t
    manualDuplexCounts(SourceHandle source, std::int32_t* firstPass, std::int32_t* secondPass) = 0;
};

// The first maxChars characters (code points) of a UTF-8 text; maxChars < 0 gives the empty text.
std::string limitCharacters(const std::string& text, int maxChars);

} // namespace folvex
