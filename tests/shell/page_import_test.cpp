#include "shell/page_import.h"

#include "foundation/note.h"
#include "runtime/image_limits.h"
#include "runtime/process_runner.h"
#include "shell/import_checks.h"
#include "support/fakes.h"
#include "support/image_fixtures.h"
#include "support/temp_dir.h"

#include <FreeImage.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <set>
#include <string>
#include <vector>

namespace folvex {
namespace {

using testing::realFunctions;
using testing::TempDir;
using testing::writeFile;

namespace fs = std::filesystem;

// What a page file holds.
struct PageFile
{
    unsigned width = 0;
    unsigned height = 0;
    unsigned bpp = 0;
    unsigned dpmX = 0;
    unsigned dpmY = 0;
    std::string rgb; // rows from the top
};

PageFile readPage(const std::string& path)
{
    PageFile page;
    testing::ImagePtr image(FreeImage_Load(FIF_BMP, path.c_str(), 0));
    if (!image) {
        ADD_FAILURE() << "page file not readable: " << path;
        return page;
    }
    page.width = FreeImage_GetWidth(image.get());
    page.height = FreeImage_GetHeight(image.get());
    page.bpp = FreeImage_GetBPP(image.get());
    page.dpmX = FreeImage_GetDotsPerMeterX(image.get());
    page.dpmY = FreeImage_GetDotsPerMeterY(image.get());
    for (unsigned y = 0; y < page.height; ++y) {
        for (unsigned x = 0; x < page.width; ++x) {
            const std::uint32_t colour = testing::libraryColourAt(image.get(), x, y);
            page.rgb +=
                {static_cast<char>(colour >> 16), static_cast<char>(colour >> 8), static_cast<char>(colour)};
        }
    }
    return page;
}

class RecordingWaitView final : public PageImportWaitView
{
public:
    void openWaitWindow(const std::string& text) override { calls.push_back("open " + text); }

    void closeWaitWindow() override { calls.push_back("close"); }

    std::vector<std::string> calls;
};

// Save that fails on its second call, for a copy of the function table.
int saveCalls = 0;

BOOL DLL_CALLCONV failingSecondSave(FREE_IMAGE_FORMAT format, FIBITMAP* image, const char* path, int flags)
{
    return ++saveCalls == 2 ? FALSE : FreeImage_Save(format, image, path, flags);
}

// A little-endian TIFF of 8-bit grey pages whose headers say width × height and whose strips hold
// the given bytes, each page one strip.
struct TiffPage
{
    std::uint32_t width;
    std::uint32_t height;
    std::string pixels;
};

std::string tiffFile(const std::vector<TiffPage>& pages)
{
    const auto put = [](std::string& bytes, std::uint64_t value, int size) {
        for (int i = 0; i < size; ++i) {
            bytes += static_cast<char>((value >> (8 * i)) & 0xFF);
        }
    };
    std::string bytes = "II*";
    bytes += '\0';
    put(bytes, 8, 4);
    for (std::size_t p = 0; p < pages.size(); ++p) {
        const TiffPage& page = pages[p];
        constexpr int Entries = 9;
        const std::uint64_t dataAt = bytes.size() + 2 + Entries * 12 + 4;
        const std::uint64_t next = p + 1 < pages.size() ? dataAt + page.pixels.size() : 0;
        put(bytes, Entries, 2);

        const struct
        {
            std::uint16_t tag;
            std::uint16_t type; // 3 SHORT, 4 LONG
            std::uint32_t value;
        } entries[Entries] = {
            {256, 4, page.width},
            {257, 4, page.height},
            {258, 3, 8},
            {259, 3, 1},
            {262, 3, 1},
            {273, 4, static_cast<std::uint32_t>(dataAt)},
            {277, 3, 1},
            {278, 4, page.height},
            {279, 4, static_cast<std::uint32_t>(page.pixels.size())},
        };

        for (const auto& entry : entries) {
            put(bytes, entry.tag, 2);
            put(bytes, entry.type, 2);
            put(bytes, 1, 4);
            put(bytes, entry.value, 4);
        }
        put(bytes, next, 4);
        bytes += page.pixels;
    }
    return bytes;
}

// A BMP header claiming a 24-bit picture of width × height, followed by a few bytes of pixels.
std::string bmpClaiming(std::uint32_t width, std::uint32_t height)
{
    std::string bytes = "BM";
    const auto put = [&bytes](std::uint32_t value, int size) {
        for (int i = 0; i < size; ++i) {
            bytes += static_cast<char>((value >> (8 * i)) & 0xFF);
        }
    };
    put(118, 4);
    put(0, 4);
    put(54, 4);
    put(40, 4);
    put(width, 4);
    put(height, 4);
    put(1, 2);
    put(24, 2);
    put(0, 4);
    put(0, 4);
    put(2835, 4);
    put(2835, 4);
    put(0, 4);
    put(0, 4);
    return bytes + std::string(64, '\x40');
}

// A GIF whose screen and first picture claim width × height, with a one-byte picture.
std::string gifClaiming(std::uint16_t width, std::uint16_t height)
{
    std::string bytes = "GIF89a";
    const auto put16 = [&bytes](std::uint16_t value) {
        bytes += static_cast<char>(value & 0xFF);
        bytes += static_cast<char>(value >> 8);
    };
    put16(width);
    put16(height);
    bytes += std::string("\x80\0\0", 3) + std::string("\0\0\0\xFF\xFF\xFF", 6); // two colours
    bytes += std::string("\x21\xF9\x04\0\0\0\0\0", 8);                          // an extension first
    bytes += '\x2C';
    put16(0);
    put16(0);
    put16(width);
    put16(height);
    bytes += std::string("\0\x02\x02\x44\x01\0\x3B", 7);
    return bytes;
}

// A JPEG made by the library whose frame header is changed to claim width × height.
std::string jpegClaiming(const std::string& jpeg, std::uint16_t width, std::uint16_t height)
{
    std::string bytes = jpeg;
    const std::size_t frame = bytes.find("\xFF\xC0");
    if (frame == std::string::npos) {
        ADD_FAILURE() << "no baseline frame header";
        return bytes;
    }
    bytes[frame + 5] = static_cast<char>(height >> 8);
    bytes[frame + 6] = static_cast<char>(height & 0xFF);
    bytes[frame + 7] = static_cast<char>(width >> 8);
    bytes[frame + 8] = static_cast<char>(width & 0xFF);
    return bytes;
}

// A function table on the real library that decodes no pixels: it records which files and which
// multi-page TIFF pages it was asked to decode and gives nothing for them, while headers read without
// pixels come from the library.
struct NoDecodingLibrary
{
    static inline std::vector<std::string> decodedFiles;
    static inline std::vector<int> decodedPages;
    static inline std::set<FIMULTIBITMAP*> pixelFiles;

