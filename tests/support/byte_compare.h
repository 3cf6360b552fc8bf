#pragma once
// Byte-for-byte comparison of written files that names the first differing byte on failure, so a
// wrong line end or encoding is easy to see.

#include <gtest/gtest.h>

#include <string>

namespace folvex::testing {

inline ::testing::AssertionResult sameBytes(const std::string& actual, const std::string& expected)
{
    if (actual == expected) {
        return ::testing::AssertionSuccess();
    }
    std::size_t at = 0;
    while (at < actual.size() && at < expected.size() && actual[at] == expected[at]) {
        ++at;
    }
    return ::testing::AssertionFailure()
           << "first difference at byte " << at << "\n  actual:   " << ::testing::PrintToString(actual)
           << "\n  expected: " << ::testing::PrintToString(expected);
}

} // namespace folvex::testing
