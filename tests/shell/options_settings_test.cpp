#include "shell/options_settings.h"

#include "foundation/ini_file.h"
#include "support/fakes.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <optional>
#include <sched.h>
#include <string>
#include <sys/mount.h>

namespace folvex {
namespace {

namespace fs = std::filesystem;

// A program folder with a first-start settings file and a system temporary folder of the test's own.
class OptionsSettingsTest : public ::testing::Test
{
protected:
    OptionsSettingsTest()
    {
        fs::create_directory(root.path() / "prog");
        fs::create_directory(root.path() / "systmp");
        const char* old = std::getenv("TMPDIR");
        oldTmpDir = old != nullptr ? std::optional<std::string>(old) : std::nullopt;
        ::setenv("TMPDIR", root.file("systmp").c_str(), 1);
        state.ProgramDir = root.file("prog") + "/";
        chooseTmpPath(state);
        setSettingDefaults(state);
        loadSettings(state, ScreenRect{0, 0, 600, 300}, false);
    }

    ~OptionsSettingsTest() override
    {
        if (oldTmpDir) {
            ::setenv("TMPDIR", oldTmpDir->c_str(), 1);
        } else {
            ::unsetenv("TMPDIR");
        }
    }

    // The fields as the window opens on the active profile.
    OptionsFields opened()
    {
        OptionsFields fields = optionsFieldsFrom(state.settings);
        readProfileFields(state, fields.profileSelection, fields);
        return fields;
    }

    std::string ini(const std::string& section, const std::string& key)
    {
        return readSetting(state, section, key);
    }

