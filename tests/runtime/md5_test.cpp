#include "runtime/md5.h"

#include <gtest/gtest.h>

#include <string>

namespace folvex {
namespace {

struct Md5Case
{
    const char* input;
    const char* digest;
};

// The test suite of RFC 1321, appendix A.5.
constexpr Md5Case Rfc1321Vectors[] = {
    {"", "d41d8cd98f00b204e9800998ecf8427e"},
    {"a", "0cc175b9c0f1b6a831c399e269772661"},
    {"abc", "900150983cd24fb0d6963f7d28e17f72"},
    {"message digest", "f96b697d7cb7938d525a2f31aaf161d0"},
    {"abcdefghijklmnopqrstuvwxyz", "c3fcd3d76192e4007dfb496cca67e13b"},
    {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789", "d174ab98d277d9f5a5611c2c9f419d9f"},
    {"12345678901234567890123456789012345678901234567890123456789012345678901234567890",
     "57edf4a22be3c955ac49da2e2107b67a"},
};

TEST(Md5Test, MatchesTheReferenceVectors)
{
    for (const Md5Case& row : Rfc1321Vectors) {
        SCOPED_TRACE(row.input);
        EXPECT_EQ(toHex(md5(row.input)), row.digest);
    }
}

TEST(Md5Test, UnevenChunksGiveTheSameDigest)
{
    for (const Md5Case& row : Rfc1321Vectors) {
        SCOPED_TRACE(row.input);
        const std::string input = row.input;
        for (std::size_t chunk : {1u, 3u, 7u, 63u, 64u, 65u}) {
            Md5 digest;
            for (std::size_t pos = 0; pos < input.size(); pos += chunk) {
                digest.update(std::string_view(input).substr(pos, chunk));
            }
            EXPECT_EQ(toHex(digest.finish()), row.digest) << "chunk " << chunk;
        }
    }
}

TEST(Md5Test, UpperCaseHex)
{
    EXPECT_EQ(toHex(md5("abc"), true), "900150983CD24FB0D6963F7D28E17F72");
}

} // namespace
} // namespace folvex
