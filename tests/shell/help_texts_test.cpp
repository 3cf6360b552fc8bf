#include "shell/help_texts.h"

#include "components/action_box_internal.h"
#include "runtime/input_state.h"
#include "support/action_box_fakes.h"
#include "support/byte_compare.h"
#include "support/fakes.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <QScrollBar>
#include <QTimer>
#include <QWidget>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

namespace folvex {
namespace {

using testing::ScriptedActionBoxAnswerer;
using testing::TempDir;

// The texts the build's licence step takes from the system's packages.
const std::string ImageLibrarySource = "/usr/share/doc/libfreeimage3/copyright";
const std::string ScannerLibrarySource = "/usr/share/doc/libsane1/copyright";
const std::string ProgramLicenceSource = "/usr/share/common-licenses/Apache-2.0";

std::string withCr(std::string text)
{
    std::replace(text.begin(), text.end(), '\n', '\r');
    return text;
}

std::vector<std::string> linesOf(const std::string& text, char separator)
{
    std::vector<std::string> lines;
    std::istringstream stream(text);
    std::string line;
    while (std::getline(stream, line, separator)) {
        lines.push_back(line);
    }
    return lines;
}

// A program folder holding the build's Licenses folder.
class LicenceTest : public ::testing::Test
{
protected:
    LicenceTest()
    {
        std::filesystem::copy(
            FOLVEX_LICENCE_DIR, programDir.path() / "Licenses", std::filesystem::copy_options::recursive);
    }

    TempDir programDir;
    testing::ScopedFakeEffects fakeEffects;
    ScriptedActionBoxAnswerer answerer;
};

TEST_F(LicenceTest, EachLicenceShowsItsTextUnderItsTitle)
{
    const std::string copiedImageLicence =
        testing::readFile(programDir.file("Licenses/LICENSE_FREEIMAGE.txt"));
    ASSERT_FALSE(copiedImageLicence.empty());

    const struct
    {
        int which;
        const char* title;
        std::string text;
    } cases[] = {
        {1, "Folvex-Lizenz", withCr(testing::readFile(ProgramLicenceSource))},
        {2, "DTwain-Lizenz", withCr(testing::readFile(ScannerLibrarySource))},
        {3, "FreeImage-Lizenz", copiedImageLicence},
    };

    for (const auto& c : cases) {
        SCOPED_TRACE(c.title);
        ASSERT_GT(c.text.size(), 1000U);
        answerer.shown.clear();
        answerer.queueAnswer(1);
        ShowLicence(c.which, programDir.folder());
        ASSERT_EQ(answerer.shown.size(), 1U);
        EXPECT_EQ(answerer.shown[0].Title, c.title);
        EXPECT_TRUE(testing::sameBytes(answerer.shown[0].Text, c.text));
        EXPECT_EQ(answerer.shown[0].Buttons, "Ok");
    }
    EXPECT_TRUE(fakeEffects.messages.shown.empty());
}

TEST_F(LicenceTest, ScannerLibraryLicenceBreaksItsLinesAtCarriageReturns)
{
    answerer.queueAnswer(1);
    ShowLicence(2, programDir.folder());
    ASSERT_EQ(answerer.shown.size(), 1U);
    const std::string& shown = answerer.shown[0].Text;
    EXPECT_EQ(shown.find('\n'), std::string::npos);
    const std::vector<std::string> expected = linesOf(testing::readFile(ScannerLibrarySource), '\n');
    const std::vector<std::string> lines = linesOf(shown, '\r');
    ASSERT_GE(lines.size(), 3U);
    for (std::size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(lines[i], expected[i]);
    }
    EXPECT_EQ(lines.size(), expected.size());
}

// The real box, no stand-in: each licence is split and wrapped into lines by the box itself, which
// opens without its guard's diagnostic and scrolls through the whole text.
TEST_F(LicenceTest, RealBoxShowsEachWholeLicenceWithoutTheGuard)
{
    installInputState();

    const struct
    {
        int which;
        const char* title;
        std::string source;
    } cases[] = {
        {1, "Folvex-Lizenz", ProgramLicenceSource},
        {2, "DTwain-Lizenz", ScannerLibrarySource},
        {3, "FreeImage-Lizenz", ImageLibrarySource},
    };

    setActionBoxAnswerer(nullptr);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.title);
        const std::size_t sourceLines = linesOf(testing::readFile(c.source), '\n').size();
        ASSERT_GT(sourceLines, 100U);
        QString shownTitle;
        int scrollMaximum = -1;
        QTimer closer;
        QObject::connect(&closer, &QTimer::timeout, [&] {
            QWidget* box = openActionBoxWindow();
            if (box == nullptr || !box->isVisible()) {
                return;
            }
            shownTitle = box->windowTitle();
            if (auto* bar = box->findChild<QScrollBar*>(QStringLiteral("ActionBoxScrollBar"))) {
                scrollMaximum = bar->maximum();
            }
            closer.stop();
            box->close();
        });
        closer.start(5);
        ShowLicence(c.which, programDir.folder());
        EXPECT_EQ(shownTitle.toStdString(), c.title);
        // Every line of the file is one line of the box or more; the scroll range covers all but the
        // last page of them.
        EXPECT_GT(scrollMaximum, static_cast<int>(sourceLines) - 100);
        EXPECT_TRUE(fakeEffects.messages.shown.empty());
    }
}

