#include "foundation/ini_file.h"

#include "support/byte_compare.h"
#include "support/fakes.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <string>

namespace folvex {
namespace {

struct ReadCase
{
    const char* label;
    std::string content;
    const char* section;
    const char* key;
    std::string expected;
};

// A section of count keys k1=1, k2=2, ...
std::string manyKeys(int count)
{
    std::string text = "[A]\r\n";
    for (int i = 1; i <= count; ++i) {
        text += "k" + std::to_string(i) + "=" + std::to_string(i) + "\r\n";
    }
    return text;
}

TEST(ReadIniTest, FindsValuesAsWritten)
{
    const ReadCase cases[] = {
        {"section and key in any case", "[Sec]\r\nKey=v\r\n", "sEC", "KEY", "v"},
        {"first entry wins", "[A]\r\nk=1\r\nk=2\r\n", "A", "k", "1"},
        {"section ends at the next header", "[A]\r\nx=1\r\n[B]\r\ny=2\r\n", "a", "Y", ""},
        {"later copy of the section", "[A]\r\nx=1\r\n[B]\r\ny=2\r\n[A]\r\ny=3\r\n", "A", "y", "3"},
        {"first copy of the section wins", "[A]\r\nk=1\r\n[B]\r\nk=2\r\n[a]\r\nk=3\r\n", "A", "k", "1"},
        {"entry without =", "[A]\r\nk\r\nk=2\r\n", "A", "k", ""},
        {"value keeps a second =", "[A]\r\nk=a=b\r\n", "A", "k", "a=b"},
        {"value ending in ]", "[A]\r\nPfad=[x]\r\nn=2\r\n", "A", "Pfad", "[x]"},
        {"entry after a value ending in ]", "[A]\r\nPfad=[x]\r\nn=2\r\n", "A", "n", "2"},
        {"Windows-1252 byte", "[A]\r\nName=wei\xdf\r\n", "A", "Name", "weiß"},
        {"UTF-8 text", "[A]\r\nName=weiß\r\n", "A", "Name", "weiß"},
        {"section upper-cased per character", "[GRÖßE]\r\nk=1\r\n", "größe", "k", "1"},
        {"CR line ends, no end at the last line", "[A]\rx=1\ry=2", "A", "y", "2"},
        {"LF line ends and blank lines", "[A]\n\n  \nx=1\n", "A", "x", "1"},
        {"header not trimmed", "[ A ]\r\nk=1\r\n", "A", "k", ""},
        {"missing section", "[A]\r\nk=1\r\n", "B", "k", ""},
        {"missing key", "[A]\r\nk=1\r\n", "A", "j", ""},
        {"key upper-cased per character", "[A]\r\nmaß=1\r\nÄnderung=2\r\n", "A", "äNDERUNG", "2"},
        {"Windows-1252 key", "[A]\r\n\xe4nderung=1\r\n", "A", "Änderung", "1"},
        {"lower-case header with umlauts", "[größe]\r\nk=1\r\n", "GRÖßE", "k", "1"},
        {"first of keys alike but for case", "[A]\r\nkey=1\r\nKEY=2\r\nKey=3\r\n", "A", "kEy", "1"},
        {"header after a CR alone", "[A]\rk=1\r[B]\rk=2\r", "B", "k", "2"},
        {"[ inside a line starts no section", "[A]\r\nk=x[B]\r\nj=2\r\n", "A", "j", "2"},
        {"last of many keys", manyKeys(300), "A", "K300", "300"},
        {"missing among many keys", manyKeys(300), "A", "k301", ""},
    };
    testing::TempDir dir;
    const std::string file = dir.file("Folvex.ini");
    for (const ReadCase& c : cases) {
        SCOPED_TRACE(c.label);
        testing::writeFile(file, c.content);
        EXPECT_EQ(ReadIni(file, c.section, c.key), c.expected);
        // One reading of the file answers alike.
        EXPECT_EQ(IniSnapshot::read(file).value(c.section, c.key), c.expected);
    }
}

TEST(ReadIniTest, ReportsMissingAndUnreadableFiles)
{
    testing::ScopedFakeEffects fakes;
    testing::TempDir dir;
    const std::string missing = dir.file("fehlt.ini");
    fakes.messages.queueAnswer(MessageAnswer::Ok);
    EXPECT_EQ(ReadIni(missing, "A", "k"), "");
    ASSERT_EQ(fakes.messages.shown.size(), 1u);
    EXPECT_EQ(fakes.messages.shown[0].text, "ReadIni: " + missing + " nicht gefunden.");
    EXPECT_EQ(fakes.messages.shown[0].buttons, MessageButtons::OkCancel);

    // A folder is no ini file either.
    fakes.messages.queueAnswer(MessageAnswer::Cancel);
    EXPECT_THROW(ReadIni(dir.path().string(), "A", "k"), testing::ProgramEnded);
    EXPECT_EQ(fakes.exit.codes, std::vector<int>{-1});

    // Exists, but every read fails (as root no permission bit stops a read).
    fakes.messages.queueAnswer(MessageAnswer::Ok);
    EXPECT_EQ(ReadIni("/proc/self/mem", "A", "k"), "");
    ASSERT_EQ(fakes.messages.shown.size(), 3u);
    EXPECT_EQ(
        fakes.messages.shown[2].text,
        "ReadIni: /proc/self/mem zwar gefunden, konnte aber nicht geöffnet werden.");
    EXPECT_EQ(fakes.messages.shown[2].buttons, MessageButtons::Ok);

    // A snapshot shows the same notes once and answers the empty text.
    fakes.messages.queueAnswer(MessageAnswer::Ok);
    const IniSnapshot unreadable = IniSnapshot::read("/proc/self/mem");
    EXPECT_EQ(unreadable.value("A", "k"), "");
    ASSERT_EQ(fakes.messages.shown.size(), 4u);
    EXPECT_EQ(fakes.messages.shown[3].text, fakes.messages.shown[2].text);
}

struct WriteCase
{
    const char* label;
    std::optional<std::string> before; // nullopt: no file
    const char* section;
    const char* key;
    const char* value;
    std::string after;
};

TEST(WriteIniTest, WritesExactBytes)
{
    const WriteCase cases[] = {
        {"missing file, empty value", std::nullopt, "sec", "Key", "", "[SEC]\r\nKey=\r\n"},
        {"missing file", std::nullopt, "Größe", "Key", "v", "[GRÖßE]\r\nKey=v\r\n"},
        {"new section appended upper-case",
         "[a]\r\nx=1\r\n",
         "neu",
         "k",
         "v",
         "[a]\r\nx=1\r\n[NEU]\r\nk=v\r\n"},
        {"new section with empty value keeps its header",
         "[A]\r\nx=1\r\n",
         "B",
         "k",
         "",
         "[A]\r\nx=1\r\n[B]\r\n"},
        {"new key before the next header",
         "[A]\nx=1\n[B]\ny=2\n",
         "a",
         "y",
         "3",
         "[A]\r\nx=1\r\ny=3\r\n[B]\r\ny=2\r\n"},
        {"new key at the end of the last section", "[A]\r\nx=1", "A", "y", "2", "[A]\r\nx=1\r\ny=2\r\n"},
        {"existing key replaced in the caller's case",
         "[a]\r\nKEY=1\r\nz=2\r\n",
         "A",
         "key",
         "5",
         "[a]\r\nkey=5\r\nz=2\r\n"},
        {"empty value removes the entry, header stays",
         "[A]\r\nx=1\r\n[B]\r\ny=2\r\n",
         "A",
         "x",
         "",
         "[A]\r\n[B]\r\ny=2\r\n"},
        {"empty value removes the key from every copy of the section",
         "[A]\r\nx=1\r\nx=2\r\n[B]\r\nx=5\r\n[A]\r\nx=9\r\nz=3\r\n",
         "a",
         "X",
         "",
         "[A]\r\n[B]\r\nx=5\r\n[A]\r\nz=3\r\n"},
        {"blank lines dropped everywhere",
         "\r\n[A]\r\n\r\nx=1\r\n   \r\n[B]\r\n\r\ny=2\r\n\r\n[C]\r\n\r\nz=3\r\n",
         "B",
         "y",
         "4",
         "[A]\r\nx=1\r\n[B]\r\ny=4\r\n[C]\r\nz=3\r\n"},
        {"value ending in ] replaced, not doubled",
         "[A]\r\nPfad=[x]\r\n",
         "A",
         "Pfad",
         "[y]",
         "[A]\r\nPfad=[y]\r\n"},
        {"value with =", "[A]\r\nk=1\r\n", "A", "k", "a=b", "[A]\r\nk=a=b\r\n"},
        {"CR line ends", "[A]\rx=1\r", "A", "y", "2", "[A]\r\nx=1\r\ny=2\r\n"},
        {"Windows-1252 rewritten as UTF-8",
         "[A]\r\nName=wei\xdf\r\n",
         "A",
         "Farbe",
         "schwarzweiß",
         "[A]\r\nName=weiß\r\nFarbe=schwarzweiß\r\n"},
    };
    testing::TempDir dir;
    const std::string file = dir.file("Folvex.ini");
    for (const WriteCase& c : cases) {
        SCOPED_TRACE(c.label);
        std::filesystem::remove(file);
        if (c.before) {
            testing::writeFile(file, *c.before);
        }
        EXPECT_EQ(WriteIni(file, c.section, c.key, c.value), 1);
        EXPECT_TRUE(testing::sameBytes(testing::readFile(file), c.after));
        EXPECT_FALSE(std::filesystem::exists(file + "_tmp"));
    }
}

TEST(WriteIniTest, WrittenValuesReadBack)
{
    testing::TempDir dir;
    const std::string file = dir.file("Folvex.ini");
    const std::pair<const char*, const char*> entries[] = {
        {"Pfad", "/home/anna/Scans [alt]"},
        {"Formel", "a=b=c"},
        {"Farbe", "schwarzweiß"},
        {"Leer", ""},
    };
    for (const auto& [key, value] : entries) {
        ASSERT_EQ(WriteIni(file, "Werte", key, value), 1);
    }
    // A second round must change nothing: a value ending in "]" is no header and is not duplicated.
    const std::string once = testing::readFile(file);
    for (const auto& [key, value] : entries) {
        ASSERT_EQ(WriteIni(file, "werte", key, value), 1);
    }
    EXPECT_TRUE(testing::sameBytes(testing::readFile(file), once));
    for (const auto& [key, value] : entries) {
        SCOPED_TRACE(key);
        EXPECT_EQ(ReadIni(file, "WERTE", key), value);
    }
}

TEST(WriteIniTest, FailedWriteKeepsTheFile)
{
    testing::TempDir dir;
    const std::string file = dir.file("Folvex.ini");
    const std::string before = "[A]\r\nx=1\r\n\r\n";
    testing::writeFile(file, before);
    std::filesystem::create_directory(file + "_tmp");
    EXPECT_EQ(WriteIni(file, "A", "x", "2"), 0);
    EXPECT_EQ(testing::readFile(file), before);
    EXPECT_TRUE(std::filesystem::is_directory(file + "_tmp"));

    // A target that is a folder, and a folder that does not exist, cannot be written either.
    const std::string folder = dir.file("Ordner.ini");
    std::filesystem::create_directory(folder);
    EXPECT_EQ(WriteIni(folder, "A", "x", "2"), 0);
    EXPECT_TRUE(std::filesystem::is_directory(folder));
    EXPECT_FALSE(std::filesystem::exists(folder + "_tmp"));
    EXPECT_EQ(WriteIni(dir.file("fehlt/Folvex.ini"), "A", "x", "2"), 0);
}

// An old "_tmp" is replaced: a link planted under that name is not written through, and a stale
// file of that name does not stop the write.
TEST(WriteIniTest, OldTemporaryIsReplacedNotWrittenThrough)
{
    testing::TempDir dir;
    const std::string file = dir.file("Folvex.ini");
    testing::writeFile(dir.file("victim"), "keep me");
    for (const bool link : {true, false}) {
        SCOPED_TRACE(link ? "link" : "stale file");
        testing::writeFile(file, "[A]\r\n");
        if (link) {
            std::filesystem::create_symlink(dir.file("victim"), file + "_tmp");
        } else {
            testing::writeFile(file + "_tmp", "stale");
        }
        ASSERT_EQ(WriteIni(file, "A", "x", "1"), 1);
        EXPECT_EQ(ReadIni(file, "A", "x"), "1");
        EXPECT_FALSE(std::filesystem::exists(std::filesystem::symlink_status(file + "_tmp")));
    }
    EXPECT_EQ(testing::readFile(dir.file("victim")), "keep me");
}

TEST(WriteIniTest, KeepsThePermissionsOfTheFile)
{
    testing::TempDir dir;
    const std::string file = dir.file("Folvex.ini");
    testing::writeFile(file, "[A]\r\n");
    namespace fs = std::filesystem;
    fs::permissions(file, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    ASSERT_EQ(WriteIni(file, "A", "x", "1"), 1);
    EXPECT_EQ(
        fs::status(file).permissions() & fs::perms::all,
        fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
}

} // namespace
} // namespace folvex
