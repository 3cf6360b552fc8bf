#include "components/size_change_system.h"

#include "foundation/note.h"
#include "runtime/effects.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <string>

namespace folvex {

namespace {

const std::string InitTwiceText = "InitSCS: diese Prozedur wurde bereits aufgerufen";
const std::string DeInitWithoutInitText = "DeInitSCS: es wurde vorher nicht InitSCS aufgerufen";
const std::string AddWindowNotInitText = "SCSAddWindow: InitSCS nicht aufgerufen";
const std::string RemoveWindowNotInitText = "SCSRemoveWindow: InitSCS nicht aufgerufen";
const std::string RemoveWindowUnknownText =
    "SCSRemoveWindow: Fensterhandle nicht bekannt, d.h. es wurde nicht geadded";
const std::string RemoveWindowInUseText =
    "SCSRemoveWindow: das zu entfernende Fenster wird noch von einem Control benutzt";
const std::string AddControlNotInitText = "SCSAddControl: InitSCS nicht aufgerufen";
const std::string AddControlUnknownParentText =
    "SCSAddControl: hParentW unbekannt, d.h. das Parentwindow wurde nicht geadded";
const std::string AddControlDoNothingText =
    "SCSAddControl: #scs_DO_NOTHING gesetzt, aber trotzdem noch andere Flags angegeben";
const std::string AddControlEdgeTwiceText = "SCSAddControl:\\nselbes #scs_BIND_XXX und #scs_BIND_XXX_CONTROL "
                                            "können nicht zusammen verwendet werden";
const std::string AddControlAxisTwiceText = "SCSAddControl:\\nDoppelbindung in einer Achse und zugleich "
                                            "#scs_ASPECT können nicht zusammen verwendet werden";
const std::string AddControlMinimisedText =
    "SCSAddControl:\\nDas Parent-Window ist aktuell minimiert. Das ergibt einen Division-durch-0-Fehler.";
const std::string RemoveControlNotInitText = "SCSRemoveControl: InitSCS nicht aufgerufen";
const std::string RemoveControlUnknownText =
    "SCSRemoveControl: Controlhandle nicht bekannt, d.h. es wurde nicht geadded";
const std::string SubclassingFullText =
    "SCSSubclassing,1: es ist bereits die maximale Anzahl von 100 Fenstern/Controls gesubclassed";
const std::string SubclassingWindowHandleText =
    "Subclassing,0: Es muss beim Ausschalten das interne Handle übergeben werden, das dem Hauptprogramm "
    "beim Einschalten des Subclassings zurückgegeben wurde, nicht das Windows-Handle!";
const std::string SubclassingUnknownText =
    "Subclassing,0: Fenster/Control ist nicht gesubclassed (es muss beim Ausschalten das interne Handle "
    "übergeben werden, nicht das Windows-Handle!)";
const std::string RegisterFullText =
    "SCSSubclassingRegister: es ist bereits die maximale Anzahl von 100 Fenstern/Controls registriert";
const std::string DeRegisterUnknownText =
    "SCSSubclassingDeRegister: Fenster/Control ist nicht registriert (bzw. existiert evtl. gar nicht)";

std::string partnerMissingText(const char* global)
{
    return std::string("SCSAddControl: BIND: ") + global +
           " wurde noch nicht geadded, soll aber als Binding-Partner fungieren";
}

std::string partnerZeroText(const char* global)
{
    return std::string("SCSAddControl: BIND: ") + global + "=0, soll aber als Binding-Partner fungieren";
}

bool hasAll(std::uint32_t flags, std::uint32_t mask)
{
    return (flags & mask) == mask;
}

int nearest(double value)
{
    return static_cast<int>(std::lround(value));
}

// The flags and values of one axis of a control, so that both axes share one rule table.
struct AxisFlags
{
    std::uint32_t bindStart;   // keep the gap to the client area's start edge
    std::uint32_t bindEnd;     // keep the gap to the client area's end edge
    std::uint32_t followStart; // start edge follows partner 1's end edge
    std::uint32_t followEnd;   // end edge follows partner 2's start edge
    std::uint32_t proportional;
    std::uint32_t growth;
};

constexpr AxisFlags HorizontalAxis{
    scs_BIND_X1, scs_BIND_X2, scs_BIND_X1_CONTROL, scs_BIND_X2_CONTROL, scs_PROP_X, scs_ASPECT_X};
constexpr AxisFlags VerticalAxis{
    scs_BIND_Y1, scs_BIND_Y2, scs_BIND_Y1_CONTROL, scs_BIND_Y2_CONTROL, scs_PROP_Y, scs_ASPECT_Y};

struct AxisInput
{
    int client;          // client size now
    int reference;       // client size at the window's registration
    int distanceStart;   // dL or dT
    int distanceEnd;     // dR or dB
    int storedStart;     // left₀ or top₀
    int storedSize;      // width₀ or height₀
    double sizeRatio;    // wr or hr
    int partnerStartEnd; // end edge of partner 1 (right of X1, bottom of Y1), measured now
    int partnerEndStart; // start edge of partner 2 (left of X2, top of Y2), measured now
};

// Applies the rule table and the growth of one axis to position and size.
void layOutAxis(const AxisFlags& axis, std::uint32_t flags, const AxisInput& in, int& position, int& size)
{
    const auto has = [flags](std::uint32_t mask) { return hasAll(flags, mask); };
    // The centre's fraction of the reference size; a zero reference leaves the position alone.
    const bool canCentre = in.reference != 0;
    const double fraction =
        canCentre ? (in.storedStart + in.storedSize / 2.0) / static_cast<double>(in.reference) : 0.0;

    int state = 0;
    if (has(axis.bindStart | axis.bindEnd)) {
        position = in.distanceStart;
        size = in.client - position - in.distanceEnd;
        state = 2;
    } else if (has(axis.followStart | axis.bindEnd)) {
        position = in.partnerStartEnd + in.distanceStart;
        size = in.client - position - in.distanceEnd;
        state = 2;
    } else if (has(axis.bindStart | axis.followEnd)) {
        position = in.distanceStart;
        size = in.partnerEndStart - in.distanceStart - in.distanceEnd;
        state = 2;
    } else if (has(axis.followStart | axis.followEnd)) {
        position = in.partnerStartEnd + in.distanceStart;
        size = in.partnerEndStart - in.distanceEnd - position;
        state = 2;
    } else if (has(axis.bindStart)) {
        position = in.distanceStart;
        state = 1;
    } else if (has(axis.bindEnd)) {
        position = in.client - in.distanceEnd - size;
        state = 1;
    } else if (has(axis.followStart)) {
        position = in.partnerStartEnd + in.distanceStart;
        state = 1;
    } else if (has(axis.followEnd)) {
        position = in.partnerEndStart - in.distanceEnd - size;
        state = 1;
    } else if (has(axis.proportional) && canCentre) {
        position = nearest(in.client * fraction - size / 2.0);
    }

    if (!has(axis.growth)) {
        return;
    }
    const int growth = nearest(in.sizeRatio * in.client - in.sizeRatio * in.reference);
    size = in.storedSize + growth;
    if (state == 0) {
        position = in.storedStart - growth / 2;
        if (has(axis.proportional) && canCentre) {
            position = nearest(in.client * fraction - size / 2.0);
        }
    } else if (state == 1) {
        if (has(axis.bindStart) || has(axis.followStart)) {
            // the start edge stays where the rule put it
        } else if (has(axis.bindEnd)) {
            position = in.client - in.distanceEnd - size;
        } else if (has(axis.followEnd)) {
            position = in.partnerEndStart - in.distanceEnd - size;
        }
    }
}

} // namespace

SizeChangeSystem::SizeChangeSystem(SCSWindowSystem& windowSystem)
    : m_windowSystem(windowSystem)
{}

SizeChangeSystem::~SizeChangeSystem()
{
    // Nothing the component made may outlive it: hooks call back into this object.
    for (int row = 1; row <= m_subclasses.count; ++row) {
        m_windowSystem.removeSubclass(m_subclasses[row].hWnd, m_subclasses[row].subclassId);
    }
    for (int row = 1; row <= m_controls.count; ++row) {
        if (m_controls[row].font != NoHandle) {
            m_windowSystem.deleteFont(m_controls[row].font);
        }
    }
    if (m_initialised) {
        m_windowSystem.unregisterSplitterClasses();
    }
}

int SizeChangeSystem::InitSCS()
{
    m_dragSplitter = NoHandle;
    if (m_initialised) {
        ShowNote(InitTwiceText, 1);
        return 0;
    }
    m_windowSystem.registerSplitterClasses();
    m_windows.count = 0;
    m_controls.count = 0;
    m_splitters.count = 0;
    SCS_hBindX1 = NoHandle;
    SCS_hBindX2 = NoHandle;
    SCS_hBindY1 = NoHandle;
    SCS_hBindY2 = NoHandle;
    m_initialised = true;
    return 0;
}

int SizeChangeSystem::DeInitSCS()
{
    if (!m_initialised) {
        ShowNote(DeInitWithoutInitText, 1);
        return 0;
    }
    // From the last row back: a partner is always registered before the controls bound to it.
    while (m_controls.count > 0) {
        removeControlRow(m_controls.count);
    }
    while (m_windows.count > 0) {
        removeWindowRow(m_windows.count);
    }
    m_windowSystem.unregisterSplitterClasses();
    m_callback = nullptr;
    m_initialised = false;
    return 0;
}

void SizeChangeSystem::refuse(const std::string& text)
{
    ShowNote(text, 0);
    DeInitSCS();
    effects().exit->endProgramAtOnce(0);
    std::abort(); // the exit seam does not return
}

int SizeChangeSystem::SCSAddWindow(Handle hWnd)
{
    if (!m_initialised) {
        refuse(AddWindowNotInitText);
    }
    if (m_windows.full()) {
        refuse("SCSAddWindow: maximale Fensteranzahl von " + std::to_string(SCSMaxRows) + " überschritten");
    }
    SCSWindowRecord record;
    record.hWnd = hWnd;
    record.left = m_windowSystem.windowLeft(hWnd);
    record.top = m_windowSystem.windowTop(hWnd);
    record.clientWidth = m_windowSystem.clientWidth(hWnd);
    record.clientHeight = m_windowSystem.clientHeight(hWnd);
    record.referenceClientWidth = record.clientWidth;
    record.referenceClientHeight = record.clientHeight;
    m_windows.append(record);
    const int row = m_windows.count;
    SCSSubclassingRegister(NoHandle, hWnd, SCSRefTopLevelWindow);
    m_windows[row].subclassHandle = SCSSubclassing(hWnd, 1, &SizeChangeSystem::SCSSubclassProc, -1);
    return 0;
}

int SizeChangeSystem::SCSRemoveWindow(Handle hWnd)
{
    if (!m_initialised) {
        refuse(RemoveWindowNotInitText);
    }
    const int row = SCSFindWindow(hWnd);
    if (row == 0) {
        refuse(RemoveWindowUnknownText);
    }
    for (int i = 1; i <= m_controls.count; ++i) {
        if (m_controls[i].parentRow == row) {
            refuse(RemoveWindowInUseText);
        }
    }
    removeWindowRow(row);
    return 0;
}

void SizeChangeSystem::removeWindowRow(int row)
{
    const Handle hWnd = m_windows[row].hWnd;
    SCSSubclassing(m_windows[row].subclassHandle, 0, &SizeChangeSystem::SCSSubclassProc, -1);
    SCSSubclassingDeRegister(hWnd);
    m_windows.remove(row);
    for (int i = 1; i <= m_controls.count; ++i) {
        if (m_controls[i].parentRow > row) {
            --m_controls[i].parentRow;
        }
    }
}

int SizeChangeSystem::SCSAddControl(Handle hControl, Handle hParentW, std::uint32_t flags)
{
    if (!m_initialised) {
        refuse(AddControlNotInitText);
    }
    if (m_controls.full()) {
        refuse(
            "SCSAddControl: die maximale Anzahl von " + std::to_string(SCSMaxRows) +
            " Controls wurde bereits geadded");
    }
    const int parentRow = SCSFindWindow(hParentW);
    if (parentRow == 0) {
        refuse(AddControlUnknownParentText);
    }

    struct Partner
    {
        std::uint32_t flag;
        Handle handle;
        const char* name;
    };

    // The order of the checks: X1, Y1, X2, Y2.
    const Partner partners[] = {
        {scs_BIND_X1_CONTROL, SCS_hBindX1, "_SCS_hBindX1"},
        {scs_BIND_Y1_CONTROL, SCS_hBindY1, "_SCS_hBindY1"},
        {scs_BIND_X2_CONTROL, SCS_hBindX2, "_SCS_hBindX2"},
        {scs_BIND_Y2_CONTROL, SCS_hBindY2, "_SCS_hBindY2"},
    };
    for (const Partner& partner : partners) {
        if (hasAll(flags, partner.flag) && partner.handle != NoHandle &&
            SCSControlIndex(partner.handle) == 0) {
            refuse(partnerMissingText(partner.name));
        }
    }
    for (const Partner& partner : partners) {
        if (hasAll(flags, partner.flag) && partner.handle == NoHandle) {
            refuse(partnerZeroText(partner.name));
        }
    }
    if ((flags & scs_DO_NOTHING) != 0 && flags != scs_DO_NOTHING) {
        refuse(AddControlDoNothingText);
    }
    const std::uint32_t edgeTwice[] = {
        scs_BIND_X1 | scs_BIND_X1_CONTROL,
        scs_BIND_Y1 | scs_BIND_Y1_CONTROL,
        scs_BIND_X2 | scs_BIND_X2_CONTROL,
        scs_BIND_Y2 | scs_BIND_Y2_CONTROL,
    };
    for (const std::uint32_t mask : edgeTwice) {
        if (hasAll(flags, mask)) {
            refuse(AddControlEdgeTwiceText);
        }
    }
    const std::uint32_t axisTwiceWithGrowth[] = {
        scs_BIND_X1 | scs_BIND_X2 | scs_ASPECT_X,
        scs_BIND_Y1 | scs_BIND_Y2 | scs_ASPECT_Y,
        scs_BIND_X1_CONTROL | scs_BIND_X2_CONTROL | scs_ASPECT_X,
        scs_BIND_Y1_CONTROL | scs_BIND_Y2_CONTROL | scs_ASPECT_Y,
        scs_BIND_X1_CONTROL | scs_BIND_X2 | scs_ASPECT_X,
        scs_BIND_X1 | scs_BIND_X2_CONTROL | scs_ASPECT_X,
        scs_BIND_Y1_CONTROL | scs_BIND_Y2 | scs_ASPECT_Y,
        scs_BIND_Y1 | scs_BIND_Y2_CONTROL | scs_ASPECT_Y,
    };
    for (const std::uint32_t mask : axisTwiceWithGrowth) {
        if (hasAll(flags, mask)) {
            refuse(AddControlAxisTwiceText);
        }
    }
    const int clientWidth = m_windowSystem.clientWidth(hParentW);
    const int clientHeight = m_windowSystem.clientHeight(hParentW);
    if (clientWidth == 0 || clientHeight == 0) {
        refuse(AddControlMinimisedText);
    }

    SCSControlRecord record;
    record.hControl = hControl;
    record.flags = flags;
    record.hParent = hParentW;
    record.parentRow = parentRow;
    record.width = controlWidth(hControl);
    record.height = controlHeight(hControl);
    record.widthRatio = static_cast<double>(record.width) / clientWidth;
    record.heightRatio = static_cast<double>(record.height) / clientHeight;
    record.left = SCSControlLeft(hControl, hParentW);
    record.top = SCSControlTop(hControl, hParentW);

    if (hasAll(flags, scs_BIND_X1)) {
        record.leftDistance = record.left;
    }
    if (hasAll(flags, scs_BIND_Y1)) {
        record.topDistance = record.top;
    }
    if (hasAll(flags, scs_BIND_X2)) {
        record.rightDistance = clientWidth - SCSControlRight(hControl, hParentW);
    }
    if (hasAll(flags, scs_BIND_Y2)) {
        record.bottomDistance = clientHeight - SCSControlBottom(hControl, hParentW);
    }
    // Partner rows are earlier rows; their stored places are what the gaps are measured from.
    if (hasAll(flags, scs_BIND_X1_CONTROL)) {
        record.partnerX1 = SCS_hBindX1;
        const SCSControlRecord& partner = m_controls[SCSControlIndex(SCS_hBindX1)];
        record.leftDistance = record.left - (partner.left + partner.width);
    }
    if (hasAll(flags, scs_BIND_Y1_CONTROL)) {
        record.partnerY1 = SCS_hBindY1;
        const SCSControlRecord& partner = m_controls[SCSControlIndex(SCS_hBindY1)];
        record.topDistance = record.top - (partner.top + partner.height);
    }
    if (hasAll(flags, scs_BIND_X2_CONTROL)) {
        record.partnerX2 = SCS_hBindX2;
        const SCSControlRecord& partner = m_controls[SCSControlIndex(SCS_hBindX2)];
        record.rightDistance = partner.left - (record.left + record.width);
    }
    if (hasAll(flags, scs_BIND_Y2_CONTROL)) {
        record.partnerY2 = SCS_hBindY2;
        const SCSControlRecord& partner = m_controls[SCSControlIndex(SCS_hBindY2)];
        record.bottomDistance = partner.top - (record.top + record.height);
    }
    m_controls.append(record);
    const int row = m_controls.count;

    if (hasAll(flags, scs_SPLITTER)) {
        const int orientation = record.width < record.height ? SCSTallBar : SCSWideBar;
        m_controls[row].splitterOrientation = orientation;
        if (!m_splitters.full()) {
            m_splitters.append({hControl, hParentW, orientation});
        }
        SCSSubclassingRegister(hParentW, hControl, SCSRefSplitterBar);
        m_controls[row].splitterSubclassHandle =
            SCSSubclassing(hControl, 1, &SizeChangeSystem::SCSSubclassProc, -1);
    }

    if (hasAll(flags, scs_FONT)) {
        const SCSFontMeasure measure = m_windowSystem.measureFont(hControl);
        SCSControlRecord& own = m_controls[row];
        own.bold = measure.weight >= 700 ? 1 : 0;
        own.italic = measure.italic ? 1 : 0;
        own.underline = measure.underline ? 1 : 0;
        own.faceName = measure.faceName;
        // A control without area keeps its own font: there is no ratio to scale by.
        if (own.width != 0 && own.height != 0) {
            own.fontWidthRatio = static_cast<double>(measure.averageWidth) / own.width;
            own.fontHeightRatio = static_cast<double>(measure.height) / own.height;
            own.font = m_windowSystem.createFont(
                measure.height,
                measure.averageWidth,
                own.bold != 0 ? 700 : 400,
                own.italic != 0,
                own.underline != 0,
                own.faceName);
            if (own.font != NoHandle) {
                m_windowSystem.setControlFont(hControl, own.font);
            }
        }
    }

    SCS_hBindX1 = NoHandle;
    SCS_hBindY1 = NoHandle;
    SCS_hBindX2 = NoHandle;
    SCS_hBindY2 = NoHandle;
    return 1;
}

int SizeChangeSystem::SCSRemoveControl(Handle hControl)
{
    if (!m_initialised) {
        refuse(RemoveControlNotInitText);
    }
    const int row = SCSControlIndex(hControl);
    if (row == 0) {
        refuse(RemoveControlUnknownText);
    }
    for (int other = 1; other <= m_controls.count; ++other) {
        if (other == row) {
            continue;
        }
        const SCSControlRecord& record = m_controls[other];
        if (record.partnerX1 == hControl || record.partnerY1 == hControl || record.partnerX2 == hControl ||
            record.partnerY2 == hControl) {
            refuse(
                "SCSRemoveControl: das zu entfernende Control (#" + std::to_string(row) +
                ") dient noch einem anderen Control (#" + std::to_string(other) + ") als Binding-Partner");
        }
    }
    removeControlRow(row);
    return 1;
}

void SizeChangeSystem::removeControlRow(int row)
{
    const SCSControlRecord record = m_controls[row];
    if (hasAll(record.flags, scs_SPLITTER)) {
        SCSSubclassing(record.splitterSubclassHandle, 0, &SizeChangeSystem::SCSSubclassProc, -1);
        SCSSubclassingDeRegister(record.hControl);
        const int splitter = splitterIndex(record.hControl);
        if (splitter != 0) {
            m_splitters.remove(splitter);
        }
    }
    if (hasAll(record.flags, scs_FONT) && record.font != NoHandle) {
        m_windowSystem.deleteFont(record.font);
    }
    m_controls.remove(row);
    if (m_dragSplitter == record.hControl && SCSControlIndex(record.hControl) == 0) {
        m_dragSplitter = NoHandle;
    }
}

int SizeChangeSystem::SCSSetCallback(SCSCallbackProc proc)
{
    m_callback = std::move(proc);
    return 1;
}

Handle SizeChangeSystem::SCSSubclassing(Handle handle, int on, SubclassProcedure proc, std::intptr_t refData)
{
    if (on == 1) {
        if (m_subclasses.full()) {
            ShowNote(SubclassingFullText, 1);
            return 0;
        }
        if (refData == -1) {
            refData = 0;
            for (int row = 1; row <= m_register.count; ++row) {
                if (m_register[row].hWnd == handle) {
                    refData = m_register[row].refData;
                    break;
                }
            }
        }
        ++m_internalHandleCounter;
        ++m_subclassIdCounter;
        m_subclasses.append({m_internalHandleCounter, handle, m_subclassIdCounter});
        SCSSubclassCall call = [this, proc](
                                   Handle hWnd,
                                   std::uint32_t msg,
                                   std::uintptr_t wParam,
                                   std::intptr_t lParam,
                                   std::uintptr_t id,
                                   std::intptr_t data) -> std::intptr_t {
            if (proc == nullptr) {
                return m_windowSystem.defaultSubclassProc(hWnd, msg, wParam, lParam);
            }
            return (this->*proc)(hWnd, msg, wParam, lParam, id, data);
        };
        m_windowSystem.installSubclass(handle, std::move(call), m_subclassIdCounter, refData);
        return m_internalHandleCounter;
    }
    if (on == 0) {
        if (handle > SCSMaxInternalHandle) {
            ShowNote(SubclassingWindowHandleText, 1);
            return 0;
        }
        for (int row = 1; row <= m_subclasses.count; ++row) {
            if (m_subclasses[row].internalHandle == handle) {
                m_windowSystem.removeSubclass(m_subclasses[row].hWnd, m_subclasses[row].subclassId);
                m_subclasses.remove(row);
                return 1;
            }
        }
        ShowNote(SubclassingUnknownText, 1);
        return 0;
    }
    return 0;
}

int SizeChangeSystem::SCSSubclassingRegister(Handle kindOrParent, Handle hWnd, std::intptr_t refData)
{
    if (m_register.full()) {
        ShowNote(RegisterFullText, 1);
        return 0;
    }
    m_register.append({hWnd, kindOrParent, refData});
    return 1;
}

int SizeChangeSystem::SCSSubclassingDeRegister(Handle hWnd)
{
    for (int row = 1; row <= m_register.count; ++row) {
        if (m_register[row].hWnd == hWnd) {
            m_register.remove(row);
            return 1;
        }
    }
    ShowNote(DeRegisterUnknownText, 1);
    return 0;
}

int SizeChangeSystem::SCSFindWindow(Handle hWnd) const
{
    for (int row = 1; row <= m_windows.count; ++row) {
        if (m_windows[row].hWnd == hWnd) {
            return row;
        }
    }
    return 0;
}

int SizeChangeSystem::SCSWindowIndex(Handle hWnd) const
{
    return SCSFindWindow(hWnd);
}

int SizeChangeSystem::SCSControlIndex(Handle hControl) const
{
    for (int row = 1; row <= m_controls.count; ++row) {
        if (m_controls[row].hControl == hControl) {
            return row;
        }
    }
    return 0;
}

Handle SizeChangeSystem::SCSControlHandle(int row) const
{
    if (row < 1 || row > m_controls.count) {
        return NoHandle;
    }
    return m_controls[row].hControl;
}

int SizeChangeSystem::SCSHasFlags(int row, std::uint32_t mask) const
{
    if (row < 1 || row > m_controls.count) {
        return 0;
    }
    return hasAll(m_controls[row].flags, mask) ? 1 : 0;
}

int SizeChangeSystem::SCSBindPartnerIndex(int row, std::uint32_t flag) const
{
    if (row < 1 || row > m_controls.count) {
        return 0;
    }
    const SCSControlRecord& record = m_controls[row];
    switch (flag) {
        case scs_BIND_X1_CONTROL:
            return SCSControlIndex(record.partnerX1);
        case scs_BIND_Y1_CONTROL:
            return SCSControlIndex(record.partnerY1);
        case scs_BIND_X2_CONTROL:
            return SCSControlIndex(record.partnerX2);
        case scs_BIND_Y2_CONTROL:
            return SCSControlIndex(record.partnerY2);
        default:
            return 0;
    }
}

int SizeChangeSystem::splitterIndex(Handle bar) const
{
    for (int row = 1; row <= m_splitters.count; ++row) {
        if (m_splitters[row].hSplitter == bar) {
            return row;
        }
    }
    return 0;
}

// ---- edges -------------------------------------------------------------------------------------

int SizeChangeSystem::controlWidth(Handle control)
{
    return m_windowSystem.windowRight(control) - m_windowSystem.windowLeft(control);
}

int SizeChangeSystem::controlHeight(Handle control)
{
    return m_windowSystem.windowBottom(control) - m_windowSystem.windowTop(control);
}

int SizeChangeSystem::frameOf(Handle parent)
{
    return m_windowSystem.hasSizingFrame(parent) ? m_windowSystem.frameWidth()
                                                 : m_windowSystem.dialogFrameWidth();
}

// Vertical edges are measured from the parent's outer bottom edge, which lies one frame width below
// the client area whatever caption and menu bar the window has.
int SizeChangeSystem::SCSControlLeft(Handle control, Handle parent)
{
    return m_windowSystem.windowLeft(control) - m_windowSystem.windowLeft(parent) - frameOf(parent);
}

int SizeChangeSystem::SCSControlTop(Handle control, Handle parent)
{
    return m_windowSystem.clientHeight(parent) -
           (m_windowSystem.windowBottom(parent) - m_windowSystem.windowTop(control) - frameOf(parent));
}

int SizeChangeSystem::SCSControlRight(Handle control, Handle parent)
{
    return m_windowSystem.windowRight(control) - m_windowSystem.windowLeft(parent) - frameOf(parent);
}

int SizeChangeSystem::SCSControlBottom(Handle control, Handle parent)
{
    return m_windowSystem.clientHeight(parent) -
           (m_windowSystem.windowBottom(parent) - m_windowSystem.windowBottom(control) - frameOf(parent));
}

// ---- layout --------------------------------------------------------------------------------------

int SizeChangeSystem::SCSResizeControls(
    Handle hWnd,
    std::uint32_t msg,
    std::uintptr_t /*wParam*/,
    std::intptr_t /*lParam*/,
    std::uintptr_t /*uIdSubclass*/,
    std::intptr_t dwRefData)
{
    if (dwRefData != SCSRefTopLevelWindow || (msg != scs_messages::Size && msg != scs_messages::Sizing)) {
        return 0;
    }
    // Ascending rows: a partner is an earlier row and already in its new place.
    for (int row = 1; row <= m_controls.count; ++row) {
        if (m_controls[row].hParent == hWnd && !hasAll(m_controls[row].flags, scs_DO_NOTHING)) {
            layOutRow(row, hWnd);
        }
    }
    return 0;
}

int SizeChangeSystem::partnerEdge(
    int row, std::uint32_t flag, int (SizeChangeSystem::*edge)(Handle, Handle), Handle parent)
{
    if (!hasAll(m_controls[row].flags, flag)) {
        return 0;
    }
    const Handle partner = SCSControlHandle(SCSBindPartnerIndex(row, flag));
    return (this->*edge)(partner, parent);
}

void SizeChangeSystem::layOutRow(int row, Handle hWnd)
{
    const Handle control = m_controls[row].hControl;
    const int windowRow = SCSWindowIndex(hWnd);
    int x = SCSControlLeft(control, hWnd);
    int y = SCSControlTop(control, hWnd);
    int w = controlWidth(control);
    int h = controlHeight(control);

    const SCSControlRecord& record = m_controls[row];
    const AxisInput horizontal{
        m_windowSystem.clientWidth(hWnd),
        windowRow != 0 ? m_windows[windowRow].referenceClientWidth : 0,
        record.leftDistance,
        record.rightDistance,
        record.left,
        record.width,
        record.widthRatio,
        partnerEdge(row, scs_BIND_X1_CONTROL, &SizeChangeSystem::SCSControlRight, hWnd),
        partnerEdge(row, scs_BIND_X2_CONTROL, &SizeChangeSystem::SCSControlLeft, hWnd)};
    layOutAxis(HorizontalAxis, record.flags, horizontal, x, w);

    const AxisInput vertical{
        m_windowSystem.clientHeight(hWnd),
        windowRow != 0 ? m_windows[windowRow].referenceClientHeight : 0,
        record.topDistance,
        record.bottomDistance,
        record.top,
        record.height,
        record.heightRatio,
        partnerEdge(row, scs_BIND_Y1_CONTROL, &SizeChangeSystem::SCSControlBottom, hWnd),
        partnerEdge(row, scs_BIND_Y2_CONTROL, &SizeChangeSystem::SCSControlTop, hWnd)};
    layOutAxis(VerticalAxis, record.flags, vertical, y, h);

    m_windowSystem.moveControl(control, x, y, std::max(0, w), std::max(0, h));

    SCSControlRecord& own = m_controls[row];
    if (hasAll(own.flags, scs_FONT) && own.font != NoHandle) {
        m_windowSystem.deleteFont(own.font);
        own.font = m_windowSystem.createFont(
            nearest(controlHeight(control) * own.fontHeightRatio),
            nearest(controlWidth(control) * own.fontWidthRatio),
            own.bold != 0 ? 700 : 400,
            own.italic != 0,
            own.underline != 0,
            own.faceName);
        if (own.font != NoHandle) {
            m_windowSystem.setControlFont(control, own.font);
        }
    }
}

void SizeChangeSystem::redrawControlsOf(Handle parent)
{
    for (int row = 1; row <= m_controls.count; ++row) {
        if (m_controls[row].hParent == parent) {
            m_windowSystem.redraw(m_controls[row].hControl);
        }
    }
}

void SizeChangeSystem::callCallback(
    Handle hWnd, std::uint32_t msg, std::uintptr_t wParam, std::intptr_t lParam)
{
    if (m_callback) {
        // Copied: the callback may replace itself.
        const SCSCallbackProc callback = m_callback;
        callback(hWnd, msg, wParam, lParam);
    }
}

// ---- subclass procedure and splitter drag ----------------------------------------------------------

std::intptr_t SizeChangeSystem::SCSSubclassProc(
    Handle hWnd,
    std::uint32_t msg,
    std::uintptr_t wParam,
    std::intptr_t lParam,
    std::uintptr_t uIdSubclass,
    std::intptr_t dwRefData)
{
    using namespace scs_messages;
    const bool buttonUp = msg == LeftButtonUp || msg == NonClientLeftButtonUp;
    if (dwRefData == SCSRefTopLevelWindow) {
        if (msg == Size || msg == Sizing) {
            SCSResizeControls(hWnd, msg, wParam, lParam, uIdSubclass, dwRefData);
            redrawControlsOf(hWnd);
            callCallback(hWnd, msg, wParam, lParam);
        } else if (msg == MouseMove || buttonUp) {
            const int splitter = splitterIndex(m_dragSplitter);
            if (m_dragSplitter != NoHandle && splitter != 0 && m_splitters[splitter].hParent == hWnd) {
                continueDrag(hWnd, msg);
            }
            if (buttonUp) {
                callCallback(hWnd, msg, wParam, lParam);
            }
        }
    } else if (dwRefData == SCSRefSplitterBar) {
        if (msg == LeftButtonDown || msg == NonClientLeftButtonDown) {
            startDrag(hWnd);
        } else if ((msg == MouseMove || buttonUp) && m_dragSplitter != NoHandle) {
            const int splitter = splitterIndex(m_dragSplitter);
            if (splitter != 0) {
                continueDrag(m_splitters[splitter].hParent, msg);
            } else {
                m_dragSplitter = NoHandle;
            }
            callCallback(hWnd, msg, wParam, lParam);
        }
    }
    return m_windowSystem.defaultSubclassProc(hWnd, msg, wParam, lParam);
}

void SizeChangeSystem::startDrag(Handle bar)
{
    const int splitter = splitterIndex(bar);
    if (splitter == 0) {
        return;
    }
    const Handle parent = m_splitters[splitter].hParent;
    if (m_splitters[splitter].orientation == SCSTallBar) {
        m_dragFixedStart = SCSControlTop(bar, parent);
        m_dragFixedLength = SCSControlBottom(bar, parent) - m_dragFixedStart;
    } else {
        m_dragFixedStart = SCSControlLeft(bar, parent);
        m_dragFixedLength = SCSControlRight(bar, parent) - m_dragFixedStart;
    }
    m_dragSplitter = bar;
}

void SizeChangeSystem::continueDrag(Handle parent, std::uint32_t msg)
{
    using namespace scs_messages;
    const Handle bar = m_dragSplitter;
    const int row = SCSControlIndex(bar);
    const int splitter = splitterIndex(bar);
    if (row == 0 || splitter == 0) {
        m_dragSplitter = NoHandle;
        return;
    }
    if (msg == LeftButtonUp || msg == NonClientLeftButtonUp) {
        redrawControlsOf(parent);
        m_dragSplitter = NoHandle;
        return;
    }
    if (msg != MouseMove) {
        return;
    }

    SCSWindowSystem& ws = m_windowSystem;
    const int parentWidth = ws.windowRight(parent) - ws.windowLeft(parent);
    const int parentHeight = ws.windowBottom(parent) - ws.windowTop(parent);
    // Half the difference between outer and client width is the side frame.
    const int frame = (parentWidth - ws.clientWidth(parent)) / 2;
    int x = 0;
    int y = 0;
    int w = 0;
    int h = 0;
    if (m_splitters[splitter].orientation == SCSTallBar) {
        x = ws.desktopMouseX() - (ws.windowLeft(parent) + frame) - controlWidth(bar) / 2;
        y = m_dragFixedStart;
        w = controlWidth(bar);
        h = m_dragFixedLength;
    } else {
        x = m_dragFixedStart;
        y = ws.desktopMouseY() - (ws.windowTop(parent) + (parentHeight - ws.clientHeight(parent)) - frame) -
            controlHeight(bar) / 2;
        w = m_dragFixedLength;
        h = controlHeight(bar);
    }
    ws.moveControl(bar, x, y, std::max(0, w), std::max(0, h));

    SCSControlRecord& record = m_controls[row];
    record.left = x;
    record.top = y;
    if (hasAll(record.flags, scs_BIND_X1)) {
        record.leftDistance = SCSControlLeft(bar, parent);
    }
    if (hasAll(record.flags, scs_BIND_Y1)) {
        record.topDistance = SCSControlTop(bar, parent);
    }
    if (hasAll(record.flags, scs_BIND_X2)) {
        record.rightDistance = ws.clientWidth(parent) - SCSControlRight(bar, parent);
    }
    if (hasAll(record.flags, scs_BIND_Y2)) {
        record.bottomDistance = ws.clientHeight(parent) - SCSControlBottom(bar, parent);
    }
    if (hasAll(record.flags, scs_BIND_X1_CONTROL)) {
        const Handle partner = record.partnerX1;
        record.leftDistance =
            SCSControlLeft(bar, parent) - (SCSControlLeft(partner, parent) + controlWidth(partner));
    }
    if (hasAll(record.flags, scs_BIND_Y1_CONTROL)) {
        const Handle partner = record.partnerY1;
        record.topDistance =
            SCSControlTop(bar, parent) - (SCSControlTop(partner, parent) + controlHeight(partner));
    }
    if (hasAll(record.flags, scs_BIND_X2_CONTROL)) {
        const Handle partner = record.partnerX2;
        record.rightDistance =
            SCSControlLeft(partner, parent) - (SCSControlLeft(bar, parent) + controlWidth(bar));
    }
    if (hasAll(record.flags, scs_BIND_Y2_CONTROL)) {
        const Handle partner = record.partnerY2;
        record.bottomDistance =
            SCSControlTop(partner, parent) - (SCSControlTop(bar, parent) + controlHeight(bar));
    }
    SCSResizeControls(parent, Sizing, 0, 0, 0, SCSRefTopLevelWindow);
    redrawControlsOf(parent);
}

} // namespace folvex
