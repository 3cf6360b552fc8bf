#include "runtime/controls.h"

#include "runtime/dib.h"
#include "runtime/draw_objects.h"
#include "runtime/effects.h"
#include "runtime/object_registry.h"
#include "runtime/window_events.h"

#include <QAbstractItemView>
#include <QCheckBox>
#include <QComboBox>
#include <QCursor>
#include <QEvent>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QPointer>
#include <QRadioButton>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QStyleOptionButton>
#include <QTreeWidget>

#include <algorithm>
#include <limits>

namespace folvex {
namespace {

// The style kept for a scroll area's panel: a visible child.
constexpr std::uint32_t PanelStyle = 0x50000000;

// The colour of a toggle's edge.
const QColor ToggleEdgeColour(0x80, 0x80, 0x80);

void post(QWidget* widget, Handle control, ControlEventType type)
{
    postControlEvent(handleOf(widget->window()), control, static_cast<int>(type));
}

// Posts the control event whenever the widget emits signal (whatever the signal carries).
template <typename Widget, typename Signal>
void postOn(Widget* widget, Signal signal, Handle control, ControlEventType type)
{
    QObject::connect(widget, signal, widget, [widget, control, type] { post(widget, control, type); });
}

// Posts button-up events of one widget; a child object of it, so it ends with the widget.
class ButtonUpWatcher final : public QObject
{
public:
    ButtonUpWatcher(QWidget* widget, Handle control)
        : QObject(widget)
        , m_widget(widget)
        , m_control(control)
    {
        widget->installEventFilter(this);
    }

    bool wakeOnLeftPress = false;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (watched != m_widget ||
            (event->type() != QEvent::MouseButtonRelease && event->type() != QEvent::MouseButtonPress)) {
            return false;
        }
        const auto* mouse = static_cast<QMouseEvent*>(event);
        const bool left = mouse->button() == Qt::LeftButton;
        if (!left && mouse->button() != Qt::RightButton) {
            return false;
        }
        const Handle window = handleOf(m_widget->window());
        const QPoint at = mouse->position().toPoint();
        if (event->type() == QEvent::MouseButtonPress) {
            if (left && wakeOnLeftPress) {
                PostCustomEvent(window);
            }
        } else if (m_widget->rect().contains(at)) {
            // A release reaches the widget that had the press even when the pointer left it.
            postButtonUpEvent(window, m_control, !left, at.x(), at.y());
        }
        return false;
    }

private:
    QWidget* m_widget;
    Handle m_control;
};

template <typename Widget>
Widget* find(Handle handle)
{
    return qobject_cast<Widget*>(findWidget(handle));
}

} // namespace

void attachControlEvents(QWidget* widget, Handle control)
{
    if (auto* toggle = qobject_cast<ToggleButton*>(widget)) {
        postOn(toggle, &QPushButton::toggled, control, ControlEventType::Clicked);
    } else if (auto* button = qobject_cast<QPushButton*>(widget)) {
        postOn(button, &QPushButton::clicked, control, ControlEventType::Clicked);
    } else if (auto* check = qobject_cast<QCheckBox*>(widget)) {
        postOn(check, &QCheckBox::toggled, control, ControlEventType::Clicked);
    } else if (auto* radio = qobject_cast<QRadioButton*>(widget)) {
        // The radio button that loses its mark when another is chosen stays silent.
        QObject::connect(radio, &QRadioButton::toggled, radio, [radio, control](bool checked) {
            if (checked) {
                post(radio, control, ControlEventType::Clicked);
            }
        });
    } else if (auto* edit = qobject_cast<QLineEdit*>(widget)) {
        postOn(edit, &QLineEdit::returnPressed, control, ControlEventType::ReturnPressed);
    } else if (auto* combo = qobject_cast<QComboBox*>(widget)) {
        postOn(combo, &QComboBox::currentIndexChanged, control, ControlEventType::Changed);
    } else if (auto* spin = qobject_cast<QSpinBox*>(widget)) {
        postOn(spin, &QSpinBox::valueChanged, control, ControlEventType::Changed);
    } else if (auto* tree = qobject_cast<QTreeWidget*>(widget)) {
        postOn(tree, &QTreeWidget::itemSelectionChanged, control, ControlEventType::SelectionChanged);
    } else if (auto* list = qobject_cast<QListWidget*>(widget)) {
        postOn(list, &QListWidget::itemSelectionChanged, control, ControlEventType::SelectionChanged);
    }
    if (auto* view = qobject_cast<QAbstractItemView*>(widget)) {
        postOn(view, &QAbstractItemView::doubleClicked, control, ControlEventType::DoubleClicked);
    }
}