    static FIBITMAP* DLL_CALLCONV load(FREE_IMAGE_FORMAT format, const char* path, int flags)
    {
        if ((flags & FIF_LOAD_NOPIXELS) != 0) {
            return FreeImage_Load(format, path, flags);
        }
        decodedFiles.emplace_back(path);
        return nullptr;
    }

    static FIMULTIBITMAP* DLL_CALLCONV
    open(FREE_IMAGE_FORMAT format, const char* path, BOOL create, BOOL readOnly, BOOL keepInMemory, int flags)
    {
        FIMULTIBITMAP* multi = FreeImage_OpenMultiBitmap(format, path, create, readOnly, keepInMemory, flags);
        if ((flags & FIF_LOAD_NOPIXELS) == 0) {
            pixelFiles.insert(multi);
        }
        return multi;
    }

    // Pages of multi-page files that claim gigabytes: never decoded here.
    static inline std::set<int> hugePages;

    static FIBITMAP* DLL_CALLCONV lockPage(FIMULTIBITMAP* multi, int page)
    {
        if (pixelFiles.count(multi) == 0) {
            return FreeImage_LockPage(multi, page);
        }
        decodedPages.push_back(page);
        return hugePages.count(page) != 0 ? nullptr : FreeImage_LockPage(multi, page);
    }

    static FreeImageFunctionTable table(std::set<int> huge = {})
    {
        hugePages = std::move(huge);
        decodedFiles.clear();
        decodedPages.clear();
        pixelFiles.clear();
        FreeImageFunctionTable functions = realFunctions();
        functions.Load = load;
        functions.OpenMultiBitmap = open;
        functions.LockPage = lockPage;
        return functions;
    }
};

// The importers on the real image library with a real temporary folder; the scan job is a recorder of
// the page files it finds, the clean-up deletes the page files as the job's would.
class PageImportTest : public ::testing::Test
{
protected:
    PageImportTest()
    {
        realFunctions().SetOutputMessage(FreeImageErrorHandler);
        settings.TmpPath = root.file("tmp");
        fs::create_directory(settings.TmpPath);
        entryPoints.DeleteOldTempFiles = [this](std::int32_t mode) {
            deleteModes.push_back(mode);
            std::error_code error;
            for (const auto& entry : fs::directory_iterator(settings.TmpPath, error)) {
                if (entry.path().filename().string().starts_with("TmpReadyImg")) {
                    fs::remove(entry.path());
                }
            }
        };
        entryPoints.ScanAndSave = [this](std::uint8_t existing) {
            EXPECT_EQ(existing, 1);
            int pages = 0;
            while (fs::exists(pageFilePath(settings.TmpPath, pages + 1))) {
                ++pages;
            }
            jobPages.push_back(pages);
            return 0;
        };
        for (int i = 0; i < 8; ++i) {
            fakes.messages.queueAnswer(MessageAnswer::Ok);
        }
    }

    PageImportContext context() { return {settings, entryPoints, *functions, waitView}; }

    void importImages(const std::vector<std::string>& paths)
    {
        fakes.files.queueAnswer(paths);
        PageImportContext c = context();
        ImportImageFiles(c);
    }

    void importTiff(const std::string& path)
    {
        fakes.files.queueAnswer(path);
        PageImportContext c = context();
        ImportMultipageTiff(c);
    }

