#include "components/owner_drawn_button.h"

#include "components/button_faces.h"
#include "runtime/draw_objects.h"
#include "runtime/object_registry.h"
#include "runtime/window_events.h"
#include "support/fakes.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QEnterEvent>
#include <QKeyEvent>
#include <QPointer>
#include <QTest>
#include <QTimer>

#include <cstring>
#include <memory>

namespace folvex {
namespace {

// Counts the key presses that reach a widget.
class KeyCounter final : public QObject
{
public:
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::KeyPress) {
            keys.push_back(static_cast<QKeyEvent*>(event)->key());
        }
        return false;
    }

    std::vector<int> keys;
};

// A started component, the program's faces and one shown, active main window to put buttons on.
class OwnerDrawnButtonTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        odbComponent() = ODBComponent{};
        buttonFaces() = ButtonFaces{};
        InitODB(1);
        CreatePreBuiltODBBrushes();
        window = std::make_unique<QWidget>();
        window->resize(400, 300);
        window->show();
        window->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
        hWindow = registerObject(window.get(), ObjectKind::Window);
    }

    void TearDown() override
    {
        DeInitODB();
        window.reset();
        FreePreBuiltODBBrushes();
        buttonFaces() = ButtonFaces{};
    }

    QAbstractButton* widgetOf(Handle button) { return qobject_cast<QAbstractButton*>(findWidget(button)); }

    Handle makeButton(const ODBProperties& props, int width = 100, int height = 30, const char* text = "Il")
    {
        return CreateODB(hWindow, text, 10, 10, width, height, props);
    }

    testing::ScopedFakeEffects fakes;
    std::unique_ptr<QWidget> window;
    Handle hWindow = NoHandle;
};

struct Look
{
    bool enabled;
    bool down;
    bool focus;
    bool hot;
};

void setLook(QAbstractButton* button, const Look& look)
{
    button->setEnabled(look.enabled);
    button->setDown(look.down);
    if (look.focus) {
        button->setFocus();
    } else {
        button->clearFocus();
    }
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(button, &leave);
    if (look.hot) {
        QEnterEvent enter(QPointF(5, 5), QPointF(5, 5), QPointF(5, 5));
        QApplication::sendEvent(button, &enter);
    }
}

QRgb pixelOfBrush(Handle brush, int x, int y)
{
    const QImage pattern = findBrush(brush)->textureImage();
    return pattern.pixel(x % pattern.width(), y % pattern.height()) & 0xFFFFFF;
}

QRgb pixelAt(QAbstractButton* button, int x, int y)
{
    return button->grab().toImage().pixel(x, y) & 0xFFFFFF;
}

TEST_F(OwnerDrawnButtonTest, SevenStatesShowTheirFaces)
{
    struct Row
    {
        const char* label;
        Look look;
        ODBState state;
    };

    const Row rows[] = {
        {"normal", {true, false, false, false}, ODBState::N},
        {"hot", {true, false, false, true}, ODBState::H},
        {"pressed", {true, true, false, false}, ODBState::P},
        {"pressed and hot", {true, true, false, true}, ODBState::P},
        {"focused", {true, false, true, false}, ODBState::F},
        {"focused and hot", {true, false, true, true}, ODBState::FH},
        {"focused and pressed", {true, true, true, false}, ODBState::FP},
        {"focused, pressed and hot", {true, true, true, true}, ODBState::FP},
        {"disabled", {false, false, false, false}, ODBState::D},
        {"disabled, pressed, hot", {false, true, false, true}, ODBState::D},
    };

    ODBProperties gradient;
    PrepareODB(gradient, "red");
    const int arcIndex = ODBCreateArcODBBrushes(200, 30, "blue", 0.02f);
    ODBProperties arc;
    PrepareArcODB(arc, arcIndex);

    struct Family
    {
        const char* label;
        ODBProperties props;
        int width;
        std::vector<QPoint> probes; // clear of the caption; on and beside the arc
    };

    const Family families[] = {
        {"gradient", gradient, 100, {{4, 2}, {4, 27}}},
        {"arc", arc, 200, {{100, 3}, {100, 25}, {190, 27}}},
    };
    for (const Family& family : families) {
        const Handle h = makeButton(family.props, family.width);
        QAbstractButton* button = widgetOf(h);
        const ODBRecord& record = odbComponent().ODBTable[ODBIndex(h)];
        for (const Row& row : rows) {
            SCOPED_TRACE(std::string(family.label) + ": " + row.label);
            setLook(button, row.look);
            const Handle brush = odbFace(record, row.state).brush;
            const QImage image = button->grab().toImage();
            for (const QPoint& p : family.probes) {
                const QRgb expected = row.state == ODBState::D ? qRgb(192, 192, 192) & 0xFFFFFF
                                                               : pixelOfBrush(brush, p.x(), p.y());
                EXPECT_EQ(image.pixel(p) & 0xFFFFFF, expected) << p.x() << "," << p.y();
            }
        }
        DestroyODB(h);
    }
}