    testing::TempDir root;
    std::optional<std::string> oldTmpDir;
    testing::ScopedFakeEffects fakes;
    SettingsState state;
};

TEST(OptionsPercentageTest, TenDecimalsAtMostWithoutTrailingZeros)
{
    const struct
    {
        double value;
        const char* text;
    } cases[] = {
        {98.5, "98.5"},
        {100.0, "100"},
        {0.0, "0"},
        {99.25, "99.25"},
        {1.0 / 3.0, "0.3333333333"},
        {12.00000000004, "12"},
    };

    for (const auto& c : cases) {
        EXPECT_EQ(formatPercentage(c.value), c.text) << c.value;
    }
}

TEST_F(OptionsSettingsTest, SavedValuesAreLimitedAndWrittenToTheirSections)
{
    const struct
    {
        const char* what;
        void (*type)(OptionsFields&);
        const char* section;
        const char* key;
        const char* written;
    } cases[] = {
        {"JPEG 0", [](OptionsFields& f) { f.jpgQuality = "0"; }, "LAST_VALUES", "JpgQuality", "1"},
        {"JPEG 300", [](OptionsFields& f) { f.jpgQuality = "300"; }, "LAST_VALUES", "JpgQuality", "100"},
        {"JPEG abc", [](OptionsFields& f) { f.jpgQuality = "abc"; }, "LAST_VALUES", "JpgQuality", "1"},
        {"frame 0", [](OptionsFields& f) { f.frameRate = "0"; }, "LAST_VALUES", "AnimGifFrameRate", "1"},
        {"loops -5", [](OptionsFields& f) { f.loops = "-5"; }, "LAST_VALUES", "AnimGifLoops", "0"},
        {"step 0",
         [](OptionsFields& f) { f.resolution = "0"; },
         "BLANK_PROFILE_1",
         "BlankRecognitionResolution",
         "1"},
        {"step 150",
         [](OptionsFields& f) { f.resolution = "150"; },
         "BLANK_PROFILE_1",
         "BlankRecognitionResolution",
         "100"},
        {"colour 300",
         [](OptionsFields& f) { f.minColor = "300"; },
         "BLANK_PROFILE_1",
         "BlankRecognitionMinColor",
         "255"},
        {"percent 99,5",
         [](OptionsFields& f) { f.percentage = "99,5"; },
         "BLANK_PROFILE_1",
         "BlankRecognitionPercentage",
         "99.5"},
        {"percent 120",
         [](OptionsFields& f) { f.percentage = "120"; },
         "BLANK_PROFILE_1",
         "BlankRecognitionPercentage",
         "100"},
        {"percent -3",
         [](OptionsFields& f) { f.percentage = "-3"; },
         "BLANK_PROFILE_1",
         "BlankRecognitionPercentage",
         "0"},
        {"percent 98.50",
         [](OptionsFields& f) { f.percentage = "98.50"; },
         "BLANK_PROFILE_1",
         "BlankRecognitionPercentage",
         "98.5"},
        {"thumbs 0", [](OptionsFields& f) { f.thumbSize = "0"; }, "ALLGEMEINES", "Rotate_ThumbSize", "250"},
        {"dpi 0", [](OptionsFields& f) { f.pdfDpi = "0"; }, "ALLGEMEINES", "PDFasInputDPI", "200"},
        {"dpi 100000", [](OptionsFields& f) { f.pdfDpi = "100000"; }, "ALLGEMEINES", "PDFasInputDPI", "200"},
        {"dpi 1200", [](OptionsFields& f) { f.pdfDpi = "1200"; }, "ALLGEMEINES", "PDFasInputDPI", "1200"},
        {"thumbs 100000",
         [](OptionsFields& f) { f.thumbSize = "100000"; },
         "ALLGEMEINES",
         "Rotate_ThumbSize",
         "250"},
        {"frame 2000000",
         [](OptionsFields& f) { f.frameRate = "2000000"; },
         "LAST_VALUES",
         "AnimGifFrameRate",
         "1000000"},
        {"loops 2000000",
         [](OptionsFields& f) { f.loops = "2000000"; },
         "LAST_VALUES",
         "AnimGifLoops",
         "1000000"},
        {"ref x", [](OptionsFields& f) { f.refPicX = "123456"; }, "ALLGEMEINES", "RefPicX", "123456"},
        {"ref y", [](OptionsFields& f) { f.refPicY = "7"; }, "ALLGEMEINES", "RefPicY", "7"},
        {"cutoff -40",
         [](OptionsFields& f) { f.refPicCutoff = "-40"; },
         "ALLGEMEINES",
         "RefPicCutoff",
         "-40"},
        {"language", [](OptionsFields& f) { f.language = " deu+eng "; }, "OCR", "Language", " deu+eng "},
        {"gs path", [](OptionsFields& f) { f.gsPath = "/opt/gs//"; }, "ALLGEMEINES", "GSPath", "/opt/gs"},
        {"boxes",
         [](OptionsFields& f) { f.deleteEmptyOnEdit = false; },
         "ALLGEMEINES",
         "DelEmptyOnEdit",
         "0"},
    };

    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        OptionsFields fields = opened();
        c.type(fields);
        saveOptions(state, fields);
        EXPECT_EQ(ini(c.section, c.key), c.written);
    }
    const Settings& s = state.settings;
    EXPECT_EQ(s.JpgQuality, 1);
    EXPECT_EQ(s.AnimGifFrameRate, 1000000);
    EXPECT_EQ(s.Rotate_ThumbSize, 250);
    EXPECT_EQ(s.AnimGifLoops, 1000000);
    EXPECT_EQ(s.PDFasInputDPI, 1200);
    EXPECT_EQ(s.RefPicX, 123456);
    EXPECT_EQ(s.DelEmptyOnEdit, 0);
    EXPECT_EQ(s.GSPath, "/opt/gs");
    EXPECT_TRUE(fakes.messages.shown.empty());
}

TEST(OptionsRangeNoteTest, NamesTheRangeOfTheFirstNumberOutsideIt)
{
    const struct
    {
        const char* thumbSize;
        const char* pdfDpi;
        std::optional<std::string> note;
    } cases[] = {
        {"250", "200", std::nullopt},
        {"16", "10", std::nullopt},
        {"4096", "1200", std::nullopt},
        {"250", "100000", "»DPI bei PDF als Input« muss zwischen 10 und 1200 liegen."},
        {"250", "0", "»DPI bei PDF als Input« muss zwischen 10 und 1200 liegen."},
        {"250", "-5", "»DPI bei PDF als Input« muss zwischen 10 und 1200 liegen."},
        {"15", "9", "»Größe Thumbnails beim Bearbeiten« muss zwischen 16 und 4096 liegen."},
        {"99999999999999999999",
         "200",
         "»Größe Thumbnails beim Bearbeiten« muss zwischen 16 und 4096 liegen."},
    };

    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.thumbSize) + " / " + c.pdfDpi);
        OptionsFields fields;
        fields.thumbSize = c.thumbSize;
        fields.pdfDpi = c.pdfDpi;
        EXPECT_EQ(optionsRangeNote(fields), c.note);
    }
}

