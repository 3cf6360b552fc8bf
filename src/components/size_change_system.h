#pragma once
// The resize system: keeps the registered controls of resizable top-level windows in place while the
// windows change size, scales their fonts, and lets the user drag splitter bars. Owns its five tables
// and the fonts it creates. GUI thread only.

#include "runtime/handles.h"

#include <array>
#include <cstdint>
#include <functional>
#include <string>

namespace folvex {

// How a registered control follows its window (combine by OR). 0x200 and 0x400 mean nothing.
inline constexpr std::uint32_t scs_DO_NOTHING = 0x1;
inline constexpr std::uint32_t scs_BIND_X1 = 0x2;
inline constexpr std::uint32_t scs_BIND_Y1 = 0x4;
inline constexpr std::uint32_t scs_BIND_X2 = 0x8;
inline constexpr std::uint32_t scs_BIND_Y2 = 0x10;
inline constexpr std::uint32_t scs_PROP_X = 0x20;
inline constexpr std::uint32_t scs_PROP_Y = 0x40;
inline constexpr std::uint32_t scs_ASPECT_X = 0x80;
inline constexpr std::uint32_t scs_ASPECT_Y = 0x100;
inline constexpr std::uint32_t scs_BIND_X1_CONTROL = 0x800;
inline constexpr std::uint32_t scs_BIND_X2_CONTROL = 0x1000;
inline constexpr std::uint32_t scs_BIND_Y1_CONTROL = 0x2000;
inline constexpr std::uint32_t scs_BIND_Y2_CONTROL = 0x4000;
inline constexpr std::uint32_t scs_FONT = 0x8000;
inline constexpr std::uint32_t scs_SPLITTER = 0x10000;

// Capacity of each of the five tables (rows 1..100; row 0 is never used).
inline constexpr int SCSMaxRows = 100;

// Internal subclass handles above this are taken for window handles when a subclass is switched off.
inline constexpr Handle SCSMaxInternalHandle = 1000;

// Reference data of the subclass register: what a hooked window is.
inline constexpr std::intptr_t SCSRefTopLevelWindow = 1;
inline constexpr std::intptr_t SCSRefSplitterBar = 3;

// Splitter orientations.
inline constexpr int SCSTallBar = 1;
inline constexpr int SCSWideBar = 2;
inline constexpr int SCSNoSplitter = 999;

// Window-class names of the two splitter bars (push buttons with a sizing cursor).
inline constexpr const char* SCSHorizontalSplitterClass = "SCS_HSPLITTER"; // vertical-resize cursor
inline constexpr const char* SCSVerticalSplitterClass = "SCS_VSPLITTER";   // horizontal-resize cursor

// The messages the subclass procedure handles, with their usual numbers.
namespace scs_messages {
inline constexpr std::uint32_t Size = 0x5;
inline constexpr std::uint32_t Sizing = 0x214;
inline constexpr std::uint32_t MouseMove = 0x200;
inline constexpr std::uint32_t LeftButtonDown = 0x201;
inline constexpr std::uint32_t LeftButtonUp = 0x202;
inline constexpr std::uint32_t NonClientLeftButtonDown = 0xA1;
inline constexpr std::uint32_t NonClientLeftButtonUp = 0xA2;
} // namespace scs_messages

struct SCSWindowRecord
{
    Handle hWnd = NoHandle;
    int left = 0; // outer left edge on the screen at registration
    int top = 0;  // outer top edge on the screen at registration
    int clientWidth = 0;
    int clientHeight = 0;
    int referenceClientWidth = 0; // the layout's reference for proportional centres and growth
    int referenceClientHeight = 0;
    Handle subclassHandle = NoHandle; // internal handle of the window's subclass

