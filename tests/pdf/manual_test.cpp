// The manual the build lays out beside the program: a sound PDF that renders, whose outline, contents
// links and text follow the chapters of its source.

#include "support/pdf_check.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

namespace folvex {
namespace {

using testing::runProgram;

const std::string ManualPdf = FOLVEX_MANUAL_PDF;

struct Heading
{
    std::string number; // "3" or "3.2"
    std::string text;
};

// The headings of the source, numbered as the manual numbers them.
std::vector<Heading> sourceHeadings()
{
    std::ifstream in(FOLVEX_MANUAL_SOURCE);
    std::vector<Heading> headings;
    int chapter = 0;
    int section = 0;
    std::string line;
    while (std::getline(in, line)) {
        if (line.rfind("## ", 0) == 0) {
            headings.push_back({std::to_string(chapter) + "." + std::to_string(++section), line.substr(3)});
        } else if (line.rfind("# ", 0) == 0) {
            section = 0;
            headings.push_back({std::to_string(++chapter), line.substr(2)});
        }
    }
    return headings;
}

int pageCount()
{
    return std::stoi(testing::pdfInfo(ManualPdf)["Pages"]);
}

std::string pdfText(const std::vector<std::string>& extraArgs = {})
{
    std::vector<std::string> argv{"pdftotext", "-enc", "UTF-8"};
    argv.insert(argv.end(), extraArgs.begin(), extraArgs.end());
    argv.push_back(ManualPdf);
    argv.push_back("-");
    const testing::ProgramOutput out = runProgram(argv);
    EXPECT_EQ(out.exitCode, 0) << out.output;
    return out.output;
}

// The outline as mutool lists it: title and page of each item, in order.
std::vector<std::pair<std::string, int>> outline()
{
    const testing::ProgramOutput out = runProgram({"mutool", "show", ManualPdf, "outline"});
    EXPECT_EQ(out.exitCode, 0) << out.output;
    std::vector<std::pair<std::string, int>> items;
    const std::regex item("\"(.*)\"\\s+#page=(\\d+)");
    std::istringstream lines(out.output);
    std::string line;
    while (std::getline(lines, line)) {
        std::smatch match;
        if (std::regex_search(line, match, item)) {
            items.emplace_back(match[1], std::stoi(match[2]));
        }
    }
    return items;
}

TEST(ManualTest, LiesBesideTheProgramAsASoundPdfThatRenders)
{
    EXPECT_EQ(std::filesystem::path(ManualPdf).filename(), "Anleitung Folvex.pdf");
    ASSERT_TRUE(std::filesystem::is_regular_file(ManualPdf)) << ManualPdf;
    EXPECT_TRUE(testing::pdfFileIsSound(ManualPdf));
    const int pages = pageCount();
    EXPECT_GE(pages, 3);

    testing::TempDir out;
    const testing::ProgramOutput drawn =
        runProgram({"mutool", "draw", "-q", "-r", "20", "-o", out.file("page-%d.png"), ManualPdf});
    EXPECT_EQ(drawn.exitCode, 0) << drawn.output;
    EXPECT_EQ(drawn.output.find("error"), std::string::npos) << drawn.output;
    for (int page = 1; page <= pages; ++page) {
        EXPECT_GT(std::filesystem::file_size(out.file("page-" + std::to_string(page) + ".png")), 0u);
    }
}

TEST(ManualTest, OutlineHoldsTheContentsAndEveryHeadingInOrder)
{
    const std::vector<Heading> headings = sourceHeadings();
    ASSERT_GE(headings.size(), 10u);
    const std::vector<std::pair<std::string, int>> items = outline();
    ASSERT_EQ(items.size(), headings.size() + 1);
    EXPECT_EQ(items[0], (std::pair<std::string, int>{"Inhalt", 2}));
    const int pages = pageCount();
    int previousPage = 3;
    for (std::size_t i = 0; i < headings.size(); ++i) {
        SCOPED_TRACE(headings[i].text);
        EXPECT_EQ(items[i + 1].first, headings[i].number + " " + headings[i].text);
        EXPECT_GE(items[i + 1].second, previousPage);
        EXPECT_LE(items[i + 1].second, pages);
        previousPage = items[i + 1].second;
    }
}

// Each contents line is a link to its heading's page and names that page.
TEST(ManualTest, ContentsLinksEachHeadingToItsPage)
{
    const std::vector<std::pair<std::string, int>> items = outline();
    std::map<std::string, int> pageOfObject; // "75 0 R" -> 3
    {
        const testing::ProgramOutput out = runProgram({"mutool", "show", ManualPdf, "pages"});
        const std::regex line("page (\\d+) = (\\d+ \\d+ R)");
        for (std::sregex_iterator it(out.output.begin(), out.output.end(), line), end; it != end; ++it) {
            pageOfObject[(*it)[2]] = std::stoi((*it)[1]);
        }
    }
    const testing::ProgramOutput dests = runProgram({"mutool", "show", ManualPdf, "pages/2/Annots/*/Dest"});
    ASSERT_EQ(dests.exitCode, 0) << dests.output;
    std::vector<int> linked;
    const std::regex dest("\\[ (\\d+ \\d+ R) /XYZ");
    for (std::sregex_iterator it(dests.output.begin(), dests.output.end(), dest), end; it != end; ++it) {
        linked.push_back(pageOfObject.at((*it)[1]));
    }
    // Two links per line: the heading and its page number.
    ASSERT_EQ(linked.size(), 2 * (items.size() - 1));
    const std::string contents = pdfText({"-layout", "-f", "2", "-l", "2"});
    for (std::size_t i = 1; i < items.size(); ++i) {
        SCOPED_TRACE(items[i].first);
        EXPECT_EQ(linked[2 * (i - 1)], items[i].second);
        EXPECT_EQ(linked[2 * (i - 1) + 1], items[i].second);
        const std::string title = items[i].first.substr(items[i].first.find(' ') + 1);
        const std::regex entry(
            std::regex_replace(title, std::regex("[.*+?()\\[\\]]"), "\\$&") + " +" +
            std::to_string(items[i].second) + "\\n");
        EXPECT_TRUE(std::regex_search(contents, entry)) << contents;
    }
}

TEST(ManualTest, TextHasEveryHeadingAndNumberedPages)
{
    EXPECT_NE(pdfText({"-l", "1"}).find("Folvex"), std::string::npos);
    // The chapters after the contents page, blanks collapsed as the text tool spaces them freely.
    const std::string text = std::regex_replace(pdfText({"-f", "3"}), std::regex("[ \\t]+"), " ");
    for (const Heading& heading : sourceHeadings()) {
        EXPECT_NE(text.find(heading.number + " " + heading.text + "\n"), std::string::npos) << heading.text;
    }
    // Umlauts and guillemets come through as the characters themselves.
    EXPECT_NE(text.find("»Rückseiten scannen«"), std::string::npos);
    const int pages = pageCount();
    for (int page = 1; page <= pages; ++page) {
        const std::string pageText = pdfText({"-f", std::to_string(page), "-l", std::to_string(page)});
        const bool numbered = pageText.find("Seite " + std::to_string(page) + "\n") != std::string::npos;
        EXPECT_EQ(numbered, page > 1) << "page " << page;
    }
}

} // namespace
} // namespace folvex
