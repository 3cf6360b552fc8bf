#include "pageeditor/page_editor_window_qt.h"

#include "components/action_box.h"
#include "components/button_faces.h"
#include "components/owner_drawn_button.h"
#include "foundation/color_picker.h"
#include "foundation/control_creation.h"
#include "foundation/note.h"
#include "foundation/wait_window.h"
#include "foundation/window_routines.h"
#include "imageops/raster.h"
#include "pageeditor/apply_edits.h"
#include "pageeditor/editor_tools.h"
#include "pageeditor/external_editor.h"
#include "runtime/controls.h"
#include "runtime/dib.h"
#include "runtime/draw_objects.h"
#include "runtime/effects.h"
#include "runtime/input_state.h"
#include "runtime/object_registry.h"
#include "runtime/qt_text_renderer.h"
#include "runtime/window_events.h"
#include "runtime/window_messages.h"

#include <QAbstractButton>
#include <QCoreApplication>
#include <QFont>
#include <QFontMetrics>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPainter>
#include <QWidget>

#include <chrono>
#include <cstring>
#include <future>
#include <memory>
#include <utility>

namespace folvex {

namespace {

inline constexpr std::uint32_t PressedToggleColour = 0x000000FF; // RGB(255,0,0)
inline constexpr int ScrollStepPx = 10;
// Room a label keeps beside its text (its margin and the text's overhang).
inline constexpr int HintTextPaddingPx = 4;
inline constexpr int MarkFontPx = 16;
inline constexpr int InnerRowOffset = 12;
inline constexpr int OuterRowOffset = 25;

PageEditorReadyHook& readyHook()
{
    static PageEditorReadyHook hook;
    return hook;
}

void deleteControl(Handle& control)
{
    if (control != NoHandle) {
        delete findWidget(control);
        control = NoHandle;
    }
}

// Draws text centred on x with its baseline at y, its extent filled red first.
void drawMarkText(QPainter& painter, const QString& text, int x, int y, const QColor& colour)
{
    const QFontMetrics metrics(painter.font());
    const int advance = metrics.horizontalAdvance(text);
    const int left = x - advance / 2;
    painter.fillRect(
        left, y - metrics.ascent(), advance, metrics.ascent() + metrics.descent(), QColor(255, 0, 0));
    painter.setPen(colour);
    painter.drawText(left, y, text);
}

// Draws the marks of a marked page into a 24-bit bitmap: two red bars, two rows of signs and the label.
void drawMarks(DibBitmap& dib, bool forDeletion)
{
    QImage image = imageOfDib(dib).convertToFormat(QImage::Format_RGB32);
    {
        QPainter painter(&image);
        QFont font(QStringLiteral("DejaVu Sans"));
        font.setBold(true);
        font.setPixelSize(MarkFontPx);
        painter.setFont(font);
        const QString row = forDeletion ? QStringLiteral(" X   X   X ") : QStringLiteral(" -   -   - ");
        const QString labelText =
            forDeletion ? QStringLiteral(" ZU LÖSCHEN ") : QStringLiteral(" SEITE LEER ");
        const int cx = dib.width / 2;
        const int cy = dib.height / 2;
        const QColor red(255, 0, 0);
        const QColor yellow(255, 255, 0);
        drawMarkText(painter, row, cx, cy - InnerRowOffset, red);
        drawMarkText(painter, row, cx, cy + InnerRowOffset, red);
        drawMarkText(painter, row, cx, cy - OuterRowOffset, yellow);
        drawMarkText(painter, row, cx, cy + OuterRowOffset, yellow);
        drawMarkText(painter, labelText, cx, cy, yellow);
    }
    for (std::int32_t y = 0; y < dib.height; ++y) {
        const auto* source = reinterpret_cast<const QRgb*>(image.constScanLine(y));
        std::uint8_t* target = dib.rowTopDown(y);
        for (std::int32_t x = 0; x < dib.width; ++x) {
            target[3 * x] = static_cast<std::uint8_t>(qBlue(source[x]));
            target[3 * x + 1] = static_cast<std::uint8_t>(qGreen(source[x]));
            target[3 * x + 2] = static_cast<std::uint8_t>(qRed(source[x]));
        }
    }
}

} // namespace

const char* applyTooltipText(int discardBlankState, std::int32_t DelEmptyOnEdit)
{
    return discardBlankState == 1 && DelEmptyOnEdit != 0 ? ApplyTooltipDeleting : ApplyTooltip;
}

void setPageEditorReadyHook(PageEditorReadyHook hook)
{
    readyHook() = std::move(hook);
}

PageEditorWindow::PageEditorWindow(PageEditorContext& context, std::int32_t detectBlank)
    : m_context(context)
    , m_files(context.functions)
    , m_model(
          context.shell,
          m_files,
          *this,
          detectBlank,
          context.destinationTypeText ? context.destinationTypeText() : std::string())
{}

PageEditorWindow::~PageEditorWindow()
{
    close();
}

bool PageEditorWindow::open()
{
    ShellState& shell = m_context.shell;
    shell.InputFlags = {};
    shell.DragInProgress = 0;
    m_captionFont = createFont("Arial", 10);
    DialogWindowOptions options;
    options.owner = mainWindowHandle();
    options.placement = DialogPlacement::CentreOnScreen;
    options.closeBox = false;
    m_window = openDialogWindow(EditorWindowTitle, ScreenWidth() - 100, ScreenHeight() - 200, options);
    m_clientWidth = ClientWidth(m_window);
    m_clientHeight = ClientHeight(m_window);
    createControls();

    const EditorRefusals refusals = m_model.open(m_clientWidth);
    if (refusals.noPages) {
        ShowNote(NoPagesNote, 0, m_window);
    }
    if (refusals.thumbnailTooLarge) {
        ShowNote(ThumbnailTooLargeNote, 0, m_window);
    }
    if (refusals.any()) {
        return false;
    }
    growPages();
    m_area = create(
        "SCROLLAREA",
        m_window,
        "",
        0,
        m_layout.thumbnailAreaTop,
        m_clientWidth,
        m_layout.thumbnailAreaHeight,
        0);
    m_panel = ScrollAreaPanel(m_area);
    if (QWidget* panel = findWidget(m_panel)) {
        QPalette palette = panel->palette();
        palette.setColor(QPalette::Window, QColor(GridRed, GridGreen, GridBlue));
        panel->setPalette(palette);
        panel->setAutoFillBackground(true);
    }
    SetScrollAreaStep(m_area, ScrollStepPx);
    RequestButtonUpEvents(m_area, true);
    return true;
}

void PageEditorWindow::createControls()
{
    const int discardBlank = m_context.discardBlankState ? m_context.discardBlankState() : 0;
    const QFont* hintFont = findFont(m_context.ButtonFont);
    const QFontMetrics hintMetrics(hintFont != nullptr ? *hintFont : QFont());
    const QString hint = QString::fromUtf8(EditorHintText);
    m_layout =
        editorLayout(m_clientWidth, m_clientHeight, hintMetrics.horizontalAdvance(hint) + HintTextPaddingPx);
    for (const PlacedEditorControl& control : m_layout.controls) {
        const GridRect& r = control.rect;
        Handle handle = NoHandle;
        switch (control.layout.kind) {
            case EditorControlKind::OwnerDrawnButton:
                PrepareArcODB(
                    m_context.ButtonFaceProps,
                    m_context.ShellArcSets[static_cast<std::size_t>(control.layout.arcSet)]);
                m_context.ButtonFaceProps.Font = static_cast<std::intptr_t>(m_context.ButtonFont);
                handle = CreateODB(
                    m_window,
                    control.layout.text,
                    r.left,
                    r.top,
                    r.width,
                    r.height,
                    m_context.ButtonFaceProps);
                break;
            case EditorControlKind::Label:
                handle = create(
                    "TEXT",
                    m_window,
                    control.layout.text,
                    r.left,
                    r.top,
                    r.width,
                    r.height,
                    static_cast<std::intptr_t>(
                        m_controls.size() == HintLabel ? m_context.ButtonFont : m_context.DialogFont));
                if (m_controls.size() == HintLabel) {
                    showHint(handle, hintMetrics, r.width);
                }
                break;
            case EditorControlKind::TextField:
                handle = create("EDIT", m_window, control.layout.text, r.left, r.top, r.width, r.height, 0);
                break;
            case EditorControlKind::PushButton:
                handle = create("BUTTON", m_window, control.layout.text, r.left, r.top, r.width, r.height, 0);
                break;
        }
        m_controls.push_back(handle);
    }
    // The point fields are the model's: what the user types reaches the image operations.
    for (std::size_t i = 0; i < PointFieldIndexes.size(); ++i) {
        if (auto* field = qobject_cast<QLineEdit*>(findWidget(m_controls[PointFieldIndexes[i]]))) {
            std::string& text =
                i < 3 ? m_model.state().WhitePointFields[i] : m_model.state().BlackPointFields[i - 3];
            QObject::connect(field, &QLineEdit::textChanged, [&text](const QString& value) {
                text = value.toStdString();
            });
        }
    }
    const auto tooltip = [this](std::size_t control, const char* text) {
        m_tooltips.push_back(
            create("TOOLTIP", m_controls[control], text, 0, 0, 0, 0, static_cast<std::intptr_t>(m_window)));
    };
    tooltip(WhitePick, WhitePickTooltip);
    tooltip(BlackPick, BlackPickTooltip);
    tooltip(
        ApplyButton, applyTooltipText(discardBlank, m_context.shell.settingsState.settings.DelEmptyOnEdit));
    tooltip(CancelButton, CancelTooltip);
}

void PageEditorWindow::showHint(Handle label, const QFontMetrics& metrics, std::int32_t widthPx)
{
    auto* text = qobject_cast<QLabel*>(findWidget(label));
    const QString hint = QString::fromUtf8(EditorHintText);
    if (text == nullptr || metrics.horizontalAdvance(hint) + HintTextPaddingPx <= widthPx) {
        return;
    }
    // Too long for its place: shortened, and whole as the label's tooltip.
    text->setText(metrics.elidedText(hint, Qt::ElideRight, std::max(0, widthPx - HintTextPaddingPx)));
    text->setToolTip(hint);
}

void PageEditorWindow::growPages()
{
    m_pages.resize(static_cast<std::size_t>(m_model.PageCount()) + 1);
}

Handle PageEditorWindow::thumbnailButton(std::int32_t page) const
{
    return page >= 1 && static_cast<std::size_t>(page) < m_pages.size()
               ? m_pages[static_cast<std::size_t>(page)].button
               : NoHandle;
}

Handle PageEditorWindow::splitToggle(std::int32_t page) const
{
    return page >= 1 && static_cast<std::size_t>(page) < m_pages.size()
               ? m_pages[static_cast<std::size_t>(page)].toggle
               : NoHandle;
}

Handle PageEditorWindow::caption(std::int32_t page) const
{
    return page >= 1 && static_cast<std::size_t>(page) < m_pages.size()
               ? m_pages[static_cast<std::size_t>(page)].caption
               : NoHandle;
}

FIBITMAP* PageEditorWindow::thumbnailImage(std::int32_t page) const
{
    return page >= 1 && static_cast<std::size_t>(page) < m_pages.size()
               ? m_pages[static_cast<std::size_t>(page)].image.get()
               : nullptr;
}

Handle PageEditorWindow::thumbnailBitmap(std::int32_t page) const
{
    return page >= 1 && static_cast<std::size_t>(page) < m_pages.size()
               ? m_pages[static_cast<std::size_t>(page)].bitmap
               : NoHandle;
}

bool PageEditorWindow::togglesShown() const
{
    return destinationTypeSplits(m_model.destinationType());
}

ThumbnailJob PageEditorWindow::jobFor(std::int32_t page, bool blankTest) const
{
    const Settings& settings = m_context.shell.settingsState.settings;
    ThumbnailJob job;
    job.pagePath = m_model.pagePath(page);
    job.thumbnailSize = m_model.state().ThumbnailSize;
    job.turns = m_model.turns(page);
    job.angleDeg = m_model.angle(page);
    job.markedForDeletion = m_model.markedForDeletion(page);
    job.markedBlank = m_model.markedBlank(page);
    job.blankTest = blankTest && m_model.state().detectBlank != 0;
    job.profile.percentage = settings.BlankRecognitionPercentageSingle;
    job.profile.step = settings.BlankRecognitionResolution;
    job.profile.minColour = settings.BlankRecognitionMinColor;
    return job;
}

void PageEditorWindow::BuildThumbnails(std::int32_t page, bool blankTest)
{
    const std::int32_t count = m_model.PageCount();
    growPages();
    const bool all = page <= 0;
    if (page == -1) {
        SetScrollAreaPanelSize(m_area, m_clientWidth - ScrollBarAllowancePx, m_model.grid().innerHeight());
        openWait(ThumbnailWaitStartText);
    }
    // The pages are made on the workers, at most workers + 1 ahead of the one shown; the widgets are
    // made here in page order.
    const std::size_t ahead = m_context.pool.workerCount() + 1;
    std::vector<std::future<ThumbnailResult>> pending(static_cast<std::size_t>(count) + 1);
    std::int32_t next = 1;
    const auto submit = [&](std::int32_t p) {
        auto task = std::make_shared<std::packaged_task<ThumbnailResult()>>(
            [&functions = m_context.functions, job = jobFor(p, blankTest)] {
                return buildThumbnail(functions, job);
            });
        pending[static_cast<std::size_t>(p)] = task->get_future();
        m_context.pool.post([task] { (*task)(); });
    };
    for (std::int32_t p = 1; p <= count; ++p) {
        if (page == -1) {
            setWaitText(thumbnailWaitText(p, count));
        }
        if (all || p == page) {
            if (blankTest && m_model.state().detectBlank != 0) {
                ++m_blankTests;
            }
            if (!all) {
                showThumbnail(p, buildThumbnail(m_context.functions, jobFor(p, false)));
            } else {
                for (; next <= count && static_cast<std::size_t>(next - p) < ahead; ++next) {
                    submit(next);
                }
                std::future<ThumbnailResult>& result = pending[static_cast<std::size_t>(p)];
                // The window keeps painting while the worker makes the page.
                while (result.wait_for(std::chrono::milliseconds(5)) != std::future_status::ready) {
                    QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
                }
                ThumbnailResult made = result.get();
                if (blankTest && m_model.state().detectBlank != 0) {
                    m_model.state().table.rows[static_cast<std::size_t>(p - 1)].pageEmpty =
                        made.blank ? SetMark : ClearedMark;
                }
                showThumbnail(p, std::move(made));
            }
        }
        DrainWindowEvents();
    }
    if (page == -1) {
        RelabelThumbnails();
        closeWait();
    }
}

void PageEditorWindow::showThumbnail(std::int32_t page, ThumbnailResult&& result)
{
    PageWidgets& widgets = m_pages[static_cast<std::size_t>(page)];
    if (!result.dpiText.empty()) {
        m_model.setDpiText(page, result.dpiText);
    }
    if (widgets.bitmap != NoHandle) {
        FreeHBitmap(widgets.bitmap);
        widgets.bitmap = NoHandle;
    }
    widgets.image = std::move(result.image);
    widgets.bitmap = FreeImageToHBitmap(m_context.functions, widgets.image.get());
    if (result.marked) {
        if (DibBitmap* dib = findImage(widgets.bitmap); dib != nullptr && dib->bitCount == 24) {
            drawMarks(*dib, m_model.markedForDeletion(page));
        }
    }
    placeButton(page);
    if (page < m_model.PageCount()) {
        makeSplitToggle(page);
    }
}

void PageEditorWindow::destroyButton(std::int32_t page)
{
    PageWidgets& widgets = m_pages[static_cast<std::size_t>(page)];
    if (widgets.button != NoHandle) {
        Subclass(widgets.button, 0, m_context.clickProc, 1, 0);
        deleteControl(widgets.button);
    }
}

void PageEditorWindow::placeButton(std::int32_t page)
{
    createButton(
        page, "PICBUTTON", "", static_cast<std::intptr_t>(m_pages[static_cast<std::size_t>(page)].bitmap));
}

void PageEditorWindow::createButton(
    std::int32_t page, const char* art, const std::string& text, std::intptr_t opt)
{
    destroyButton(page);
    PageWidgets& widgets = m_pages[static_cast<std::size_t>(page)];
    const std::int32_t size = m_model.state().ThumbnailSize;
    const FreeImageFunctionTable& f = m_context.functions;
    const auto width = widgets.image ? static_cast<std::int32_t>(f.GetWidth(widgets.image.get())) : size;
    const auto height = widgets.image ? static_cast<std::int32_t>(f.GetHeight(widgets.image.get())) : size;
    const GridRect r = m_model.grid().thumbnailButton(page, width, height);
    widgets.button = create(art, m_panel, text, r.left, r.top, r.width, r.height, opt);
    RequestButtonUpEvents(widgets.button, true);
    if (m_context.clickProc != nullptr) {
        Subclass(widgets.button, 1, m_context.clickProc, 1, 0);
    }
}

void PageEditorWindow::makeSplitToggle(std::int32_t page)
{
    PageWidgets& widgets = m_pages[static_cast<std::size_t>(page)];
    deleteControl(widgets.toggle);
    if (!togglesShown()) {
        return;
    }
    const GridRect r = m_model.grid().splitToggle(page);
    widgets.toggle = create("TOGGLE", m_panel, "", r.left, r.top, r.width, r.height, 0);
    SetToggleColours(widgets.toggle, GridColour, PressedToggleColour);
    SetCheckState(widgets.toggle, m_model.splitTogglePressed(page) ? 1 : 0);
    // The model follows the toggle at once, so a rebuild of the page keeps what the user chose.
    if (auto* toggle = qobject_cast<QAbstractButton*>(findWidget(widgets.toggle))) {
        QObject::connect(toggle, &QAbstractButton::toggled, [this, page](bool pressed) {
            m_model.state().SplitToggles[static_cast<std::size_t>(page)].pressed = pressed;
        });
    }
    create("TOOLTIP", widgets.toggle, SplitToggleTooltip, 0, 0, 0, 0, static_cast<std::intptr_t>(m_window));
}

void PageEditorWindow::RenderOneThumbnail(std::int32_t page, bool right)
{
    if (page < 1 || page > m_model.PageCount() || !m_pages[static_cast<std::size_t>(page)].image) {
        return;
    }
    PageWidgets& widgets = m_pages[static_cast<std::size_t>(page)];
    FreeImageBitmap turned = QuarterTurn(m_context.functions, widgets.image.get(), right ? 1 : 3);
    if (!turned) {
        return;
    }
    if (right) {
        m_model.turnRight(page);
    } else {
        m_model.turnLeft(page);
    }
    destroyButton(page);
    widgets.image = std::move(turned);
    FreeHBitmap(widgets.bitmap);
    widgets.bitmap = FreeImageToHBitmap(m_context.functions, widgets.image.get());
    placeButton(page);
}

void PageEditorWindow::RelabelThumbnails()
{
    if (!togglesShown()) {
        return;
    }
    const std::int32_t count = m_model.PageCount();
    std::vector<bool> pressed(static_cast<std::size_t>(count) + 1);
    for (std::int32_t p = 1; p < count; ++p) {
        pressed[static_cast<std::size_t>(p)] = m_model.splitTogglePressed(p);
    }
    const std::vector<std::string> captions = thumbnailCaptions(count, pressed);
    for (std::int32_t p = 1; p <= count; ++p) {
        PageWidgets& widgets = m_pages[static_cast<std::size_t>(p)];
        deleteControl(widgets.caption);
        const GridRect r = m_model.grid().caption(p);
        widgets.caption = create(
            "TEXT",
            m_panel,
            captions[static_cast<std::size_t>(p)],
            r.left,
            r.top,
            r.width,
            r.height,
            static_cast<std::intptr_t>(m_captionFont));
        if (auto* text = qobject_cast<QLabel*>(findWidget(widgets.caption))) {
            text->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
            text->setWordWrap(false);
            QPalette palette = text->palette();
            palette.setColor(QPalette::Window, QColor(GridRed, GridGreen, GridBlue));
            text->setPalette(palette);
            text->setAutoFillBackground(true);
            text->show();
        }
    }
}

void PageEditorWindow::relayout(std::int32_t lo, std::int32_t hi)
{
    openWait(ThumbnailWaitStartText);
    std::int32_t k = 0;
    for (std::int32_t p = lo; p <= hi && p <= m_model.PageCount(); ++p) {
        setWaitText(thumbnailWaitText(++k, hi - lo + 1));
        const bool forDeletion = m_model.markedForDeletion(p);
        if (!forDeletion && !m_model.markedBlank(p)) {
            placeButton(p);
            continue;
        }
        // A moved marked page shows its marks as text until its thumbnail is next rebuilt.
        createButton(
            p,
            "BUTTON",
            forDeletion ? "X X X\nZU LÖSCHEN\nX X X" : "- - -\nSeite leer\n- - -",
            static_cast<std::intptr_t>(m_context.ButtonFont));
    }
    closeWait();
    DrainWindowEvents();
    m_context.shell.DragInProgress = 0;
}

bool PageEditorWindow::applyThumbnailSize()
{
    if (!takeThumbnailSize(m_model, m_clientWidth)) {
        return false;
    }
    BuildThumbnails(-1, false);
    return true;
}

void PageEditorWindow::showOptions()
{
    // The rebuild drains the pending events, so clicks made meanwhile are tested before the next wait.
    RunOptionsCommand(m_model, m_context.shell.entryPoints.OptionsDialog, m_clientWidth, [this] {
        BuildThumbnails(-1, false);
        m_drained = true;
    });
}

void PageEditorWindow::pickPoint(bool white)
{
    PageEditorState& state = m_model.state();
    std::array<std::string, 3>& fields = white ? state.WhitePointFields : state.BlackPointFields;
    if (!pickPointColour(fields, [](const std::string& hint) { return ColorPicker(false, nullptr, hint); })) {
        return;
    }
    const std::size_t first = white ? 0 : 3;
    for (std::size_t i = 0; i < fields.size(); ++i) {
        SetText(m_controls[PointFieldIndexes[first + i]], fields[i]);
    }
}

void PageEditorWindow::openInExternalEditor(std::int32_t page, std::int32_t k)
{
    ProcessRunner* processes = effects().processes;
    if (processes != nullptr &&
        OpenInExternalEditor(
            m_model, m_context.shell.settingsState.settings.ExternalEditors, *processes, page, k)) {
        rebuildThumbnail(page);
    }
    m_context.shell.InputFlags.ClickedHandle = NoHandle;
}

void PageEditorWindow::runLoop(std::uint8_t& emptyRemoved)
{
    m_emptyRemoved = &emptyRemoved;
    // Focus selects a point field's whole text, Return in one is recorded for the loop.
    for (const std::size_t index : PointFieldIndexes) {
        EditSubclass(m_controls[index], 1, 0);
    }
    QtTextRenderer renderer;
    m_model.setTextRenderer(&renderer);
    ImageEditorOperations operations(m_context.functions, m_model);
    EditorController controller(
        m_model,
        m_context.shell.InputFlags,
        m_context.shell.settingsState.settings.ExternalEditors,
        *this,
        operations);
    for (;;) {
        EditorEvent event;
        m_escapeEvent = false;
        // A command that drained the events also dropped the wake-ups of clicks made meanwhile; their
        // clicked flags and click records are tested once before the loop waits again.
        if (!m_drained) {
            const auto kind = static_cast<EventKind>(WaitWindowEvent(-1));
            if (kind == EventKind::CloseWindow) {
                event.kind = EditorEventKind::Close;
                event.ofEditorWindow = EventWindow() == m_window;
            } else if (kind == EventKind::Control) {
                event.kind = EditorEventKind::Control;
                event.control = EventControl();
            } else if (kind == EventKind::Menu) {
                event.kind = EditorEventKind::Menu;
                event.menuItem = EventMenu();
            } else if (kind == EventKind::Key) {
                m_escapeEvent = EventType() == VkEscape && EventWindow() == m_window;
            }
        }
        m_drained = false;
        if (controller.handle(event)) {
            break;
        }
    }
    m_model.setTextRenderer(nullptr);
    m_emptyRemoved = nullptr;
}

bool PageEditorWindow::buttonClicked(EditorButton button)
{
    static constexpr std::array<std::pair<EditorButton, std::size_t>, 18> indexes{{
        {EditorButton::AllLeft, 0},
        {EditorButton::AllHalf, 1},
        {EditorButton::AllRight, 2},
        {EditorButton::AllStraighten1, 3},
        {EditorButton::AllStraighten2, 4},
        {EditorButton::AllBlackWhite, 5},
        {EditorButton::AllBlackWhiteDithered, 6},
        {EditorButton::AllGrey, 7},
        {EditorButton::AllColour, 8},
        {EditorButton::AllFlatField, 9},
        {EditorButton::Options, OptionsButton},
        {EditorButton::AllRestore, 12},
        {EditorButton::AllPaginate, 13},
        {EditorButton::AllWhiteBalance, 14},
        {EditorButton::AllInvert, 15},
        {EditorButton::AllDeGray, 16},
        {EditorButton::Apply, ApplyButton},
        {EditorButton::Cancel, CancelButton},
    }};
    for (const auto& [kind, index] : indexes) {
        if (kind == button) {
            return ODBClicked(static_cast<std::intptr_t>(m_controls[index])) != 0;
        }
    }
    return false;
}

namespace {

void addMenuEntries(QMenu& menu, const std::vector<PopupEntry>& entries)
{
    for (const PopupEntry& entry : entries) {
        if (entry.separator) {
            menu.addSeparator();
        } else if (!entry.submenu.empty()) {
            addMenuEntries(*menu.addMenu(QString::fromStdString(entry.text)), entry.submenu);
        } else {
            menu.addAction(QString::fromStdString(entry.text))->setData(entry.id);
        }
    }
}

} // namespace

void PageEditorWindow::showContextMenu(const std::vector<PopupEntry>& entries)
{
    // Built for this one showing and freed when it returns; the choice arrives as a menu event.
    auto menu = std::make_unique<QMenu>(findWidget(m_window));
    addMenuEntries(*menu, entries);
    DisplayPopupMenu(registerObject(menu.get(), ObjectKind::Menu), m_window);
}

void PageEditorWindow::showMarkedPageMenu()
{
    DisplayPopupMenu(m_context.MarkedPageMenu, m_window);
}

std::string
PageEditorWindow::askText(const std::string& title, const std::string& prompt, const std::string& initial)
{
    return effects().textInput->askText(title, prompt, initial);
}

bool PageEditorWindow::confirmDiscard()
{
    ActionBoxParams params;
    ResetActionBoxParams(params);
    params.Title = EditorWindowTitle;
    params.Text = DiscardQuestionText;
    params.ButtonCount = 2;
    params.Buttons = DiscardQuestionButtons;
    params.DefaultButton = 2;
    params.ButtonWidth = 150;
    params.Icon = 2;
    // Esc and the box's own close box keep editing too.
    return ActionBox(params) == 1;
}

void PageEditorWindow::drainEvents()
{
    DrainWindowEvents();
    m_drained = true;
}

void PageEditorWindow::dropOneEvent()
{
    WindowEvent();
    m_drained = true;
}

void PageEditorWindow::cancelEdits()
{
    CancelEdits(m_model);
}

void PageEditorWindow::applyEdits()
{
    ApplyEdits(m_model, m_context.functions, m_context.pool, *m_emptyRemoved);
}

// Esc counts when its key event came from this window, or while it is held with this window in front
// (its key event may have been dropped by a long command), but only when it was pressed in this
// window: an Esc that closed a popup menu, a requester, a message box or the large view is still held
// when the editor is in front again.
bool PageEditorWindow::escapeDownInEditor()
{
    if (m_escapeEvent) {
        return true;
    }
    QWidget* window = findWidget(m_window);
    return window != nullptr && keyPressWindow(VkEscape) == window && KeyDown(VkEscape, 0, m_window) == 1;
}

bool PageEditorWindow::isWhitePick(Handle control)
{
    return control == m_controls[WhitePick];
}

bool PageEditorWindow::isBlackPick(Handle control)
{
    return control == m_controls[BlackPick];
}

std::int32_t PageEditorWindow::splitToggleOf(Handle control)
{
    for (std::int32_t p = 1; p < m_model.PageCount(); ++p) {
        if (control != NoHandle && control == m_pages[static_cast<std::size_t>(p)].toggle) {
            return p;
        }
    }
    return 0;
}

void PageEditorWindow::showAngleThumbnail(std::int32_t page)
{
    if (page < 1 || page > m_model.PageCount() || !m_pages[static_cast<std::size_t>(page)].image) {
        return;
    }
    PageWidgets& widgets = m_pages[static_cast<std::size_t>(page)];
    FreeImageBitmap turned = turnThumbnail(m_context.functions, widgets.image.get(), m_model.angle(page));
    if (!turned) {
        return;
    }
    destroyButton(page);
    widgets.image = std::move(turned);
    FreeHBitmap(widgets.bitmap);
    widgets.bitmap = FreeImageToHBitmap(m_context.functions, widgets.image.get());
    placeButton(page);
}

void PageEditorWindow::releasePage(std::int32_t page)
{
    PageWidgets& widgets = m_pages[static_cast<std::size_t>(page)];
    destroyButton(page);
    if (widgets.bitmap != NoHandle) {
        FreeHBitmap(widgets.bitmap);
        widgets.bitmap = NoHandle;
    }
    widgets.image.reset();
    deleteControl(widgets.toggle);
    deleteControl(widgets.caption);
}

void PageEditorWindow::close()
{
    if (m_waitOpen) {
        closeWait();
    }
    for (std::size_t p = 1; p < m_pages.size(); ++p) {
        releasePage(static_cast<std::int32_t>(p));
    }
    m_pages.clear();
    for (Handle& tooltip : m_tooltips) {
        deleteControl(tooltip);
    }
    m_tooltips.clear();
    if (m_window != NoHandle) {
        closeDialogWindow(m_window);
        m_window = NoHandle;
    }
    m_controls.clear();
    m_area = NoHandle;
    m_panel = NoHandle;
    if (m_captionFont != NoHandle) {
        deleteDrawObject(m_captionFont);
        m_captionFont = NoHandle;
    }
}

void PageEditorWindow::openWait(const std::string& text)
{
    if (!m_waitOpen) {
        XWarten(text, 0, 20, -1, 0, 0, 0);
        m_waitOpen = true;
    }
    m_waitTexts.push_back(text);
}

void PageEditorWindow::setWaitText(const std::string& text)
{
    m_waitTexts.push_back(text);
    if (m_waitOpen) {
        SetText(WaitWindowText(), text);
    }
}

void PageEditorWindow::closeWait()
{
    if (m_waitOpen) {
        XWartenEnde();
        m_waitOpen = false;
    }
}

void PageEditorWindow::showNote(const std::string& text)
{
    ShowNote(text, 0, m_window);
}

bool PageEditorWindow::escapeDown()
{
    return KeyDown(VkEscape, 0, NoHandle) == 1;
}

void PageEditorWindow::pauseMs(int ms)
{
    Delay(ms);
}

std::int32_t EditPages(PageEditorContext& context, std::int32_t detectBlank, std::uint8_t& emptyRemoved)
{
    PageEditorWindow editor(context, detectBlank);
    if (editor.open()) {
        editor.BuildThumbnails(-1, true);
        editor.model().markUnchanged();
        if (readyHook()) {
            readyHook()(editor);
        }
        editor.runLoop(emptyRemoved);
    }
    editor.close();
    return 1;
}

} // namespace folvex
