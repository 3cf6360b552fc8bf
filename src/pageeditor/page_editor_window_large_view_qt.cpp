// The page editor window's side of the large view: the owned window that shows the page and its own
// loop until a left click on the image, the close box or Esc closes it.

#include "foundation/control_creation.h"
#include "foundation/note.h"
#include "foundation/window_routines.h"
#include "pageeditor/large_view.h"
#include "pageeditor/page_editor_window_qt.h"
#include "runtime/controls.h"
#include "runtime/dib.h"
#include "runtime/draw_objects.h"
#include "runtime/input_state.h"
#include "runtime/object_registry.h"
#include "runtime/window_events.h"
#include "runtime/window_messages.h"

#include <QLabel>
#include <QPixmap>

namespace folvex {

namespace {

class LargeViewWindow final : public LargeViewPort
{
public:
    LargeViewWindow(const FreeImageFunctionTable& functions, Handle editorWindow)
        : m_functions(functions)
        , m_editorWindow(editorWindow)
    {}

    std::int32_t screenWidth() override { return ScreenWidth(); }

    std::int32_t screenHeight() override { return ScreenHeight(); }

    void showImage(FIBITMAP* image) override
    {
        const Handle bitmap = FreeImageToHBitmap(m_functions, image);
        const DibBitmap* dib = findImage(bitmap);
        if (dib == nullptr) {
            return;
        }
        DialogWindowOptions options;
        options.owner = mainWindowHandle();
        options.placement = DialogPlacement::CentreOnScreen;
        options.closeBox = true;
        const Handle view = openDialogWindow(LargeViewTitle, dib->width, dib->height, options);
        if (view != NoHandle) {
            auto* label = new QLabel(findWidget(view));
            label->setGeometry(0, 0, dib->width, dib->height);
            label->setPixmap(QPixmap::fromImage(imageOfDib(*dib)));
            label->show();
            const Handle picture = registerObject(label, ObjectKind::Control);
            RequestButtonUpEvents(picture, false);
            waitForClose(view, picture);
            closeDialogWindow(view);
        }
        FreeHBitmap(bitmap);
    }

    void showNote(const std::string& text) override { ShowNote(text, 0, m_editorWindow); }

private:
    static void waitForClose(Handle view, Handle picture)
    {
        for (;;) {
            const auto kind = static_cast<EventKind>(WaitWindowEvent(-1));
            if (kind == EventKind::LeftButtonUp && EventControl() == picture) {
                return;
            }
            if (kind == EventKind::CloseWindow && EventWindow() == view) {
                return;
            }
            if (kind == EventKind::Key && EventType() == VkEscape && EventWindow() == view) {
                // The editor takes an Esc held while it is in front as "Abbruch".
                while (KeyIsDown(VkEscape)) {
                    Delay(LargeViewEscPollMs);
                }
                return;
            }
        }
    }

    const FreeImageFunctionTable& m_functions;
    Handle m_editorWindow;
};

} // namespace

void PageEditorWindow::showLargeView(std::int32_t page)
{
    LargeViewWindow port(m_context.functions, m_window);
    ShowPageLarge(
        m_context.functions, port, page, m_model.turns(page), m_model.state().table, m_model.angle(page));
    if (QWidget* window = findWidget(m_window)) {
        window->activateWindow();
    }
}

} // namespace folvex
