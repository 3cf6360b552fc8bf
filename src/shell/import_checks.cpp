#include "shell/import_checks.h"

#include "runtime/checked_cast.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <fstream>
#include <iterator>
#include <set>
#include <vector>

namespace folvex {
namespace {

// Reads count bytes at offset; false when the file ends before them.
bool readAt(std::ifstream& file, std::uint64_t offset, unsigned char* into, std::size_t count)
{
    const std::optional<std::streamoff> at = checked_cast<std::streamoff>(offset);
    if (!at) {
        return false;
    }
    file.clear();
    file.seekg(*at);
    file.read(reinterpret_cast<char*>(into), static_cast<std::streamsize>(count));
    return file.gcount() == static_cast<std::streamsize>(count);
}

std::uint64_t fileSize(std::ifstream& file)
{
    file.clear();
    file.seekg(0, std::ios::end);
    const std::streamoff size = file.tellg();
    return size < 0 ? 0 : static_cast<std::uint64_t>(size);
}

// An unsigned number of size bytes at bytes, least significant first unless bigEndian.
std::uint64_t number(const unsigned char* bytes, std::size_t size, bool bigEndian = false)
{
    std::uint64_t value = 0;
    for (std::size_t i = 0; i < size; ++i) {
        const std::size_t at = bigEndian ? i : size - 1 - i;
        value = (value << 8) | bytes[at];
    }
    return value;
}

// The bytes of one value of a TIFF field type; 0 for an unknown type.
std::uint64_t tiffTypeSize(std::uint64_t type)
{
    constexpr std::uint64_t Sizes[] = {0, 1, 1, 2, 4, 8, 1, 1, 2, 4, 8, 4, 8, 4, 0, 0, 8, 8, 8};
    return type < std::size(Sizes) ? Sizes[type] : 0;
}

// Strip and tile tables larger than this are not read for the check (no scan has them).
constexpr std::uint64_t MaxTiffArrayBytes = std::uint64_t{16} << 20;

} // namespace

std::optional<std::uint64_t> decodedImageBytes(std::uint64_t width, std::uint64_t height, std::uint64_t bpp)
{
    const std::optional<std::uint64_t> rowBits = checkedMultiply(width, bpp);
    const std::optional<std::uint64_t> padded =
        rowBits ? checkedAdd(*rowBits, std::uint64_t{31}) : std::nullopt;
    if (!padded) {
        return std::nullopt;
    }
    return checkedMultiply(*padded / 32 * 4, height);
}

std::optional<PictureSize> gifPictureSize(const std::string& path)
{
    std::ifstream file(path, std::ios::binary);
    std::array<unsigned char, 13> head{};
    if (!readAt(file, 0, head.data(), head.size()) || number(head.data(), 3, true) != 0x474946) {
        return std::nullopt;
    }
    PictureSize size{number(&head[6], 2), number(&head[8], 2)};
    std::uint64_t at = head.size();
    if ((head[10] & 0x80) != 0) {
        at += 3U << ((head[10] & 7) + 1); // the global colour table
    }
    // Extension blocks (each a label and sub-blocks ending with an empty one) until the first image.
    for (;;) {
        unsigned char introducer = 0;
        if (!readAt(file, at, &introducer, 1)) {
            return std::nullopt;
        }
        if (introducer == 0x2C) {
            std::array<unsigned char, 9> frame{};
            if (!readAt(file, at + 1, frame.data(), frame.size())) {
                return std::nullopt;
            }
            size.width = std::max(size.width, number(&frame[4], 2));
            size.height = std::max(size.height, number(&frame[6], 2));
            return size;
        }
        if (introducer != 0x21) {
            return std::nullopt;
        }
        at += 2;
        for (unsigned char length = 1; length != 0; at += length + 1U) {
            if (!readAt(file, at, &length, 1)) {
                return std::nullopt;
            }
        }
    }
}

bool bmpCutShort(const std::string& path)
{
    constexpr std::uint64_t CoreHeaderSize = 12;
    // Uncompressed rows: plain, with colour masks, with colour and alpha masks.
    constexpr std::uint64_t Uncompressed[] = {0, 3, 6};
    std::ifstream file(path, std::ios::binary);
    std::array<unsigned char, 34> head{};
    if (!readAt(file, 0, head.data(), head.size()) || head[0] != 'B' || head[1] != 'M') {
        return false;
    }
    const std::uint64_t pixelsAt = number(&head[10], 4);
    const bool core = number(&head[14], 4) == CoreHeaderSize;
    const std::uint64_t width = core ? number(&head[18], 2) : number(&head[18], 4);
    std::uint64_t height = core ? number(&head[20], 2) : number(&head[22], 4);
    const std::uint64_t bitCount = core ? number(&head[24], 2) : number(&head[28], 2);
    const std::uint64_t compression = core ? 0 : number(&head[30], 4);
    if (std::find(std::begin(Uncompressed), std::end(Uncompressed), compression) == std::end(Uncompressed)) {
        return false;
    }
    if (!core && (height & 0x80000000U) != 0) {
        height = 0x100000000U - height; // rows stored top-down
    }
    const std::optional<std::uint64_t> pixelBytes = decodedImageBytes(width, height, bitCount);
    const std::optional<std::uint64_t> end = pixelBytes ? checkedAdd(pixelsAt, *pixelBytes) : std::nullopt;
    return !end || fileSize(file) < *end;
}

bool tiffDirectoriesCutShort(const std::string& path)
{
    std::ifstream file(path, std::ios::binary);
    std::array<unsigned char, 16> head{};
    if (!readAt(file, 0, head.data(), 8)) {
        return false;
    }
    const bool bigEndian = head[0] == 'M';
    const bool big = number(&head[2], 2, bigEndian) == 43;
    if (big && !readAt(file, 0, head.data(), head.size())) {
        return true;
    }
    // Classic TIFF: 2-byte entry counts, 12-byte entries, 4-byte offsets; BigTIFF: 8, 20 and 8.
    const std::size_t countSize = big ? 8 : 2;
    const std::size_t entrySize = big ? 20 : 12;
    const std::size_t offsetSize = big ? 8 : 4;
    const std::uint64_t size = fileSize(file);
    const auto inside = [size](std::uint64_t at, std::uint64_t bytes) {
        const std::optional<std::uint64_t> end = checkedAdd(at, bytes);
        return end && *end <= size;
    };
    std::uint64_t directory = number(&head[big ? 8 : 4], offsetSize, bigEndian);
    std::set<std::uint64_t> seen;
    std::array<unsigned char, 8> field{};
    while (directory != 0 && seen.insert(directory).second) {
        if (!readAt(file, directory, field.data(), countSize)) {
            return true;
        }
        const std::uint64_t count = number(field.data(), countSize, bigEndian);
        const std::optional<std::uint64_t> entriesBytes = checkedMultiply(count, std::uint64_t{entrySize});
        if (!entriesBytes || !inside(directory + countSize, *entriesBytes + offsetSize)) {
            return true;
        }
        std::vector<unsigned char> entries(static_cast<std::size_t>(*entriesBytes) + offsetSize);
        if (!readAt(file, directory + countSize, entries.data(), entries.size())) {
            return true;
        }
        // Each value kept outside the directory lies inside the file, and so does every strip or tile.
        std::vector<std::uint64_t> dataStarts;
        std::vector<std::uint64_t> dataLengths;
        for (std::uint64_t i = 0; i < count; ++i) {
            const unsigned char* entry = entries.data() + i * entrySize;
            const std::uint64_t tag = number(entry, 2, bigEndian);
            const std::uint64_t type = number(entry + 2, 2, bigEndian);
            const std::uint64_t values = number(entry + 4, offsetSize, bigEndian);
            const unsigned char* value = entry + 4 + offsetSize;
            const std::uint64_t typeSize = tiffTypeSize(type);
            const std::optional<std::uint64_t> bytes = checkedMultiply(values, typeSize);
            if (!bytes) {
                return true;
            }
            const bool outside = *bytes > offsetSize;
            const std::uint64_t at = outside ? number(value, offsetSize, bigEndian) : 0;
            if (outside && !inside(at, *bytes)) {
                return true;
            }
            const bool starts = tag == 273 || tag == 324;  // strip or tile offsets
            const bool lengths = tag == 279 || tag == 325; // their byte counts
            if ((starts || lengths) && (typeSize == 2 || typeSize == 4 || typeSize == 8) &&
                *bytes <= MaxTiffArrayBytes) {
                std::vector<unsigned char> array(value, value + (outside ? 0 : *bytes));
                if (outside) {
                    array.resize(static_cast<std::size_t>(*bytes));
                    if (!readAt(file, at, array.data(), array.size())) {
                        return true;
                    }
                }
                std::vector<std::uint64_t>& into = starts ? dataStarts : dataLengths;
                for (std::size_t k = 0; k < array.size(); k += typeSize) {
                    into.push_back(number(&array[k], typeSize, bigEndian));
                }
            }
        }
        for (std::size_t k = 0; k < std::min(dataStarts.size(), dataLengths.size()); ++k) {
            if (!inside(dataStarts[k], dataLengths[k])) {
                return true;
            }
        }
        directory = number(entries.data() + *entriesBytes, offsetSize, bigEndian);
    }
    return false;
}

} // namespace folvex
