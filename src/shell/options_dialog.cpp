#include "shell/options_dialog.h"

#include "components/button_faces.h"
#include "components/owner_drawn_button.h"
#include "foundation/control_creation.h"
#include "foundation/list_view.h"
#include "foundation/note.h"
#include "foundation/window_routines.h"
#include "runtime/controls.h"
#include "runtime/effects.h"
#include "runtime/input_state.h"
#include "runtime/object_registry.h"
#include "runtime/requesters.h"
#include "runtime/window_events.h"
#include "shell/options_settings.h"

#include <QAbstractSpinBox>
#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QRegularExpressionValidator>
#include <QWidget>

#include <string>

namespace folvex {

namespace {

constexpr int KeyPollMs = 25;

const OptionsDialogControls* g_options = nullptr;
const EditorListControls* g_editorList = nullptr;
const EditorWindowControls* g_editorWindow = nullptr;

// Publishes a window's controls for as long as its procedure runs.
template <typename Controls>
class OpenWindowScope
{
public:
    OpenWindowScope(const Controls*& slot, const Controls& controls)
        : m_slot(slot)
        , m_previous(slot)
    {
        slot = &controls;
    }

    ~OpenWindowScope() { m_slot = m_previous; }

    OpenWindowScope(const OpenWindowScope&) = delete;
    OpenWindowScope& operator=(const OpenWindowScope&) = delete;

private:
    const Controls*& m_slot;
    const Controls* m_previous;
};

const char* const JpgQualityTip =
    "Wertebereich: 1 bis 100\n1=schlechteste Qualität (sehr kleine Dateien), 100=beste Qualität (sehr große "
    "Dateien)\n75 ist ein guter Kompromiss";
const char* const ResolutionTip =
    "Wertebereich: 1 bis 100\n1=beste Erkennungsgenauigkeit (sehr langsam), 100=extrem schlechte "
    "Erkennungsgenauigkeit (extrem schnell)\nes wird jedes n. Pixel jeder n. Zeile auf den Grenzfarbwert "
    "geprüft (d.h. bei 1 jedes Pixel)\n3 bis 5 ist ein guter Kompromiss";
const char* const MinColorTip =
    "Wertebereich: 0 bis 255\n250 eignet sich für weißes Papier, 170 für sehr graues Recyclingpapier";
const char* const PercentageTip = "Wertebereich: 0.0 bis 100.0\nProzentsatz an geprüften Pixeln, die über "
                                  "oder gleich dem Grenzfarbwert sein "
                                  "müssen, um eine Seite als leer zu qualifizieren\n98.5 ist ein guter Wert";
const char* const DefaultsTip =
    "setzt JPG-Qualität und die Werte des aktuellen leere-Seiten-Erkennungs-Profils auf Standards zurück "
    "(nicht bei benutzerdefiniertem Profil)";
const char* const ThumbSizeTip =
    "Größe der Vorschaubilder beim Bearbeiten von gescannten Seiten in Pixeln\nAbhängig von der "
    "Bildschirmgröße; 250 ist ein guter Wert für normale Bildschirme";
const char* const RefPicXTip =
    "x-Pixel zur Bestimmung, ob das Referenzbild ein Dark- (schwarz) oder ein Flatframe (weiß) ist";
const char* const RefPicYTip =
    "y-Pixel zur Bestimmung, ob das Referenzbild ein Dark- (schwarz) oder ein Flatframe (weiß) ist";
const char* const CutoffTip =
    "Abweichung im Farbkanalwert vom Referenzbild, ab der keine Veränderung bei der Referenzbildverbesserung "
    "durchgeführt wird.\nDies verhindert, dass stark vom Referenzbild abweichende Bildanteile verändert "
    "werden, "
    "sodass z.B. dunkle Stellen gegenüber dem Flat-Referenzbild, an denen also echte Bildinformationen "
    "vorhanden sind, nicht mit aufgehellt werden.\n10 dürfte ein guter Wert sein, bei größerem Farbrauschen "
    "zwischen den einzelnen Scans auch mehr.\n-1=kein Cutoff";
const char* const PdfDpiTip =
    "Wenn ein PDF als Input benutzt wird, werden dessen Seiten zur Weiterverarbeitung in BMP-Dateien "
    "umgewandelt. Dieser Wert stellt die DPI für diese Bilder ein. 200 ist normalerweise ein guter Wert.";
const char* const LanguageTip =
    "deu=deutsch, eng=englisch, fra=französisch etc. pp.\ndie Sprachen sind auch kombinierbar: "
    "deu+eng\nvollständige Liste: https://github.com/tesseract-ocr/tessdata\nDateien für schnelle Erkennung "
    "(normalerweise völlig ausreichend): https://github.com/tesseract-ocr/tessdata_fast\njede installierte "
    "Sprache wird durch eine Datei im Verzeichnis /usr/share/tesseract-ocr/5/tessdata/ (Debian-Pakete "
    "tesseract-ocr-<Sprache>) repräsentiert, z. B. deu.traineddata für Deutsch";
const char* const OpenLastScannerTip = "Wenn aktiviert, wird beim Programmstart automatisch der letzte "
                                       "verwendete Scanner geöffnet. Dies ist nur "
                                       "sinnvoll, wenn dieser Scanner stets eingeschaltet und verfügbar ist.";
const char* const DeleteEmptyTip =
    "wenn eingeschaltet, werden beim Bearbeiten von Bildern bereits beim Ausführen leere Seiten gelöscht, "
    "wenn "
    "die leere-Seiten-Erkennung eingeschaltet ist; sonst erst beim Erstellen der Zieldatei(en)";
const char* const TmpPathTip =
    "Pfad zum temporären Speicherort gescannter Dateien (das Programm muss Schreibzugriff darauf "
    "haben)\nwenn "
    "»%AppPath%« angegeben wird, wird der persönliche Ordner des Benutzers gewählt, auf den immer "
    "Schreibzugriff besteht\nwenn »%TempPath« angegeben wird, wird das vom Betriebssystem für temporäre "
    "Dateien vorgesehene Verzeichnis gewählt\nwenn »%UserPath« angegeben wird, wird das vom Betriebssystem "
    "für den aktuellen Benutzer vorgesehene Verzeichnis gewählt\nwenn »%ProgPath%« angegeben wird, wird das "
    "Unterverzeichnis tmp im Programmverzeichnis gewählt";
const char* const ChooserTip = "Pfad in Dialog auswählen";
const char* const EditorWaitTip =
    "Bei manchen externen Editoren endet deren Programmaufruf sofort, da es sich dabei nur um einen "
    "»Laucher« "
    "handelt, der das endgültige Programm öffnet, welches nicht mehr der hiesigen Kontrolle unterliegt. Dann "
    "würde Folvex sofort nach dem editierten Bild suchen, obwohl es noch gar nicht gespeichert wurde. In "
    "diesen "
    "Fällen ist diese Option zu aktivieren.";

// The file filter of the program choosers: Linux programs carry no name extension.
constexpr const char* ProgramFilter = "Programme|*";

std::intptr_t fontOpt(Handle font)
{
    return static_cast<std::intptr_t>(font);
}

void addTip(Handle window, Handle control, const char* tip)
{
    create("TOOLTIP", control, tip, 0, 0, 0, 0, static_cast<std::intptr_t>(window));
}

Handle makeLabel(Handle window, Handle font, const std::string& text, int x, int y, int width, bool right)
{
    const Handle label = create("TEXT", window, text, x, y, width, 20, fontOpt(font));
    if (auto* widget = qobject_cast<QLabel*>(findWidget(label))) {
        widget->setAlignment((right ? Qt::AlignRight : Qt::AlignLeft) | Qt::AlignVCenter);
    }
    return label;
}

Handle makeSpin(Handle window, Handle font, int x, int y, int width, int low, int high, int value)
{
    const Handle spin = create("SPIN", window, "", x, y, width, 20, fontOpt(font));
    SpinSetRange(spin, low, high);
    SpinSetValue(spin, value);
    return spin;
}

Handle
makeField(Handle window, Handle font, const std::string& text, int x, int y, int width, bool digitsOnly)
{
    const Handle field = create("EDIT", window, text, x, y, width, 20, fontOpt(font));
    if (auto* edit = qobject_cast<QLineEdit*>(findWidget(field)); edit != nullptr && digitsOnly) {
        edit->setValidator(
            new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]*")), edit));
    }
    return field;
}

void setFieldText(Handle field, const std::string& text)
{
    QWidget* widget = findWidget(field);
    if (auto* edit = qobject_cast<QLineEdit*>(widget)) {
        edit->setText(QString::fromStdString(text));
    } else if (qobject_cast<QAbstractSpinBox*>(widget) != nullptr) {
        SpinSetValue(field, static_cast<int>(readLeadingInteger(text)));
    }
}

// An owner-drawn button with one of the main window's arc faces.
Handle makeArcButton(ShellWindows& w, Handle window, const std::string& text, int x, int y, int arcSet)
{
    PrepareArcODB(w.ButtonFaceProps, w.ShellArcSets[static_cast<std::size_t>(arcSet)]);
    w.ButtonFaceProps.Font = static_cast<std::intptr_t>(w.ButtonFont);
    return CreateODB(window, text, x, y, 100, 30, w.ButtonFaceProps);
}

// An owner-drawn button with a gradient face; font 0 keeps the widget's default font.
Handle makeFaceButton(
    Handle window, const std::string& text, int x, int y, int width, const char* colour, Handle font)
{
    ODBProperties props;
    PrepareODB(props, colour);
    if (font != NoHandle) {
        props.Font = static_cast<std::intptr_t>(font);
    }
    return CreateODB(window, text, x, y, width, 30, props);
}

bool hasFocus(Handle control)
{
    const QWidget* widget = findWidget(control);
    return widget != nullptr && widget->hasFocus();
}

// Return counts for the window unless one of its owner-drawn buttons has the focus: such a button
// takes Return as its own click.
bool returnPressed(int event, Handle first, Handle second)
{
    if (hasFocus(first) || hasFocus(second)) {
        return false;
    }
    if (event == static_cast<int>(EventKind::Key) && EventType() == VkReturn) {
        return true;
    }
    return KeyDown(VkReturn, 0, NoHandle) != 0;
}

bool escapePressed(int event, Handle window)
{
    if (event == static_cast<int>(EventKind::Key) && EventType() == VkEscape && EventWindow() == window) {
        return true;
    }
    return KeyDown(VkEscape, 0, window) != 0;
}

bool closeRequested(int event, Handle window)
{
    return event == static_cast<int>(EventKind::CloseWindow) && EventWindow() == window;
}

void waitWhileDown(std::initializer_list<int> keys)
{
    const auto anyDown = [&keys] {
        for (const int key : keys) {
            if (KeyIsDown(key)) {
                return true;
            }
        }
        return false;
    };
    while (anyDown()) {
        Delay(KeyPollMs);
    }
}

void activate(Handle window)
{
    if (QWidget* widget = findWidget(window)) {
        widget->activateWindow();
        widget->raise();
    }
}

Handle controlOf(int event)
{
    return event == static_cast<int>(EventKind::Control) ? EventControl() : NoHandle;
}

DialogWindowOptions ownedByMainWindow(const ShellWindows& w)
{
    DialogWindowOptions options;
    options.owner = w.MainWindow;
    options.closeBox = false;
    return options;
}

OptionsDialogControls buildOptionsWindow(ShellState& state, ShellWindows& w)
{
    const Settings& s = state.settingsState.settings;
    const Handle font = w.DialogFont;
    constexpr int Cw = OptionsClientWidthPx;
    constexpr int Ch = OptionsClientHeightPx;
    constexpr int X = Cw - 61;
    constexpr int LabelX = 10;
    constexpr int LabelWidth = X - LabelX - 5;

    OptionsDialogControls c;
    c.window = openDialogWindow("Optionen", Cw, Ch, ownedByMainWindow(w));
    const Handle win = c.window;
    const auto row = [&](const char* label, int y, int labelWidth) {
        makeLabel(win, font, label, LabelX, y, labelWidth, true);
    };

    row("JPG-Qualität:", 10, LabelWidth);
    c.jpgQuality = makeSpin(win, font, X, 8, 50, 1, 100, s.JpgQuality);
    addTip(win, c.jpgQuality, JpgQualityTip);
    row("Anzeigezeit Animated GIF:", 35, 414);
    c.frameRate = makeSpin(win, font, 429, 33, 80, 1, 1000000, s.AnimGifFrameRate);
    addTip(win, c.frameRate, "Wert in Millisekunden pro Bild (1000=1 Sekunde)");
    row("Anz. Wiederholungen Animated GIF:", 60, 414);
    c.loops = makeSpin(win, font, 429, 58, 80, 0, 1000000, s.AnimGifLoops);
    addTip(win, c.loops, "0=unendlich oft");

    makeLabel(win, font, "Profil leere Seiten-Erkennung:", 210, 89, 175, false);
    // Two pixels wider than drawn, so "benutzerdefiniert" fits beside the style's drop-down arrow.
    c.profile = create("COMBOBOX", win, "", 386, 85, 124, 25, fontOpt(font));
    for (const std::string& name : blankProfileNames(state.settingsState)) {
        ComboAddItem(c.profile, name);
    }
    ComboSelectIndex(c.profile, s.AktBlankProfile - 1);

    row("Genauigkeit leere-Seiten-Erkennung:", 117, LabelWidth);
    c.resolution = makeSpin(win, font, X, 115, 50, 1, 100, s.BlankRecognitionResolution);
    addTip(win, c.resolution, ResolutionTip);
    row("Grenzfarbwert leere-Seiten-Erkennung:", 142, LabelWidth);
    c.minColor = makeSpin(win, font, X, 140, 50, 0, 255, s.BlankRecognitionMinColor);
    addTip(win, c.minColor, MinColorTip);
    row("Prozentwert leere-Seiten-Erkennung:", 167, LabelWidth);
    c.percentage = makeField(win, font, formatPercentage(s.BlankRecognitionPercentage), X, 165, 50, false);
    addTip(win, c.percentage, PercentageTip);
    c.defaults = create("BUTTON", win, "Defaults", Cw - 110, 190, 100, 20, fontOpt(font));
    addTip(win, c.defaults, DefaultsTip);

    const OptionsFields shown = optionsFieldsFrom(s);
    row("Größe Thumbnails beim Bearbeiten:", 217, LabelWidth);
    c.thumbSize = makeField(win, font, shown.thumbSize, X, 215, 50, true);
    addTip(win, c.thumbSize, ThumbSizeTip);
    row("x-Pixel Referenzbild:", 242, LabelWidth);
    c.refPicX = makeField(win, font, shown.refPicX, X, 240, 50, true);
    addTip(win, c.refPicX, RefPicXTip);
    row("y-Pixel Referenzbild:", 267, LabelWidth);
    c.refPicY = makeField(win, font, shown.refPicY, X, 265, 50, true);
    addTip(win, c.refPicY, RefPicYTip);
    row("Referenzbild-Cutoff:", 292, LabelWidth);
    c.refPicCutoff = makeField(win, font, shown.refPicCutoff, X, 290, 50, false);
    addTip(win, c.refPicCutoff, CutoffTip);
    row("DPI bei PDF als Input benutzen:", 317, LabelWidth);
    c.pdfDpi = makeField(win, font, shown.pdfDpi, X, 315, 50, false);
    addTip(win, c.pdfDpi, PdfDpiTip);
    row("Tesseract-Spracheinstellung:", 342, LabelWidth);
    c.language = makeField(win, font, shown.language, X, 340, 50, false);
    addTip(win, c.language, LanguageTip);

    c.openLastScanner =
        create("CHECKBOX", win, "beim Programmstart letzten Scanner öffnen", 10, 365, 300, 20, fontOpt(font));
    SetCheckState(c.openLastScanner, shown.openLastScanner ? 1 : 0);
    addTip(win, c.openLastScanner, OpenLastScannerTip);
    c.deleteEmptyOnEdit =
        create("CHECKBOX", win, "leere Seiten beim Bearbeiten löschen", 10, 390, 250, 20, fontOpt(font));
    SetCheckState(c.deleteEmptyOnEdit, shown.deleteEmptyOnEdit ? 1 : 0);
    addTip(win, c.deleteEmptyOnEdit, DeleteEmptyTip);
    c.editors = create("BUTTON", win, "externe Bildeditoren", 8, 413, 150, 22, fontOpt(font));

    makeLabel(win, font, "temporärer Pfad:", 10, 442, 115, false);
    c.tmpPath = makeField(win, font, shown.tmpPath, 125, 440, 345, false);
    addTip(win, c.tmpPath, TmpPathTip);
    c.tmpPathChooser = create("BUTTON", win, "[...]", Cw - 45, 438, 35, 23, fontOpt(font));
    addTip(win, c.tmpPathChooser, ChooserTip);
    makeLabel(win, font, "GhostScript-Pfad:", 10, 467, 115, false);
    c.gsPath = makeField(win, font, shown.gsPath, 125, 465, 345, false);
    addTip(win, c.gsPath, "Pfad zu einer GhostScript-Installation");
    c.gsPathChooser = create("BUTTON", win, "[...]", Cw - 45, 463, 35, 23, fontOpt(font));
    addTip(win, c.gsPathChooser, ChooserTip);

    c.save = makeArcButton(w, win, "Speichern", 10, Ch - 40, 5);
    c.cancel = makeArcButton(w, win, "Abbruch", Cw - 10 - 100, Ch - 40, 4);
    for (const Handle field : c.selectingFields()) {
        EditSubclass(field, 1, 0);
    }
    return c;
}

OptionsFields readOptionsWindow(const OptionsDialogControls& c, int profileSelection)
{
    OptionsFields f;
    f.jpgQuality = fieldText(c.jpgQuality);
    f.frameRate = fieldText(c.frameRate);
    f.loops = fieldText(c.loops);
    f.profileSelection = profileSelection;
    f.resolution = fieldText(c.resolution);
    f.minColor = fieldText(c.minColor);
    f.percentage = fieldText(c.percentage);
    f.thumbSize = fieldText(c.thumbSize);
    f.refPicX = fieldText(c.refPicX);
    f.refPicY = fieldText(c.refPicY);
    f.refPicCutoff = fieldText(c.refPicCutoff);
    f.pdfDpi = fieldText(c.pdfDpi);
    f.language = fieldText(c.language);
    f.openLastScanner = GetCheckState(c.openLastScanner) == 1;
    f.deleteEmptyOnEdit = GetCheckState(c.deleteEmptyOnEdit) == 1;
    f.tmpPath = fieldText(c.tmpPath);
    f.gsPath = fieldText(c.gsPath);
    return f;
}

void showProfileFields(const OptionsDialogControls& c, const OptionsFields& f)
{
    setFieldText(c.resolution, f.resolution);
    setFieldText(c.minColor, f.minColor);
    setFieldText(c.percentage, f.percentage);
}

void showDefaults(const OptionsDialogControls& c, int profileSelection)
{
    OptionsFields f = readOptionsWindow(c, profileSelection);
    applyOptionsDefaults(f);
    setFieldText(c.jpgQuality, f.jpgQuality);
    setFieldText(c.frameRate, f.frameRate);
    setFieldText(c.loops, f.loops);
    showProfileFields(c, f);
}

std::string chooseProgram(const std::string& title, const std::string& preset)
{
    FileRequest request;
    request.title = title;
    request.defaultFile = preset;
    request.patterns = ProgramFilter;
    const std::vector<std::string> chosen = effects().files->openFiles(request);
    return chosen.empty() ? std::string() : chosen.front();
}

void fillEditorList(Handle list, const ExternalEditorTables& editors)
{
    for (int i = 1; i <= editors.AnzExtEditors; ++i) {
        LVAddRow(list, externalEditorRow(editors, i));
    }
}

// The editor named by the focused row's number cell; 0 when no row has the focus.
int focusedEditor(Handle list)
{
    const int row = LVFirstFocused(list);
    return row < 0 ? 0 : static_cast<int>(readLeadingInteger(LVGetCell(list, row, 2)));
}

} // namespace

const OptionsDialogControls* openOptionsDialog()
{
    return g_options;
}

const EditorListControls* openEditorList()
{
    return g_editorList;
}

const EditorWindowControls* openEditorWindow()
{
    return g_editorWindow;
}

void OptionsDialog(ShellState& state, ShellWindows& windows)
{
    const OptionsDialogControls c = buildOptionsWindow(state, windows);
    const OpenWindowScope scope(g_options, c);
    // 1-based at the start, so that the first turn always fills the profile fields.
    int lastSelection = state.settingsState.settings.AktBlankProfile;
    bool save = false;
    for (;;) {
        const int selection = ComboIndex(c.profile);
        if (selection != lastSelection) {
            lastSelection = selection;
            OptionsFields f;
            readProfileFields(state.settingsState, selection, f);
            showProfileFields(c, f);
        }
        const int event = WaitWindowEvent(-1);
        const Handle control = controlOf(event);
        const bool saveClicked = ODBClicked(static_cast<std::intptr_t>(c.save)) != 0;
        const bool cancelClicked = ODBClicked(static_cast<std::intptr_t>(c.cancel)) != 0;
        if (saveClicked || (!cancelClicked && returnPressed(event, c.save, c.cancel))) {
            if (fieldText(c.tmpPath).empty()) {
                ShowNote(EmptyTmpPathNote, 0, c.window);
                continue;
            }
            if (const auto note = optionsRangeNote(readOptionsWindow(c, lastSelection))) {
                ShowNote(*note, 0, c.window);
                continue;
            }
            waitWhileDown({VkReturn});
            save = true;
            break;
        }
        if (control != NoHandle && control == c.defaults) {
            showDefaults(c, lastSelection);
        } else if (cancelClicked || closeRequested(event, c.window) || escapePressed(event, c.window)) {
            waitWhileDown({VkEscape});
            break;
        } else if (control != NoHandle && control == c.tmpPathChooser) {
            const std::string folder = effects().files->chooseFolder(
                "Pfad für temporäre Dateien wählen", state.settingsState.settings.TmpPath);
            const std::string chosen = withoutTrailingSlashes(folder);
            if (const auto refusal = folder.empty() ? std::nullopt : tmpPathRefusal(chosen, true)) {
                ShowNote(tmpPathRefusedNote(chosen, *refusal, fieldText(c.tmpPath)), 0, c.window);
            } else if (!folder.empty()) {
                setFieldText(c.tmpPath, chosen);
            }
        } else if (control != NoHandle && control == c.editors) {
            ExternalEditorsDialog(state, windows);
            activate(c.window);
        } else if (control != NoHandle && control == c.gsPathChooser) {
            const std::string program = chooseProgram("Pfad für GhostScript-Installation wählen", {});
            if (!program.empty()) {
                setFieldText(c.gsPath, program);
            }
        }
    }
    if (save) {
        saveOptions(state.settingsState, readOptionsWindow(c, lastSelection));
    }
    for (const Handle field : c.selectingFields()) {
        EditSubclass(field, 0, 0);
    }
    closeDialogWindow(c.window);
}

int ExternalEditorsDialog(ShellState& state, ShellWindows& windows)
{
    SettingsState& settingsState = state.settingsState;
    ExternalEditorTables& editors = settingsState.settings.ExternalEditors;
    constexpr int Cw = EditorListClientWidthPx;
    constexpr int Ch = EditorListClientHeightPx;

    EditorListControls c;
    c.window = openDialogWindow("externe Bildeditoren", Cw, Ch, ownedByMainWindow(windows));
    c.list = create("LISTVIEW", c.window, "", 5, 5, Cw - 10, Ch - 45, 1);
    LVAddColumn(c.list, "Name", 150, 0, 0, 0, 2000);
    LVAddColumn(c.list, "Pfad", ClientWidth(c.list) - 168, 0, 0, 0, 2000);
    LVAddColumn(c.list, "Lfd. Nr.", 0, 0, 0, 0, 2000);
    fillEditorList(c.list, editors);
    c.add = makeFaceButton(c.window, "+", 5, Ch - 35, 30, "green", windows.ButtonFont);
    addTip(c.window, c.add, "fügt einen externen Editor hinzu");
    c.edit = makeFaceButton(c.window, "\u00B7\u00B7\u00B7", 40, Ch - 35, 30, "yellow", windows.ButtonFont);
    addTip(c.window, c.edit, "bearbeitet einen externen Editor");
    c.remove = makeFaceButton(c.window, "-", 75, Ch - 35, 30, "red", NoHandle);
    addTip(c.window, c.remove, "entfernt einen externen Editor");
    c.back = makeFaceButton(c.window, "Zurück", Cw - 105, Ch - 35, 100, "silver", windows.ButtonFont);
    const OpenWindowScope scope(g_editorList, c);
    // "+" starts with the focus: a list view that gets the focus makes its first row current, and "···"
    // or "-" would then act on an editor nobody marked.
    if (QWidget* add = findWidget(c.add)) {
        add->setFocus();
    }

    const auto rewrite = [&] {
        LVClear(c.list);
        fillEditorList(c.list, editors);
        writeExternalEditors(settingsState);
        activate(c.window);
    };
    for (;;) {
        const int event = WaitWindowEvent(-1);
        const bool back = ODBClicked(static_cast<std::intptr_t>(c.back)) != 0;
        const bool add = ODBClicked(static_cast<std::intptr_t>(c.add)) != 0;
        const bool edit = ODBClicked(static_cast<std::intptr_t>(c.edit)) != 0;
        const bool remove = ODBClicked(static_cast<std::intptr_t>(c.remove)) != 0;
        if (back || closeRequested(event, c.window) || escapePressed(event, c.window)) {
            waitWhileDown({VkEscape});
            break;
        }
        if (add) {
            EditExternalEditor(state, windows, 0);
            rewrite();
        } else if (edit) {
            const int index = focusedEditor(c.list);
            if (index == 0) {
                ShowNote("Kein Editor zum Bearbeiten markiert.", 0, c.window);
            } else {
                EditExternalEditor(state, windows, index);
                rewrite();
            }
        } else if (remove) {
            const int index = focusedEditor(c.list);
            if (index == 0) {
                ShowNote("Kein Editor zum Löschen markiert.", 0, c.window);
            } else if (removeExternalEditor(editors, index)) {
                LVDelete(c.list, LVFirstFocused(c.list));
                // Every later editor moved down by one: its row's number follows it.
                for (int row = 0; row < LVItemCount(c.list); ++row) {
                    const auto number = static_cast<int>(readLeadingInteger(LVGetCell(c.list, row, 2)));
                    if (number > index) {
                        LVSetCell(c.list, row, 2, std::to_string(number - 1));
                    }
                }
                writeExternalEditors(settingsState);
            }
        }
    }
    closeDialogWindow(c.window);
    return 0;
}

int EditExternalEditor(ShellState& state, ShellWindows& windows, int index)
{
    ExternalEditorTables& editors = state.settingsState.settings.ExternalEditors;
    if (index < 0 || index > editors.AnzExtEditors) {
        index = 0;
    }
    const auto row = static_cast<std::size_t>(index);
    const Handle font = windows.DialogFont;
    constexpr int Cw = EditorClientWidthPx;
    constexpr int Ch = EditorClientHeightPx;

    EditorWindowControls c;
    c.window = openDialogWindow(
        index > 0 ? "externen Bildeditor bearbeiten" : "externen Bildeditor hinzufügen",
        Cw,
        Ch,
        ownedByMainWindow(windows));
    makeLabel(c.window, font, "Name:", 5, 5, 50, false);
    c.name =
        makeField(c.window, font, index > 0 ? editors.EditorName[row] : std::string(), 60, 3, Cw - 65, false);
    makeLabel(c.window, font, "Pfad:", 5, 30, 50, false);
    c.path = makeField(
        c.window, font, index > 0 ? editors.EditorPath[row] : std::string(), 60, 28, Cw - 100, false);
    c.pathChooser = create("BUTTON", c.window, "[...]", Cw - 35, 27, 30, 22, fontOpt(font));
    addTip(c.window, c.pathChooser, "Pfad zur Proragmm-Exe suchen");
    c.wait = create("CHECKBOX", c.window, "Programmende abfragen", 5, 55, 200, 20, fontOpt(font));
    SetCheckState(c.wait, index > 0 && editors.EditorWait[row] != 0 ? 1 : 0);
    addTip(c.window, c.wait, EditorWaitTip);
    c.ok = makeFaceButton(c.window, "Ok", 5, Ch - 35, 100, "green", windows.ButtonFont);
    c.cancel = makeFaceButton(c.window, "Abbruch", Cw - 105, Ch - 35, 100, "red", windows.ButtonFont);
    const OpenWindowScope scope(g_editorWindow, c);

    for (;;) {
        const int event = WaitWindowEvent(-1);
        const Handle control = controlOf(event);
        const bool ok = ODBClicked(static_cast<std::intptr_t>(c.ok)) != 0;
        const bool cancel = ODBClicked(static_cast<std::intptr_t>(c.cancel)) != 0;
        if (cancel || closeRequested(event, c.window) || escapePressed(event, c.window)) {
            waitWhileDown({VkEscape});
            break;
        }
        if (ok || returnPressed(event, c.ok, c.cancel)) {
            // A Return still held would reach the list, whose focused "+" would add again.
            waitWhileDown({VkReturn, VkSpace});
            storeExternalEditor(
                editors, index, fieldText(c.name), fieldText(c.path), GetCheckState(c.wait) == 1);
            break;
        }
        if (control != NoHandle && control == c.pathChooser) {
            const std::string program =
                chooseProgram("Editor wählen", index > 0 ? editors.EditorPath[row] : std::string());
            if (!program.empty()) {
                setFieldText(c.path, program);
            }
        }
    }
    closeDialogWindow(c.window);
    return 0;
}

std::string fieldText(Handle field)
{
    QWidget* widget = findWidget(field);
    if (auto* edit = qobject_cast<QLineEdit*>(widget)) {
        return edit->text().toStdString();
    }
    if (auto* spin = qobject_cast<QAbstractSpinBox*>(widget)) {
        return spin->text().toStdString();
    }
    return {};
}

} // namespace folvex
