#include "imageops/pixel_operations_internal.h"

// The passes are as fast as the machine streams a page through its registers, so each row goes through
// the widest registers the processor has; every form gives the same bytes as the pixel-by-pixel one.
//
// De-graying decides per pixel. With 16-byte registers it splits sixteen pixels (48 bytes, three
// registers) into one register per channel with byte shuffles, compares each with its points (unsigned:
// max(v, t) == v, min(v, t) == v) and spreads the pixel's decision back over its three bytes. With
// 64-byte registers the compares give one bit per byte; 64 pixels are 192 bits, in which a pixel's three
// bits are ANDed by shifts and spread back the same way. A byte is then kept, or replaced by 255 (white)
// or 0 (black, where the white test failed).
//
// White balance looks each byte up in its channel's table. With VBMI a 256-entry table fits four
// registers and byte permutes look up 64 bytes at once, once per channel table, each byte taking the
// result of its own channel. Elsewhere byte pairs halve the look-ups and stores: each pair of a pixel
// pair has its own 65536-entry table built from the two channel tables of its bytes.

#include <bit>
#include <cstring>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define FOLVEX_X86_VECTORS 1
#endif

namespace folvex {

namespace {

// How far ahead of a vector step its row is fetched into the cache. The passes go down the picture,
// so rows come in descending addresses while each row ascends, which the processor's own prefetching
// follows badly; fetching half a kilobyte ahead makes de-graying about a quarter faster.
constexpr std::size_t PrefetchBytes = 512;

// Asks for the 64-byte cache lines from `at` + PrefetchBytes on; never faults, even past the image.
inline void prefetchAhead(const BYTE* at, unsigned lines)
{
    for (unsigned line = 0; line < lines; ++line) {
        __builtin_prefetch(at + PrefetchBytes + 64 * line);
    }
}

// A channel's points by its byte offset within a pixel.
struct PointsByOffset
{
    std::array<std::uint8_t, 3> white{};
    std::array<std::uint8_t, 3> black{};
};

PointsByOffset pointsByOffset(const DeGrayPoints& points)
{
    PointsByOffset byOffset;
    byOffset.white[FI_RGBA_RED] = points.whiteRed;
    byOffset.white[FI_RGBA_GREEN] = points.whiteGreen;
    byOffset.white[FI_RGBA_BLUE] = points.whiteBlue;
    byOffset.black[FI_RGBA_RED] = points.blackRed;
    byOffset.black[FI_RGBA_GREEN] = points.blackGreen;
    byOffset.black[FI_RGBA_BLUE] = points.blackBlue;
    return byOffset;
}

void deGrayByPixel(BYTE* row, unsigned width, const DeGrayPoints& points)
{
    for (BYTE* pixel = row; pixel < row + 3 * std::size_t{width}; pixel += 3) {
        const BYTE red = pixel[FI_RGBA_RED];
        const BYTE green = pixel[FI_RGBA_GREEN];
        const BYTE blue = pixel[FI_RGBA_BLUE];
        // The white test comes first: a pixel that meets both becomes white.
        if (red >= points.whiteRed && green >= points.whiteGreen && blue >= points.whiteBlue) {
            pixel[0] = pixel[1] = pixel[2] = 255;
        } else if (red <= points.blackRed && green <= points.blackGreen && blue <= points.blackBlue) {
            pixel[0] = pixel[1] = pixel[2] = 0;
        }
    }
}

// Inverts bytes [0, count) eight at a time, then one at a time; 255 - b is b with every bit flipped.
void invertPortable(BYTE* bytes, std::size_t count)
{
    std::size_t at = 0;
    for (; at + sizeof(std::uint64_t) <= count; at += sizeof(std::uint64_t)) {
        std::uint64_t word = 0;
        std::memcpy(&word, bytes + at, sizeof word);
        word = ~word;
        std::memcpy(bytes + at, &word, sizeof word);
    }
    for (; at < count; ++at) {
        bytes[at] = static_cast<BYTE>(255 - bytes[at]);
    }
}

#if FOLVEX_X86_VECTORS

#define FOLVEX_TARGET_SSSE3 __attribute__((target("ssse3")))
#define FOLVEX_TARGET_AVX512 __attribute__((target("avx512f,avx512bw,avx512vbmi")))

// --- 16-byte registers ---

// Pixels per step: 16 pixels are 48 bytes, three registers.
constexpr unsigned Ssse3Pixels = 16;
// A shuffle index with its top bit set yields 0.
constexpr std::int8_t ZeroByte = -128;

using ShuffleMask = std::array<std::int8_t, 16>;

// Gathers byte offset `offset` of the 16 pixels out of register `part` (bytes 16 * part ..).
constexpr ShuffleMask gatherMask(unsigned offset, unsigned part)
{
    ShuffleMask mask{};
    for (unsigned pixel = 0; pixel < Ssse3Pixels; ++pixel) {
        const unsigned byte = 3 * pixel + offset;
        mask[pixel] = byte / 16 == part ? static_cast<std::int8_t>(byte % 16) : ZeroByte;
    }
    return mask;
}

// Spreads one byte per pixel over the bytes of register `part` (each byte gets its pixel's value).
constexpr ShuffleMask spreadMask(unsigned part)
{
    ShuffleMask mask{};
    for (unsigned byte = 0; byte < 16; ++byte) {
        mask[byte] = static_cast<std::int8_t>((16 * part + byte) / 3);
    }
    return mask;
}

constexpr std::array<std::array<ShuffleMask, 3>, 3> GatherMasks = {{
    {gatherMask(0, 0), gatherMask(0, 1), gatherMask(0, 2)},
    {gatherMask(1, 0), gatherMask(1, 1), gatherMask(1, 2)},
    {gatherMask(2, 0), gatherMask(2, 1), gatherMask(2, 2)},
}};
constexpr std::array<ShuffleMask, 3> SpreadMasks = {spreadMask(0), spreadMask(1), spreadMask(2)};

FOLVEX_TARGET_SSSE3 __m128i loadMask(const ShuffleMask& mask)
{
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(mask.data()));
}

// De-grays the first width / 16 * 16 pixels of the row; returns how many.
FOLVEX_TARGET_SSSE3 unsigned deGraySsse3(BYTE* row, unsigned width, const PointsByOffset& points)
{
    __m128i gather[3][3];
    __m128i spread[3];
    __m128i white[3];
    __m128i black[3];
    for (unsigned offset = 0; offset < 3; ++offset) {
        for (unsigned part = 0; part < 3; ++part) {
            gather[offset][part] = loadMask(GatherMasks[offset][part]);
        }
        spread[offset] = loadMask(SpreadMasks[offset]);
        white[offset] = _mm_set1_epi8(static_cast<char>(points.white[offset]));
        black[offset] = _mm_set1_epi8(static_cast<char>(points.black[offset]));
    }
    const unsigned pixels = width / Ssse3Pixels * Ssse3Pixels;
    for (unsigned x = 0; x < pixels; x += Ssse3Pixels) {
        auto* block = reinterpret_cast<__m128i*>(row + 3 * std::size_t{x});
        prefetchAhead(row + 3 * std::size_t{x}, 1);
        const __m128i bytes[3] = {
            _mm_loadu_si128(block), _mm_loadu_si128(block + 1), _mm_loadu_si128(block + 2)};
        __m128i isWhite = _mm_set1_epi8(-1);
        __m128i isBlack = isWhite;
        for (unsigned offset = 0; offset < 3; ++offset) {
            const __m128i channel = _mm_or_si128(
                _mm_or_si128(
                    _mm_shuffle_epi8(bytes[0], gather[offset][0]),
                    _mm_shuffle_epi8(bytes[1], gather[offset][1])),
                _mm_shuffle_epi8(bytes[2], gather[offset][2]));
            isWhite = _mm_and_si128(isWhite, _mm_cmpeq_epi8(_mm_max_epu8(channel, white[offset]), channel));
            isBlack = _mm_and_si128(isBlack, _mm_cmpeq_epi8(_mm_min_epu8(channel, black[offset]), channel));
        }
        // The white test first: a pixel that passes both becomes white.
        const __m128i replaced = _mm_or_si128(isWhite, isBlack);
        for (unsigned part = 0; part < 3; ++part) {
            const __m128i replace = _mm_shuffle_epi8(replaced, spread[part]);
            const __m128i fill = _mm_shuffle_epi8(isWhite, spread[part]);
            _mm_storeu_si128(block + part, _mm_or_si128(_mm_andnot_si128(replace, bytes[part]), fill));
        }
    }
    return pixels;
}

// Inverts the first count / 16 * 16 bytes; returns how many.
FOLVEX_TARGET_SSSE3 std::size_t invertSse2(BYTE* bytes, std::size_t count)
{
    const __m128i ones = _mm_set1_epi8(-1);
    const std::size_t done = count / 16 * 16;
    for (std::size_t at = 0; at < done; at += 16) {
        prefetchAhead(bytes + at, 1);
        auto* chunk = reinterpret_cast<__m128i*>(bytes + at);
        _mm_storeu_si128(chunk, _mm_xor_si128(_mm_loadu_si128(chunk), ones));
    }
    return done;
}

// --- 64-byte registers ---

// Bytes per step: 64 pixels, three registers.
constexpr unsigned Avx512Bytes = 192;

// The bits of register `part` of a step whose bytes lie at offset `offset` of their pixel.
constexpr std::uint64_t offsetBits(unsigned offset, unsigned part)
{
    std::uint64_t bits = 0;
    for (unsigned byte = 0; byte < 64; ++byte) {
        if ((64 * part + byte) % 3 == offset) {
            bits |= std::uint64_t{1} << byte;
        }
    }
    return bits;
}

constexpr std::array<std::array<std::uint64_t, 3>, 3> OffsetBits = {{
    {offsetBits(0, 0), offsetBits(1, 0), offsetBits(2, 0)},
    {offsetBits(0, 1), offsetBits(1, 1), offsetBits(2, 1)},
    {offsetBits(0, 2), offsetBits(1, 2), offsetBits(2, 2)},
}};

// The 192 bits of a step, one per byte: bit i of word w is byte 64 * w + i.
struct StepBits
{
    std::uint64_t word0;
    std::uint64_t word1;
    std::uint64_t word2;
};

// Per pixel the AND of its three bits, set on all three of them (written out word by word, so the
// three words stay in registers).
inline StepBits wholePixels(const StepBits& bits)
{
    const std::uint64_t first0 = bits.word0 & ((bits.word0 >> 1) | (bits.word1 << 63)) &
                                 ((bits.word0 >> 2) | (bits.word1 << 62)) & OffsetBits[0][0];
    const std::uint64_t first1 = bits.word1 & ((bits.word1 >> 1) | (bits.word2 << 63)) &
                                 ((bits.word1 >> 2) | (bits.word2 << 62)) & OffsetBits[1][0];
    const std::uint64_t first2 = bits.word2 & (bits.word2 >> 1) & (bits.word2 >> 2) & OffsetBits[2][0];
    return StepBits{
        first0 | (first0 << 1) | (first0 << 2),
        first1 | (first1 << 1) | (first1 << 2) | (first0 >> 63) | (first0 >> 62),
        first2 | (first2 << 1) | (first2 << 2) | (first1 >> 63) | (first1 >> 62)};
}

// A register whose byte i holds the point of byte offset (64 * part + i) % 3.
FOLVEX_TARGET_AVX512 __m512i pointPattern(const std::array<std::uint8_t, 3>& points, unsigned part)
{
    const __m512i all[3] = {
        _mm512_set1_epi8(static_cast<char>(points[0])),
        _mm512_set1_epi8(static_cast<char>(points[1])),
        _mm512_set1_epi8(static_cast<char>(points[2]))};
    __m512i pattern = all[0];
    pattern = _mm512_mask_blend_epi8(OffsetBits[part][1], pattern, all[1]);
    return _mm512_mask_blend_epi8(OffsetBits[part][2], pattern, all[2]);
}

// De-grays the first width / 64 * 64 pixels of the row; returns how many.
FOLVEX_TARGET_AVX512 unsigned deGrayAvx512(BYTE* row, unsigned width, const PointsByOffset& points)
{
    __m512i white[3];
    __m512i black[3];
    for (unsigned part = 0; part < 3; ++part) {
        white[part] = pointPattern(points.white, part);
        black[part] = pointPattern(points.black, part);
    }
    const std::size_t bytes = 3 * std::size_t{width} / Avx512Bytes * Avx512Bytes;
    for (std::size_t at = 0; at < bytes; at += Avx512Bytes) {
        prefetchAhead(row + at, 3);
        const __m512i in0 = _mm512_loadu_si512(row + at);
        const __m512i in1 = _mm512_loadu_si512(row + at + 64);
        const __m512i in2 = _mm512_loadu_si512(row + at + 128);
        const StepBits isWhite = wholePixels(StepBits{
            _mm512_cmpge_epu8_mask(in0, white[0]),
            _mm512_cmpge_epu8_mask(in1, white[1]),
            _mm512_cmpge_epu8_mask(in2, white[2])});
        const StepBits isBlack = wholePixels(StepBits{
            _mm512_cmple_epu8_mask(in0, black[0]),
            _mm512_cmple_epu8_mask(in1, black[1]),
            _mm512_cmple_epu8_mask(in2, black[2])});
        // The white test first: white bytes become 255, the other replaced ones 0.
        _mm512_storeu_si512(
            row + at,
            _mm512_mask_blend_epi8(isWhite.word0 | isBlack.word0, in0, _mm512_movm_epi8(isWhite.word0)));
        _mm512_storeu_si512(
            row + at + 64,
            _mm512_mask_blend_epi8(isWhite.word1 | isBlack.word1, in1, _mm512_movm_epi8(isWhite.word1)));
        _mm512_storeu_si512(
            row + at + 128,
            _mm512_mask_blend_epi8(isWhite.word2 | isBlack.word2, in2, _mm512_movm_epi8(isWhite.word2)));
    }
    return static_cast<unsigned>(bytes / 3);
}

// Inverts the first count / 64 * 64 bytes; returns how many.
FOLVEX_TARGET_AVX512 std::size_t invertAvx512(BYTE* bytes, std::size_t count)
{
    const __m512i ones = _mm512_set1_epi8(-1);
    const std::size_t done = count / 64 * 64;
    for (std::size_t at = 0; at < done; at += 64) {
        prefetchAhead(bytes + at, 1);
        _mm512_storeu_si512(bytes + at, _mm512_xor_si512(_mm512_loadu_si512(bytes + at), ones));
    }
    return done;
}

// Looks the 64 bytes up in the 256-entry table held in four registers: the low seven bits pick one of
// 128 entries from each half, the top bit picks the half.
FOLVEX_TARGET_AVX512 __m512i lookUp(__m512i bytes, const __m512i (&table)[4])
{
    const __m512i low = _mm512_permutex2var_epi8(table[0], bytes, table[1]);
    const __m512i high = _mm512_permutex2var_epi8(table[2], bytes, table[3]);
    return _mm512_mask_blend_epi8(_mm512_movepi8_mask(bytes), low, high);
}

// White-balances the first width / 64 * 64 pixels of the row; returns how many.
FOLVEX_TARGET_AVX512 unsigned
whiteBalanceAvx512(BYTE* row, unsigned width, const std::array<std::array<std::uint8_t, 256>, 3>& byOffset)
{
    __m512i tables[3][4];
    for (unsigned offset = 0; offset < 3; ++offset) {
        for (unsigned quarter = 0; quarter < 4; ++quarter) {
            tables[offset][quarter] = _mm512_loadu_si512(byOffset[offset].data() + 64 * quarter);
        }
    }
    const std::size_t bytes = 3 * std::size_t{width} / Avx512Bytes * Avx512Bytes;
    for (std::size_t at = 0; at < bytes; at += Avx512Bytes) {
        prefetchAhead(row + at, 3);
        for (unsigned part = 0; part < 3; ++part) {
            BYTE* chunk = row + at + 64 * part;
            const __m512i in = _mm512_loadu_si512(chunk);
            __m512i out = lookUp(in, tables[0]);
            out = _mm512_mask_blend_epi8(OffsetBits[part][1], out, lookUp(in, tables[1]));
            out = _mm512_mask_blend_epi8(OffsetBits[part][2], out, lookUp(in, tables[2]));
            _mm512_storeu_si512(chunk, out);
        }
    }
    return static_cast<unsigned>(bytes / 3);
}

std::vector<RowKernel> kernelsOfThisProcessor()
{
    std::vector<RowKernel> kernels;
    if (__builtin_cpu_supports("avx512f") != 0 && __builtin_cpu_supports("avx512bw") != 0 &&
        __builtin_cpu_supports("avx512vbmi") != 0) {
        kernels.push_back(RowKernel::Avx512);
    }
    if (__builtin_cpu_supports("ssse3") != 0) {
        kernels.push_back(RowKernel::Ssse3);
    }
    return kernels;
}

#else

std::vector<RowKernel> kernelsOfThisProcessor()
{
    return {};
}

#endif

} // namespace

