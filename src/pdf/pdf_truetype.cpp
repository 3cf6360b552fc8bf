// Reading TrueType fonts: finding an installed font with fontconfig (a collection member is copied out
// as a font of its own), and parsing the tables the writer needs (name, head, OS/2, post, cmap, hhea,
// hmtx). Every read is checked against the data, so a damaged font is refused and never read past.
#include "pdf/pdf_writer_internal.h"
#include "runtime/safe_file.h"
#include "runtime/text.h"

#include <cmath>
#include <fontconfig/fontconfig.h>
#include <map>
#include <memory>
#include <sys/stat.h>

namespace folvex {

namespace {

constexpr std::uint32_t TrueTypeVersion = 0x00010000;
constexpr std::uint32_t CollectionTag = 0x74746366; // "ttcf"
constexpr std::size_t GlyphMapBytes = 65536 * 2;

// A read past the end of the font.
struct BadFont
{};

class FontReader
{
public:
    explicit FontReader(std::string_view data)
        : m_data(data)
    {}

    std::uint8_t u8(std::size_t offset) const
    {
        check(offset, 1);
        return static_cast<std::uint8_t>(m_data[offset]);
    }

    std::uint16_t u16(std::size_t offset) const
    {
        check(offset, 2);
        return static_cast<std::uint16_t>(u8(offset) << 8 | u8(offset + 1));
    }

    std::int16_t s16(std::size_t offset) const { return ReadInt16(u16(offset), 0); }

    std::uint32_t u32(std::size_t offset) const
    {
        check(offset, 4);
        return static_cast<std::uint32_t>(u16(offset)) << 16 | u16(offset + 2);
    }

    std::string_view bytes(std::size_t offset, std::size_t size) const
    {
        check(offset, size);
        return m_data.substr(offset, size);
    }

    std::size_t size() const { return m_data.size(); }

private:
    void check(std::size_t offset, std::size_t size) const
    {
        if (offset > m_data.size() || size > m_data.size() - offset) {
            throw BadFont{};
        }
    }

