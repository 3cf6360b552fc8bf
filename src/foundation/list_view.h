#pragma once
// List views used as tables of texts: a list view is a QTreeWidget in report mode registered as a
// control; rows and columns count from 0. A row text is the row's cells joined with "|". The kept
// style bits 0x10 (ascending) and 0x20 (descending) make a list view sorted: a new row is placed by
// its first cell, compared without regard to case. Texts are UTF-8. GUI thread.

#include "runtime/handles.h"

#include <cstdint>
#include <string>
#include <vector>

class QTreeWidget;

namespace folvex {

inline constexpr char ListViewSeparator[] = "|";

// Kept style bits of a sorted list view.
inline constexpr std::uint32_t ListViewSortAscending = 0x10;
inline constexpr std::uint32_t ListViewSortDescending = 0x20;

// A cell reads at most this many characters.
inline constexpr int ListViewCellMaxChars = 49999;

// Item data role holding a cell's image index (an int; absent = no image).
inline constexpr int ListViewImageRole = 0x0100 + 1; // Qt::UserRole + 1

// The list view behind a handle; nullptr when the handle is no list view.
QTreeWidget* findListView(Handle lv);

// Sets a fresh QTreeWidget up as a report-mode list view: no columns, grid lines, whole rows
// selected, no root decoration, clickable header, no sorting of its own.
void setUpListView(QTreeWidget* view);

// The list view's image list: image handles of the image registry, indexed from 0 by a cell's
// "~IL" number. Cells that already show an index pick their image up. False for no list view.
bool setListViewImageList(Handle lv, std::vector<Handle> images);

// Number of rows; 0 for no list view.
int LVItemCount(Handle lv);

// Number of columns; 0 for no list view.
int LVColumnCount(Handle lv);

// The cell's text, at most ListViewCellMaxChars characters; empty for a cell that does not exist.
std::string LVGetCell(Handle lv, int row, int col);

// One "|" field per column, empty cells included; empty for a row that does not exist.
std::string LVGetRow(Handle lv, int row);

// Sets a cell's text; 1 when set, 0 when the row does not exist or col is negative.
int LVSetCell(Handle lv, int row, int col, const std::string& text);

// Sets cell i − 1 to the i-th "|" field of text; "~IL" is not read. Returns 1.
int LVSetRow(Handle lv, int row, const std::string& text);

// Adds a row from a row text and returns its index (−1 for no list view). A cell that ends in "~IL"
// and a decimal number shows that image of the image list (and the text before "~IL"); the index
// stays for the row's later cells. Appended, or placed by the first cell in a sorted list view.
int LVAddRow(Handle lv, const std::string& text);

// Inserts a column at index (past the end appends) with a title, a width in pixels and an
// alignment (0 left, 1 right, 2 centred, other left); withImage = 1 shows image in the header.
// Returns the new column's index, −1 for no list view.
int LVAddColumn(
    Handle lv, const std::string& title, int width, int align, int withImage, int image, int index);

// Deletes a row; 1 when deleted, 0 when it did not exist.
int LVDelete(Handle lv, int row);

// Deletes every row; 1, or 0 for no list view.
int LVClear(Handle lv);

// The current (focused) row; −1 when there is none.
int LVFirstFocused(Handle lv);

// 2 when the row is selected, else 0.
int LVIsSelected(Handle lv, int row);

// Deselects every row. Returns 0.
int LVDeselectAll(Handle lv);

} // namespace folvex
