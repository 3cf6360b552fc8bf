#include "components/action_box.h"

#include "components/action_box_internal.h"
#include "foundation/control_creation.h"
#include "foundation/text_measure.h"
#include "foundation/wait_window.h"
#include "foundation/window_routines.h"
#include "runtime/draw_objects.h"
#include "runtime/effects.h"
#include "runtime/input_state.h"
#include "runtime/object_registry.h"
#include "runtime/window_events.h"
#include "runtime/window_geometry.h"
#include "runtime/window_messages.h"

#include <QApplication>
#include <QEvent>
#include <QFont>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPixmap>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QStyle>
#include <QTimer>
#include <QWheelEvent>
#include <QWidget>

#include <algorithm>
#include <memory>
#include <vector>

namespace folvex {

static_assert(ActionBoxDialogFrameWidthPx == DialogFrameWidth);
static_assert(ActionBoxCaptionHeightPx == CaptionHeight);

namespace {

constexpr std::uint32_t StyleSystemMenu = 0x00080000; // WS_SYSMENU

// The margin the wait window leaves around its text.
constexpr int WaitWindowMarginPx = 20;

QColor colourOf(std::intptr_t bgr)
{
    return colourFromRgbValue(static_cast<std::uint32_t>(bgr));
}

// The box font: "Segoe UI" requested as a cell of 12 points at the screen's resolution (16 pixels at
// 96 DPI). Segoe UI's cell is 2724/2048 of its em, so the cell holds an em of 12 pixels; the family
// drawn in its place gets that em, so its letters are as wide as Segoe UI's would be. Sizing the
// stand-in by its own, shorter cell would make every text about a sixth wider than the boxes were
// drawn for.
QFont makeBoxFont()
{
    int dpi = 96;
    if (QScreen* screen = QGuiApplication::primaryScreen()) {
        dpi = static_cast<int>(screen->logicalDotsPerInchY());
    }
    constexpr int SegoeCellUnits = 2724; // ascent 2210 + descent 514, in units of 2048 to the em
    constexpr int SegoeEmUnits = 2048;
    const int cell = (12 * dpi + 36) / 72;
    QFont font(fontFamilyFor("Segoe UI"));
    font.setWeight(QFont::Normal);
    font.setPixelSize((cell * SegoeEmUnits + SegoeCellUnits / 2) / SegoeCellUnits);
    return font;
}

// Measures in a font handle of the draw-object registry.
class FontMeasurer final : public ActionBoxMeasurer
{
public:
    explicit FontMeasurer(Handle font)
        : m_font(font)
    {}

    int textWidth(std::string_view text) const override
    {
        return MeasureTextWidth(std::string(text), NoHandle, m_font);
    }

    int textHeight(std::string_view text) const override
    {
        return MeasureTextHeight(std::string(text), NoHandle, m_font);
    }

private:
    Handle m_font;
};

QPixmap iconPixmap(ActionBoxIconKind kind, const QStyle* style)
{
    QStyle::StandardPixmap standard = QStyle::SP_MessageBoxInformation;
    switch (kind) {
        case ActionBoxIconKind::None:
            return {};
        case ActionBoxIconKind::Information:
            standard = QStyle::SP_MessageBoxInformation;
            break;
        case ActionBoxIconKind::Question:
            standard = QStyle::SP_MessageBoxQuestion;
            break;
        case ActionBoxIconKind::Warning:
        case ActionBoxIconKind::Shield:
            standard = QStyle::SP_MessageBoxWarning;
            break;
        case ActionBoxIconKind::Error:
            standard = QStyle::SP_MessageBoxCritical;
            break;
        case ActionBoxIconKind::Application:
            return QApplication::windowIcon().pixmap(ActionBoxIconSizePx, ActionBoxIconSizePx);
    }
    return style->standardIcon(standard).pixmap(ActionBoxIconSizePx, ActionBoxIconSizePx);
}

enum class LastKind
{
    None,
    Close,
    Wheel,
    LeftButtonUp,
    Space, // a key message carrying the space code (Space itself, or Return)
};

// What the event filter saw last; the loop reads and clears it.
struct LastMessage
{
    LastKind kind = LastKind::None;
    int button = 0; // 1-based; 0 for the box itself
    int wheelDelta = 0;
};

class ActionBoxSession;

ActionBoxSession*& currentSession()
{
    static ActionBoxSession* session = nullptr;
    return session;
}

// The box window: paints the prepared background and the visible lines of text.
class BoxWidget final : public QWidget
{
public:
    explicit BoxWidget(ActionBoxSession& session)
        : m_session(session)
    {}

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    ActionBoxSession& m_session;
};

// One open box: its layout, widgets and loop state. A nested call gets its own session.
class ActionBoxSession final : public QObject
{
public:
    ActionBoxSession(ActionBoxParams& params, const std::string& text);

