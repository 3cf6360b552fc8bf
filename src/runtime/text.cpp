#include "runtime/text.h"

#include <array>

namespace folvex {

namespace {

// Code points of the bytes 0x80..0x9F; 0 where the code page leaves the byte unassigned.
constexpr std::array<char32_t, 32> Cp1252High = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

// Ranges with a simple one-to-one case mapping: [first, last], distance between the cases and
// whether the pairs alternate (upper even, lower odd) instead of lying a fixed distance apart.
struct CaseRange
{
    char32_t upperFirst;
    char32_t upperLast;
    int distance;
    bool alternating;
};

constexpr CaseRange CaseRanges[] = {
    {0x0041, 0x005A, 32, false},                            // Basic Latin
    {0x00C0, 0x00D6, 32, false},                            // Latin-1
    {0x00D8, 0x00DE, 32, false}, {0x0100, 0x012F, 1, true}, // Latin Extended-A
    {0x0132, 0x0137, 1, true},   {0x0139, 0x0148, 1, true},   {0x014A, 0x0177, 1, true},
    {0x0179, 0x017E, 1, true},   {0x0391, 0x03A1, 32, false}, // Greek
    {0x03A3, 0x03AB, 32, false}, {0x0410, 0x042F, 32, false}, // Cyrillic
    {0x0400, 0x040F, 80, false}, {0x0460, 0x0481, 1, true},   {0x048A, 0x04BF, 1, true},
    {0x04D0, 0x052F, 1, true},   {0x0531, 0x0556, 48, false}, // Armenian
    {0x1E00, 0x1E95, 1, true},                                // Latin Extended Additional
    {0x1EA0, 0x1EFF, 1, true},   {0xFF21, 0xFF3A, 32, false}, // full-width Latin
};

bool isContinuation(unsigned char byte)
{
    return (byte & 0xC0) == 0x80;
}

} // namespace

std::optional<char32_t> decodeUtf8(std::string_view text, std::size_t& pos)
{
    const auto first = static_cast<unsigned char>(text[pos]);
    if (first < 0x80) {
        ++pos;
        return first;
    }
    int length = 0;
    char32_t codePoint = 0;
    char32_t minimum = 0;
    if ((first & 0xE0) == 0xC0) {
        length = 2;
        codePoint = first & 0x1F;
        minimum = 0x80;
    } else if ((first & 0xF0) == 0xE0) {
        length = 3;
        codePoint = first & 0x0F;
        minimum = 0x800;
    } else if ((first & 0xF8) == 0xF0) {
        length = 4;
        codePoint = first & 0x07;
        minimum = 0x10000;
    } else {
        ++pos;
        return std::nullopt;
    }
    if (pos + static_cast<std::size_t>(length) > text.size()) {
        ++pos;
        return std::nullopt;
    }
    for (int i = 1; i < length; ++i) {
        const auto byte = static_cast<unsigned char>(text[pos + static_cast<std::size_t>(i)]);
        if (!isContinuation(byte)) {
            ++pos;
            return std::nullopt;
        }
        codePoint = (codePoint << 6) | (byte & 0x3F);
    }
    if (codePoint < minimum || codePoint > 0x10FFFF || (codePoint >= 0xD800 && codePoint <= 0xDFFF)) {
        ++pos;
        return std::nullopt;
    }
    pos += static_cast<std::size_t>(length);
    return codePoint;
}

void appendUtf8(std::string& out, char32_t codePoint)
{
    if (codePoint > 0x10FFFF || (codePoint >= 0xD800 && codePoint <= 0xDFFF)) {
        codePoint = ReplacementCharacter;
    }
    if (codePoint < 0x80) {
        out += static_cast<char>(codePoint);
    } else if (codePoint < 0x800) {
        out += static_cast<char>(0xC0 | (codePoint >> 6));
        out += static_cast<char>(0x80 | (codePoint & 0x3F));
    } else if (codePoint < 0x10000) {
        out += static_cast<char>(0xE0 | (codePoint >> 12));
        out += static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (codePoint & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (codePoint >> 18));
        out += static_cast<char>(0x80 | ((codePoint >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (codePoint & 0x3F));
    }
}

bool isValidUtf8(std::string_view text)
{
    std::size_t pos = 0;
    while (pos < text.size()) {
        if (!decodeUtf8(text, pos)) {
            return false;
        }
    }
    return true;
}

std::optional<std::uint8_t> unicodeToCp1252(char32_t codePoint)
{
    if (codePoint < 0x80 || (codePoint >= 0xA0 && codePoint <= 0xFF)) {
        return static_cast<std::uint8_t>(codePoint);
    }
    for (std::size_t i = 0; i < Cp1252High.size(); ++i) {
        if (Cp1252High[i] != 0 && Cp1252High[i] == codePoint) {
            return static_cast<std::uint8_t>(0x80 + i);
        }
    }
    // The unassigned bytes round-trip as the C1 controls they were read as.
    if (codePoint >= 0x80 && codePoint < 0xA0 && Cp1252High[codePoint - 0x80] == 0) {
        return static_cast<std::uint8_t>(codePoint);
    }
    return std::nullopt;
}

char32_t cp1252ToUnicode(std::uint8_t byte)
{
    if (byte >= 0x80 && byte < 0xA0 && Cp1252High[byte - 0x80] != 0) {
        return Cp1252High[byte - 0x80];
    }
    return byte;
}

std::string utf8ToCp1252(std::string_view utf8, char replacement)
{
    std::string out;
    out.reserve(utf8.size());
    std::size_t pos = 0;
    while (pos < utf8.size()) {
        const auto codePoint = decodeUtf8(utf8, pos);
        const auto byte = codePoint ? unicodeToCp1252(*codePoint) : std::nullopt;
        out += byte ? static_cast<char>(*byte) : replacement;
    }
    return out;
}

std::string cp1252ToUtf8(std::string_view bytes)
{
    std::string out;
    out.reserve(bytes.size());
    for (const char byte : bytes) {
        appendUtf8(out, cp1252ToUnicode(static_cast<std::uint8_t>(byte)));
    }
    return out;
}

std::string utf8OrCp1252ToUtf8(std::string_view bytes)
{
    std::string out;
    out.reserve(bytes.size());
    std::size_t pos = 0;
    while (pos < bytes.size()) {
        // Runs of plain ASCII, nearly all of a settings file, are copied whole.
        std::size_t end = pos;
        while (end < bytes.size() && static_cast<unsigned char>(bytes[end]) < 0x80) {
            ++end;
        }
        out.append(bytes.substr(pos, end - pos));
        pos = end;
        if (pos == bytes.size()) {
            break;
        }
        const std::size_t start = pos;
        if (decodeUtf8(bytes, pos)) {
            out.append(bytes.substr(start, pos - start));
        } else {
            pos = start + 1;
            appendUtf8(out, cp1252ToUnicode(static_cast<std::uint8_t>(bytes[start])));
        }
    }
    return out;
}

char32_t upperCaseChar(char32_t c)
{
    if (c == 0x00FF) {
        return 0x0178;
    }
    if (c == 0x00B5 || c == 0x00DF) {
        return c;
    }
    for (const CaseRange& range : CaseRanges) {
        if (range.alternating) {
            if (c >= range.upperFirst && c <= range.upperLast && (c - range.upperFirst) % 2 == 1) {
                return c - 1;
            }
        } else {
            const char32_t lowerFirst = range.upperFirst + static_cast<char32_t>(range.distance);
            const char32_t lowerLast = range.upperLast + static_cast<char32_t>(range.distance);
            if (c >= lowerFirst && c <= lowerLast) {
                return c - static_cast<char32_t>(range.distance);
            }
        }
    }
    return c;
}

char32_t lowerCaseChar(char32_t c)
{
    if (c == 0x0178) {
        return 0x00FF;
    }
    for (const CaseRange& range : CaseRanges) {
        if (c < range.upperFirst || c > range.upperLast) {
            continue;
        }
        if (range.alternating) {
            if ((c - range.upperFirst) % 2 == 0) {
                return c + 1;
            }
        } else {
            return c + static_cast<char32_t>(range.distance);
        }
    }
    return c;
}

namespace {

template <typename Map>
std::string mapCharacters(std::string_view utf8, Map map)
{
    std::string out;
    out.reserve(utf8.size());
    std::size_t pos = 0;
    while (pos < utf8.size()) {
        const std::size_t start = pos;
        const auto codePoint = decodeUtf8(utf8, pos);
        if (codePoint) {
            appendUtf8(out, map(*codePoint));
        } else {
            out.append(utf8.substr(start, pos - start));
        }
    }
    return out;
}

} // namespace

std::string upperCase(std::string_view utf8)
{
    return mapCharacters(utf8, upperCaseChar);
}

std::string lowerCase(std::string_view utf8)
{
    return mapCharacters(utf8, lowerCaseChar);
}

std::string lowerAscii(std::string_view text)
{
    std::string lower(text);
    for (char& c : lower) {
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
    }
    return lower;
}

std::string_view trimBlanks(std::string_view text)
{
    const std::size_t first = text.find_first_not_of(' ');
    if (first == std::string_view::npos) {
        return {};
    }
    return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

std::string_view fileNamePart(std::string_view path)
{
    const std::size_t slash = path.rfind('/');
    return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

} // namespace folvex
