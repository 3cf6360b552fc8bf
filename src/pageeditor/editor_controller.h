#pragma once
// The page editor's event loop without a window: what one event does, in the fixed order in which the
// loop tests its conditions, the page a click or a context-menu command refers to, the contents of the
// page's context menu, and the page commands and page operations with their wait texts. The window
// maps its events, owner-drawn buttons, menus and requesters onto the ports below. GUI thread.

#include "foundation/freeimage_binding.h"
#include "imageops/straighten.h"
#include "pageeditor/page_editor_model.h"
#include "runtime/subclass.h"
#include "shell/settings.h"
#include "shell/shell_state.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace folvex {

inline constexpr std::int32_t ExternalEditorMenuBase = 10000;

// The owner-drawn buttons the loop polls.
enum class EditorButton
{
    Cancel,
    Apply,
    AllRight,
    AllHalf,
    AllLeft,
    AllRestore,
    AllStraighten1,
    AllStraighten2,
    AllPaginate,
    AllFlatField,
    AllDeGray,
    AllWhiteBalance,
    AllInvert,
    AllBlackWhite,
    AllBlackWhiteDithered,
    AllGrey,
    AllColour,
    Options,
};

enum class EditorEventKind
{
    Other,
    Control,
    Menu,
    Close,
};

struct EditorEvent
{
    EditorEventKind kind = EditorEventKind::Other;
    std::int32_t control = -1;  // the control of a control event
    std::int32_t menuItem = 0;  // the item of a menu event
    bool ofEditorWindow = true; // for a close event: the editor window's own close request
};

// One item of a popup menu: a command (id and text), a separator, or a submenu (text and items).
struct PopupEntry
{
    std::int32_t id = 0;
    std::string text;
    std::vector<PopupEntry> submenu;
    bool separator = false;

    bool operator==(const PopupEntry&) const = default;
};

PopupEntry menuItem(std::int32_t id, const std::string& text);
PopupEntry menuSeparator();
PopupEntry menuSubmenu(const std::string& text, std::vector<PopupEntry> items);

// The editor window as the loop sees it.
class EditorView
{
public:
    virtual ~EditorView() = default;

    // Returns the owner-drawn button's clicked flag and clears it.
    virtual bool buttonClicked(EditorButton button) = 0;
    // True while an Esc pressed in the editor window is held down and the editor window is the
    // foreground window; an Esc that closed a menu or a box there does not count.
    virtual bool escapeDownInEditor() = 0;
    // The window handle of page i's thumbnail button (1-based).
    virtual Handle thumbnailHandle(std::int32_t page) = 0;

    // Reloads page i alone and rebuilds its thumbnail, without the blank test.
    virtual void rebuildThumbnail(std::int32_t page) = 0;
    // Turns page i's existing thumbnail by one quarter turn and counts the turn in the model.
    virtual void renderOneThumbnail(std::int32_t page, bool right) = 0;
    // Draws page i's thumbnail with its free angle, on white, cut back to its size.
    virtual void showFreeAngleThumbnail(std::int32_t page) = 0;

    // Shows a popup menu at the pointer; a choice arrives later as a menu event.
    virtual void showContextMenu(const std::vector<PopupEntry>& menu) = 0;
    virtual void showMarkedPageMenu() = 0;
    // The modal text requester; "" when cancelled.
    virtual std::string
    askText(const std::string& title, const std::string& prompt, const std::string& initial) = 0;

    // Asks whether the pending edits are to be thrown away; true only when the user says so.
    virtual bool confirmDiscard() = 0;

    // Fetches and discards every pending event; clicked flags and click records survive.
    virtual void drainEvents() = 0;
    // Fetches one pending event, if any, and discards it.
    virtual void dropOneEvent() = 0;

    // Branches whose work lies with other parts of the editor.
    virtual void cancelEdits() = 0;
    virtual void applyEdits() = 0;
    // Drags a page when the left button is held over the thumbnail area; false when it is not.
    virtual bool dragIfPressed() = 0;
    virtual bool isWhitePick(Handle control) = 0;
    virtual bool isBlackPick(Handle control) = 0;
    virtual void pickWhitePoint() = 0;
    virtual void pickBlackPoint() = 0;
    virtual void showLargeView(std::int32_t page) = 0;
    virtual void showOptions() = 0;
    // k = 0: the system's paint program; 1 .. AnzExtEditors: the configured editor k.
    virtual void openInExternalEditor(std::int32_t page, std::int32_t k) = 0;
    // The split toggle between pages p and p + 1, or 0 for another control.
    virtual std::int32_t splitToggleOf(Handle control) = 0;
    virtual void relabelThumbnails() = 0;
};

