#include "components/action_box.h"

#include "components/action_box_internal.h"
#include "runtime/draw_objects.h"
#include "runtime/effects.h"
#include "runtime/object_registry.h"
#include "runtime/window_events.h"
#include "runtime/window_geometry.h"
#include "runtime/window_messages.h"

#include <QApplication>
#include <QCursor>
#include <QEvent>
#include <QFont>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QLabel>
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
#include <set>
#include <vector>

namespace folvex {

static_assert(ActionBoxDialogFrameWidthPx == DialogFrameWidth);
static_assert(ActionBoxCaptionHeightPx == CaptionHeight);

namespace {

constexpr std::uint32_t WmHelp = 0x0053;
constexpr std::uint32_t StyleSystemMenu = 0x00080000; // WS_SYSMENU
constexpr std::uint32_t StyleVisible = 0x10000000;    // WS_VISIBLE
constexpr std::uint32_t StyleDefaultPushButton = 0x1; // BS_DEFPUSHBUTTON
constexpr std::uint32_t StyleVerticalBar = 0x1;       // SBS_VERT
constexpr int VkReturn = 13;
constexpr int VkEscape = 27;
constexpr int VkSpace = 32;

// Windows virtual-key codes of Qt keys: letters and digits are their upper-case characters.
int virtualKey(int qtKey)
{
    if ((qtKey >= Qt::Key_A && qtKey <= Qt::Key_Z) || (qtKey >= Qt::Key_0 && qtKey <= Qt::Key_9)) {
        return qtKey;
    }
    if (qtKey >= Qt::Key_Agrave && qtKey <= Qt::Key_THORN && qtKey != Qt::Key_multiply) {
        return qtKey; // upper-case Latin-1 letters, as accelerator codes carry them
    }
    switch (qtKey) {
        case Qt::Key_Backspace:
            return 8;
        case Qt::Key_Tab:
            return 9;
        case Qt::Key_Return:
        case Qt::Key_Enter:
            return VkReturn;
        case Qt::Key_Shift:
            return 16;
        case Qt::Key_Control:
            return 17;
        case Qt::Key_Alt:
            return 18;
        case Qt::Key_Escape:
            return VkEscape;
        case Qt::Key_Space:
            return VkSpace;
        case Qt::Key_Left:
            return 37;
        case Qt::Key_Up:
            return 38;
        case Qt::Key_Right:
            return 39;
        case Qt::Key_Down:
            return 40;
        case Qt::Key_Delete:
            return 46;
        default:
            return 0;
    }
}

// The keys held down, from Qt's key events anywhere in the program; cleared when the program loses
// activation, so a wait for a release cannot hang on a release it never sees. Stands in for the
// program's key-state table until the box reads that one.
class KeyTracker final : public QObject
{
public:
    KeyTracker() { qApp->installEventFilter(this); }

    bool isDown(int vk) const { return vk != 0 && m_down.count(vk) != 0; }

    std::function<void()> onKey;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        const QEvent::Type type = event->type();
        if ((type == QEvent::KeyPress || type == QEvent::KeyRelease) && watched->isWidgetType()) {
            const auto* key = static_cast<QKeyEvent*>(event);
            const int vk = virtualKey(key->key());
            if (!key->isAutoRepeat() && vk != 0) {
                if (type == QEvent::KeyPress) {
                    m_down.insert(vk);
                } else {
                    m_down.erase(vk);
                }
                if (onKey) {
                    onKey();
                }
            }
        } else if (type == QEvent::ApplicationStateChange && watched == qApp) {
            if (qApp->applicationState() != Qt::ApplicationActive) {
                m_down.clear();
            }
        }
        return false;
    }

private:
    std::set<int> m_down;
};

KeyTracker& keyTracker()
{
    static KeyTracker* tracker = new KeyTracker; // an application filter for the life of the process
    return *tracker;
}

// The small "please wait" window shown while a long text is laid out; stands in for the program's
// wait window until the box uses that one.
class WaitWindow
{
public:
    explicit WaitWindow(const std::string& text)
        : m_window(std::make_unique<QLabel>(QString::fromUtf8(text)))
    {
        m_window->setWindowTitle(QStringLiteral("Bitte warten..."));
        m_window->setMargin(20);
        m_window->adjustSize();
        m_window->show();
        QApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    }

private:
    std::unique_ptr<QLabel> m_window;
};

QColor colourOf(std::intptr_t bgr)
{
    return colourFromRgbValue(static_cast<std::uint32_t>(bgr));
}

// The box font: "Segoe UI" at the largest pixel size whose ascent and descent fit a cell of 12 points
// at the screen's resolution (16 pixels at 96 DPI).
QFont makeBoxFont()
{
    int dpi = 96;
    if (QScreen* screen = QGuiApplication::primaryScreen()) {
        dpi = static_cast<int>(screen->logicalDotsPerInchY());
    }
    const int cell = (12 * dpi + 36) / 72;
    QFont font(fontFamilyFor("Segoe UI"));
    font.setWeight(QFont::Normal);
    for (int size = cell; size > 1; --size) {
        font.setPixelSize(size);
        const QFontMetrics metrics(font);
        if (metrics.ascent() + metrics.descent() <= cell) {
            break;
        }
    }
    return font;
}

int measureWidth(const QFont& font, std::string_view text)
{
    if (text.empty()) {
        return 0;
    }
    return QFontMetrics(font).horizontalAdvance(
        QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())));
}

