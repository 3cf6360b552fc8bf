#include "pdf/pdf_writer.h"

#include "pdf/pdf_writer_internal.h"
#include "pdf_test_fixture.h"
#include "support/pdf_check.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <csignal>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace folvex {
namespace {

using testing::objectText;
using testing::PdfTest;
using testing::readFile;
using testing::streamOf;

constexpr const char* GoldenTitle = "(Grüße) – Œ €";

std::vector<std::string> folderNames(const std::filesystem::path& folder)
{
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

// Two pages, A4 portrait and A5 landscape, with document information and page-number aliases.
std::int32_t buildTwoPageDocument()
{
    const std::int32_t doc = PdfCreate(1, "P", "mm", "", -1.0f, -1.0f);
    PdfSetInfo(doc, 1, "Folvex");
    PdfSetInfo(doc, 5, "Folvex");
    PdfSetInfo(doc, 2, GoldenTitle);
    PdfSetAliasNbPages(doc, "{nb}");
    PdfAddPage(doc, "", "", -1.0f, -1.0f);
    PdfOut("% Seite {p} von {nb}");
    PdfOut("0.5 g");
    PdfOut("28.35 785.20 200.00 28.35 re f");
    PdfOut("% " + PdfLiteral(doc, GoldenTitle));
    PdfAddPage(doc, "l", "419.53,595.28", -1.0f, -1.0f);
    PdfOut("% Seite {p} von {nb}, das zweite {p} bleibt");
    PdfOut("1 0 0 RG 28.35 28.35 m 566.93 391.18 l S");
    return doc;
}

TEST_F(PdfTest, TwoPageDocumentMatchesTheGoldenFile)
{
    const std::string bytes = saveChecked(buildTwoPageDocument(), "two_pages.pdf");
    EXPECT_TRUE(testing::matchesGolden(bytes, FOLVEX_PDF_GOLDEN_DIR "/two_pages.pdf"));
    EXPECT_NE(
        bytes.find("/ID [<9c7e100bd07da897e99088336c043e8d> <9c7e100bd07da897e99088336c043e8d>]\n"),
        std::string::npos);
    EXPECT_NE(bytes.find("/CreationDate (D:20251210120000)\n"), std::string::npos);
    EXPECT_NE(bytes.find("/Title (\\(Gr\\374\\337e\\) \\205 \\226 \\240)\n"), std::string::npos);
    EXPECT_EQ(streamOf(bytes, 6).substr(11, 18), "% Seite 1 von 2\n0.");
    EXPECT_NE(streamOf(bytes, 8).find("% Seite 2 von 2, das zweite {p} bleibt\n"), std::string::npos);
    EXPECT_NE(streamOf(bytes, 6).find("% (\\(Gr\\374\\337e\\) \x96 \x8C \x80)\n"), std::string::npos);
}

TEST_F(PdfTest, PdfinfoShowsInformationAndEveryPageSize)
{
    const std::int32_t doc = PdfCreate(-1, "P", "mm", "", -1.0f, -1.0f);
    PdfSetInfo(doc, 1, "Folvex");
    PdfSetInfo(doc, 5, "Folvex");
    PdfSetInfo(doc, 2, GoldenTitle);
    PdfSetInfo(doc, 3, "Łódź 日本");
    PdfAddPage(doc, "", "", -1.0f, -1.0f);
    PdfAddPage(doc, "L", "419.53,595.28", -1.0f, -1.0f);
    PdfAddPage(doc, "", "", 2480.0f, 3508.0f);
    saveChecked(doc, "info.pdf");

    auto info = testing::pdfInfo(dir.file("info.pdf"), {"-f", "1", "-l", "3"});
    EXPECT_EQ(
        info["Producer"], sizeof(void*) == 8 ? "rvPDF V2.0 for Ravelin X64" : "rvPDF V2.0 for Ravelin X86");
    EXPECT_EQ(info["Author"], "Folvex");
    EXPECT_EQ(info["Creator"], "Folvex");
    EXPECT_EQ(info["Title"], GoldenTitle);
    EXPECT_EQ(info["Subject"], "Łódź 日本");
    EXPECT_EQ(info["PDF version"], "1.6");
    EXPECT_EQ(info["Pages"], "3");
    EXPECT_TRUE(info["Page    1 size"].starts_with("595.28 x 841.89 pts")) << info["Page    1 size"];
    EXPECT_TRUE(info["Page    2 size"].starts_with("595.28 x 419.53 pts")) << info["Page    2 size"];
    EXPECT_TRUE(info["Page    3 size"].starts_with("2480 x 3508 pts")) << info["Page    3 size"];
}

TEST_F(PdfTest, EmptyDocumentGetsOnePageWithOnlyTheContentStart)
{
    const std::int32_t doc = PdfCreate(-1, "", "", "", -1.0f, -1.0f);
    const std::string bytes = saveChecked(doc, "empty.pdf");
    EXPECT_EQ(objectText(bytes, 1), "1 0 obj\n<<\n/Type /Pages\n/Kids [5 0 R]\n/Count 1\n>>\nendobj\n");
    EXPECT_EQ(
        objectText(bytes, 5),
        "5 0 obj\n<<\n/Type /Page\n/Parent 1 0 R\n/MediaBox [0 0 595.28 841.89]\n/Resources 4 0 R\n"
        "/Contents 6 0 R\n>>\nendobj\n");
    EXPECT_EQ(objectText(bytes, 6), "6 0 obj\n<</Length 11>>\nstream\n2 J\n0.57 w\nendstream\nendobj\n");
    EXPECT_EQ(
        objectText(bytes, 3),
        "3 0 obj\n<<\n/Type /Catalog\n/Pages 1 0 R\n/OpenAction [5 0 R /FitH]\n>>\nendobj\n");
    EXPECT_TRUE(bytes.starts_with("%PDF-1.6\n%\xE2\xE3\xCF\xD3\n"));
    EXPECT_TRUE(bytes.ends_with("%%EOF\n"));
    EXPECT_EQ(PdfPageNo(doc, 0), 0) << "a saved document is closed";
}

TEST_F(PdfTest, OpenActionPerZoom)
{
    const struct
    {
        const char* zoom;
        std::int32_t page;
        const char* expected; // empty: no open action
    } cases[] = {
        {"PageTop", 1, "/OpenAction [5 0 R /FitH]\n"},
        {"", 2, "/OpenAction [7 0 R /FitH]\n"},
        {"PageWidth", 1, "/OpenAction [5 0 R /FitH]\n"},
        {"FullPage", 2, "/OpenAction [7 0 R /Fit]\n"},
        {"75", 1, "/OpenAction [5 0 R /XYZ 0 0 0.75]\n"},
        {"150%", 2, "/OpenAction [7 0 R /XYZ 0 0 1.50]\n"},
        {"fullpage", 1, "/OpenAction [5 0 R /XYZ 0 0 0.00]\n"},
        {"PageTop", 3, ""},
        {"PageTop", 0, ""},
        {"PageTop", -1, ""},
    };

    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.zoom) + " page " + std::to_string(c.page));
        const std::int32_t doc = PdfCreate(-1, "P", "pt", "", -1.0f, -1.0f);
        PdfAddPage(doc, "", "", -1.0f, -1.0f);
        PdfAddPage(doc, "", "", -1.0f, -1.0f);
        PdfSetDisplayMode(doc, c.zoom, c.page);
        const std::string catalog = objectText(saveChecked(doc, "zoom.pdf"), 3);
        EXPECT_EQ(
            catalog,
            std::string("3 0 obj\n<<\n/Type /Catalog\n/Pages 1 0 R\n") + c.expected + ">>\nendobj\n");
    }
}

