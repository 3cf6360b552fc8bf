#include "twain/sane_options.h"

#include "twain/sane_option_rules.h"
#include "twain/scanner_library.h"

#include <sane/saneopts.h>

#include <algorithm>
#include <cmath>
#include <cstring>

namespace folvex {

namespace {

bool settable(const Option& option)
{
    return option && SANE_OPTION_IS_ACTIVE(option.descriptor->cap) &&
           SANE_OPTION_IS_SETTABLE(option.descriptor->cap);
}

bool isNumber(const Option& option)
{
    return option &&
           (option.descriptor->type == SANE_TYPE_INT || option.descriptor->type == SANE_TYPE_FIXED) &&
           option.descriptor->size == static_cast<SANE_Int>(sizeof(SANE_Word));
}

double fromWord(const Option& option, SANE_Word word)
{
    return option.descriptor->type == SANE_TYPE_FIXED ? SANE_UNFIX(word) : static_cast<double>(word);
}

SANE_Word toWord(const Option& option, double value)
{
    return option.descriptor->type == SANE_TYPE_FIXED ? SANE_FIX(value)
                                                      : static_cast<SANE_Word>(std::lround(value));
}

NumericConstraint numericConstraint(const Option& option)
{
    NumericConstraint c;
    const SANE_Option_Descriptor* d = option.descriptor;
    if (d->constraint_type == SANE_CONSTRAINT_RANGE && d->constraint.range != nullptr) {
        c.kind = NumericConstraint::Kind::Range;
        c.min = fromWord(option, d->constraint.range->min);
        c.max = fromWord(option, d->constraint.range->max);
        c.quant = fromWord(option, d->constraint.range->quant);
    } else if (d->constraint_type == SANE_CONSTRAINT_WORD_LIST && d->constraint.word_list != nullptr) {
        c.kind = NumericConstraint::Kind::List;
        const SANE_Word count = d->constraint.word_list[0];
        for (SANE_Word i = 1; i <= count; ++i) {
            c.values.push_back(fromWord(option, d->constraint.word_list[i]));
        }
    }
    return c;
}

std::optional<double> getNumber(SANE_Handle handle, const Option& option)
{
    if (!isNumber(option) || !SANE_OPTION_IS_ACTIVE(option.descriptor->cap)) {
        return std::nullopt;
    }
    SANE_Word word = 0;
    if (sane_control_option(handle, option.index, SANE_ACTION_GET_VALUE, &word, nullptr) !=
        SANE_STATUS_GOOD) {
        return std::nullopt;
    }
    return fromWord(option, word);
}

bool setBool(SANE_Handle handle, const Option& option, bool on)
{
    if (!settable(option) || option.descriptor->type != SANE_TYPE_BOOL) {
        return false;
    }
    SANE_Bool value = on ? SANE_TRUE : SANE_FALSE;
    return sane_control_option(handle, option.index, SANE_ACTION_SET_VALUE, &value, nullptr) ==
           SANE_STATUS_GOOD;
}

} // namespace

Option findOption(SANE_Handle handle, const char* name)
{
    SANE_Int count = 0;
    if (sane_get_option_descriptor(handle, 0) == nullptr ||
        sane_control_option(handle, 0, SANE_ACTION_GET_VALUE, &count, nullptr) != SANE_STATUS_GOOD) {
        return {};
    }
    for (int i = 1; i < count; ++i) {
        const SANE_Option_Descriptor* d = sane_get_option_descriptor(handle, i);
        if (d != nullptr && d->name != nullptr && std::strcmp(d->name, name) == 0) {
            return {i, d};
        }
    }
    return {};
}

std::vector<std::string> stringEntries(const Option& option)
{
    std::vector<std::string> entries;
    if (option && option.descriptor->type == SANE_TYPE_STRING &&
        option.descriptor->constraint_type == SANE_CONSTRAINT_STRING_LIST) {
        for (const SANE_String_Const* s = option.descriptor->constraint.string_list;
             s != nullptr && *s != nullptr;
             ++s) {
            entries.emplace_back(*s);
        }
    }
    return entries;
}

std::optional<std::string> getString(SANE_Handle handle, const Option& option)
{
    if (!option || option.descriptor->type != SANE_TYPE_STRING || option.descriptor->size <= 0 ||
        !SANE_OPTION_IS_ACTIVE(option.descriptor->cap)) {
        return std::nullopt;
    }
    std::vector<char> buffer(static_cast<std::size_t>(option.descriptor->size) + 1, '\0');
    if (sane_control_option(handle, option.index, SANE_ACTION_GET_VALUE, buffer.data(), nullptr) !=
        SANE_STATUS_GOOD) {
        return std::nullopt;
    }
    return std::string(buffer.data());
}

bool setString(SANE_Handle handle, const Option& option, const std::string& value)
{
    if (!settable(option) || option.descriptor->type != SANE_TYPE_STRING ||
        value.size() + 1 > static_cast<std::size_t>(option.descriptor->size)) {
        return false;
    }
    std::vector<char> buffer(static_cast<std::size_t>(option.descriptor->size), '\0');
    std::memcpy(buffer.data(), value.data(), value.size());
    return sane_control_option(handle, option.index, SANE_ACTION_SET_VALUE, buffer.data(), nullptr) ==
           SANE_STATUS_GOOD;
}

bool setNumber(SANE_Handle handle, const Option& option, double wanted)
{
    if (!settable(option) || !isNumber(option)) {
        return false;
    }
    SANE_Word word = toWord(option, nearestAllowed(wanted, numericConstraint(option)));
    return sane_control_option(handle, option.index, SANE_ACTION_SET_VALUE, &word, nullptr) ==
           SANE_STATUS_GOOD;
}

bool currentSourceIsFeeder(SANE_Handle handle)
{
    const auto value = getString(handle, findOption(handle, SANE_NAME_SCAN_SOURCE));
    return value && (namesFeeder(*value) || namesDuplex(*value));
}

void configureMode(SANE_Handle handle, int pixelType)
{
    const Option mode = findOption(handle, SANE_NAME_SCAN_MODE);
    const Option depth = findOption(handle, SANE_NAME_BIT_DEPTH);
    const std::vector<std::string> modes = stringEntries(mode);
    auto selectMode = [&](ModeKind kind) {
        const int index = findMode(modes, kind);
        return index >= 0 && setString(handle, mode, modes[static_cast<std::size_t>(index)]);
    };
    auto depthAllows = [&](double bits) {
        if (!settable(depth) || !isNumber(depth)) {
            return false;
        }
        return nearestAllowed(bits, numericConstraint(depth)) == bits;
    };
    if (pixelType == static_cast<int>(ScanPixelType::BlackWhite)) {
        if (selectMode(ModeKind::Lineart)) {
            return;
        }
        selectMode(ModeKind::Grey);
        const Option depthNow = findOption(handle, SANE_NAME_BIT_DEPTH);
        (void)setNumber(handle, depthNow, depthAllows(1.0) ? 1.0 : 8.0);
        return;
    }
    selectMode(pixelType == static_cast<int>(ScanPixelType::Grey) ? ModeKind::Grey : ModeKind::Colour);
    (void)setNumber(handle, findOption(handle, SANE_NAME_BIT_DEPTH), 8.0);
}

double currentResolution(SANE_Handle handle)
{
    for (const char* name : {SANE_NAME_SCAN_RESOLUTION, SANE_NAME_SCAN_X_RESOLUTION}) {
        if (const auto value = getNumber(handle, findOption(handle, name))) {
            return *value;
        }
    }
    return 0.0;
}

std::optional<FrameFormat> frameFormat(SANE_Frame format)
{
    switch (format) {
        case SANE_FRAME_GRAY:
            return FrameFormat::Grey;
        case SANE_FRAME_RGB:
            return FrameFormat::Rgb;
        case SANE_FRAME_RED:
            return FrameFormat::Red;
        case SANE_FRAME_GREEN:
            return FrameFormat::Green;
        case SANE_FRAME_BLUE:
            return FrameFormat::Blue;
        default:
            return std::nullopt;
    }
}

bool deviceHasFeeder(SANE_Handle handle)
{
    const auto entries = stringEntries(findOption(handle, SANE_NAME_SCAN_SOURCE));
    return std::any_of(entries.begin(), entries.end(), namesFeeder);
}

bool deviceScansBothSides(SANE_Handle handle)
{
    const auto entries = stringEntries(findOption(handle, SANE_NAME_SCAN_SOURCE));
    if (std::any_of(entries.begin(), entries.end(), namesDuplex)) {
        return true;
    }
    const Option duplex = findOption(handle, "duplex");
    return duplex && duplex.descriptor->type == SANE_TYPE_BOOL;
}

bool selectFeeder(SANE_Handle handle, bool on)
{
    const Option option = findOption(handle, SANE_NAME_SCAN_SOURCE);
    const auto entries = stringEntries(option);
    const SourceEntries found = classifySourceEntries(entries);
    const int index = on ? found.feeder : found.other;
    return index >= 0 && setString(handle, option, entries[static_cast<std::size_t>(index)]);
}

bool selectBothSides(SANE_Handle handle, bool on)
{
    const Option duplex = findOption(handle, "duplex");
    if (duplex && duplex.descriptor->type == SANE_TYPE_BOOL) {
        return setBool(handle, duplex, on);
    }
    const Option option = findOption(handle, SANE_NAME_SCAN_SOURCE);
    const auto entries = stringEntries(option);
    const SourceEntries found = classifySourceEntries(entries);
    const auto current = getString(handle, option);
    if (!current || found.duplex < 0) {
        return false;
    }
    const bool feederOn = namesFeeder(*current) || namesDuplex(*current);
    if (on) {
        return feederOn && setString(handle, option, entries[static_cast<std::size_t>(found.duplex)]);
    }
    if (namesDuplex(*current) && found.feeder >= 0 && found.feeder != found.duplex) {
        return setString(handle, option, entries[static_cast<std::size_t>(found.feeder)]);
    }
    return true;
}

bool setDeviceResolution(SANE_Handle handle, double dpi)
{
    bool set = setNumber(handle, findOption(handle, SANE_NAME_SCAN_RESOLUTION), dpi);
    set = setNumber(handle, findOption(handle, SANE_NAME_SCAN_X_RESOLUTION), dpi) || set;
    set = setNumber(handle, findOption(handle, SANE_NAME_SCAN_Y_RESOLUTION), dpi) || set;
    return set;
}

bool setScanArea(SANE_Handle handle, const std::string& paperSize)
{
    auto rangeOf = [&](const char* name) -> std::optional<NumericConstraint> {
        const Option option = findOption(handle, name);
        if (!settable(option) || !isNumber(option) || option.descriptor->unit != SANE_UNIT_MM) {
            return std::nullopt;
        }
        return numericConstraint(option);
    };
    AreaRanges ranges;
    ranges.pageWidth = rangeOf("page-width");
    ranges.pageHeight = rangeOf("page-height");
    ranges.tlX = rangeOf(SANE_NAME_SCAN_TL_X);
    ranges.tlY = rangeOf(SANE_NAME_SCAN_TL_Y);
    ranges.brX = rangeOf(SANE_NAME_SCAN_BR_X);
    ranges.brY = rangeOf(SANE_NAME_SCAN_BR_Y);
    const AreaValues values = paperArea(paperSize, ranges);
    bool any = false;
    // The page size first: some devices bound the scan area by it.
    const std::pair<const char*, std::optional<double>> order[] = {
        {"page-width", values.pageWidth},
        {"page-height", values.pageHeight},
        {SANE_NAME_SCAN_TL_X, values.tlX},
        {SANE_NAME_SCAN_TL_Y, values.tlY},
        {SANE_NAME_SCAN_BR_X, values.brX},
        {SANE_NAME_SCAN_BR_Y, values.brY},
    };
    for (const auto& [name, value] : order) {
        if (value) {
            any = setNumber(handle, findOption(handle, name), *value) || any;
        }
    }
    return any;
}

} // namespace folvex
