#include "foundation/control_creation.h"

#include "foundation/dll_call.h"
#include "foundation/list_view.h"
#include "foundation/note.h"
#include "foundation/paths.h"
#include "runtime/controls.h"
#include "runtime/dib.h"
#include "runtime/draw_objects.h"
#include "runtime/dynamic_library.h"
#include "runtime/object_registry.h"
#include "runtime/qt_effects.h"
#include "runtime/text.h"
#include "runtime/window_events.h"
#include "runtime/window_geometry.h"
#include "runtime/window_messages.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QGroupBox>
#include <QGuiApplication>
#include <QHeaderView>
#include <QHelpEvent>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QScrollBar>
#include <QStyle>
#include <QStyledItemDelegate>
#include <QToolTip>
#include <QTreeWidget>

#include <map>
#include <unistd.h>

namespace folvex {
namespace {

// Window-style values the keywords are made with (WS_…, ES_…, BS_…, LBS_…, LVS_…, SBS_…).
constexpr std::uint32_t DialogStyle = 0x10C90000;
constexpr std::uint32_t ChildDialogStyle = 0x50C90000;
constexpr std::uint32_t TextStyle = 0x50000000;
constexpr std::uint32_t EditStyle = 0x50810080;
constexpr std::uint32_t MultiEditStyle = 0x50200044;
constexpr std::uint32_t ButtonStyle = 0x50010000;
constexpr std::uint32_t DefButtonStyle = 0x50010001;
constexpr std::uint32_t PicButtonStyle = 0x50010080;
constexpr std::uint32_t DefPicButtonStyle = 0x50010081;
constexpr std::uint32_t RadioButtonStyle = 0x50010009;
constexpr std::uint32_t CheckBoxStyle = 0x50010003;
constexpr std::uint32_t GroupBoxStyle = 0x50010007;
constexpr std::uint32_t ToolTipStyle = 0x80000001;
constexpr std::uint32_t SortedListBoxStyle = 0x50B10083;
constexpr std::uint32_t ListBoxStyle = 0x50B10081;
constexpr std::uint32_t ListViewStyle = 0x50B10049;
constexpr std::uint32_t HScrollStyle = 0x50010000;
constexpr std::uint32_t VScrollStyle = 0x50010001;
constexpr std::uint32_t ComboBoxStyle = 0x50010003;   // CBS_DROPDOWNLIST
constexpr std::uint32_t SpinStyle = 0x50812000;       // border, ES_NUMBER
constexpr std::uint32_t ToggleStyle = 0x50011003;     // BS_PUSHLIKE | BS_AUTOCHECKBOX
constexpr std::uint32_t ScrollAreaStyle = 0x50B00000; // border, both scroll bars

// Tips wider than this break into further lines.
constexpr int MaxTipWidthPx = 500;

// The size stock icons are made in.
constexpr int StockIconSizePx = 32;

// Grid lines of report lists.
const QColor GridColour(0xD0, 0xD0, 0xD0);

QFont systemFont()
{
    return QFont(QString::fromUtf8(SystemFontFamily), SystemFontPoints);
}

// WM_SETFONT: a font handle sets that font; 0 (or no font) keeps the system font.
void applyFont(QWidget* widget, std::intptr_t font)
{
    const QFont* chosen = findFont(font);
    widget->setFont(chosen != nullptr ? *chosen : systemFont());
}

void paintButtonFace(QWidget* widget, QPaintEvent* event)
{
    QPainter painter(widget);
    painter.fillRect(event->rect(), colourFromRgbValue(foundationLibrary().ButtonFaceColour));
}

void removeFromWindowList(Handle window)
{
    std::vector<Handle>& list = foundationLibrary().WindowList;
    for (auto entry = list.begin(); entry != list.end(); ++entry) {
        if (*entry == window) {
            list.erase(entry);
            return;
        }
    }
}

void focusMainWindow()
{
    if (QWidget* main = findWidget(mainWindowHandle())) {
        main->activateWindow();
        main->setFocus(Qt::OtherFocusReason);
    }
}

// The picture of a bitmap handle; a null image for anything else.
QImage imageFromDib(Handle image)
{
    const DibBitmap* dib = findImage(image);
    return dib != nullptr ? imageOfDib(*dib) : QImage();
}

// A 32-bit bitmap of an image, alpha in the fourth byte of each pixel.
Handle registerImageOf(const QImage& source)
{
    const QImage image = source.convertToFormat(QImage::Format_ARGB32);
    std::unique_ptr<DibBitmap> dib = makeDibBitmap(image.width(), image.height(), 32);
    if (!dib) {
        return NoHandle;
    }
    for (int y = 0; y < image.height(); ++y) {
        const auto* in = reinterpret_cast<const QRgb*>(image.constScanLine(y));
        std::uint8_t* row = dib->rowTopDown(y);
        for (int x = 0; x < image.width(); ++x) {
            row[4 * x] = static_cast<std::uint8_t>(qBlue(in[x]));
            row[4 * x + 1] = static_cast<std::uint8_t>(qGreen(in[x]));
            row[4 * x + 2] = static_cast<std::uint8_t>(qRed(in[x]));
            row[4 * x + 3] = static_cast<std::uint8_t>(qAlpha(in[x]));
        }
    }
    return registerImage(std::move(dib));
}

// Breaks every line wider than maxWidthPx at spaces, a word wider than that between characters.
QString wrapLines(const QString& text, const QFontMetrics& metrics, int maxWidthPx)
{
    QStringList out;
    for (const QString& line : text.split(QLatin1Char('\n'))) {
        if (metrics.horizontalAdvance(line) <= maxWidthPx) {
            out.push_back(line);
            continue;
        }
        QString current;
        for (const QString& word : line.split(QLatin1Char(' '))) {
            const QString joined = current.isEmpty() ? word : current + QLatin1Char(' ') + word;
            if (metrics.horizontalAdvance(joined) <= maxWidthPx) {
                current = joined;
                continue;
            }
            if (!current.isEmpty()) {
                out.push_back(current);
            }
            current = word;
            while (metrics.horizontalAdvance(current) > maxWidthPx && current.size() > 1) {
                qsizetype fits = 1;
                while (fits < current.size() &&
                       metrics.horizontalAdvance(current.left(fits + 1)) <= maxWidthPx) {
                    ++fits;
                }
                out.push_back(current.left(fits));
                current = current.mid(fits);
            }
        }
        out.push_back(current);
    }
    return out.join(QLatin1Char('\n'));
}

// A tooltip: a hidden child of its tool control that shows the tip when the tool asks for one, as
// long as it lives. An empty text registers no tip.
class ToolTipWindow final : public QWidget
{
public:
    ToolTipWindow(QWidget* tool, const QString& tip)
        : QWidget(tool)
        , m_tool(tool)
        , m_tip(tip)
    {
        hide();
        if (!m_tip.isEmpty()) {
            tool->installEventFilter(this);
        }
    }