TEST_F(PdfTest, CompressedContentInflatesToTheContentAndTwoZeroBytes)
{
    const std::int32_t doc = PdfCreate(-1, "P", "mm", "", -1.0f, -1.0f);
    PdfSetCompression(doc, 1);
    PdfAddPage(doc, "", "", -1.0f, -1.0f);
    for (int i = 0; i < 50; ++i) {
        PdfOut("0 0 m 100 " + std::to_string(i) + " l S");
    }
    const std::string content = module.current->object("6 0 R")->stream.data;
    const std::string bytes = saveChecked(doc, "compressed.pdf");

    const std::string compressed = streamOf(bytes, 6);
    EXPECT_TRUE(objectText(bytes, 6).starts_with(
        "6 0 obj\n<</Filter /FlateDecode /Length " + std::to_string(compressed.size()) + ">>\nstream\n"));
    uLongf size = static_cast<uLongf>(content.size() + 100);
    std::string inflated(size, '\0');
    ASSERT_EQ(
        uncompress(
            reinterpret_cast<Bytef*>(inflated.data()),
            &size,
            reinterpret_cast<const Bytef*>(compressed.data()),
            static_cast<uLong>(compressed.size())),
        Z_OK);
    inflated.resize(size);
    EXPECT_EQ(inflated, content + std::string(2, '\0'));
}

