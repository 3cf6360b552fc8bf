#pragma once
// The page editor's window "Seiten bearbeiten": its controls, the thumbnail area with a thumbnail, a
// caption and a split toggle per page, the thumbnails built on worker threads, the first event loop
// ("Anwenden", "Abbruch", Esc and the close request) and the release of everything at its end. The
// model (page table, turns, toggles, apply and cancel) lives in PageEditorModel. GUI thread.

#include "components/owner_drawn_button_table.h"
#include "foundation/freeimage_binding.h"
#include "foundation/image_file_ops.h"
#include "imageops/page_op_context.h"
#include "pageeditor/editor_controller.h"
#include "pageeditor/editor_layout.h"
#include "pageeditor/page_editor_model.h"
#include "pageeditor/thumbnail_build.h"
#include "runtime/subclass.h"
#include "runtime/worker_pool.h"
#include "shell/arc_face_sets.h"
#include "shell/shell_state.h"

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

class QFontMetrics;

namespace folvex {

inline constexpr const char* EditorWindowTitle = "Seiten bearbeiten";
inline constexpr const char* ApplyTooltipDeleting =
    "wendet die Änderungen physisch an und löscht leere Seiten";
inline constexpr const char* ApplyTooltip = "wendet die Änderungen physisch an";
inline constexpr const char* CancelTooltip = "verwirft die Änderungen";
inline constexpr const char* WhitePickTooltip = "Farbwerte für Weißpunkt aus Grafik abgreifen";
inline constexpr const char* BlackPickTooltip = "Farbwerte für Schawrzpunkt aus Grafik abgreifen";
// The question before a close request of the window throws pending edits away; its second button,
// the default, keeps editing.
inline constexpr const char* DiscardQuestionText =
    "Die Änderungen an den Seiten sind noch nicht angewendet.\\n\\nSollen sie verworfen werden?";
inline constexpr const char* DiscardQuestionButtons = "&Verwerfen|&Weiter bearbeiten";

// The tooltip of "Anwenden": the deleting text only with "leere Seiten entfernen" checked (state 1)
// and DelEmptyOnEdit on.
const char* applyTooltipText(int discardBlankState, std::int32_t DelEmptyOnEdit);

// What the editor takes from the shell; the shell fills it once at start-up.
struct PageEditorContext
{
    ShellState& shell;
    const FreeImageFunctionTable& functions;
    Handle ButtonFont = NoHandle;
    Handle DialogFont = NoHandle;
    ODBProperties& ButtonFaceProps;
    const std::array<int, ShellArcFaceSets.size()>& ShellArcSets;
    SubclassProc clickProc = nullptr;
    Handle MarkedPageMenu = NoHandle;
    // The state of "leere Seiten entfernen" (1 checked) and the destination type's text, read when the
    // editor opens.
    std::function<int()> discardBlankState;
    std::function<std::string()> destinationTypeText;
    WorkerPool& pool;
};

class PageEditorWindow;

// Called once the thumbnails stand and before the loop waits for the first event (tests queue their
// clicks there; the event loop of the page commands takes over here).
using PageEditorReadyHook = std::function<void(PageEditorWindow&)>;
void setPageEditorReadyHook(PageEditorReadyHook hook);

// The page editor on the page files of TmpPath. Returns 1.
std::int32_t EditPages(PageEditorContext& context, std::int32_t detectBlank, std::uint8_t& emptyRemoved);

// One run of the editor: the window, its controls and the per-page widgets and images.
class PageEditorWindow final : public EditorUi, private EditorView
{
public:
    PageEditorWindow(PageEditorContext& context, std::int32_t detectBlank);
    ~PageEditorWindow() override;
    PageEditorWindow(const PageEditorWindow&) = delete;
    PageEditorWindow& operator=(const PageEditorWindow&) = delete;

    // Opens the window and makes its controls, collects the pages and shows the refusals. False when
    // the editor is refused.
    bool open();

    // Builds the thumbnails of all pages (page −1) or rebuilds one page.
    void BuildThumbnails(std::int32_t page, bool blankTest);

    // Turns the thumbnail of an unmarked page by a quarter turn without reloading it.
    void RenderOneThumbnail(std::int32_t page, bool right);

    // Turns the thumbnail of a page by its free angle, on white and cut back to its size, and makes its
    // button anew.
    void showAngleThumbnail(std::int32_t page);

    // Writes the captions anew from the split toggles (types with toggles only).
    void RelabelThumbnails();

    // Places the thumbnails of positions lo .. hi at their cells again after a move.
    void relayout(std::int32_t lo, std::int32_t hi);

    // Moves the page of position src to dst with its row, turns, angle, thumbnail image and bitmap,
    // and lays out the positions between anew (which drains the pending events). Positions outside
    // 1 .. PageCount or src = dst do nothing.
    void movePage(std::int32_t src, std::int32_t dst);

