#include "twain/sane_page_writer.h"

#include "runtime/checked_cast.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace folvex {

namespace {

// Converted lines are written in blocks of about this size.
constexpr std::size_t BlockBytes = std::size_t{1} << 20;
// Data beyond the announced lines that is tolerated (and dropped) before the page counts as broken.
constexpr std::size_t ExtraBytesAllowed = 256 * 1024;
// Refuses pages of unknown height beyond this size: a device that sends endless data must not fill
// the disk.
constexpr std::size_t MaxPageBytes = std::size_t{2} << 30;
// Longer lines are refused: no scanner sends them, and the buffers of a line must stay small.
constexpr int MaxLineBytes = 64 << 20;

PageProblem badData(const std::string& what)
{
    return {PageFault::BadData, what};
}

PageProblem notWritten(int code)
{
    return {PageFault::NotWritten, std::strerror(code != 0 ? code : EIO)};
}

// Reads or writes all size bytes at offset; 0 or the errno of the failure. A read that meets the end
// of the file gives zeros for the rest.
int transferAt(int fd, std::uint8_t* data, std::size_t size, std::size_t offset, bool writing)
{
    while (size > 0) {
        const ssize_t done = writing ? ::pwrite(fd, data, size, static_cast<off_t>(offset))
                                     : ::pread(fd, data, size, static_cast<off_t>(offset));
        if (done < 0 && errno == EINTR) {
            continue;
        }
        if (done < 0) {
            return errno;
        }
        if (done == 0) {
            if (writing) {
                return EIO;
            }
            std::fill(data, data + size, std::uint8_t{0});
            return 0;
        }
        data += done;
        size -= static_cast<std::size_t>(done);
        offset += static_cast<std::size_t>(done);
    }
    return 0;
}

int writeAt(int fd, const std::uint8_t* data, std::size_t size, std::size_t offset)
{
    // pwrite only reads the buffer.
    return transferAt(fd, const_cast<std::uint8_t*>(data), size, offset, true);
}

int readAt(int fd, std::uint8_t* data, std::size_t size, std::size_t offset)
{
    return transferAt(fd, data, size, offset, false);
}

int channelOf(FrameFormat format)
{
    switch (format) {
        case FrameFormat::Red:
            return 0;
        case FrameFormat::Green:
            return 1;
        case FrameFormat::Blue:
            return 2;
        default:
            return -1;
    }
}

} // namespace

PageWriter::PageWriter(std::string path, BmpDepth wanted, double dpi)
    : m_path(std::move(path))
    , m_wanted(wanted)
    , m_dpi(dpi)
{}

PageWriter::~PageWriter()
{
    if (m_spool >= 0) {
        ::close(m_spool);
    }
}

std::string PageWriter::temporaryPath() const
{
    return m_file ? m_file->temporaryPath() : std::string();
}

