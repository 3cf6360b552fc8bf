// The page editor window's side of reordering by drag: the pointer and button samples, the cursors,
// the beep, and moving a page's thumbnail image and bitmap with it before its positions are laid out
// anew.

#include "foundation/window_routines.h"
#include "pageeditor/page_drag.h"
#include "pageeditor/page_editor_window_qt.h"
#include "runtime/effects.h"
#include "runtime/input_state.h"
#include "runtime/object_registry.h"
#include "runtime/window_events.h"

#include <QApplication>
#include <QScrollArea>
#include <QScrollBar>

#include <algorithm>
#include <utility>

namespace folvex {

namespace {

// The pointer relative to the thumbnail area's outer rectangle: no frame (1) and no menu (4) taken off.
constexpr int AreaPointerFlags = 1 + 4;

} // namespace

void PageEditorWindow::movePage(std::int32_t src, std::int32_t dst)
{
    const std::int32_t count = m_model.PageCount();
    if (src < 1 || dst < 1 || src > count || dst > count || src == dst) {
        return;
    }
    const std::int32_t lo = std::min(src, dst);
    const std::int32_t hi = std::max(src, dst);
    for (std::int32_t p = lo; p <= hi; ++p) {
        destroyButton(p);
    }
    m_model.MovePage(src, dst);
    // The image and bitmap travel with the page by exchanges of neighbours; the captions and toggles
    // stay with their positions.
    const auto exchange = [this](std::int32_t a, std::int32_t b) {
        PageWidgets& first = m_pages[static_cast<std::size_t>(a)];
        PageWidgets& second = m_pages[static_cast<std::size_t>(b)];
        std::swap(first.image, second.image);
        std::swap(first.bitmap, second.bitmap);
    };
    const std::int32_t step = src < dst ? 1 : -1;
    for (std::int32_t p = src; p != dst; p += step) {
        exchange(p, p + step);
    }
    relayout(lo, hi);
}

bool PageEditorWindow::dragIfPressed()
{
    if (m_area == NoHandle) {
        return false;
    }

    class WindowDragPort final : public DragPort
    {
    public:
        explicit WindowDragPort(PageEditorWindow& editor)
            : m_editor(editor)
        {}

        ~WindowDragPort() override { restoreOverride(); }

        PointerSample sample() override
        {
            const Handle area = m_editor.m_area;
            PointerSample sample;
            sample.leftDown = KeyIsDown(VkLeftButton);
            sample.x = WindowMouseX(area, 0, AreaPointerFlags);
            sample.y = WindowMouseY(area, 0, AreaPointerFlags);
            if (auto* scroll = qobject_cast<QScrollArea*>(findWidget(area))) {
                sample.scrollY = scroll->verticalScrollBar()->value();
            }
            return sample;
        }

        void pause(int ms) override { Delay(ms); }

        void setCursor(DragCursor cursor) override
        {
            QWidget* window = findWidget(m_editor.m_window);
            if (cursor == DragCursor::SizeAll) {
                QApplication::setOverrideCursor(Qt::SizeAllCursor);
                m_override = true;
                return;
            }
            restoreOverride();
            if (window != nullptr) {
                window->setCursor(cursor == DragCursor::Hand ? Qt::PointingHandCursor : Qt::ArrowCursor);
            }
        }

        void beep(int frequencyHz, int durationMs) override
        {
            if (effects().sound != nullptr) {
                effects().sound->beep(frequencyHz, durationMs);
            }
        }

        // Both end with the pending events drained: the loop tests the clicked flags and click records
        // once before it waits again.
        void movePage(std::int32_t src, std::int32_t dst) override
        {
            m_editor.movePage(src, dst);
            m_editor.m_drained = true;
        }

        void drainEvents() override { m_editor.drainEvents(); }

    private:
        void restoreOverride()
        {
            if (m_override) {
                QApplication::restoreOverrideCursor();
                m_override = false;
            }
        }

        PageEditorWindow& m_editor;
        bool m_override = false;
    };

    WindowDragPort port(*this);
    return runPageDrag(
        port, m_model.grid(), ClientWidth(m_area), ClientHeight(m_area), m_context.shell.DragInProgress);
}

} // namespace folvex
