#include "pdf_test_fixture.h"

#include "pdf/pdf_writer.h"
#include "support/pdf_check.h"

#include <algorithm>
#include <cctype>

namespace folvex::testing {

PdfTest::PdfTest()
{
    module.clock = &clock;
    m_previous = installPdfModule(&module);
}

PdfTest::~PdfTest()
{
    installPdfModule(m_previous);
}

std::string PdfTest::saveChecked(std::int32_t doc, const std::string& name)
{
    const std::string path = dir.file(name);
    EXPECT_EQ(PdfSave(doc, path), 0);
    EXPECT_TRUE(pdfFileIsSound(path));
    return readFile(path);
}

std::string currentContent()
{
    PdfDocument* document = currentPdfDocument();
    if (document == nullptr) {
        return {};
    }
    const PdfObject* object = document->object(document->currentContentsRef);
    return object == nullptr ? std::string{} : object->stream.data;
}

std::string toolOutput(const std::vector<std::string>& argv)
{
    const ProgramOutput result = runProgram(argv);
    EXPECT_EQ(result.exitCode, 0) << argv[0] << ": " << result.output;
    return result.output;
}

std::string renderComplaints(const std::string& pdfPath, const std::string& scratchFolder)
{
    std::string complaints;
    const std::vector<std::vector<std::string>> renderers = {
        {"mutool", "draw", "-q", "-r", "36", "-o", scratchFolder + "/mutool-%d.png", pdfPath},
        {"pdftoppm", "-r", "36", "-png", pdfPath, scratchFolder + "/pdftoppm"},
    };
    for (const auto& argv : renderers) {
        const ProgramOutput result = runProgram(argv);
        if (result.exitCode != 0) {
            complaints += argv[0] + " exited with " + std::to_string(result.exitCode) + "\n";
        }
        std::size_t start = 0;
        while (start < result.output.size()) {
            const std::size_t end = std::min(result.output.find('\n', start), result.output.size());
            std::string line = result.output.substr(start, end - start);
            std::string lower = line;
            std::transform(lower.begin(), lower.end(), lower.begin(), [](unsigned char c) {
                return static_cast<char>(std::tolower(c));
            });
            if (lower.find("error") != std::string::npos) {
                complaints += argv[0] + ": " + line + "\n";
            }
            start = end + 1;
        }
    }
    return complaints;
}

std::string objectText(const std::string& bytes, std::int32_t number)
{
    const std::string header = std::to_string(number) + " 0 obj\n";
    std::size_t start = bytes.find("\n" + header);
    if (start == std::string::npos) {
        return {};
    }
    ++start;
    const std::size_t end = bytes.find("endobj\n", start);
    return end == std::string::npos ? std::string{} : bytes.substr(start, end + 7 - start);
}

std::string streamOf(const std::string& bytes, std::int32_t number)
{
    const std::string object = objectText(bytes, number);
    const std::size_t length = object.find("/Length ");
    const std::size_t start = object.find("stream\n");
    if (length == std::string::npos || start == std::string::npos) {
        return {};
    }
    return object.substr(start + 7, std::stoul(object.substr(length + 8)));
}

} // namespace folvex::testing