std::optional<PageProblem> PageWriter::open(const FrameLayout& layout)
{
    m_width = layout.pixelsPerLine;
    m_threePass = channelOf(layout.format) >= 0;
    const bool colour = m_threePass || layout.format == FrameFormat::Rgb;
    m_channels = colour ? 3 : 1;
    m_depth = m_wanted == BmpDepth::Bilevel            ? BmpDepth::Bilevel
              : m_wanted == BmpDepth::Colour && colour ? BmpDepth::Colour
                                                       : BmpDepth::Grey;
    m_height = layout.lines;
    auto file = SafeFileWriter::create(m_path);
    if (!file) {
        return notWritten(file.error().code);
    }
    m_file.emplace(std::move(*file));
    std::size_t rowBytes = 0;
    if (m_height > 0 && !m_threePass) {
        auto header = bmpHeader(m_width, m_height, m_depth, m_dpi);
        if (!header) {
            return PageProblem{PageFault::NotWritten, header.error().message};
        }
        if (const int code = writeAt(
                ::fileno(m_file->stream()),
                reinterpret_cast<const std::uint8_t*>(header->data()),
                header->size(),
                0)) {
            return notWritten(code);
        }
        rowBytes = bmpRowBytes(m_width, m_depth);
        m_dataOffset = header->size();
    } else {
        // The spool needs no name: it is removed from the folder at once and vanishes with its
        // descriptor, also when the program dies.
        const std::string spoolPath = makeTemporaryName(m_path);
        m_spool = ::open(spoolPath.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (m_spool < 0) {
            return notWritten(errno);
        }
        ::unlink(spoolPath.c_str());
        rowBytes = static_cast<std::size_t>(m_width) * static_cast<std::size_t>(m_channels);
    }
    m_blockCapacity = std::max<std::size_t>(1, BlockBytes / rowBytes);
    m_block.resize(m_blockCapacity * rowBytes);
    return std::nullopt;
}

std::optional<PageProblem> PageWriter::beginFrame(const FrameLayout& layout)
{
    if (!lineLayoutUsable(layout) || layout.lines == 0 || layout.bytesPerLine > MaxLineBytes) {
        return badData("nicht unterstützte Bildparameter");
    }
    const int channel = channelOf(layout.format);
    if (!m_file) {
        if (auto problem = open(layout)) {
            return problem;
        }
    } else {
        if (auto problem = flushBlock()) {
            return problem;
        }
        if (m_spoolLines < 0) {
            m_spoolLines = static_cast<int>(m_frameLines);
        }
        const bool consistent = m_threePass && channel >= 0 && !m_channelSeen[channel] && frameComplete() &&
                                layout.pixelsPerLine == m_width && layout.lines == m_height &&
                                m_frameLines == static_cast<std::size_t>(m_spoolLines);
        if (!consistent) {
            return badData("unerwartete Folge von Bildteilen");
        }
    }
    if (channel >= 0) {
        m_channelSeen[channel] = true;
    }
    m_frame = layout;
    m_channel = channel;
    m_frameBytes = 0;
    m_frameLines = 0;
    m_partial.clear();
    m_partial.reserve(static_cast<std::size_t>(layout.bytesPerLine));
    m_samples.resize(
        static_cast<std::size_t>(m_width) * static_cast<std::size_t>(samplesPerPixel(layout.format)));
    m_blockLines = 0;
    m_blockFirst = 0;
    return std::nullopt;
}

std::optional<PageProblem> PageWriter::write(const std::uint8_t* data, std::size_t size)
{
    if (!m_file) {
        return badData("Bilddaten ohne Bildparameter");
    }
    m_frameBytes += size;
    const std::size_t lineBytes = static_cast<std::size_t>(m_frame.bytesPerLine);
    const std::size_t limit = m_frame.lines > 0
                                  ? static_cast<std::size_t>(m_frame.lines) * lineBytes + ExtraBytesAllowed
                                  : MaxPageBytes;
    if (m_frameBytes > limit) {
        return PageProblem{PageFault::TooMuchData, "mehr Bilddaten als angekündigt"};
    }
    if (!m_partial.empty()) {
        const std::size_t take = std::min(size, lineBytes - m_partial.size());
        m_partial.insert(m_partial.end(), data, data + take);
        data += take;
        size -= take;
        if (m_partial.size() < lineBytes) {
            return std::nullopt;
        }
        if (auto problem = takeLine(m_partial.data())) {
            return problem;
        }
        m_partial.clear();
    }
    for (; size >= lineBytes; data += lineBytes, size -= lineBytes) {
        if (auto problem = takeLine(data)) {
            return problem;
        }
    }
    m_partial.assign(data, data + size);
    return std::nullopt;
}

std::optional<PageProblem> PageWriter::takeLine(const std::uint8_t* line)
{
    if (m_frame.lines > 0 && m_frameLines >= static_cast<std::size_t>(m_frame.lines)) {
        return std::nullopt; // beyond the announced height: dropped
    }
    if (m_spoolLines >= 0 && m_frameLines >= static_cast<std::size_t>(m_spoolLines)) {
        return badData("unerwartete Folge von Bildteilen"); // a later pass longer than the first
    }
    if (m_blockLines == m_blockCapacity) {
        if (auto problem = flushBlock()) {
            return problem;
        }
    }
    if (m_blockLines == 0) {
        m_blockFirst = m_frameLines;
    }
    if (m_spool < 0) {
        // Lines come top-down, the file holds them bottom-up: the block fills from its end.
        const std::size_t rowBytes = bmpRowBytes(m_width, m_depth);
        std::uint8_t* row = m_block.data() + (m_blockCapacity - 1 - m_blockLines) * rowBytes;
        if (!convertLineToBmpRow(m_frame, line, m_depth, row)) {
            convertLine(m_frame, line, m_samples.data());
            encodeBmpRow(m_samples.data(), m_channels, m_width, m_depth, row);
        }
    } else {
        convertLine(m_frame, line, m_block.data() + m_blockLines * m_samples.size());
    }
    ++m_blockLines;
    ++m_frameLines;
    return std::nullopt;
}

std::optional<PageProblem> PageWriter::flushBlock()
{
    const std::size_t count = std::exchange(m_blockLines, 0);
    if (count == 0) {
        return std::nullopt;
    }
    if (m_spool < 0) {
        const std::size_t rowBytes = bmpRowBytes(m_width, m_depth);
        const std::size_t fileRow = static_cast<std::size_t>(m_height) - m_blockFirst - count;
        const int code = writeAt(
            ::fileno(m_file->stream()),
            m_block.data() + (m_blockCapacity - count) * rowBytes,
            count * rowBytes,
            m_dataOffset + fileRow * rowBytes);
        return code != 0 ? std::optional(notWritten(code)) : std::nullopt;
    }
    const std::size_t spoolRow = static_cast<std::size_t>(m_width) * static_cast<std::size_t>(m_channels);
    const std::size_t offset = m_blockFirst * spoolRow;
    if (m_channel < 0) {
        const int code = writeAt(m_spool, m_block.data(), count * spoolRow, offset);
        return code != 0 ? std::optional(notWritten(code)) : std::nullopt;
    }
    // One colour of a three-pass scan: merged into the lines the other passes left in the spool.
    std::vector<std::uint8_t> merged(count * spoolRow);
    if (const int code = readAt(m_spool, merged.data(), merged.size(), offset)) {
        return notWritten(code);
    }
    const std::size_t width = static_cast<std::size_t>(m_width);
    const std::size_t pixels = count * width;
    const std::uint8_t* from = m_block.data();
    std::uint8_t* to = merged.data() + m_channel;
    for (std::size_t i = 0; i < pixels; ++i) {
        to[3 * i] = from[i];
    }
    const int code = writeAt(m_spool, merged.data(), merged.size(), offset);
    return code != 0 ? std::optional(notWritten(code)) : std::nullopt;
}

bool PageWriter::frameComplete() const
{
    if (!m_file) {
        return false;
    }
    return m_frame.lines > 0 ? m_frameLines >= static_cast<std::size_t>(m_frame.lines) : m_frameLines > 0;
}

std::optional<PageProblem> PageWriter::buildFromSpool()
{
    const int lines = m_height > 0 ? m_height : m_spoolLines;
    auto header = bmpHeader(m_width, lines, m_depth, m_dpi);
    if (!header) {
        return PageProblem{PageFault::NotWritten, header.error().message};
    }
    const int fd = ::fileno(m_file->stream());
    if (const int code =
            writeAt(fd, reinterpret_cast<const std::uint8_t*>(header->data()), header->size(), 0)) {
        return notWritten(code);
    }
    const std::size_t spoolRow = static_cast<std::size_t>(m_width) * static_cast<std::size_t>(m_channels);
    const std::size_t rowBytes = bmpRowBytes(m_width, m_depth);
    const std::size_t chunk = std::max<std::size_t>(1, BlockBytes / std::max(spoolRow, rowBytes));
    std::vector<std::uint8_t> samples(chunk * spoolRow);
    std::vector<std::uint8_t> rows(chunk * rowBytes);
    std::size_t offset = header->size();
    // The file's first row is the page's last line: the spool is read back from its end.
    for (std::size_t top = static_cast<std::size_t>(lines); top > 0;) {
        const std::size_t count = std::min(chunk, top);
        top -= count;
        if (const int code = readAt(m_spool, samples.data(), count * spoolRow, top * spoolRow)) {
            return notWritten(code);
        }
        for (std::size_t j = 0; j < count; ++j) {
            encodeBmpRow(
                samples.data() + (count - 1 - j) * spoolRow,
                m_channels,
                m_width,
                m_depth,
                rows.data() + j * rowBytes);
        }
        if (const int code = writeAt(fd, rows.data(), count * rowBytes, offset)) {
            return notWritten(code);
        }
        offset += count * rowBytes;
    }
    return std::nullopt;
}

std::optional<PageProblem> PageWriter::finish()
{
    if (!m_file || !frameComplete()) {
        return badData("unvollständige Bilddaten");
    }
    if (auto problem = flushBlock()) {
        return problem;
    }
    if (m_spoolLines < 0) {
        m_spoolLines = static_cast<int>(m_frameLines);
    }
    if (m_threePass) {
        const bool allPasses = m_channelSeen[0] && m_channelSeen[1] && m_channelSeen[2] &&
                               m_frameLines == static_cast<std::size_t>(m_spoolLines);
        if (!allPasses) {
            return badData("unerwartete Folge von Bildteilen");
        }
    }
    if (m_spool >= 0) {
        if (auto problem = buildFromSpool()) {
            return problem;
        }
    }
    // Flushed here, so that commit() only renames.
    if (::fdatasync(::fileno(m_file->stream())) != 0) {
        return notWritten(errno);
    }
    return std::nullopt;
}

std::optional<PageProblem> PageWriter::commit()
{
    if (!m_file) {
        return badData("keine Bilddaten");
    }
    auto committed = m_file->commit();
    m_file.reset();
    if (!committed) {
        return notWritten(committed.error().code);
    }
    return std::nullopt;
}

} // namespace folvex