    std::string_view m_data;
};

struct Table
{
    std::size_t offset = 0;
    std::size_t length = 0;
};

std::int32_t scaled(std::int32_t value, std::int32_t unitsPerEm)
{
    return static_cast<std::int32_t>(std::lround(static_cast<double>(value) * 1000.0 / unitsPerEm));
}

std::string upperHex(std::uint32_t value)
{
    static constexpr char Digits[] = "0123456789ABCDEF";
    std::string text;
    do {
        text.insert(text.begin(), Digits[value & 15]);
        value >>= 4;
    } while (value != 0);
    return text;
}

// The collection member at index as a font file of its own: its table directory followed by its
// tables, each at a new offset.
std::optional<std::string> collectionMember(const std::string& data, int index)
{
    try {
        const FontReader font(data);
        if (font.u32(0) != CollectionTag || index < 0 || static_cast<std::uint32_t>(index) >= font.u32(8)) {
            return std::nullopt;
        }
        const std::size_t directory = font.u32(12 + 4 * static_cast<std::size_t>(index));
        const std::uint16_t count = font.u16(directory + 4);
        std::string out(font.bytes(directory, 12));
        std::size_t next = 12 + 16 * static_cast<std::size_t>(count);
        std::string body;
        for (std::uint16_t i = 0; i < count; ++i) {
            const std::size_t record = directory + 12 + 16 * static_cast<std::size_t>(i);
            std::string entry(font.bytes(record, 16));
            const std::string_view table = font.bytes(font.u32(record + 8), font.u32(record + 12));
            const auto offset = static_cast<std::uint32_t>(next + body.size());
            for (int b = 0; b < 4; ++b) {
                entry[8 + static_cast<std::size_t>(b)] = static_cast<char>((offset >> (24 - 8 * b)) & 0xFF);
            }
            out += entry;
            body += table;
            body.append((4 - body.size() % 4) % 4, '\0');
        }
        return out + body;
    } catch (const BadFont&) {
        return std::nullopt;
    }
}

bool fileExists(const std::string& path)
{
    struct stat status
    {};

    return ::stat(path.c_str(), &status) == 0 && S_ISREG(status.st_mode) && status.st_size > 0;
}

std::map<std::string, Table> tableDirectory(const FontReader& font)
{
    std::map<std::string, Table> tables;
    const std::uint16_t count = font.u16(4);
    for (std::uint16_t i = 0; i < count; ++i) {
        const std::size_t record = 12 + 16 * static_cast<std::size_t>(i);
        const std::string tag(font.bytes(record, 4));
        const Table table{font.u32(record + 8), font.u32(record + 12)};
        font.bytes(table.offset, table.length); // the table lies inside the font
        tables.try_emplace(tag, table);
    }
    return tables;
}

void readNames(const FontReader& font, const Table& table, PdfTrueTypeInfo& info)
{
    const std::size_t count = font.u16(table.offset + 2);
    const std::size_t strings = table.offset + font.u16(table.offset + 4);
    std::string postScriptName;
    std::string fullName;
    for (std::size_t i = 0; i < count; ++i) {
        const std::size_t record = table.offset + 6 + 12 * i;
        const std::uint16_t platform = font.u16(record);
        const std::uint16_t language = font.u16(record + 4);
        const std::uint16_t nameId = font.u16(record + 6);
        const std::uint16_t length = font.u16(record + 8);
        const std::uint16_t offset = font.u16(record + 10);
        if (platform != 3) {
            continue;
        }
        const std::string_view bytes = font.bytes(strings + offset, length);
        if (nameId == 6) {
            postScriptName = ReadUTF16BEString(bytes.data(), length);
        } else if (nameId == 4 && language == 0x409) {
            fullName = ReadUTF16BEString(bytes.data(), length);
        }
    }
    info.name = postScriptName.empty() ? fullName : postScriptName;
}

// The format-4 subtable at offset: the glyph of every code of the basic plane.
void readCharacterMap(const FontReader& font, std::size_t offset, std::vector<std::uint16_t>& glyphs)
{
    if (font.u16(offset) != 4) {
        return;
    }
    const std::size_t segments = font.u16(offset + 6) / 2;
    const std::size_t ends = offset + 14;
    const std::size_t starts = ends + 2 * segments + 2;
    const std::size_t deltas = starts + 2 * segments;
    const std::size_t rangeOffsets = deltas + 2 * segments;
    for (std::size_t s = 0; s < segments; ++s) {
        const std::uint32_t end = font.u16(ends + 2 * s);
        const std::uint32_t start = font.u16(starts + 2 * s);
        const std::uint16_t delta = font.u16(deltas + 2 * s);
        const std::size_t rangeAt = rangeOffsets + 2 * s;
        const std::uint16_t rangeOffset = font.u16(rangeAt);
        const std::uint32_t first = s == 0 ? 0 : font.u16(ends + 2 * (s - 1)) + 1u;
        for (std::uint32_t code = std::max(start, first); code <= end && code <= 0xFFFF; ++code) {
            std::uint16_t glyph = 0;
            if (rangeOffset == 0) {
                glyph = static_cast<std::uint16_t>(code + delta);
            } else {
                const std::uint16_t raw = font.u16(rangeAt + rangeOffset + 2 * (code - start));
                glyph = raw == 0 ? 0 : static_cast<std::uint16_t>(raw + delta);
            }
            if (glyphs[code] == 0) {
                glyphs[code] = glyph;
            }
        }
    }
}

void parseFont(const FontReader& font, PdfTrueTypeInfo& info)
{
    const std::map<std::string, Table> tables = tableDirectory(font);
    const auto table = [&tables](const char* tag) -> const Table* {
        const auto found = tables.find(tag);
        return found == tables.end() ? nullptr : &found->second;
    };
    if (const Table* name = table("name")) {
        readNames(font, *name, info);
    }
    info.unitsPerEm = 1000;
    if (const Table* head = table("head")) {
        const std::uint16_t units = font.u16(head->offset + 18);
        if (units == 0) {
            throw BadFont{};
        }
        info.unitsPerEm = units;
        info.xMin = static_cast<std::int16_t>(scaled(font.s16(head->offset + 36), units));
        info.yMin = static_cast<std::int16_t>(scaled(font.s16(head->offset + 38), units));
        info.xMax = static_cast<std::int16_t>(scaled(font.s16(head->offset + 40), units));
        info.yMax = static_cast<std::int16_t>(scaled(font.s16(head->offset + 42), units));
        info.italicStyle = (font.u16(head->offset + 44) & 2) != 0;
    }
    const std::int32_t units = info.unitsPerEm;
    if (const Table* os2 = table("OS/2")) {
        info.embeddingPermissions = font.u16(os2->offset + 8);
        info.ascent = scaled(font.s16(os2->offset + 68), units);
        info.descent = scaled(font.s16(os2->offset + 70), units);
        info.capHeight = font.u16(os2->offset) >= 2 ? scaled(font.s16(os2->offset + 88), units) : info.ascent;
    }
    if (const Table* post = table("post")) {
        info.italicAngle = static_cast<float>(font.s16(post->offset + 4)) +
                           static_cast<float>(font.u16(post->offset + 6)) / 65536.0f;
        info.fixedPitch = font.u32(post->offset + 12) != 0;
    }
    std::vector<std::uint16_t> glyphs(65536, 0);
    bool mapped = false;
    if (const Table* cmap = table("cmap")) {
        const std::uint16_t count = font.u16(cmap->offset + 2);
        for (std::uint16_t i = 0; i < count && !mapped; ++i) {
            const std::size_t record = cmap->offset + 4 + 8 * static_cast<std::size_t>(i);
            const std::uint16_t encoding = font.u16(record + 2);
            if (font.u16(record) == 3 && encoding <= 1) {
                info.encodingId = encoding;
                readCharacterMap(font, cmap->offset + font.u32(record + 4), glyphs);
                mapped = true;
            }
        }
    }
    if (!mapped) {
        return;
    }
    info.glyphMap.resize(GlyphMapBytes);
    for (std::size_t code = 0; code < glyphs.size(); ++code) {
        info.glyphMap[2 * code] = static_cast<char>(glyphs[code] >> 8);
        info.glyphMap[2 * code + 1] = static_cast<char>(glyphs[code] & 0xFF);
    }
    const Table* hhea = table("hhea");
    const Table* hmtx = table("hmtx");
    if (hhea == nullptr || hmtx == nullptr) {
        return;
    }
    const std::size_t metrics = font.u16(hhea->offset + 34);
    if (metrics == 0 || metrics * 4 > hmtx->length) {
        throw BadFont{};
    }
    const auto advance = [&](std::size_t glyph) {
        return font.u16(hmtx->offset + 4 * std::min(glyph, metrics - 1));
    };
    info.missingWidth = scaled(advance(0), units);
    for (std::size_t code = 0; code < glyphs.size(); ++code) {
        if (glyphs[code] > 0) {
            info.widths[static_cast<std::uint32_t>(code)] = scaled(advance(glyphs[code]), units);
        }
    }
}

} // namespace

std::int16_t ReadInt16(std::uint32_t value, std::int32_t swap)
{
    std::uint16_t low = static_cast<std::uint16_t>(value & 0xFFFF);
    if (swap != 0) {
        low = static_cast<std::uint16_t>((low >> 8) | (low << 8));
    }
    return static_cast<std::int16_t>(low);
}

std::string ReadUTF16BEString(const char* address, std::int32_t byteLength)
{
    std::string out;
    if (address == nullptr || byteLength < 2) {
        return out;
    }
    const auto unit = [address](std::int32_t i) {
        return static_cast<char32_t>(
            static_cast<std::uint8_t>(address[2 * i]) << 8 | static_cast<std::uint8_t>(address[2 * i + 1]));
    };
    const std::int32_t units = byteLength / 2;
    for (std::int32_t i = 0; i < units; ++i) {
        char32_t code = unit(i);
        if (code >= 0xD800 && code <= 0xDBFF && i + 1 < units && unit(i + 1) >= 0xDC00 &&
            unit(i + 1) <= 0xDFFF) {
            code = 0x10000 + ((code - 0xD800) << 10) + (unit(i + 1) - 0xDC00);
            ++i;
        } else if (code >= 0xD800 && code <= 0xDFFF) {
            code = ReplacementCharacter;
        }
        appendUtf8(out, code);
    }
    return out;
}

std::optional<std::string> loadInstalledFont(const std::string& family, const std::string& style)
{
    FcPattern* pattern = FcPatternCreate();
    if (pattern == nullptr) {
        return std::nullopt;
    }
    const std::unique_ptr<FcPattern, decltype(&FcPatternDestroy)> patternOwner(pattern, FcPatternDestroy);
    FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>(family.c_str()));
    FcPatternAddInteger(
        pattern, FC_WEIGHT, style.find('B') != std::string::npos ? FC_WEIGHT_BOLD : FC_WEIGHT_REGULAR);
    FcPatternAddInteger(
        pattern, FC_SLANT, style.find('I') != std::string::npos ? FC_SLANT_ITALIC : FC_SLANT_ROMAN);
    FcConfigSubstitute(nullptr, pattern, FcMatchPattern);
    FcDefaultSubstitute(pattern);
    FcResult result = FcResultNoMatch;
    FcPattern* match = FcFontMatch(nullptr, pattern, &result);
    if (match == nullptr) {
        return std::nullopt;
    }
    const std::unique_ptr<FcPattern, decltype(&FcPatternDestroy)> matchOwner(match, FcPatternDestroy);
    FcChar8* file = nullptr;
    int index = 0;
    if (FcPatternGetString(match, FC_FILE, 0, &file) != FcResultMatch || file == nullptr) {
        return std::nullopt;
    }
    FcPatternGetInteger(match, FC_INDEX, 0, &index);
    auto data = readWholeFile(reinterpret_cast<const char*>(file));
    if (!data) {
        return std::nullopt;
    }
    if (data.value().size() >= 4 && data.value().compare(0, 4, "ttcf") == 0) {
        return collectionMember(data.value(), index & 0xFFFF);
    }
    return std::move(data.value());
}

std::int32_t PdfParseTrueType(
    const std::string& font, const std::string& style, PdfTrueTypeInfo& info, std::int32_t system)
{
    PdfDocument* document = currentPdfDocument();
    info = PdfTrueTypeInfo{};
    std::optional<std::string> data;
    if (system != 0 || !fileExists(font)) {
        data = loadInstalledFont(font, style);
    }
    if (!data) {
        auto file = readWholeFile(font);
        if (!file) {
            if (document != nullptr) {
                setPdfError(*document, PdfError::FileNotRead);
            }
            return 0;
        }
        data = std::move(file.value());
    }
    try {
        const FontReader reader(*data);
        const std::uint32_t version = reader.u32(0);
        info.version = upperHex(version);
        if (version != TrueTypeVersion) {
            return 0;
        }
        parseFont(reader, info);
    } catch (const BadFont&) {
        if (document != nullptr) {
            setPdfError(*document, PdfError::FileNotRead);
        }
        info = PdfTrueTypeInfo{};
        return 0;
    }
    info.stemV = 70;
    info.fontData = std::move(*data);
    return 1;
}

} // namespace folvex