TEST_F(OptionsSettingsTest, ProfileNamesAreReadForAtMostTheLimitedCount)
{
    // The count of a damaged file: the options read one name per profile.
    ASSERT_EQ(WriteIni(settingsFile(state), "LAST_VALUES", "AnzBlankProfiles", "2147483647"), 1);
    setSettingDefaults(state);
    loadSettings(state, ScreenRect{0, 0, 600, 300}, false);

    const std::vector<std::string> names = blankProfileNames(state);
    ASSERT_EQ(names.size(), static_cast<std::size_t>(MaxBlankProfiles));
    EXPECT_EQ(names[1], "Recyclingpapier");
    EXPECT_EQ(names[3], "");
}

TEST_F(OptionsSettingsTest, PercentageTakesTheCommaIntoBothWidths)
{
    OptionsFields fields = opened();
    fields.percentage = "99,5";
    saveOptions(state, fields);
    EXPECT_DOUBLE_EQ(state.settings.BlankRecognitionPercentage, 99.5);
    EXPECT_FLOAT_EQ(state.settings.BlankRecognitionPercentageSingle, 99.5F);
}

TEST_F(OptionsSettingsTest, ChosenProfileBecomesActiveWithItsValues)
{
    OptionsFields fields = opened();
    fields.profileSelection = 1;
    readProfileFields(state, 1, fields);
    EXPECT_EQ(fields.minColor, "170");
    fields.resolution = "7";
    fields.minColor = "180";
    fields.percentage = "97.25";
    saveOptions(state, fields);

    EXPECT_EQ(ini("LAST_VALUES", "AktBlankProfile"), "2");
    EXPECT_EQ(ini("BLANK_PROFILE_2", "BlankRecognitionResolution"), "7");
    EXPECT_EQ(ini("BLANK_PROFILE_2", "BlankRecognitionMinColor"), "180");
    EXPECT_EQ(ini("BLANK_PROFILE_2", "BlankRecognitionPercentage"), "97.25");
    EXPECT_EQ(ini("BLANK_PROFILE_1", "BlankRecognitionMinColor"), "250");
    const Settings& s = state.settings;
    EXPECT_EQ(s.AktBlankProfile, 2);
    EXPECT_EQ(s.BlankRecognitionResolution, 7);
    EXPECT_EQ(s.BlankRecognitionMinColor, 180);
    EXPECT_FLOAT_EQ(s.BlankRecognitionPercentageSingle, 97.25F);
}

