#pragma once
// MD5 message digest (RFC 1321), fed in chunks of any size.
// Any thread; one object per digest.

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace folvex {

using Md5Digest = std::array<std::uint8_t, 16>;

class Md5
{
public:
    Md5();

    void update(const void* data, std::size_t size);

    void update(std::string_view text) { update(text.data(), text.size()); }

    // Ends the digest; the object must not be updated afterwards.
    Md5Digest finish();

private:
    void transform(const std::uint8_t* block);

    std::array<std::uint32_t, 4> m_state;
    std::array<std::uint8_t, 64> m_buffer{};
    std::uint64_t m_length = 0;
};

Md5Digest md5(std::string_view data);

// Lower-case hexadecimal text of a digest or any byte string.
std::string toHex(const std::uint8_t* data, std::size_t size, bool upperCase = false);

std::string toHex(const Md5Digest& digest, bool upperCase = false);

} // namespace folvex
