#include "shell/settings.h"

#include "foundation/ini_file.h"
#include "support/byte_compare.h"
#include "support/fakes.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <charconv>
#include <clocale>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <map>
#include <optional>

namespace folvex {
namespace {

namespace fs = std::filesystem;

constexpr ScreenRect StartRect{100, 200, 700, 500};

// Sets environment variables for one test and puts the old values back afterwards.
class ScopedEnvironment
{
public:
    ScopedEnvironment() = default;
    ScopedEnvironment(const ScopedEnvironment&) = delete;
    ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;

    ~ScopedEnvironment()
    {
        for (const auto& [name, old] : m_saved) {
            if (old) {
                ::setenv(name.c_str(), old->c_str(), 1);
            } else {
                ::unsetenv(name.c_str());
            }
        }
    }

    void set(const std::string& name, const std::optional<std::string>& value)
    {
        if (m_saved.find(name) == m_saved.end()) {
            const char* old = std::getenv(name.c_str());
            m_saved[name] = old != nullptr ? std::optional<std::string>(old) : std::nullopt;
        }
        if (value) {
            ::setenv(name.c_str(), value->c_str(), 1);
        } else {
            ::unsetenv(name.c_str());
        }
    }

private:
    std::map<std::string, std::optional<std::string>> m_saved;
};

// A program folder, a home, config, data and temporary folder of the test's own.
class SettingsTest : public ::testing::Test
{
protected:
    SettingsTest()
    {
        for (const char* folder : {"prog", "home", "config", "data", "systmp"}) {
            fs::create_directory(root.path() / folder);
        }
        programDir = root.file("prog") + "/";
        environment.set("HOME", root.file("home"));
        environment.set("XDG_CONFIG_HOME", root.file("config"));
        environment.set("XDG_DATA_HOME", root.file("data"));
        environment.set("TMPDIR", root.file("systmp"));
    }

    // The start-up steps in the order the main window runs them.
    SettingsState start(const std::string& folder, const ScreenRect& rect = StartRect, bool maximized = false)
    {
        SettingsState state;
        state.ProgramDir = folder;
        chooseTmpPath(state);
        setSettingDefaults(state);
        loadSettings(state, rect, maximized);
        return state;
    }

    SettingsState start() { return start(programDir); }

    std::string iniFile() const { return programDir + "Folvex.ini"; }