const std::vector<RowKernel>& rowKernels()
{
    static const std::vector<RowKernel> kernels = [] {
        std::vector<RowKernel> all = kernelsOfThisProcessor();
        all.push_back(RowKernel::Portable);
        all.push_back(RowKernel::ByPixel);
        return all;
    }();
    return kernels;
}

void deGrayRow(BYTE* row, unsigned width, const DeGrayPoints& points, RowKernel kernel)
{
    unsigned done = 0;
#if FOLVEX_X86_VECTORS
    if (kernel == RowKernel::Avx512) {
        done = deGrayAvx512(row, width, pointsByOffset(points));
    } else if (kernel == RowKernel::Ssse3) {
        done = deGraySsse3(row, width, pointsByOffset(points));
    }
#endif
    deGrayByPixel(row + 3 * std::size_t{done}, width - done, points);
}

void invertRow(BYTE* row, unsigned width, RowKernel kernel)
{
    const std::size_t bytes = 3 * std::size_t{width};
    std::size_t done = 0;
#if FOLVEX_X86_VECTORS
    if (kernel == RowKernel::Avx512) {
        done = invertAvx512(row, bytes);
    } else if (kernel == RowKernel::Ssse3) {
        done = invertSse2(row, bytes);
    }
#endif
    if (kernel == RowKernel::ByPixel) {
        for (std::size_t at = 0; at < bytes; ++at) {
            row[at] = static_cast<BYTE>(255 - row[at]);
        }
        return;
    }
    invertPortable(row + done, bytes - done);
}