    bool operator==(const SCSWindowRecord&) const = default;
};

struct SCSControlRecord
{
    Handle hControl = NoHandle;
    std::uint32_t flags = 0;
    Handle hParent = NoHandle;
    int parentRow = 0;
    double widthRatio = 0.0;  // outer width / parent's client width at registration
    double heightRatio = 0.0; // outer height / parent's client height at registration
    int left = 0;             // in the parent's client area; a splitter drag rewrites it
    int top = 0;
    int width = 0;
    int height = 0;
    int leftDistance = 0;
    int topDistance = 0;
    int rightDistance = 0;
    int bottomDistance = 0;
    int splitterOrientation = SCSNoSplitter;
    Handle partnerX1 = NoHandle; // its right edge leads this control's left edge
    Handle partnerY1 = NoHandle; // its bottom edge leads this control's top edge
    Handle partnerX2 = NoHandle; // its left edge leads this control's right edge
    Handle partnerY2 = NoHandle; // its top edge leads this control's bottom edge
    Handle font = NoHandle;      // owned by the component (scs_FONT only)
    int bold = 0;
    int underline = 0;
    int italic = 0;
    double fontWidthRatio = 0.0;  // average character width / outer width
    double fontHeightRatio = 0.0; // character height / outer height
    std::string faceName;
    Handle splitterSubclassHandle = NoHandle;

    bool operator==(const SCSControlRecord&) const = default;
};

struct SCSSplitterRecord
{
    Handle hSplitter = NoHandle;
    Handle hParent = NoHandle;
    int orientation = 0;

    bool operator==(const SCSSplitterRecord&) const = default;
};

struct SCSRegisterRecord
{
    Handle hWnd = NoHandle;
    Handle kindOrParent = NoHandle; // 0 for a top-level window, the parent window for a splitter
    std::intptr_t refData = 0;

    bool operator==(const SCSRegisterRecord&) const = default;
};

struct SCSSubclassRecord
{
    Handle internalHandle = NoHandle;
    Handle hWnd = NoHandle;
    std::uintptr_t subclassId = 0;

    bool operator==(const SCSSubclassRecord&) const = default;
};

// A packed 1-based table of at most SCSMaxRows rows with its row count.
template <typename Record>
struct SCSTable
{
    std::array<Record, SCSMaxRows + 1> rows{};
    int count = 0;

    Record& operator[](int row) { return rows.at(static_cast<std::size_t>(row)); }

    const Record& operator[](int row) const { return rows.at(static_cast<std::size_t>(row)); }

    bool full() const { return count >= SCSMaxRows; }

    // Appends a row; the caller has checked full().
    void append(const Record& record)
    {
        ++count;
        (*this)[count] = record;
    }

    // Removes a row; later rows move up by one and the vacated last row is cleared.
    void remove(int row)
    {
        for (int i = row; i < count; ++i) {
            (*this)[i] = (*this)[i + 1];
        }
        (*this)[count] = Record{};
        --count;
    }
};

// The font of a control as measured at registration.
struct SCSFontMeasure
{
    int height = 0;       // character height in pixels
    int averageWidth = 0; // average character width in pixels
    int weight = 400;
    bool italic = false;
    bool underline = false;
    std::string faceName;
};

// A subclass procedure as the window system calls it: (hWnd, msg, wParam, lParam, subclass id,
// reference data) → result.
using SCSSubclassCall = std::function<std::intptr_t(
    Handle, std::uint32_t, std::uintptr_t, std::intptr_t, std::uintptr_t, std::intptr_t)>;

// What the resize system needs of the window system: the outer rectangles of windows and controls in
// screen coordinates (a top-level window's outer rectangle is its client area grown by the frame width
// on the left, right and bottom side), client sizes, the frame metrics, moving controls, subclassing,
// fonts and the two splitter classes. The window layer implements it; tests may script it.
class SCSWindowSystem
{
public:
    virtual ~SCSWindowSystem() = default;