    ~ToolTipWindow() override
    {
        if (!m_tip.isEmpty() && QToolTip::isVisible() && QToolTip::text() == m_tip) {
            QToolTip::hideText();
        }
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (watched == m_tool && event->type() == QEvent::ToolTip) {
            const auto* help = static_cast<QHelpEvent*>(event);
            QToolTip::showText(help->globalPos(), m_tip, m_tool);
            return true;
        }
        return QWidget::eventFilter(watched, event);
    }

private:
    QPointer<QWidget> m_tool;
    QString m_tip;
};

// The text a tip shows: "\n" breaks the line, "\q" is a double quote; wrapped at MaxTipWidthPx.
QString tipText(const std::string& text)
{
    const QString plain = QString::fromUtf8(lineBreaksForDisplay(prepareNoteText(text)));
    const QString wrapped = wrapLines(plain, QFontMetrics(QToolTip::font()), MaxTipWidthPx);
    if (Qt::mightBeRichText(wrapped)) {
        return Qt::convertFromPlainText(wrapped, Qt::WhiteSpacePre);
    }
    return wrapped;
}

// Draws the grid lines of a report list around every cell.
class GridDelegate final : public QStyledItemDelegate
{
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override
    {
        QStyledItemDelegate::paint(painter, option, index);
        painter->save();
        painter->setPen(GridColour);
        painter->drawLine(option.rect.topRight(), option.rect.bottomRight());
        painter->drawLine(option.rect.bottomLeft(), option.rect.bottomRight());
        painter->restore();
    }
};

// A report list view. Sorted views (style bits) place each new row by its first cell when it is
// added; the view itself never re-sorts, so a click on a column header changes nothing.
QTreeWidget* makeListView(QWidget* parent)
{
    auto* list = new QTreeWidget(parent);
    setUpListView(list);
    list->setSelectionMode(QAbstractItemView::ExtendedSelection);
    list->setItemDelegate(new GridDelegate(list));
    list->setStyleSheet(QString());
    return list;
}

QPushButton* makePictureButton(QWidget* parent, const std::string& text, std::intptr_t image, bool isDefault)
{
    auto* button = new QPushButton(parent);
    button->setAccessibleName(QString::fromUtf8(text));
    const QImage picture = imageFromDib(image);
    if (!picture.isNull()) {
        button->setIcon(QIcon(QPixmap::fromImage(picture)));
        button->setIconSize(picture.size());
    }
    button->setDefault(isDefault);
    return button;
}

QStyle::StandardPixmap stockIconFor(std::intptr_t iconId, bool& known)
{
    known = true;
    switch (iconId) {
        case 32513: // hand / error
            return QStyle::SP_MessageBoxCritical;
        case 32514: // question
            return QStyle::SP_MessageBoxQuestion;
        case 32515: // exclamation
        case 32518: // shield
            return QStyle::SP_MessageBoxWarning;
        case 32516: // asterisk / information
            return QStyle::SP_MessageBoxInformation;
        case 32512: // application
        case 32517: // the system's logo
            return QStyle::SP_DesktopIcon;
        default:
            known = false;
            return QStyle::SP_CustomBase;
    }
}

// The "user32.dll" functions of the window layer.
class WindowUser32Functions final : public User32Functions
{
public:
    std::intptr_t GetForegroundWindow() override { return handleOf(QApplication::activeWindow()); }