    void importPdf(const std::string& path)
    {
        fakes.files.queueAnswer(path);
        PageImportContext c = context();
        ImportPdfViaGhostscript(c);
    }

    std::vector<std::string> notes() const
    {
        std::vector<std::string> texts;
        for (const testing::RecordedMessage& shown : fakes.messages.shown) {
            texts.push_back(shown.text);
        }
        return texts;
    }

    std::string page(int k) const { return pageFilePath(settings.TmpPath, k); }

    // A file of the image made with the library.
    std::string
    saveImage(const std::string& name, FREE_IMAGE_FORMAT format, unsigned bpp, std::string* rgb = nullptr)
    {
        std::string pixels;
        testing::ImagePtr image(testing::makeLibraryImage(7, 5, bpp, pixels));
        testing::saveLibraryImage(image.get(), format, root.file(name));
        if (rgb != nullptr) {
            *rgb = pixels;
        }
        return root.file(name);
    }

    TempDir root;
    testing::ScopedFakeEffects fakes;
    Settings settings;
    ShellEntryPoints entryPoints;
    const FreeImageFunctionTable* functions = &realFunctions();
    RecordingWaitView waitView;
    std::vector<std::int32_t> deleteModes;
    std::vector<int> jobPages;
};

std::string notOpened(const std::string& path)
{
    return path + NotOpenedSuffix;
}

TEST_F(PageImportTest, ImageFilesThatLoadBecomePagesWithoutGaps)
{
    std::string aRgb;
    std::string cRgb;
    const std::string a = saveImage("a.png", FIF_PNG, 24, &aRgb);
    const std::string broken = root.file("broken.jpg");
    writeFile(broken, std::string("\xFF\xD8\xFF\xDB\x00\x43", 6) + std::string(200, '\x11'));
    const std::string c = saveImage("c.gif", FIF_GIF, 8, &cRgb);
    writeFile(page(3), "left over from the previous job");

    importImages({a, broken, c});

    ASSERT_EQ(fakes.files.dialogs.size(), 1U);
    const FileRequest& request = fakes.files.dialogs[0].request;
    EXPECT_EQ(request.title, ImportImagesTitle);
    EXPECT_EQ(request.patterns, ImportImagesPatterns);
    EXPECT_TRUE(request.multiple);
    EXPECT_EQ(deleteModes, std::vector<std::int32_t>{3});
    EXPECT_EQ(readPage(page(1)).rgb, aRgb);
    EXPECT_EQ(readPage(page(2)).rgb, cRgb);
    EXPECT_FALSE(fs::exists(page(3)));
    const std::vector<std::string> shown = notes();
    ASSERT_EQ(shown.size(), 1U);
    EXPECT_TRUE(shown[0].starts_with(notOpened(broken))) << shown[0];
    EXPECT_NE(shown[0].find("FreeImage-Fehler"), std::string::npos) << "the library's message is missing";
    EXPECT_GT(shown[0].size(), notOpened(broken).size() + 25);
    EXPECT_EQ(jobPages, std::vector<int>{2});
}

TEST_F(PageImportTest, ExtensionsChooseTheFormatWhateverTheirCase)
{
    const std::string jpeg = saveImage("x-source.jpg", FIF_JPEG, 24);
    fs::rename(jpeg, root.file("x.Jpeg"));
    const std::string targa = saveImage("y.TaRgA", FIF_TARGA, 32);
    const std::string text = root.file("notes.txt");
    writeFile(text, "not an image");

    importImages({root.file("x.Jpeg"), text, targa});

    EXPECT_EQ(readPage(page(1)).bpp, 24U);
    EXPECT_EQ(readPage(page(2)).bpp, 32U);
    EXPECT_EQ(notes(), std::vector<std::string>{notOpened(text)});
    EXPECT_EQ(jobPages, std::vector<int>{2});
}

TEST_F(PageImportTest, CancelledOrNothingLoadedStartsNoJob)
{
    writeFile(page(1), "old page");
    importImages({});
    EXPECT_TRUE(deleteModes.empty());
    EXPECT_TRUE(fs::exists(page(1)));

    const std::string text = root.file("notes.txt");
    writeFile(text, "not an image");
    importImages({text, root.file("missing.png")});
    EXPECT_EQ(notes().size(), 2U);
    EXPECT_EQ(deleteModes, std::vector<std::int32_t>{3});
    EXPECT_TRUE(jobPages.empty());
}

// A 48-bit RGB image with 16-bit samples v * 257, whose 8-bit view is v.
std::string saveRgb16Tiff(const std::string& path, std::string& rgb)
{
    testing::ImagePtr image(FreeImage_AllocateT(FIT_RGB16, 6, 4, 48));
    rgb.clear();
    for (unsigned y = 0; y < 4; ++y) {
        auto* row = reinterpret_cast<FIRGB16*>(FreeImage_GetScanLine(image.get(), static_cast<int>(3 - y)));
        for (unsigned x = 0; x < 6; ++x) {
            const unsigned r = (x * 40 + y) % 256;
            const unsigned g = (y * 60 + 7) % 256;
            const unsigned b = (x * y * 30) % 256;
            row[x] = {static_cast<WORD>(r * 257), static_cast<WORD>(g * 257), static_cast<WORD>(b * 257)};
            rgb += {static_cast<char>(r), static_cast<char>(g), static_cast<char>(b)};
        }
    }
    testing::saveLibraryImage(image.get(), FIF_TIFF, path);
    return path;
}

// A 16-bit 565 BMP with pure colours, which every expansion to 8 bits maps to 0 or 255.
std::string save565Bmp(const std::string& path, std::string& rgb)
{
    testing::ImagePtr image(
        FreeImage_Allocate(5, 3, 16, FI16_565_RED_MASK, FI16_565_GREEN_MASK, FI16_565_BLUE_MASK));
    const WORD colours[] = {0x0000, 0xF800, 0x07E0, 0x001F, 0xFFFF};
    const char* shown[] = {"\x00\x00\x00", "\xFF\x00\x00", "\x00\xFF\x00", "\x00\x00\xFF", "\xFF\xFF\xFF"};
    rgb.clear();
    for (unsigned y = 0; y < 3; ++y) {
        auto* row = reinterpret_cast<WORD*>(FreeImage_GetScanLine(image.get(), static_cast<int>(2 - y)));
        for (unsigned x = 0; x < 5; ++x) {
            const unsigned i = (x + y) % 5;
            row[x] = colours[i];
            rgb.append(shown[i], 3);
        }
    }
    testing::saveLibraryImage(image.get(), FIF_BMP, path);
    return path;
}

TEST_F(PageImportTest, PageFilesAreStandardBitmaps)
{
    struct Case
    {
        std::string label;
        std::string path;
        std::string rgb;
        unsigned bpp;
        unsigned dpm; // 0: not checked
    };

    std::vector<Case> cases;
    for (const unsigned bpp : {1U, 4U, 8U, 24U, 32U}) {
        std::string rgb;
        testing::ImagePtr image(testing::makeLibraryImage(9, 4, bpp, rgb));
        FreeImage_SetDotsPerMeterX(image.get(), 3937 + bpp);
        FreeImage_SetDotsPerMeterY(image.get(), 2000 + bpp);
        const std::string path = root.file("depth" + std::to_string(bpp) + ".bmp");
        testing::saveLibraryImage(image.get(), FIF_BMP, path);
        cases.push_back({std::to_string(bpp) + " bits", path, rgb, bpp, 3937 + bpp});
    }
    const testing::TestImage grey = testing::makePng(6, 5, 0, 16, false);
    writeFile(root.file("grey16.png"), grey.bytes);
    cases.push_back({"16-bit grey", root.file("grey16.png"), grey.rgb, 8, 0});
    std::string rgb48;
    cases.push_back({"48-bit RGB", saveRgb16Tiff(root.file("rgb48.tif"), rgb48), rgb48, 24, 0});
    std::string rgb565;
    cases.push_back({"565", save565Bmp(root.file("c565.bmp"), rgb565), rgb565, 24, 0});

    std::vector<std::string> paths;
    for (const Case& c : cases) {
        paths.push_back(c.path);
    }
    importImages(paths);

    EXPECT_TRUE(notes().empty());
    for (std::size_t i = 0; i < cases.size(); ++i) {
        const Case& c = cases[i];
        SCOPED_TRACE(c.label);
        const PageFile written = readPage(page(static_cast<int>(i + 1)));
        EXPECT_EQ(written.bpp, c.bpp);
        EXPECT_EQ(written.rgb, c.rgb);
        if (c.dpm != 0) {
            EXPECT_EQ(written.dpmX, c.dpm);
            EXPECT_EQ(written.dpmY, c.dpm - 3937 + 2000);
        }
    }
}

TEST_F(PageImportTest, FailedSaveStopsAndHandsOverThePagesMadeBefore)
{
    FreeImageFunctionTable failing = realFunctions();
    failing.Save = failingSecondSave;
    functions = &failing;
    saveCalls = 0;
    const std::string a = saveImage("a.bmp", FIF_BMP, 8);
    const std::string b = saveImage("b.bmp", FIF_BMP, 8);
    const std::string c = saveImage("c.bmp", FIF_BMP, 8);

    importImages({a, b, c});

    EXPECT_EQ(notes(), std::vector<std::string>{pageNotWrittenNote(b, settings.TmpPath)});
    EXPECT_EQ(saveCalls, 2) << "the import must stop at the failed page";
    EXPECT_EQ(jobPages, std::vector<int>{1});
    EXPECT_FALSE(fs::exists(page(2)));
}

TEST_F(PageImportTest, TemporaryFolderThatIsAFileGivesTheNoteAndNoJob)
{
    settings.TmpPath = root.file("plain-file");
    writeFile(settings.TmpPath, "x");
    const std::string a = saveImage("a.bmp", FIF_BMP, 24);
    importImages({a});
    EXPECT_EQ(notes(), std::vector<std::string>{pageNotWrittenNote(a, settings.TmpPath)});
    EXPECT_TRUE(jobPages.empty());
}

TEST_F(PageImportTest, MultipageTiffPagesBecomePageFiles)
{
    const fs::path folder = root.path() / "Mehrseitige Dokumente ä";
    fs::create_directory(folder);
    const std::string path = (folder / "Scan ä.tif").string();

    struct PageShape
    {
        unsigned width;
        unsigned height;
        unsigned bpp;
    };

    const PageShape shapes[] = {{31, 17, 1}, {12, 9, 8}, {20, 11, 24}};
    {
        FIMULTIBITMAP* multi = FreeImage_OpenMultiBitmap(FIF_TIFF, path.c_str(), TRUE, FALSE, FALSE, 0);
        ASSERT_NE(multi, nullptr);
        for (const PageShape& shape : shapes) {
            std::string rgb;
            testing::ImagePtr image(testing::makeLibraryImage(shape.width, shape.height, shape.bpp, rgb));
            FreeImage_AppendPage(multi, image.get());
        }
        ASSERT_TRUE(FreeImage_CloseMultiBitmap(multi, 0));
    }
    writeFile(page(4), "left over from the previous job");

    importTiff(path);

    ASSERT_EQ(fakes.files.dialogs.size(), 1U);
    EXPECT_EQ(fakes.files.dialogs[0].request.title, ImportTiffTitle);
    EXPECT_EQ(fakes.files.dialogs[0].request.patterns, ImportTiffPatterns);
    EXPECT_TRUE(notes().empty());
    for (int i = 0; i < 3; ++i) {
        SCOPED_TRACE(i);
        const PageFile written = readPage(page(i + 1));
        EXPECT_EQ(written.width, shapes[i].width);
        EXPECT_EQ(written.height, shapes[i].height);
        EXPECT_EQ(written.bpp, shapes[i].bpp);
    }
    EXPECT_EQ(jobPages, std::vector<int>{3});
}

TEST_F(PageImportTest, FileThatIsNoTiffKeepsTheOldPages)
{
    writeFile(page(1), "old page");
    const std::string path = saveImage("not-a-tiff.tif", FIF_BMP, 24);

    importTiff(path);

    ASSERT_EQ(notes().size(), 1U);
    EXPECT_TRUE(notes()[0].starts_with(notOpened(path)));
    EXPECT_TRUE(deleteModes.empty());
    EXPECT_EQ(testing::readFile(page(1)), "old page");
    EXPECT_TRUE(jobPages.empty());
}

// Headers claiming pictures of gigabytes, in files of a few hundred bytes: refused with a note before
// a pixel is decoded.
TEST_F(PageImportTest, PicturesTooLargeForMemoryAreRefusedBeforeDecoding)
{
    struct Case
    {
        std::string name;
        std::string bytes;
        std::uint64_t width;
        std::uint64_t height;
    };

    std::string rgb;
    testing::ImagePtr small(testing::makeLibraryImage(16, 16, 24, rgb));
    testing::saveLibraryImage(small.get(), FIF_JPEG, root.file("small.jpg"));
    const Case cases[] = {
        {"riesig.bmp", bmpClaiming(60000, 60000), 60000, 60000},
        {"riesig.jpg", jpegClaiming(testing::readFile(root.file("small.jpg")), 65500, 65500), 65500, 65500},
        {"riesig.tif", tiffFile({{100000, 100000, std::string(10, '\x7F')}}), 100000, 100000},
        {"riesig.gif", gifClaiming(65535, 65535), 65535, 65535},
    };
    FreeImageFunctionTable noDecoding = NoDecodingLibrary::table();
    functions = &noDecoding;
    std::vector<std::string> paths;
    std::vector<std::string> expected;
    for (const Case& c : cases) {
        writeFile(root.file(c.name), c.bytes);
        paths.push_back(root.file(c.name));
        expected.push_back(tooLargeNote(root.file(c.name), 0, c.width, c.height));
    }

    importImages(paths);

    EXPECT_EQ(notes(), expected);
    EXPECT_TRUE(NoDecodingLibrary::decodedFiles.empty()) << NoDecodingLibrary::decodedFiles.front();
    EXPECT_FALSE(fs::exists(page(1)));
    EXPECT_TRUE(jobPages.empty());
}

TEST_F(PageImportTest, MultipageTiffSkipsPagesTooLargeForMemory)
{
    const std::string path = root.file("gemischt.tif");
    writeFile(
        path,
        tiffFile(
            {{4, 3, std::string(12, '\x20')},
             {100000, 100000, std::string(10, '\x7F')},
             {5, 2, std::string(10, '\xE0')}}));
    FreeImageFunctionTable noDecoding = NoDecodingLibrary::table({1});
    functions = &noDecoding;

    importTiff(path);

    EXPECT_EQ(notes(), std::vector<std::string>{tooLargeNote(path, 2, 100000, 100000)});
    EXPECT_EQ(NoDecodingLibrary::decodedPages, (std::vector<int>{0, 2}));
    EXPECT_EQ(readPage(page(1)).width, 4U);
    EXPECT_EQ(readPage(page(2)).width, 5U);
    EXPECT_EQ(jobPages, std::vector<int>{2});
}

TEST(DecodedImageBytes, RowsArePaddedAndNothingWraps)
{
    struct Case
    {
        std::uint64_t width;
        std::uint64_t height;
        std::uint64_t bpp;
        std::optional<std::uint64_t> bytes;
    };

    const Case cases[] = {
        {1, 1, 1, 4},
        {7, 5, 24, 24 * 5},
        {100000, 100000, 8, 10'000'000'000ULL},
        {std::uint64_t{1} << 40, std::uint64_t{1} << 40, 32, std::nullopt},
        {~std::uint64_t{0}, 1, 1, std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.width);
        EXPECT_EQ(decodedImageBytes(c.width, c.height, c.bpp), c.bytes);
    }
    // An A3 page scanned at 1200 dpi in colour is taken.
    EXPECT_LE(decodedImageBytes(14031, 19843, 24).value(), MaxDecodedImageBytes);
}

// Damage the library passes over in silence or only with a message: the readable part becomes the page
// and the file is named.
TEST_F(PageImportTest, DamagedFilesBecomePagesWithANoteNamingThem)
{
    std::string rgb;
    testing::ImagePtr picture(testing::makeLibraryImage(64, 48, 24, rgb));
    const auto cut = [this, &picture](const std::string& name, FREE_IMAGE_FORMAT format) {
        testing::saveLibraryImage(picture.get(), format, root.file(name));
        const std::string whole = testing::readFile(root.file(name));
        writeFile(root.file(name), whole.substr(0, whole.size() * 3 / 5));
        return root.file(name);
    };
    const std::string jpeg = cut("abgeschnitten.jpg", FIF_JPEG);
    const std::string bmp = cut("abgeschnitten.bmp", FIF_BMP);
    const std::string sound = saveImage("heil.png", FIF_PNG, 24);

    importImages({jpeg, sound, bmp});

    const std::vector<std::string> shown = notes();
    ASSERT_EQ(shown.size(), 2U);
    EXPECT_TRUE(shown[0].starts_with(damagedFileNote(jpeg))) << shown[0];
    EXPECT_NE(shown[0].find("Premature end of JPEG file"), std::string::npos) << shown[0];
    EXPECT_EQ(shown[1], damagedFileNote(bmp));
    EXPECT_EQ(readPage(page(1)).width, 64U);
    EXPECT_EQ(readPage(page(3)).width, 64U);
    EXPECT_EQ(jobPages, std::vector<int>{3});
}

TEST_F(PageImportTest, CutShortMultipageTiffKeepsItsReadablePagesAndIsNamed)
{
    struct Case
    {
        const char* label;
        std::size_t cutBytes; // taken off the end of a file of three pages
        int pages;
    };

    const Case cases[] = {
        // Each page's directory follows its pixels, and its palette and name follow the directory.
        {"cut into the last page's palette", 100, 3},
        {"cut into the last page's pixels", 2500, 2},
    };
    const std::string path = root.file("abgeschnitten.tif");
    {
        FIMULTIBITMAP* multi = FreeImage_OpenMultiBitmap(FIF_TIFF, path.c_str(), TRUE, FALSE, FALSE, 0);
        ASSERT_NE(multi, nullptr);
        for (int i = 0; i < 3; ++i) {
            std::string rgb;
            testing::ImagePtr image(testing::makeLibraryImage(30, 60, 8, rgb));
            FreeImage_AppendPage(multi, image.get());
        }
        ASSERT_TRUE(FreeImage_CloseMultiBitmap(multi, 0));
    }
    const std::string whole = testing::readFile(path);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        fakes.messages.shown.clear();
        jobPages.clear();
        writeFile(path, whole.substr(0, whole.size() - c.cutBytes));

        importTiff(path);

        ASSERT_EQ(notes().size(), 1U);
        EXPECT_TRUE(notes()[0].starts_with(damagedFileNote(path))) << notes()[0];
        EXPECT_EQ(readPage(page(c.pages)).width, 30U);
        EXPECT_EQ(jobPages, std::vector<int>{c.pages});
    }
}

// A PDF of the given objects, the first the catalogue, with its cross-reference table.
std::string pdfOf(const std::vector<std::string>& objects)
{
    std::string pdf = "%PDF-1.4\n";
    std::vector<std::size_t> offsets;
    for (std::size_t i = 0; i < objects.size(); ++i) {
        offsets.push_back(pdf.size());
        pdf += std::to_string(i + 1) + " 0 obj\n" + objects[i] + "\nendobj\n";
    }
    const std::size_t xref = pdf.size();
    pdf += "xref\n0 " + std::to_string(objects.size() + 1) + "\n0000000000 65535 f \n";
    for (const std::size_t offset : offsets) {
        std::string number = std::to_string(offset);
        pdf += std::string(10 - number.size(), '0') + number + " 00000 n \n";
    }
    pdf += "trailer\n<< /Size " + std::to_string(objects.size() + 1) + " /Root 1 0 R >>\nstartxref\n" +
           std::to_string(xref) + "\n%%EOF\n";
    return pdf;
}

// A PDF with an A4 page and a 200 x 100 pt page and nothing drawn.
std::string twoPagePdf()
{
    return pdfOf({
        "<< /Type /Catalog /Pages 2 0 R >>",
        "<< /Type /Pages /Kids [3 0 R 4 0 R] /Count 2 >>",
        "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 595 842] >>",
        "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 200 100] >>",
    });
}

// A PDF with one page whose content stream claims compression but holds no compressed data.
std::string damagedContentPdf()
{
    const std::string garbage = "x\x9C\xFF\xFE this is no compressed data";
    return pdfOf({
        "<< /Type /Catalog /Pages 2 0 R >>",
        "<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
        "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 200 100] /Contents 4 0 R >>",
        "<< /Length " + std::to_string(garbage.size()) + " /Filter /FlateDecode >>\nstream\n" + garbage +
            "\nendstream",
    });
}

// Ghostscript itself renders; the program run is the real one.
class PdfImportTest : public PageImportTest
{
protected:
    PdfImportTest()
    {
        m_previousRunner = effects().processes;
        effects().processes = &runner;
        settings.PDFasInputDPI = 50;
        settings.GSPath = findInPath("gs");
        const char* path = std::getenv("PATH");
        m_path = path != nullptr ? path : "";
    }

