#include "runtime/md5.h"

#include <algorithm>
#include <cstring>

namespace folvex {

namespace {

constexpr std::uint32_t SineTable[64] = {
    0xd76aa478, 0xe8c7b756, 0x242070db, 0xc1bdceee, 0xf57c0faf, 0x4787c62a, 0xa8304613, 0xfd469501,
    0x698098d8, 0x8b44f7af, 0xffff5bb1, 0x895cd7be, 0x6b901122, 0xfd987193, 0xa679438e, 0x49b40821,
    0xf61e2562, 0xc040b340, 0x265e5a51, 0xe9b6c7aa, 0xd62f105d, 0x02441453, 0xd8a1e681, 0xe7d3fbc8,
    0x21e1cde6, 0xc33707d6, 0xf4d50d87, 0x455a14ed, 0xa9e3e905, 0xfcefa3f8, 0x676f02d9, 0x8d2a4c8a,
    0xfffa3942, 0x8771f681, 0x6d9d6122, 0xfde5380c, 0xa4beea44, 0x4bdecfa9, 0xf6bb4b60, 0xbebfbc70,
    0x289b7ec6, 0xeaa127fa, 0xd4ef3085, 0x04881d05, 0xd9d4d039, 0xe6db99e5, 0x1fa27cf8, 0xc4ac5665,
    0xf4292244, 0x432aff97, 0xab9423a7, 0xfc93a039, 0x655b59c3, 0x8f0ccc92, 0xffeff47d, 0x85845dd1,
    0x6fa87e4f, 0xfe2ce6e0, 0xa3014314, 0x4e0811a1, 0xf7537e82, 0xbd3af235, 0x2ad7d2bb, 0xeb86d391};

constexpr int Shifts[64] = {7, 12, 17, 22, 7, 12, 17, 22, 7, 12, 17, 22, 7, 12, 17, 22,
                            5, 9,  14, 20, 5, 9,  14, 20, 5, 9,  14, 20, 5, 9,  14, 20,
                            4, 11, 16, 23, 4, 11, 16, 23, 4, 11, 16, 23, 4, 11, 16, 23,
                            6, 10, 15, 21, 6, 10, 15, 21, 6, 10, 15, 21, 6, 10, 15, 21};

std::uint32_t rotateLeft(std::uint32_t value, int bits)
{
    return (value << bits) | (value >> (32 - bits));
}

} // namespace

Md5::Md5()
    : m_state{0x67452301, 0xefcdab89, 0x98badcfe, 0x10325476}
{}

void Md5::transform(const std::uint8_t* block)
{
    std::uint32_t words[16];
    for (int i = 0; i < 16; ++i) {
        words[i] = static_cast<std::uint32_t>(block[i * 4]) |
                   static_cast<std::uint32_t>(block[i * 4 + 1]) << 8 |
                   static_cast<std::uint32_t>(block[i * 4 + 2]) << 16 |
                   static_cast<std::uint32_t>(block[i * 4 + 3]) << 24;
    }
    std::uint32_t a = m_state[0];
    std::uint32_t b = m_state[1];
    std::uint32_t c = m_state[2];
    std::uint32_t d = m_state[3];
    for (int i = 0; i < 64; ++i) {
        std::uint32_t f = 0;
        int g = 0;
        if (i < 16) {
            f = (b & c) | (~b & d);
            g = i;
        } else if (i < 32) {
            f = (d & b) | (~d & c);
            g = (5 * i + 1) % 16;
        } else if (i < 48) {
            f = b ^ c ^ d;
            g = (3 * i + 5) % 16;
        } else {
            f = c ^ (b | ~d);
            g = (7 * i) % 16;
        }
        const std::uint32_t next = d;
        d = c;
        c = b;
        b = b + rotateLeft(a + f + SineTable[i] + words[g], Shifts[i]);
        a = next;
    }
    m_state[0] += a;
    m_state[1] += b;
    m_state[2] += c;
    m_state[3] += d;
}

void Md5::update(const void* data, std::size_t size)
{
    const auto* bytes = static_cast<const std::uint8_t*>(data);
    std::size_t used = static_cast<std::size_t>(m_length % 64);
    m_length += size;
    if (used > 0) {
        const std::size_t take = std::min(size, 64 - used);
        std::memcpy(m_buffer.data() + used, bytes, take);
        bytes += take;
        size -= take;
        used += take;
        if (used < 64) {
            return;
        }
        transform(m_buffer.data());
    }
    while (size >= 64) {
        transform(bytes);
        bytes += 64;
        size -= 64;
    }
    if (size > 0) {
        std::memcpy(m_buffer.data(), bytes, size);
    }
}

Md5Digest Md5::finish()
{
    const std::uint64_t bitLength = m_length * 8;
    const std::uint8_t padStart = 0x80;
    update(&padStart, 1);
    const std::uint8_t zero = 0;
    while (m_length % 64 != 56) {
        update(&zero, 1);
    }
    std::uint8_t lengthBytes[8];
    for (int i = 0; i < 8; ++i) {
        lengthBytes[i] = static_cast<std::uint8_t>(bitLength >> (8 * i));
    }
    update(lengthBytes, 8);
    Md5Digest digest{};
    for (int i = 0; i < 4; ++i) {
        for (int k = 0; k < 4; ++k) {
            digest[static_cast<std::size_t>(i * 4 + k)] = static_cast<std::uint8_t>(m_state[i] >> (8 * k));
        }
    }
    return digest;
}

Md5Digest md5(std::string_view data)
{
    Md5 digest;
    digest.update(data);
    return digest.finish();
}

std::string toHex(const std::uint8_t* data, std::size_t size, bool upperCase)
{
    const char* digits = upperCase ? "0123456789ABCDEF" : "0123456789abcdef";
    std::string text;
    text.reserve(size * 2);
    for (std::size_t i = 0; i < size; ++i) {
        text += digits[data[i] >> 4];
        text += digits[data[i] & 0x0f];
    }
    return text;
}

std::string toHex(const Md5Digest& digest, bool upperCase)
{
    return toHex(digest.data(), digest.size(), upperCase);
}

} // namespace folvex
