// Type 2 of the automatic straightening on the page's dark pixels as bits, all lines of a candidate at
// once.
//
// The lines of one candidate start 15 rows apart and share their sample offsets: sample k of line j
// reads column px(k) at row R0 + dy(k) + 15 j. So sample k of all lines reads one column at rows 15
// apart. The page's dark bits are regrouped for that: for each of the 15 row residues r and each
// column x, a bit set over j of the pixels at rows r + 15 j (two bit-matrix transposes, about 1 MB
// for an A4 page at 300 dpi). A candidate then walks its samples once, keeping the set of lines still
// running, and each step costs a few words instead of a memory access per line.
//
// The result equals that of following the lines one after the other: each line's end (a dark sample,
// leaving the page at the top or the bottom, or the right edge) is noted, and the lines are then
// summed in their order up to the first one that left at the bottom, which ends the candidate.

#include "imageops/straighten.h"
#include "imageops/straighten_internal.h"

#include <algorithm>
#include <array>
#include <bit>

namespace folvex {

namespace {

// The bits of value in reverse order.
std::uint64_t reverseWord(std::uint64_t value)
{
    value = ((value >> 1) & 0x5555555555555555ULL) | ((value & 0x5555555555555555ULL) << 1);
    value = ((value >> 2) & 0x3333333333333333ULL) | ((value & 0x3333333333333333ULL) << 2);
    value = ((value >> 4) & 0x0F0F0F0F0F0F0F0FULL) | ((value & 0x0F0F0F0F0F0F0F0FULL) << 4);
    value = ((value >> 8) & 0x00FF00FF00FF00FFULL) | ((value & 0x00FF00FF00FF00FFULL) << 8);
    value = ((value >> 16) & 0x0000FFFF0000FFFFULL) | ((value & 0x0000FFFF0000FFFFULL) << 16);
    return (value >> 32) | (value << 32);
}

// Transposes a 64 x 64 bit matrix in place: bit c of block[i] and bit i of block[c] change places.
void transposeBlock(std::array<std::uint64_t, 64>& block)
{
    std::uint64_t mask = 0x00000000FFFFFFFFULL;
    for (unsigned half = 32; half != 0; half >>= 1, mask ^= mask << half) {
        for (unsigned k = 0; k < 64; k = ((k | half) + 1) & ~half) {
            const std::uint64_t swapped = ((block[k] >> half) ^ block[k | half]) & mask;
            block[k] ^= swapped << half;
            block[k | half] ^= swapped;
        }
    }
}

// 64 bits of the bit row words (count words) starting at bit first, which may lie before or past
// the row: bits outside it read as 0.
std::uint64_t bitsAt(const std::uint64_t* words, std::ptrdiff_t count, std::ptrdiff_t first)
{
    const std::ptrdiff_t index = first >= 0 ? first / 64 : -((63 - first) / 64);
    const auto offset = static_cast<unsigned>(first - index * 64);
    const std::uint64_t low = index >= 0 && index < count ? words[index] : 0;
    if (offset == 0) {
        return low;
    }
    const std::uint64_t high = index + 1 >= 0 && index + 1 < count ? words[index + 1] : 0;
    return (low >> offset) | (high << (64 - offset));
}

// The page's dark bits regrouped by row residue: for residue r and column x, bit j is the pixel at
// (x, r + 15 j).
class ResidueColumns
{
public:
    explicit ResidueColumns(const DarkMask& page)
        : m_width(page.width)
        , m_height(page.height)
        , m_words(bitWords((page.height + LineSpacingRows - 1) / LineSpacingRows))
    {
        m_bits.assign(
            static_cast<std::size_t>(LineSpacingRows) * static_cast<std::size_t>(m_width) * m_words, 0);
        std::vector<const std::uint64_t*> rows;
        for (int residue = 0; residue < LineSpacingRows && residue < m_height; ++residue) {
            rows.clear();
            for (int y = residue; y < m_height; y += LineSpacingRows) {
                rows.push_back(&page.words[static_cast<std::size_t>(y) * page.wordsPerRow]);
            }
            transposeBits(rows, m_width, &m_bits[start(residue, 0)], m_words);
        }
    }

