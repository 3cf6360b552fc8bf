#include "scan/tiff_pages.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <fcntl.h>
#include <limits>
#include <stdio.h>
#include <unistd.h>
#include <vector>

namespace folvex {

namespace {

using Bytes = std::vector<std::uint8_t>;

constexpr std::uint16_t TagStripOffsets = 273;
constexpr std::uint16_t TagStripByteCounts = 279;
constexpr std::uint16_t TagTileOffsets = 324;
constexpr std::uint16_t TypeShort = 3;
constexpr std::uint16_t TypeLong = 4;
constexpr std::size_t EntrySize = 12;
constexpr std::uint64_t LargestOffset = std::numeric_limits<std::uint32_t>::max();

// Tags whose values point into the file somewhere else than the strips: they cannot be moved without
// knowing what they point at, and a page read for its pixels needs none of them.
bool isPointerTag(std::uint16_t tag)
{
    switch (tag) {
        case 288:   // FreeOffsets
        case 289:   // FreeByteCounts
        case 330:   // SubIFDs
        case 513:   // JPEGInterchangeFormat
        case 514:   // JPEGInterchangeFormatLength
        case 34665: // EXIF IFD
        case 34853: // GPS IFD
        case 40965: // interoperability IFD
            return true;
        default:
            return false;
    }
}

// Bytes per value of a TIFF field type; 0 for a type classic TIFF does not have.
std::uint32_t typeSize(std::uint16_t type)
{
    static constexpr std::array<std::uint32_t, 14> Sizes{0, 1, 1, 2, 4, 8, 1, 1, 2, 4, 8, 4, 8, 4};
    return type < Sizes.size() ? Sizes[type] : 0;
}

std::uint16_t get16(const Bytes& data, std::size_t pos)
{
    return static_cast<std::uint16_t>(data[pos] | (data[pos + 1] << 8));
}

std::uint32_t get32(const Bytes& data, std::size_t pos)
{
    return static_cast<std::uint32_t>(data[pos]) | (static_cast<std::uint32_t>(data[pos + 1]) << 8) |
           (static_cast<std::uint32_t>(data[pos + 2]) << 16) |
           (static_cast<std::uint32_t>(data[pos + 3]) << 24);
}

void put16(Bytes& out, std::uint16_t value)
{
    out.push_back(static_cast<std::uint8_t>(value));
    out.push_back(static_cast<std::uint8_t>(value >> 8));
}

void put32(Bytes& out, std::uint32_t value)
{
    for (int shift = 0; shift < 32; shift += 8) {
        out.push_back(static_cast<std::uint8_t>(value >> shift));
    }
}

std::array<std::uint8_t, 4> little32(std::uint32_t value)
{
    return {
        static_cast<std::uint8_t>(value),
        static_cast<std::uint8_t>(value >> 8),
        static_cast<std::uint8_t>(value >> 16),
        static_cast<std::uint8_t>(value >> 24)};
}

bool readWholeFile(const std::string& path, Bytes& data)
{
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) {
        return false;
    }
    bool ok = std::fseek(file, 0, SEEK_END) == 0;
    const long size = ok ? std::ftell(file) : -1;
    ok = ok && size >= 0 && std::fseek(file, 0, SEEK_SET) == 0;
    if (ok) {
        data.resize(static_cast<std::size_t>(size));
        ok = std::fread(data.data(), 1, data.size(), file) == data.size();
    }
    std::fclose(file);
    return ok;
}

// Creates path for writing only when nothing of that name exists, not even a link: the temporary
// folder may be shared, and a link planted there must not have its target overwritten.
std::FILE* createNewFile(const std::string& path)
{
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0) {
        return nullptr;
    }
    std::FILE* file = ::fdopen(fd, "wb");
    if (file == nullptr) {
        ::close(fd);
        ::unlink(path.c_str());
    }
    return file;
}

// One field of the page's first IFD with its value bytes.
struct Field
{
    std::uint16_t tag = 0;
    std::uint16_t type = 0;
    std::uint32_t count = 0;
    Bytes value;
};