TEST_F(OptionsSettingsTest, DefaultsDependOnTheProfile)
{
    const struct
    {
        int selection;
        const char* resolution;
        const char* minColor;
        const char* percentage;
    } cases[] = {{0, "3", "250", "98.5"}, {1, "3", "170", "98.5"}, {2, "9", "99", "12.5"}};

    for (const auto& c : cases) {
        SCOPED_TRACE(c.selection);
        OptionsFields fields;
        fields.profileSelection = c.selection;
        fields.jpgQuality = "12";
        fields.frameRate = "5";
        fields.loops = "3";
        fields.resolution = "9";
        fields.minColor = "99";
        fields.percentage = "12.5";
        fields.thumbSize = "77";
        applyOptionsDefaults(fields);
        EXPECT_EQ(fields.jpgQuality, "75");
        EXPECT_EQ(fields.frameRate, "100");
        EXPECT_EQ(fields.loops, "0");
        EXPECT_EQ(fields.resolution, c.resolution);
        EXPECT_EQ(fields.minColor, c.minColor);
        EXPECT_EQ(fields.percentage, c.percentage);
        EXPECT_EQ(fields.thumbSize, "77");
    }
}

TEST_F(OptionsSettingsTest, TemporaryFolderIsResolvedAndCreated)
{
    const std::string fresh = root.file("new/deeper/");

    const struct
    {
        std::string typed;
        std::string saved;
    } cases[] = {
        {"%progpath%", state.ProgramDir + "tmp"},
        {"%TempPath", root.file("systmp")},
        {fresh, fresh},
    };

    for (const auto& c : cases) {
        SCOPED_TRACE(c.typed);
        OptionsFields fields = opened();
        fields.tmpPath = c.typed;
        saveOptions(state, fields);
        EXPECT_EQ(state.settings.TmpPath, c.saved);
        EXPECT_EQ(ini("ALLGEMEINES", "TmpPath"), c.saved);
        EXPECT_TRUE(fs::is_directory(c.saved));
    }
    EXPECT_TRUE(fakes.messages.shown.empty());
}

TEST_F(OptionsSettingsTest, FolderThatCannotBeMadeLeavesThePreviousInUse)
{
    const std::string previous = state.settings.TmpPath;
    testing::writeFile(root.file("plain"), "x");
    const std::string impossible = root.file("plain/tmp");
    fakes.messages.queueAnswer(MessageAnswer::Ok);
    OptionsFields fields = opened();
    fields.tmpPath = impossible;
    saveOptions(state, fields);

    EXPECT_EQ(state.settings.TmpPath, previous);
    EXPECT_EQ(ini("ALLGEMEINES", "TmpPath"), impossible);
    ASSERT_EQ(fakes.messages.shown.size(), 1U);
    EXPECT_EQ(fakes.messages.shown[0].text, tmpPathMissingNote(impossible, previous));
}

// Makes folder read-only for this test process through a read-only bind mount in a mount namespace of
// its own (root ignores permission bits); the reason when that is not possible here.
std::optional<std::string> makeReadOnly(const std::string& folder)
{
    if (::unshare(CLONE_NEWNS) != 0) {
        return std::string("no mount namespace: ") + std::strerror(errno);
    }
    if (::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
        ::mount(folder.c_str(), folder.c_str(), nullptr, MS_BIND, nullptr) != 0 ||
        ::mount(nullptr, folder.c_str(), nullptr, MS_REMOUNT | MS_BIND | MS_RDONLY, nullptr) != 0) {
        return std::string("no read-only bind mount: ") + std::strerror(errno);
    }
    return std::nullopt;
}

TEST_F(OptionsSettingsTest, RelativeOrUnwritableFolderIsRefusedAndThePreviousKept)
{
    testing::writeFile(root.file("plain"), "x");
    const std::string previous = state.settings.TmpPath;

    const struct
    {
        std::string typed;
        std::string reason;
    } cases[] = {
        {"-x", "kein vollständiger Pfad, er muss mit »/« beginnen"},
        {"scans/tmp", "kein vollständiger Pfad, er muss mit »/« beginnen"},
        // procfs lets nobody create a file, root included.
        {"/proc", "Folvex kann dort nicht schreiben: der Ordner fehlt"},
    };

    for (const auto& c : cases) {
        SCOPED_TRACE(c.typed);
        fakes.messages.shown.clear();
        fakes.messages.queueAnswer(MessageAnswer::Ok);
        OptionsFields fields = opened();
        fields.tmpPath = c.typed;
        fields.jpgQuality = "42";
        saveOptions(state, fields);

        EXPECT_EQ(state.settings.TmpPath, previous);
        EXPECT_EQ(ini("ALLGEMEINES", "TmpPath"), previous);
        EXPECT_EQ(ini("LAST_VALUES", "JpgQuality"), "42");
        if (c.typed.front() != '/') {
            EXPECT_FALSE(fs::exists(c.typed)) << "created below the working folder";
        }
        ASSERT_EQ(fakes.messages.shown.size(), 1U);
        EXPECT_EQ(
            fakes.messages.shown[0].text,
            "Der Ordner »" + c.typed + "« kann nicht der temporäre Pfad sein (" + c.reason +
                "). Folvex verwendet weiterhin »" + previous + "«.");
    }
}

