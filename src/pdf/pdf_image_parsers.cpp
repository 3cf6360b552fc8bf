// The PNG, JPEG and JPEG 2000 parsers and the byte-order readers. The parsers walk the chunk, segment
// or box structure with every header checked against the end of the buffer before it is read, and
// refuse data that ends early, so a file cut anywhere is never taken for an image. PNG pixel data is
// inflated once to prove it holds the image its header describes, since it goes into the document
// as it is and a reader would otherwise meet the damage.
#include "pdf/pdf_image_parsers.h"

#include "pdf/pdf_document.h"

#include <zlib.h>

#include <algorithm>
#include <array>
#include <climits>
#include <cstring>

namespace folvex {

namespace {

std::uint8_t byteAt(std::string_view data, std::size_t pos)
{
    return static_cast<std::uint8_t>(data[pos]);
}

// Big-endian values; the caller has checked that the bytes lie inside data.
std::uint32_t bigEndian16(std::string_view data, std::size_t pos)
{
    return static_cast<std::uint32_t>(byteAt(data, pos)) << 8 | byteAt(data, pos + 1);
}

std::uint32_t bigEndian32(std::string_view data, std::size_t pos)
{
    return bigEndian16(data, pos) << 16 | bigEndian16(data, pos + 2);
}

std::uint64_t bigEndian64(std::string_view data, std::size_t pos)
{
    return static_cast<std::uint64_t>(bigEndian32(data, pos)) << 32 | bigEndian32(data, pos + 4);
}

void recordNoData()
{
    if (PdfDocument* document = currentPdfDocument()) {
        setPdfError(*document, PdfError::ImageInMemory);
    }
}

void resetInfo(PdfImageInfo& info)
{
    info.signature.clear();
    info.width = 0;
    info.height = 0;
    info.colour = 0;
    info.bitsPerComponent = 0;
    info.compressionMethod = 0;
    info.filterMethod = 0;
    info.interlaceMethod = 0;
    info.palette.clear();
    info.data = {};
    info.joinedData.clear();
}

std::string hexText(std::string_view bytes)
{
    static constexpr char Digits[] = "0123456789ABCDEF";
    std::string text;
    for (const char c : bytes) {
        const auto value = static_cast<std::uint8_t>(c);
        text.push_back(Digits[value >> 4]);
        text.push_back(Digits[value & 15]);
    }
    return text;
}

// The bit depths PNG allows for each colour type.
bool validPngDepth(std::uint32_t colourType, std::uint32_t bits)
{
    switch (colourType) {
        case 0:
            return bits == 1 || bits == 2 || bits == 4 || bits == 8 || bits == 16;
        case 3:
            return bits == 1 || bits == 2 || bits == 4 || bits == 8;
        case 2:
        case 4:
        case 6:
            return bits == 8 || bits == 16;
        default:
            return false;
    }
}

constexpr std::uint32_t MaxPngLength = 0x7FFFFFFF;

// Deflate turns at most 1032 bytes into one compressed byte.
constexpr std::uint64_t MaxDeflateRatio = 1032;

constexpr std::size_t InflateBufferSize = 32 * 1024;

std::uint32_t pngChannels(std::uint32_t colourType)
{
    switch (colourType) {
        case 2:
            return 3;
        case 4:
            return 2;
        case 6:
            return 4;
        default:
            return 1;
    }
}

// Rows of filtered pixel data that share one length: a whole image, or one interlace pass.
struct PngRows
{
    std::uint64_t count = 0;
    std::uint64_t bytes = 0; // filter type byte included
};

// The rows the header asks for: one run, or the seven passes of an interlaced image (empty passes of
// small images have no rows).
std::array<PngRows, 7> pngRowRuns(const PdfImageInfo& info)
{
    const auto width = static_cast<std::uint64_t>(info.width);
    const auto height = static_cast<std::uint64_t>(info.height);
    const std::uint64_t bitsPerPixel = std::uint64_t{info.bitsPerComponent} * pngChannels(info.colour);
    const auto rowBytes = [bitsPerPixel](std::uint64_t pixels) {
        return 1 + (pixels * bitsPerPixel + 7) / 8;
    };
    std::array<PngRows, 7> runs{};
    if (info.interlaceMethod == 0) {
        runs[0] = {height, rowBytes(width)};
        return runs;
    }

    struct Pass
    {
        std::uint64_t x, y, dx, dy;
    };

    constexpr std::array<Pass, 7> Passes = {
        {{0, 0, 8, 8}, {4, 0, 8, 8}, {0, 4, 4, 8}, {2, 0, 4, 4}, {0, 2, 2, 4}, {1, 0, 2, 2}, {0, 1, 1, 2}}};
    for (std::size_t i = 0; i < Passes.size(); ++i) {
        const Pass& p = Passes[i];
        const std::uint64_t columns = width > p.x ? (width - p.x + p.dx - 1) / p.dx : 0;
        const std::uint64_t rows = height > p.y ? (height - p.y + p.dy - 1) / p.dy : 0;
        if (columns > 0 && rows > 0) {
            runs[i] = {rows, rowBytes(columns)};
        }
    }
    return runs;
}

// True when data is one zlib stream that inflates without error to exactly the rows of runs, each
// beginning with a known filter type, with nothing after it. Inflates in small pieces, so the check
// holds no more than its buffer whatever the header claims.
bool pngDataHoldsRows(std::string_view data, const std::array<PngRows, 7>& runs)
{
    std::uint64_t required = 0;
    for (const PngRows& run : runs) {
        required += run.count * run.bytes;
    }
    if (required == 0 || required / MaxDeflateRatio > data.size()) {
        return false;
    }
    z_stream z{};
    if (inflateInit(&z) != Z_OK) {
        return false;
    }
    std::array<std::uint8_t, InflateBufferSize> out{};
    std::size_t run = 0;
    std::uint64_t rowsLeft = runs[0].count;
    std::uint64_t nextRowAt = 0;
    std::uint64_t produced = 0;
    std::size_t fed = 0;
    bool sound = true;
    int status = Z_OK;
    while (sound && status != Z_STREAM_END) {
        if (z.avail_in == 0 && fed < data.size()) {
            const std::size_t piece = std::min<std::size_t>(data.size() - fed, UINT_MAX);
            z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data() + fed));
            z.avail_in = static_cast<uInt>(piece);
            fed += piece;
        }
        z.next_out = out.data();
        z.avail_out = static_cast<uInt>(out.size());
        status = inflate(&z, Z_NO_FLUSH);
        // Z_BUF_ERROR: no progress, the stream ended early; anything else is damage or a dictionary.
        if (status != Z_OK && status != Z_STREAM_END) {
            sound = false;
            break;
        }
        const std::uint64_t end = produced + (out.size() - z.avail_out);
        if (end > required) {
            sound = false;
            break;
        }
        while (nextRowAt < end) {
            while (rowsLeft == 0) {
                ++run;
                rowsLeft = runs[run].count;
            }
            if (out[static_cast<std::size_t>(nextRowAt - produced)] > 4) {
                sound = false;
                break;
            }
            nextRowAt += runs[run].bytes;
            --rowsLeft;
        }
        produced = end;
    }
    const bool wholeInput = z.avail_in == 0 && fed == data.size();
    inflateEnd(&z);
    return sound && status == Z_STREAM_END && produced == required && wholeInput;
}