WhiteBalanceRows::WhiteBalanceRows(
    const std::array<std::uint8_t, 256>& red,
    const std::array<std::uint8_t, 256>& green,
    const std::array<std::uint8_t, 256>& blue,
    RowKernel kernel)
    : m_kernel(kernel)
{
    m_byOffset[FI_RGBA_RED] = red;
    m_byOffset[FI_RGBA_GREEN] = green;
    m_byOffset[FI_RGBA_BLUE] = blue;
    if (kernel != RowKernel::Ssse3 && kernel != RowKernel::Portable) {
        return;
    }
    m_pairs.resize(3 * 65536);
    // A pair's index and entry hold its first byte (lower address) in the low half on a little-endian
    // machine, in the high half on a big-endian one.
    constexpr bool LittleEndian = std::endian::native == std::endian::little;
    const unsigned firstShift = LittleEndian ? 0 : 8;
    const unsigned secondShift = LittleEndian ? 8 : 0;
    for (unsigned pair = 0; pair < 3; ++pair) {
        // Bytes 2 * pair and 2 * pair + 1 of a pixel pair lie at these offsets of their pixels.
        const std::array<std::uint8_t, 256>& first = m_byOffset[(2 * pair) % 3];
        const std::array<std::uint8_t, 256>& second = m_byOffset[(2 * pair + 1) % 3];
        std::uint16_t* table = m_pairs.data() + 65536 * std::size_t{pair};
        for (unsigned b = 0; b < 256; ++b) {
            const unsigned secondPart = unsigned{second[b]} << secondShift;
            for (unsigned a = 0; a < 256; ++a) {
                table[(a << firstShift) | (b << secondShift)] =
                    static_cast<std::uint16_t>((unsigned{first[a]} << firstShift) | secondPart);
            }
        }
    }
}

