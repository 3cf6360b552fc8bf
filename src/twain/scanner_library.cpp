#include "twain/scanner_library.h"

#include "runtime/text.h"

namespace folvex {

std::string limitCharacters(const std::string& text, int maxChars)
{
    if (maxChars <= 0) {
        return {};
    }
    std::size_t pos = 0;
    int count = 0;
    while (pos < text.size() && count < maxChars) {
        (void)decodeUtf8(text, pos);
        ++count;
    }
    return text.substr(0, pos);
}

} // namespace folvex