    // The dark bits of column x at the rows first + 15 j for j = 0 .. 64 * count - 1 into out; rows
    // outside the page read as 0.
    void column(int x, int first, std::uint64_t* out, std::size_t count) const
    {
        const int residue = ((first % LineSpacingRows) + LineSpacingRows) % LineSpacingRows;
        const std::ptrdiff_t shift = (first - residue) / LineSpacingRows;
        const std::uint64_t* words = &m_bits[start(residue, x)];
        for (std::size_t i = 0; i < count; ++i) {
            out[i] = bitsAt(
                words, static_cast<std::ptrdiff_t>(m_words), static_cast<std::ptrdiff_t>(i) * 64 + shift);
        }
    }

private:
    std::size_t start(int residue, int x) const
    {
        return (static_cast<std::size_t>(residue) * static_cast<std::size_t>(m_width) +
                static_cast<std::size_t>(x)) *
               m_words;
    }

    int m_width;
    int m_height;
    std::size_t m_words;
    std::vector<std::uint64_t> m_bits;
};

// How a line of a candidate ended.
enum class LineEnd : std::uint8_t
{
    RightEdge,
    Dark,
    Top,
    Bottom,
};

// Calls fn(j) for each set bit j of words[i] & mask, clearing it in words.
template <typename Fn>
void takeBits(std::uint64_t* words, std::size_t i, std::uint64_t mask, Fn fn)
{
    std::uint64_t taken = words[i] & mask;
    words[i] &= ~mask;
    while (taken != 0) {
        fn(static_cast<int>(i * 64) + std::countr_zero(taken));
        taken &= taken - 1;
    }
}

// The set bits from first up to (not including) last of a line set, cleared, passed to fn.
template <typename Fn>
void takeRange(std::vector<std::uint64_t>& lines, int first, int last, Fn fn)
{
    for (int j = first; j < last;) {
        const auto word = static_cast<std::size_t>(j) / 64;
        const int bit = j % 64;
        const int upTo = std::min(last, static_cast<int>(word * 64) + 64);
        const int width = upTo - j;
        const std::uint64_t mask = (width == 64 ? ~std::uint64_t{0} : ((std::uint64_t{1} << width) - 1))
                                   << bit;
        takeBits(lines.data(), word, mask, fn);
        j = upTo;
    }
}

} // namespace

void reverseBitRow(const std::uint64_t* source, int bits, std::uint64_t* target)
{
    const std::size_t count = bitWords(bits);
    const unsigned padding = static_cast<unsigned>(count * 64) - static_cast<unsigned>(bits);
    for (std::size_t i = 0; i < count; ++i) {
        // Word i of the source reversed over all count * 64 bits, moved down past the padding.
        const std::uint64_t low = reverseWord(source[count - 1 - i]);
        const std::uint64_t high = i + 1 < count ? reverseWord(source[count - 2 - i]) : 0;
        target[i] = padding == 0 ? low : (low >> padding) | (high << (64 - padding));
    }
}

void transposeBits(
    const std::vector<const std::uint64_t*>& rows,
    int columns,
    std::uint64_t* target,
    std::size_t targetStride)
{
    const std::size_t rowBlocks = bitWords(static_cast<int>(rows.size()));
    const std::size_t columnBlocks = bitWords(columns);
    std::array<std::uint64_t, 64> block{};
    for (std::size_t rowBlock = 0; rowBlock < rowBlocks; ++rowBlock) {
        for (std::size_t columnBlock = 0; columnBlock < columnBlocks; ++columnBlock) {
            for (std::size_t i = 0; i < 64; ++i) {
                const std::size_t row = rowBlock * 64 + i;
                block[i] = row < rows.size() ? rows[row][columnBlock] : 0;
            }
            transposeBlock(block);
            const std::size_t last =
                std::min<std::size_t>(64, static_cast<std::size_t>(columns) - columnBlock * 64);
            for (std::size_t c = 0; c < last; ++c) {
                target[(columnBlock * 64 + c) * targetStride + rowBlock] = block[c];
            }
        }
    }
}

CandidateScores type2Scores(const DarkMask& page)
{
    const int height = page.height;
    const ResidueColumns columnBits(page);
    const std::vector<double> angles = candidateAngles();
    CandidateScores result;
    result.scores.assign(angles.size(), 0);
    int firstRow = 0;
    int lastRow = height - 1;
    std::vector<std::uint64_t> running;
    std::vector<std::uint64_t> dark;
    std::vector<LineEnd> ends;
    std::vector<std::int32_t> runs;
    for (std::size_t c = 0; c < angles.size(); ++c) {
        const LineSamples samples = lineSamples(angles[c], page.width);
        const std::vector<int>& columns = samples.columns;
        const std::vector<int>& rowOffsets = samples.rowOffsets;
        const int startRow = firstRow;
        if (startRow > lastRow) {
            continue;
        }
        const int lines = (lastRow - startRow) / LineSpacingRows + 1;
        const std::size_t words = bitWords(lines);
        running.assign(words, ~std::uint64_t{0});
        if (lines % 64 != 0) {
            running.back() = (std::uint64_t{1} << (lines % 64)) - 1;
        }
        dark.assign(words, 0);
        ends.assign(static_cast<std::size_t>(lines), LineEnd::RightEdge);
        runs.assign(static_cast<std::size_t>(lines), 0);
        // The lines below topDone have been checked against the top edge, those from bottomDone on
        // against the bottom one; bottomLine is the first line that left at the bottom, which ends
        // the candidate: the lines after it are never followed.
        int topDone = 0;
        int bottomDone = lines;
        int bottomLine = lines;
        for (std::size_t k = 0; k < columns.size(); ++k) {
            if (std::all_of(running.begin(), running.end(), [](std::uint64_t w) { return w == 0; })) {
                break;
            }
            // Line j reads row base + 15 j.
            const int base = startRow + rowOffsets[k];
            if (base < 0) {
                const int above = std::min(lines, (LineSpacingRows - 1 - base) / LineSpacingRows);
                if (above > topDone) {
                    takeRange(running, topDone, above, [&](int j) {
                        ends[static_cast<std::size_t>(j)] = LineEnd::Top;
                    });
                    topDone = above;
                }
            }
            const int below =
                base >= height ? 0 : std::min(lines, (height - base + LineSpacingRows - 1) / LineSpacingRows);
            if (below < bottomDone) {
                takeRange(running, below, bottomDone, [&](int j) {
                    ends[static_cast<std::size_t>(j)] = LineEnd::Bottom;
                    bottomLine = std::min(bottomLine, j);
                });
                bottomDone = below;
                takeRange(running, bottomLine, lines, [](int) {});
            }
            columnBits.column(columns[k], base, dark.data(), words);
            for (std::size_t i = 0; i < words; ++i) {
                takeBits(running.data(), i, dark[i], [&](int j) {
                    ends[static_cast<std::size_t>(j)] = LineEnd::Dark;
                    runs[static_cast<std::size_t>(j)] = static_cast<std::int32_t>(k);
                });
            }
        }
        std::int64_t score = 0;
        for (int j = 0; j < lines; ++j) {
            const auto line = static_cast<std::size_t>(j);
            if (ends[line] == LineEnd::Bottom) {
                lastRow = startRow + j * LineSpacingRows - LineSpacingRows;
                break;
            }
            switch (ends[line]) {
                case LineEnd::Top:
                    firstRow += LineSpacingRows;
                    break;
                case LineEnd::Dark:
                    result.metDark = true;
                    score += runs[line];
                    break;
                default:
                    score += static_cast<std::int64_t>(columns.size());
                    break;
            }
        }
        result.scores[c] = score;
    }
    return result;
}

double straightenType2(const DarkMask& page)
{
    DarkMask paper = page;
    readLeftStripAsPaper(paper);
    return type2Angle(type2Scores(paper));
}

} // namespace folvex