TEST_F(PdfTest, CreateChoosesFreeNumbersAndRebuildsAnOpenOne)
{
    EXPECT_EQ(PdfCreate(-1, "", "", "", -1.0f, -1.0f), 1);
    EXPECT_EQ(PdfCreate(-1, "", "", "", -1.0f, -1.0f), 2);
    EXPECT_EQ(PdfCreate(5, "", "", "", -1.0f, -1.0f), 5);
    EXPECT_EQ(PdfCreate(-1, "", "", "", -1.0f, -1.0f), 3);
    EXPECT_EQ(PdfCreate(0, "", "", "", -1.0f, -1.0f), 0);
    EXPECT_EQ(PdfAddPage(0, "", "", -1.0f, -1.0f), 1) << "document 0 exists";

    PdfAddPage(2, "", "", -1.0f, -1.0f);
    PdfAddPage(2, "", "", -1.0f, -1.0f);
    module.current->lastErrorCode = 6;
    ASSERT_EQ(PdfPageNo(2, 0), 2);
    EXPECT_EQ(PdfCreate(2, "", "", "", -1.0f, -1.0f), 2);
    EXPECT_EQ(PdfPageNo(2, 0), 0);
    EXPECT_EQ(PdfGetCounter(2), 4);
    EXPECT_EQ(PdfErrorCode(2), 0);

    saveChecked(1, "one.pdf");
    EXPECT_EQ(PdfCreate(-1, "", "", "", -1.0f, -1.0f), 1);
}

TEST_F(PdfTest, UnknownDocumentNumbersDoNothing)
{
    PdfCreate(1, "", "", "", -1.0f, -1.0f);
    const std::int32_t unknown = 9;
    EXPECT_EQ(PdfAddPage(unknown, "", "", -1.0f, -1.0f), 0);
    EXPECT_EQ(PdfSave(unknown, dir.file("x.pdf")), 0);
    EXPECT_FALSE(std::filesystem::exists(dir.file("x.pdf")));
    EXPECT_EQ(PdfSetInfo(unknown, 1, "x"), 0);
    EXPECT_EQ(PdfGetPageWidth(unknown), 0.0f);
    EXPECT_EQ(PdfGetScaleFactor(unknown), 0.0f);
    EXPECT_EQ(PdfPageNo(unknown, 1), 0);
    EXPECT_EQ(PdfGetCounter(unknown), 0);
    EXPECT_EQ(PdfLiteral(unknown, "x"), "");
    EXPECT_EQ(PdfGetCounter(1), 4) << "nothing was added to the open document";
}

