#include "runtime/text.h"

#include <gtest/gtest.h>

namespace folvex {
namespace {

TEST(TextTest, UpperCasesCharacterByCharacter)
{
    struct Row
    {
        const char* input;
        const char* expected;
    };

    const Row rows[] = {
        {"weiß", "WEIß"},
        {"äöü éèê ÿ", "ÄÖÜ ÉÈÊ Ÿ"},
        {"łódź", "ŁÓDŹ"},
        {"straße 12 [a]", "STRAßE 12 [A]"},
        {"привет αβγ", "ПРИВЕТ ΑΒΓ"},
        {"already UPPER", "ALREADY UPPER"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.input);
        EXPECT_EQ(upperCase(row.input), row.expected);
        EXPECT_EQ(upperCase(lowerCase(row.expected)), row.expected);
    }
}

TEST(TextTest, MalformedBytesPassThroughUpperCasing)
{
    EXPECT_EQ(
        upperCase("a\xFF"
                  "b"),
        "A\xFF"
        "B");
}

TEST(TextTest, Cp1252RoundTrip)
{
    const std::string utf8 = "€ „Grüße“ – Œ ‰ ÿ";
    const std::string bytes = utf8ToCp1252(utf8);
    EXPECT_EQ(
        bytes,
        "\x80 \x84Gr\xFC\xDF"
        "e\x93 \x96 \x8C \x89 \xFF");
    EXPECT_EQ(cp1252ToUtf8(bytes), utf8);
}

TEST(TextTest, CharactersOutsideCp1252BecomeTheReplacement)
{
    EXPECT_EQ(utf8ToCp1252("a\u4E2Db\u0101"), "a?b?");
    EXPECT_EQ(utf8ToCp1252("\xC3", '#'), "#");
}

TEST(TextTest, MixedUtf8AndCp1252ReadsAsUtf8)
{
    EXPECT_EQ(utf8OrCp1252ToUtf8("wei\xDF"), "weiß");
    EXPECT_EQ(utf8OrCp1252ToUtf8("weiß"), "weiß");
    EXPECT_EQ(utf8OrCp1252ToUtf8("\x80 und €"), "€ und €");
}

TEST(TextTest, DecodingRejectsOverlongAndSurrogates)
{
    EXPECT_FALSE(isValidUtf8("\xC0\xAF"));
    EXPECT_FALSE(isValidUtf8("\xED\xA0\x80"));
    EXPECT_FALSE(isValidUtf8("\xF4\x90\x80\x80"));
    EXPECT_TRUE(isValidUtf8("\xF0\x9F\x98\x80"));
}

TEST(TextTest, LowerAsciiLeavesEveryOtherByte)
{
    // A locale-dependent tolower on single bytes could break the UTF-8 of "Ä" apart.
    EXPECT_EQ(lowerAscii("PNG Weiß ÄÖÜ [Z] @"), "png weiß ÄÖÜ [z] @");
}

TEST(TextTest, TrimBlanksAndFileNamePart)
{
    struct Row
    {
        const char* input;
        const char* trimmed;
        const char* fileName;
    };

    const Row rows[] = {
        {"  a b  ", "a b", "  a b  "},
        {"   ", "", "   "},
        {"", "", ""},
        {"\ta\t", "\ta\t", "\ta\t"},
        {"/tmp/scan 1.pdf", "/tmp/scan 1.pdf", "scan 1.pdf"},
        {"/tmp/", "/tmp/", ""},
        {"C:\\docs\\a.pdf", "C:\\docs\\a.pdf", "C:\\docs\\a.pdf"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.input);
        EXPECT_EQ(trimBlanks(row.input), row.trimmed);
        EXPECT_EQ(fileNamePart(row.input), row.fileName);
    }
}

} // namespace
} // namespace folvex