bool WhiteBalanceRows::identity() const
{
    for (const std::array<std::uint8_t, 256>& table : m_byOffset) {
        for (unsigned v = 0; v < 256; ++v) {
            if (table[v] != v) {
                return false;
            }
        }
    }
    return true;
}

void WhiteBalanceRows::apply(BYTE* row, unsigned width) const
{
    BYTE* pixel = row;
    unsigned left = width;
#if FOLVEX_X86_VECTORS
    if (m_kernel == RowKernel::Avx512) {
        const unsigned done = whiteBalanceAvx512(row, width, m_byOffset);
        pixel += 3 * std::size_t{done};
        left -= done;
    }
#endif
    if (!m_pairs.empty()) {
        const std::uint16_t* first = m_pairs.data();
        const std::uint16_t* second = first + 65536;
        const std::uint16_t* third = second + 65536;
        for (BYTE* end = pixel + 3 * std::size_t{left / 2 * 2}; pixel < end; pixel += 6) {
            std::uint16_t pairs[3];
            std::memcpy(pairs, pixel, sizeof pairs);
            pairs[0] = first[pairs[0]];
            pairs[1] = second[pairs[1]];
            pairs[2] = third[pairs[2]];
            std::memcpy(pixel, pairs, sizeof pairs);
        }
        left %= 2;
    }
    for (BYTE* end = pixel + 3 * std::size_t{left}; pixel < end; pixel += 3) {
        pixel[0] = m_byOffset[0][pixel[0]];
        pixel[1] = m_byOffset[1][pixel[1]];
        pixel[2] = m_byOffset[2][pixel[2]];
    }
}

} // namespace folvex