    ~ActionBoxSession() override;

    ActionBoxSession(const ActionBoxSession&) = delete;
    ActionBoxSession& operator=(const ActionBoxSession&) = delete;

    std::intptr_t run();

    QWidget* window() const { return m_box.get(); }

    int passes() const { return m_passes; }

    // The font handle the text is drawn and measured in.
    Handle textFont() const { return m_textFontHandle; }

    void paintBox(QPainter& painter) const;

    // Ends the current wait for an event early.
    void wake() { m_woken = true; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override { return ABSubclassProc(watched, event); }

private:
    void buildWindow();

    void drawFace();

    bool ABSubclassProc(QObject* watched, QEvent* event);

    void moveFocus(int fromButton, int direction);

    bool masked(int button) const
    {
        return button >= 1 && button <= 16 && (m_params.ScrollMask & (1u << (button - 1))) != 0;
    }

    bool isActive() const { return m_box != nullptr && QApplication::activeWindow() == m_box.get(); }

    void waitForEvent(int timeoutMs);

    void redrawText(bool unmask);

    void choose(int button)
    {
        m_result = button;
        m_end = true;
        m_last = {};
    }

    void chooseByAccelerator(int button, int code);

    void beepWhileHeld(int code);

    void askForHelp();

    // Waits in 25-ms steps while vk is held; from the tenth poll on each poll shows the guard box.
    void waitForRelease(int vk, ActionBoxGuard guard);

    ActionBoxParams& m_params;
    Handle m_boxFont = NoHandle;        // made for this box and deleted with it
    Handle m_textFontHandle = NoHandle; // TextFont, else the box font
    QFont m_textFont;
    int m_ascent = 0;
    ActionBoxLayout m_layout;
    Handle m_handle = NoHandle;
    std::unique_ptr<BoxWidget> m_box;
    std::vector<QPushButton*> m_buttons; // button i at index i - 1
    std::vector<Handle> m_buttonHandles;
    std::vector<std::uint8_t> m_accelerators;
    QScrollBar* m_bar = nullptr;
    Handle m_barHandle = NoHandle;
    QPixmap m_face; // the client area without text: the background every repaint starts from
    int m_scrollPos = 1;
    LastMessage m_last;
    int m_notedControl = 0;
    std::intptr_t m_result = 0;
    bool m_end = false;
    bool m_woken = false;
    int m_passes = 0;
};

void BoxWidget::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    m_session.paintBox(painter);
}

ActionBoxSession::ActionBoxSession(ActionBoxParams& params, const std::string& text)
    : m_params(params)
    , m_boxFont(registerFont(makeBoxFont()))
{
    m_textFontHandle = findFont(params.TextFont) != nullptr ? params.TextFont : m_boxFont;
    m_textFont = *findFont(m_textFontHandle);
    m_ascent = QFontMetrics(m_textFont).ascent();
    const bool waiting = !params.WaitText.empty();
    if (waiting) {
        XWarten(params.WaitText, NoHandle, WaitWindowMarginPx, -1, 0, 0, NoHandle);
    }
    m_layout = layoutActionBox(params, text, FontMeasurer(m_textFontHandle), ScreenWidth(), ScreenHeight());
    if (waiting) {
        XWartenEnde();
    }
    buildWindow();
}

ActionBoxSession::~ActionBoxSession()
{
    m_box->removeEventFilter(this);
    for (QPushButton* button : m_buttons) {
        button->removeEventFilter(this);
    }
    if (m_bar != nullptr) {
        m_bar->removeEventFilter(this);
    }
    m_box->hide();
    m_box.reset();
    if (QWidget* mainWindow = findWidget(mainWindowHandle()); mainWindow != nullptr) {
        mainWindow->activateWindow();
    }
    deleteDrawObject(m_boxFont);
}

void ActionBoxSession::buildWindow()
{
    const ActionBoxLayout& l = m_layout;
    m_box = std::make_unique<BoxWidget>(*this);
    m_box->setObjectName(QStringLiteral("ActionBox"));
    m_box->setWindowFlags(
        Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
        Qt::WindowCloseButtonHint | Qt::WindowStaysOnTopHint);
    m_box->setWindowTitle(QString::fromUtf8(m_params.Title));
    m_box->setAttribute(Qt::WA_OpaquePaintEvent);
    m_box->setFocusPolicy(Qt::NoFocus);
    m_handle = registerObject(m_box.get(), ObjectKind::Window, StyleCaption | StyleSystemMenu);
    placeWindowByOuterRect(m_handle, {l.outer.left, l.outer.top, l.outer.width, l.outer.height});
    m_box->setFixedSize(std::max(l.clientWidthPx, 1), std::max(l.clientHeightPx, 1));

    if (l.scrolls) {
        m_barHandle = create(
            "VScroll",
            m_handle,
            "",
            l.clientWidthPx - ActionBoxScrollBarWidthPx,
            0,
            ActionBoxScrollBarWidthPx,
            std::max(0, 2 * ActionBoxMarginPx + l.textHeightPx),
            0);
        m_bar = qobject_cast<QScrollBar*>(findObject(m_barHandle));
        m_bar->setObjectName(QStringLiteral("ActionBoxScrollBar"));
        SetScrollBarRange(m_barHandle, 1, l.greatestScrollPos);
        m_bar->setPageStep(std::max(l.visibleLines, 1));
        m_bar->setSingleStep(1);
        m_bar->setFocusPolicy(Qt::NoFocus);
        m_scrollPos = GetScrollBarPos(m_barHandle);
        // A drag shows its position at once; every other bar action is taken up by the loop.
        connect(m_bar, &QScrollBar::sliderMoved, this, [this](int position) {
            m_scrollPos = position;
            redrawText(true);
            wake();
        });
        connect(m_bar, &QScrollBar::valueChanged, this, [this](int) { wake(); });
    }
    drawFace();

    const int count = static_cast<int>(l.buttons.size());
    for (int i = 1; i <= count; ++i) {
        const ActionBoxRect& rect = l.buttons[static_cast<std::size_t>(i - 1)];
        const std::string label = actionBoxField(m_params.Buttons, i);
        // The buttons are in the box font, whatever font the text has.
        const Handle handle = create(
            i == m_params.DefaultButton ? "DEFBUTTON" : "BUTTON",
            m_handle,
            label,
            rect.left,
            rect.top,
            std::max(rect.width, 0),
            std::max(rect.height, 0),
            m_boxFont);
        auto* button = qobject_cast<QPushButton*>(findObject(handle));
        button->setObjectName(QStringLiteral("ActionBoxButton%1").arg(i));
        button->setShortcut(QKeySequence()); // accelerators are the loop's, not Qt's
        button->setAutoDefault(false);
        const std::string tip = actionBoxField(m_params.Tooltips, i);
        if (!tip.empty()) {
            create("TOOLTIP", handle, tip, 0, 0, 0, 0, m_handle);
        }
        connect(button, &QPushButton::clicked, this, [this, i] {
            m_notedControl = i;
            wake();
        });
        m_buttons.push_back(button);
        m_buttonHandles.push_back(handle);
        m_accelerators.push_back(Button1stLetterAsc(label));
    }
}

void ActionBoxSession::drawFace()
{
    const ActionBoxLayout& l = m_layout;
    const int cw = std::max(l.clientWidthPx, 1);
    const int ch = std::max(l.clientHeightPx, 1);
    m_face = QPixmap(cw, ch);
    m_face.fill(Qt::white);
    QPainter painter(&m_face);
    // The area's brush and pen: the given handles, else solid ones of AreaColour. Without a valid
    // pen handle the outline keeps the white pen the fill used.
    QBrush areaBrush(colourOf(m_params.AreaColour));
    QPen areaPen(colourOf(m_params.AreaColour));
    if (m_params.AreaBrush != NoHandle) {
        const QBrush* brush = findBrush(m_params.AreaBrush);
        areaBrush = brush != nullptr ? *brush : QBrush(Qt::white);
        const QPen* pen = findPen(m_params.AreaPen);
        areaPen = pen != nullptr ? *pen : QPen(Qt::white);
    }
    areaPen.setWidth(std::max(areaPen.width(), 1));
    if (l.stripTopPx > 0) {
        painter.fillRect(QRect(0, 0, cw, l.stripTopPx), areaBrush);
        painter.setPen(areaPen);
        painter.drawRect(QRect(0, 0, cw - 1, l.stripTopPx - 1));
    }
    if (m_params.StripColour != 0 && ch - (l.stripTopPx + 1) > 0) {
        const QRect strip(0, l.stripTopPx + 1, cw, ch - (l.stripTopPx + 1));
        painter.fillRect(strip, colourOf(m_params.StripColour));
        painter.setPen(areaPen);
        painter.drawRect(strip.adjusted(0, 0, -1, -1));
    }
    const QPixmap icon = iconPixmap(actionBoxIconKind(m_params.Icon), m_box->style());
    if (!icon.isNull()) {
        painter.drawPixmap(
            QRect(ActionBoxIconLeftPx, ActionBoxIconTopPx, ActionBoxIconSizePx, ActionBoxIconSizePx), icon);
    }
}

void ActionBoxSession::paintBox(QPainter& painter) const
{
    const ActionBoxLayout& l = m_layout;
    painter.drawPixmap(0, 0, m_face);
    const int textWidth = l.clientWidthPx - (l.scrolls ? ActionBoxScrollBarWidthPx : 0);
    if (textWidth <= 0 || l.stripTopPx <= 0 || l.lines.empty()) {
        return;
    }
    painter.setClipRect(QRect(0, 0, textWidth, l.stripTopPx));
    painter.setFont(m_textFont);
    painter.setPen(colourOf(m_params.TextColour));
    const int count = static_cast<int>(l.lines.size());
    int first = 0;
    int last = count - 1;
    if (l.scrolls) {
        first = m_scrollPos - 1;
        last = std::min(first + l.visibleLines - 1, count - 1);
    }
    const int x = l.iconColumnPx + ActionBoxMarginPx;
    for (int line = std::max(first, 0); line <= last; ++line) {
        const int y = ActionBoxMarginPx + l.lineHeightPx * (line - first);
        if (y > l.stripTopPx) {
            break;
        }
        painter.drawText(x, y + m_ascent, QString::fromUtf8(l.lines[static_cast<std::size_t>(line)]));
    }
}

// Shows the text from the scroll position; at the last page the masked buttons are enabled and the
// caller's mask is cleared.
void ActionBoxSession::redrawText(bool unmask)
{
    Redraw(m_handle, 0);
    if (unmask && m_layout.scrolls && m_scrollPos == m_layout.greatestScrollPos) {
        for (int i = 1; i <= static_cast<int>(m_buttons.size()); ++i) {
            if (masked(i)) {
                EnableControl(m_buttonHandles[static_cast<std::size_t>(i - 1)], 1);
            }
        }
        m_params.ScrollMask = 0;
    }
}

// Records what the loop acts on (clicks, Space, Return, the wheel, the close box) and moves the focus
// for the arrow keys. Events of disabled buttons are left alone.
bool ActionBoxSession::ABSubclassProc(QObject* watched, QEvent* event)
{
    const QEvent::Type type = event->type();
    if (watched == m_box.get() || watched == m_bar) {
        if (type == QEvent::Wheel) {
            // The bar does not scroll by itself: one line per wheel event, by the loop.
            m_last.kind = LastKind::Wheel;
            m_last.wheelDelta = static_cast<QWheelEvent*>(event)->angleDelta().y();
            wake();
            return true;
        }
        if (type == QEvent::Close && watched == m_box.get()) {
            // The close box never closes the window itself; the loop decides.
            m_last.kind = LastKind::Close;
            event->ignore();
            wake();
            return true;
        }
        return false;
    }
    const auto found = std::find(m_buttons.begin(), m_buttons.end(), watched);
    if (found == m_buttons.end() || !(*found)->isEnabled()) {
        return false;
    }
    const int index = static_cast<int>(found - m_buttons.begin()) + 1;
    if (type == QEvent::MouseButtonRelease && static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
        // Qt delivers the release to the pressed button, also outside it: that still chooses it.
        m_last = {LastKind::LeftButtonUp, index, 0};
        wake();
        return false;
    }
    if (type != QEvent::KeyPress && type != QEvent::KeyRelease) {
        return false;
    }
    const auto* key = static_cast<QKeyEvent*>(event);
    switch (key->key()) {
        case Qt::Key_Space:
            if (type == QEvent::KeyPress) {
                m_last = {LastKind::Space, index, 0};
                wake();
            }
            return true;
        case Qt::Key_Return:
        case Qt::Key_Enter:
        case Qt::Key_Left:
        case Qt::Key_Right:
            break;
        default:
            return false;
    }
    if (type == QEvent::KeyPress && (key->modifiers() & (Qt::ShiftModifier | Qt::ControlModifier)) == 0) {
        if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {
            m_last = {LastKind::Space, index, 0};
        } else {
            moveFocus(index, key->key() == Qt::Key_Right ? 1 : -1);
        }
        wake();
    }
    return true; // Return and the arrows mean nothing else to a button
}

// Moves the focus to the next (direction 1) or previous (−1) button whose mask bit is clear,
// wrapping around; nothing moves with fewer than two such buttons.
void ActionBoxSession::moveFocus(int fromButton, int direction)
{
    const int count = static_cast<int>(m_buttons.size());
    int unmasked = 0;
    for (int i = 1; i <= count; ++i) {
        unmasked += masked(i) ? 0 : 1;
    }
    if (unmasked < 2) {
        return;
    }
    int button = fromButton;
    for (int steps = 1;; ++steps) {
        if (steps >= ActionBoxArrowSearchSteps) {
            showActionBoxGuard(direction > 0 ? ActionBoxGuard::RightSearch : ActionBoxGuard::LeftSearch);
            return;
        }
        button = direction > 0 ? button % count + 1 : (button + count - 2) % count + 1;
        if (!masked(button)) {
            m_buttons[static_cast<std::size_t>(button - 1)]->setFocus(Qt::TabFocusReason);
            return;
        }
    }
}

// Waits until the program's event queue has an event, the box's input woke the loop, a key or mouse
// button was pressed or let go, or timeoutMs passed; then takes every queued event: events of other
// windows are dropped while the box is open.
void ActionBoxSession::waitForEvent(int timeoutMs)
{
    QTimer timeout;
    timeout.setSingleShot(true);
    timeout.start(timeoutMs);
    const unsigned long long keysBefore = keyStateChanges();
    while (!m_woken && queuedWindowEvents() == 0 && keyStateChanges() == keysBefore && timeout.isActive()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
    }
    m_woken = false;
    while (WindowEvent() != 0) {
    }
}

void ActionBoxSession::waitForRelease(int vk, ActionBoxGuard guard)
{
    int polls = 0;
    while (KeyIsDown(vk)) {
        Delay(ActionBoxKeyPollMs);
        ++polls;
        if (polls >= ActionBoxKeyGuardPolls && KeyIsDown(vk)) {
            showActionBoxGuard(guard);
        }
    }
}

// An accelerator chooses its button once it is let go; one still held after ten polls withdraws the
// choice and keeps the box open.
void ActionBoxSession::chooseByAccelerator(int button, int code)
{
    choose(button);
    int polls = 0;
    while (KeyIsDown(code)) {
        Delay(ActionBoxKeyPollMs);
        if (++polls >= ActionBoxKeyGuardPolls && KeyIsDown(code)) {
            showActionBoxGuard(ActionBoxGuard::Input3, button, code);
            m_result = 0;
            m_end = false;
            return;
        }
    }
}

// A masked accelerator beeps while it is held, for at most ten polls.
void ActionBoxSession::beepWhileHeld(int code)
{
    int polls = 0;
    while (KeyIsDown(code)) {
        if (effects().sound != nullptr) {
            effects().sound->beep(ActionBoxMaskedBeepHz, ActionBoxMaskedBeepMs);
        }
        Delay(ActionBoxKeyPollMs);
        if (++polls >= ActionBoxKeyGuardPolls) {
            showActionBoxGuard(ActionBoxGuard::Input4);
            return;
        }
    }
}

// The help button: the main window gets the help message, then the help procedure runs with the box
// put behind other windows.
void ActionBoxSession::askForHelp()
{
    ActionBoxHelpInfo info;
    info.itemHandle = m_handle;
    info.mouseX = DesktopMouseX();
    info.mouseY = DesktopMouseY();
    SendWindowMessage(mainWindowHandle(), HelpMessage, 0, reinterpret_cast<std::intptr_t>(&info));
    if (m_params.HelpProc != nullptr) {
        m_box->lower();
        m_params.HelpProc(m_params.HelpArgument);
        m_box->raise();
        waitForRelease(VkEscape, ActionBoxGuard::Input5);
    }
}

std::intptr_t ActionBoxSession::run()
{
    m_box->show();
    m_box->raise();
    m_box->activateWindow();

    const int count = static_cast<int>(m_buttons.size());
    if (m_layout.scrolls) {
        for (int i = 1; i <= count; ++i) {
            if (masked(i)) {
                EnableControl(m_buttonHandles[static_cast<std::size_t>(i - 1)], 0);
            }
        }
    }
    const ActionBoxSound sound = actionBoxSound(m_params.Sound, m_params.Icon);
    if (SoundSink* sink = effects().sound; sink != nullptr) {
        if (sound.kind == ActionBoxSoundKind::System) {
            SystemBeep(static_cast<std::uint32_t>(sound.systemType));
        } else if (sound.kind == ActionBoxSoundKind::File) {
            sink->playSound(sound.fileName);
        }
    }

    m_box->installEventFilter(this);
    for (QPushButton* button : m_buttons) {
        button->installEventFilter(this);
    }
    if (m_bar != nullptr) {
        m_bar->installEventFilter(this);
    }
    if (count > 0) {
        const int focused = m_params.DefaultButton >= 1 && m_params.DefaultButton <= count
                                ? static_cast<int>(m_params.DefaultButton)
                                : 1;
        m_buttons[static_cast<std::size_t>(focused - 1)]->setFocus(Qt::OtherFocusReason);
    }
    waitForRelease(VkEscape, ActionBoxGuard::Input1);

    const int helpButton = m_params.HelpButton != 0 ? count : 0;
    const int choosable = helpButton != 0 ? count - 1 : count;
    const auto clickedOrSpace = [this](int button) {
        return m_notedControl == button ||
               (m_last.button == button &&
                (m_last.kind == LastKind::LeftButtonUp || m_last.kind == LastKind::Space));
    };
    while (!m_end) {
        m_notedControl = 0;
        waitForEvent(ActionBoxEventWaitMs);
        ++m_passes;

        for (QPushButton* button : m_buttons) {
            button->setDown(button->hasFocus());
        }

        if ((KeyDown(VkEscape, 0, NoHandle) == 1 || m_last.kind == LastKind::Close) && isActive()) {
            choose(0);
            waitForRelease(VkEscape, ActionBoxGuard::Input2);
        } else if (m_layout.scrolls && GetScrollBarPos(m_barHandle) != m_scrollPos) {
            m_scrollPos = GetScrollBarPos(m_barHandle);
            redrawText(true);
        } else if (m_layout.scrolls && m_last.kind == LastKind::Wheel) {
            const int delta = m_last.wheelDelta;
            m_last = {};
            int position = m_scrollPos;
            if (delta < 0) {
                position = std::min(GetScrollBarPos(m_barHandle) + 1, m_layout.greatestScrollPos);
            } else if (delta > 0) {
                position = std::max(GetScrollBarPos(m_barHandle) - 1, 1);
            }
            if (position != m_scrollPos) {
                m_scrollPos = position;
                SetScrollBarPos(m_barHandle, position);
                redrawText(true);
            }
        } else {
            for (int i = 1; i <= choosable; ++i) {
                if (clickedOrSpace(i)) {
                    choose(i);
                    break;
                }
                const int code = m_accelerators[static_cast<std::size_t>(i - 1)];
                // Accelerators count only while the box is the active window, like Esc: a letter
                // typed into another window must not answer the box.
                if (code != 0 && KeyDown(code, 0, m_handle) == 1 && KeyIsDown(code)) {
                    if (!masked(i)) {
                        chooseByAccelerator(i, code);
                        break;
                    }
                    beepWhileHeld(code);
                }
            }
            if (!m_end && helpButton != 0 && clickedOrSpace(helpButton)) {
                m_last = {};
                askForHelp();
            }
        }
    }
    return m_result;
}

} // namespace

std::intptr_t ActionBox(ActionBoxParams& params)
{
    const std::string text = actionBoxText(params);
    applyActionBoxDefaults(params);
    if (ActionBoxAnswerer* answerer = actionBoxAnswerer(); answerer != nullptr) {
        return answerer->answerActionBox(params);
    }
    if (qApp == nullptr) {
        return 0;
    }
    installInputState();
    const QPointer<QWidget> previousFocus = QApplication::focusWidget();
    ActionBoxSession* const previousSession = currentSession();
    std::intptr_t result = 0;
    {
        ActionBoxSession session(params, text);
        currentSession() = &session;
        result = session.run();
        currentSession() = previousSession;
    }
    if (previousFocus != nullptr) {
        previousFocus->activateWindow();
        previousFocus->setFocus(Qt::OtherFocusReason);
    }
    return result;
}

int ABTextWidth(const std::string& text, Handle hwnd)
{
    if (hwnd != NoHandle) {
        return MeasureTextWidth(text, hwnd, NoHandle);
    }
    return currentSession() != nullptr ? MeasureTextWidth(text, NoHandle, currentSession()->textFont()) : 0;
}

int ABTextHeight(const std::string& text, Handle hwnd)
{
    if (hwnd != NoHandle) {
        return MeasureTextHeight(text, hwnd, NoHandle);
    }
    return currentSession() != nullptr ? MeasureTextHeight(text, NoHandle, currentSession()->textFont()) : 0;
}

QWidget* openActionBoxWindow()
{
    return currentSession() != nullptr ? currentSession()->window() : nullptr;
}

int actionBoxLoopPasses()
{
    return currentSession() != nullptr ? currentSession()->passes() : 0;
}

} // namespace folvex
