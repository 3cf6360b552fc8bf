#include "twain/fake_scanner_library.h"

#include "support/temp_dir.h"

#include <gtest/gtest.h>

namespace folvex {
namespace {

using testing::readFile;
using testing::TempDir;

// A fake with one feeder scanner with duplex, opened by name, and a callback that reads the stamp
// of every page the moment it is reported.
struct FakeSession
{
    FakeScannerLibrary fake;
    TempDir dir;
    SourceHandle source = NoHandle;
    std::vector<int> reported; // stamped ids in callback order

    FakeSession()
    {
        fake.devices = {{"Fujitsu", "fi-7160", "fujitsu:fi-7160:1", true, true, true}};
        fake.initialize();
        fake.setNotificationCallback(
            [this](std::int32_t code, std::int32_t, std::int64_t) {
                EXPECT_EQ(code, 1010);
                const auto page =
                    decodeBmp(readFile(pageFileName(base(), static_cast<int>(reported.size()))));
                reported.push_back(page ? readStampedPageId(page.value()).value_or(-1) : -2);
                return 1;
            },
            0,
            0);
        source = fake.selectSourceByName("Fujitsu fi-7160");
        EXPECT_NE(source, NoHandle);
    }

    std::string base() const { return dir.file("tmpimg.bmp"); }

    std::int32_t acquire(std::int32_t* status, int pixelType = 2)
    {
        const FileListHandle list = fake.createFileList(6, 1);
        fake.setFileListEntry(list, 0, base());
        const std::int32_t result =
            fake.acquireToFiles(source, list, 100, 0x241, pixelType, -1, 1, 0, status);
        fake.freeFileList(list);
        return result;
    }