// The stored CRC of a chunk matches its type and data.
bool chunkCrcMatches(std::string_view buffer, std::size_t typeAt, std::uint32_t length)
{
    uLong crc = crc32(0, reinterpret_cast<const Bytef*>(buffer.data() + typeAt), 4);
    crc = crc32_z(crc, reinterpret_cast<const Bytef*>(buffer.data() + typeAt + 4), length);
    return static_cast<std::uint32_t>(crc) == bigEndian32(buffer, typeAt + 4 + length);
}

bool endsWithEndMarker(std::string_view data, std::size_t from)
{
    // The entropy-coded data holds 0xFF only before 0x00 or a restart marker, so the first end marker
    // found from the back is the real one; bytes after it are tolerated.
    for (std::size_t pos = data.size(); pos >= from + 2; --pos) {
        if (byteAt(data, pos - 2) == 0xFF && byteAt(data, pos - 1) == 0xD9) {
            return true;
        }
    }
    return false;
}

bool isStartOfFrame(std::uint32_t marker)
{
    return marker >= 0xFFC0 && marker <= 0xFFCF && marker != 0xFFC4 && marker != 0xFFC8 && marker != 0xFFCC;
}

// A box of a JPEG 2000 file: its type, where its content starts and where it ends.
struct Box
{
    std::string type;
    std::size_t contentStart = 0;
    std::size_t end = 0;
};

// The box at pos, inside [pos, limit); false when its header or its length runs past limit.
bool readBox(std::string_view data, std::size_t pos, std::size_t limit, Box& box)
{
    if (limit - pos < 8) {
        return false;
    }
    const std::uint64_t length32 = bigEndian32(data, pos);
    box.type.assign(data.substr(pos + 4, 4));
    std::uint64_t length = length32;
    std::size_t header = 8;
    if (length32 == 1) {
        if (limit - pos < 16) {
            return false;
        }
        length = bigEndian64(data, pos + 8);
        header = 16;
    } else if (length32 == 0) {
        length = limit - pos;
    }
    if (length < header || length > limit - pos) {
        return false;
    }
    box.contentStart = pos + header;
    box.end = pos + static_cast<std::size_t>(length);
    return true;
}