TEST_F(OwnerDrawnButtonTest, OnlyBrushNAndPenNPaintAllEnabledStatesAlike)
{
    ODBProperties props;
    props.BrushN = createSolidBrush(0x00FF00);
    props.PenN = createPen(1, 0xFF0000);
    // Large enough for the stems to cover whole pixels in the caption colour.
    props.Font = createFont("DejaVu Sans", 20);
    const Handle h = makeButton(props, 100, 30, "Il");
    QAbstractButton* button = widgetOf(h);

    const Look enabledLooks[] = {
        {true, false, false, false},
        {true, false, false, true},
        {true, true, false, false},
        {true, false, true, false},
        {true, false, true, true},
        {true, true, true, false},
    };
    setLook(button, enabledLooks[0]);
    const QImage normal = button->grab().toImage();
    EXPECT_EQ(normal.pixel(0, 0) & 0xFFFFFF, 0x0000FFu);
    EXPECT_EQ(normal.pixel(99, 29) & 0xFFFFFF, 0x0000FFu);
    EXPECT_EQ(normal.pixel(1, 1) & 0xFFFFFF, 0x00FF00u);
    for (const Look& look : enabledLooks) {
        setLook(button, look);
        EXPECT_EQ(button->grab().toImage(), normal);
    }

    setLook(button, {false, false, false, false});
    const QImage disabled = button->grab().toImage();
    // PenD unset keeps the default black pen; the face is light grey, the caption grey.
    EXPECT_EQ(disabled.pixel(0, 0) & 0xFFFFFF, 0x000000u);
    EXPECT_EQ(disabled.pixel(99, 29) & 0xFFFFFF, 0x000000u);
    EXPECT_EQ(disabled.pixel(1, 1) & 0xFFFFFF, 0xC0C0C0u);
    int darkest = 255;
    int darkestNormal = 255;
    for (int y = 2; y < 28; ++y) {
        for (int x = 2; x < 98; ++x) {
            darkest = std::min(darkest, qRed(disabled.pixel(x, y)));
            darkestNormal = std::min(darkestNormal, qGreen(normal.pixel(x, y)));
            ASSERT_EQ(qRed(disabled.pixel(x, y)), qBlue(disabled.pixel(x, y)));
        }
    }
    EXPECT_EQ(darkest, 109);
    EXPECT_EQ(darkestNormal, 0);
}