int measureHeight(const QFont& font, std::string_view text)
{
    return text.empty() ? 0 : QFontMetrics(font).height();
}

class FontMeasurer final : public ActionBoxMeasurer
{
public:
    explicit FontMeasurer(const QFont& font)
        : m_font(font)
    {}

    int textWidth(std::string_view text) const override { return measureWidth(m_font, text); }

    int textHeight(std::string_view text) const override { return measureHeight(m_font, text); }

private:
    QFont m_font;
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

// Tooltips take the note escapes: "\n" breaks the line, "\q" is a double quote.
QString tooltipText(const std::string& field)
{
    std::string text = field;
    for (const auto& [from, to] : {std::pair<std::string, std::string>{"\\n", "\n"}, {"\\q", "\""}}) {
        std::size_t pos = 0;
        while ((pos = text.find(from, pos)) != std::string::npos) {
            text.replace(pos, from.size(), to);
            pos += to.size();
        }
    }
    return QString::fromUtf8(text);
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

    const QFont& textFont() const { return m_textFont; }

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
    QFont m_boxFont;
    QFont m_textFont;
    int m_ascent = 0;
    ActionBoxLayout m_layout;
    Handle m_handle = NoHandle;
    std::unique_ptr<BoxWidget> m_box;
    std::vector<QPushButton*> m_buttons; // button i at index i - 1
    std::vector<std::uint8_t> m_accelerators;
    QScrollBar* m_bar = nullptr;
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
    , m_boxFont(makeBoxFont())
    , m_textFont(m_boxFont)
{
    if (const QFont* given = findFont(params.TextFont); given != nullptr) {
        m_textFont = *given;
    }
    m_ascent = QFontMetrics(m_textFont).ascent();
    QRect screen(0, 0, 1024, 768);
    if (QScreen* primary = QGuiApplication::primaryScreen()) {
        screen = primary->geometry();
    }
    {
        std::unique_ptr<WaitWindow> wait;
        if (!params.WaitText.empty()) {
            wait = std::make_unique<WaitWindow>(params.WaitText);
        }
        m_layout = layoutActionBox(params, text, FontMeasurer(m_textFont), screen.width(), screen.height());
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
        m_bar = new QScrollBar(Qt::Vertical, m_box.get());
        m_bar->setObjectName(QStringLiteral("ActionBoxScrollBar"));
        registerObject(m_bar, ObjectKind::Control, StyleChild | StyleVisible | StyleVerticalBar);
        m_bar->setGeometry(
            l.clientWidthPx - ActionBoxScrollBarWidthPx,
            0,
            ActionBoxScrollBarWidthPx,
            std::max(0, 2 * ActionBoxMarginPx + l.textHeightPx));
        m_bar->setRange(1, l.greatestScrollPos);
        m_bar->setPageStep(std::max(l.visibleLines, 1));
        m_bar->setSingleStep(1);
        m_bar->setValue(1);
        m_bar->setFocusPolicy(Qt::NoFocus);
        m_scrollPos = m_bar->value();
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
        auto* button = new QPushButton(QString::fromUtf8(label), m_box.get());
        button->setObjectName(QStringLiteral("ActionBoxButton%1").arg(i));
        const bool isDefault = i == m_params.DefaultButton;
        registerObject(
            button,
            ObjectKind::Control,
            StyleChild | StyleVisible | (isDefault ? StyleDefaultPushButton : 0));
        button->setShortcut(QKeySequence()); // accelerators are the loop's, not Qt's
        button->setAutoDefault(false);
        button->setDefault(isDefault);
        button->setFont(m_boxFont);
        button->setGeometry(rect.left, rect.top, std::max(rect.width, 0), std::max(rect.height, 0));
        const std::string tip = actionBoxField(m_params.Tooltips, i);
        if (!tip.empty()) {
            button->setToolTip(tooltipText(tip));
        }
        connect(button, &QPushButton::clicked, this, [this, i] {
            m_notedControl = i;
            wake();
        });
        m_buttons.push_back(button);
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
    m_box->repaint();
    if (unmask && m_layout.scrolls && m_scrollPos == m_layout.greatestScrollPos) {
        for (int i = 1; i <= static_cast<int>(m_buttons.size()); ++i) {
            if (masked(i)) {
                m_buttons[static_cast<std::size_t>(i - 1)]->setEnabled(true);
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

// Waits until the program's event queue has an event, the box's input woke the loop, or timeoutMs
// passed; then takes every queued event: events of other windows are dropped while the box is open.
void ActionBoxSession::waitForEvent(int timeoutMs)
{
    QTimer timeout;
    timeout.setSingleShot(true);
    timeout.start(timeoutMs);
    while (!m_woken && queuedWindowEvents() == 0 && timeout.isActive()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
    }
    m_woken = false;
    while (WindowEvent() != 0) {
    }
}

void ActionBoxSession::waitForRelease(int vk, ActionBoxGuard guard)
{
    int polls = 0;
    while (keyTracker().isDown(vk)) {
        Delay(ActionBoxKeyPollMs);
        ++polls;
        if (polls >= ActionBoxKeyGuardPolls && keyTracker().isDown(vk)) {
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
    while (keyTracker().isDown(code)) {
        Delay(ActionBoxKeyPollMs);
        if (++polls >= ActionBoxKeyGuardPolls && keyTracker().isDown(code)) {
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
    while (keyTracker().isDown(code)) {
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
    info.mouseX = QCursor::pos().x();
    info.mouseY = QCursor::pos().y();
    SendWindowMessage(mainWindowHandle(), WmHelp, 0, reinterpret_cast<std::intptr_t>(&info));
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
                m_buttons[static_cast<std::size_t>(i - 1)]->setEnabled(false);
            }
        }
    }
    const ActionBoxSound sound = actionBoxSound(m_params.Sound, m_params.Icon);
    if (SoundSink* sink = effects().sound; sink != nullptr) {
        if (sound.kind == ActionBoxSoundKind::System) {
            sink->beep(0, 0);
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

        if ((keyTracker().isDown(VkEscape) || m_last.kind == LastKind::Close) && isActive()) {
            choose(0);
            waitForRelease(VkEscape, ActionBoxGuard::Input2);
        } else if (m_layout.scrolls && m_bar->value() != m_scrollPos) {
            m_scrollPos = m_bar->value();
            redrawText(true);
        } else if (m_layout.scrolls && m_last.kind == LastKind::Wheel) {
            const int delta = m_last.wheelDelta;
            m_last = {};
            int position = m_scrollPos;
            if (delta < 0) {
                position = std::min(m_bar->value() + 1, m_layout.greatestScrollPos);
            } else if (delta > 0) {
                position = std::max(m_bar->value() - 1, 1);
            }
            if (position != m_scrollPos) {
                m_scrollPos = position;
                m_bar->setValue(position);
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
                if (code != 0 && keyTracker().isDown(code) && isActive()) {
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
    keyTracker();
    const QPointer<QWidget> previousFocus = QApplication::focusWidget();
    ActionBoxSession* const previousSession = currentSession();
    std::intptr_t result = 0;
    {
        ActionBoxSession session(params, text);
        currentSession() = &session;
        // Any key anywhere wakes the loop, so it reads the key state at once.
        keyTracker().onKey = [] {
            if (currentSession() != nullptr) {
                currentSession()->wake();
            }
        };
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
        const QWidget* widget = findWidget(hwnd);
        return widget != nullptr ? measureWidth(widget->font(), text) : 0;
    }
    return currentSession() != nullptr ? measureWidth(currentSession()->textFont(), text) : 0;
}

int ABTextHeight(const std::string& text, Handle hwnd)
{
    if (hwnd != NoHandle) {
        const QWidget* widget = findWidget(hwnd);
        return widget != nullptr ? measureHeight(widget->font(), text) : 0;
    }
    return currentSession() != nullptr ? measureHeight(currentSession()->textFont(), text) : 0;
}

QWidget* openActionBoxWindow()
{
    return currentSession() != nullptr ? currentSession()->window() : nullptr;
}

int actionBoxLoopPasses()
{
    return currentSession() != nullptr ? currentSession()->passes() : 0;
}

void startActionBoxKeyTracking()
{
    keyTracker();
}

} // namespace folvex
