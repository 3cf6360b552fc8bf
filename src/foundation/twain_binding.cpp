#include "foundation/twain_binding.h"

#include "runtime/effects.h"

namespace folvex {

namespace {

// Stands in while no library is installed: nothing happens, every call gives 0.
class NoScannerLibrary final : public ScannerLibrary
{
public:
    std::string versionText(int) override { return {}; }

    std::int32_t initialize() override { return 0; }

    std::int32_t shutDown() override { return 0; }

    std::int32_t startConnection(Handle, std::int32_t) override { return 0; }

    std::int32_t endConnection() override { return 0; }

    std::int32_t connectionSetting3210(std::int32_t) override { return 0; }

    std::int32_t connectionSetting13(std::int32_t) override { return 0; }

    std::int32_t setNotificationCallback(ScannerCallback, std::int64_t, std::int32_t) override { return 0; }

    SourceHandle selectSourceWithDialog() override { return NoHandle; }

    SourceHandle selectSourceByName(const std::string&) override { return NoHandle; }

    std::int32_t openSource(SourceHandle) override { return 0; }

    std::int32_t closeSource(SourceHandle) override { return 0; }

    std::string productName(SourceHandle, int) override { return {}; }

    std::int32_t hasFeeder(SourceHandle) override { return 0; }

    std::int32_t canUseFeeder(SourceHandle) override { return 0; }

    std::int32_t canScanBothSides(SourceHandle) override { return 0; }

    std::int32_t isPaperInFeeder(SourceHandle) override { return 0; }

    std::int32_t enableFeeder(SourceHandle, std::int32_t) override { return 0; }

    std::int32_t enableDuplex(SourceHandle, std::int32_t) override { return 0; }

    std::int32_t setManualDuplexMode(SourceHandle, std::int32_t, std::int32_t) override { return 0; }

    std::int32_t sourceSetting3600(SourceHandle, std::int32_t) override { return 0; }

    std::int32_t sourceSetting8400(SourceHandle, double, std::int32_t, std::int32_t) override { return 0; }

    std::int32_t sourceSetting3200(SourceHandle, std::int32_t, std::int32_t, std::int32_t) override
    {
        return 0;
    }

    std::int32_t setResolution(SourceHandle, double) override { return 0; }

    std::int32_t SetPaperSize(SourceHandle, const std::string&) override { return 0; }

    FileListHandle createFileList(std::int32_t, std::int32_t) override { return NoHandle; }

    std::int32_t setFileListEntry(FileListHandle, std::int32_t, const std::string&) override { return 0; }

    std::int32_t freeFileList(FileListHandle) override { return 0; }

    std::int32_t acquireToFiles(
        SourceHandle,
        FileListHandle,
        std::int32_t,
        std::int32_t,
        std::int32_t,
        std::int32_t,
        std::int32_t,
        std::int32_t,
        std::int32_t*) override
    {
        return 0;
    }

    std::int32_t lastErrorCode() override { return 0; }

    std::string errorText(std::int32_t, int) override { return {}; }

    std::int32_t manualDuplexCounts(SourceHandle, std::int32_t* first, std::int32_t* second) override
    {
        if (first != nullptr) {
            *first = 0;
        }
        if (second != nullptr) {
            *second = 0;
        }
        return 0;
    }
};

ScannerLibrary*& installedLibrary()
{
    static ScannerLibrary* installed = nullptr;
    return installed;
}

constexpr int VersionTextMaxChars = 500;

} // namespace

void installDTwainBinding(ScannerLibrary* library)
{
    installedLibrary() = library;
}

ScannerLibrary& DTwainBinding()
{
    static NoScannerLibrary none;
    ScannerLibrary* installed = installedLibrary();
    return installed != nullptr ? *installed : none;
}

std::string parseDTwainVersion(const std::string& versionText)
{
    std::string t = versionText;
    const std::size_t at = t.find("Version:");
    if (at != std::string::npos) {
        t = t.substr(at + 1);
    }
    t = t.substr(0, t.find('\r'));
    const std::size_t firstSpace = t.find(' ');
    if (firstSpace == std::string::npos) {
        t.clear();
    } else {
        const std::size_t start = firstSpace + 1;
        const std::size_t end = t.find(' ', start);
        t = t.substr(start, end == std::string::npos ? std::string::npos : end - start);
    }
    return t.substr(0, t.find('\n'));
}

int DTwainVersionCheck()
{
    const std::string version = parseDTwainVersion(DTwainBinding().versionText(VersionTextMaxChars));
    if (version == DTwainExpectedVersion) {
        return 0;
    }
    const std::string text = std::string("Die DTwain-Anbindung ist für die Version ") +
                             DTwainExpectedVersion +
                             " von DTwain geschrieben.\rDie Scannerbibliothek ist jedoch Version " + version +
                             ".\r\rDas Programm sollte unbedingt abgebrochen werden! [Nein=weiter]";
    const MessageAnswer answer = effects().messages->showMessage(
        DTwainMismatchTitle, text, MessageButtons::YesNoCancel, MessageIcon::Warning);
    if (answer != MessageAnswer::No) {
        effects().exit->endProgramAtOnce(1);
    }
    return 0;
}

} // namespace folvex
