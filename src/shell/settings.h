#pragma once
// The program's settings: the record of every value kept in the settings file "Folvex.ini", their
// defaults, the first-start file, its repairs and its reading at start-up, the choice of the temporary
// folder and the names of the program's own files in it. GUI thread.

#include "foundation/ini_file.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace folvex {

inline constexpr std::string_view SettingsFileName = "Folvex.ini";

// Created and removed again to learn whether a folder can be written.
inline constexpr std::string_view ProbeFileName = ".folvex-probe";

// More external editors or blank-page profiles than this are taken as a damaged count.
inline constexpr std::int32_t MaxExternalEditors = 1000;
inline constexpr std::int32_t MaxBlankProfiles = 1000;

// The ranges the numbers that size memory, files or loops are held to, at start-up and in the options;
// a value outside its range gives the default. The resolution goes to Ghostscript: 100000 dpi would
// make it write a page of many gigabytes.
inline constexpr std::int32_t DefaultPdfInputDpi = 200;
inline constexpr std::int32_t MinPdfInputDpi = 10;
inline constexpr std::int32_t MaxPdfInputDpi = 1200;
inline constexpr std::int32_t DefaultThumbSizePx = 250;
inline constexpr std::int32_t MinThumbSizePx = 16;
inline constexpr std::int32_t MaxThumbSizePx = 4096;
inline constexpr std::int32_t DefaultAnimGifFrameMs = 100;
inline constexpr std::int32_t MaxAnimGifFrameMs = 1000000;
inline constexpr std::int32_t MaxAnimGifLoops = 1000000;

inline constexpr std::string_view FlatbedPaperSource = "Flachbettauflage";

// A blank-page profile as the settings file keeps it.
struct BlankProfile
{
    const char* name;
    const char* resolution;
    const char* minColor;
    const char* percentage;
};

// The profiles of the first start and of the repair, numbered from 1 in this order.
inline constexpr BlankProfile DefaultBlankProfiles[] = {
    {"weißes Papier", "3", "250", "98.5"},
    {"Recyclingpapier", "3", "170", "98.5"},
    {"benutzerdefiniert", "3", "250", "98.5"},
};

// Left, top, right and bottom of a window's outer rectangle in screen pixels.
struct ScreenRect
{
    std::int32_t left = 0;
    std::int32_t top = 0;
    std::int32_t right = 0;
    std::int32_t bottom = 0;

    bool operator==(const ScreenRect&) const = default;
};

// Three parallel tables indexed 1..AnzExtEditors; index 0 stays empty. The capacity (size − 1) starts
// at 1 and grows with the count.
struct ExternalEditorTables
{
    std::int32_t AnzExtEditors = 0;
    std::vector<std::string> EditorName = std::vector<std::string>(2);
    std::vector<std::string> EditorPath = std::vector<std::string>(2);
    std::vector<std::uint8_t> EditorWait = std::vector<std::uint8_t>(2, 0);
};

// Every value of the settings file while the program runs, named as its key; the members' initial
// values are the built-in defaults. The shell owns the one instance; everything else reads and writes
// its fields.
struct Settings
{
    // Section "ALLGEMEIN": the main window's outer rectangle and whether it was maximised.
    std::int32_t LastWindowPosX1 = 0;
    std::int32_t LastWindowPosY1 = 0;
    std::int32_t LastWindowPosX2 = 0;
    std::int32_t LastWindowPosY2 = 0;
    std::int32_t LastWindowMaximized = 0;
    std::string LastUpdateCheckDay; // local day of the last automatic update check, "%yyyy-%mm-%dd"

    // Section "LAST_VALUES"; the first five are the choices the main window's controls start with.
    std::string ColorMode;
    std::string Resolution;
    std::string DestType;
    std::string PaperSize;
    std::int32_t DiscardEmptyPages = 0;
    std::uint8_t JpgQuality = 75;
    std::int32_t AnimGifFrameRate = 100;
    std::int32_t AnimGifLoops = 0;
    std::int32_t AnzBlankProfiles = 2;
    std::int32_t AktBlankProfile = 1;
    std::string LastSourceName;
    std::string ImagePath; // read and written by the scan job around its save dialog

    // The active blank-page profile (section "BLANK_PROFILE_" + AktBlankProfile); the percentage is
    // kept in both widths, the single one for the blank-page test.
    std::uint8_t BlankRecognitionResolution = 5;
    std::uint8_t BlankRecognitionMinColor = 250;
    double BlankRecognitionPercentage = 98.5;
    float BlankRecognitionPercentageSingle = 98.5F;

    // Section "ALLGEMEINES".
    std::int32_t Rotate_ThumbSize = 250;
    std::string TmpPath; // no trailing "/"
    std::string GSPath;
    std::int32_t DelEmptyOnEdit = 1;
    std::int32_t PDFasInputDPI = 200;
    std::uint8_t OpenLastScannerOnStartup = 1;
    std::int32_t RefPicX = 0;
    std::int32_t RefPicY = 0;
    std::int32_t RefPicCutoff = -1;

    // Section "EXTERNALEDITORS".
    ExternalEditorTables ExternalEditors;

    // Section "OCR".
    std::string Language = "deu";

    // "LastPageOrigin" of section "SOURCE " + LastSourceName.
    std::string PreviousPaperSource = std::string(FlatbedPaperSource);
};