    virtual int windowLeft(Handle window) = 0;
    virtual int windowTop(Handle window) = 0;
    virtual int windowRight(Handle window) = 0;
    virtual int windowBottom(Handle window) = 0;
    virtual int clientWidth(Handle window) = 0;
    virtual int clientHeight(Handle window) = 0;
    virtual bool hasSizingFrame(Handle window) = 0;
    virtual int frameWidth() = 0;
    virtual int dialogFrameWidth() = 0;

    // The cursor position in screen coordinates, as of the mouse message being handled.
    virtual int desktopMouseX() = 0;
    virtual int desktopMouseY() = 0;

    // Moves and sizes a control in its parent's client coordinates (sizes are not negative).
    virtual void moveControl(Handle control, int x, int y, int width, int height) = 0;
    // Repaints a window at once without erasing its background first.
    virtual void redraw(Handle window) = 0;

    // Hooks a window: call receives its messages with id and refData until removeSubclass(window, id).
    virtual void
    installSubclass(Handle window, SCSSubclassCall call, std::uintptr_t id, std::intptr_t refData) = 0;
    virtual void removeSubclass(Handle window, std::uintptr_t id) = 0;
    // Passes a message on to the window's normal handling; its result.
    virtual std::intptr_t
    defaultSubclassProc(Handle window, std::uint32_t msg, std::uintptr_t wParam, std::intptr_t lParam) = 0;

    // The control's present font (the system font when it has none of its own).
    virtual SCSFontMeasure measureFont(Handle control) = 0;
    // A new font: height and average width in pixels, weight 400 or 700; 0 when it cannot be made.
    virtual Handle createFont(
        int height, int width, int weight, bool italic, bool underline, const std::string& faceName) = 0;
    virtual void deleteFont(Handle font) = 0;
    // Gives a control a font and repaints it.
    virtual void setControlFont(Handle control, Handle font) = 0;

    // Makes the two splitter classes available for creating controls, or withdraws them.
    virtual void registerSplitterClasses() = 0;
    virtual void unregisterSplitterClasses() = 0;
};

// The user callback: (hWnd, msg, wParam, lParam); its result is ignored.
using SCSCallbackProc = std::function<std::intptr_t(Handle, std::uint32_t, std::uintptr_t, std::intptr_t)>;

// The component's state and operations. Registry refusals show a note, release the component and end
// the program at once with exit code 0; the subclassing layer and double start/release show mode-1 notes.
class SizeChangeSystem
{
public:
    using SubclassProcedure = std::intptr_t (SizeChangeSystem::*)(
        Handle, std::uint32_t, std::uintptr_t, std::intptr_t, std::uintptr_t, std::intptr_t);

    explicit SizeChangeSystem(SCSWindowSystem& windowSystem);
    ~SizeChangeSystem();
    SizeChangeSystem(const SizeChangeSystem&) = delete;
    SizeChangeSystem& operator=(const SizeChangeSystem&) = delete;

    // Start and release; both return 0.
    int InitSCS();
    int DeInitSCS();

    // Registry. Windows return 0, controls 1; a refusal does not return.
    int SCSAddWindow(Handle hWnd);
    int SCSRemoveWindow(Handle hWnd);
    // The partners are read from SCS_hBindX1 ... SCS_hBindY2, which are all 0 again afterwards.
    int SCSAddControl(Handle hControl, Handle hParentW, std::uint32_t flags);
    int SCSRemoveControl(Handle hControl);

    // Sets the user callback (an empty one switches it off); returns 1.
    int SCSSetCallback(SCSCallbackProc proc);

    // on = 1: hooks window handle with proc, returns the new internal handle or 0. on = 0: handle is
    // an internal handle; unhooks it, returns 1 or 0. refData −1 takes the register's reference data.
    Handle SCSSubclassing(Handle handle, int on, SubclassProcedure proc, std::intptr_t refData);
    int SCSSubclassingRegister(Handle kindOrParent, Handle hWnd, std::intptr_t refData);
    int SCSSubclassingDeRegister(Handle hWnd);