// The page operations and straighteners as the loop calls them.
class EditorOperations
{
public:
    virtual ~EditorOperations() = default;

    virtual void paginate(std::int32_t page) = 0;
    virtual void flatFieldCorrect(std::int32_t page, bool silent) = 0;
    virtual void deGray(std::int32_t page) = 0;
    virtual void whiteBalance(std::int32_t page, std::int8_t mode) = 0;
    virtual void invert(std::int32_t page) = 0;
    virtual void changeBitDepth(std::int32_t page, std::uint8_t mode) = 0;
    virtual double straightenType1(std::int32_t page, const std::string& file, std::uint8_t turns) = 0;
    virtual double straightenType2(std::int32_t page, const std::string& file, std::uint8_t turns) = 0;
};

// The operations of the image library's table on the editor's pages.
class ImageEditorOperations final : public EditorOperations
{
public:
    ImageEditorOperations(const FreeImageFunctionTable& functions, PageOpContext& context)
        : m_functions(functions)
        , m_context(context)
    {}

    void paginate(std::int32_t page) override;
    void flatFieldCorrect(std::int32_t page, bool silent) override;
    void deGray(std::int32_t page) override;
    void whiteBalance(std::int32_t page, std::int8_t mode) override;
    void invert(std::int32_t page) override;
    void changeBitDepth(std::int32_t page, std::uint8_t mode) override;
    double straightenType1(std::int32_t page, const std::string& file, std::uint8_t turns) override;
    double straightenType2(std::int32_t page, const std::string& file, std::uint8_t turns) override;

private:
    const FreeImageFunctionTable& m_functions;
    PageOpContext& m_context;
};

// The proposal of the free-angle requester for a stored angle: the negated angle with at most 10
// decimals, trailing zeros and "." removed, "," as the decimal sign; "0" for no angle.
std::string freeAngleProposal(double storedAngle);
// Reads the leading number of an answer, "," taken as ".", independent of the locale. Empty when the
// answer does not begin with a finite number ("inf", "nan" and numbers too large for a double).
std::optional<double> parseFreeAngle(const std::string& answer);

// The items of the context menu of an unmarked page.
std::vector<PopupEntry> pageContextMenu(const ExternalEditorTables& editors, bool edited);

class EditorController
{
public:
    EditorController(
        PageEditorModel& model,
        PageEditorInput& input,
        const ExternalEditorTables& editors,
        EditorView& view,
        EditorOperations& operations);

    // Runs one iteration of the loop for an event; true once the loop is finished.
    bool handle(const EditorEvent& event);

    bool finished() const { return m_finished; }

    // The page whose thumbnail ClickedHandle names, or 0.
    std::int32_t clickedPage();

private:
    bool dispatch(const EditorEvent& event);

    bool isMenu(std::int32_t item) const { return m_menuItem == item; }

    void turnAll(std::int32_t turns);
    void turnRightClicked();
    void rightClick();
    void turnLeft();
    void setMark(std::int32_t column, bool value);
    void restoreOne();
    void restoreAll();
    void freeAngle();
    std::string straightenFile(std::int32_t page);
    void straightenPage(std::int32_t page, int method);
    void straightenOne(int method);
    void straightenAll(int method);
    using PageCall = std::function<void(std::int32_t page)>;
    // A one-page operation on the clicked page, skipped for a marked page.
    void operateOne(const std::string& waitText, const PageCall& call);
    // An all-page operation over pages 1 .. last, marked ones too.
    void operateAll(
        const std::string& firstText,
        const std::function<std::string(std::int32_t, std::int32_t)>& pageText,
        std::int32_t last,
        const PageCall& call);
    bool pageOperation();

    PageEditorModel& m_model;
    PageEditorInput& m_input;
    const ExternalEditorTables& m_editors;
    EditorView& m_view;
    EditorOperations& m_ops;
    std::int32_t m_menuItem = 0;
    bool m_finished = false;
};

} // namespace folvex
