#pragma once
// Writes one scanned page to its BMP file while the device delivers it, with no whole-page buffer.
// When the device announces the height, each line goes straight to its final place in the bottom-up
// file; when it does not (or the colours come in three passes), the lines go to a spool file in the
// same folder, unnamed from the start, and the BMP is made from it at the end. The page file is
// written under a temporary name and renamed only by commit(), so a cancelled or failed page leaves
// nothing behind. One object per page, used by one thread at a time.

#include "runtime/expected.h"
#include "runtime/safe_file.h"
#include "twain/bmp_page.h"
#include "twain/sane_image.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace folvex {

// What went wrong with a page: the device's data make no page, or the file could not be written.
enum class PageFault
{
    BadData,
    TooMuchData,
    NotWritten,
};

struct PageProblem
{
    PageFault fault = PageFault::BadData;
    std::string message; // BadData: what is wrong; NotWritten: the system's reason
};

class PageWriter
{
public:
    // The page's file depth follows the wanted one and the first frame: bilevel when wanted, colour
    // when wanted and the device sends colour, else grey. dpi is stored in the file.
    PageWriter(std::string path, BmpDepth wanted, double dpi);
    ~PageWriter();
    PageWriter(const PageWriter&) = delete;
    PageWriter& operator=(const PageWriter&) = delete;

    // Starts the next frame of the page; the first one creates the files. The frames are one grey
    // or RGB frame, or a red, a green and a blue one in any order.
    std::optional<PageProblem> beginFrame(const FrameLayout& layout);

    // Takes the next bytes of the current frame, in any split; whole lines are converted and written.
    std::optional<PageProblem> write(const std::uint8_t* data, std::size_t size);

    // True when the current frame holds all its lines (unknown height: at least one).
    bool frameComplete() const;

    // Bytes taken for the current frame.
    std::size_t frameBytes() const { return m_frameBytes; }

    // After the last frame: completes the file under its temporary name and flushes it to disk.
    std::optional<PageProblem> finish();

    // Renames the finished file to the page's name.
    std::optional<PageProblem> commit();

    // The temporary page file while one exists (empty before the first frame and after commit).
    std::string temporaryPath() const;

    const std::string& path() const { return m_path; }

private:
    std::optional<PageProblem> open(const FrameLayout& layout);
    std::optional<PageProblem> takeLine(const std::uint8_t* line);
    std::optional<PageProblem> flushBlock();
    std::optional<PageProblem> buildFromSpool();

    const std::string m_path;
    const BmpDepth m_wanted;
    const double m_dpi;

    std::optional<SafeFileWriter> m_file;
    int m_spool = -1;             // spool file descriptor; -1: lines go straight to the page file
    std::size_t m_dataOffset = 0; // of the first row in the page file
    BmpDepth m_depth = BmpDepth::Grey;
    int m_width = 0;
    int m_channels = 1;    // samples per pixel of the page
    int m_height = -1;     // announced height; -1 unknown
    int m_spoolLines = -1; // lines of the first frame in the spool
    bool m_threePass = false;
    bool m_channelSeen[3] = {false, false, false};

    FrameLayout m_frame;
    int m_channel = -1; // the pass's colour (0 red, 1 green, 2 blue); -1 all samples
    std::size_t m_frameBytes = 0;
    std::size_t m_frameLines = 0;
    std::vector<std::uint8_t> m_partial; // an incomplete line carried to the next write
    std::vector<std::uint8_t> m_samples; // one converted line

    std::vector<std::uint8_t> m_block; // converted lines not yet written
    std::size_t m_blockCapacity = 0;   // lines
    std::size_t m_blockLines = 0;
    std::size_t m_blockFirst = 0; // line number of the block's first line
};

} // namespace folvex