TEST_F(OwnerDrawnButtonTest, NullPenCoversTheEdgesASolidPenOutlinesInside)
{
    struct Row
    {
        const char* label;
        Handle pen;
        QRgb edge;
    };

    const Row rows[] = {
        {"null pen", createNullPen(), 0x3366CC},
        {"solid pen", createPen(1, 0x0000FF), 0xFF0000},
        {"no pen: black", NoHandle, 0x000000},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.label);
        ODBProperties props;
        props.BrushN = createSolidBrush(0xCC6633);
        props.PenN = row.pen;
        const Handle h = makeButton(props, 60, 20, "");
        const QImage image = widgetOf(h)->grab().toImage();
        for (const QPoint p : {QPoint(0, 0), QPoint(59, 0), QPoint(0, 19), QPoint(59, 19), QPoint(30, 19)}) {
            EXPECT_EQ(image.pixel(p) & 0xFFFFFF, row.edge) << p.x() << "," << p.y();
        }
        EXPECT_EQ(image.pixel(1, 1) & 0xFFFFFF, 0x3366CCu);
        EXPECT_EQ(image.pixel(58, 18) & 0xFFFFFF, 0x3366CCu);
        DestroyODB(h);
    }
    EXPECT_EQ(ODBPenStyle(rows[0].pen), 5);
    EXPECT_EQ(ODBPenStyle(rows[1].pen), 0);
    EXPECT_EQ(ODBPenStyle(NoHandle), 0);
    EXPECT_EQ(ODBPenStyle(odbStockLightGreyBrush()), 0);
}

// The box around every pixel that differs from the face colour.
QRect inkBox(const QImage& image, QRgb face)
{
    QRect box;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            if ((image.pixel(x, y) & 0xFFFFFF) != face) {
                box |= QRect(x, y, 1, 1);
            }
        }
    }
    return box;
}

TEST_F(OwnerDrawnButtonTest, ShadowSitsOnePixelRightAndBelow)
{
    ODBProperties props;
    props.BrushN = createSolidBrush(0xFFFFFF);
    props.PenN = createNullPen();
    props.TextColorN = 0x0000FF;
    props.ShadowColorN = 0xFF0000;
    const Handle plain = makeButton(props, 100, 30, "Wg");
    props.ShadowOn = 1;
    const Handle shadowed = makeButton(props, 100, 30, "Wg");

    const QRect plainBox = inkBox(widgetOf(plain)->grab().toImage(), 0xFFFFFF);
    const QRect shadowBox = inkBox(widgetOf(shadowed)->grab().toImage(), 0xFFFFFF);
    ASSERT_FALSE(plainBox.isEmpty());
    EXPECT_EQ(shadowBox, plainBox.adjusted(0, 0, 1, 1));

    // No shadow on the disabled face.
    setLook(widgetOf(shadowed), {false, false, false, false});
    setLook(widgetOf(plain), {false, false, false, false});
    EXPECT_EQ(widgetOf(shadowed)->grab().toImage(), widgetOf(plain)->grab().toImage());
}

TEST_F(OwnerDrawnButtonTest, OpaqueModeFillsBehindTheCaptionAndNewTextShowsAtTheNextPaint)
{
    ODBProperties props;
    props.BrushN = createSolidBrush(0xFFFFFF);
    props.PenN = createNullPen();
    props.BkColorN = 0x00FFFF;
    const Handle transparent = makeButton(props, 100, 30, "A");
    props.BkModeN = BkModeOpaque;
    props.BkModeH = BkModeTransparent; // only BkModeN counts
    const Handle opaque = makeButton(props, 100, 30, "A");
    const QImage t = widgetOf(transparent)->grab().toImage();
    const QImage o = widgetOf(opaque)->grab().toImage();
    EXPECT_EQ(t.pixel(50, 15) & 0xFFFFFF, 0xFFFFFFu);
    const QRect ink = inkBox(t, 0xFFFFFF);
    bool yellowBehind = false;
    for (int x = ink.left(); x <= ink.right(); ++x) {
        yellowBehind = yellowBehind || (o.pixel(x, ink.top()) & 0xFFFFFF) == 0xFFFF00;
    }
    EXPECT_TRUE(yellowBehind);
    setLook(widgetOf(opaque), {true, false, false, true});
    EXPECT_EQ(widgetOf(opaque)->grab().toImage(), o);

    props.BkModeN = BkModeTransparent;
    const Handle later = makeButton(props, 100, 30, "B");
    widgetOf(transparent)->setText(QStringLiteral("B"));
    EXPECT_EQ(widgetOf(transparent)->grab().toImage(), widgetOf(later)->grab().toImage());
    EXPECT_NE(widgetOf(transparent)->grab().toImage(), t);

    // A caption is drawn cut to 999 characters.
    const std::string longCaption = std::string(999, 'x') + "Ende";
    const Handle cut = makeButton(props, 100, 30, longCaption.c_str());
    const Handle exact = makeButton(props, 100, 30, std::string(999, 'x').c_str());
    EXPECT_EQ(widgetOf(cut)->grab().toImage(), widgetOf(exact)->grab().toImage());
}

