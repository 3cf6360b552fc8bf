#include "foundation/list_view.h"

#include "runtime/dib.h"
#include "runtime/draw_objects.h"
#include "runtime/object_registry.h"

#include <QHeaderView>
#include <QIcon>
#include <QImage>
#include <QPixmap>
#include <QTreeWidget>
#include <QVariant>

#include <algorithm>
#include <charconv>
#include <map>

namespace folvex {
namespace {

static_assert(ListViewImageRole == Qt::UserRole + 1);

// Where a list view keeps its image list: the image handles, in the widget's properties.
constexpr char ImageListProperty[] = "folvexImageList";

// The marker of an image index at the end of a cell in a row text given to LVAddRow.
constexpr char ImageMarker[] = "~IL";

QTreeWidgetItem* itemAt(QTreeWidget* view, int row)
{
    if (view == nullptr || row < 0 || row >= view->topLevelItemCount()) {
        return nullptr;
    }
    return view->topLevelItem(row);
}

std::vector<std::string> splitFields(const std::string& text)
{
    std::vector<std::string> fields;
    std::size_t start = 0;
    while (true) {
        const std::size_t bar = text.find(ListViewSeparator[0], start);
        if (bar == std::string::npos) {
            fields.push_back(text.substr(start));
            return fields;
        }
        fields.push_back(text.substr(start, bar - start));
        start = bar + 1;
    }
}

// A field ending in "~IL" and decimal digits: the text before the marker and the index. Only the
// end of a field counts, so "~IL" inside a path stays part of the text.
bool splitImageMarker(const std::string& field, std::string& text, int& image)
{
    std::size_t digits = field.size();
    while (digits > 0 && field[digits - 1] >= '0' && field[digits - 1] <= '9') {
        --digits;
    }
    const std::size_t markerLength = sizeof(ImageMarker) - 1;
    if (digits == field.size() || digits < markerLength ||
        field.compare(digits - markerLength, markerLength, ImageMarker) != 0) {
        return false;
    }
    int value = 0;
    const char* first = field.data() + digits;
    const char* last = field.data() + field.size();
    const auto [end, error] = std::from_chars(first, last, value);
    if (error != std::errc() || end != last) {
        return false;
    }
    text = field.substr(0, digits - markerLength);
    image = value;
    return true;
}

// The icon of an image-list index; a null icon when the list view has no such image.
QIcon iconFor(const QTreeWidget* view, int index)
{
    const QList<qlonglong> images = view->property(ImageListProperty).value<QList<qlonglong>>();
    if (index < 0 || index >= images.size()) {
        return {};
    }
    const DibBitmap* dib = findImage(static_cast<Handle>(images[index]));
    if (dib == nullptr) {
        return {};
    }
    const QImage image = imageOfDib(*dib);
    return image.isNull() ? QIcon() : QIcon(QPixmap::fromImage(image));
}

void setCellImage(QTreeWidget* view, QTreeWidgetItem* item, int col, int image)
{
    item->setData(col, ListViewImageRole, image);
    item->setIcon(col, iconFor(view, image));
}

// The alignment a column's cells take, kept in the header item.
Qt::Alignment columnAlignment(const QTreeWidget* view, int col)
{
    const QVariant kept = view->headerItem()->data(col, Qt::TextAlignmentRole);
    return kept.isValid() ? Qt::Alignment(kept.toInt()) : Qt::Alignment(Qt::AlignLeft | Qt::AlignVCenter);
}

// Moves the cells from col on one column to the right (up to end − 1) and leaves col empty.
void shiftCellsRight(QTreeWidgetItem* item, int col, int end)
{
    constexpr int Roles[] = {Qt::DisplayRole, Qt::DecorationRole, Qt::TextAlignmentRole, ListViewImageRole};
    for (int target = end - 1; target > col; --target) {
        for (const int role : Roles) {
            item->setData(target, role, item->data(target - 1, role));
        }
    }
    for (const int role : Roles) {
        item->setData(col, role, QVariant());
    }
}

// A string of at most ListViewCellMaxChars characters, never ending in half a surrogate pair.
std::string limitedCellText(const QString& text)
{
    if (text.size() <= ListViewCellMaxChars) {
        return text.toStdString();
    }
    QString cut = text.left(ListViewCellMaxChars);
    if (cut.back().isHighSurrogate()) {
        cut.chop(1);
    }
    return cut.toStdString();
}

// Where a new row with this first cell goes in a sorted list view: after every row that does not
// come later, so rows with equal first cells keep their order of insertion.
int sortedPosition(const QTreeWidget* view, const QString& first, bool descending)
{
    const int count = view->topLevelItemCount();
    for (int row = 0; row < count; ++row) {
        const int order = QString::compare(view->topLevelItem(row)->text(0), first, Qt::CaseInsensitive);
        if (descending ? order < 0 : order > 0) {
            return row;
        }
    }
    return count;
}

} // namespace

QTreeWidget* findListView(Handle lv)
{
    return qobject_cast<QTreeWidget*>(findObject(lv));
}

void setUpListView(QTreeWidget* view)
{
    if (view == nullptr) {
        return;
    }
    view->setColumnCount(0);
    view->setRootIsDecorated(false);
    view->setItemsExpandable(false);
    view->setUniformRowHeights(true);
    view->setSortingEnabled(false);
    view->setSelectionBehavior(QAbstractItemView::SelectRows);
    view->setAllColumnsShowFocus(true);
    view->header()->setSectionsClickable(true);
    view->header()->setStretchLastSection(false);
    view->setStyleSheet(QStringLiteral("QTreeView::item { border-right: 1px solid palette(mid); "
                                       "border-bottom: 1px solid palette(mid); }"));
}

bool setListViewImageList(Handle lv, std::vector<Handle> images)
{
    QTreeWidget* view = findListView(lv);
    if (view == nullptr) {
        return false;
    }
    QList<qlonglong> kept;
    for (const Handle image : images) {
        kept.push_back(static_cast<qlonglong>(image));
    }
    view->setProperty(ImageListProperty, QVariant::fromValue(kept));
    for (int row = 0; row < view->topLevelItemCount(); ++row) {
        QTreeWidgetItem* item = view->topLevelItem(row);
        for (int col = 0; col < item->columnCount(); ++col) {
            const QVariant index = item->data(col, ListViewImageRole);
            if (index.isValid()) {
                item->setIcon(col, iconFor(view, index.toInt()));
            }
        }
    }
    return true;
}

int LVItemCount(Handle lv)
{
    const QTreeWidget* view = findListView(lv);
    return view != nullptr ? view->topLevelItemCount() : 0;
}

int LVColumnCount(Handle lv)
{
    const QTreeWidget* view = findListView(lv);
    return view != nullptr ? view->columnCount() : 0;
}

std::string LVGetCell(Handle lv, int row, int col)
{
    const QTreeWidgetItem* item = itemAt(findListView(lv), row);
    if (item == nullptr || col < 0) {
        return {};
    }
    return limitedCellText(item->text(col));
}

std::string LVGetRow(Handle lv, int row)
{
    if (itemAt(findListView(lv), row) == nullptr) {
        return {};
    }
    std::string result;
    const int columns = LVColumnCount(lv);
    for (int col = 0; col < columns; ++col) {
        if (col > 0) {
            result += ListViewSeparator;
        }
        result += LVGetCell(lv, row, col);
    }
    return result;
}

int LVSetCell(Handle lv, int row, int col, const std::string& text)
{
    QTreeWidget* view = findListView(lv);
    QTreeWidgetItem* item = itemAt(view, row);
    if (item == nullptr || col < 0) {
        return 0;
    }
    item->setText(col, QString::fromStdString(text));
    item->setTextAlignment(col, columnAlignment(view, col));
    return 1;
}

int LVSetRow(Handle lv, int row, const std::string& text)
{
    const std::vector<std::string> fields = splitFields(text);
    for (std::size_t i = 0; i < fields.size(); ++i) {
        LVSetCell(lv, row, static_cast<int>(i), fields[i]);
    }
    return 1;
}

int LVAddRow(Handle lv, const std::string& text)
{
    QTreeWidget* view = findListView(lv);
    if (view == nullptr) {
        return -1;
    }
    auto* item = new QTreeWidgetItem;
    int image = -1;
    const std::vector<std::string> fields = splitFields(text);
    for (std::size_t i = 0; i < fields.size(); ++i) {
        const int col = static_cast<int>(i);
        std::string cell = fields[i];
        std::string before;
        int found = -1;
        if (splitImageMarker(cell, before, found)) {
            cell = before;
            image = found;
        }
        item->setText(col, QString::fromStdString(cell));
        item->setTextAlignment(col, columnAlignment(view, col));
        if (image != -1) {
            setCellImage(view, item, col, image);
        }
    }
    const std::uint32_t style = styleOf(lv);
    int row = view->topLevelItemCount();
    if ((style & (ListViewSortAscending | ListViewSortDescending)) != 0) {
        row = sortedPosition(view, item->text(0), (style & ListViewSortAscending) == 0);
    }
    view->insertTopLevelItem(row, item);
    return row;
}

int LVAddColumn(
    Handle lv, const std::string& title, int width, int align, int withImage, int image, int index)
{
    QTreeWidget* view = findListView(lv);
    if (view == nullptr) {
        return -1;
    }
    const int count = view->columnCount();
    const int col = index < 0 ? 0 : std::min(index, count);
    view->setColumnCount(count + 1);
    shiftCellsRight(view->headerItem(), col, count + 1);
    for (int row = 0; row < view->topLevelItemCount(); ++row) {
        QTreeWidgetItem* item = view->topLevelItem(row);
        shiftCellsRight(item, col, std::max(count + 1, item->columnCount() + 1));
    }
    Qt::Alignment alignment = Qt::AlignLeft;
    if (align == 1) {
        alignment = Qt::AlignRight;
    } else if (align == 2) {
        alignment = Qt::AlignHCenter;
    }
    alignment |= Qt::AlignVCenter;
    QTreeWidgetItem* header = view->headerItem();
    header->setText(col, QString::fromStdString(title));
    header->setData(col, Qt::TextAlignmentRole, static_cast<int>(alignment));
    if (withImage == 1) {
        header->setIcon(col, iconFor(view, image));
    }
    view->setColumnWidth(col, width);
    for (int row = 0; row < view->topLevelItemCount(); ++row) {
        view->topLevelItem(row)->setTextAlignment(col, alignment);
    }
    return col;
}

int LVDelete(Handle lv, int row)
{
    QTreeWidget* view = findListView(lv);
    if (itemAt(view, row) == nullptr) {
        return 0;
    }
    delete view->takeTopLevelItem(row);
    return 1;
}

int LVClear(Handle lv)
{
    QTreeWidget* view = findListView(lv);
    if (view == nullptr) {
        return 0;
    }
    view->clear();
    return 1;
}

int LVFirstFocused(Handle lv)
{
    const QTreeWidget* view = findListView(lv);
    if (view == nullptr || view->currentItem() == nullptr) {
        return -1;
    }
    return view->indexOfTopLevelItem(view->currentItem());
}

int LVIsSelected(Handle lv, int row)
{
    const QTreeWidgetItem* item = itemAt(findListView(lv), row);
    return item != nullptr && item->isSelected() ? 2 : 0;
}

int LVDeselectAll(Handle lv)
{
    if (QTreeWidget* view = findListView(lv)) {
        view->clearSelection();
    }
    return 0;
}

} // namespace folvex
