#include "pageeditor/page_drag.h"

#include <cstdlib>

namespace folvex {

DragState DragJudge::next(const PointerSample& sample)
{
    const auto hit = [&] {
        return m_grid.ThumbnailAtPoint(sample.x, sample.y, GridHitTestMode, sample.scrollY);
    };
    switch (m_state) {
        case DragState::NotPressed:
            if (sample.leftDown && sample.x >= 0 && sample.x <= m_areaWidth && sample.y >= 0 &&
                sample.y <= m_areaHeight) {
                m_pressX = sample.x;
                m_pressY = sample.y;
                m_src = hit();
                m_state = m_src == 0 ? DragState::AwaitingRelease : DragState::Judging;
            }
            break;
        case DragState::AwaitingRelease:
            if (!sample.leftDown) {
                m_state = DragState::Released;
            }
            break;
        case DragState::Judging:
            if (!sample.leftDown) {
                m_state = DragState::Clicked;
            } else if (
                std::abs(m_pressX - sample.x) >= DragDistancePx ||
                std::abs(m_pressY - sample.y) >= DragDistancePx) {
                m_state = DragState::Dragging;
            }
            break;
        case DragState::Dragging:
            if (!sample.leftDown) {
                m_dst = hit();
                m_state = DragState::Dropped;
            }
            break;
        case DragState::Released:
        case DragState::Clicked:
        case DragState::Dropped:
            break;
    }
    return m_state;
}

DragJudgement judgeDrag(
    const std::vector<PointerSample>& samples,
    const ThumbnailGrid& grid,
    std::int32_t areaWidth,
    std::int32_t areaHeight)
{
    DragJudge judge(grid, areaWidth, areaHeight);
    for (const PointerSample& sample : samples) {
        // A sample with the button up and no press before it leaves the branch at once.
        if (judge.next(sample) == DragState::NotPressed) {
            break;
        }
    }
    return {judge.state(), judge.src(), judge.dst(), judge.moves()};
}

bool runPageDrag(
    DragPort& port,
    const ThumbnailGrid& grid,
    std::int32_t areaWidth,
    std::int32_t areaHeight,
    std::uint8_t& DragInProgress)
{
    DragJudge judge(grid, areaWidth, areaHeight);
    const auto pollWhile = [&](DragState state, int ms) {
        while (judge.state() == state) {
            port.pause(ms);
            judge.next(port.sample());
        }
    };
    const DragState start = judge.next(port.sample());
    if (start == DragState::NotPressed) {
        return false;
    }
    if (start == DragState::AwaitingRelease) {
        pollWhile(DragState::AwaitingRelease, ReleasePollMs);
        return true;
    }
    port.setCursor(DragCursor::Hand);
    pollWhile(DragState::Judging, DragPollMs);
    if (judge.state() == DragState::Clicked) {
        // The release is still queued; the click handling turns the page.
        port.setCursor(DragCursor::Arrow);
        return true;
    }
    DragInProgress = 1;
    port.beep(DragBeepHz, DragBeepMs);
    port.setCursor(DragCursor::SizeAll);
    pollWhile(DragState::Dragging, DragPollMs);
    port.setCursor(DragCursor::Arrow);
    // The drain takes the release that ended the drag, which the click handling must not record.
    if (judge.moves()) {
        port.movePage(judge.src(), judge.dst());
    } else {
        port.drainEvents();
    }
    DragInProgress = 0;
    return true;
}

} // namespace folvex