TEST_F(LicenceTest, OtherNumbersShowNothing)
{
    for (const int which : {0, 4, -1, 255}) {
        ShowLicence(which, programDir.folder());
    }
    EXPECT_TRUE(answerer.shown.empty());
    EXPECT_TRUE(fakeEffects.messages.shown.empty());
}

TEST_F(LicenceTest, MissingOrUnreadableFileGivesTheNoteAndNoBox)
{
    const std::string dtwain = programDir.file("Licenses/LICENSE_DTWAIN.txt");
    const std::string freeImage = programDir.file("Licenses/LICENSE_FREEIMAGE.txt");
    std::filesystem::remove(dtwain);
    // A folder in place of the file cannot be read as one.
    std::filesystem::remove(freeImage);
    std::filesystem::create_directory(freeImage);
    for (const auto& [which, path] : {std::pair{2, dtwain}, std::pair{3, freeImage}}) {
        SCOPED_TRACE(path);
        fakeEffects.messages.shown.clear();
        fakeEffects.messages.queueAnswer(MessageAnswer::Ok);
        ShowLicence(which, programDir.folder());
        ASSERT_EQ(fakeEffects.messages.shown.size(), 1U);
        const testing::RecordedMessage& note = fakeEffects.messages.shown[0];
        EXPECT_EQ(note.title, "Hinweis");
        EXPECT_EQ(note.text, "Die Lizenzdatei »" + path + "« wurde nicht gefunden.");
        EXPECT_EQ(note.buttons, MessageButtons::Ok);
    }
    EXPECT_TRUE(answerer.shown.empty());
}

TEST(AboutBoxTest, ShowsTheVersionWithASingleOk)
{
    const struct
    {
        std::size_t pointerBytes;
        const char* bits;
    } cases[] = {{8, "64bit"}, {4, "32bit"}};

    for (const auto& c : cases) {
        SCOPED_TRACE(c.bits);
        ScriptedActionBoxAnswerer answerer;
        answerer.queueAnswer(1);
        AboutBox(c.pointerBytes);
        ASSERT_EQ(answerer.shown.size(), 1U);
        const ActionBoxParams& box = answerer.shown[0];
        EXPECT_EQ(box.Title, "Über Folvex");
        EXPECT_EQ(box.ButtonCount, 1);
        EXPECT_EQ(box.Buttons, "Ok");
        EXPECT_EQ(box.Icon, 1);
        EXPECT_EQ(
            box.Text,
            std::string("Folvex V4.23a ") + c.bits +
                " (build 176)\\nScannen, Bearbeiten, Speichern\\n\\nFolvex verwendet die Bildbibliothek "
                "FreeImage (https://freeimage.sourceforge.io), die Scannerschnittstelle SANE und für "
                "durchsuchbare PDFs Tesseract.\\n\\nDie Lizenzen stehen im Menü Hilfe.");
    }
}

// The longest line of a text: a line no other file would hold by chance.
std::string longestLine(const std::string& text)
{
    std::string longest;
    for (const std::string& line : linesOf(text, '\n')) {
        if (line.size() > longest.size()) {
            longest = line;
        }
    }
    return longest;
}

TEST(LicenceBuildTest, BuildTreeHoldsThePackagesTextsAndTheRepositoryNone)
{
    const std::string imageSource = testing::readFile(ImageLibrarySource);
    std::string crlf;
    for (const char c : imageSource) {
        crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
    }
    const std::string licences = std::string(FOLVEX_LICENCE_DIR) + "/";
    EXPECT_TRUE(testing::sameBytes(testing::readFile(licences + "LICENSE_FREEIMAGE.txt"), crlf));
    EXPECT_TRUE(testing::sameBytes(
        testing::readFile(licences + "LICENSE_DTWAIN.txt"), testing::readFile(ScannerLibrarySource)));
    EXPECT_TRUE(
        testing::sameBytes(std::string(programLicenceText()), testing::readFile(ProgramLicenceSource)));

    const std::string source = FOLVEX_SOURCE_TREE;
    const std::string command = "git -C '" + source + "' ls-files 2>/dev/null";
    std::unique_ptr<FILE, int (*)(FILE*)> pipe(::popen(command.c_str(), "r"), ::pclose);
    ASSERT_NE(pipe, nullptr);
    std::string listing;
    char buffer[4096];
    std::size_t got = 0;
    while ((got = std::fread(buffer, 1, sizeof buffer, pipe.get())) > 0) {
        listing.append(buffer, got);
    }
    const std::vector<std::string> tracked = linesOf(listing, '\n');
    if (tracked.empty()) {
        GTEST_SKIP() << "the sources are not a git checkout";
    }
    for (const std::string& licence : {ImageLibrarySource, ScannerLibrarySource, ProgramLicenceSource}) {
        const std::string mark = longestLine(testing::readFile(licence));
        ASSERT_GT(mark.size(), 60U) << licence;
        for (const std::string& file : tracked) {
            EXPECT_EQ(testing::readFile(source + "/" + file).find(mark), std::string::npos)
                << file << " holds a copy of " << licence;
        }
    }
}

} // namespace
} // namespace folvex