    int filesWritten() const
    {
        int count = 0;
        while (std::filesystem::exists(pageFileName(base(), count))) {
            ++count;
        }
        return count;
    }
};

TEST(FakeScannerLibraryTest, PagesArriveInOrderWithTheirScriptedFormat)
{
    FakeSession session;
    FakePage like;
    like.depth = 8;
    like.dpi = 300.0;
    session.fake.passes.push_back(FakePass::pages({7, 3, 12}, like));
    std::int32_t status = 0;
    EXPECT_EQ(session.acquire(&status), 1);
    EXPECT_EQ(status, 1000);
    EXPECT_EQ(session.reported, (std::vector<int>{7, 3, 12}));
    EXPECT_EQ(session.filesWritten(), 3);
    const std::string bytes = readFile(pageFileName(session.base(), 0));
    EXPECT_EQ(static_cast<unsigned char>(bytes[28]), 8);
    const auto page = decodeBmp(bytes);
    ASSERT_TRUE(page.hasValue());
    EXPECT_EQ(page->width, 80);
    EXPECT_EQ(page->height, 100);
    EXPECT_NEAR(page->dpi, 300.0, 0.05);
}

TEST(FakeScannerLibraryTest, PageContentsTellBlankFromStamped)
{
    struct Row
    {
        FakeContent content;
        std::uint8_t lowest;
        bool stamped;
    };

    const Row rows[] = {
        {FakeContent::White, 255, false},
        {FakeContent::NearWhiteNoise, 245, false},
        {FakeContent::StampedId, 0, true},
    };
    for (const Row& row : rows) {
        FakePage pageSpec;
        pageSpec.id = 0xBEEF;
        pageSpec.content = row.content;
        const PageImage page = makeFakePage(pageSpec);
        EXPECT_EQ(*std::min_element(page.samples.begin(), page.samples.end()), row.lowest);
        EXPECT_EQ(readStampedPageId(page).has_value(), row.stamped);
    }
    FakePage noisy;
    noisy.content = FakeContent::NearWhiteNoise;
    const PageImage noise = makeFakePage(noisy);
    EXPECT_NE(
        std::count(noise.samples.begin(), noise.samples.end(), 255), static_cast<long>(noise.samples.size()));
    EXPECT_EQ(readStampedPageId(makeFakePage({0xBEEF, 80, 100, 1, 100.0, FakeContent::StampedId})), 0xBEEF);
}

TEST(FakeScannerLibraryTest, OutcomesOfScriptedPasses)
{
    struct Row
    {
        const char* label;
        FakePass pass;
        std::int32_t result;
        std::int32_t status;
        int files;
        bool phrase;
    };

    FakePass cancelled = FakePass::pages({1, 2});
    cancelled.status = 1002;
    FakePass odd = FakePass::pages({1});
    odd.status = 1234;
    FakePass nothing = FakePass::pages({1, 2});
    nothing.writeNothing = true;
    const Row rows[] = {
        {"time-out", FakePass::failing(0, "TWAIN user interface could not be started"), 0, 0, 0, true},
        {"two pages then jammed", FakePass::failing(2, "Papierstau"), 0, 0, 2, false},
        {"cancelled after two pages", cancelled, 1, 1002, 2, false},
        {"empty feeder", FakePass::emptyFeeder(), 1, 1001, 0, false},
        {"unknown status", odd, 1, 1234, 1, false},
        {"done without a file", nothing, 1, 1000, 0, false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.label);
        FakeSession session;
        session.fake.passes.push_back(row.pass);
        std::int32_t status = 0;
        EXPECT_EQ(session.acquire(&status), row.result);
        EXPECT_EQ(session.filesWritten(), row.files);
        EXPECT_EQ(static_cast<int>(session.reported.size()), row.files);
        if (row.result == 1) {
            EXPECT_EQ(status, row.status);
            continue;
        }
        const std::string text = session.fake.errorText(session.fake.lastErrorCode(), 5000);
        EXPECT_EQ(text.find("TWAIN user interface could not be started") != std::string::npos, row.phrase)
            << text;
    }
}

TEST(FakeScannerLibraryTest, BothSidesAlternateOnlyWhileDuplexIsOn)
{
    FakeSession session;
    session.fake.passes.push_back(FakePass::duplexSheets(3));
    session.fake.passes.push_back(FakePass::duplexSheets(2));
    EXPECT_EQ(session.fake.enableFeeder(session.source, 1), 1);
    EXPECT_EQ(session.fake.enableDuplex(session.source, 1), 1);
    std::int32_t status = 0;
    EXPECT_EQ(session.acquire(&status), 1);
    EXPECT_EQ(session.reported, (std::vector<int>{1, 101, 2, 102, 3, 103}));

    session.reported.clear();
    EXPECT_EQ(session.fake.enableDuplex(session.source, 0), 1);
    EXPECT_EQ(session.acquire(&status), 1);
    EXPECT_EQ(session.reported, (std::vector<int>{1, 2}));
}

TEST(FakeScannerLibraryTest, FindsAMovedDeviceAndReopensClosedSources)
{
    FakeScannerLibrary fake;
    fake.devices = {
        {"Canon", "LiDE 25", "plustek:libusb:001:004"}, {"Canon", "LiDE 25", "plustek:libusb:001:005"}};
    fake.initialize();
    const std::string stored = "Canon LiDE 25 (plustek:libusb:001:004)";
    const SourceHandle first = fake.selectSourceByName(stored);
    ASSERT_NE(first, NoHandle);
    EXPECT_EQ(fake.productName(first, 5000), stored);

    // Closed and the device re-plugged elsewhere (its twin is gone): reopening the old handle fails,
    // selecting by the stored name finds it under its new device name.
    EXPECT_EQ(fake.closeSource(first), 1);
    fake.devices = {{"Canon", "LiDE 25", "plustek:libusb:002:007"}};
    EXPECT_EQ(fake.openSource(first), 0);
    const SourceHandle again = fake.selectSourceByName(stored);
    ASSERT_NE(again, NoHandle);
    EXPECT_NE(again, first);
    EXPECT_EQ(fake.productName(again, 5000), "Canon LiDE 25");

    // A closed source whose device is still there reopens under the same handle.
    EXPECT_EQ(fake.closeSource(again), 1);
    EXPECT_EQ(fake.hasFeeder(again), 0);
    EXPECT_EQ(fake.productName(again, 5000), "");
    EXPECT_EQ(fake.openSource(again), 1);
    EXPECT_EQ(fake.openSource(again), 1);
    EXPECT_EQ(fake.productName(again, 5000), "Canon LiDE 25");

    fake.devices[0].opens = false;
    EXPECT_EQ(fake.selectSourceByName("Canon LiDE 25"), NoHandle);
    fake.dialogChoice = "Canon LiDE 25";
    const SourceHandle chosen = fake.selectSourceWithDialog();
    EXPECT_NE(chosen, NoHandle) << "the dialog gives the source back even when it does not open";
    EXPECT_EQ(fake.openSource(chosen), 0);
}

TEST(FakeScannerLibraryTest, CallsWithSourceZeroAreHarmlessAndTraced)
{
    FakeScannerLibrary fake;
    fake.devices = {{"Fujitsu", "fi-7160", "fujitsu:1", true, true, true}};
    fake.initialize();
    std::int32_t status = 4711;
    std::int32_t first = -1;
    std::int32_t second = -1;
    EXPECT_EQ(fake.acquireToFiles(0, 0, 100, 0x241, 2, -1, 1, 0, &status), 0);
    EXPECT_EQ(status, 4711);
    EXPECT_EQ(fake.openSource(0), 0);
    EXPECT_EQ(fake.closeSource(0), 0);
    EXPECT_EQ(fake.productName(0, 5000), "");
    EXPECT_EQ(fake.hasFeeder(0), 0);
    EXPECT_EQ(fake.canUseFeeder(0), 0);
    EXPECT_EQ(fake.canScanBothSides(0), 0);
    EXPECT_EQ(fake.enableFeeder(0, 1), 0);
    EXPECT_EQ(fake.enableDuplex(0, 1), 0);
    EXPECT_EQ(fake.setResolution(0, 300.0), 0);
    EXPECT_EQ(fake.SetPaperSize(0, "DIN A4"), 0);
    EXPECT_EQ(fake.manualDuplexCounts(0, &first, &second), 0);
    EXPECT_EQ(first, 0);
    EXPECT_EQ(second, 0);
    EXPECT_TRUE(fake.passes.empty());

    const SourceHandle source = fake.selectSourceByName("Fujitsu fi-7160");
    fake.setResolution(source, 300.0);
    fake.sourceSetting8400(source, 98.5, 65535, 0);
    fake.SetPaperSize(source, "DIN A4");
    const std::string id = std::to_string(source);
    EXPECT_EQ(fake.callsOf(205).size(), 2u);
    EXPECT_EQ(fake.callsOf(205).back().args, (std::vector<std::string>{id, "300"}));
    EXPECT_EQ(fake.callsOf(8400).back().args, (std::vector<std::string>{id, "98.5", "65535", "0"}));
    EXPECT_EQ(fake.callsOf(FakePaperSizeCall).back().args, (std::vector<std::string>{id, "DIN A4"}));
    EXPECT_EQ(fake.resolution(source), 300.0);
    EXPECT_EQ(fake.paperSize(source), "DIN A4");
    EXPECT_EQ(fake.trace.front().number, 2);
}

TEST(FakeScannerLibraryTest, ManualDuplexNotificationsCountsAndChosenFailingOpens)
{
    FakeSession session;
    std::vector<std::int32_t> codes;
    session.fake.setNotificationCallback(
        [&codes](std::int32_t code, std::int32_t, std::int64_t userData) {
            EXPECT_EQ(userData, 7);
            codes.push_back(code);
            return code == 1043 ? 3 : 1;
        },
        7,
        0);
    FakePass first = FakePass::pages({1, 2, 3});
    first.notifications = {1041};
    FakePass second = FakePass::pages({4, 5});
    second.notifications = {1043};
    session.fake.passes = {first, second};
    std::int32_t status = 0;
    ASSERT_EQ(session.acquire(&status), 1);
    ASSERT_EQ(session.acquire(&status), 1);
    // The notifications follow the pass's pages; their results are kept in order.
    EXPECT_EQ(codes, (std::vector<std::int32_t>{1010, 1010, 1010, 1041, 1010, 1010, 1043}));
    EXPECT_EQ(session.fake.notificationResults, (std::vector<std::int32_t>{1, 3}));

    session.fake.manualFirstPassPages = 3;
    session.fake.manualSecondPassPages = 2;
    std::int32_t front = -1;
    std::int32_t back = -1;
    EXPECT_EQ(session.fake.manualDuplexCounts(session.source, &front, &back), 1);
    EXPECT_EQ(front, 3);
    EXPECT_EQ(back, 2);

    // Only the chosen call of 31 fails (the first one was made by nobody yet: this is call 1).
    session.fake.failingOpenCalls = {2};
    EXPECT_EQ(session.fake.openSource(session.source), 1);
    EXPECT_EQ(session.fake.closeSource(session.source), 1);
    EXPECT_EQ(session.fake.openSource(session.source), 0);
    EXPECT_FALSE(session.fake.isOpen(session.source));
    EXPECT_EQ(session.fake.manualDuplexCounts(session.source, &front, &back), 0);
    EXPECT_EQ(front, 0);
    EXPECT_EQ(session.fake.openSource(session.source), 1);
}

} // namespace
} // namespace folvex