// The settings with what they depend on. ProgramDir must be set (the executable's folder with a
// trailing "/") before any function below runs; a test sets its own.
struct SettingsState
{
    std::string ProgramDir;
    Settings settings;
    std::string chosenTmpPath;           // the start-up choice of the temporary folder
    std::string settingsPath;            // decided on the first use of settingsFile()
    int snapshotScopes = 0;              // SettingsReadScopes alive
    std::optional<IniSnapshot> snapshot; // the reading they share; dropped by every write
};

// While one lives, readSetting answers from a single reading of the settings file, taken again after
// a writeSetting, instead of reading the whole file for every key. Nests.
class SettingsReadScope
{
public:
    explicit SettingsReadScope(SettingsState& state);
    ~SettingsReadScope();
    SettingsReadScope(const SettingsReadScope&) = delete;
    SettingsReadScope& operator=(const SettingsReadScope&) = delete;

private:
    SettingsState& m_state;
};

// value when it lies in low..high, else fallback.
std::int32_t numberInRangeOr(std::int64_t value, std::int32_t low, std::int32_t high, std::int32_t fallback);

// Sets every setting to its built-in default; TmpPath becomes the start-up choice.
void setSettingDefaults(SettingsState& state);

// Chooses the temporary folder: ProgramDir + "tmp" (created) when a probe file can be written there,
// else the program's application-data folder $XDG_DATA_HOME/Folvex (created). Sets chosenTmpPath and
// TmpPath.
void chooseTmpPath(SettingsState& state);

// Start-up: writes the first-start file when there is none, else repairs missing keys, then reads
// every setting. startRect and maximized describe the freshly made main window. The temporary folder
// named in the file is created when missing; when it cannot be, or it is refused (tmpPathRefusal), the
// start-up choice is used for this run and a note says so. Numbers are held to their ranges. The file
// is read once (SettingsReadScope). When the settings file cannot be created, a note says so once and the
// defaults stay.
void loadSettings(SettingsState& state, const ScreenRect& startRect, bool maximized);

// The path without its trailing "/" ("/" alone stays).
std::string withoutTrailingSlashes(std::string path);

// The note shown when the temporary folder missing cannot be created and replacement is used instead.
std::string tmpPathMissingNote(const std::string& missing, const std::string& replacement);

// Why no file can be created, written and removed in folder: 0 when one can, else the errno of the
// first step that failed. Probes with a file of the program's own name (ProbeFileName).
int folderWriteError(const std::string& folder);

// The German reason for a failed write into a folder, from its errno: no write permission, a read-only
// file system, no space left, the folder missing; any other with its number.
std::string folderWriteReason(int error);

// Why folder cannot be the temporary folder; nothing when it can. A relative path is refused (the
// external editor and Tesseract get the folder's files as arguments, and "-x/..." reads as an option);
// with judgeWriting also a folder that exists and cannot be written. A missing folder is not judged.
std::optional<std::string> tmpPathRefusal(const std::string& folder, bool judgeWriting);

// The notes for a temporary folder that is refused (reason from tmpPathRefusal) and replaced: at
// start-up for this run, in the options for good.
std::string tmpPathRefusedAtStartNote(
    const std::string& refused, const std::string& reason, const std::string& replacement);
std::string
tmpPathRefusedNote(const std::string& refused, const std::string& reason, const std::string& kept);

// Creates TmpPath with its parents when missing. When that fails: the note, and TmpPath becomes
// previous again (the folder in use before the change). True when TmpPath can be used.
bool ensureTmpPathOrKeep(SettingsState& state, const std::string& previous);

// The folder text for "%APPPATH%", "%TEMPPATH%", "%USERPATH%" (also without the closing "%") and
// "%PROGPATH%", in any letter case, without trailing "/"; any other text unchanged.
std::string resolveTmpPathPlaceholders(const SettingsState& state, const std::string& text);

// The settings file: ProgramDir + "Folvex.ini" when ProgramDir can be written, else
// $XDG_CONFIG_HOME/Folvex/Folvex.ini (the folder created). Decided once per state.
const std::string& settingsFile(SettingsState& state);

// Reads a key of the settings file; the empty text, without any note, when the file does not exist.
std::string readSetting(SettingsState& state, const std::string& section, const std::string& key);

// Writes a key of the settings file; 1 on success, 0 when it could not be written.
int writeSetting(
    SettingsState& state, const std::string& section, const std::string& key, const std::string& value);

// The file in the temporary folder that lists the page files a save took, with their sizes and times.
inline constexpr std::string_view SavedPagesMarkerName = "FolvexSaved.txt";

// True for the names the program itself creates in the temporary folder (the folder part of name is
// ignored, letter case too): "tmpimg*.bmp", "tmpreadyimg*.bmp", "TmpReadyImg<n>.png" and ".jpg",
// "MultiPage.tiff", "MultiPage_<n>.tiff", the saved-pages marker and every name ending in the
// safe-write suffix.
bool isOwnTempFile(const std::string& name);

// The leading number of a settings text: blanks, a sign and digits; 0 when there is none. Saturates at
// the limits of 64 bits. Independent of the process locale.
std::int64_t readLeadingInteger(std::string_view text);

// The leading decimal of a settings text: blanks, a sign, digits, "." and digits; 0 when there is none.
// Independent of the process locale.
double readLeadingDecimal(std::string_view text);

} // namespace folvex
