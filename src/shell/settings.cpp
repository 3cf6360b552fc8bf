#include "shell/settings.h"

#include "foundation/ini_file.h"
#include "foundation/note.h"
#include "foundation/paths.h"
#include "runtime/safe_file.h"
#include "runtime/text.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <limits>
#include <pwd.h>
#include <unistd.h>

namespace folvex {

namespace {

constexpr const char* GeneralSection = "ALLGEMEIN";
constexpr const char* LastValuesSection = "LAST_VALUES";
constexpr const char* MoreGeneralSection = "ALLGEMEINES";
constexpr const char* EditorsSection = "EXTERNALEDITORS";
constexpr const char* OcrSection = "OCR";
constexpr std::string_view BlankProfileSectionPrefix = "BLANK_PROFILE_";
constexpr std::string_view SourceSectionPrefix = "SOURCE ";

std::string decimal(std::int64_t value)
{
    char buffer[24];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    return std::string(buffer, result.ptr);
}

std::string blankProfileSection(std::int64_t number)
{
    return std::string(BlankProfileSectionPrefix) + decimal(number);
}

std::int32_t clampToInt32(std::int64_t value)
{
    return static_cast<std::int32_t>(std::clamp<std::int64_t>(
        value, std::numeric_limits<std::int32_t>::min(), std::numeric_limits<std::int32_t>::max()));
}

std::uint8_t clampToByte(std::int64_t value, std::int64_t low = 0, std::int64_t high = 255)
{
    return static_cast<std::uint8_t>(std::clamp(value, low, high));
}

std::string environment(const char* name)
{
    const char* value = std::getenv(name);
    return value != nullptr ? std::string(value) : std::string();
}

// The user's profile folder: $HOME, else the home folder of the account.
std::string homeFolder()
{
    std::string home = environment("HOME");
    if (home.empty()) {
        if (const passwd* account = ::getpwuid(::getuid());
            account != nullptr && account->pw_dir != nullptr) {
            home = account->pw_dir;
        }
    }
    return withoutTrailingSlashes(home.empty() ? std::string("/") : home);
}

// An XDG base folder: the variable when it holds an absolute path, else fallback below the home folder.
std::string baseFolder(const char* variable, const char* belowHome)
{
    const std::string value = environment(variable);
    if (!value.empty() && value.front() == '/') {
        return withoutTrailingSlashes(value);
    }
    return withoutTrailingSlashes(homeFolder() + "/" + belowHome);
}

std::string applicationDataFolder()
{
    return baseFolder("XDG_DATA_HOME", ".local/share");
}

std::string systemTempFolder()
{
    const std::string value = environment("TMPDIR");
    return withoutTrailingSlashes(value.empty() ? std::string("/tmp") : value);
}

bool canWriteIn(const std::string& folder)
{
    return folderWriteError(folder) == 0;
}

bool createFolder(const std::string& folder)
{
    std::error_code ignored;
    std::filesystem::create_directories(folder, ignored);
    return DirectoryExists(folder) == 1;
}

bool writeAll(
    SettingsState& state,
    const char* section,
    std::initializer_list<std::pair<const char*, std::string>> entries)
{
    for (const auto& [key, value] : entries) {
        if (writeSetting(state, section, key, value) == 0) {
            return false;
        }
    }
    return true;
}

bool writeBlankProfiles(SettingsState& state)
{
    std::int64_t number = 0;
    for (const BlankProfile& profile : DefaultBlankProfiles) {
        const std::string section = blankProfileSection(++number);
        if (!writeAll(
                state,
                section.c_str(),
                {{"BlankProfileName", profile.name},
                 {"BlankRecognitionResolution", profile.resolution},
                 {"BlankRecognitionMinColor", profile.minColor},
                 {"BlankRecognitionPercentage", profile.percentage}})) {
            return false;
        }
    }
    return true;
}

void writeFirstStartFile(SettingsState& state, const ScreenRect& startRect, bool maximized)
{
    const bool written = writeAll(
                             state,
                             GeneralSection,
                             {{"LastWindowPosX1", decimal(startRect.left)},
                              {"LastWindowPosY1", decimal(startRect.top)},
                              {"LastWindowPosX2", decimal(startRect.right)},
                              {"LastWindowPosY2", decimal(startRect.bottom)},
                              {"LastWindowMaximized", maximized ? "1" : "0"}}) &&
                         writeAll(
                             state,
                             LastValuesSection,
                             {{"ColorMode", "schwarzweiß"},
                              {"Resolution", "200 dpi"},
                              {"DestType", "PDF+OCR"},
                              {"PaperSize", "DIN A4"},
                              {"DiscardEmptyPages", "1"},
                              {"JpgQuality", "75"},
                              {"AnimGifFrameRate", "100"},
                              {"AnimGifLoops", "0"},
                              {"AnzBlankProfiles", "3"},
                              {"AktBlankProfile", "1"}}) &&
                         writeBlankProfiles(state);
    if (written) {
        static_cast<void>(writeAll(
            state,
            MoreGeneralSection,
            {{"Rotate_ThumbSize", decimal(DefaultThumbSizePx)}, {"TmpPath", state.chosenTmpPath}}));
    }
}

void repairSettingsFile(SettingsState& state)
{
    // Without a profile count the profiles cannot be trusted: all three are written afresh.
    if (readSetting(state, LastValuesSection, "AnzBlankProfiles").empty()) {
        static_cast<void>(
            writeAll(state, LastValuesSection, {{"AnzBlankProfiles", "3"}, {"AktBlankProfile", "1"}}) &&
            writeBlankProfiles(state));
    }
    if (readSetting(state, MoreGeneralSection, "Rotate_ThumbSize").empty()) {
        static_cast<void>(
            writeSetting(state, MoreGeneralSection, "Rotate_ThumbSize", decimal(DefaultThumbSizePx)));
    }
    if (readSetting(state, MoreGeneralSection, "TmpPath").empty()) {
        static_cast<void>(writeSetting(state, MoreGeneralSection, "TmpPath", state.chosenTmpPath));
    }
}

// Reads a number that replaces its default only when the text is not empty.
template <typename Apply>
void readIfNotEmpty(SettingsState& state, const std::string& section, const std::string& key, Apply apply)
{
    const std::string text = readSetting(state, section, key);
    if (!text.empty()) {
        apply(text);
    }
}

void readWindowRect(SettingsState& state, const ScreenRect& startRect)
{
    Settings& s = state.settings;
    ScreenRect rect = startRect;
    if (s.LastWindowMaximized == 0) {
        const char* keys[] = {"LastWindowPosX1", "LastWindowPosY1", "LastWindowPosX2", "LastWindowPosY2"};
        std::int32_t edges[4] = {};
        bool complete = true;
        for (int i = 0; i < 4; ++i) {
            const std::string text = readSetting(state, GeneralSection, keys[i]);
            complete = complete && !text.empty();
            edges[i] = clampToInt32(readLeadingInteger(text));
        }
        const ScreenRect stored{edges[0], edges[1], edges[2], edges[3]};
        // A missing edge or an empty rectangle would put the window where nobody can see it.
        if (complete && stored.right > stored.left && stored.bottom > stored.top) {
            rect = stored;
        }
    }
    s.LastWindowPosX1 = rect.left;
    s.LastWindowPosY1 = rect.top;
    s.LastWindowPosX2 = rect.right;
    s.LastWindowPosY2 = rect.bottom;
}

void readActiveBlankProfile(SettingsState& state)
{
    Settings& s = state.settings;
    // Opening the options reads one name per profile: a damaged count must not make that endless.
    s.AnzBlankProfiles = static_cast<std::int32_t>(std::clamp<std::int64_t>(
        readLeadingInteger(readSetting(state, LastValuesSection, "AnzBlankProfiles")), 0, MaxBlankProfiles));
    const std::string active = readSetting(state, LastValuesSection, "AktBlankProfile");
    const std::int64_t number = readLeadingInteger(active);
    if (active.empty() || number < 1 || number > s.AnzBlankProfiles) {
        // A profile that does not exist would read step, level and share 0 and call every page blank.
        s.AktBlankProfile = 1;
        static_cast<void>(writeSetting(state, LastValuesSection, "AktBlankProfile", "1"));
    } else {
        s.AktBlankProfile = clampToInt32(number);
    }
    const std::string section = blankProfileSection(s.AktBlankProfile);
    readIfNotEmpty(state, section, "BlankRecognitionResolution", [&](const std::string& text) {
        s.BlankRecognitionResolution = clampToByte(readLeadingInteger(text));
    });
    readIfNotEmpty(state, section, "BlankRecognitionMinColor", [&](const std::string& text) {
        s.BlankRecognitionMinColor = clampToByte(readLeadingInteger(text));
    });
    readIfNotEmpty(state, section, "BlankRecognitionPercentage", [&](const std::string& text) {
        s.BlankRecognitionPercentage = readLeadingDecimal(text);
    });
    s.BlankRecognitionPercentageSingle = static_cast<float>(s.BlankRecognitionPercentage);
}

void readExternalEditors(SettingsState& state)
{
    ExternalEditorTables& editors = state.settings.ExternalEditors;
    const std::string count = readSetting(state, EditorsSection, "AnzExtEditors");
    if (count.empty()) {
        return;
    }
    editors.AnzExtEditors =
        static_cast<std::int32_t>(std::clamp<std::int64_t>(readLeadingInteger(count), 0, MaxExternalEditors));
    const auto rows = static_cast<std::size_t>(editors.AnzExtEditors) + 1;
    if (rows > editors.EditorName.size()) {
        editors.EditorName.resize(rows);
        editors.EditorPath.resize(rows);
        editors.EditorWait.resize(rows, 0);
    }
    for (std::int32_t i = 1; i <= editors.AnzExtEditors; ++i) {
        const auto row = static_cast<std::size_t>(i);
        editors.EditorName[row] = readSetting(state, EditorsSection, "EditorName" + decimal(i));
        editors.EditorPath[row] = readSetting(state, EditorsSection, "EditorPath" + decimal(i));
        editors.EditorWait[row] =
            clampToByte(readLeadingInteger(readSetting(state, EditorsSection, "EditorWait" + decimal(i))));
    }
}

void readSettingsFile(SettingsState& state, const ScreenRect& startRect)
{
    Settings& s = state.settings;
    const auto integer = [&](const char* section, const char* key) {
        return clampToInt32(readLeadingInteger(readSetting(state, section, key)));
    };
    const auto integerIfNotEmpty = [&](const char* section, const char* key, std::int32_t& field) {
        readIfNotEmpty(state, section, key, [&](const std::string& text) {
            field = clampToInt32(readLeadingInteger(text));
        });
    };
    const auto inRangeIfNotEmpty =
        [&](const char* section, const char* key, std::int32_t low, std::int32_t high, std::int32_t& field) {
            readIfNotEmpty(state, section, key, [&](const std::string& text) {
                field = numberInRangeOr(readLeadingInteger(text), low, high, field);
            });
        };
    const auto textIfNotEmpty = [&](const char* section, const char* key, std::string& field) {
        readIfNotEmpty(state, section, key, [&](const std::string& text) { field = text; });
    };

    s.LastWindowMaximized = integer(GeneralSection, "LastWindowMaximized");
    readWindowRect(state, startRect);
    s.LastUpdateCheckDay = readSetting(state, GeneralSection, "LastUpdateCheckDay");
    s.LastSourceName = readSetting(state, LastValuesSection, "LastSourceName");
    s.ImagePath = readSetting(state, LastValuesSection, "ImagePath");
    const std::string origin =
        readSetting(state, std::string(SourceSectionPrefix) + s.LastSourceName, "LastPageOrigin");
    s.PreviousPaperSource = origin.empty() ? std::string(FlatbedPaperSource) : origin;
    readIfNotEmpty(state, LastValuesSection, "JpgQuality", [&](const std::string& text) {
        s.JpgQuality = clampToByte(readLeadingInteger(text), 1, 100);
    });
    readActiveBlankProfile(state);
    inRangeIfNotEmpty(LastValuesSection, "AnimGifFrameRate", 1, MaxAnimGifFrameMs, s.AnimGifFrameRate);
    inRangeIfNotEmpty(LastValuesSection, "AnimGifLoops", 0, MaxAnimGifLoops, s.AnimGifLoops);
    inRangeIfNotEmpty(
        MoreGeneralSection, "Rotate_ThumbSize", MinThumbSizePx, MaxThumbSizePx, s.Rotate_ThumbSize);
    textIfNotEmpty(MoreGeneralSection, "TmpPath", s.TmpPath);
    s.GSPath = readSetting(state, MoreGeneralSection, "GSPath");
    s.DelEmptyOnEdit = readSetting(state, MoreGeneralSection, "DelEmptyOnEdit") == "1" ? 1 : 0;
    inRangeIfNotEmpty(MoreGeneralSection, "PDFasInputDPI", MinPdfInputDpi, MaxPdfInputDpi, s.PDFasInputDPI);
    readExternalEditors(state);
    readIfNotEmpty(state, MoreGeneralSection, "OpenLastScannerOnStartup", [&](const std::string& text) {
        s.OpenLastScannerOnStartup = clampToByte(readLeadingInteger(text));
    });
    integerIfNotEmpty(MoreGeneralSection, "RefPicX", s.RefPicX);
    integerIfNotEmpty(MoreGeneralSection, "RefPicY", s.RefPicY);
    integerIfNotEmpty(MoreGeneralSection, "RefPicCutoff", s.RefPicCutoff);
    textIfNotEmpty(OcrSection, "Language", s.Language);
    // The choices the main window's controls start with.
    s.ColorMode = readSetting(state, LastValuesSection, "ColorMode");
    s.Resolution = readSetting(state, LastValuesSection, "Resolution");
    s.DestType = readSetting(state, LastValuesSection, "DestType");
    s.PaperSize = readSetting(state, LastValuesSection, "PaperSize");
    s.DiscardEmptyPages = integer(LastValuesSection, "DiscardEmptyPages");
}

// Acquisition, import and the writers all need the folder: create it, else fall back for this run.
void ensureTmpPath(SettingsState& state)
{
    Settings& s = state.settings;
    if (const auto refusal = tmpPathRefusal(s.TmpPath, false)) {
        ShowNote(tmpPathRefusedAtStartNote(s.TmpPath, *refusal, state.chosenTmpPath), 0);
        s.TmpPath = state.chosenTmpPath;
        createFolder(s.TmpPath);
        return;
    }
    if (createFolder(s.TmpPath) || s.TmpPath == state.chosenTmpPath) {
        return;
    }
    ShowNote(tmpPathMissingNote(s.TmpPath, state.chosenTmpPath), 0);
    s.TmpPath = state.chosenTmpPath;
    createFolder(s.TmpPath);
}

bool startsWith(std::string_view text, std::string_view prefix)
{
    return text.substr(0, prefix.size()) == prefix;
}

bool endsWith(std::string_view text, std::string_view suffix)
{
    return text.size() >= suffix.size() && text.substr(text.size() - suffix.size()) == suffix;
}

bool isDigits(std::string_view text)
{
    return !text.empty() &&
           std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// prefix + digits + suffix.
bool isNumberedName(std::string_view name, std::string_view prefix, std::string_view suffix)
{
    return name.size() > prefix.size() + suffix.size() && startsWith(name, prefix) &&
           endsWith(name, suffix) &&
           isDigits(name.substr(prefix.size(), name.size() - prefix.size() - suffix.size()));
}

std::size_t skipBlanks(std::string_view text)
{
    std::size_t pos = 0;
    while (pos < text.size() && (text[pos] == ' ' || text[pos] == '\t')) {
        ++pos;
    }
    return pos;
}

std::size_t skipDigits(std::string_view text, std::size_t pos)
{
    while (pos < text.size() && text[pos] >= '0' && text[pos] <= '9') {
        ++pos;
    }
    return pos;
}

} // namespace

void setSettingDefaults(SettingsState& state)
{
    state.settings = Settings{};
    state.settings.TmpPath = state.chosenTmpPath;
}

void chooseTmpPath(SettingsState& state)
{
    const std::string programTmp = state.ProgramDir + "tmp";
    std::error_code ignored;
    std::filesystem::create_directory(programTmp, ignored);
    if (DirectoryExists(programTmp) == 1 && canWriteIn(programTmp)) {
        state.chosenTmpPath = programTmp;
    } else {
        state.chosenTmpPath = applicationDataFolder() + "/Folvex";
        createFolder(state.chosenTmpPath);
    }
    state.settings.TmpPath = state.chosenTmpPath;
}

void loadSettings(SettingsState& state, const ScreenRect& startRect, bool maximized)
{
    Settings& s = state.settings;
    s.LastWindowPosX1 = startRect.left;
    s.LastWindowPosY1 = startRect.top;
    s.LastWindowPosX2 = startRect.right;
    s.LastWindowPosY2 = startRect.bottom;
    const std::string file = settingsFile(state);
    const SettingsReadScope once(state);
    if (FileExists(file) == 0) {
        writeFirstStartFile(state, startRect, maximized);
        s.PreviousPaperSource = std::string(FlatbedPaperSource);
    } else {
        repairSettingsFile(state);
    }
    if (FileExists(file) == 1) {
        readSettingsFile(state, startRect);
    } else {
        ShowNote(
            "Die Einstellungsdatei " + file +
                " kann nicht angelegt werden. Folvex arbeitet mit den Grundeinstellungen; Änderungen werden "
                "nicht gespeichert.",
            0);
    }
    ensureTmpPath(state);
}

std::string withoutTrailingSlashes(std::string path)
{
    while (path.size() > 1 && path.back() == '/') {
        path.pop_back();
    }
    return path;
}

std::string tmpPathMissingNote(const std::string& missing, const std::string& replacement)
{
    return "Der Ordner für temporäre Dateien »" + missing +
           "« fehlt und kann nicht angelegt werden. Folvex verwendet in diesem Programmlauf »" + replacement +
           "«.";
}

SettingsReadScope::SettingsReadScope(SettingsState& state)
    : m_state(state)
{
    ++m_state.snapshotScopes;
}

SettingsReadScope::~SettingsReadScope()
{
    if (--m_state.snapshotScopes == 0) {
        m_state.snapshot.reset();
    }
}

std::int32_t numberInRangeOr(std::int64_t value, std::int32_t low, std::int32_t high, std::int32_t fallback)
{
    return value >= low && value <= high ? static_cast<std::int32_t>(value) : fallback;
}

int folderWriteError(const std::string& folder)
{
    // A unique name, created new: a link planted under a fixed name would be written through.
    std::string probe = folder + "/" + std::string(ProbeFileName) + "-XXXXXX";
    const int fd = ::mkostemp(probe.data(), O_CLOEXEC);
    if (fd < 0) {
        return errno;
    }
    int error = ::write(fd, "1", 1) == 1 ? 0 : errno;
    if (::close(fd) != 0 && error == 0) {
        error = errno;
    }
    if (::unlink(probe.c_str()) != 0 && error == 0) {
        error = errno;
    }
    return error;
}

std::string folderWriteReason(int error)
{
    switch (error) {
        case EACCES:
        case EPERM:
            return "keine Schreibberechtigung";
        case EROFS:
            return "das Dateisystem ist schreibgeschützt";
        case ENOSPC:
        case EDQUOT:
            return "kein Speicherplatz mehr frei";
        case ENOENT:
        case ENOTDIR:
            return "der Ordner fehlt";
        default:
            return "Systemfehler Nr. " + decimal(error);
    }
}

std::optional<std::string> tmpPathRefusal(const std::string& folder, bool judgeWriting)
{
    if (folder.empty() || folder.front() != '/') {
        return std::string("kein vollständiger Pfad, er muss mit »/« beginnen");
    }
    if (judgeWriting && DirectoryExists(folder) == 1) {
        if (const int error = folderWriteError(folder); error != 0) {
            return "Folvex kann dort nicht schreiben: " + folderWriteReason(error);
        }
    }
    return std::nullopt;
}

std::string tmpPathRefusedAtStartNote(
    const std::string& refused, const std::string& reason, const std::string& replacement)
{
    return "Der Ordner für temporäre Dateien »" + refused +
           "« aus der Einstellungsdatei ist nicht verwendbar (" + reason +
           "). Folvex verwendet in diesem Programmlauf »" + replacement + "«.";
}

std::string tmpPathRefusedNote(const std::string& refused, const std::string& reason, const std::string& kept)
{
    return "Der Ordner »" + refused + "« kann nicht der temporäre Pfad sein (" + reason +
           "). Folvex verwendet weiterhin »" + kept + "«.";
}

bool ensureTmpPathOrKeep(SettingsState& state, const std::string& previous)
{
    Settings& s = state.settings;
    if (createFolder(s.TmpPath)) {
        return true;
    }
    ShowNote(tmpPathMissingNote(s.TmpPath, previous), 0);
    s.TmpPath = previous;
    return false;
}

std::string resolveTmpPathPlaceholders(const SettingsState& state, const std::string& text)
{
    const std::string placeholder = upperCase(text);
    if (placeholder == "%APPPATH%") {
        return homeFolder();
    }
    if (placeholder == "%TEMPPATH%" || placeholder == "%TEMPPATH") {
        return systemTempFolder();
    }
    if (placeholder == "%USERPATH%" || placeholder == "%USERPATH") {
        return applicationDataFolder();
    }
    if (placeholder == "%PROGPATH%") {
        return state.ProgramDir + "tmp";
    }
    return text;
}

const std::string& settingsFile(SettingsState& state)
{
    if (state.settingsPath.empty()) {
        if (DirectoryExists(state.ProgramDir) == 1 && canWriteIn(withoutTrailingSlashes(state.ProgramDir))) {
            state.settingsPath = state.ProgramDir + std::string(SettingsFileName);
        } else {
            const std::string folder = baseFolder("XDG_CONFIG_HOME", ".config") + "/Folvex";
            createFolder(folder);
            state.settingsPath = folder + "/" + std::string(SettingsFileName);
        }
    }
    return state.settingsPath;
}

std::string readSetting(SettingsState& state, const std::string& section, const std::string& key)
{
    const std::string& file = settingsFile(state);
    if (FileExists(file) == 0) {
        return {};
    }
    if (state.snapshotScopes == 0) {
        return ReadIni(file, section, key);
    }
    if (!state.snapshot) {
        state.snapshot = IniSnapshot::read(file);
    }
    return state.snapshot->value(section, key);
}

int writeSetting(
    SettingsState& state, const std::string& section, const std::string& key, const std::string& value)
{
    state.snapshot.reset();
    return WriteIni(settingsFile(state), section, key, value);
}

bool isOwnTempFile(const std::string& name)
{
    const std::string file = lowerCase(PathFileName(name));
    if (endsWith(file, SafeWriteSuffix)) {
        return true;
    }
    if (endsWith(file, ".bmp") && (startsWith(file, "tmpimg") || startsWith(file, "tmpreadyimg"))) {
        return true;
    }
    return isNumberedName(file, "tmpreadyimg", ".png") || isNumberedName(file, "tmpreadyimg", ".jpg") ||
           file == "multipage.tiff" || isNumberedName(file, "multipage_", ".tiff") ||
           file == lowerCase(SavedPagesMarkerName);
}

std::int64_t readLeadingInteger(std::string_view text)
{
    std::size_t pos = skipBlanks(text);
    bool negative = false;
    if (pos < text.size() && (text[pos] == '+' || text[pos] == '-')) {
        negative = text[pos] == '-';
        ++pos;
    }
    const std::size_t end = skipDigits(text, pos);
    if (end == pos) {
        return 0;
    }
    std::uint64_t magnitude = 0;
    const auto [ptr, error] = std::from_chars(text.data() + pos, text.data() + end, magnitude);
    static_cast<void>(ptr);
    constexpr auto largest = static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max());
    if (error == std::errc::result_out_of_range || magnitude > largest) {
        return negative ? std::numeric_limits<std::int64_t>::min() : std::numeric_limits<std::int64_t>::max();
    }
    const auto value = static_cast<std::int64_t>(magnitude);
    return negative ? -value : value;
}

double readLeadingDecimal(std::string_view text)
{
    std::size_t pos = skipBlanks(text);
    bool negative = false;
    if (pos < text.size() && (text[pos] == '+' || text[pos] == '-')) {
        negative = text[pos] == '-';
        ++pos;
    }
    std::size_t end = skipDigits(text, pos);
    const bool integerDigits = end > pos;
    if (end < text.size() && text[end] == '.') {
        const std::size_t fractionEnd = skipDigits(text, end + 1);
        if (fractionEnd > end + 1 || integerDigits) {
            end = fractionEnd;
        }
    }
    if (end == pos || (!integerDigits && end == pos + 1)) {
        return 0.0;
    }
    double value = 0.0;
    std::from_chars(text.data() + pos, text.data() + end, value, std::chars_format::fixed);
    return negative ? -value : value;
}

} // namespace folvex