// A codestream: starts with SOC and SIZ, ends with EOC. Fills size and depth from SIZ.
bool readCodestream(std::string_view code, PdfImageInfo& info)
{
    // SOC, SIZ marker, Lsiz, Rsiz, Xsiz, Ysiz, XOsiz, YOsiz, four tile values, Csiz, first Ssiz.
    constexpr std::size_t FirstComponent = 4 + 2 + 2 + 16 + 16 + 2;
    if (code.size() < FirstComponent + 3 + 2 || bigEndian16(code, 0) != 0xFF4F ||
        bigEndian16(code, 2) != 0xFF51) {
        return false;
    }
    if (bigEndian16(code, code.size() - 2) != 0xFFD9) {
        return false;
    }
    const std::uint32_t xSize = bigEndian32(code, 8);
    const std::uint32_t ySize = bigEndian32(code, 12);
    const std::uint32_t xOffset = bigEndian32(code, 16);
    const std::uint32_t yOffset = bigEndian32(code, 20);
    if (xOffset >= xSize || yOffset >= ySize) {
        return false;
    }
    if (info.width == 0) {
        info.width = xSize - xOffset;
        info.height = ySize - yOffset;
        info.bitsPerComponent = static_cast<std::uint16_t>((byteAt(code, FirstComponent) & 0x7F) + 1);
    }
    return true;
}

} // namespace

std::uint16_t SwapUInt16(std::uint32_t value)
{
    return static_cast<std::uint16_t>((value & 0xFF) << 8 | (value >> 8 & 0xFF));
}

std::uint32_t SwapUInt32(std::uint32_t value)
{
    return (value & 0xFF) << 24 | (value & 0xFF00) << 8 | (value >> 8 & 0xFF00) | value >> 24;
}

std::uint64_t SwapUInt64(std::uint64_t value)
{
    return static_cast<std::uint64_t>(SwapUInt32(static_cast<std::uint32_t>(value))) << 32 |
           SwapUInt32(static_cast<std::uint32_t>(value >> 32));
}

std::uint16_t ReadUInt16(std::uint32_t value, std::int32_t swap)
{
    return swap != 0 ? SwapUInt16(value) : static_cast<std::uint16_t>(value & 0xFFFF);
}

std::uint32_t ReadUInt32(std::uint32_t value, std::int32_t swap)
{
    return swap != 0 ? SwapUInt32(value) : value;
}

std::uint8_t LowByte(std::uint32_t value)
{
    return static_cast<std::uint8_t>(value & 0xFF);
}

std::int32_t PdfParsePng(std::string_view buffer, PdfImageInfo& info)
{
    resetInfo(info);
    if (buffer.empty()) {
        recordNoData();
        return 0;
    }
    if (buffer.size() < 8) {
        return 0;
    }
    info.signature = hexText(buffer.substr(0, 8));
    bool headerSeen = false;
    bool endSeen = false;
    std::size_t pos = 8;
    while (pos < buffer.size() && !endSeen) {
        if (buffer.size() - pos < 8) {
            return 0;
        }
        const std::uint32_t length = bigEndian32(buffer, pos);
        const std::string_view type = buffer.substr(pos + 4, 4);
        pos += 8;
        // The chunk data and its CRC must both lie inside the buffer.
        if (length > MaxPngLength || buffer.size() - pos < std::size_t{length} + 4) {
            return 0;
        }
        const std::string_view chunk = buffer.substr(pos, length);
        const bool critical = type == "IHDR" || type == "PLTE" || type == "IDAT" || type == "IEND";
        if (critical && !chunkCrcMatches(buffer, pos - 4, length)) {
            return 0;
        }
        if (type == "IHDR") {
            if (headerSeen || length != 13) {
                return 0;
            }
            headerSeen = true;
            info.width = bigEndian32(chunk, 0);
            info.height = bigEndian32(chunk, 4);
            info.bitsPerComponent = byteAt(chunk, 8);
            info.colour = byteAt(chunk, 9);
            info.compressionMethod = byteAt(chunk, 10);
            info.filterMethod = byteAt(chunk, 11);
            info.interlaceMethod = byteAt(chunk, 12);
        } else if (type == "PLTE") {
            info.palette.assign(chunk);
        } else if (type == "IDAT") {
            info.joinedData.append(chunk);
        } else if (type == "IEND") {
            endSeen = true;
        }
        pos += std::size_t{length} + 4;
    }
    info.data = info.joinedData;
    const bool valid = headerSeen && endSeen && info.width > 0 && info.height > 0 &&
                       info.width <= MaxPngSidePx && info.height <= MaxPngSidePx &&
                       validPngDepth(info.colour, info.bitsPerComponent) && info.compressionMethod == 0 &&
                       info.filterMethod == 0 && info.interlaceMethod <= 1;
    return valid && pngDataHoldsRows(info.data, pngRowRuns(info)) ? 1 : 0;
}

