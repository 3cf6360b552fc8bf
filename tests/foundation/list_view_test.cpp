#include "foundation/list_view.h"

#include "runtime/dib.h"
#include "runtime/object_registry.h"

#include <gtest/gtest.h>

#include <QTreeWidget>

#include <optional>
#include <vector>

namespace folvex {
namespace {

constexpr std::uint32_t ListViewStyle = 0x50B10049;
constexpr std::uint32_t SortedAscendingStyle = 0x50B10059;
constexpr std::uint32_t SortedDescendingStyle = 0x50B10069;

// A registered report-mode list view with three columns.
class ListViewTest : public ::testing::Test
{
protected:
    void SetUp() override { makeView(ListViewStyle); }

    void makeView(std::uint32_t style)
    {
        m_view = std::make_unique<QTreeWidget>();
        setUpListView(m_view.get());
        m_lv = registerObject(m_view.get(), ObjectKind::Control, style);
        for (const char* title : {"Name", "Pfad", "Seiten"}) {
            LVAddColumn(m_lv, title, 100, 0, 0, 0, 2000);
        }
    }

    std::optional<int> imageOf(int row, int col) const
    {
        const QVariant index = m_view->topLevelItem(row)->data(col, ListViewImageRole);
        return index.isValid() ? std::optional<int>(index.toInt()) : std::nullopt;
    }

    std::vector<std::string> firstCells() const
    {
        std::vector<std::string> cells;
        for (int row = 0; row < LVItemCount(m_lv); ++row) {
            cells.push_back(LVGetCell(m_lv, row, 0));
        }
        return cells;
    }