// The fields of the first IFD of a little-endian classic TIFF; false when the data is not one or a
// value lies outside it.
bool readFirstDirectory(const Bytes& data, std::vector<Field>& fields)
{
    if (data.size() < 8 || data[0] != 'I' || data[1] != 'I' || get16(data, 2) != 42) {
        return false;
    }
    const std::uint64_t ifd = get32(data, 4);
    if (ifd + 2 > data.size()) {
        return false;
    }
    const std::uint16_t count = get16(data, ifd);
    if (ifd + 2 + std::uint64_t{count} * EntrySize > data.size()) {
        return false;
    }
    for (std::uint16_t i = 0; i < count; ++i) {
        const std::size_t entry = ifd + 2 + i * EntrySize;
        Field field;
        field.tag = get16(data, entry);
        field.type = get16(data, entry + 2);
        field.count = get32(data, entry + 4);
        const std::uint64_t size = std::uint64_t{typeSize(field.type)} * field.count;
        if (typeSize(field.type) == 0 || size > data.size()) {
            return false;
        }
        std::uint64_t at = entry + 8;
        if (size > 4) {
            at = get32(data, entry + 8);
            if (at + size > data.size()) {
                return false;
            }
        }
        field.value.assign(
            data.begin() + static_cast<std::ptrdiff_t>(at),
            data.begin() + static_cast<std::ptrdiff_t>(at + size));
        fields.push_back(std::move(field));
    }
    return true;
}

// The values of a SHORT or LONG field; empty for another type.
std::vector<std::uint32_t> unsignedValues(const Field& field)
{
    std::vector<std::uint32_t> values;
    for (std::uint32_t i = 0; i < field.count; ++i) {
        if (field.type == TypeShort) {
            values.push_back(get16(field.value, i * 2U));
        } else if (field.type == TypeLong) {
            values.push_back(get32(field.value, i * 4U));
        }
    }
    return values;
}

Field* findField(std::vector<Field>& fields, std::uint16_t tag)
{
    for (Field& field : fields) {
        if (field.tag == tag) {
            return &field;
        }
    }
    return nullptr;
}

void padToWord(Bytes& out)
{
    if (out.size() % 2 != 0) {
        out.push_back(0);
    }
}

// The page as it goes to the end of the joined file at base: its strips, the values that do not fit
// an entry, then its IFD (next offset 0). ifdAt is the IFD's offset in the joined file. False when the
// page is not in strips or its strips lie outside the data.
bool relocatePage(const Bytes& data, std::uint64_t base, Bytes& out, std::uint64_t& ifdAt)
{
    std::vector<Field> fields;
    if (!readFirstDirectory(data, fields) || findField(fields, TagTileOffsets) != nullptr) {
        return false;
    }
    Field* offsetsField = findField(fields, TagStripOffsets);
    const Field* countsField = findField(fields, TagStripByteCounts);
    if (offsetsField == nullptr || countsField == nullptr) {
        return false;
    }
    const std::vector<std::uint32_t> offsets = unsignedValues(*offsetsField);
    const std::vector<std::uint32_t> counts = unsignedValues(*countsField);
    if (offsets.empty() || offsets.size() != counts.size()) {
        return false;
    }

    std::vector<std::uint32_t> moved;
    for (std::size_t i = 0; i < offsets.size(); ++i) {
        if (std::uint64_t{offsets[i]} + counts[i] > data.size()) {
            return false;
        }
        moved.push_back(static_cast<std::uint32_t>(base + out.size()));
        out.insert(out.end(), data.begin() + offsets[i], data.begin() + offsets[i] + counts[i]);
    }
    offsetsField->type = TypeLong;
    offsetsField->value.clear();
    for (const std::uint32_t offset : moved) {
        put32(offsetsField->value, offset);
    }

    std::vector<const Field*> kept;
    std::vector<std::array<std::uint8_t, 4>> entryValues;
    for (const Field& field : fields) {
        if (isPointerTag(field.tag)) {
            continue;
        }
        std::array<std::uint8_t, 4> entryValue{};
        if (field.value.size() <= 4) {
            // A field of count 0 has no value bytes (and its vector no data to copy from).
            std::copy(field.value.begin(), field.value.end(), entryValue.begin());
        } else {
            padToWord(out);
            entryValue = little32(static_cast<std::uint32_t>(base + out.size()));
            out.insert(out.end(), field.value.begin(), field.value.end());
        }
        kept.push_back(&field);
        entryValues.push_back(entryValue);
    }
    padToWord(out);
    ifdAt = base + out.size();
    put16(out, static_cast<std::uint16_t>(kept.size()));
    for (std::size_t i = 0; i < kept.size(); ++i) {
        put16(out, kept[i]->tag);
        put16(out, kept[i]->type);
        put32(out, kept[i]->count);
        out.insert(out.end(), entryValues[i].begin(), entryValues[i].end());
    }
    put32(out, 0);
    return true;
}