TEST_F(OwnerDrawnButtonTest, CreateODBKeepsTheResolvedRecord)
{
    ODBProperties props;
    props.BrushN = 7001;
    props.BrushP = 7002;
    props.TextColorH = 0x123456;
    props.BkModeF = 2;
    props.ShadowColorF = 0x654321;
    const Handle h = makeButton(props);
    const ODBRecord& record = odbComponent().ODBTable[ODBIndex(h)];
    const ODBProperties expected = resolveODBProperties(props, odbStockLightGreyBrush());
    EXPECT_EQ(std::memcmp(static_cast<const ODBProperties*>(&record), &expected, sizeof expected), 0);
    EXPECT_EQ(record.BrushFH, 7001);
    EXPECT_EQ(record.BrushFP, 7002);
    EXPECT_EQ(record.TextColorFH, 0x123456);
    EXPECT_EQ(record.BkModeFP, 2);
    EXPECT_EQ(record.ShadowColorFH, 0x654321);
    EXPECT_EQ(record.Parent, hWindow);
    EXPECT_TRUE(widgetOf(h)->isVisible());
    EXPECT_EQ(widgetOf(h)->geometry(), QRect(10, 10, 100, 30));
}

TEST_F(OwnerDrawnButtonTest, MouseReleaseInsideTheInclusiveRectangleClicks)
{
    ODBProperties props;
    PrepareODB(props, "green");
    const Handle h = makeButton(props, 100, 30);
    QAbstractButton* button = widgetOf(h);

    struct Row
    {
        const char* label;
        QPoint release;
        bool dragOff;
        int clicked;
    };

    const Row rows[] = {
        {"inside", {50, 15}, false, 1},
        {"at x = width", {100, 15}, false, 1},
        {"at y = height", {50, 30}, false, 1},
        {"at the far corner", {100, 30}, false, 1},
        {"one beyond the right edge", {101, 15}, false, 0},
        {"above", {50, -1}, false, 0},
        {"dragged off and released outside", {150, 15}, true, 0},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.label);
        QTest::mousePress(button, Qt::LeftButton, {}, QPoint(50, 15));
        if (row.dragOff) {
            QTest::mouseMove(button, row.release);
        }
        QTest::mouseRelease(button, Qt::LeftButton, {}, row.release);
        EXPECT_EQ(ODBClicked(h), row.clicked);
        EXPECT_EQ(ODBClicked(h), 0);
    }
    QTest::mousePress(button, Qt::RightButton, {}, QPoint(50, 15));
    QTest::mouseRelease(button, Qt::RightButton, {}, QPoint(50, 15));
    EXPECT_EQ(ODBClicked(h), 0);

    // Two clicks before a poll read as one.
    QTest::mouseClick(button, Qt::LeftButton, {}, QPoint(50, 15));
    QTest::mouseClick(button, Qt::LeftButton, {}, QPoint(50, 15));
    EXPECT_EQ(ODBClicked(h), 1);
    EXPECT_EQ(ODBClicked(h), 0);
}