    // Stock icons are shared: each id is made once and kept (a freed one is made again).
    std::intptr_t LoadIconA(std::intptr_t instance, std::intptr_t iconId) override
    {
        if (instance != 0) {
            return 0;
        }
        const auto found = m_icons.find(iconId);
        if (found != m_icons.end() && findImage(found->second) != nullptr) {
            return found->second;
        }
        bool known = false;
        const QStyle::StandardPixmap stock = stockIconFor(iconId, known);
        if (!known) {
            return 0;
        }
        const QPixmap pixmap =
            QApplication::style()->standardIcon(stock).pixmap(StockIconSizePx, StockIconSizePx);
        if (pixmap.isNull()) {
            return 0;
        }
        const Handle icon = registerImageOf(pixmap.toImage());
        m_icons[iconId] = icon;
        return icon;
    }

    // Flags: SWP_NOSIZE 0x1, SWP_NOMOVE 0x2, SWP_NOZORDER 0x4, SWP_SHOWWINDOW 0x40,
    // SWP_HIDEWINDOW 0x80; insertAfter: 0 top, −1 topmost, −2 no longer topmost.
    std::intptr_t SetWindowPos(
        std::intptr_t window,
        std::intptr_t insertAfter,
        std::intptr_t x,
        std::intptr_t y,
        std::intptr_t width,
        std::intptr_t height,
        std::intptr_t flags) override
    {
        QWidget* widget = findWidget(window);
        if (widget == nullptr) {
            return 0;
        }
        WindowRect outer = windowOuterRect(window);
        if ((flags & 0x2) == 0) {
            outer.x = static_cast<int>(x);
            outer.y = static_cast<int>(y);
        }
        if ((flags & 0x1) == 0) {
            outer.width = static_cast<int>(width);
            outer.height = static_cast<int>(height);
        }
        placeWindowByOuterRect(window, outer);
        if ((flags & 0x4) == 0 && widget->isWindow()) {
            const std::int32_t after = static_cast<std::int32_t>(insertAfter);
            if (after == -1 || after == -2) {
                const bool wasVisible = widget->isVisible();
                widget->setWindowFlag(Qt::WindowStaysOnTopHint, after == -1);
                if (wasVisible) {
                    widget->show();
                }
            }
            if (after != -2) {
                widget->raise();
            }
        }
        if ((flags & 0x40) != 0) {
            widget->show();
        }
        if ((flags & 0x80) != 0) {
            widget->hide();
        }
        return 1;
    }

private:
    std::map<std::intptr_t, Handle> m_icons;
};

WindowUser32Functions& windowUser32()
{
    static WindowUser32Functions functions;
    return functions;
}

std::string executableOfThisProcess()
{
    std::string path(4096, '\0');
    const ssize_t length = ::readlink("/proc/self/exe", path.data(), path.size());
    if (length <= 0) {
        return {};
    }
    path.resize(static_cast<std::size_t>(length));
    return path;
}

// Gives a new window or control its handle, style, place and visibility.
Handle finish(QWidget* widget, ObjectKind kind, std::uint32_t style, int x, int y, int w, int h)
{
    const Handle handle = registerObject(widget, kind, style);
    if (widget->isWindow()) {
        placeWindowByOuterRect(handle, {x, y, w, h});
    } else {
        placeWindowByClientRect(handle, {x, y, w, h});
    }
    if ((style & 0x10000000) != 0) {
        widget->show();
    }
    return handle;
}

} // namespace

WndClass1::WndClass1()
{
    setAttribute(Qt::WA_OpaquePaintEvent);
}

WndClass1::~WndClass1()
{
    const Handle window = handleOf(this);
    removeFromWindowList(window);
    // The handle reads as none while the children go, so none of them reaches back to this window.
    releaseHandle(window);
}

void WndClass1::paintEvent(QPaintEvent* event)
{
    paintButtonFace(this, event);
}

void WndClass1::closeEvent(QCloseEvent* event)
{
    event->ignore();
    const Handle window = handleOf(this);
    removeFromWindowList(window);
    postCloseEvent(window);
}

DlgClass1::DlgClass1(QWidget* parent, bool child)
    : QWidget(
          parent,
          child ? Qt::Widget
                : Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowMaximizeButtonHint |
                      Qt::WindowCloseButtonHint)
{
    setAttribute(Qt::WA_OpaquePaintEvent);
}

DlgClass1::~DlgClass1()
{
    const Handle window = handleOf(this);
    removeFromWindowList(window);
    releaseHandle(window);
    focusMainWindow();
}

void DlgClass1::paintEvent(QPaintEvent* event)
{
    paintButtonFace(this, event);
}

void DlgClass1::closeEvent(QCloseEvent* event)
{
    event->accept();
    const Handle window = handleOf(this);
    removeFromWindowList(window);
    releaseHandle(window);
    hide();
    focusMainWindow();
    // Deleted once the close has been handled: Qt still works on the widget after this handler.
    QMetaObject::invokeMethod(
        QCoreApplication::instance(),
        [dialog = QPointer<DlgClass1>(this)] { delete dialog.data(); },
        Qt::QueuedConnection);
}

DialogWindow::DialogWindow(QWidget* owner, bool closeBox)
    : QWidget(
          owner,
          Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
              (closeBox ? Qt::WindowCloseButtonHint | Qt::WindowSystemMenuHint : Qt::WindowFlags()))
{
    setAttribute(Qt::WA_OpaquePaintEvent);
    setFont(systemFont());
}

DialogWindow::~DialogWindow()
{
    const Handle window = handleOf(this);
    removeFromWindowList(window);
    releaseHandle(window);
}

void DialogWindow::paintEvent(QPaintEvent* event)
{
    paintButtonFace(this, event);
}

void DialogWindow::closeEvent(QCloseEvent* event)
{
    event->ignore();
    postCloseEvent(handleOf(this));
}

Handle openDialogWindow(
    const std::string& title, int clientWidth, int clientHeight, const DialogWindowOptions& options)
{
    if (clientWidth < 1 || clientHeight < 1) {
        return NoHandle;
    }
    const Handle ownerHandle = options.owner != NoHandle ? options.owner : mainWindowHandle();
    QWidget* owner = findWidget(ownerHandle);
    if (owner != nullptr) {
        owner = owner->window();
    }
    auto* dialog = new DialogWindow(owner, options.closeBox);
    dialog->setWindowTitle(QString::fromUtf8(title));
    dialog->setFixedSize(clientWidth, clientHeight);
    const Handle handle = registerObject(
        dialog, ObjectKind::Window, options.closeBox ? DialogWindowCloseBoxStyle : DialogWindowStyle);

    const WindowRect size =
        outerFromClient({0, 0, clientWidth, clientHeight}, frameForStyle(styleOf(handle), false));
    QRect area = QGuiApplication::primaryScreen() != nullptr
                     ? QGuiApplication::primaryScreen()->availableGeometry()
                     : QRect(0, 0, 1024, 768);
    if (options.placement == DialogPlacement::CentreOnOwner && owner != nullptr) {
        const WindowRect over = windowOuterRect(handleOf(owner));
        area = over.width > 0 ? QRect(over.x, over.y, over.width, over.height) : owner->frameGeometry();
    }
    placeWindowByOuterRect(
        handle,
        {area.x() + (area.width() - size.width) / 2,
         area.y() + (area.height() - size.height) / 2,
         size.width,
         size.height});
    foundationLibrary().WindowList.push_back(handle);
    dialog->show();
    return handle;
}

bool closeDialogWindow(Handle dialog)
{
    auto* window = qobject_cast<DialogWindow*>(findWidget(dialog));
    if (window == nullptr) {
        return false;
    }
    QPointer<QWidget> owner = window->parentWidget();
    delete window;
    if (owner != nullptr && owner->isVisible()) {
        owner->activateWindow();
    }
    return true;
}

FoundationLibrary& foundationLibrary()
{
    static FoundationLibrary library;
    return library;
}

std::string programDirFor(const std::string& executablePath)
{
    std::string folder = PathDirectory(executablePath);
    if (folder.empty() || folder.back() != '/') {
        folder += '/';
    }
    return folder;
}

void startFoundationLibrary(const std::string& executablePath)
{
    FoundationLibrary& library = foundationLibrary();
    library = FoundationLibrary{};
    library.ProgramDir = programDirFor(executablePath.empty() ? executableOfThisProcess() : executablePath);
    library.ProcessId = static_cast<std::uint32_t>(::getpid());
    installUser32Functions(&windowUser32());
}

Handle create(
    const std::string& art,
    Handle parent,
    const std::string& text,
    int x,
    int y,
    int w,
    int h,
    std::intptr_t opt)
{
    const std::string keyword = upperCase(art);
    const QString title = QString::fromUtf8(text);
    QWidget* parentWidget = findWidget(parent);

    if (keyword == "WINDOW") {
        auto* window = new WndClass1();
        window->setWindowTitle(title);
        window->setFont(systemFont());
        const Handle handle = finish(window, ObjectKind::Window, foundationLibrary().WindowStyle, x, y, w, h);
        foundationLibrary().WindowList.push_back(handle);
        return handle;
    }
    if (keyword == "DIALOG") {
        const bool child = opt != 0;
        if (child && parentWidget == nullptr) {
            return NoHandle;
        }
        auto* dialog = new DlgClass1(parentWidget, child);
        dialog->setWindowTitle(title);
        dialog->setFont(systemFont());
        const Handle handle =
            finish(dialog, ObjectKind::Window, child ? ChildDialogStyle : DialogStyle, x, y, w, h);
        foundationLibrary().WindowList.push_back(handle);
        return handle;
    }

    static const char* const ChildKeywords[] = {
        "TEXT",
        "EDIT",
        "MULTIEDIT",
        "BUTTON",
        "DEFBUTTON",
        "PICBUTTON",
        "DEFPICBUTTON",
        "RADIOBUTTON",
        "CHECKBOX",
        "GROUPBOX",
        "TOOLTIP",
        "LISTBOX",
        "LISTVIEW",
        "HSCROLL",
        "VSCROLL",
        "COMBOBOX",
        "SPIN",
        "TOGGLE",
        "SCROLLAREA"};
    bool known = false;
    for (const char* candidate : ChildKeywords) {
        known = known || keyword == candidate;
    }
    if (!known) {
        ShowNote("create: »" + art + "« ist kein zulässiges Schlüsselwort für art$", 0, NoHandle);
        return NoHandle;
    }
    // A child window needs its parent.
    if (parentWidget == nullptr) {
        return NoHandle;
    }

    if (keyword == "TOOLTIP") {
        auto* tip = new ToolTipWindow(parentWidget, text.empty() ? QString() : tipText(text));
        if (QWidget* owner = findWidget(opt)) {
            owner->window()->setAttribute(Qt::WA_AlwaysShowToolTips);
        }
        return registerObject(tip, ObjectKind::Control, ToolTipStyle);
    }

    QWidget* control = nullptr;
    std::uint32_t style = 0;
    bool fontStep = true;
    if (keyword == "TEXT") {
        auto* label = new QLabel(title, parentWidget);
        label->setTextFormat(Qt::PlainText);
        label->setWordWrap(true);
        label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        control = label;
        style = TextStyle;
    } else if (keyword == "EDIT") {
        control = new QLineEdit(title, parentWidget);
        style = EditStyle;
    } else if (keyword == "MULTIEDIT") {
        auto* edit = new QPlainTextEdit(parentWidget);
        edit->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
        edit->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        edit->setLineWrapMode(QPlainTextEdit::WidgetWidth);
        control = edit;
        style = MultiEditStyle;
    } else if (keyword == "BUTTON" || keyword == "DEFBUTTON") {
        auto* button = new QPushButton(title, parentWidget);
        button->setDefault(keyword == "DEFBUTTON");
        control = button;
        style = keyword == "DEFBUTTON" ? DefButtonStyle : ButtonStyle;
    } else if (keyword == "PICBUTTON" || keyword == "DEFPICBUTTON") {
        const bool isDefault = keyword == "DEFPICBUTTON";
        control = makePictureButton(parentWidget, text, opt, isDefault);
        style = isDefault ? DefPicButtonStyle : PicButtonStyle;
        fontStep = false;
    } else if (keyword == "RADIOBUTTON") {
        control = new QRadioButton(title, parentWidget);
        style = RadioButtonStyle;
    } else if (keyword == "CHECKBOX") {
        control = new QCheckBox(title, parentWidget);
        style = CheckBoxStyle;
    } else if (keyword == "GROUPBOX") {
        control = new QGroupBox(title, parentWidget);
        style = GroupBoxStyle;
    } else if (keyword == "LISTBOX") {
        auto* list = new QListWidget(parentWidget);
        const bool sorted = text == "1";
        list->setSortingEnabled(sorted);
        control = list;
        style = sorted ? SortedListBoxStyle : ListBoxStyle;
    } else if (keyword == "LISTVIEW") {
        control = makeListView(parentWidget);
        style = ListViewStyle | (opt == 1 ? ListViewSortAscending : opt == 2 ? ListViewSortDescending : 0);
        fontStep = false;
    } else if (keyword == "COMBOBOX") {
        control = makeComboBox(parentWidget, text);
        style = ComboBoxStyle;
    } else if (keyword == "SPIN") {
        control = makeSpinBox(parentWidget);
        style = SpinStyle;
    } else if (keyword == "TOGGLE") {
        auto* toggle = static_cast<ToggleButton*>(makeToggleButton(parentWidget, text));
        toggle->setFaceColours(foundationLibrary().ButtonFaceColour, toggle->faceColour(true));
        control = toggle;
        style = ToggleStyle;
    } else if (keyword == "SCROLLAREA") {
        control = makeScrollArea(parentWidget, foundationLibrary().ButtonFaceColour);
        style = ScrollAreaStyle;
        fontStep = false;
    } else {
        const bool vertical = keyword == "VSCROLL";
        control = new QScrollBar(vertical ? Qt::Vertical : Qt::Horizontal, parentWidget);
        style = vertical ? VScrollStyle : HScrollStyle;
        fontStep = false;
    }
    applyFont(control, fontStep ? opt : 0);
    const Handle handle = finish(control, ObjectKind::Control, style, x, y, w, h);
    attachControlEvents(control, handle);
    return handle;
}

int LibraryShutdown()
{
    closeAllDynamicLibraries();
    return 0;
}

} // namespace folvex
