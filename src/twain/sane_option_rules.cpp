#include "twain/sane_option_rules.h"

#include "runtime/text.h"
#include "twain/scanner_library.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace folvex {

namespace {

bool containsWord(const std::string& text, const char* word)
{
    return lowerCase(text).find(lowerCase(word)) != std::string::npos;
}

double lowest(const NumericConstraint& c)
{
    switch (c.kind) {
        case NumericConstraint::Kind::Range:
            return c.min;
        case NumericConstraint::Kind::List: {
            double best = std::numeric_limits<double>::infinity();
            for (double v : c.values) {
                best = std::min(best, v);
            }
            return c.values.empty() ? 0.0 : best;
        }
        default:
            return 0.0;
    }
}

double highest(const NumericConstraint& c, double fallback)
{
    switch (c.kind) {
        case NumericConstraint::Kind::Range:
            return c.max;
        case NumericConstraint::Kind::List: {
            double best = -std::numeric_limits<double>::infinity();
            for (double v : c.values) {
                best = std::max(best, v);
            }
            return c.values.empty() ? fallback : best;
        }
        default:
            return fallback;
    }
}

} // namespace

bool namesFeeder(const std::string& entry)
{
    return containsWord(entry, "ADF") || containsWord(entry, "Feeder");
}

bool namesDuplex(const std::string& entry)
{
    return containsWord(entry, "Duplex");
}

SourceEntries classifySourceEntries(const std::vector<std::string>& entries)
{
    SourceEntries found;
    int feederWithDuplex = -1;
    for (int i = 0; i < static_cast<int>(entries.size()); ++i) {
        const std::string& entry = entries[static_cast<std::size_t>(i)];
        const bool feeder = namesFeeder(entry);
        const bool duplex = namesDuplex(entry);
        if (duplex && found.duplex < 0) {
            found.duplex = i;
        }
        if (feeder && !duplex && found.feeder < 0) {
            found.feeder = i;
        }
        if (feeder && duplex && feederWithDuplex < 0) {
            feederWithDuplex = i;
        }
        if (!feeder && !duplex && found.other < 0) {
            found.other = i;
        }
    }
    if (found.feeder < 0) {
        found.feeder = feederWithDuplex;
    }
    return found;
}

ModeKind classifyMode(const std::string& mode)
{
    if (containsWord(mode, "Lineart") || containsWord(mode, "Binary") ||
        containsWord(mode, "Black & White")) {
        return ModeKind::Lineart;
    }
    if (containsWord(mode, "Gray") || containsWord(mode, "Grey")) {
        return ModeKind::Grey;
    }
    if (containsWord(mode, "Color") || containsWord(mode, "Colour")) {
        return ModeKind::Colour;
    }
    return ModeKind::Other;
}

int findMode(const std::vector<std::string>& modes, ModeKind kind)
{
    for (int i = 0; i < static_cast<int>(modes.size()); ++i) {
        if (classifyMode(modes[static_cast<std::size_t>(i)]) == kind) {
            return i;
        }
    }
    return -1;
}

double nearestAllowed(double wanted, const NumericConstraint& constraint)
{
    switch (constraint.kind) {
        case NumericConstraint::Kind::Range: {
            double value = std::clamp(wanted, constraint.min, constraint.max);
            if (constraint.quant > 0.0) {
                const double steps = std::floor((value - constraint.min) / constraint.quant);
                const double below = constraint.min + steps * constraint.quant;
                const double above = below + constraint.quant;
                value = (above <= constraint.max && above - value < value - below) ? above : below;
            }
            return value;
        }
        case NumericConstraint::Kind::List: {
            if (constraint.values.empty()) {
                return wanted;
            }
            double best = constraint.values.front();
            for (double v : constraint.values) {
                const double distance = std::fabs(v - wanted);
                const double bestDistance = std::fabs(best - wanted);
                if (distance < bestDistance || (distance == bestDistance && v < best)) {
                    best = v;
                }
            }
            return best;
        }
        default:
            return wanted;
    }
}

AreaValues paperArea(const std::string& paperSize, const AreaRanges& ranges)
{
    constexpr double A4WidthMm = 210.0;
    constexpr double A4HeightMm = 297.0;
    const bool a4 = paperSize == PaperSizeA4;
    AreaValues values;
    auto origin = [](const std::optional<NumericConstraint>& range) -> std::optional<double> {
        if (!range) {
            return std::nullopt;
        }
        return nearestAllowed(lowest(*range), *range);
    };
    auto extent =
        [&](const std::optional<NumericConstraint>& range, std::optional<double> start, double size) {
            if (!range) {
                return std::optional<double>();
            }
            const double full = highest(*range, start.value_or(0.0) + size);
            return std::optional<double>(
                nearestAllowed(a4 ? std::min(start.value_or(0.0) + size, full) : full, *range));
        };
    values.tlX = origin(ranges.tlX);
    values.tlY = origin(ranges.tlY);
    values.brX = extent(ranges.brX, values.tlX, A4WidthMm);
    values.brY = extent(ranges.brY, values.tlY, A4HeightMm);
    values.pageWidth = extent(ranges.pageWidth, std::nullopt, A4WidthMm);
    values.pageHeight = extent(ranges.pageHeight, std::nullopt, A4HeightMm);
    return values;
}

} // namespace folvex