TEST_F(PdfTest, CustomSizeOnlyWhenWidthAndHeightAreBothGiven)
{
    testing::ScopedFakeEffects effects; // any message box fails the test

    struct Size
    {
        float width;
        float height;
    };

    const struct
    {
        const char* label;
        const char* orientation;
        const char* format;
        Size given;
        Size created; // by PdfCreate, whose default is A4
        Size added;   // by PdfAddPage in a document whose default is 100 x 200
    } cases[] = {
        {"defaults", "P", "", {-1, -1}, {595.28f, 841.89f}, {100, 200}},
        {"custom size", "P", "", {500, 700}, {500, 700}, {500, 700}},
        {"custom size before the format", "P", "419.53,595.28", {500, 700}, {500, 700}, {500, 700}},
        {"width only", "P", "", {500, -1}, {595.28f, 841.89f}, {100, 200}},
        {"zero size", "P", "", {0, 0}, {595.28f, 841.89f}, {100, 200}},
        {"width only takes the format",
         "P",
         "419.53,595.28",
         {500, -1},
         {419.53f, 595.28f},
         {419.53f, 595.28f}},
        {"format with blanks", "P", " 200 , 300 ", {-1, -1}, {200, 300}, {200, 300}},
        {"format without height", "P", "300", {-1, -1}, {595.28f, 841.89f}, {100, 200}},
        {"format that is no number", "P", "abc", {-1, -1}, {595.28f, 841.89f}, {100, 200}},
        {"landscape", "l", "419.53,595.28", {-1, -1}, {595.28f, 419.53f}, {595.28f, 419.53f}},
        {"landscape default", "L", "", {-1, -1}, {841.89f, 595.28f}, {200, 100}},
        {"landscape custom", "Landscape", "", {500, 700}, {700, 500}, {700, 500}},
    };

    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        const std::int32_t created =
            PdfCreate(1, c.orientation, "pt", c.format, c.given.width, c.given.height);
        EXPECT_FLOAT_EQ(PdfGetPageWidth(created), c.created.width);
        EXPECT_FLOAT_EQ(PdfGetPageHeight(created), c.created.height);

        const std::int32_t doc = PdfCreate(2, "P", "pt", "100,200", -1.0f, -1.0f);
        PdfAddPage(doc, c.orientation, c.format, c.given.width, c.given.height);
        EXPECT_FLOAT_EQ(PdfGetPageWidth(doc), c.added.width);
        EXPECT_FLOAT_EQ(PdfGetPageHeight(doc), c.added.height);
    }
    EXPECT_TRUE(effects.messages.shown.empty());
    saveChecked(2, "custom.pdf");
}

TEST_F(PdfTest, HeaderAndFooterProceduresRunOncePerPage)
{
    const std::int32_t doc = PdfCreate(-1, "P", "mm", "", -1.0f, -1.0f);
    std::vector<std::optional<std::int32_t>> headerCalls;
    std::vector<std::optional<std::int32_t>> footerCalls;
    std::vector<std::int32_t> footerPermissions;
    PdfSetHeaderProc(
        doc,
        [&](std::optional<std::int32_t> argument) {
            headerCalls.push_back(argument);
            PdfDocument* d = currentPdfDocument();
            d->lineWidth = 1.0f;
            d->drawColor = "1 0 0 RG";
            d->textColor = "0 0 1 rg";
            d->colorFlag = 1;
            PdfOut("% header " + std::to_string(PdfPageNo(doc, 0)));
        },
        0);
    PdfSetFooterProc(
        doc,
        [&](std::optional<std::int32_t> argument) {
            footerCalls.push_back(argument);
            footerPermissions.push_back(currentPdfDocument()->pageBreakPermission);
            PdfOut("% footer " + std::to_string(PdfPageNo(doc, 0)));
        },
        7);
    PdfEnableHeader(doc, 1);
    PdfEnableFooter(doc, 1);
    for (int page = 0; page < 3; ++page) {
        PdfAddPage(doc, "", "", -1.0f, -1.0f);
        PdfOut("% body");
    }
    module.current->transformOpen = 30.0f;
    const std::string bytes = saveChecked(doc, "procedures.pdf");

    EXPECT_EQ(headerCalls, (std::vector<std::optional<std::int32_t>>(3, std::nullopt)));
    EXPECT_EQ(footerCalls, (std::vector<std::optional<std::int32_t>>(3, 7)));
    EXPECT_EQ(footerPermissions, (std::vector<std::int32_t>(3, 0)));
    EXPECT_EQ(streamOf(bytes, 6), "2 J\n0.57 w\n% header 1\n0.57 w\n0 G\n% body\n% footer 1\n");
    EXPECT_EQ(streamOf(bytes, 10), "2 J\n0.57 w\n% header 3\n0.57 w\n0 G\n% body\nQ\n% footer 3\n");
}

TEST_F(PdfTest, HeaderSettingsAreNotRestoredWhenUnchanged)
{
    const std::int32_t doc = PdfCreate(-1, "P", "pt", "", -1.0f, -1.0f);
    int calls = 0;
    PdfSetHeaderProc(
        doc, [&](std::optional<std::int32_t> argument) { calls += argument.value_or(100); }, 2);
    PdfAddPage(doc, "", "", -1.0f, -1.0f);
    EXPECT_EQ(calls, 0) << "the header is not enabled";
    PdfEnableHeader(doc, 1);
    PdfAddPage(doc, "", "", -1.0f, -1.0f);
    EXPECT_EQ(calls, 2);
    EXPECT_EQ(module.current->object(module.current->currentContentsRef)->stream.data, "2 J\n0.57 w\n");
    saveChecked(doc, "header.pdf");
}

