#include "components/owner_drawn_button.h"

#include "components/button_faces.h"
#include "foundation/note.h"
#include "runtime/draw_objects.h"
#include "runtime/object_registry.h"
#include "runtime/window_events.h"

#include <QAbstractButton>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>

namespace folvex {

namespace {

// Window style of the buttons: a child that takes part in the tab order and draws itself.
constexpr std::uint32_t ButtonStyle = 0x4001000B;
constexpr int PenStyleNull = 5;
constexpr int CaptionLimit = 999;
constexpr std::uint32_t LightGrey = 0xC0C0C0;

class RuntimeFaceObjects final : public FaceObjects
{
public:
    Handle createPatternBrush(const DibBitmap& pattern) override
    {
        const QImage image = imageOfDib(pattern);
        return image.isNull() ? NoHandle : folvex::createPatternBrush(image);
    }

    Handle createNullPen() override { return folvex::createNullPen(); }

    void deleteObject(Handle object) override { deleteDrawObject(object); }
};

ODBRecord* recordOf(Handle button)
{
    const int slot = ODBIndex(button);
    return slot == 0 ? nullptr : &odbComponent().ODBTable[slot];
}

QColor colourOf(std::intptr_t bgr)
{
    return colourFromRgbValue(static_cast<std::uint32_t>(bgr));
}

// A push button that paints the face of its slot and sets the slot's Clicked flag.
class OwnerDrawnButton final : public QAbstractButton
{
public:
    explicit OwnerDrawnButton(QWidget* parent)
        : QAbstractButton(parent)
    {
        setFocusPolicy(Qt::StrongFocus);
        setMouseTracking(true);
        setAttribute(Qt::WA_OpaquePaintEvent);
    }

    void setHandle(Handle handle) { m_handle = handle; }

    // Whether one of the button's own event handlers is running further up the stack.
    bool insideOwnEvent() const { return m_eventDepth > 0; }

protected:
    bool event(QEvent* e) override
    {
        ++m_eventDepth;
        const bool handled = QAbstractButton::event(e);
        --m_eventDepth;
        return handled;
    }

    void paintEvent(QPaintEvent*) override
    {
        const ODBRecord* record = recordOf(m_handle);
        if (record == nullptr) {
            return;
        }
        const ODBState state = chooseODBState(isEnabled(), isDown(), hasFocus(), record->Hot != 0);
        const ODBFace face = odbFace(*record, state);
        QPainter painter(this);

        // A handle of 0 keeps what a fresh context holds: a white brush and a black 1-px pen.
        QBrush brush(Qt::white);
        if (const QBrush* chosen = findBrush(face.brush)) {
            brush = *chosen;
        }
        QPen pen(Qt::black, 0);
        if (const QPen* chosen = findPen(face.pen)) {
            pen = *chosen;
        }
        QRect rect(0, 0, width(), height());
        if (ODBPenStyle(face.pen) == PenStyleNull) {
            // The null pen's rectangle is one pixel larger, so the brush covers every pixel.
            painter.fillRect(rect, brush);
        } else {
            // The outline lies on the outermost pixels inside the button.
            painter.setPen(pen);
            painter.setBrush(brush);
            painter.drawRect(rect.adjusted(0, 0, -1, -1));
        }

        if (const QFont* font = findFont(record->Font)) {
            painter.setFont(*font);
        } else {
            painter.setFont(this->font());
        }
        const QString caption = text().left(CaptionLimit);
        const bool opaque = face.bkMode == BkModeOpaque;
        if (face.shadow) {
            drawCaption(painter, rect.translated(1, 1), caption, face.shadowColor, face.bkColor, opaque);
        }
        drawCaption(painter, rect, caption, face.textColor, face.bkColor, opaque);
    }

    void enterEvent(QEnterEvent* e) override
    {
        startHover();
        QAbstractButton::enterEvent(e);
    }

    void mouseMoveEvent(QMouseEvent* e) override
    {
        startHover();
        QAbstractButton::mouseMoveEvent(e);
    }

    void leaveEvent(QEvent* e) override
    {
        if (ODBRecord* record = recordOf(m_handle)) {
            record->Tracking = 0;
            record->Hot = 0;
            update();
        }
        QAbstractButton::leaveEvent(e);
    }

    void mouseReleaseEvent(QMouseEvent* e) override
    {
        // Inclusive on all four edges: a release one pixel right of or below the button still counts.
        const QPoint at = e->position().toPoint();
        if (e->button() == Qt::LeftButton && at.x() >= 0 && at.x() <= width() && at.y() >= 0 &&
            at.y() <= height()) {
            click();
        }
        QAbstractButton::mouseReleaseEvent(e);
    }

