#include "twain/fake_scanner_library.h"

#include "twain/sane_scanner_library.h"

#include <charconv>

namespace folvex {

namespace {

std::string text(long long value)
{
    return std::to_string(value);
}

std::string text(double value)
{
    char buffer[64];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    return std::string(buffer, result.ptr);
}

// Geometry of the stamp: 16 cells for the bits of the id in a band below the top edge, and a solid
// bar near the bottom so a stamped page never looks blank.
constexpr int StampBits = 16;

struct Cell
{
    int x0, y0, x1, y1;
};

Cell stampCell(int width, int height, int bit)
{
    const int left = width / 10;
    const int span = width - 2 * left;
    return {left + span * bit / StampBits, height / 10, left + span * (bit + 1) / StampBits, 2 * height / 10};
}

void fill(PageImage& page, const Cell& cell, std::uint8_t value)
{
    for (int y = cell.y0; y < cell.y1; ++y) {
        for (int x = cell.x0; x < cell.x1; ++x) {
            const std::size_t pixel = static_cast<std::size_t>(y) * static_cast<std::size_t>(page.width) +
                                      static_cast<std::size_t>(x);
            for (int c = 0; c < page.channels; ++c) {
                page.samples[pixel * static_cast<std::size_t>(page.channels) + static_cast<std::size_t>(c)] =
                    value;
            }
        }
    }
}

std::uint8_t greyAt(const PageImage& page, int x, int y)
{
    const std::size_t pixel =
        static_cast<std::size_t>(y) * static_cast<std::size_t>(page.width) + static_cast<std::size_t>(x);
    return page.samples[pixel * static_cast<std::size_t>(page.channels)];
}

BmpDepth depthOf(int bits)
{
    return bits == 1 ? BmpDepth::Bilevel : bits == 8 ? BmpDepth::Grey : BmpDepth::Colour;
}

} // namespace

FakePass FakePass::pages(const std::vector<int>& ids, FakePage like)
{
    FakePass pass;
    for (int id : ids) {
        like.id = id;
        pass.sheets.push_back({like, std::nullopt});
    }
    return pass;
}

FakePass FakePass::duplexSheets(int sheets, FakePage like)
{
    FakePass pass;
    for (int i = 1; i <= sheets; ++i) {
        FakePage front = like;
        front.id = i;
        FakePage back = like;
        back.id = 100 + i;
        pass.sheets.push_back({front, back});
    }
    return pass;
}

FakePass FakePass::emptyFeeder()
{
    FakePass pass;
    pass.status = static_cast<std::int32_t>(AcquireStatus::Failed);
    return pass;
}

FakePass FakePass::failing(int pagesBefore, std::string errorText, FakePage like)
{
    std::vector<int> ids;
    for (int i = 1; i <= pagesBefore; ++i) {
        ids.push_back(i);
    }
    FakePass pass = pages(ids, like);
    pass.result = 0;
    pass.failAfterPages = pagesBefore;
    pass.errorText = std::move(errorText);
    return pass;
}

PageImage makeFakePage(const FakePage& pageSpec)
{
    PageImage page;
    page.width = std::max(pageSpec.width, 1);
    page.height = std::max(pageSpec.height, 1);
    page.channels = pageSpec.depth == 24 ? 3 : 1;
    page.dpi = pageSpec.dpi;
    page.samples.assign(
        static_cast<std::size_t>(page.width) * static_cast<std::size_t>(page.height) *
            static_cast<std::size_t>(page.channels),
        255);
    switch (pageSpec.content) {
        case FakeContent::White:
            break;
        case FakeContent::NearWhiteNoise: {
            std::uint32_t state = 0x9E3779B9u ^ static_cast<std::uint32_t>(pageSpec.id);
            for (std::uint8_t& sample : page.samples) {
                state = state * 1664525u + 1013904223u;
                sample = static_cast<std::uint8_t>(245 + (state >> 24) % 11);
            }
            break;
        }
        case FakeContent::StampedId:
            for (int bit = 0; bit < StampBits; ++bit) {
                if ((pageSpec.id >> (StampBits - 1 - bit)) & 1) {
                    fill(page, stampCell(page.width, page.height, bit), 0);
                }
            }
            fill(page, {page.width / 10, 8 * page.height / 10, page.width / 2, 9 * page.height / 10}, 0);
            break;
    }
    return page;
}

std::optional<int> readStampedPageId(const PageImage& page)
{
    if (page.width < 2 * StampBits || page.height < 20 || page.samples.empty()) {
        return std::nullopt;
    }
    const int barX = (page.width / 10 + page.width / 2) / 2;
    const int barY = (8 * page.height / 10 + 9 * page.height / 10) / 2;
    if (greyAt(page, barX, barY) >= 128) {
        return std::nullopt;
    }
    int id = 0;
    for (int bit = 0; bit < StampBits; ++bit) {
        const Cell cell = stampCell(page.width, page.height, bit);
        id = (id << 1) | (greyAt(page, (cell.x0 + cell.x1) / 2, (cell.y0 + cell.y1) / 2) < 128 ? 1 : 0);
    }
    return id;
}

std::vector<FakeCallRecord> FakeScannerLibrary::callsOf(int number) const
{
    std::vector<FakeCallRecord> calls;
    for (const FakeCallRecord& call : trace) {
        if (call.number == number) {
            calls.push_back(call);
        }
    }
    return calls;
}

const FakeScannerLibrary::Source* FakeScannerLibrary::sourceRecord(SourceHandle source) const
{
    const auto found = m_sources.find(source);
    return found != m_sources.end() ? &found->second : nullptr;
}

FakeScannerLibrary::Source* FakeScannerLibrary::openSourceRecord(SourceHandle source)
{
    const auto found = m_sources.find(source);
    return found != m_sources.end() && found->second.open ? &found->second : nullptr;
}

bool FakeScannerLibrary::isOpen(SourceHandle source) const
{
    const Source* s = sourceRecord(source);
    return s != nullptr && s->open;
}

bool FakeScannerLibrary::feederOn(SourceHandle source) const
{
    const Source* s = sourceRecord(source);
    return s != nullptr && s->feederOn;
}

bool FakeScannerLibrary::duplexOn(SourceHandle source) const
{
    const Source* s = sourceRecord(source);
    return s != nullptr && s->duplexOn;
}

double FakeScannerLibrary::resolution(SourceHandle source) const
{
    const Source* s = sourceRecord(source);
    return s != nullptr ? s->dpi : 0.0;
}

std::string FakeScannerLibrary::paperSize(SourceHandle source) const
{
    const Source* s = sourceRecord(source);
    return s != nullptr ? s->paperSize : std::string();
}

const FakeDevice* FakeScannerLibrary::deviceNamed(const std::string& name) const
{
    for (const FakeDevice& device : devices) {
        if (device.deviceName == name) {
            return &device;
        }
    }
    return nullptr;
}

void FakeScannerLibrary::record(int number, std::vector<std::string> args)
{
    trace.push_back({number, std::move(args)});
}

SourceHandle FakeScannerLibrary::addOpenedSource(const FakeDevice& device, const std::string& name)
{
    const SourceHandle handle = allocateHandle();
    Source source;
    source.deviceName = device.deviceName;
    source.productName = name;
    source.open = true;
    m_sources[handle] = source;
    return handle;
}

std::string FakeScannerLibrary::versionText(int maxChars)
{
    record(9800, {text(static_cast<long long>(maxChars))});
    return limitCharacters(version, maxChars);
}

std::int32_t FakeScannerLibrary::initialize()
{
    record(2, {});
    m_initialized = true;
    return 1;
}

std::int32_t FakeScannerLibrary::shutDown()
{
    record(6, {});
    const bool was = m_initialized;
    m_initialized = false;
    return was ? 1 : 0;
}

std::int32_t FakeScannerLibrary::startConnection(Handle mainWindow, std::int32_t flags)
{
    record(3, {text(static_cast<long long>(mainWindow)), text(static_cast<long long>(flags))});
    return 1;
}

std::int32_t FakeScannerLibrary::endConnection()
{
    record(4, {});
    return 1;
}

std::int32_t FakeScannerLibrary::connectionSetting3210(std::int32_t value)
{
    record(3210, {text(static_cast<long long>(value))});
    return 1;
}

std::int32_t FakeScannerLibrary::connectionSetting13(std::int32_t value)
{
    record(13, {text(static_cast<long long>(value))});
    return 1;
}

std::int32_t FakeScannerLibrary::setNotificationCallback(
    ScannerCallback callback, std::int64_t userData, std::int32_t flags)
{
    record(
        9100,
        {callback ? "callback" : "none",
         text(static_cast<long long>(userData)),
         text(static_cast<long long>(flags))});
    m_callback = std::move(callback);
    m_userData = userData;
    return 1;
}

namespace {

std::vector<SaneDevice> listed(const std::vector<FakeDevice>& devices)
{
    std::vector<SaneDevice> list;
    for (const FakeDevice& d : devices) {
        list.push_back({d.deviceName, d.vendor, d.model, {}});
    }
    assignProductNames(list);
    return list;
}

} // namespace

SourceHandle FakeScannerLibrary::selectSourceWithDialog()
{
    record(211, {});
    if (!m_initialized || !dialogChoice) {
        return NoHandle;
    }
    const auto list = listed(devices);
    for (std::size_t i = 0; i < list.size(); ++i) {
        if (list[i].productName == *dialogChoice) {
            const SourceHandle handle = addOpenedSource(devices[i], list[i].productName);
            m_sources[handle].open = devices[i].opens;
            return handle;
        }
    }
    return NoHandle;
}

SourceHandle FakeScannerLibrary::selectSourceByName(const std::string& productName)
{
    record(213, {productName});
    if (!m_initialized) {
        return NoHandle;
    }
    const auto list = listed(devices);
    const int index = findDeviceByProductName(list, productName);
    if (index < 0 || !devices[static_cast<std::size_t>(index)].opens) {
        return NoHandle;
    }
    return addOpenedSource(
        devices[static_cast<std::size_t>(index)], list[static_cast<std::size_t>(index)].productName);
}

std::int32_t FakeScannerLibrary::openSource(SourceHandle source)
{
    record(31, {text(static_cast<long long>(source))});
    ++m_openCalls;
    const auto found = m_sources.find(source);
    if (!m_initialized || found == m_sources.end()) {
        return 0;
    }
    if (failingOpenCalls.count(m_openCalls) > 0) {
        found->second.open = false;
        return 0;
    }
    if (found->second.open) {
        return 1;
    }
    const FakeDevice* device = deviceNamed(found->second.deviceName);
    found->second.open = device != nullptr && device->opens;
    return found->second.open ? 1 : 0;
}

std::int32_t FakeScannerLibrary::closeSource(SourceHandle source)
{
    record(32, {text(static_cast<long long>(source))});
    Source* s = openSourceRecord(source);
    if (s == nullptr) {
        return 0;
    }
    s->open = false;
    return 1;
}

std::string FakeScannerLibrary::productName(SourceHandle source, int maxChars)
{
    record(18, {text(static_cast<long long>(source)), text(static_cast<long long>(maxChars))});
    const Source* s = openSourceRecord(source);
    return s != nullptr ? limitCharacters(s->productName, maxChars) : std::string();
}

std::int32_t FakeScannerLibrary::hasFeeder(SourceHandle source)
{
    record(228, {text(static_cast<long long>(source))});
    const Source* s = openSourceRecord(source);
    const FakeDevice* d = s != nullptr ? deviceNamed(s->deviceName) : nullptr;
    return d != nullptr && d->feeder ? 1 : 0;
}

std::int32_t FakeScannerLibrary::canUseFeeder(SourceHandle source)
{
    record(233, {text(static_cast<long long>(source))});
    const Source* s = openSourceRecord(source);
    const FakeDevice* d = s != nullptr ? deviceNamed(s->deviceName) : nullptr;
    return d != nullptr && d->feeder ? 1 : 0;
}

std::int32_t FakeScannerLibrary::canScanBothSides(SourceHandle source)
{
    record(392, {text(static_cast<long long>(source))});
    const Source* s = openSourceRecord(source);
    const FakeDevice* d = s != nullptr ? deviceNamed(s->deviceName) : nullptr;
    return d != nullptr && d->duplex ? 1 : 0;
}

std::int32_t FakeScannerLibrary::isPaperInFeeder(SourceHandle source)
{
    record(227, {text(static_cast<long long>(source))});
    return openSourceRecord(source) != nullptr ? 1 : 0;
}

std::int32_t FakeScannerLibrary::enableFeeder(SourceHandle source, std::int32_t on)
{
    record(225, {text(static_cast<long long>(source)), text(static_cast<long long>(on))});
    Source* s = openSourceRecord(source);
    const FakeDevice* d = s != nullptr ? deviceNamed(s->deviceName) : nullptr;
    if (d == nullptr || (on != 0 && !d->feeder)) {
        return 0;
    }
    s->feederOn = on != 0;
    return 1;
}

std::int32_t FakeScannerLibrary::enableDuplex(SourceHandle source, std::int32_t on)
{
    record(391, {text(static_cast<long long>(source)), text(static_cast<long long>(on))});
    Source* s = openSourceRecord(source);
    const FakeDevice* d = s != nullptr ? deviceNamed(s->deviceName) : nullptr;
    if (d == nullptr || (on != 0 && !d->duplex)) {
        return 0;
    }
    s->duplexOn = on != 0;
    return 1;
}

std::int32_t FakeScannerLibrary::setManualDuplexMode(SourceHandle source, std::int32_t mode, std::int32_t on)
{
    record(
        3202,
        {text(static_cast<long long>(source)),
         text(static_cast<long long>(mode)),
         text(static_cast<long long>(on))});
    return openSourceRecord(source) != nullptr ? 1 : 0;
}

std::int32_t FakeScannerLibrary::sourceSetting3600(SourceHandle source, std::int32_t value)
{
    record(3600, {text(static_cast<long long>(source)), text(static_cast<long long>(value))});
    return openSourceRecord(source) != nullptr ? 1 : 0;
}

std::int32_t FakeScannerLibrary::sourceSetting8400(
    SourceHandle source, double value, std::int32_t limit, std::int32_t flags)
{
    record(
        8400,
        {text(static_cast<long long>(source)),
         text(value),
         text(static_cast<long long>(limit)),
         text(static_cast<long long>(flags))});
    return openSourceRecord(source) != nullptr ? 1 : 0;
}

std::int32_t
FakeScannerLibrary::sourceSetting3200(SourceHandle source, std::int32_t a, std::int32_t b, std::int32_t c)
{
    record(
        3200,
        {text(static_cast<long long>(source)),
         text(static_cast<long long>(a)),
         text(static_cast<long long>(b)),
         text(static_cast<long long>(c))});
    return openSourceRecord(source) != nullptr ? 1 : 0;
}

std::int32_t FakeScannerLibrary::setResolution(SourceHandle source, double dpi)
{
    record(205, {text(static_cast<long long>(source)), text(dpi)});
    Source* s = openSourceRecord(source);
    if (s == nullptr || !(dpi > 0.0)) {
        return 0;
    }
    s->dpi = dpi;
    return 1;
}

std::int32_t FakeScannerLibrary::SetPaperSize(SourceHandle source, const std::string& size)
{
    record(FakePaperSizeCall, {text(static_cast<long long>(source)), size});
    Source* s = openSourceRecord(source);
    if (s == nullptr) {
        return 0;
    }
    s->paperSize = size;
    return 1;
}

FileListHandle FakeScannerLibrary::createFileList(std::int32_t kind, std::int32_t count)
{
    record(60, {text(static_cast<long long>(kind)), text(static_cast<long long>(count))});
    if (count < 0 || count > 10000) {
        return NoHandle;
    }
    const FileListHandle handle = allocateHandle();
    m_lists[handle] = std::vector<std::string>(static_cast<std::size_t>(count));
    return handle;
}

std::int32_t
FakeScannerLibrary::setFileListEntry(FileListHandle list, std::int32_t index, const std::string& entry)
{
    record(3532, {text(static_cast<long long>(list)), text(static_cast<long long>(index)), entry});
    const auto found = m_lists.find(list);
    if (found == m_lists.end() || index < 0 || static_cast<std::size_t>(index) >= found->second.size()) {
        return 0;
    }
    found->second[static_cast<std::size_t>(index)] = entry;
    return 1;
}

std::int32_t FakeScannerLibrary::freeFileList(FileListHandle list)
{
    record(64, {text(static_cast<long long>(list))});
    return m_lists.erase(list) > 0 ? 1 : 0;
}

std::int32_t FakeScannerLibrary::acquireToFiles(
    SourceHandle source,
    FileListHandle list,
    std::int32_t transferKind,
    std::int32_t fileFlags,
    std::int32_t pixelType,
    std::int32_t maxPages,
    std::int32_t showInterface,
    std::int32_t closeAfter,
    std::int32_t* status)
{
    record(
        237,
        {text(static_cast<long long>(source)),
         text(static_cast<long long>(list)),
         text(static_cast<long long>(transferKind)),
         text(static_cast<long long>(fileFlags)),
         text(static_cast<long long>(pixelType)),
         text(static_cast<long long>(maxPages)),
         text(static_cast<long long>(showInterface)),
         text(static_cast<long long>(closeAfter))});
    if (source == NoHandle) {
        return 0;
    }
    auto fail = [&](std::int32_t code, std::string why) {
        m_lastErrorCode = code;
        m_lastErrorText = std::move(why);
        return 0;
    };
    const Source* s = openSourceRecord(source);
    if (s == nullptr) {
        return fail(1, std::string(InterfaceNotStartedPhrase) + ": Der Scanner ist nicht geöffnet.");
    }
    const auto names = m_lists.find(list);
    if (names == m_lists.end() || names->second.empty() || names->second.front().empty()) {
        return fail(4, "Ungültiger Aufruf der Scannerbibliothek.");
    }
    if (passes.empty()) {
        return fail(4, "Kein Durchgang vorbereitet.");
    }
    const FakePass pass = passes.front();
    passes.pop_front();
    const bool bothSides = s->feederOn && s->duplexOn;
    std::vector<FakePage> pages;
    for (const FakeSheet& sheet : pass.sheets) {
        pages.push_back(sheet.front);
        if (bothSides && sheet.back) {
            pages.push_back(*sheet.back);
        }
    }
    const std::size_t limit =
        pass.result == 0 ? static_cast<std::size_t>(std::max(pass.failAfterPages, 0)) : pages.size();
    if (!pass.writeNothing) {
        for (std::size_t i = 0; i < pages.size() && i < limit; ++i) {
            const std::string file = pageFileName(names->second.front(), static_cast<int>(i));
            const auto written = writeBmpPage(file, makeFakePage(pages[i]), depthOf(pages[i].depth));
            if (!written) {
                if (i == 0) {
                    break;
                }
                return fail(
                    3, "Die Seite " + file + " konnte nicht gespeichert werden: " + written.error().message);
            }
            if (m_callback) {
                m_callback(static_cast<std::int32_t>(ScannerNotification::PageAcquired), 0, m_userData);
            }
        }
    }
    if (m_callback) {
        for (const std::int32_t code : pass.notifications) {
            notificationResults.push_back(m_callback(code, 0, m_userData));
        }
    }
    if (pass.result == 0) {
        const bool notReady = pass.errorText.find(InterfaceNotStartedPhrase) != std::string::npos;
        return fail(notReady ? 1 : 2, pass.errorText);
    }
    if (status != nullptr) {
        *status = pass.status;
    }
    return 1;
}

std::int32_t FakeScannerLibrary::lastErrorCode()
{
    record(40, {});
    return m_lastErrorCode;
}

std::string FakeScannerLibrary::errorText(std::int32_t code, int maxChars)
{
    record(12043, {text(static_cast<long long>(code)), text(static_cast<long long>(maxChars))});
    return code == m_lastErrorCode ? limitCharacters(m_lastErrorText, maxChars) : std::string();
}

std::int32_t
FakeScannerLibrary::manualDuplexCounts(SourceHandle source, std::int32_t* firstPass, std::int32_t* secondPass)
{
    record(3203, {text(static_cast<long long>(source))});
    const bool open = openSourceRecord(source) != nullptr;
    if (firstPass != nullptr) {
        *firstPass = open ? manualFirstPassPages : 0;
    }
    if (secondPass != nullptr) {
        *secondPass = open ? manualSecondPassPages : 0;
    }
    return open ? 1 : 0;
}

} // namespace folvex
