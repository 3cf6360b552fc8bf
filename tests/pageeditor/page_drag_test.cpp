#include "pageeditor/page_drag.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace folvex {
namespace {

// Nine pages of edge 100 in three columns; cell p spans x 30 + 130·col .. +100, y 32 + 132·row .. +100.
// The area shows 400 × 300 pixels, so the third row (y 296 ..) lies partly below it.
const ThumbnailGrid Grid{100, 3, 9};
constexpr std::int32_t AreaWidth = 400;
constexpr std::int32_t AreaHeight = 300;

PointerSample down(std::int32_t x, std::int32_t y, std::int32_t scrollY = 0)
{
    return {true, x, y, scrollY};
}

PointerSample up(std::int32_t x, std::int32_t y, std::int32_t scrollY = 0)
{
    return {false, x, y, scrollY};
}

TEST(PageDragTest, JudgesClicksDragsAndWhereTheyEnd)
{
    struct Case
    {
        const char* name;
        std::vector<PointerSample> samples;
        DragJudgement expected;
    };

    const Case cases[] = {
        {"released after 29 px is a click",
         {down(50, 50), down(79, 50), up(79, 50)},
         {DragState::Clicked, 1, 0, false}},
        {"29 px in x and y is still near",
         {down(50, 50), down(79, 21), up(79, 21)},
         {DragState::Clicked, 1, 0, false}},
        {"30 px in x starts a drag",
         {down(50, 50), down(80, 50), up(300, 60)},
         {DragState::Dropped, 1, 3, true}},
        {"30 px upward starts a drag",
         {down(180, 200), down(180, 170), up(50, 50)},
         {DragState::Dropped, 5, 1, true}},
        {"released on the gap beside the grid",
         {down(50, 50), down(50, 90), up(395, 50)},
         {DragState::Dropped, 1, 0, false}},
        {"released on the dragged page itself",
         {down(50, 50), down(90, 90), up(60, 60)},
         {DragState::Dropped, 1, 1, false}},
        {"released below the area on a scrolled-out cell",
         {down(50, 50), down(50, 200), up(180, 320)},
         {DragState::Dropped, 1, 8, true}},
        {"released after the area scrolled",
         {down(50, 50), down(50, 90, 132), up(50, 60, 132)},
         {DragState::Dropped, 1, 4, true}},
        {"a press on no thumbnail waits for its release",
         {down(10, 10), down(200, 200), down(60, 60), up(60, 60)},
         {DragState::Released, 0, 0, false}},
        {"held without moving goes on judging",
         {down(50, 50), down(51, 51), down(50, 50)},
         {DragState::Judging, 1, 0, false}},
        {"the button is up", {up(50, 50), down(50, 50)}, {DragState::NotPressed, 0, 0, false}},
        {"the pointer is right of the area", {down(401, 50)}, {DragState::NotPressed, 0, 0, false}},
        {"the pointer is above the area", {down(50, -1)}, {DragState::NotPressed, 0, 0, false}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(judgeDrag(c.samples, Grid, AreaWidth, AreaHeight), c.expected) << c.name;
    }
}

TEST(PageDragTest, SamplesAfterTheEndChangeNothing)
{
    DragJudge judge(Grid, AreaWidth, AreaHeight);
    judge.next(down(50, 50));
    judge.next(down(50, 90));
    EXPECT_EQ(judge.next(up(180, 60)), DragState::Dropped);
    EXPECT_EQ(judge.next(down(50, 50)), DragState::Dropped);
    EXPECT_EQ(judge.next(up(300, 60)), DragState::Dropped);
    EXPECT_EQ(judge.dst(), 2);
}

// Replays samples and records what the drag does with the window, with DragInProgress at each step.
class ScriptedDragPort final : public DragPort
{
public:
    ScriptedDragPort(std::vector<PointerSample> samples, const std::uint8_t& flag)
        : m_samples(std::move(samples))
        , m_flag(flag)
    {}

    PointerSample sample() override
    {
        // Past the script the button is up where it was last, so a faulty run cannot hang.
        if (m_next < m_samples.size()) {
            return m_samples[m_next++];
        }
        PointerSample last = m_samples.back();
        last.leftDown = false;
        return last;
    }

    void pause(int ms) override { log.push_back("pause " + std::to_string(ms)); }

    void setCursor(DragCursor cursor) override
    {
        log.push_back(
            cursor == DragCursor::Hand      ? "hand"
            : cursor == DragCursor::SizeAll ? "size-all"
                                            : "arrow");
    }

    void beep(int frequencyHz, int durationMs) override
    {
        log.push_back(
            "beep " + std::to_string(frequencyHz) + " " + std::to_string(durationMs) + " flag " +
            std::to_string(m_flag));
    }

    void movePage(std::int32_t src, std::int32_t dst) override
    {
        log.push_back(
            "move " + std::to_string(src) + " " + std::to_string(dst) + " flag " + std::to_string(m_flag));
    }

    void drainEvents() override { log.push_back("drain flag " + std::to_string(m_flag)); }

    std::vector<std::string> log;

private:
    std::vector<PointerSample> m_samples;
    std::size_t m_next = 0;
    const std::uint8_t& m_flag;
};

TEST(PageDragTest, RunPollsThePressAndActsOnItsOutcome)
{
    struct Case
    {
        const char* name;
        std::vector<PointerSample> samples;
        bool taken;
        std::vector<std::string> log;
    };

    const Case cases[] = {
        {"not pressed", {up(50, 50)}, false, {}},
        {"a click leaves the release to the click handling",
         {down(50, 50), down(60, 60), up(60, 60)},
         true,
         {"hand", "pause 20", "pause 20", "arrow"}},
        {"a drag onto another page moves it once, beeping once",
         {down(50, 50), down(50, 80), down(150, 80), up(310, 60)},
         true,
         {"hand",
          "pause 20",
          "beep 1000 100 flag 1",
          "size-all",
          "pause 20",
          "pause 20",
          "arrow",
          "move 1 3 flag 1"}},
        {"a drag onto nothing drains only",
         {down(50, 50), down(50, 80), up(395, 80)},
         true,
         {"hand", "pause 20", "beep 1000 100 flag 1", "size-all", "pause 20", "arrow", "drain flag 1"}},
        {"a press on no thumbnail waits in steps of 25 ms",
         {down(10, 10), down(90, 200), up(90, 200)},
         true,
         {"pause 25", "pause 25"}},
    };
    for (const Case& c : cases) {
        std::uint8_t DragInProgress = 0;
        ScriptedDragPort port(c.samples, DragInProgress);
        EXPECT_EQ(runPageDrag(port, Grid, AreaWidth, AreaHeight, DragInProgress), c.taken) << c.name;
        EXPECT_EQ(port.log, c.log) << c.name;
        EXPECT_EQ(DragInProgress, 0) << c.name;
    }
}

} // namespace
} // namespace folvex
