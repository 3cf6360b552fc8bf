// Number and string formatting of the PDF writer: numbers with "." in any locale, escaping for page
// contents, text strings for dictionaries, hexadecimal decoding.
#include "pdf/pdf_writer_internal.h"
#include "runtime/text.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <optional>

namespace folvex {

namespace {

// Characters of PDFDocEncoding that differ from their Unicode code point: bytes 18..1F, 80..9E and A0.
struct DocEncodingCode
{
    char32_t codePoint;
    std::uint8_t byte;
};

constexpr std::array<DocEncodingCode, 40> DocEncodingSpecials = {{
    {0x02D8, 0x18}, {0x02C7, 0x19}, {0x02C6, 0x1A}, {0x02D9, 0x1B}, {0x02DD, 0x1C}, {0x02DB, 0x1D},
    {0x02DA, 0x1E}, {0x02DC, 0x1F}, {0x2022, 0x80}, {0x2020, 0x81}, {0x2021, 0x82}, {0x2026, 0x83},
    {0x2014, 0x84}, {0x2013, 0x85}, {0x0192, 0x86}, {0x2044, 0x87}, {0x2039, 0x88}, {0x203A, 0x89},
    {0x2212, 0x8A}, {0x2030, 0x8B}, {0x201E, 0x8C}, {0x201C, 0x8D}, {0x201D, 0x8E}, {0x2018, 0x8F},
    {0x2019, 0x90}, {0x201A, 0x91}, {0x2122, 0x92}, {0xFB01, 0x93}, {0xFB02, 0x94}, {0x0141, 0x95},
    {0x0152, 0x96}, {0x0160, 0x97}, {0x0178, 0x98}, {0x017D, 0x99}, {0x0131, 0x9A}, {0x0142, 0x9B},
    {0x0153, 0x9C}, {0x0161, 0x9D}, {0x017E, 0x9E}, {0x20AC, 0xA0},
}};

} // namespace

std::optional<std::uint8_t> pdfDocEncodingByte(char32_t code)
{
    if (code == 0x09 || code == 0x0A || code == 0x0D || (code >= 0x20 && code <= 0x7E) ||
        (code >= 0xA1 && code <= 0xFF && code != 0xAD)) {
        return static_cast<std::uint8_t>(code);
    }
    for (const DocEncodingCode& special : DocEncodingSpecials) {
        if (special.codePoint == code) {
            return special.byte;
        }
    }
    return std::nullopt;
}

namespace {

int hexDigit(char c)
{
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

// A pair of hexadecimal digits; a pair that is not hexadecimal gives its leading valid digit (or 0).
std::uint8_t hexPair(char high, char low)
{
    const int first = hexDigit(high);
    if (first < 0) {
        return 0;
    }
    const int second = hexDigit(low);
    return static_cast<std::uint8_t>(second < 0 ? first : first * 16 + second);
}

void appendOctal(std::string& out, unsigned value)
{
    out.push_back('\\');
    out.push_back(static_cast<char>('0' + ((value >> 6) & 7)));
    out.push_back(static_cast<char>('0' + ((value >> 3) & 7)));
    out.push_back(static_cast<char>('0' + (value & 7)));
}

// The backslash escape of a control character or delimiter, or 0.
char escapeLetter(char32_t code)
{
    switch (code) {
        case 8:
            return 'b';
        case 9:
            return 't';
        case 10:
            return 'n';
        case 12:
            return 'f';
        case 13:
            return 'r';
        case '\\':
            return '\\';
        case '(':
            return '(';
        case ')':
            return ')';
        default:
            return 0;
    }
}

} // namespace

std::string PdfNumber(float value, std::int32_t decimals)
{
    const int digits = std::clamp(decimals, 0, 20);
    const double number = std::isfinite(value) ? static_cast<double>(value) : 0.0;
    std::array<char, 80> buffer{};
    const auto result =
        std::to_chars(buffer.data(), buffer.data() + buffer.size(), number, std::chars_format::fixed, digits);
    std::string text(buffer.data(), result.ptr);
    if (text.front() == '-' && text.find_first_not_of("-0.") == std::string::npos) {
        text.erase(0, 1); // no "-0.00"
    }
    const PdfDocument* document = currentPdfDocument();
    if (document != nullptr && !document->decimalSeparator.empty() && document->decimalSeparator != ".") {
        std::size_t position = 0;
        while ((position = text.find(document->decimalSeparator, position)) != std::string::npos) {
            text.replace(position, document->decimalSeparator.size(), ".");
            ++position;
        }
    }
    return text;
}

std::string PdfEscapeText(std::string_view text)
{
    std::string out;
    out.reserve(text.size() + 8);
    std::size_t pos = 0;
    while (pos < text.size()) {
        const std::size_t start = pos;
        const std::optional<char32_t> code = decodeUtf8(text, pos);
        if (!code) {
            appendUtf8(out, ReplacementCharacter);
        } else if (const char letter = escapeLetter(*code); letter != 0) {
            out.push_back('\\');
            out.push_back(letter);
        } else if (*code >= 128 && *code <= 255) {
            appendOctal(out, static_cast<unsigned>(*code));
        } else {
            out.append(text.substr(start, pos - start));
        }
    }
    return out;
}

std::int64_t PdfOctal(std::int32_t value)
{
    std::int64_t result = 0;
    std::int64_t place = 1;
    std::int64_t rest = value;
    while (rest != 0) {
        result += (rest % 8) * place;
        rest /= 8;
        place *= 10;
    }
    return result;
}

void PdfHexToBuffer(
    std::string_view hex, std::string_view prefix, std::string_view suffix, PdfMemoryBlock& block)
{
    std::string bytes = utf8ToCp1252(prefix);
    bytes.reserve(bytes.size() + hex.size() / 2 + suffix.size());
    for (std::size_t i = 0; i + 1 < hex.size(); i += 2) {
        bytes.push_back(static_cast<char>(hexPair(hex[i], hex[i + 1])));
    }
    bytes += utf8ToCp1252(suffix);
    block.data = std::move(bytes);
}

std::string encodeTextString(std::string_view utf8)
{
    std::string bytes;
    bytes.reserve(utf8.size());
    std::size_t pos = 0;
    bool representable = true;
    while (pos < utf8.size() && representable) {
        const std::optional<std::uint8_t> byte =
            pdfDocEncodingByte(decodeUtf8(utf8, pos).value_or(ReplacementCharacter));
        if (byte) {
            bytes.push_back(static_cast<char>(*byte));
        } else {
            representable = false;
        }
    }
    // Bytes that begin like a UTF-16 or UTF-8 byte-order mark would be read as that encoding.
    const bool looksMarked = bytes.starts_with("\xFE\xFF") || bytes.starts_with("\xEF\xBB\xBF");
    if (representable && !looksMarked) {
        return bytes;
    }
    std::string wide = "\xFE\xFF";
    appendUtf16Be(wide, utf8);
    return wide;
}

void appendUtf16Be(std::string& out, std::string_view utf8)
{
    auto unit = [&out](std::uint32_t value) {
        out.push_back(static_cast<char>((value >> 8) & 0xFF));
        out.push_back(static_cast<char>(value & 0xFF));
    };
    std::size_t pos = 0;
    while (pos < utf8.size()) {
        const char32_t code = decodeUtf8(utf8, pos).value_or(ReplacementCharacter);
        if (code >= 0x10000) {
            unit(0xD800 + ((code - 0x10000) >> 10));
            unit(0xDC00 + ((code - 0x10000) & 0x3FF));
        } else {
            unit(code);
        }
    }
}

std::string escapeStringBytes(std::string_view bytes)
{
    std::string out;
    out.reserve(bytes.size() + 8);
    for (const char c : bytes) {
        const auto byte = static_cast<std::uint8_t>(c);
        if (const char letter = escapeLetter(byte); letter != 0) {
            out.push_back('\\');
            out.push_back(letter);
        } else if (byte < 0x20 || byte >= 0x7F) {
            appendOctal(out, byte);
        } else {
            out.push_back(c);
        }
    }
    return out;
}

} // namespace folvex