    void keyPressEvent(QKeyEvent* e) override
    {
        const int key = e->key();
        if (key == Qt::Key_Space || key == Qt::Key_Return || key == Qt::Key_Enter) {
            click();
        }
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            // Taken here: neither the button's own handling nor its dialog sees this key.
            e->accept();
            return;
        }
        QAbstractButton::keyPressEvent(e);
    }

private:
    void startHover()
    {
        ODBRecord* record = recordOf(m_handle);
        if (record != nullptr && record->Tracking == 0) {
            record->Tracking = 1;
            record->Hot = 1;
            update();
        }
    }

    void click()
    {
        if (ODBRecord* record = recordOf(m_handle)) {
            record->Clicked = 1;
            ODBClickEvent(m_handle);
        }
    }

    static void drawCaption(
        QPainter& painter,
        const QRect& rect,
        const QString& caption,
        std::intptr_t textColor,
        std::intptr_t bkColor,
        bool opaque)
    {
        const int flags = Qt::AlignCenter | Qt::TextSingleLine | Qt::TextShowMnemonic;
        if (opaque) {
            painter.fillRect(painter.boundingRect(rect, flags, caption), colourOf(bkColor));
        }
        painter.setPen(colourOf(textColor));
        painter.drawText(rect, flags, caption);
    }

    Handle m_handle = NoHandle;
    int m_eventDepth = 0;
};

RuntimeFaceObjects& runtimeFaceObjects()
{
    static RuntimeFaceObjects objects;
    return objects;
}

} // namespace

Handle odbStockLightGreyBrush()
{
    static const Handle brush = createSolidBrush(LightGrey);
    return brush;
}

int InitODB(int /*withDestroyHook*/)
{
    ODBComponent& c = odbComponent();
    if (c.initialised) {
        ShowNote(InitODBTwiceNote, 0);
        return 0;
    }
    c = ODBComponent{};
    if (buttonFaces().objects == nullptr) {
        buttonFaces().objects = &runtimeFaceObjects();
    }
    c.initialised = true;
    return 0;
}

int DeInitODB()
{
    ODBComponent& c = odbComponent();
    if (!c.initialised) {
        return 0;
    }
    for (int slot = 1; slot <= c.ODBHighSlot; ++slot) {
        if (c.ODBTable[slot].Button != 0) {
            DestroyODB(c.ODBTable[slot].Button);
        }
    }
    c.initialised = false;
    return 0;
}

Handle CreateODB(
    Handle hParent, const std::string& text, int x, int y, int width, int height, const ODBProperties& props)
{
    if (!odbComponent().initialised) {
        ShowNote(CreateODBNotInitialisedNote, 0);
        return NoHandle;
    }
    const int slot = takeODBSlot(hParent, props, odbStockLightGreyBrush());
    if (slot == 0) {
        return NoHandle;
    }
    QWidget* parent = findWidget(hParent);
    if (parent == nullptr) {
        ShowNote(CreateODBFailedNote, 0);
        return NoHandle;
    }
    auto* button = new OwnerDrawnButton(parent);
    button->setText(QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())));
    // The caption is painted in the record's font; the widget carries it too, so what measures the
    // widget's text measures it in the font it is drawn in.
    if (const QFont* font = findFont(props.Font)) {
        button->setFont(*font);
    }
    button->setGeometry(x, y, width, height);
    const Handle handle = registerObject(button, ObjectKind::Control, ButtonStyle);
    button->setHandle(handle);
    QObject::connect(button, &QObject::destroyed, [handle] { ODBOnButtonDestroyed(handle); });
    odbComponent().ODBTable[slot].Button = handle;
    button->show();
    return handle;
}

int DestroyODB(Handle hButton)
{
    const int slot = ODBIndex(hButton);
    if (slot == 0) {
        ShowNote(DestroyODBUnknownNote, 0);
        return 0;
    }
    releaseODBSlot(slot);
    auto* button = dynamic_cast<OwnerDrawnButton*>(findWidget(hButton));
    releaseHandle(hButton);
    if (button != nullptr) {
        if (button->insideOwnEvent()) {
            button->hide();
            button->deleteLater();
        } else {
            delete button;
        }
    }
    return 1;
}

int ODBPenStyle(Handle pen)
{
    const QPen* found = findPen(pen);
    if (found == nullptr) {
        return 0;
    }
    switch (found->style()) {
        case Qt::NoPen:
            return PenStyleNull;
        case Qt::DashLine:
            return 1;
        case Qt::DotLine:
            return 2;
        case Qt::DashDotLine:
            return 3;
        case Qt::DashDotDotLine:
            return 4;
        default:
            return 0;
    }
}

int ODBClickEvent(Handle hButton)
{
    const int slot = ODBIndex(hButton);
    const Handle window = slot == 0 ? NoHandle : odbComponent().ODBTable[slot].Parent;
    postControlEvent(window, hButton);
    return 0;
}

} // namespace folvex
