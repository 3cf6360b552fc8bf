#pragma once
// UTF-8 text helpers shared by computing code: decoding and encoding code points, the Windows-1252
// table, per-character upper-casing, ASCII lower-casing, trimming blanks and a path's file name part.
// Any thread; no state.

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

// Lower-cases the letters A-Z only, whatever the locale; every other byte (UTF-8 included) stays.
// For names compared without case: file extensions, colour names.
std::string lowerAscii(std::string_view text);

// The text without the spaces at its start and end (other white space stays). The result views the
// argument, so a temporary string cannot be passed.
std::string_view trimBlanks(std::string_view text);

inline std::string_view trimBlanks(const char* text)
{
    return trimBlanks(std::string_view(text));
}

std::string_view trimBlanks(std::string&& text) = delete;

// The text after the last "/" (the whole text when it has none). Views the argument, as trimBlanks.
std::string_view fileNamePart(std::string_view path);

inline std::string_view fileNamePart(const char* path)
{
    return fileNamePart(std::string_view(path));
}

std::string_view fileNamePart(std::string&& path) = delete;

} // namespace folvex
