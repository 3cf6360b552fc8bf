#include "pageeditor/editor_controller.h"

#include "imageops/flat_field_depth.h"
#include "imageops/paginate.h"
#include "imageops/pixel_operations.h"
#include "imageops/raster.h"
#include "imageops/straighten.h"

#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdio>

namespace folvex {

namespace {

std::string count(std::int32_t i, std::int32_t n)
{
    return std::to_string(i) + "/" + std::to_string(n);
}

} // namespace

void ImageEditorOperations::paginate(std::int32_t page)
{
    Paginate(m_functions, page, m_context);
}

void ImageEditorOperations::flatFieldCorrect(std::int32_t page, bool silent)
{
    FlatFieldCorrect(m_functions, page, m_context, silent);
}

void ImageEditorOperations::deGray(std::int32_t page)
{
    DeGray(m_functions, page, m_context);
}

void ImageEditorOperations::whiteBalance(std::int32_t page, std::int8_t mode)
{
    AutoWhiteBalance(m_functions, page, m_context, mode);
}

void ImageEditorOperations::invert(std::int32_t page)
{
    InvertPages(m_functions, page, m_context);
}

void ImageEditorOperations::changeBitDepth(std::int32_t page, std::uint8_t mode)
{
    ChangeBitDepth(m_functions, page, m_context, mode);
}

double ImageEditorOperations::straightenType1(std::int32_t page, const std::string& file, std::uint8_t turns)
{
    return AutoStraightenType1(m_functions, page, file, turns, NoStraightenAngle);
}

double ImageEditorOperations::straightenType2(std::int32_t page, const std::string& file, std::uint8_t turns)
{
    return AutoStraightenType2(m_functions, page, file, turns);
}

std::string freeAngleProposal(double storedAngle)
{
    if (storedAngle == 0.0) {
        return "0";
    }
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%.10f", -storedAngle);
    std::string text = buffer;
    if (text.find('.') != std::string::npos) {
        while (!text.empty() && text.back() == '0') {
            text.pop_back();
        }
        if (!text.empty() && text.back() == '.') {
            text.pop_back();
        }
    }
    if (text == "-0") {
        return "0";
    }
    for (char& c : text) {
        if (c == '.') {
            c = ',';
        }
    }
    return text;
}

std::optional<double> parseFreeAngle(const std::string& answer)
{
    std::string text = answer;
    for (char& c : text) {
        if (c == ',') {
            c = '.';
        }
    }
    std::size_t start = 0;
    while (start < text.size() && std::isspace(static_cast<unsigned char>(text[start]))) {
        ++start;
    }
    bool negative = false;
    if (start < text.size() && (text[start] == '+' || text[start] == '-')) {
        negative = text[start] == '-';
        ++start;
    }
    // from_chars reads neither a sign of its own here nor blanks, and ignores the locale.
    if (start >= text.size() || text[start] == '-' || text[start] == '+') {
        return std::nullopt;
    }
    double value = 0.0;
    const auto [end, error] = std::from_chars(text.data() + start, text.data() + text.size(), value);
    // from_chars also reads "inf", "infinity" and "nan": no angle.
    if (error != std::errc{} || end == text.data() + start || !std::isfinite(value)) {
        return std::nullopt;
    }
    return negative ? -value : value;
}

PopupEntry menuItem(std::int32_t id, const std::string& text)
{
    PopupEntry entry;
    entry.id = id;
    entry.text = text;
    return entry;
}

PopupEntry menuSeparator()
{
    PopupEntry entry;
    entry.separator = true;
    return entry;
}

PopupEntry menuSubmenu(const std::string& text, std::vector<PopupEntry> items)
{
    PopupEntry entry;
    entry.text = text;
    entry.submenu = std::move(items);
    return entry;
}

std::vector<PopupEntry> pageContextMenu(const ExternalEditorTables& editors, bool edited)
{
    const PopupEntry separator = menuSeparator();
    std::vector<PopupEntry> editorItems{menuItem(ExternalEditorMenuBase, "MS-Paint")};
    for (std::int32_t k = 1;
         k <= editors.AnzExtEditors && k < static_cast<std::int32_t>(editors.EditorName.size());
         ++k) {
        editorItems.push_back(
            menuItem(ExternalEditorMenuBase + k, editors.EditorName[static_cast<std::size_t>(k)]));
    }
    std::vector<PopupEntry> menu{
        menuItem(1000, "nach rechts drehen"),
        menuItem(1010, "nach links drehen"),
        menuItem(1015, "freier Drehwinkel"),
        menuItem(1017, "auto-begradigen Typ 1"),
        menuItem(1018, "auto-begradigen Typ 2"),
        separator,
        menuItem(1050, "in schwarzweiß umwandeln"),
        menuItem(1051, "in schwarzweiß (gedithert) umwandeln"),
        menuItem(1053, "in Graustufen umwandeln"),
        menuItem(1057, "in RGB umwandeln"),
        separator,
        menuItem(1040, "entgrauen"),
        menuSubmenu(
            "automatischer Weißabgleich",
            {menuItem(1070, "Standard-Graukarte"),
             menuItem(1071, "halbe Standard-Graukarte"),
             menuItem(1073, "1 Referenzpixel rechts unten"),
             menuItem(1076, "100 Referenzpixel rechts unten"),
             menuItem(1078, "über Weißpunkt-Einstellungen")}),
        menuItem(1090, "Referenzbildverbesserung (Flatfield-Korrektur)"),
        menuItem(1080, "invertieren"),
        menuItem(1060, "paginieren"),
        separator,
        menuItem(1020, "löschen"),
        separator,
        menuSubmenu("in externem Bildbearbeitungsprogramm öffnen", editorItems),
    };
    if (edited) {
        menu.push_back(separator);
        menu.push_back(menuItem(1028, "unbearbeitetes Originalbild wiederherstellen"));
    }
    menu.push_back(separator);
    menu.push_back(menuItem(1030, "groß anzeigen"));
    return menu;
}

EditorController::EditorController(
    PageEditorModel& model,
    PageEditorInput& input,
    const ExternalEditorTables& editors,
    EditorView& view,
    EditorOperations& operations)
    : m_model(model)
    , m_input(input)
    , m_editors(editors)
    , m_view(view)
    , m_ops(operations)
{}

std::int32_t EditorController::clickedPage()
{
    if (m_input.ClickedHandle == NoHandle) {
        return 0;
    }
    for (std::int32_t i = 1; i <= m_model.PageCount(); ++i) {
        if (m_view.thumbnailHandle(i) == m_input.ClickedHandle) {
            return i;
        }
    }
    return 0;
}

bool EditorController::handle(const EditorEvent& event)
{
    m_menuItem = event.kind == EditorEventKind::Menu ? event.menuItem : 0;
    const Handle control = event.kind == EditorEventKind::Control ? event.control : -1;
    dispatch(event);
    if (m_menuItem >= ExternalEditorMenuBase &&
        m_menuItem <= ExternalEditorMenuBase + m_editors.AnzExtEditors) {
        m_view.openInExternalEditor(clickedPage(), m_menuItem - ExternalEditorMenuBase);
    }
    const std::string& type = m_model.destinationType();
    if (control != -1 && (type == "PDF" || type == "PDF+OCR" || type == "mehrseitiges TIF")) {
        const std::int32_t p = m_view.splitToggleOf(control);
        if (p >= 1 && p < m_model.PageCount()) {
            m_view.relabelThumbnails();
        }
    }
    return m_finished;
}

bool EditorController::dispatch(const EditorEvent& event)
{
    // Only the editor window's own close request cancels: the main window stays usable meanwhile, and
    // closing it must not throw the user's edits away. Where the window manager still offers a close
    // box, its click discards pending edits only once the user has confirmed it.
    const bool closeEditor = event.kind == EditorEventKind::Close && event.ofEditorWindow &&
                             (!m_model.hasPendingEdits() || m_view.confirmDiscard());
    if (closeEditor || m_view.buttonClicked(EditorButton::Cancel) || m_view.escapeDownInEditor()) {
        m_view.cancelEdits();
        m_finished = true;
    } else if (m_view.buttonClicked(EditorButton::Apply)) {
        m_view.applyEdits();
        m_finished = true;
    } else if (m_view.buttonClicked(EditorButton::AllRight)) {
        turnAll(1);
    } else if (m_view.buttonClicked(EditorButton::AllHalf)) {
        turnAll(2);
    } else if (m_view.buttonClicked(EditorButton::AllLeft)) {
        turnAll(3);
    } else if (m_input.ClickMessage == LeftButtonUpMessage || isMenu(1000)) {
        turnRightClicked();
    } else if (m_input.ClickMessage == RightButtonUpMessage) {
        rightClick();
    } else if (isMenu(1010)) {
        turnLeft();
    } else if (isMenu(1020)) {
        setMark(1, true);
    } else if (isMenu(1025)) {
        setMark(1, false);
    } else if (isMenu(1027)) {
        setMark(2, false);
    } else if (isMenu(1028)) {
        restoreOne();
    } else if (m_view.buttonClicked(EditorButton::AllRestore)) {
        restoreAll();
    } else if (isMenu(1015)) {
        freeAngle();
    } else if (isMenu(1017)) {
        straightenOne(1);
    } else if (isMenu(1018)) {
        straightenOne(2);
    } else if (m_view.buttonClicked(EditorButton::AllStraighten1)) {
        straightenAll(1);
    } else if (m_view.buttonClicked(EditorButton::AllStraighten2)) {
        straightenAll(2);
    } else if (m_view.dragIfPressed()) {
    } else if (pageOperation()) {
    } else if (event.kind == EditorEventKind::Control && m_view.isWhitePick(event.control)) {
        m_view.pickWhitePoint();
    } else if (event.kind == EditorEventKind::Control && m_view.isBlackPick(event.control)) {
        m_view.pickBlackPoint();
    } else if (isMenu(1030)) {
        m_view.showLargeView(clickedPage());
        m_input.ClickedHandle = NoHandle;
    } else if (m_view.buttonClicked(EditorButton::Options)) {
        m_view.showOptions();
    } else {
        return false;
    }
    return true;
}

void EditorController::turnAll(std::int32_t turns)
{
    m_model.turnAllPages(turns);
    for (std::int32_t j = 1; j <= m_model.PageCount(); ++j) {
        m_view.rebuildThumbnail(j);
    }
}

void EditorController::turnRightClicked()
{
    const std::int32_t page = clickedPage();
    if (page != 0 && !m_model.markedForDeletion(page) && !m_model.markedBlank(page)) {
        m_view.renderOneThumbnail(page, true);
    }
    m_input.ClickMessage = 0;
    m_input.ClickedHandle = NoHandle;
}

void EditorController::rightClick()
{
    const std::int32_t page = clickedPage();
    if (page != 0) {
        if (!m_model.markedForDeletion(page) && !m_model.markedBlank(page)) {
            m_view.showContextMenu(pageContextMenu(m_editors, m_model.isEdited(page)));
        } else {
            m_view.showMarkedPageMenu();
        }
    }
    m_input.ClickMessage = 0;
}

void EditorController::turnLeft()
{
    const std::int32_t page = clickedPage();
    if (page != 0 && !m_model.markedForDeletion(page)) {
        m_view.renderOneThumbnail(page, false);
    }
    m_input.ClickedHandle = NoHandle;
}

void EditorController::setMark(std::int32_t column, bool value)
{
    const std::int32_t page = clickedPage();
    if (page != 0) {
        if (column == 1) {
            value ? m_model.markForDeletion(page) : m_model.unmarkForDeletion(page);
        } else {
            m_model.clearBlankMark(page);
        }
        m_view.rebuildThumbnail(page);
    }
    m_input.ClickedHandle = NoHandle;
}

void EditorController::restoreOne()
{
    const std::int32_t page = clickedPage();
    if (page != 0) {
        m_model.restorePage(page);
        m_view.rebuildThumbnail(page);
    }
    m_input.ClickedHandle = NoHandle;
}

void EditorController::restoreAll()
{
    const std::int32_t n = m_model.PageCount();
    EditorUi& ui = m_model.ui();
    ui.openWait("stelle Originalbilder wieder her (" + count(n, n) + ")...");
    for (std::int32_t i = 1; i <= n; ++i) {
        ui.setWaitText("stelle Originalbilder wieder her (" + count(i, n) + ")...");
        if (m_model.isEdited(i)) {
            m_model.restorePage(i);
            m_view.rebuildThumbnail(i);
            m_view.drainEvents();
        }
    }
    ui.closeWait();
    m_input.ClickedHandle = NoHandle;
}

void EditorController::freeAngle()
{
    const std::int32_t page = clickedPage();
    if (page != 0 && !m_model.markedForDeletion(page) && !m_model.markedBlank(page)) {
        // The thumbnail shows the page without its angle while the user enters one.
        const double kept = m_model.angle(page);
        m_model.setAngle(page, 0.0);
        m_view.rebuildThumbnail(page);
        m_model.setAngle(page, kept);
        const std::string answer =
            m_view.askText("freier Drehwinkel", "freien Drehwinkel eingeben:", freeAngleProposal(kept));
        // A cancelled requester or an answer that is no finite number keeps the angle the page had; an
        // angle is kept within one full circle.
        const std::optional<double> entered = parseFreeAngle(answer);
        if (entered) {
            m_model.setAngle(page, WithinOneTurn(-*entered));
        }
        if (m_model.angle(page) != 0.0) {
            m_view.showFreeAngleThumbnail(page);
        }
    }
    m_input.ClickedHandle = NoHandle;
}

std::string EditorController::straightenFile(std::int32_t page)
{
    const std::string file = m_model.pagePath(page);
    const std::string copy = workingCopyPath(file);
    return m_model.files().exists(copy) ? copy : file;
}

void EditorController::straightenPage(std::int32_t page, int method)
{
    const std::string file = straightenFile(page);
    const std::uint8_t turns = m_model.turns(page);
    const double result =
        method == 1 ? m_ops.straightenType1(page, file, turns) : m_ops.straightenType2(page, file, turns);
    if (result != NoStraightenAngle) {
        m_model.setAngle(page, result);
        m_view.rebuildThumbnail(page);
    }
}

void EditorController::straightenOne(int method)
{
    EditorUi& ui = m_model.ui();
    ui.openWait(method == 1 ? "auto-Begradigen Typ 1..." : "auto-Begradigen Typ 2...");
    const std::int32_t page = clickedPage();
    if (page != 0) {
        straightenPage(page, method);
    }
    ui.closeWait();
    m_input.ClickedHandle = NoHandle;
}

void EditorController::straightenAll(int method)
{
    const std::int32_t n = m_model.PageCount();
    EditorUi& ui = m_model.ui();
    ui.openWait("begradige Bild " + count(1, n) + "...");
    for (std::int32_t i = 1; i <= n; ++i) {
        ui.setWaitText("begradige Bild " + count(i, n) + "...");
        if (method == 1) {
            m_view.dropOneEvent();
        }
        straightenPage(i, method);
    }
    ui.closeWait();
}

void EditorController::operateOne(const std::string& waitText, const PageCall& call)
{
    EditorUi& ui = m_model.ui();
    if (!waitText.empty()) {
        ui.openWait(waitText);
    }
    const std::int32_t page = clickedPage();
    if (page != 0 && !m_model.markedForDeletion(page) && !m_model.markedBlank(page)) {
        call(page);
        m_view.rebuildThumbnail(page);
    }
    if (!waitText.empty()) {
        ui.closeWait();
    }
}

void EditorController::operateAll(
    const std::string& firstText,
    const std::function<std::string(std::int32_t, std::int32_t)>& pageText,
    std::int32_t last,
    const PageCall& call)
{
    EditorUi& ui = m_model.ui();
    const std::int32_t n = m_model.PageCount();
    if (!firstText.empty()) {
        ui.openWait(firstText);
    }
    for (std::int32_t i = 1; i <= last; ++i) {
        if (pageText) {
            ui.setWaitText(pageText(i, n));
        }
        call(i);
        m_view.rebuildThumbnail(i);
        m_view.drainEvents();
    }
    if (!firstText.empty()) {
        ui.closeWait();
    }
}

bool EditorController::pageOperation()
{
    const std::int32_t n = m_model.PageCount();
    const std::string flatText = "Referenzbildverbesserung (" + count(n - 1, n - 1) + ") - 000%...";
    const std::string deGrayText = "entgraue Bild " + count(n, n) + " (100%)...";

    if (m_view.buttonClicked(EditorButton::AllPaginate)) {
        operateAll(
            "Paginieren... (" + count(n, n) + ")...",
            [](std::int32_t i, std::int32_t total) { return "Paginieren... (" + count(i, total) + ")..."; },
            n,
            [this](std::int32_t i) { m_ops.paginate(i); });
    } else if (isMenu(1060)) {
        operateOne("paginiere Bild...", [this](std::int32_t i) { m_ops.paginate(i); });
    } else if (m_view.buttonClicked(EditorButton::AllFlatField)) {
        operateAll(flatText, nullptr, n - 1, [this](std::int32_t i) { m_ops.flatFieldCorrect(i, true); });
    } else if (isMenu(1090)) {
        operateOne(flatText, [this](std::int32_t i) { m_ops.flatFieldCorrect(i, false); });
    } else if (m_view.buttonClicked(EditorButton::AllDeGray)) {
        operateAll(deGrayText, nullptr, n, [this](std::int32_t i) { m_ops.deGray(i); });
    } else if (isMenu(1040)) {
        operateOne(deGrayText, [this](std::int32_t i) { m_ops.deGray(i); });
    } else if (m_view.buttonClicked(EditorButton::AllWhiteBalance)) {
        operateAll({}, nullptr, n, [this](std::int32_t i) { m_ops.whiteBalance(i, 2); });
    } else if (isMenu(1070) || isMenu(1071) || isMenu(1073) || isMenu(1076) || isMenu(1078)) {
        const std::int8_t mode = isMenu(1073)   ? 1
                                 : isMenu(1070) ? 2
                                 : isMenu(1076) ? 3
                                 : isMenu(1071) ? 4
                                                : 5;
        operateOne({}, [this, mode](std::int32_t i) { m_ops.whiteBalance(i, mode); });
    } else if (m_view.buttonClicked(EditorButton::AllInvert)) {
        operateAll({}, nullptr, n, [this](std::int32_t i) { m_ops.invert(i); });
    } else if (isMenu(1080)) {
        operateOne({}, [this](std::int32_t i) { m_ops.invert(i); });
    } else {
        struct DepthRow
        {
            std::int32_t item;
            EditorButton button;
            std::uint8_t mode;
            const char* oneText;
            const char* allName;
        };

        static const DepthRow rows[] = {
            {1050, EditorButton::AllBlackWhite, 1, "ändere Bittiefe zu schwarz/weiß...", "schwarz/weiß"},
            {1051,
             EditorButton::AllBlackWhiteDithered,
             2,
             "ändere Bittiefe zu schwarz/weiß (dithered)...",
             "schwarz/weiß dithered"},
            {1053, EditorButton::AllGrey, 3, "ändere Bittiefe zu Graustufen...", "Graustufen"},
            {1057, EditorButton::AllColour, 4, "ändere Bittiefe zu Vollfarbe...", "Vollfarbe"},
        };
        for (const DepthRow& row : rows) {
            const PageCall call = [this, mode = row.mode](std::int32_t i) { m_ops.changeBitDepth(i, mode); };
            // The menu item is tested before the button, whose clicked flag is read only without it.
            if (isMenu(row.item)) {
                operateOne(row.oneText, call);
                return true;
            }
            if (m_view.buttonClicked(row.button)) {
                const std::string name = row.allName;
                const auto text = [name](std::int32_t i, std::int32_t total) {
                    return "ändere Bittiefe zu " + name + " (" + count(i, total) + ")...";
                };
                operateAll(text(n, n), text, n, call);
                return true;
            }
        }
        return false;
    }
    return true;
}

} // namespace folvex
