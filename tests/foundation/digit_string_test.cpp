#include "foundation/digit_string.h"

#include <gtest/gtest.h>

namespace folvex {
namespace {

TEST(DigitStringModTest, ReducesNumbersOfAnyLength)
{
    struct Case
    {
        const char* digits;
        std::int64_t m;
        std::int64_t expected;
    };

    const Case cases[] = {
        {"", 7, 0},
        {"5", 3, 2},
        {"999999999", 1000, 999},
        {"123456789012345678901234567890", 97, 52},
        {"98765432109876543210987654321", 1000000007, 357991354},
        {"00000000000000000042", 10, 2},
        // Moduli with more than nine digits.
        {"1234567890123", 1000000000000, 234567890123},
        {"9999999999999999999999999999999999999999", 9223372036854775783, 1740246703508721281},
        {"12x45", 100, 12},
        {"17", 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.digits);
        EXPECT_EQ(DigitStringMod(c.digits, c.m), c.expected);
    }
}

} // namespace
} // namespace folvex