    ~PdfImportTest() override
    {
        effects().processes = m_previousRunner;
        setenv("PATH", m_path.c_str(), 1);
    }

    PosixProcessRunner runner;
    std::string m_path;

private:
    ProcessRunner* m_previousRunner = nullptr;
};

TEST_F(PdfImportTest, GhostscriptRendersEachPageAtTheChosenResolution)
{
    struct Case
    {
        const char* label;
        const char* tmpFolder;
        bool gsFromPath;
    };

    const Case cases[] = {
        {"GSPath set", "tmp-gs", false},
        {"folder with %, gs from PATH", "tmp%d 100%", true},
    };
    ASSERT_FALSE(settings.GSPath.empty()) << "gs is not installed";
    const std::string pdf = root.file("zwei Seiten.pdf");
    writeFile(pdf, twoPagePdf());
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        settings.TmpPath = root.file(c.tmpFolder);
        fs::create_directory(settings.TmpPath);
        settings.GSPath = c.gsFromPath ? std::string() : findInPath("gs");
        jobPages.clear();
        waitView.calls.clear();

        importPdf(pdf);

        EXPECT_TRUE(notes().empty()) << notes().front();
        EXPECT_EQ(
            waitView.calls, (std::vector<std::string>{std::string("open ") + ImportPdfWaitText, "close"}));

        const struct
        {
            double widthPt;
            double heightPt;
        } sizes[] = {{595, 842}, {200, 100}};

        for (int k = 1; k <= 2; ++k) {
            SCOPED_TRACE(k);
            const PageFile written = readPage(page(k));
            EXPECT_EQ(written.bpp, 24U);
            EXPECT_NEAR(written.width, std::round(sizes[k - 1].widthPt * 50 / 72), 1);
            EXPECT_NEAR(written.height, std::round(sizes[k - 1].heightPt * 50 / 72), 1);
            EXPECT_EQ(written.dpmX, 1969U);
        }
        EXPECT_FALSE(fs::exists(page(3)));
        EXPECT_EQ(jobPages, std::vector<int>{2});
    }
    EXPECT_EQ(fakes.files.dialogs.back().request.title, ImportPdfTitle);
    EXPECT_EQ(fakes.files.dialogs.back().request.patterns, ImportPdfPatterns);
}

// A run that fails, or ends well without a page, is reported with its code and starts no job.
TEST_F(PdfImportTest, RunWithoutPagesGivesItsCodeAndNoJob)
{
    struct Case
    {
        const char* label;
        std::string bytes;
        bool failingCode;
    };

    const Case cases[] = {
        {"not a PDF", "this is no document at all\n", true},
        {"PDF without pages",
         "%PDF-1.4\n1 0 obj\n<< /Type /Catalog /Pages 2 0 R >>\nendobj\n2 0 obj\n<< /Type /Pages /Kids [] "
         "/Count 0 >>\nendobj\ntrailer\n<< /Root 1 0 R >>\n%%EOF\n",
         false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        fakes.messages.shown.clear();
        waitView.calls.clear();
        const std::string pdf = root.file("kaputt.pdf");
        writeFile(pdf, c.bytes);

        importPdf(pdf);

        ASSERT_EQ(notes().size(), 1U);
        const std::string prefix =
            "Ghostscript konnte »" + pdf + "« nicht vollständig umwandeln (Fehlercode ";
        EXPECT_TRUE(notes()[0].starts_with(prefix)) << notes()[0];
        EXPECT_EQ(!notes()[0].starts_with(ghostscriptFailedNote(pdf, 0)), c.failingCode) << notes()[0];
        EXPECT_EQ(waitView.calls.size(), 2U);
        EXPECT_TRUE(jobPages.empty());
    }
}

TEST_F(PdfImportTest, PageGhostscriptCannotDrawIsNamedInANote)
{
    const std::string pdf = root.file("kaputter Inhalt.pdf");
    writeFile(pdf, damagedContentPdf());

    importPdf(pdf);

    ASSERT_EQ(notes().size(), 1U);
    EXPECT_TRUE(notes()[0].starts_with(ghostscriptDamagedNote(pdf))) << notes()[0];
    EXPECT_NE(notes()[0].find("Page drawing error"), std::string::npos) << notes()[0];
    EXPECT_TRUE(fs::exists(page(1)));
    EXPECT_EQ(jobPages, std::vector<int>{1});
}

// A PDF whose name starts with "-", chosen relative to the current folder like the temporary folder.
TEST_F(PdfImportTest, NamesStartingWithADashAreReadAsFiles)
{
    const fs::path previous = fs::current_path();
    fs::current_path(root.path());
    writeFile("-x.pdf", twoPagePdf());
    fs::create_directory("tmp-relativ");
    settings.TmpPath = "tmp-relativ";

    importPdf("-x.pdf");

    const std::vector<std::string> shown = notes();
    const bool made = fs::exists(root.file("tmp-relativ/TmpReadyImg2.bmp"));
    fs::current_path(previous);
    EXPECT_TRUE(shown.empty()) << shown.front();
    EXPECT_TRUE(made);
    EXPECT_EQ(jobPages, std::vector<int>{2});
}

TEST_F(PdfImportTest, MissingGhostscriptGivesTheNoteAndDeletesNothing)
{
    struct Case
    {
        const char* label;
        std::string gsPath;
        bool emptyPath;
    };

    const Case cases[] = {
        {"GSPath names a missing file", root.file("gs-gibt-es-nicht"), false},
        {"empty GSPath, no gs in PATH", "", true},
    };
    fs::create_directory(root.file("leer"));
    writeFile(page(1), "old page");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        fakes.messages.shown.clear();
        settings.GSPath = c.gsPath;
        if (c.emptyPath) {
            setenv("PATH", root.file("leer").c_str(), 1);
        }
        PageImportContext context{settings, entryPoints, *functions, waitView};
        ImportPdfViaGhostscript(context);
        EXPECT_EQ(notes(), std::vector<std::string>{prepareNoteText(GhostscriptMissingNote)});
    }
    EXPECT_TRUE(fakes.files.dialogs.empty());
    EXPECT_TRUE(waitView.calls.empty());
    EXPECT_TRUE(deleteModes.empty());
    EXPECT_EQ(testing::readFile(page(1)), "old page");
}

// Pages of the previous job that were never saved: keeping them ends each import once its file is
// chosen, before anything is deleted, rendered or written; letting them go imports as usual.
TEST_F(PdfImportTest, KeepingUnsavedPagesEndsTheImportBeforeAnythingIsDeleted)
{
    ASSERT_FALSE(settings.GSPath.empty()) << "gs is not installed";
    const std::string pdf = root.file("zwei Seiten.pdf");
    writeFile(pdf, twoPagePdf());
    const std::string png = saveImage("a.png", FIF_PNG, 24);
    const std::string tiff = saveImage("b.tif", FIF_TIFF, 8);

    struct Case
    {
        const char* label;
        std::function<void()> import;
        int pages;
    };

    const Case cases[] = {
        {"image files", [&] { importImages({png}); }, 1},
        {"multi-page TIFF", [&] { importTiff(tiff); }, 1},
        {"PDF", [&] { importPdf(pdf); }, 2},
    };
    for (const Case& c : cases) {
        for (const bool mayDelete : {false, true}) {
            SCOPED_TRACE(std::string(c.label) + (mayDelete ? ", delete" : ", keep"));
            fs::remove_all(settings.TmpPath);
            fs::create_directory(settings.TmpPath);
            writeFile(page(1), "unsaved page");
            const std::size_t dialogs = fakes.files.dialogs.size();
            int questions = 0;
            entryPoints.MayDeleteOldPages = [&] {
                EXPECT_EQ(fakes.files.dialogs.size(), dialogs + 1) << "asked before the file was chosen";
                ++questions;
                return mayDelete;
            };
            deleteModes.clear();
            jobPages.clear();
            waitView.calls.clear();

            c.import();

            EXPECT_EQ(questions, 1);
            EXPECT_TRUE(notes().empty());
            if (mayDelete) {
                EXPECT_EQ(deleteModes, std::vector<std::int32_t>{3});
                EXPECT_EQ(jobPages, std::vector<int>{c.pages});
            } else {
                EXPECT_TRUE(deleteModes.empty());
                EXPECT_EQ(testing::readFile(page(1)), "unsaved page");
                EXPECT_FALSE(fs::exists(page(2)));
                EXPECT_TRUE(jobPages.empty());
                EXPECT_TRUE(waitView.calls.empty());
            }
        }
    }
    // A cancelled file dialog asks nothing.
    int questions = 0;
    entryPoints.MayDeleteOldPages = [&questions] {
        ++questions;
        return false;
    };
    importImages({});
    EXPECT_EQ(questions, 0);
}

} // namespace
} // namespace folvex