TEST_F(PdfTest, ObjectWithoutBodyIsWrittenAsNull)
{
    const std::int32_t doc = PdfCreate(-1, "P", "mm", "", -1.0f, -1.0f);
    PdfNewObject(PdfObjectKind::Plain);
    const std::string bytes = saveChecked(doc, "null.pdf");
    EXPECT_EQ(objectText(bytes, 5), "5 0 obj\nnull\nendobj\n");
}

TEST_F(PdfTest, SpooledStreamIsCopiedIntoTheFile)
{
    const std::int32_t doc = PdfCreate(-1, "P", "mm", "", -1.0f, -1.0f);
    auto spool = PdfSpoolFile::create(dir.path().string());
    ASSERT_TRUE(spool);
    module.current->spool = std::move(spool.value());
    ASSERT_TRUE(module.current->spool->append("skipped"));
    std::string data;
    for (int i = 0; i < 20000; ++i) {
        data += static_cast<char>(i * 7);
    }
    const auto range = module.current->spool->append(data);
    ASSERT_TRUE(range);
    PdfNewObject(PdfObjectKind::Plain);
    PdfPutEntry("/Length " + std::to_string(data.size()), "\n", "\n", PdfEntryPlain);
    putSpoolStream(range.value(), PdfCompressedStreamMarker);
    EXPECT_EQ(folderNames(dir.path()), std::vector<std::string>{}) << "the spool file has no name";

    const std::string bytes = saveChecked(doc, "spooled.pdf");
    EXPECT_EQ(streamOf(bytes, 5), data);
}

struct EncryptionLog
{
    std::vector<std::string> strings;
    std::vector<std::string> streams;
};

// An encryption that records its calls and changes nothing, so the file stays readable. The document
// owns it and drops it when it is saved; the log belongs to the test.
class RecordingEncryption final : public PdfEncryption
{
public:
    explicit RecordingEncryption(EncryptionLog& log)
        : m_log(log)
    {}

    std::string encryptTextString(std::int32_t objectNumber, std::string_view bytes) override
    {
        m_log.strings.push_back(std::to_string(objectNumber) + ":" + std::string(bytes));
        return std::string(bytes);
    }

    void beginStream(std::int32_t objectNumber) override
    {
        m_log.streams.push_back(std::to_string(objectNumber) + ":");
    }

    void encryptStreamPiece(char* data, std::size_t size) override
    {
        m_log.streams.back() += std::string(data, size);
    }

private:
    EncryptionLog& m_log;
};

TEST_F(PdfTest, EncryptionSeesTextStringsAndStreamsAfterCompression)
{
    const std::int32_t doc = PdfCreate(-1, "P", "mm", "", -1.0f, -1.0f);
    PdfSetInfo(doc, 1, "Grüße");
    PdfSetCompression(doc, 1);
    PdfAddPage(doc, "", "", -1.0f, -1.0f);
    EncryptionLog log;
    module.current->encryption = std::make_unique<RecordingEncryption>(log);
    module.current->encryptionFlag = 1;
    const std::string bytes = saveChecked(doc, "encrypted.pdf");

    EXPECT_EQ(
        log.strings,
        (std::vector<std::string>{
            "2:rvPDF V2.0 for Ravelin X" + std::string(sizeof(void*) == 8 ? "64" : "86"),
            "2:D:20251210120000",
            "2:Gr\xFC\xDF"
            "e"}));
    ASSERT_EQ(log.streams.size(), 1u);
    EXPECT_EQ(log.streams[0], "6:" + streamOf(bytes, 6));
}

TEST_F(PdfTest, DatesAndIdentifierFollowTheLocalTimeZone)
{
    ::setenv("TZ", "UTC-1", 1);
    ::tzset();
    const std::int32_t doc = PdfCreate(-1, "P", "mm", "", -1.0f, -1.0f);
    ::setenv("TZ", "UTC", 1);
    ::tzset();
    const std::string bytes = saveChecked(doc, "berlin.pdf");
    EXPECT_NE(bytes.find("/CreationDate (D:20251210130000)\n"), std::string::npos);
    EXPECT_NE(
        bytes.find("/ID [<3c6a53deccc8e5fc4c7ec13e1a1a0e72> <3c6a53deccc8e5fc4c7ec13e1a1a0e72>]\n"),
        std::string::npos);
}