bool RequestButtonUpEvents(Handle control, bool wakeOnLeftPress)
{
    QWidget* widget = findWidget(control);
    if (widget == nullptr) {
        return false;
    }
    // The watcher has no meta-object of its own, so findChild would take any child for it.
    ButtonUpWatcher* watcher = nullptr;
    for (QObject* child : widget->children()) {
        if (auto* candidate = dynamic_cast<ButtonUpWatcher*>(child)) {
            watcher = candidate;
        }
    }
    if (watcher == nullptr) {
        watcher = new ButtonUpWatcher(widget, control);
    }
    watcher->wakeOnLeftPress = wakeOnLeftPress;
    return true;
}

int ComboAddItem(Handle combo, const std::string& text)
{
    auto* box = find<QComboBox>(combo);
    if (box == nullptr) {
        return -1;
    }
    const QSignalBlocker quiet(box);
    box->addItem(QString::fromUtf8(text));
    return box->count() - 1;
}

bool ComboRemoveItem(Handle combo, int index)
{
    auto* box = find<QComboBox>(combo);
    if (box == nullptr || index < 0 || index >= box->count()) {
        return false;
    }
    const QSignalBlocker quiet(box);
    box->removeItem(index);
    return true;
}

void ComboClear(Handle combo)
{
    if (auto* box = find<QComboBox>(combo)) {
        const QSignalBlocker quiet(box);
        box->clear();
    }
}

int ComboItemCount(Handle combo)
{
    const auto* box = find<QComboBox>(combo);
    return box != nullptr ? box->count() : 0;
}

std::string ComboItemText(Handle combo, int index)
{
    const auto* box = find<QComboBox>(combo);
    if (box == nullptr || index < 0 || index >= box->count()) {
        return {};
    }
    return box->itemText(index).toStdString();
}

int ComboIndex(Handle combo)
{
    const auto* box = find<QComboBox>(combo);
    return box != nullptr ? box->currentIndex() : -1;
}

std::string ComboText(Handle combo)
{
    const auto* box = find<QComboBox>(combo);
    return box != nullptr ? box->currentText().toStdString() : std::string();
}

bool ComboSelectText(Handle combo, const std::string& text)
{
    const auto* box = find<QComboBox>(combo);
    if (box == nullptr) {
        return false;
    }
    // Exact and case-sensitive: "PDF" must not choose "pdf" or "PDF+OCR".
    return ComboSelectIndex(
        combo, box->findText(QString::fromUtf8(text), Qt::MatchExactly | Qt::MatchCaseSensitive));
}

bool ComboSelectIndex(Handle combo, int index)
{
    auto* box = find<QComboBox>(combo);
    if (box == nullptr || index < 0 || index >= box->count()) {
        return false;
    }
    const QSignalBlocker quiet(box);
    box->setCurrentIndex(index);
    return true;
}

bool SpinSetRange(Handle spin, int minimum, int maximum)
{
    auto* box = find<QSpinBox>(spin);
    if (box == nullptr || minimum > maximum) {
        return false;
    }
    const QSignalBlocker quiet(box);
    box->setRange(minimum, maximum);
    return true;
}

bool SpinSetValue(Handle spin, int value)
{
    auto* box = find<QSpinBox>(spin);
    if (box == nullptr) {
        return false;
    }
    const QSignalBlocker quiet(box);
    box->setValue(value);
    return true;
}

int SpinValue(Handle spin)
{
    const auto* box = find<QSpinBox>(spin);
    return box != nullptr ? box->value() : 0;
}

int GetCheckState(Handle button)
{
    const auto* box = find<QAbstractButton>(button);
    if (box == nullptr || !box->isCheckable()) {
        return -1;
    }
    return box->isChecked() ? 1 : 0;
}

bool SetCheckState(Handle button, int state)
{
    auto* box = find<QAbstractButton>(button);
    if (box == nullptr || !box->isCheckable()) {
        return false;
    }
    const QSignalBlocker quiet(box);
    box->setChecked(state != 0);
    box->update();
    return true;
}

bool SetToggleColours(Handle toggle, std::uint32_t released, std::uint32_t pressed)
{
    auto* button = find<ToggleButton>(toggle);
    if (button == nullptr) {
        return false;
    }
    button->setFaceColours(released, pressed);
    return true;
}