TEST_F(OwnerDrawnButtonTest, SpaceAndReturnClickAndReturnStaysWithTheButton)
{
    ODBProperties props;
    PrepareODB(props, "blue");
    const Handle h = makeButton(props);
    QAbstractButton* button = widgetOf(h);
    button->setFocus();
    KeyCounter windowKeys;
    window->installEventFilter(&windowKeys);

    QTest::keyClick(button, Qt::Key_Space);
    EXPECT_EQ(ODBClicked(h), 1);
    QTest::keyClick(button, Qt::Key_Return);
    EXPECT_EQ(ODBClicked(h), 1);
    QTest::keyClick(button, Qt::Key_Enter);
    EXPECT_EQ(ODBClicked(h), 1);
    QTest::keyClick(button, Qt::Key_A);
    EXPECT_EQ(ODBClicked(h), 0);

    // Every key-down counts, auto-repeated ones too.
    for (const bool repeat : {false, true, true}) {
        QKeyEvent press(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier, QStringLiteral("\r"), repeat);
        QApplication::sendEvent(button, &press);
        EXPECT_TRUE(press.isAccepted());
        EXPECT_EQ(ODBClicked(h), 1);
    }
    // Neither Return nor Enter travelled on to the window; the letter did.
    EXPECT_EQ(windowKeys.keys, std::vector<int>{Qt::Key_A});
}

TEST_F(OwnerDrawnButtonTest, HoverFollowsEnterAndLeave)
{
    ODBProperties props;
    PrepareODB(props, "black");
    const Handle h = makeButton(props);
    QAbstractButton* button = widgetOf(h);
    const ODBRecord& record = odbComponent().ODBTable[ODBIndex(h)];
    EXPECT_EQ(record.Hot, 0);
    QTest::mouseMove(button, QPoint(20, 10));
    EXPECT_EQ(record.Hot, 1);
    EXPECT_EQ(record.Tracking, 1);
    EXPECT_EQ(pixelAt(button, 4, 2), pixelOfBrush(record.BrushH, 4, 2));
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(button, &leave);
    EXPECT_EQ(record.Hot, 0);
    EXPECT_EQ(record.Tracking, 0);
    EXPECT_EQ(pixelAt(button, 4, 2), pixelOfBrush(record.BrushN, 4, 2));
}

TEST_F(OwnerDrawnButtonTest, AClickWakesALoopWaitingWithoutTimeOut)
{
    ODBProperties props;
    const Handle h = makeButton(props);
    DrainWindowEvents();
    QTimer::singleShot(
        0, widgetOf(h), [this, h] { QTest::mouseClick(widgetOf(h), Qt::LeftButton, {}, QPoint(5, 5)); });
    EXPECT_EQ(WaitWindowEvent(-1), static_cast<int>(EventKind::Control));
    EXPECT_EQ(EventControl(), h);
    EXPECT_EQ(EventWindow(), hWindow);
    EXPECT_EQ(ODBClicked(h), 1);
    EXPECT_EQ(queuedWindowEvents(), 0);
}

TEST_F(OwnerDrawnButtonTest, FiftyButtonsAtMostAndFreedSlotsAreReused)
{
    ODBProperties props;
    std::vector<Handle> buttons;
    for (int i = 0; i < ODBMaxButtons; ++i) {
        buttons.push_back(CreateODB(hWindow, "x", 0, 0, 20, 20, props));
        ASSERT_NE(buttons.back(), NoHandle);
    }
    fakes.messages.queueAnswer(MessageAnswer::Ok);
    EXPECT_EQ(CreateODB(hWindow, "x", 0, 0, 20, 20, props), NoHandle);
    ASSERT_EQ(fakes.messages.shown.size(), 1u);
    EXPECT_EQ(fakes.messages.shown[0].text, "CreateODB: Maximale Anzahl OwnerDrawButtons (50) erreicht.");
    EXPECT_EQ(fakes.messages.shown[0].buttons, MessageButtons::Ok);

    const int slot = ODBIndex(buttons[16]);
    EXPECT_EQ(DestroyODB(buttons[16]), 1);
    EXPECT_EQ(findWidget(buttons[16]), nullptr);
    const Handle again = CreateODB(hWindow, "x", 0, 0, 20, 20, props);
    EXPECT_EQ(ODBIndex(again), slot);
    EXPECT_EQ(odbComponent().ODBHighSlot, 50);
    EXPECT_EQ(fakes.messages.shown.size(), 1u);
}

