// odb_faces <folder>: draws every face set of the owner-drawn buttons into PNG sheets, one per set:
// the nine gradient sets on 100 × 30 buttons ("gradient_<name>.png") and the program's fifteen arc
// sets at their sizes ("arc_<nn>_<name>_<w>x<h>.png"). A sheet shows one real button in each of the
// seven states N, H, P, F, FH, FP, D, top to bottom, captioned with the state. Runs offscreen.

#include "components/button_faces.h"
#include "components/owner_drawn_button.h"
#include "runtime/draw_objects.h"
#include "runtime/effects.h"
#include "runtime/object_registry.h"
#include "shell/arc_face_sets.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEnterEvent>
#include <QImage>
#include <QPainter>

#include <array>
#include <cstdio>
#include <string>

namespace folvex {
namespace {

constexpr int MarginPx = 4;
constexpr int StateCount = 7;

constexpr std::array<const char*, GradientSetCount> GradientNames{
    "green", "yellow", "red", "blue", "black", "darkpurple", "pink", "orange", "silver"};

struct StateLook
{
    const char* caption;
    bool enabled;
    bool down;
    bool focus;
    bool hot;
};

constexpr std::array<StateLook, StateCount> States{{
    {"N", true, false, false, false},
    {"H", true, false, false, true},
    {"P", true, true, false, false},
    {"F", true, false, true, false},
    {"FH", true, false, true, true},
    {"FP", true, true, true, false},
    {"D", false, false, false, false},
}};

// Answers notes on the terminal: the tool has no one to ask.
class StderrMessages final : public MessageRequester
{
public:
    MessageAnswer
    showMessage(const std::string& title, const std::string& text, MessageButtons, MessageIcon) override
    {
        std::fprintf(stderr, "%s: %s\n", title.c_str(), text.c_str());
        return MessageAnswer::Ok;
    }
};

void showLook(QAbstractButton* button, const StateLook& look)
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
        QEnterEvent enter(QPointF(1, 1), QPointF(1, 1), QPointF(1, 1));
        QApplication::sendEvent(button, &enter);
    }
}

// One sheet: the button in every state, stacked.
bool writeSheet(Handle window, ODBProperties props, int width, int height, Handle font, const QString& path)
{
    props.Font = font;
    QImage sheet(width + 2 * MarginPx, StateCount * (height + MarginPx) + MarginPx, QImage::Format_RGB32);
    sheet.fill(Qt::white);
    QPainter painter(&sheet);
    for (int i = 0; i < StateCount; ++i) {
        const Handle button = CreateODB(window, States[i].caption, 0, 0, width, height, props);
        auto* widget = qobject_cast<QAbstractButton*>(findWidget(button));
        if (widget == nullptr) {
            return false;
        }
        showLook(widget, States[i]);
        painter.drawImage(MarginPx, MarginPx + i * (height + MarginPx), widget->grab().toImage());
        DestroyODB(button);
    }
    painter.end();
    return sheet.save(path, "PNG");
}

int run(const QString& folder)
{
    if (!QDir().mkpath(folder)) {
        std::fprintf(
            stderr, "odb_faces: Ordner %s kann nicht angelegt werden.\n", folder.toLocal8Bit().constData());
        return 1;
    }
    StderrMessages messages;
    effects().messages = &messages;

    QWidget window;
    window.resize(400, 100);
    window.show();
    window.activateWindow();
    QElapsedTimer waited;
    waited.start();
    while (!window.isActiveWindow() && waited.elapsed() < 5000) {
        QApplication::processEvents(QEventLoop::AllEvents, 50);
    }
    const Handle hWindow = registerObject(&window, ObjectKind::Window);
    const Handle font = createFont("Arial", 11);

    InitODB(1);
    CreatePreBuiltODBBrushes();
    int failures = 0;
    for (const char* name : GradientNames) {
        ODBProperties props;
        PrepareODB(props, name);
        const QString path =
            QDir(folder).filePath(QStringLiteral("gradient_%1.png").arg(QLatin1String(name)));
        failures += writeSheet(hWindow, props, 100, 30, font, path) ? 0 : 1;
    }
    for (std::size_t i = 0; i < ShellArcFaceSets.size(); ++i) {
        const ArcFaceSet& set = ShellArcFaceSets[i];
        const int index = ODBCreateArcODBBrushes(set.width, set.height, set.colour, 0.02f);
        ODBProperties props;
        PrepareArcODB(props, index);
        const QString path = QDir(folder).filePath(QStringLiteral("arc_%1_%2_%3x%4.png")
                                                       .arg(i + 1, 2, 10, QLatin1Char('0'))
                                                       .arg(QLatin1String(set.colour))
                                                       .arg(set.width)
                                                       .arg(set.height));
        failures += writeSheet(hWindow, props, set.width, set.height, font, path) ? 0 : 1;
    }
    DeInitODB();
    FreePreBuiltODBBrushes();
    if (failures > 0) {
        std::fprintf(stderr, "odb_faces: %d Bilder konnten nicht geschrieben werden.\n", failures);
        return 1;
    }
    return 0;
}

} // namespace
} // namespace folvex

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "Aufruf: odb_faces <Ordner>\n");
        return 2;
    }
    return folvex::run(QString::fromLocal8Bit(argv[1]));
}