    // After the options dialog: takes the thumbnail size of the settings when one thumbnail still fits
    // a row, computes the columns again and builds all thumbnails anew. False (and the grid as it
    // was) when it does not fit.
    bool applyThumbnailSize();

    // Runs the loop until "Anwenden" or a cancel ends it.
    void runLoop(std::uint8_t& emptyRemoved);

    // Releases the per-page widgets and images, the tooltips and closes the window.
    void close();

    PageEditorModel& model() { return m_model; }

    Handle window() const { return m_window; }

    Handle thumbnailArea() const { return m_area; }

    // Where the controls and the thumbnail area were put.
    const EditorLayout& layout() const { return m_layout; }

    // The handles of the 33 controls in the order they were made.
    const std::vector<Handle>& controls() const { return m_controls; }

    const std::vector<Handle>& tooltips() const { return m_tooltips; }

    // Per page position (1-based; entry 0 unused).
    Handle thumbnailButton(std::int32_t page) const;
    Handle splitToggle(std::int32_t page) const;
    Handle caption(std::int32_t page) const;
    FIBITMAP* thumbnailImage(std::int32_t page) const;
    Handle thumbnailBitmap(std::int32_t page) const;

    // Every wait text shown, in order.
    const std::vector<std::string>& waitTexts() const { return m_waitTexts; }

    // How often the pages were tested for blankness.
    int blankTests() const { return m_blankTests; }

    // EditorUi.
    void openWait(const std::string& text) override;
    void setWaitText(const std::string& text) override;
    void closeWait() override;
    void showNote(const std::string& text) override;
    bool escapeDown() override;
    void pauseMs(int ms) override;

private:
    // EditorView: the loop's view of this window.
    bool buttonClicked(EditorButton button) override;

    bool escapeDownInEditor() override;

    Handle thumbnailHandle(std::int32_t page) override { return thumbnailButton(page); }

    // The rebuild drains the pending events too, so clicks made meanwhile are tested before the next wait.
    void rebuildThumbnail(std::int32_t page) override
    {
        BuildThumbnails(page, false);
        m_drained = true;
    }

    void renderOneThumbnail(std::int32_t page, bool right) override { RenderOneThumbnail(page, right); }

    void showFreeAngleThumbnail(std::int32_t page) override { showAngleThumbnail(page); }

    void showContextMenu(const std::vector<PopupEntry>& menu) override;
    void showMarkedPageMenu() override;
    std::string
    askText(const std::string& title, const std::string& prompt, const std::string& initial) override;
    bool confirmDiscard() override;
    void drainEvents() override;
    void dropOneEvent() override;
    void cancelEdits() override;
    void applyEdits() override;

    bool dragIfPressed() override;

    bool isWhitePick(Handle control) override;
    bool isBlackPick(Handle control) override;

    void pickWhitePoint() override { pickPoint(true); }

    void pickBlackPoint() override { pickPoint(false); }

    void showLargeView(std::int32_t page) override;

    void showOptions() override;
    void openInExternalEditor(std::int32_t page, std::int32_t k) override;

    std::int32_t splitToggleOf(Handle control) override;

    void relabelThumbnails() override { RelabelThumbnails(); }

    struct PageWidgets
    {
        Handle button = NoHandle;
        Handle bitmap = NoHandle;
        FreeImageBitmap image;
        Handle caption = NoHandle;
        Handle toggle = NoHandle;
    };

    void createControls();
    // Shortens the hint label's text to its width where it is too long, with the whole as tooltip.
    void showHint(Handle label, const QFontMetrics& metrics, std::int32_t widthPx);
    // Picks a colour from the screen into the three fields of the white or the black point.
    void pickPoint(bool white);
    void growPages();
    ThumbnailJob jobFor(std::int32_t page, bool blankTest) const;
    void showThumbnail(std::int32_t page, ThumbnailResult&& result);
    void placeButton(std::int32_t page);
    void createButton(std::int32_t page, const char* art, const std::string& text, std::intptr_t opt);
    void makeSplitToggle(std::int32_t page);
    void destroyButton(std::int32_t page);
    void releasePage(std::int32_t page);
    bool togglesShown() const;

    PageEditorContext& m_context;
    ImageFileOps m_files;
    PageEditorModel m_model;
    Handle m_window = NoHandle;
    Handle m_area = NoHandle;
    Handle m_panel = NoHandle;
    Handle m_captionFont = NoHandle;
    std::int32_t m_clientWidth = 0;
    std::int32_t m_clientHeight = 0;
    EditorLayout m_layout;
    std::vector<Handle> m_controls;
    std::vector<Handle> m_tooltips;
    std::vector<PageWidgets> m_pages;
    std::vector<std::string> m_waitTexts;
    bool m_waitOpen = false;
    int m_blankTests = 0;
    // Loop state: whether the current event is Esc in this window, whether events were drained during
    // the last command, and where "Anwenden" reports removed blank pages.
    bool m_escapeEvent = false;
    bool m_drained = false;
    std::uint8_t* m_emptyRemoved = nullptr;
};

} // namespace folvex