    // Lookups: first match in ascending row order, 0 when none.
    int SCSFindWindow(Handle hWnd) const;
    int SCSWindowIndex(Handle hWnd) const;
    int SCSControlIndex(Handle hControl) const;
    Handle SCSControlHandle(int row) const;
    int SCSHasFlags(int row, std::uint32_t mask) const;
    // The row of the partner for flag 0x800, 0x2000, 0x1000 or 0x4000; 0 for any other flag.
    int SCSBindPartnerIndex(int row, std::uint32_t flag) const;

    // A control's outer edges in the client coordinates of parent.
    int SCSControlLeft(Handle control, Handle parent);
    int SCSControlTop(Handle control, Handle parent);
    int SCSControlRight(Handle control, Handle parent);
    int SCSControlBottom(Handle control, Handle parent);

    // The subclass procedure of hooked windows (reference data 1) and splitter bars (3).
    std::intptr_t SCSSubclassProc(
        Handle hWnd,
        std::uint32_t msg,
        std::uintptr_t wParam,
        std::intptr_t lParam,
        std::uintptr_t uIdSubclass,
        std::intptr_t dwRefData);
    // Lays out every control of hWnd; acts only for reference data 1 and a size message. Returns 0.
    int SCSResizeControls(
        Handle hWnd,
        std::uint32_t msg,
        std::uintptr_t wParam,
        std::intptr_t lParam,
        std::uintptr_t uIdSubclass,
        std::intptr_t dwRefData);

    // Binding partners for the next SCSAddControl.
    Handle SCS_hBindX1 = NoHandle;
    Handle SCS_hBindX2 = NoHandle;
    Handle SCS_hBindY1 = NoHandle;
    Handle SCS_hBindY2 = NoHandle;

    // Read access for the window layer and tests.
    bool initialised() const { return m_initialised; }

    const SCSTable<SCSWindowRecord>& windows() const { return m_windows; }

    const SCSTable<SCSControlRecord>& controls() const { return m_controls; }

    const SCSTable<SCSSplitterRecord>& splitters() const { return m_splitters; }

    const SCSTable<SCSRegisterRecord>& subclassRegister() const { return m_register; }

    const SCSTable<SCSSubclassRecord>& subclasses() const { return m_subclasses; }

    Handle draggedSplitter() const { return m_dragSplitter; }

private:
    [[noreturn]] void refuse(const std::string& text);
    void removeWindowRow(int row);
    void removeControlRow(int row);
    int frameOf(Handle parent);
    int controlWidth(Handle control);
    int controlHeight(Handle control);
    int
    partnerEdge(int row, std::uint32_t flag, int (SizeChangeSystem::*edge)(Handle, Handle), Handle parent);
    void layOutRow(int row, Handle hWnd);
    void redrawControlsOf(Handle parent);
    void callCallback(Handle hWnd, std::uint32_t msg, std::uintptr_t wParam, std::intptr_t lParam);
    void startDrag(Handle bar);
    void continueDrag(Handle parent, std::uint32_t msg);
    int splitterIndex(Handle bar) const;

    SCSWindowSystem& m_windowSystem;
    bool m_initialised = false;
    SCSTable<SCSWindowRecord> m_windows;
    SCSTable<SCSControlRecord> m_controls;
    SCSTable<SCSSplitterRecord> m_splitters;
    SCSTable<SCSRegisterRecord> m_register;
    SCSTable<SCSSubclassRecord> m_subclasses;
    SCSCallbackProc m_callback;
    Handle m_internalHandleCounter = 0;
    std::uintptr_t m_subclassIdCounter = 0;

    // The splitter being dragged (0 = none) and the coordinates that stay fixed during the drag: top
    // and height of a tall bar, left and width of a wide bar.
    Handle m_dragSplitter = NoHandle;
    int m_dragFixedStart = 0;
    int m_dragFixedLength = 0;
};

} // namespace folvex