TEST_F(OwnerDrawnButtonTest, ClosingADialogFreesTheSlotsOfItsButtons)
{
    ODBProperties props;
    const Handle own = makeButton(props);
    auto* dialog = new QDialog(window.get());
    const Handle hDialog = registerObject(dialog, ObjectKind::Window);
    std::vector<Handle> buttons;
    for (int i = 0; i < 18; ++i) {
        buttons.push_back(CreateODB(hDialog, "x", 0, 20 * i, 50, 20, props));
        odbComponent().ODBTable[ODBIndex(buttons.back())].Clicked = 1;
    }
    delete dialog;
    for (const Handle b : buttons) {
        EXPECT_EQ(findWidget(b), nullptr);
        EXPECT_EQ(ODBIndex(b), 0);
        EXPECT_EQ(ODBClicked(b), 0);
    }
    for (int slot = 2; slot <= 19; ++slot) {
        EXPECT_EQ(odbComponent().ODBTable[slot].Button, 0);
    }
    EXPECT_EQ(ODBIndex(own), 1);

    EXPECT_EQ(DestroyODB(own), 1);
    fakes.messages.queueAnswer(MessageAnswer::Ok);
    EXPECT_EQ(DestroyODB(own), 0);
    ASSERT_EQ(fakes.messages.shown.size(), 1u);
    EXPECT_EQ(fakes.messages.shown[0].text, "DestroyODB: ODB-Controlhandle nicht bekannt.");
}

TEST_F(OwnerDrawnButtonTest, DestroyODBFromTheButtonsOwnEventDefersTheDeletion)
{
    ODBProperties props;
    const Handle h = makeButton(props);
    QPointer<QAbstractButton> button = widgetOf(h);
    QObject::connect(button, &QAbstractButton::pressed, [h] { DestroyODB(h); });
    QTest::mousePress(button, Qt::LeftButton, {}, QPoint(5, 5));
    EXPECT_EQ(ODBIndex(h), 0);
    EXPECT_EQ(findWidget(h), nullptr);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(button.isNull());
}

TEST_F(OwnerDrawnButtonTest, MisuseNotes)
{
    ODBProperties props;
    for (int i = 0; i < 4; ++i) {
        fakes.messages.queueAnswer(MessageAnswer::Ok);
    }
    InitODB(1);
    EXPECT_EQ(CreateODB(123456789, "x", 0, 0, 10, 10, props), NoHandle);
    EXPECT_EQ(DestroyODB(987654321), 0);
    DeInitODB();
    EXPECT_EQ(CreateODB(hWindow, "x", 0, 0, 10, 10, props), NoHandle);
    DeInitODB();
    const std::vector<std::string> expected{
        "DeInitODB: InitODB wurde bereits aufgerufen.",
        "CreateODB: Erzeugung des ODBs fehlgeschlagen.",
        "DestroyODB: ODB-Controlhandle nicht bekannt.",
        "CreateODB: InitODB wurde nicht aufgerufen.",
    };
    std::vector<std::string> shown;
    for (const auto& message : fakes.messages.shown) {
        shown.push_back(message.text);
        EXPECT_EQ(message.buttons, MessageButtons::Ok);
    }
    EXPECT_EQ(shown, expected);
    // The failed creation left its slot free for the next button.
    InitODB(1);
    EXPECT_EQ(ODBIndex(makeButton(props)), 1);
}

TEST_F(OwnerDrawnButtonTest, DeInitODBDestroysEveryButton)
{
    ODBProperties props;
    const Handle a = makeButton(props);
    const Handle b = makeButton(props);
    DestroyODB(a);
    QPointer<QWidget> widget = findWidget(b);
    DeInitODB();
    EXPECT_TRUE(widget.isNull());
    fakes.messages.queueAnswer(MessageAnswer::Ok);
    EXPECT_EQ(CreateODB(hWindow, "x", 0, 0, 10, 10, props), NoHandle);
    InitODB(1);
    EXPECT_EQ(odbComponent().ODBHighSlot, 0);
    EXPECT_EQ(ODBIndex(makeButton(props)), 1);
}

} // namespace
} // namespace folvex