// PackBits for one row: runs of 2 to 128 equal bytes as a count byte 257 - n and the byte, the bytes
// between them as literals of up to 128 (count byte n - 1, then the bytes).
void packBitsRow(const std::uint8_t* row, std::size_t size, Bytes& out)
{
    std::size_t i = 0;
    while (i < size) {
        // The long runs of a page's background are compared eight bytes at a time.
        std::size_t run = 1;
        const std::uint64_t repeated = row[i] * 0x0101010101010101ULL;
        while (i + run + 8 <= size && run + 8 <= 128) {
            std::uint64_t next = 0;
            std::memcpy(&next, row + i + run, sizeof next);
            if (next != repeated) {
                break;
            }
            run += 8;
        }
        while (i + run < size && run < 128 && row[i + run] == row[i]) {
            ++run;
        }
        if (run >= 2) {
            out.push_back(static_cast<std::uint8_t>(257 - run));
            out.push_back(row[i]);
            i += run;
            continue;
        }
        const std::size_t start = i;
        while (i < size && i - start < 128 && !(i + 1 < size && row[i] == row[i + 1])) {
            ++i;
        }
        out.push_back(static_cast<std::uint8_t>(i - start - 1));
        out.insert(out.end(), row + start, row + i);
    }
}

// An IFD entry of one SHORT or LONG value, or of values stored at offset.
void putEntry(Bytes& ifd, std::uint16_t tag, std::uint16_t type, std::uint32_t count, std::uint32_t value)
{
    put16(ifd, tag);
    put16(ifd, type);
    put32(ifd, count);
    if (type == TypeShort && count == 1) {
        put16(ifd, static_cast<std::uint16_t>(value));
        put16(ifd, 0);
    } else {
        put32(ifd, value);
    }
}

} // namespace

bool writePackBitsPage(const FreeImageFunctionTable& functions, FIBITMAP* page, const std::string& path)
{
    if (page == nullptr || functions.GetImageType(page) != FIT_BITMAP) {
        return false;
    }
    const unsigned bits = functions.GetBPP(page);
    const FREE_IMAGE_COLOR_TYPE colour = functions.GetColorType(page);
    const bool grey = (bits == 1 || bits == 8) && (colour == FIC_MINISBLACK || colour == FIC_MINISWHITE);
    if (bits != 24 && !grey) {
        return false;
    }
    const unsigned width = functions.GetWidth(page);
    const unsigned height = functions.GetHeight(page);
    const std::size_t rowBytes = (std::size_t{width} * bits + 7) / 8;
    if (width == 0 || height == 0) {
        return false;
    }

    // Header, then the rows (each its own PackBits strip), then the values and the IFD.
    Bytes out{'I', 'I', 42, 0, 0, 0, 0, 0};
    std::vector<std::uint32_t> stripOffsets;
    std::vector<std::uint32_t> stripCounts;
    stripOffsets.reserve(height);
    stripCounts.reserve(height);
    Bytes row(rowBytes);
    for (unsigned y = 0; y < height; ++y) {
        const BYTE* line = functions.GetScanLine(page, static_cast<int>(height - 1 - y));
        const std::uint8_t* source = line;
        if (bits == 24) {
            for (std::size_t x = 0; x < width; ++x) {
                row[x * 3] = line[x * 3 + FI_RGBA_RED];
                row[x * 3 + 1] = line[x * 3 + FI_RGBA_GREEN];
                row[x * 3 + 2] = line[x * 3 + FI_RGBA_BLUE];
            }
            source = row.data();
        }
        const std::size_t start = out.size();
        packBitsRow(source, rowBytes, out);
        if (out.size() > LargestOffset) {
            return false;
        }
        stripOffsets.push_back(static_cast<std::uint32_t>(start));
        stripCounts.push_back(static_cast<std::uint32_t>(out.size() - start));
    }

    padToWord(out);
    const auto arrayAt = [&out](const std::vector<std::uint32_t>& values) {
        padToWord(out);
        const auto at = static_cast<std::uint32_t>(out.size());
        for (const std::uint32_t value : values) {
            put32(out, value);
        }
        return at;
    };
    const std::uint32_t offsetsAt = height > 1 ? arrayAt(stripOffsets) : stripOffsets[0];
    const std::uint32_t countsAt = height > 1 ? arrayAt(stripCounts) : stripCounts[0];
    // Whole dots per inch, rounded, as the library writes them: readers that cut the fraction off
    // would take 299.9994 (11811 dots per metre) for 299 and size the page wrongly.
    const auto resolutionAt = [&out](unsigned dotsPerMetre) {
        padToWord(out);
        const auto at = static_cast<std::uint32_t>(out.size());
        put32(out, static_cast<std::uint32_t>(0.5 + 0.0254 * dotsPerMetre));
        put32(out, 1);
        return at;
    };
    const std::uint32_t xResolutionAt = resolutionAt(functions.GetDotsPerMeterX(page));
    const std::uint32_t yResolutionAt = resolutionAt(functions.GetDotsPerMeterY(page));
    std::uint32_t bitsAt = 8;
    if (bits == 24) {
        padToWord(out);
        bitsAt = static_cast<std::uint32_t>(out.size());
        for (int channel = 0; channel < 3; ++channel) {
            put16(out, 8);
        }
    }

    padToWord(out);
    const auto ifdAt = static_cast<std::uint32_t>(out.size());
    const std::array<std::uint8_t, 4> link = little32(ifdAt);
    std::copy(link.begin(), link.end(), out.begin() + 4);
    constexpr std::uint16_t TypeRational = 5;
    constexpr std::uint16_t PackBits = 32773;
    const std::uint16_t photometric = bits == 24 ? 2 : colour == FIC_MINISWHITE ? 0 : 1;
    Bytes ifd;
    putEntry(ifd, 254, TypeLong, 1, 0);                                            // NewSubfileType
    putEntry(ifd, 256, TypeLong, 1, width);                                        // ImageWidth
    putEntry(ifd, 257, TypeLong, 1, height);                                       // ImageLength
    putEntry(ifd, 258, TypeShort, bits == 24 ? 3 : 1, bits == 24 ? bitsAt : bits); // BitsPerSample
    putEntry(ifd, 259, TypeShort, 1, PackBits);                                    // Compression
    putEntry(ifd, 262, TypeShort, 1, photometric); // PhotometricInterpretation
    putEntry(ifd, TagStripOffsets, TypeLong, height, offsetsAt);
    putEntry(ifd, 277, TypeShort, 1, bits == 24 ? 3 : 1); // SamplesPerPixel
    putEntry(ifd, 278, TypeLong, 1, 1);                   // RowsPerStrip
    putEntry(ifd, TagStripByteCounts, TypeLong, height, countsAt);
    putEntry(ifd, 282, TypeRational, 1, xResolutionAt); // XResolution
    putEntry(ifd, 283, TypeRational, 1, yResolutionAt); // YResolution
    putEntry(ifd, 284, TypeShort, 1, 1);                // PlanarConfiguration: chunky
    putEntry(ifd, 296, TypeShort, 1, 2);                // ResolutionUnit: inch
    put16(out, static_cast<std::uint16_t>(ifd.size() / EntrySize));
    out.insert(out.end(), ifd.begin(), ifd.end());
    put32(out, 0);

    std::FILE* file = createNewFile(path);
    if (file == nullptr) {
        return false;
    }
    const bool written = std::fwrite(out.data(), 1, out.size(), file) == out.size();
    return std::fclose(file) == 0 && written;
}

