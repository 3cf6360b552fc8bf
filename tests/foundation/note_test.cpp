#include "foundation/note.h"

#include "support/fakes.h"

#include <gtest/gtest.h>

namespace folvex {
namespace {

TEST(ShowNoteTest, ConvertsEscapesAndShowsByMode)
{
    testing::ScopedFakeEffects fakes;
    fakes.messages.queueAnswer(MessageAnswer::Ok);
    EXPECT_EQ(ShowNote("a\\nb \\qc\\q", 0), 0);
    ASSERT_EQ(fakes.messages.shown.size(), 1u);
    EXPECT_EQ(fakes.messages.shown[0].title, "Hinweis");
    EXPECT_EQ(fakes.messages.shown[0].text, "a\rb \"c\"");
    EXPECT_EQ(fakes.messages.shown[0].buttons, MessageButtons::Ok);

    EXPECT_EQ(ShowNote("nichts", 2), 0);
    EXPECT_EQ(fakes.messages.shown.size(), 1u);
}

TEST(ShowNoteTest, CancelInModeOneEndsTheProgramAtOnce)
{
    testing::ScopedFakeEffects fakes;
    fakes.messages.queueAnswer(MessageAnswer::Ok);
    ShowNote("weiter", 1);
    EXPECT_TRUE(fakes.exit.codes.empty());

    fakes.messages.queueAnswer(MessageAnswer::Cancel);
    EXPECT_THROW(ShowNote("Ende", 1), testing::ProgramEnded);
    EXPECT_EQ(fakes.exit.codes, std::vector<int>{-1});
    EXPECT_EQ(fakes.messages.shown.back().buttons, MessageButtons::OkCancel);
}

} // namespace
} // namespace folvex
