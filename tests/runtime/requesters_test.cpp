#include "runtime/requesters.h"

#include "support/fakes.h"

#include <gtest/gtest.h>

namespace folvex {
namespace {

TEST(FilePatternsTest, SplitsDescriptionsAndPatterns)
{
    struct Case
    {
        const char* label;
        const char* patterns;
        std::vector<std::pair<std::string, std::vector<std::string>>> entries;
    };

    const Case cases[] = {
        {"one entry, several patterns",
         "Grafik-Dateien|*.JPG;*.JPEG;*.BMP",
         {{"Grafik-Dateien", {"*.JPG", "*.JPEG", "*.BMP"}}}},
        {"two entries",
         "PDF-Dateien (*.pdf)|*.pdf|Alle|*.*",
         {{"PDF-Dateien (*.pdf)", {"*.pdf"}}, {"Alle", {"*.*"}}}},
        {"empty patterns dropped", "TIF|*.tif;;", {{"TIF", {"*.tif"}}}},
        {"description alone shows everything", "Alles", {{"Alles", {"*"}}}},
        {"empty", "", {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        const std::vector<FilePattern> parsed = parseFilePatterns(c.patterns);
        ASSERT_EQ(parsed.size(), c.entries.size());
        for (std::size_t i = 0; i < parsed.size(); ++i) {
            EXPECT_EQ(parsed[i].description, c.entries[i].first);
            EXPECT_EQ(parsed[i].patterns, c.entries[i].second);
        }
    }
}

TEST(OpenFileRequesterTest, YieldsTheChosenFilesOneAtATime)
{
    struct Case
    {
        const char* label;
        bool multiple;
        std::vector<std::string> chosen;
        std::vector<std::string> yielded;
    };

    const Case cases[] = {
        {"multiple", true, {"/a/1.jpg", "/a/2.jpg", "/b/3.png"}, {"/a/1.jpg", "/a/2.jpg", "/b/3.png"}},
        {"single keeps the first", false, {"/a/1.jpg", "/a/2.jpg"}, {"/a/1.jpg"}},
        {"cancelled", true, {}, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        testing::ScopedFakeEffects fakes;
        fakes.files.queueAnswer(c.chosen);
        FileRequest request;
        request.title = "externe Grafikdateien als Input benutzen";
        request.patterns = "Grafik-Dateien|*.JPG";
        request.multiple = c.multiple;

        std::vector<std::string> yielded;
        for (std::string path = openFileRequester(request); !path.empty(); path = nextSelectedFile()) {
            yielded.push_back(path);
        }
        EXPECT_EQ(yielded, c.yielded);
        EXPECT_EQ(nextSelectedFile(), "");
        ASSERT_EQ(fakes.files.dialogs.size(), 1u);
        EXPECT_EQ(fakes.files.dialogs[0].kind, testing::FileDialogKind::Open);
        EXPECT_EQ(fakes.files.dialogs[0].request.title, request.title);
        EXPECT_EQ(fakes.files.dialogs[0].request.multiple, c.multiple);
    }
}

TEST(OpenFileRequesterTest, ANewDialogForgetsTheRestOfTheLastChoice)
{
    testing::ScopedFakeEffects fakes;
    fakes.files.queueAnswer(std::vector<std::string>{"/a/1", "/a/2"});
    fakes.files.queueAnswer(std::vector<std::string>{});
    FileRequest request;
    request.multiple = true;
    EXPECT_EQ(openFileRequester(request), "/a/1");
    EXPECT_EQ(openFileRequester(request), "");
    EXPECT_EQ(nextSelectedFile(), "");
}

} // namespace
} // namespace folvex
