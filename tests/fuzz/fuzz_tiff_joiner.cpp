// libFuzzer entry for the TIFF page joiner: the bytes are a single-page TIFF appended twice to a
// joined file. Whatever the bytes, the joiner must not read outside them, and a page it accepts must
// leave a joined file whose every page link points inside it.
#include "runtime/safe_file.h"
#include "scan/tiff_pages.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

namespace {

std::uint32_t little32(const std::string& data, std::size_t at)
{
    std::uint32_t value = 0;
    for (std::size_t i = 0; i < 4; ++i) {
        value |= static_cast<std::uint32_t>(static_cast<unsigned char>(data[at + i])) << (8 * i);
    }
    return value;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace folvex;
    static const PrivateFolder folder = PrivateFolder::create("/tmp").value();
    const std::string page = folder.file("page.tiff");
    const std::string joined = folder.file("joined.tiff");
    if (!writeFileSafely(page, std::string_view(reinterpret_cast<const char*>(data), size))) {
        return 0;
    }
    std::remove(joined.c_str());
    TiffPageJoiner joiner;
    if (!joiner.open(joined)) {
        std::abort();
    }
    const bool first = joiner.appendFile(page);
    const bool second = joiner.appendFile(page);
    if (first != second || joiner.close() != first) {
        std::abort();
    }
    if (first) {
        // Follow the page links: two pages, each IFD inside the file.
        const std::string out = readWholeFile(joined).value();
        std::uint32_t ifd = little32(out, 4);
        int pages = 0;
        while (ifd != 0) {
            if (ifd + 2 > out.size() || ++pages > 2) {
                std::abort();
            }
            const std::size_t entries = static_cast<unsigned char>(out[ifd]) |
                                        static_cast<std::size_t>(static_cast<unsigned char>(out[ifd + 1]))
                                            << 8;
            const std::size_t next = ifd + 2 + entries * 12;
            if (next + 4 > out.size()) {
                std::abort();
            }
            ifd = little32(out, next);
        }
        if (pages != 2) {
            std::abort();
        }
    }
    return 0;
}
