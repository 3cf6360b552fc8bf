#pragma once
// Reordering pages by dragging a thumbnail: the judgement of one press of the left button from samples
// of the button and the pointer (a click, a drag and where it ends), and the polling run of that press
// through a small port the editor window implements. Pure apart from the port; GUI thread.

#include "pageeditor/thumbnail_grid.h"

#include <cstdint>
#include <vector>

namespace folvex {

// A press becomes a drag once the pointer is this far from the press point in x or in y.
inline constexpr std::int32_t DragDistancePx = 30;
inline constexpr int DragPollMs = 20;
// The poll while waiting for the release of a press on no thumbnail.
inline constexpr int ReleasePollMs = 25;
inline constexpr int DragBeepHz = 1000;
inline constexpr int DragBeepMs = 100;

// One look at the left button and the pointer, relative to the top-left corner of the thumbnail
// area (its border included), with the area's vertical scroll position at that moment.
struct PointerSample
{
    bool leftDown = false;
    std::int32_t x = 0;
    std::int32_t y = 0;
    std::int32_t scrollY = 0;
};

enum class DragState
{
    NotPressed,      // the button is up or the pointer is outside the area: the branch is not taken
    AwaitingRelease, // pressed on no thumbnail: nothing happens until the release
    Released,        // that press ended
    Judging,         // pressed on a thumbnail, the pointer still near the press point
    Clicked,         // released before the pointer went far enough: a click on the thumbnail
    Dragging,        // the pointer went far enough with the button held
    Dropped,         // the drag ended with the release
};

// The states a press goes through, one sample at a time. The first sample is the press itself; a
// sample after an end state changes nothing.
class DragJudge
{
public:
    DragJudge(const ThumbnailGrid& grid, std::int32_t areaWidth, std::int32_t areaHeight)
        : m_grid(grid)
        , m_areaWidth(areaWidth)
        , m_areaHeight(areaHeight)
    {}

    DragState next(const PointerSample& sample);

    DragState state() const { return m_state; }

    // The dragged page's position; 0 before a press on a thumbnail.
    std::int32_t src() const { return m_src; }

    // The position under the release point of a drag, through the whole scrolled grid; 0 on none.
    std::int32_t dst() const { return m_dst; }

    // A dropped drag moves the page when it ended on another thumbnail.
    bool moves() const { return m_state == DragState::Dropped && m_dst != 0 && m_dst != m_src; }

private:
    ThumbnailGrid m_grid;
    std::int32_t m_areaWidth;
    std::int32_t m_areaHeight;
    DragState m_state = DragState::NotPressed;
    std::int32_t m_pressX = 0;
    std::int32_t m_pressY = 0;
    std::int32_t m_src = 0;
    std::int32_t m_dst = 0;
};

// What a press comes to over a series of samples.
struct DragJudgement
{
    DragState state = DragState::NotPressed; // the last state reached
    std::int32_t src = 0;
    std::int32_t dst = 0;
    bool move = false;

    bool operator==(const DragJudgement&) const = default;
};

DragJudgement judgeDrag(
    const std::vector<PointerSample>& samples,
    const ThumbnailGrid& grid,
    std::int32_t areaWidth,
    std::int32_t areaHeight);

enum class DragCursor
{
    Arrow,   // the editor window's cursor when no press is judged
    Hand,    // the editor window's cursor while a press is judged
    SizeAll, // the cursor during a drag, over every window
};

// The editor window as a drag needs it.
class DragPort
{
public:
    virtual ~DragPort() = default;

    virtual PointerSample sample() = 0;
    // Waits ms milliseconds; the windows keep painting, window events stay queued.
    virtual void pause(int ms) = 0;
    virtual void setCursor(DragCursor cursor) = 0;
    virtual void beep(int frequencyHz, int durationMs) = 0;
    // Moves the page of src to dst with everything that belongs to it, lays out the thumbnails of the
    // positions between anew, and drains the pending window events.
    virtual void movePage(std::int32_t src, std::int32_t dst) = 0;
    // Takes and drops every pending window event.
    virtual void drainEvents() = 0;
};

// The drag branch of the editor's loop: when the left button is held over the thumbnail area, polls
// the press to its end (a click is left to the click handling, a drag moves the page) and returns
// true; false when the branch is not taken. DragInProgress is 1 from the start of a drag until its
// events are drained.
bool runPageDrag(
    DragPort& port,
    const ThumbnailGrid& grid,
    std::int32_t areaWidth,
    std::int32_t areaHeight,
    std::uint8_t& DragInProgress);

} // namespace folvex