std::int32_t PdfParseJpeg(std::string_view buffer, PdfImageInfo& info)
{
    resetInfo(info);
    if (buffer.empty()) {
        recordNoData();
        return 0;
    }
    info.data = buffer;
    bool frameSeen = false;
    bool first = true;
    std::size_t pos = 0;
    while (pos < buffer.size()) {
        if (buffer.size() - pos < 2 || byteAt(buffer, pos) != 0xFF) {
            return 0;
        }
        // Fill bytes: any number of 0xFF may precede a marker.
        while (buffer.size() - pos > 2 && byteAt(buffer, pos + 1) == 0xFF) {
            ++pos;
        }
        const std::uint32_t marker = bigEndian16(buffer, pos);
        pos += 2;
        if (first != (marker == 0xFFD8)) {
            return 0;
        }
        first = false;
        if (marker == 0xFFD8) {
            info.signature = "FFD8";
            continue;
        }
        if ((marker >= 0xFFD0 && marker <= 0xFFD7) || marker == 0xFFD9 || marker == 0xFF01) {
            continue;
        }
        if (buffer.size() - pos < 2) {
            return 0;
        }
        const std::size_t length = bigEndian16(buffer, pos);
        if (length < 2 || length > buffer.size() - pos) {
            return 0;
        }
        if (isStartOfFrame(marker)) {
            if (length < 8) {
                return 0;
            }
            info.bitsPerComponent = byteAt(buffer, pos + 2);
            info.height = bigEndian16(buffer, pos + 3);
            info.width = bigEndian16(buffer, pos + 5);
            info.colour = byteAt(buffer, pos + 7);
            frameSeen = true;
        }
        if (marker == 0xFFDA) {
            const bool complete = endsWithEndMarker(buffer, pos + length);
            const bool known = info.colour == 1 || info.colour == 3 || info.colour == 4;
            return frameSeen && complete && known && info.width > 0 && info.height > 0 ? 1 : 0;
        }
        pos += length;
    }
    return 0;
}

std::int32_t PdfParseJpx(std::string_view buffer, PdfImageInfo& info)
{
    resetInfo(info);
    if (buffer.empty()) {
        recordNoData();
        return 0;
    }
    info.data = buffer;
    if (buffer.size() >= 2 && bigEndian16(buffer, 0) == 0xFF4F) {
        info.signature = "FF4F";
        return readCodestream(buffer, info) ? 1 : 0;
    }
    bool headerSeen = false;
    bool codestreamSeen = false;
    Box box;
    for (std::size_t pos = 0; pos < buffer.size(); pos = box.end) {
        if (!readBox(buffer, pos, buffer.size(), box)) {
            return 0;
        }
        if (pos == 0) {
            info.signature = box.type;
        }
        if (box.type == "jp2h") {
            Box inner;
            for (std::size_t at = box.contentStart; at < box.end; at = inner.end) {
                if (!readBox(buffer, at, box.end, inner)) {
                    return 0;
                }
                const std::string_view content =
                    buffer.substr(inner.contentStart, inner.end - inner.contentStart);
                if (inner.type == "ihdr" && content.size() >= 14) {
                    info.height = bigEndian32(content, 0);
                    info.width = bigEndian32(content, 4);
                    const std::uint8_t bits = byteAt(content, 10);
                    info.bitsPerComponent = bits == 255 ? 255 : static_cast<std::uint16_t>(bits + 1);
                    info.compressionMethod = byteAt(content, 11);
                    headerSeen = true;
                } else if (inner.type == "bpcc" && !content.empty()) {
                    info.bitsPerComponent = static_cast<std::uint16_t>(byteAt(content, 0) + 1);
                } else if (inner.type == "colr" && content.size() >= 7 && byteAt(content, 0) == 1) {
                    // Method 1 names an enumerated colour space; method 2 carries a profile instead.
                    info.colour = static_cast<std::uint16_t>(bigEndian32(content, 3) & 0xFFFF);
                }
            }
        } else if (box.type == "jp2c" && !codestreamSeen) {
            PdfImageInfo code;
            if (!readCodestream(buffer.substr(box.contentStart, box.end - box.contentStart), code)) {
                return 0;
            }
            codestreamSeen = true;
        }
    }
    return headerSeen && codestreamSeen && info.width > 0 && info.height > 0 ? 1 : 0;
}

} // namespace folvex
