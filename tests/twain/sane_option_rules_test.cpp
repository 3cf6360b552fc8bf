#include "twain/sane_option_rules.h"

#include "twain/sane_scanner_library.h"

#include <gtest/gtest.h>

namespace folvex {
namespace {

TEST(SaneOptionRulesTest, SourceEntriesOfRealDeviceLists)
{
    struct Row
    {
        const char* label;
        std::vector<std::string> entries;
        SourceEntries expected;
    };

    const Row rows[] = {
        {"test backend", {"Flatbed", "Automatic Document Feeder"}, {1, -1, 0}},
        {"feeder front and duplex", {"Flatbed", "ADF Front", "ADF Duplex"}, {1, 2, 0}},
        {"duplex listed first", {"ADF Duplex", "ADF Front", "Flatbed"}, {1, 0, 2}},
        {"only a duplex feeder", {"Flatbed", "ADF Duplex"}, {1, 1, 0}},
        {"lower case", {"flatbed", "adf", "feeder (left aligned)"}, {1, -1, 0}},
        {"feeder only", {"Automatic Document Feeder"}, {0, -1, -1}},
        {"flatbed only", {"Flatbed", "Transparency Adapter"}, {-1, -1, 0}},
        {"no entries", {}, {-1, -1, -1}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.label);
        const SourceEntries found = classifySourceEntries(row.entries);
        EXPECT_EQ(found.feeder, row.expected.feeder);
        EXPECT_EQ(found.duplex, row.expected.duplex);
        EXPECT_EQ(found.other, row.expected.other);
    }
}

TEST(SaneOptionRulesTest, ScanModes)
{
    struct Row
    {
        const char* mode;
        ModeKind kind;
    };

    const Row rows[] = {
        {"Lineart", ModeKind::Lineart},
        {"Binary", ModeKind::Lineart},
        {"Black & White", ModeKind::Lineart},
        {"black & white", ModeKind::Lineart},
        {"Gray", ModeKind::Grey},
        {"Grey", ModeKind::Grey},
        {"True Gray", ModeKind::Grey},
        {"Color", ModeKind::Colour},
        {"24bit Colour", ModeKind::Colour},
        {"Halftone", ModeKind::Other},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.mode);
        EXPECT_EQ(classifyMode(row.mode), row.kind);
    }
    EXPECT_EQ(findMode({"Color", "Gray"}, ModeKind::Grey), 1);
    EXPECT_EQ(findMode({"Color", "Gray"}, ModeKind::Lineart), -1);
}

TEST(SaneOptionRulesTest, NearestAllowedValue)
{
    using Kind = NumericConstraint::Kind;

    struct Row
    {
        const char* label;
        NumericConstraint constraint;
        double wanted;
        double expected;
    };

    const Row rows[] = {
        {"free", {}, 123.4, 123.4},
        {"range inside", {Kind::Range, 1, 1200, 1, {}}, 300, 300},
        {"range above", {Kind::Range, 75, 600, 0, {}}, 1200, 600},
        {"range below", {Kind::Range, 75, 600, 0, {}}, 50, 75},
        {"range step", {Kind::Range, 50, 1200, 25, {}}, 310, 300},
        {"range step up", {Kind::Range, 50, 1200, 25, {}}, 315, 325},
        {"list", {Kind::List, 0, 0, 0, {75, 150, 300, 600}}, 200, 150},
        {"list tie goes low", {Kind::List, 0, 0, 0, {100, 300}}, 200, 100},
        {"list above", {Kind::List, 0, 0, 0, {75, 150, 300, 600}}, 1200, 600},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.label);
        EXPECT_DOUBLE_EQ(nearestAllowed(row.wanted, row.constraint), row.expected);
    }
}

TEST(SaneOptionRulesTest, PaperAreas)
{
    using Kind = NumericConstraint::Kind;
    const NumericConstraint upTo200{Kind::Range, 0, 200, 1, {}};
    const NumericConstraint upTo300{Kind::Range, 0, 300, 0, {}};
    const NumericConstraint width{Kind::Range, 0, 215.9, 0, {}};
    const NumericConstraint height{Kind::Range, 0, 355.6, 0, {}};

    const AreaValues big =
        paperArea("DIN A4", {upTo300, upTo300, upTo300, upTo300, std::nullopt, std::nullopt});
    EXPECT_EQ(big.tlX, 0.0);
    EXPECT_EQ(big.tlY, 0.0);
    EXPECT_EQ(big.brX, 210.0);
    EXPECT_EQ(big.brY, 297.0);
    EXPECT_FALSE(big.pageWidth.has_value());

    const AreaValues small =
        paperArea("DIN A4", {upTo200, upTo200, upTo200, upTo200, std::nullopt, std::nullopt});
    EXPECT_EQ(small.brX, 200.0);
    EXPECT_EQ(small.brY, 200.0);

    const AreaValues sheet = paperArea("DIN A4", {upTo300, upTo300, upTo300, upTo300, width, height});
    EXPECT_EQ(sheet.pageWidth, 210.0);
    EXPECT_EQ(sheet.pageHeight, 297.0);

    const AreaValues full = paperArea("DIN A5", {upTo200, upTo200, upTo300, upTo200, width, height});
    EXPECT_EQ(full.tlX, 0.0);
    EXPECT_EQ(full.brX, 300.0);
    EXPECT_EQ(full.brY, 200.0);
    EXPECT_EQ(full.pageWidth, 215.9);
    EXPECT_EQ(full.pageHeight, 355.6);

    const AreaValues none = paperArea("DIN A4", {});
    EXPECT_FALSE(none.tlX || none.brX || none.brY || none.pageWidth);
}

TEST(SaneOptionRulesTest, ProductNamesAndStoredNames)
{
    std::vector<SaneDevice> devices = {
        {"test:0", "Noname", "tester", {}},
        {"test:1", "Noname", "tester", {}},
        {"plustek:libusb:001:004", "Canon", "LiDE 25", {}},
    };
    assignProductNames(devices);
    EXPECT_EQ(devices[0].productName, "Noname tester (test:0)");
    EXPECT_EQ(devices[1].productName, "Noname tester (test:1)");
    EXPECT_EQ(devices[2].productName, "Canon LiDE 25");

    std::vector<SaneDevice> moved = {
        {"plustek:libusb:001:009", "Canon", "LiDE 25", {}}, {"test:1", "Noname", "tester", {}}};
    assignProductNames(moved);

    struct Row
    {
        const char* name;
        int inDevices;
        int inMoved;
    };

    const Row rows[] = {
        {"Noname tester (test:1)", 1, 1},
        {"Noname tester (test:0)", 0, 1},
        {"Canon LiDE 25", 2, 0},
        {"Canon LiDE 25 (plustek:libusb:001:004)", 2, 0},
        {"Noname tester", -1, 1},
        {"Noname tester (test:9)", -1, 1},
        {"Epson Perfection (test:1)", -1, -1},
        {"", -1, -1},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(findDeviceByProductName(devices, row.name), row.inDevices);
        EXPECT_EQ(findDeviceByProductName(moved, row.name), row.inMoved);
    }
}

} // namespace
} // namespace folvex
