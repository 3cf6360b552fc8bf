#pragma once
// UTF-8 text helpers shared by computing code: decoding and encoding code points, the Windows-1252
// table and per-character upper-casing. Any thread; no state.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace folvex {

inline constexpr char32_t ReplacementCharacter = 0xFFFD;

// Decodes the code point at text[pos] and advances pos; malformed bytes give nullopt and advance by one.
std::optional<char32_t> decodeUtf8(std::string_view text, std::size_t& pos);

void appendUtf8(std::string& out, char32_t codePoint);

// True when the whole text is well-formed UTF-8.
bool isValidUtf8(std::string_view text);

// The Windows-1252 byte of a code point; nullopt when the code page has none.
std::optional<std::uint8_t> unicodeToCp1252(char32_t codePoint);

// The code point of a Windows-1252 byte; the five unassigned bytes map to themselves (as C1 controls).
char32_t cp1252ToUnicode(std::uint8_t byte);

// UTF-8 to Windows-1252; characters the code page lacks become replacement.
std::string utf8ToCp1252(std::string_view utf8, char replacement = '?');

std::string cp1252ToUtf8(std::string_view bytes);

// Reads bytes that are UTF-8 where they are well-formed and Windows-1252 where they are not.
std::string utf8OrCp1252ToUtf8(std::string_view bytes);

// Upper-cases character by character: every character maps to exactly one character, so "ß" stays "ß".
char32_t upperCaseChar(char32_t codePoint);

std::string upperCase(std::string_view utf8);

char32_t lowerCaseChar(char32_t codePoint);

std::string lowerCase(std::string_view utf8);

} // namespace folvex