    std::unique_ptr<QTreeWidget> m_view;
    Handle m_lv = NoHandle;
};

TEST_F(ListViewTest, AddRowReadsCellsAndImageMarkers)
{
    struct Case
    {
        const char* label;
        const char* rowText;
        std::vector<std::string> cells;
        std::vector<std::optional<int>> images;
        const char* rowRead;
    };

    const std::optional<int> none;
    const Case cases[] = {
        {"image in the middle stays for later cells", "a|b~IL4|c", {"a", "b", "c"}, {none, 4, 4}, "a|b|c"},
        {"marker inside a path is text",
         "/home/u/~ILse/x.bmp|0",
         {"/home/u/~ILse/x.bmp", "0", ""},
         {none, none, none},
         "/home/u/~ILse/x.bmp|0|"},
        {"marker without a number is text", "x~IL|y", {"x~IL", "y", ""}, {none, none, none}, "x~IL|y|"},
        {"marker and number inside a cell", "~IL12x|y", {"~IL12x", "y", ""}, {none, none, none}, "~IL12x|y|"},
        {"a later marker replaces the index", "p~IL2|q~IL7|r", {"p", "q", "r"}, {2, 7, 7}, "p|q|r"},
        {"only the last marker counts", "s~IL1~IL3|t", {"s~IL1", "t", ""}, {3, 3, none}, "s~IL1|t|"},
        {"empty first cell", "|a|b", {"", "a", "b"}, {none, none, none}, "|a|b"},
        {"all empty", "||", {"", "", ""}, {none, none, none}, "||"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        LVClear(m_lv);
        ASSERT_EQ(LVAddRow(m_lv, c.rowText), 0);
        for (int col = 0; col < 3; ++col) {
            EXPECT_EQ(LVGetCell(m_lv, 0, col), c.cells[col]) << col;
            EXPECT_EQ(imageOf(0, col), c.images[col]) << col;
        }
        EXPECT_EQ(LVGetRow(m_lv, 0), c.rowRead);
    }
}

TEST_F(ListViewTest, RowsRoundTripThroughGetRowAndSetRow)
{
    for (const char* text : {"|a|b", "a||c", "||z", "x|y|z"}) {
        SCOPED_TRACE(text);
        LVClear(m_lv);
        LVAddRow(m_lv, "1|2|3");
        EXPECT_EQ(LVSetRow(m_lv, 0, text), 1);
        const std::string read = LVGetRow(m_lv, 0);
        EXPECT_EQ(read, text);
        LVSetRow(m_lv, 0, read);
        EXPECT_EQ(LVGetRow(m_lv, 0), text);
    }
    // "~IL" in a row text given to LVSetRow is plain text.
    LVSetRow(m_lv, 0, "b~IL4|c");
    EXPECT_EQ(LVGetCell(m_lv, 0, 0), "b~IL4");
}

TEST_F(ListViewTest, SortedListViewsPlaceNewRowsByTheFirstCell)
{
    struct Case
    {
        const char* label;
        std::uint32_t style;
        std::vector<std::string> expected;
    };

    const Case cases[] = {
        {"unsorted", ListViewStyle, {"b|1", "A|2", "c|3", "a2|4", "a|5"}},
        {"ascending", SortedAscendingStyle, {"A|2", "a|5", "a2|4", "b|1", "c|3"}},
        {"descending", SortedDescendingStyle, {"c|3", "b|1", "a2|4", "A|2", "a|5"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        makeView(c.style);
        for (const char* row : {"b|1", "A|2", "c|3", "a2|4", "a|5"}) {
            LVAddRow(m_lv, row);
        }
        std::vector<std::string> rows;
        for (int row = 0; row < LVItemCount(m_lv); ++row) {
            rows.push_back(LVGetRow(m_lv, row).substr(0, LVGetRow(m_lv, row).rfind('|')));
        }
        EXPECT_EQ(rows, c.expected);
    }
}

TEST_F(ListViewTest, SortedInsertionReturnsTheRowItLandedIn)
{
    makeView(SortedAscendingStyle);
    EXPECT_EQ(LVAddRow(m_lv, "m"), 0);
    EXPECT_EQ(LVAddRow(m_lv, "z"), 1);
    EXPECT_EQ(LVAddRow(m_lv, "B~IL1|x"), 0);
    EXPECT_EQ(firstCells(), (std::vector<std::string>{"B", "m", "z"}));
    EXPECT_EQ(imageOf(0, 0), 1);
}

TEST_F(ListViewTest, ColumnsAreCountedAndInserted)
{
    QTreeWidget fresh;
    setUpListView(&fresh);
    const Handle lv = registerObject(&fresh, ObjectKind::Control, ListViewStyle);
    EXPECT_EQ(LVColumnCount(lv), 0);
    EXPECT_EQ(LVAddColumn(lv, "Programm", 120, 0, 0, 0, 2000), 0);
    EXPECT_EQ(LVAddColumn(lv, "Pfad", 200, 1, 0, 0, 2000), 1);
    EXPECT_EQ(LVColumnCount(lv), 2);
    EXPECT_EQ(fresh.columnWidth(1), 200);
    EXPECT_EQ(fresh.headerItem()->text(1), QStringLiteral("Pfad"));

    LVAddRow(lv, "gimp|/usr/bin/gimp");
    EXPECT_TRUE(fresh.topLevelItem(0)->textAlignment(1) & Qt::AlignRight);
    // A column inserted in front moves the cells behind it.
    EXPECT_EQ(LVAddColumn(lv, "Nr", 40, 2, 0, 0, 0), 0);
    EXPECT_EQ(LVColumnCount(lv), 3);
    EXPECT_EQ(LVGetRow(lv, 0), "|gimp|/usr/bin/gimp");
    EXPECT_EQ(fresh.headerItem()->text(0), QStringLiteral("Nr"));

    EXPECT_EQ(LVColumnCount(NoHandle), 0);
    EXPECT_EQ(LVAddColumn(NoHandle, "x", 1, 0, 0, 0, 2000), -1);
}

TEST_F(ListViewTest, DeleteClearAndFocus)
{
    EXPECT_EQ(LVFirstFocused(m_lv), -1);
    for (const char* row : {"eins", "zwei", "drei"}) {
        LVAddRow(m_lv, row);
    }
    EXPECT_EQ(LVFirstFocused(m_lv), -1);
    m_view->setCurrentItem(m_view->topLevelItem(2));
    EXPECT_EQ(LVFirstFocused(m_lv), 2);

    EXPECT_EQ(LVDelete(m_lv, 1), 1);
    EXPECT_EQ(firstCells(), (std::vector<std::string>{"eins", "drei"}));
    EXPECT_EQ(LVFirstFocused(m_lv), 1);
    EXPECT_EQ(LVDelete(m_lv, 2), 0);
    EXPECT_EQ(LVDelete(m_lv, -1), 0);
    EXPECT_EQ(LVItemCount(m_lv), 2);

    EXPECT_EQ(LVClear(m_lv), 1);
    EXPECT_EQ(LVItemCount(m_lv), 0);
    EXPECT_EQ(LVFirstFocused(m_lv), -1);
    EXPECT_EQ(LVGetRow(m_lv, 0), "");
    EXPECT_EQ(LVGetCell(m_lv, 0, 0), "");
    EXPECT_EQ(LVSetCell(m_lv, 0, 0, "x"), 0);
}

TEST_F(ListViewTest, SelectionIsReadAndCleared)
{
    m_view->setSelectionMode(QAbstractItemView::ExtendedSelection);
    for (const char* row : {"eins", "zwei", "drei"}) {
        LVAddRow(m_lv, row);
    }
    m_view->topLevelItem(0)->setSelected(true);
    m_view->topLevelItem(2)->setSelected(true);
    EXPECT_EQ(LVIsSelected(m_lv, 0), 2);
    EXPECT_EQ(LVIsSelected(m_lv, 1), 0);
    EXPECT_EQ(LVIsSelected(m_lv, 2), 2);
    EXPECT_EQ(LVIsSelected(m_lv, 7), 0);
    EXPECT_EQ(LVDeselectAll(m_lv), 0);
    EXPECT_EQ(LVIsSelected(m_lv, 0), 0);
    EXPECT_EQ(LVIsSelected(m_lv, 2), 0);
}

TEST_F(ListViewTest, LongCellsReadAsAtMost49999Characters)
{
    const std::string longText(60000, 'x');
    LVAddRow(m_lv, "kurz");
    EXPECT_EQ(LVSetCell(m_lv, 0, 1, longText), 1);
    EXPECT_EQ(LVGetCell(m_lv, 0, 1).size(), 49999u);
    EXPECT_EQ(LVGetRow(m_lv, 0).size(), 4 + 1 + 49999 + 1u);

    // A character outside the basic plane is not cut in half at the limit.
    std::string wide(49998, 'y');
    wide += "\xF0\x9F\x93\x84"; // U+1F4C4, two UTF-16 units
    LVSetCell(m_lv, 0, 2, wide);
    EXPECT_EQ(LVGetCell(m_lv, 0, 2), std::string(49998, 'y'));
}

TEST_F(ListViewTest, CellsShowTheirImageFromTheImageList)
{
    std::unique_ptr<DibBitmap> red = makeDibBitmap(4, 4, 24);
    for (std::size_t i = 0; i + 2 < red->bits.size(); i += 3) {
        red->bits[i + 2] = 0xFF;
    }
    const Handle image = registerImage(std::move(red));
    LVAddRow(m_lv, "a|b~IL1|c");
    LVAddRow(m_lv, "d~IL0|e");
    EXPECT_TRUE(m_view->topLevelItem(0)->icon(1).isNull());

    ASSERT_TRUE(setListViewImageList(m_lv, {NoHandle, image}));
    EXPECT_TRUE(m_view->topLevelItem(0)->icon(0).isNull());
    EXPECT_FALSE(m_view->topLevelItem(0)->icon(1).isNull());
    EXPECT_FALSE(m_view->topLevelItem(0)->icon(2).isNull());
    EXPECT_TRUE(m_view->topLevelItem(1)->icon(0).isNull()); // index 0 holds no image
    const QImage shown = m_view->topLevelItem(0)->icon(1).pixmap(4, 4).toImage();
    EXPECT_EQ(QColor(shown.pixel(1, 1)), QColor(255, 0, 0));

    // Rows added afterwards get theirs at once.
    LVAddRow(m_lv, "f~IL1");
    EXPECT_FALSE(m_view->topLevelItem(2)->icon(0).isNull());
    EXPECT_FALSE(setListViewImageList(NoHandle, {image}));
    freeImage(image);
}

TEST(ListViewHandleTest, OtherWidgetsAreNoListViews)
{
    QWidget widget;
    const Handle handle = registerObject(&widget, ObjectKind::Control);
    EXPECT_EQ(findListView(handle), nullptr);
    EXPECT_EQ(LVAddRow(handle, "a|b"), -1);
    EXPECT_EQ(LVItemCount(handle), 0);
    EXPECT_EQ(LVClear(handle), 0);
    EXPECT_EQ(LVFirstFocused(handle), -1);
}

} // namespace
} // namespace folvex
