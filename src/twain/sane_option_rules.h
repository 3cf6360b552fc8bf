#pragma once
// The rules by which the SANE library reads a device's options: which entries of the "source" option
// mean the sheet feeder and double-sided scanning, which scan modes mean line art, grey and colour,
// the nearest allowed value of a numeric option, and the scan area of a paper size. Any thread.

#include <optional>
#include <string>
#include <vector>

namespace folvex {

// Indexes into the entries of the "source" option; −1 when there is none.
struct SourceEntries
{
    int feeder = -1; // for feeder on: the first feeder entry without "Duplex", else the first with it
    int duplex = -1; // the first entry naming "Duplex"
    int other = -1;  // for feeder off: the first entry that names neither
};

// An entry names the feeder when it contains "ADF" or "Feeder", double-sided scanning when it
// contains "Duplex" (any case).
bool namesFeeder(const std::string& entry);
bool namesDuplex(const std::string& entry);

SourceEntries classifySourceEntries(const std::vector<std::string>& entries);

enum class ModeKind
{
    Lineart,
    Grey,
    Colour,
    Other,
};

// "Lineart", "Binary", "Black & White" are line art; "Gray"/"Grey" grey; "Color"/"Colour" colour
// (any case, also inside a longer text such as "Gray16" or "24bit Color").
ModeKind classifyMode(const std::string& mode);

// The first entry of the kind, −1 when none.
int findMode(const std::vector<std::string>& modes, ModeKind kind);

// What a numeric option allows: anything, a range with an optional step, or a list of values.
struct NumericConstraint
{
    enum class Kind
    {
        None,
        Range,
        List,
    };

    Kind kind = Kind::None;
    double min = 0.0;
    double max = 0.0;
    double quant = 0.0;
    std::vector<double> values;
};

// The allowed value nearest to wanted (ties go to the lower value).
double nearestAllowed(double wanted, const NumericConstraint& constraint);

// The geometry options of a device in millimetres; absent ones stay nullopt.
struct AreaRanges
{
    std::optional<NumericConstraint> tlX, tlY, brX, brY, pageWidth, pageHeight;
};

// Values for the geometry options; absent options stay nullopt.
struct AreaValues
{
    std::optional<double> tlX, tlY, brX, brY, pageWidth, pageHeight;
};

// "DIN A4": 210 × 297 mm from the top left corner, clamped to the device's maximum; any other text:
// the full area.
AreaValues paperArea(const std::string& paperSize, const AreaRanges& ranges);

} // namespace folvex