TiffPageJoiner::~TiffPageJoiner()
{
    close();
}

bool TiffPageJoiner::open(const std::string& path)
{
    close();
    m_file = createNewFile(path);
    m_size = 0;
    m_linkPos = 4;
    m_pages = 0;
    m_failed = m_file == nullptr;
    if (m_file == nullptr) {
        return false;
    }
    const std::array<std::uint8_t, 8> header{'I', 'I', 42, 0, 0, 0, 0, 0};
    m_failed = std::fwrite(header.data(), 1, header.size(), m_file) != header.size();
    m_size = header.size();
    return !m_failed;
}

bool TiffPageJoiner::appendFile(const std::string& singlePage)
{
    Bytes data;
    if (m_file == nullptr || m_failed || !readWholeFile(singlePage, data)) {
        return false;
    }
    Bytes out;
    std::uint64_t ifdAt = 0;
    // The page starts on a word boundary, as every offset in a TIFF should.
    if (m_size % 2 != 0) {
        out.push_back(0);
    }
    if (!relocatePage(data, m_size + out.size(), out, ifdAt) || m_size + out.size() > LargestOffset) {
        return false;
    }
    // The page is linked in only once it is written, so a failed write leaves the pages before readable.
    const std::array<std::uint8_t, 4> link = little32(static_cast<std::uint32_t>(ifdAt));
    m_failed = std::fwrite(out.data(), 1, out.size(), m_file) != out.size() ||
               std::fseek(m_file, static_cast<long>(m_linkPos), SEEK_SET) != 0 ||
               std::fwrite(link.data(), 1, link.size(), m_file) != link.size() ||
               std::fseek(m_file, 0, SEEK_END) != 0;
    if (m_failed) {
        return false;
    }
    m_size += out.size();
    m_linkPos = m_size - 4; // the IFD's next offset ends the page
    ++m_pages;
    return true;
}

bool TiffPageJoiner::close()
{
    if (m_file == nullptr) {
        return false;
    }
    const bool closed = std::fclose(m_file) == 0;
    m_file = nullptr;
    return closed && !m_failed && m_pages > 0;
}

} // namespace folvex