TEST_F(PdfTest, SavingReplacesAnExistingFileWithoutLeavingATemporary)
{
    testing::writeFile(dir.file("out.pdf"), "old");
    const std::string bytes = saveChecked(PdfCreate(-1, "P", "mm", "", -1.0f, -1.0f), "out.pdf");
    EXPECT_TRUE(bytes.starts_with("%PDF-1.6"));
    EXPECT_EQ(folderNames(dir.path()), std::vector<std::string>{"out.pdf"});

    const mode_t mask = ::umask(0);
    ::umask(mask);

    struct stat status
    {};

    ASSERT_EQ(::stat(dir.file("out.pdf").c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 0777, 0666 & ~mask);
}

TEST_F(PdfTest, TargetInAMissingFolderReturnsSixAndLeavesNoFile)
{
    const std::int32_t doc = PdfCreate(-1, "P", "mm", "", -1.0f, -1.0f);
    EXPECT_EQ(PdfSave(doc, dir.file("missing/out.pdf")), 6);
    EXPECT_EQ(folderNames(dir.path()), std::vector<std::string>{});
    EXPECT_EQ(PdfPageNo(doc, 0), 0) << "the document is closed all the same";
    EXPECT_EQ(PdfErrorCode(doc), 0);
}

// Safe files that fail once a number of bytes has been written.
class FailingOutputFiles final : public PdfOutputFiles
{
public:
    explicit FailingOutputFiles(std::size_t budget)
        : m_budget(budget)
    {}

    Expected<std::unique_ptr<PdfOutputFile>> create(const std::string& targetPath) override
    {
        auto file = m_real.create(targetPath);
        if (!file) {
            return file.error();
        }
        return std::unique_ptr<PdfOutputFile>(std::make_unique<Failing>(std::move(file.value()), m_budget));
    }

private:
    class Failing final : public PdfOutputFile
    {
    public:
        Failing(std::unique_ptr<PdfOutputFile> real, std::size_t budget)
            : m_real(std::move(real))
            , m_budget(budget)
        {}

        bool write(std::string_view bytes) override
        {
            if (bytes.size() > m_budget) {
                return false;
            }
            m_budget -= bytes.size();
            return m_real->write(bytes);
        }

        Expected<void> commit() override { return m_real->commit(); }

    private:
        std::unique_ptr<PdfOutputFile> m_real;
        std::size_t m_budget;
    };

    SafePdfOutputFiles m_real;
    std::size_t m_budget;
};

std::int32_t buildLargeDocument()
{
    const std::int32_t doc = PdfCreate(-1, "P", "mm", "", -1.0f, -1.0f);
    for (int page = 0; page < 4; ++page) {
        PdfAddPage(doc, "", "", -1.0f, -1.0f);
        for (int line = 0; line < 2000; ++line) {
            PdfOut("% line " + std::to_string(line) + " of a page that makes the file large");
        }
    }
    return doc;
}

TEST_F(PdfTest, WriteFailingMidwayKeepsTheOldTargetAndNoTemporary)
{
    const std::string old = "old content that must survive";
    testing::writeFile(dir.file("out.pdf"), old);
    FailingOutputFiles failing(1000);
    module.outputFiles = &failing;
    const std::int32_t doc = buildLargeDocument();
    EXPECT_EQ(PdfSave(doc, dir.file("out.pdf")), 6);
    EXPECT_EQ(readFile(dir.file("out.pdf")), old);
    EXPECT_EQ(folderNames(dir.path()), std::vector<std::string>{"out.pdf"});
}

TEST_F(PdfTest, FileSizeLimitMidwayKeepsTheOldTargetAndNoTemporary)
{
    const std::string old = "old content that must survive";
    testing::writeFile(dir.file("out.pdf"), old);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        std::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{16384, 16384};
        ::setrlimit(RLIMIT_FSIZE, &limit);
        const std::int32_t doc = buildLargeDocument();
        ::_exit(PdfSave(doc, dir.file("out.pdf")));
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 6);
    EXPECT_EQ(readFile(dir.file("out.pdf")), old);
    EXPECT_EQ(folderNames(dir.path()), std::vector<std::string>{"out.pdf"});
}

} // namespace
} // namespace folvex