    testing::TempDir root;
    ScopedEnvironment environment;
    testing::ScopedFakeEffects fakes;
    std::string programDir;
};

std::string goldenFile(const std::string& name)
{
    return std::string(FOLVEX_SHELL_GOLDEN_DIR) + "/" + name;
}

std::string replaceAll(std::string text, const std::string& from, const std::string& to)
{
    for (std::size_t pos = 0; (pos = text.find(from, pos)) != std::string::npos; pos += to.size()) {
        text.replace(pos, from.size(), to);
    }
    return text;
}

TEST_F(SettingsTest, FirstStartWritesTheDefaultFile)
{
    const SettingsState state = start();
    const std::string chosen = programDir + "tmp";
    EXPECT_EQ(state.chosenTmpPath, chosen);
    const std::string written = testing::readFile(iniFile());
    const char* update = std::getenv("FOLVEX_UPDATE_GOLDEN");
    if (update != nullptr && std::string(update) == "1") {
        testing::writeFile(goldenFile("first_start.ini"), replaceAll(written, chosen, "@TMPPATH@"));
    }
    const std::string expected =
        replaceAll(testing::readFile(goldenFile("first_start.ini")), "@TMPPATH@", chosen);
    ASSERT_FALSE(expected.empty());
    EXPECT_TRUE(testing::sameBytes(written, expected));

    const Settings& s = state.settings;
    EXPECT_EQ(
        (ScreenRect{s.LastWindowPosX1, s.LastWindowPosY1, s.LastWindowPosX2, s.LastWindowPosY2}), StartRect);
    EXPECT_EQ(s.PreviousPaperSource, "Flachbettauflage");
    EXPECT_EQ(s.ColorMode, "schwarzweiß");
    EXPECT_EQ(s.DestType, "PDF+OCR");
    EXPECT_EQ(s.AnzBlankProfiles, 3);
    EXPECT_EQ(s.BlankRecognitionResolution, 3);
    EXPECT_EQ(s.TmpPath, chosen);
    EXPECT_TRUE(fakes.messages.shown.empty());
}

TEST_F(SettingsTest, RepairsMissingKeys)
{
    start();
    const std::string file = iniFile();
    ASSERT_EQ(WriteIni(file, "BLANK_PROFILE_2", "BlankRecognitionMinColor", "99"), 1);
    ASSERT_EQ(WriteIni(file, "BLANK_PROFILE_2", "BlankProfileName", "grau"), 1);
    ASSERT_EQ(WriteIni(file, "LAST_VALUES", "AktBlankProfile", "2"), 1);
    ASSERT_EQ(WriteIni(file, "LAST_VALUES", "AnzBlankProfiles", ""), 1);
    ASSERT_EQ(WriteIni(file, "ALLGEMEINES", "Rotate_ThumbSize", ""), 1);
    ASSERT_EQ(WriteIni(file, "ALLGEMEINES", "TmpPath", ""), 1);

    const SettingsState state = start();
    EXPECT_EQ(ReadIni(file, "LAST_VALUES", "AnzBlankProfiles"), "3");
    EXPECT_EQ(ReadIni(file, "LAST_VALUES", "AktBlankProfile"), "1");
    EXPECT_EQ(ReadIni(file, "BLANK_PROFILE_2", "BlankRecognitionMinColor"), "170");
    EXPECT_EQ(ReadIni(file, "BLANK_PROFILE_2", "BlankProfileName"), "Recyclingpapier");
    EXPECT_EQ(ReadIni(file, "ALLGEMEINES", "Rotate_ThumbSize"), "250");
    EXPECT_EQ(ReadIni(file, "ALLGEMEINES", "TmpPath"), programDir + "tmp");
    EXPECT_EQ(state.settings.AktBlankProfile, 1);
    EXPECT_EQ(state.settings.BlankRecognitionMinColor, 250);
}

struct Entry
{
    const char* section;
    const char* key;
    const char* value; // "" removes the key
};

struct ReadCase
{
    const char* label;
    std::vector<Entry> entries;
    std::function<std::string(const Settings&)> field;
    std::string expected;
    std::vector<Entry> fileAfter; // keys the start-up must have written
};

std::string rectText(const Settings& s)
{
    return std::to_string(s.LastWindowPosX1) + "," + std::to_string(s.LastWindowPosY1) + "," +
           std::to_string(s.LastWindowPosX2) + "," + std::to_string(s.LastWindowPosY2);
}

// Decimal text with "." whatever the locale (std::to_string follows the locale).
std::string decimalText(double value)
{
    char buffer[64];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    return std::string(buffer, result.ptr);
}

std::string profileText(const Settings& s)
{
    return std::to_string(s.AktBlankProfile) + ":" + std::to_string(s.BlankRecognitionResolution) + "/" +
           std::to_string(s.BlankRecognitionMinColor) + "/" + decimalText(s.BlankRecognitionPercentage) +
           "/" + decimalText(s.BlankRecognitionPercentageSingle);
}

TEST_F(SettingsTest, ReadsValuesTheSameUnderAGermanLocale)
{
    // The percentage must read "." as the decimal point whatever the process locale says.
    ASSERT_NE(std::setlocale(LC_ALL, "de_DE.UTF-8"), nullptr) << "the locale de_DE.UTF-8 is not installed";
    const auto delEmpty = [](const Settings& s) { return std::to_string(s.DelEmptyOnEdit); };
    const auto thumbs = [](const Settings& s) { return std::to_string(s.Rotate_ThumbSize); };
    const auto jpg = [](const Settings& s) { return std::to_string(s.JpgQuality); };
    const auto percentage = [](const Settings& s) {
        return std::to_string(s.BlankRecognitionPercentage == 97.25) + "/" +
               std::to_string(s.BlankRecognitionPercentageSingle == 97.25F);
    };
    const auto editors = [](const Settings& s) {
        const ExternalEditorTables& e = s.ExternalEditors;
        std::string text = std::to_string(e.AnzExtEditors) + " rows " + std::to_string(e.EditorName.size());
        for (std::size_t i = 1; i < e.EditorName.size(); ++i) {
            text += "|" + e.EditorName[i] + "," + e.EditorPath[i] + "," + std::to_string(e.EditorWait[i]);
        }
        return text;
    };
    const auto source = [](const Settings& s) { return s.LastSourceName + "/" + s.PreviousPaperSource; };
    const auto misc = [](const Settings& s) {
        return std::to_string(s.AnimGifFrameRate) + "," + std::to_string(s.AnimGifLoops) + "," +
               std::to_string(s.PDFasInputDPI) + "," + std::to_string(s.OpenLastScannerOnStartup) + "," +
               std::to_string(s.RefPicX) + "," + std::to_string(s.RefPicY) + "," +
               std::to_string(s.RefPicCutoff) + "," + s.Language + "," + s.GSPath;
    };
    const auto updateDay = [](const Settings& s) { return s.LastUpdateCheckDay; };
    const std::string profile1 = "1:3/250/98.5/98.5";
    const std::vector<Entry> activeRepaired = {{"LAST_VALUES", "AktBlankProfile", "1"}};

    const ReadCase cases[] = {
        {"DelEmptyOnEdit 1", {{"ALLGEMEINES", "DelEmptyOnEdit", "1"}}, delEmpty, "1", {}},
        {"DelEmptyOnEdit 01", {{"ALLGEMEINES", "DelEmptyOnEdit", "01"}}, delEmpty, "0", {}},
        {"DelEmptyOnEdit true", {{"ALLGEMEINES", "DelEmptyOnEdit", "true"}}, delEmpty, "0", {}},
        {"Rotate_ThumbSize 0", {{"ALLGEMEINES", "Rotate_ThumbSize", "0"}}, thumbs, "250", {}},
        {"Rotate_ThumbSize -5", {{"ALLGEMEINES", "Rotate_ThumbSize", "-5"}}, thumbs, "250", {}},
        {"Rotate_ThumbSize 180px", {{"ALLGEMEINES", "Rotate_ThumbSize", "180px"}}, thumbs, "180", {}},
        {"JpgQuality 300", {{"LAST_VALUES", "JpgQuality", "300"}}, jpg, "100", {}},
        {"JpgQuality 0", {{"LAST_VALUES", "JpgQuality", "0"}}, jpg, "1", {}},
        {"JpgQuality empty", {{"LAST_VALUES", "JpgQuality", ""}}, jpg, "75", {}},
        {"minimum colour 300",
         {{"BLANK_PROFILE_1", "BlankRecognitionMinColor", "300"}},
         profileText,
         "1:3/255/98.5/98.5",
         {}},
        {"sampling step -3 clamps to a byte",
         {{"BLANK_PROFILE_1", "BlankRecognitionResolution", "-3"}},
         profileText,
         "1:0/250/98.5/98.5",
         {}},
        {"sampling step 999 clamps to a byte",
         {{"BLANK_PROFILE_1", "BlankRecognitionResolution", "999"}},
         profileText,
         "1:255/250/98.5/98.5",
         {}},
        {"percentage in both widths",
         {{"BLANK_PROFILE_1", "BlankRecognitionPercentage", "97.25"}},
         percentage,
         "1/1",
         {}},
        {"second profile active",
         {{"LAST_VALUES", "AktBlankProfile", "2"}},
         profileText,
         "2:3/170/98.5/98.5",
         {}},
        {"AktBlankProfile missing",
         {{"LAST_VALUES", "AktBlankProfile", ""}},
         profileText,
         profile1,
         activeRepaired},
        {"AktBlankProfile 0",
         {{"LAST_VALUES", "AktBlankProfile", "0"}},
         profileText,
         profile1,
         activeRepaired},
        {"AktBlankProfile 7",
         {{"LAST_VALUES", "AktBlankProfile", "7"}},
         profileText,
         profile1,
         activeRepaired},
        {"profile without minimum colour",
         {{"LAST_VALUES", "AktBlankProfile", "2"}, {"BLANK_PROFILE_2", "BlankRecognitionMinColor", ""}},
         profileText,
         "2:3/250/98.5/98.5",
         {}},
        {"profile without any value",
         {{"LAST_VALUES", "AktBlankProfile", "3"},
          {"BLANK_PROFILE_3", "BlankRecognitionResolution", ""},
          {"BLANK_PROFILE_3", "BlankRecognitionMinColor", ""},
          {"BLANK_PROFILE_3", "BlankRecognitionPercentage", ""}},
         profileText,
         "3:5/250/98.5/98.5",
         {}},
        {"two external editors",
         {{"EXTERNALEDITORS", "AnzExtEditors", "2"},
          {"EXTERNALEDITORS", "EditorName1", "Gimp"},
          {"EXTERNALEDITORS", "EditorPath1", "/usr/bin/gimp"},
          {"EXTERNALEDITORS", "EditorWait1", "1"},
          {"EXTERNALEDITORS", "EditorName2", "Pinta"},
          {"EXTERNALEDITORS", "EditorPath2", "/usr/bin/pinta"},
          {"EXTERNALEDITORS", "EditorWait2", "0"}},
         editors,
         "2 rows 3|Gimp,/usr/bin/gimp,1|Pinta,/usr/bin/pinta,0",
         {}},
        {"negative editor count", {{"EXTERNALEDITORS", "AnzExtEditors", "-4"}}, editors, "0 rows 2|,,0", {}},
        {"stored paper source of the last scanner",
         {{"LAST_VALUES", "LastSourceName", "Scanner X"},
          {"SOURCE Scanner X", "LastPageOrigin", "Einzelblatteinzug"}},
         source,
         "Scanner X/Einzelblatteinzug",
         {}},
        {"paper source of another scanner",
         {{"LAST_VALUES", "LastSourceName", "Scanner X"},
          {"SOURCE Scanner Y", "LastPageOrigin", "Einzelblatteinzug"}},
         source,
         "Scanner X/Flachbettauflage",
         {}},
        {"stored output folder",
         {{"LAST_VALUES", "ImagePath", "/home/anna/Scans"}},
         [](const Settings& s) { return s.ImagePath; },
         "/home/anna/Scans",
         {}},
        {"stored rectangle", {{"ALLGEMEIN", "LastWindowPosX1", "10"}}, rectText, "10,200,700,500", {}},
        {"missing rectangle key", {{"ALLGEMEIN", "LastWindowPosY2", ""}}, rectText, "100,200,700,500", {}},
        {"empty rectangle",
         {{"ALLGEMEIN", "LastWindowPosX1", "50"}, {"ALLGEMEIN", "LastWindowPosX2", "50"}},
         rectText,
         "100,200,700,500",
         {}},
        {"maximised window",
         {{"ALLGEMEIN", "LastWindowPosX1", "10"}, {"ALLGEMEIN", "LastWindowMaximized", "1"}},
         rectText,
         "100,200,700,500",
         {}},
        {"day of the last update check",
         {{"ALLGEMEIN", "LastUpdateCheckDay", "2026-12-10"}},
         updateDay,
         "2026-12-10",
         {}},
        {"keys never written keep their defaults", {}, misc, "100,0,200,1,0,0,-1,deu,", {}},
        {"keys read when not empty",
         {{"LAST_VALUES", "AnimGifFrameRate", "40"},
          {"LAST_VALUES", "AnimGifLoops", "3"},
          {"ALLGEMEINES", "PDFasInputDPI", "300"},
          {"ALLGEMEINES", "OpenLastScannerOnStartup", "0"},
          {"ALLGEMEINES", "RefPicX", "12"},
          {"ALLGEMEINES", "RefPicY", "-7"},
          {"ALLGEMEINES", "RefPicCutoff", "200"},
          {"OCR", "Language", "deu+eng"},
          {"ALLGEMEINES", "GSPath", "/usr/bin/gs"}},
         misc,
         "40,3,300,0,12,-7,200,deu+eng,/usr/bin/gs",
         {}},
    };
    start();
    const std::string firstStart = testing::readFile(iniFile());
    for (const ReadCase& c : cases) {
        SCOPED_TRACE(c.label);
        testing::writeFile(iniFile(), firstStart);
        for (const Entry& e : c.entries) {
            ASSERT_EQ(WriteIni(iniFile(), e.section, e.key, e.value), 1);
        }
        const SettingsState state = start();
        EXPECT_EQ(c.field(state.settings), c.expected);
        for (const Entry& e : c.fileAfter) {
            EXPECT_EQ(ReadIni(iniFile(), e.section, e.key), e.value) << e.key;
        }
    }
    std::setlocale(LC_ALL, "C");
}

TEST(SettingsNumberTest, ReadsTheLeadingNumber)
{
    struct Case
    {
        const char* text;
        std::int64_t integer;
        double decimal;
    };

    const Case cases[] = {
        {"", 0, 0.0},
        {"abc", 0, 0.0},
        {"42", 42, 42.0},
        {"  -17 dpi", -17, -17.0},
        {"+8", 8, 8.0},
        {"98.5", 98, 98.5},
        {"99,5", 99, 99.0},
        {".5", 0, 0.5},
        {"7.", 7, 7.0},
        {"1e5", 1, 1.0},
        {"-", 0, 0.0},
        {"99999999999999999999", INT64_MAX, 99999999999999999999.0},
        {"-99999999999999999999", INT64_MIN, -99999999999999999999.0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(readLeadingInteger(c.text), c.integer);
        EXPECT_DOUBLE_EQ(readLeadingDecimal(c.text), c.decimal);
    }
}

TEST_F(SettingsTest, ChoosesTheProgramFolderForTemporaryFiles)
{
    const SettingsState state = start();
    EXPECT_EQ(state.settings.TmpPath, programDir + "tmp");
    EXPECT_TRUE(fs::is_directory(programDir + "tmp"));
    EXPECT_FALSE(fs::exists(programDir + "tmp/.folvex-probe"));
    EXPECT_FALSE(fs::exists(programDir + ".folvex-probe"));
    EXPECT_EQ(fs::directory_iterator(programDir + "tmp"), fs::directory_iterator());
}

// The probe that tries the folder is created new: a link planted under its old name is not written
// through.
TEST_F(SettingsTest, ProbeDoesNotWriteThroughAPlantedLink)
{
    fs::create_directory(programDir + "tmp");
    testing::writeFile(root.file("victim"), "keep me");
    fs::create_symlink(root.file("victim"), programDir + "tmp/.folvex-probe");
    const SettingsState state = start();
    EXPECT_EQ(state.settings.TmpPath, programDir + "tmp");
    EXPECT_EQ(testing::readFile(root.file("victim")), "keep me");
}

TEST_F(SettingsTest, FallsBackToTheDataFolderWhenTmpIsAFile)
{
    testing::writeFile(programDir + "tmp", "keine Ordner");
    const SettingsState state = start();
    EXPECT_EQ(state.settings.TmpPath, root.file("data") + "/Folvex");
    EXPECT_TRUE(fs::is_directory(root.file("data") + "/Folvex"));
    EXPECT_EQ(testing::readFile(programDir + "tmp"), "keine Ordner");
    // The program folder itself can still be written, so the settings stay there.
    EXPECT_TRUE(fs::exists(iniFile()));
    EXPECT_EQ(ReadIni(iniFile(), "ALLGEMEINES", "TmpPath"), root.file("data") + "/Folvex");
}

TEST_F(SettingsTest, ProgramFolderThatCannotBeWrittenUsesTheUsersFolders)
{
    // Below a regular file nothing can be created, not even by root.
    testing::writeFile(root.file("datei"), "x");
    const std::string blocked = root.file("datei") + "/Folvex/";

    struct Case
    {
        const char* label;
        bool xdgSet;
        std::string config;
        std::string data;
    };

    const Case cases[] = {
        {"XDG folders set", true, root.file("config") + "/Folvex", root.file("data") + "/Folvex"},
        {"XDG folders unset",
         false,
         root.file("home") + "/.config/Folvex",
         root.file("home") + "/.local/share/Folvex"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        if (!c.xdgSet) {
            environment.set("XDG_CONFIG_HOME", std::nullopt);
            environment.set("XDG_DATA_HOME", std::nullopt);
        }
        SettingsState state = start(blocked);
        EXPECT_EQ(settingsFile(state), c.config + "/Folvex.ini");
        EXPECT_TRUE(fs::is_regular_file(c.config + "/Folvex.ini"));
        EXPECT_EQ(state.settings.TmpPath, c.data);
        EXPECT_TRUE(fs::is_directory(c.data));
        EXPECT_EQ(ReadIni(c.config + "/Folvex.ini", "ALLGEMEINES", "TmpPath"), c.data);
        EXPECT_TRUE(fakes.messages.shown.empty());
    }
}

TEST_F(SettingsTest, TmpPathFromTheFile)
{
    start();
    testing::writeFile(root.file("datei"), "x");

    struct Case
    {
        const char* label;
        std::string stored;
        std::string expected;
        std::string note;
    };

    const std::string chosen = programDir + "tmp";
    const Case cases[] = {
        {"an existing folder", root.file("home"), root.file("home"), ""},
        {"a missing folder is created", root.file("neu/tief"), root.file("neu/tief"), ""},
        {"a folder that cannot be created",
         root.file("datei/tmp"),
         chosen,
         "Der Ordner für temporäre Dateien »" + root.file("datei/tmp") +
             "« fehlt und kann nicht angelegt werden. Folvex verwendet in diesem Programmlauf »" + chosen +
             "«."},
        // It would reach the external editor and Tesseract as an option.
        {"a relative folder",
         "-x",
         chosen,
         "Der Ordner für temporäre Dateien »-x« aus der Einstellungsdatei ist nicht verwendbar (kein "
         "vollständiger Pfad, er muss mit »/« beginnen). Folvex verwendet in diesem Programmlauf »" +
             chosen + "«."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        ASSERT_EQ(WriteIni(iniFile(), "ALLGEMEINES", "TmpPath", c.stored), 1);
        const std::string before = testing::readFile(iniFile());
        fakes.messages.shown.clear();
        if (!c.note.empty()) {
            fakes.messages.queueAnswer(MessageAnswer::Ok);
        }
        const SettingsState state = start();
        EXPECT_EQ(state.settings.TmpPath, c.expected);
        EXPECT_TRUE(fs::is_directory(c.expected));
        EXPECT_FALSE(fs::exists(c.stored) && c.stored.front() != '/') << "created below the working folder";
        EXPECT_EQ(testing::readFile(iniFile()), before);
        if (!c.note.empty()) {
            ASSERT_EQ(fakes.messages.shown.size(), 1u);
            EXPECT_EQ(fakes.messages.shown[0].text, c.note);
            EXPECT_EQ(fakes.messages.shown[0].buttons, MessageButtons::Ok);
        } else {
            EXPECT_TRUE(fakes.messages.shown.empty());
        }
    }
}

TEST_F(SettingsTest, NumbersOutsideTheirRangesGiveTheDefaults)
{
    const auto misc = [](const Settings& s) {
        return std::to_string(s.AnimGifFrameRate) + "," + std::to_string(s.AnimGifLoops) + "," +
               std::to_string(s.Rotate_ThumbSize) + "," + std::to_string(s.PDFasInputDPI) + "," +
               std::to_string(s.AnzBlankProfiles) + "," + std::to_string(s.AktBlankProfile);
    };

    const struct
    {
        const char* label;
        std::vector<Entry> entries;
        std::string expected;
    } cases[] = {
        {"lowest values",
         {{"ALLGEMEINES", "PDFasInputDPI", "10"},
          {"ALLGEMEINES", "Rotate_ThumbSize", "16"},
          {"LAST_VALUES", "AnimGifFrameRate", "1"},
          {"LAST_VALUES", "AnimGifLoops", "0"}},
         "1,0,16,10,3,1"},
        {"highest values",
         {{"ALLGEMEINES", "PDFasInputDPI", "1200"},
          {"ALLGEMEINES", "Rotate_ThumbSize", "4096"},
          {"LAST_VALUES", "AnimGifFrameRate", "1000000"},
          {"LAST_VALUES", "AnimGifLoops", "1000000"},
          {"LAST_VALUES", "AnzBlankProfiles", "1000"}},
         "1000000,1000000,4096,1200,1000,1"},
        {"resolution for a page of gigabytes",
         {{"ALLGEMEINES", "PDFasInputDPI", "100000"}},
         "100,0,250,200,3,1"},
        {"resolution 0", {{"ALLGEMEINES", "PDFasInputDPI", "0"}}, "100,0,250,200,3,1"},
        {"negative resolution", {{"ALLGEMEINES", "PDFasInputDPI", "-300"}}, "100,0,250,200,3,1"},
        {"resolution just below", {{"ALLGEMEINES", "PDFasInputDPI", "9"}}, "100,0,250,200,3,1"},
        {"huge thumbnails", {{"ALLGEMEINES", "Rotate_ThumbSize", "2147483647"}}, "100,0,250,200,3,1"},
        {"frame time 0", {{"LAST_VALUES", "AnimGifFrameRate", "0"}}, "100,0,250,200,3,1"},
        {"frame time above", {{"LAST_VALUES", "AnimGifFrameRate", "1000001"}}, "100,0,250,200,3,1"},
        {"negative loops", {{"LAST_VALUES", "AnimGifLoops", "-1"}}, "100,0,250,200,3,1"},
        {"loops above", {{"LAST_VALUES", "AnimGifLoops", "99999999999"}}, "100,0,250,200,3,1"},
        {"profile count of a damaged file",
         {{"LAST_VALUES", "AnzBlankProfiles", "2147483647"}},
         "100,0,250,200,1000,1"},
    };

    start();
    const std::string firstStart = testing::readFile(iniFile());
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        testing::writeFile(iniFile(), firstStart);
        for (const Entry& e : c.entries) {
            ASSERT_EQ(WriteIni(iniFile(), e.section, e.key, e.value), 1);
        }
        EXPECT_EQ(misc(start().settings), c.expected);
    }
}

TEST_F(SettingsTest, ALoadOfAnIntactFileReadsItOnce)
{
    start();
    // Every key is there, so nothing is repaired: a write would drop the reading and a second one follow.
    const std::size_t before = IniFileReadings();
    const SettingsState state = start();
    EXPECT_EQ(IniFileReadings() - before, 1u);
    EXPECT_EQ(state.settings.AktBlankProfile, 1);
}

TEST_F(SettingsTest, ReadScopeReadsTheFileOnceAndAgainAfterAWrite)
{
    SettingsState state = start();
    const SettingsReadScope once(state);
    EXPECT_EQ(readSetting(state, "LAST_VALUES", "JpgQuality"), "75");
    // Changed behind the scope's back: the scope still answers from its reading.
    ASSERT_EQ(WriteIni(iniFile(), "LAST_VALUES", "JpgQuality", "50"), 1);
    EXPECT_EQ(readSetting(state, "LAST_VALUES", "JpgQuality"), "75");
    // A write of its own makes it read the file again.
    ASSERT_EQ(writeSetting(state, "OCR", "Language", "eng"), 1);
    EXPECT_EQ(readSetting(state, "LAST_VALUES", "JpgQuality"), "50");
    EXPECT_EQ(readSetting(state, "OCR", "Language"), "eng");
}

TEST_F(SettingsTest, WithoutASettingsFileOneNoteAndTheDefaults)
{
    testing::writeFile(root.file("datei"), "x");
    environment.set("XDG_CONFIG_HOME", root.file("datei") + "/config");
    fakes.messages.queueAnswer(MessageAnswer::Ok);
    SettingsState state = start(root.file("datei") + "/Folvex/");
    const std::string file = root.file("datei") + "/config/Folvex/Folvex.ini";
    ASSERT_EQ(fakes.messages.shown.size(), 1u);
    EXPECT_EQ(
        fakes.messages.shown[0].text,
        "Die Einstellungsdatei " + file +
            " kann nicht angelegt werden. Folvex arbeitet mit den Grundeinstellungen; Änderungen werden "
            "nicht "
            "gespeichert.");
    EXPECT_EQ(fakes.messages.shown[0].buttons, MessageButtons::Ok);
    const Settings& s = state.settings;
    EXPECT_EQ(s.AnzBlankProfiles, 2);
    EXPECT_EQ(s.BlankRecognitionMinColor, 250);
    EXPECT_EQ(s.DelEmptyOnEdit, 1);
    EXPECT_EQ(s.PreviousPaperSource, "Flachbettauflage");
    EXPECT_EQ(s.TmpPath, root.file("data") + "/Folvex");
    EXPECT_EQ(rectText(s), "100,200,700,500");

    // Later reads stay quiet: an unexpected message box would fail the test.
    EXPECT_EQ(readSetting(state, "LAST_VALUES", "ColorMode"), "");
    EXPECT_EQ(writeSetting(state, "LAST_VALUES", "ColorMode", "Farbe"), 0);
    EXPECT_EQ(fakes.messages.shown.size(), 1u);
}

TEST_F(SettingsTest, ResolvesTmpPathPlaceholders)
{
    SettingsState state;
    state.ProgramDir = programDir;

    struct Case
    {
        const char* label;
        std::optional<std::string> tmpdir;
        std::string text;
        std::string expected;
    };

    const Case cases[] = {
        {"program folder", root.file("systmp"), "%progpath%", programDir + "tmp"},
        {"temporary folder", root.file("systmp") + "//", "%TempPath%", root.file("systmp")},
        {"temporary folder without the closing %", root.file("systmp"), "%TEMPPATH", root.file("systmp")},
        {"temporary folder unset", std::nullopt, "%TEMPPATH%", "/tmp"},
        {"temporary folder is the root", "/", "%temppath%", "/"},
        {"user folder", root.file("systmp"), "%UserPath%", root.file("data")},
        {"user folder without the closing %", root.file("systmp"), "%userpath", root.file("data")},
        {"profile folder", root.file("systmp"), "%APPPATH%", root.file("home")},
        {"other text", root.file("systmp"), "/srv/scans/", "/srv/scans/"},
        {"placeholder inside other text", root.file("systmp"), "/x/%TEMPPATH%", "/x/%TEMPPATH%"},
        {"program placeholder without the closing %", root.file("systmp"), "%PROGPATH", "%PROGPATH"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        environment.set("TMPDIR", c.tmpdir);
        EXPECT_EQ(resolveTmpPathPlaceholders(state, c.text), c.expected);
    }
    environment.set("HOME", root.file("home") + "/");
    EXPECT_EQ(resolveTmpPathPlaceholders(state, "%AppPath%"), root.file("home"));
}

TEST(OwnTempFileTest, KnowsTheProgramsOwnNames)
{
    const std::pair<const char*, bool> cases[] = {
        {"TMPIMG3.BMP", true},
        {"tmpimgr20.bmp", true},
        {"tmpimgX.bmp", true},
        {"TmpReadyImg.bmp", true},
        {"TmpReadyImg_1_5.bmp", true},
        {"TmpReadyImg12_edited_2.bmp", true},
        {"TmpReadyImg3_edited.bmp", true},
        {"TmpReadyImg4.png", true},
        {"TmpReadyImg4.JPG", true},
        {"MultiPage.tiff", true},
        {"MultiPage_3.tiff", true},
        {"page.bmp.folvex-tmp", true},
        {"FolvexSaved.txt", true},
        {"/var/tmp/Folvex/tmpimg1.bmp", true},
        {"notes.txt", false},
        {"Foto.jpg", false},
        {"tmpimg3.txt", false},
        {"scan.bmp", false},
        {"TmpReadyImgX.png", false},
        {"TmpReadyImg.png", false},
        {"MultiPage_x.tiff", false},
        {"MultiPage_.tiff", false},
        {"Folvex.ini", false},
        {"/home/tmpimg/scan.bmp", false},
    };
    for (const auto& [name, own] : cases) {
        SCOPED_TRACE(name);
        EXPECT_EQ(isOwnTempFile(name), own);
    }
}

} // namespace
} // namespace folvex
