#include "foundation/digit_string.h"

namespace folvex {

std::int64_t DigitStringMod(const std::string& digits, std::int64_t m)
{
    if (m <= 0) {
        return 0;
    }
    // Digit by digit in 128 bits: rest * 10 + 9 stays far below the limit for every 64-bit m, so
    // moduli above 10^9 work too.
    __extension__ using Wide = unsigned __int128;
    const Wide modulus = static_cast<Wide>(m);
    Wide rest = 0;
    for (const char c : digits) {
        if (c < '0' || c > '9') {
            break;
        }
        rest = (rest * 10 + static_cast<Wide>(c - '0')) % modulus;
    }
    return static_cast<std::int64_t>(rest);
}

} // namespace folvex