TEST_F(OptionsSettingsTest, ReadOnlyFolderIsRefusedWithTheSystemReason)
{
    const std::string previous = state.settings.TmpPath;
    const std::string readOnly = root.file("ro");
    fs::create_directory(readOnly);
    if (const auto why = makeReadOnly(readOnly)) {
        GTEST_SKIP() << *why;
    }
    fakes.messages.queueAnswer(MessageAnswer::Ok);
    OptionsFields fields = opened();
    fields.tmpPath = readOnly;
    saveOptions(state, fields);
    ::umount2(readOnly.c_str(), MNT_DETACH);

    EXPECT_EQ(state.settings.TmpPath, previous);
    EXPECT_EQ(ini("ALLGEMEINES", "TmpPath"), previous);
    ASSERT_EQ(fakes.messages.shown.size(), 1U);
    EXPECT_EQ(
        fakes.messages.shown[0].text,
        "Der Ordner »" + readOnly +
            "« kann nicht der temporäre Pfad sein (Folvex kann dort nicht schreiben: das Dateisystem ist "
            "schreibgeschützt). Folvex verwendet weiterhin »" +
            previous + "«.");
}

TEST_F(OptionsSettingsTest, RemovingAnEditorMovesTheLaterOnesDown)
{
    ExternalEditorTables& editors = state.settings.ExternalEditors;
    storeExternalEditor(editors, 0, "Zeta", "/usr/bin/zeta", false);
    storeExternalEditor(editors, 0, "Alpha", "/usr/bin/alpha", true);
    storeExternalEditor(editors, 0, "Beta", "/usr/bin/beta", false);
    ASSERT_EQ(editors.AnzExtEditors, 3);
    EXPECT_GE(editors.EditorName.size(), 4U);
    writeExternalEditors(state);

    EXPECT_FALSE(removeExternalEditor(editors, 4));
    EXPECT_FALSE(removeExternalEditor(editors, 0));
    ASSERT_TRUE(removeExternalEditor(editors, 1));
    writeExternalEditors(state);
    EXPECT_EQ(editors.AnzExtEditors, 2);
    EXPECT_EQ(externalEditorRow(editors, 1), "Alpha|/usr/bin/alpha|1");
    EXPECT_EQ(externalEditorRow(editors, 2), "Beta|/usr/bin/beta|2");
    EXPECT_EQ(ini("EXTERNALEDITORS", "AnzExtEditors"), "2");
    EXPECT_EQ(ini("EXTERNALEDITORS", "EditorName1"), "Alpha");
    EXPECT_EQ(ini("EXTERNALEDITORS", "EditorWait1"), "1");
    EXPECT_EQ(ini("EXTERNALEDITORS", "EditorName2"), "Beta");
    // The former last editor's keys stay beyond the count.
    EXPECT_EQ(ini("EXTERNALEDITORS", "EditorName3"), "Beta");

    storeExternalEditor(editors, 2, "", "", true);
    EXPECT_EQ(externalEditorRow(editors, 2), "||2");
    EXPECT_EQ(editors.EditorWait[2], 1);
}

} // namespace
} // namespace folvex