bool SetButtonImage(Handle button, Handle image)
{
    auto* push = find<QPushButton>(button);
    if (push == nullptr) {
        return false;
    }
    const DibBitmap* dib = findImage(image);
    const QImage picture = dib != nullptr ? imageOfDib(*dib) : QImage();
    if (picture.isNull()) {
        push->setIcon(QIcon());
        return true;
    }
    push->setIcon(QIcon(QPixmap::fromImage(picture)));
    push->setIconSize(picture.size());
    return true;
}

Handle ScrollAreaPanel(Handle area)
{
    const auto* scroll = find<ControlScrollArea>(area);
    return scroll != nullptr ? handleOf(scroll->panel()) : NoHandle;
}

bool SetScrollAreaPanelSize(Handle area, int width, int height)
{
    auto* scroll = find<ControlScrollArea>(area);
    if (scroll == nullptr) {
        return false;
    }
    scroll->panel()->resize(std::max(width, 0), std::max(height, 0));
    return true;
}

bool SetScrollAreaStep(Handle area, int stepPx)
{
    auto* scroll = find<ControlScrollArea>(area);
    if (scroll == nullptr || stepPx < 1) {
        return false;
    }
    scroll->verticalScrollBar()->setSingleStep(stepPx);
    scroll->horizontalScrollBar()->setSingleStep(stepPx);
    return true;
}

int DisplayPopupMenu(Handle menu, Handle window)
{
    auto* popup = qobject_cast<QMenu*>(findObject(menu));
    if (popup == nullptr) {
        return 0;
    }
    int chosen = 0;
    if (effects().popupMenus != nullptr) {
        chosen = effects().popupMenus->choosePopupItem(menu, window);
    } else if (const QAction* action = popup->exec(QCursor::pos())) {
        chosen = action->data().toInt();
    }
    if (chosen != 0) {
        postMenuEvent(window, chosen);
    }
    return chosen;
}

ToggleButton::ToggleButton(const QString& text, QWidget* parent)
    : QPushButton(text, parent)
{
    setCheckable(true);
    setAutoDefault(false);
}

void ToggleButton::setFaceColours(std::uint32_t released, std::uint32_t pressed)
{
    m_released = released;
    m_pressed = pressed;
    update();
}

void ToggleButton::paintEvent(QPaintEvent* /*event*/)
{
    QPainter painter(this);
    painter.fillRect(rect(), colourFromRgbValue(faceColour(isChecked())));
    painter.setPen(ToggleEdgeColour);
    painter.drawRect(rect().adjusted(0, 0, -1, -1));
    if (!text().isEmpty()) {
        painter.setPen(
            palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled, QPalette::ButtonText));
        painter.drawText(rect(), Qt::AlignCenter, text());
    }
    if (hasFocus()) {
        painter.setPen(QPen(palette().color(QPalette::Highlight), 1, Qt::DotLine));
        painter.drawRect(rect().adjusted(2, 2, -3, -3));
    }
}

ControlScrollArea::ControlScrollArea(QWidget* parent)
    : QScrollArea(parent)
    , m_panel(new QWidget)
{
    setWidgetResizable(false);
    setFrameShape(QFrame::Box);
    setLineWidth(1);
    setWidget(m_panel);
}

QWidget* makeComboBox(QWidget* parent, const std::string& items)
{
    auto* combo = new QComboBox(parent);
    combo->setEditable(false);
    if (!items.empty()) {
        for (const QString& item : QString::fromUtf8(items).split(QLatin1Char('|'))) {
            combo->addItem(item);
        }
    }
    return combo;
}

QWidget* makeSpinBox(QWidget* parent)
{
    auto* spin = new QSpinBox(parent);
    spin->setRange(0, std::numeric_limits<int>::max());
    return spin;
}

QWidget* makeToggleButton(QWidget* parent, const std::string& text)
{
    return new ToggleButton(QString::fromUtf8(text), parent);
}

QWidget* makeScrollArea(QWidget* parent, std::uint32_t panelColour)
{
    auto* area = new ControlScrollArea(parent);
    QPalette palette = area->panel()->palette();
    palette.setColor(QPalette::Window, colourFromRgbValue(panelColour));
    area->panel()->setPalette(palette);
    area->panel()->setAutoFillBackground(true);
    area->viewport()->setPalette(palette);
    area->viewport()->setAutoFillBackground(true);
    registerObject(area->panel(), ObjectKind::Control, PanelStyle);
    return area;
}

} // namespace folvex
