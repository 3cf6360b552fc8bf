#include "shell/options_settings.h"

#include "foundation/note.h"

#include <algorithm>
#include <charconv>
#include <limits>

namespace folvex {

namespace {

constexpr const char* LastValuesSection = "LAST_VALUES";
constexpr const char* MoreGeneralSection = "ALLGEMEINES";
constexpr const char* EditorsSection = "EXTERNALEDITORS";
constexpr const char* OcrSection = "OCR";

std::string profileSection(int number)
{
    return "BLANK_PROFILE_" + std::to_string(number);
}

// The leading integer of a field, limited to low..high.
std::int32_t numberIn(const std::string& text, std::int64_t low, std::int64_t high)
{
    return static_cast<std::int32_t>(std::clamp(readLeadingInteger(text), low, high));
}

std::int32_t number(const std::string& text)
{
    return numberIn(text, std::numeric_limits<std::int32_t>::min(), std::numeric_limits<std::int32_t>::max());
}

} // namespace

std::string formatPercentage(double value)
{
    char buffer[400];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, 10);
    if (result.ec != std::errc()) {
        return "0";
    }
    std::string text(buffer, result.ptr);
    if (text.find('.') != std::string::npos) {
        while (text.back() == '0') {
            text.pop_back();
        }
        if (text.back() == '.') {
            text.pop_back();
        }
    }
    return text == "-0" ? "0" : text;
}

OptionsFields optionsFieldsFrom(const Settings& settings)
{
    OptionsFields f;
    f.jpgQuality = std::to_string(settings.JpgQuality);
    f.frameRate = std::to_string(settings.AnimGifFrameRate);
    f.loops = std::to_string(settings.AnimGifLoops);
    f.profileSelection = std::max(settings.AktBlankProfile - 1, 0);
    f.thumbSize = std::to_string(settings.Rotate_ThumbSize);
    f.refPicX = std::to_string(settings.RefPicX);
    f.refPicY = std::to_string(settings.RefPicY);
    f.refPicCutoff = std::to_string(settings.RefPicCutoff);
    f.pdfDpi = std::to_string(settings.PDFasInputDPI);
    f.language = settings.Language;
    f.openLastScanner = settings.OpenLastScannerOnStartup == 1;
    f.deleteEmptyOnEdit = settings.DelEmptyOnEdit == 1;
    f.tmpPath = settings.TmpPath;
    f.gsPath = settings.GSPath;
    return f;
}

std::vector<std::string> blankProfileNames(SettingsState& state)
{
    const SettingsReadScope once(state);
    std::vector<std::string> names;
    for (int i = 1; i <= state.settings.AnzBlankProfiles; ++i) {
        names.push_back(readSetting(state, profileSection(i), "BlankProfileName"));
    }
    return names;
}

std::optional<std::string> optionsRangeNote(const OptionsFields& fields)
{
    const struct
    {
        const std::string& text;
        const char* label;
        std::int32_t low;
        std::int32_t high;
    } ranges[] = {
        {fields.thumbSize, "Größe Thumbnails beim Bearbeiten", MinThumbSizePx, MaxThumbSizePx},
        {fields.pdfDpi, "DPI bei PDF als Input", MinPdfInputDpi, MaxPdfInputDpi},
    };

    for (const auto& range : ranges) {
        const std::int64_t value = readLeadingInteger(range.text);
        if (value < range.low || value > range.high) {
            return "»" + std::string(range.label) + "« muss zwischen " + std::to_string(range.low) + " und " +
                   std::to_string(range.high) + " liegen.";
        }
    }
    return std::nullopt;
}

void readProfileFields(SettingsState& state, int selection, OptionsFields& fields)
{
    const SettingsReadScope once(state);
    const std::string section = profileSection(selection + 1);
    fields.resolution = readSetting(state, section, "BlankRecognitionResolution");
    fields.minColor = readSetting(state, section, "BlankRecognitionMinColor");
    const std::string percentage = readSetting(state, section, "BlankRecognitionPercentage");
    fields.percentage = percentage.empty() ? percentage : formatPercentage(readLeadingDecimal(percentage));
}

void applyOptionsDefaults(OptionsFields& fields)
{
    fields.jpgQuality = "75";
    fields.frameRate = "100";
    fields.loops = "0";
    if (fields.profileSelection == 0 || fields.profileSelection == 1) {
        const BlankProfile& profile = DefaultBlankProfiles[fields.profileSelection];
        fields.resolution = profile.resolution;
        fields.minColor = profile.minColor;
        fields.percentage = profile.percentage;
    }
}

void saveOptions(SettingsState& state, const OptionsFields& fields)
{
    Settings& s = state.settings;
    const auto write = [&state](const std::string& section, const char* key, const std::string& value) {
        writeSetting(state, section, key, value);
    };
    s.JpgQuality = static_cast<std::uint8_t>(numberIn(fields.jpgQuality, 1, 100));
    write(LastValuesSection, "JpgQuality", std::to_string(s.JpgQuality));
    s.AnimGifFrameRate = numberIn(fields.frameRate, 1, MaxAnimGifFrameMs);
    write(LastValuesSection, "AnimGifFrameRate", std::to_string(s.AnimGifFrameRate));
    s.AnimGifLoops = numberIn(fields.loops, 0, MaxAnimGifLoops);
    write(LastValuesSection, "AnimGifLoops", std::to_string(s.AnimGifLoops));
    s.AktBlankProfile = fields.profileSelection + 1;
    write(LastValuesSection, "AktBlankProfile", std::to_string(s.AktBlankProfile));

    const std::string profile = profileSection(s.AktBlankProfile);
    s.BlankRecognitionResolution = static_cast<std::uint8_t>(numberIn(fields.resolution, 1, 100));
    write(profile, "BlankRecognitionResolution", std::to_string(s.BlankRecognitionResolution));
    s.BlankRecognitionMinColor = static_cast<std::uint8_t>(numberIn(fields.minColor, 0, 255));
    write(profile, "BlankRecognitionMinColor", std::to_string(s.BlankRecognitionMinColor));
    std::string percentage = fields.percentage;
    std::replace(percentage.begin(), percentage.end(), ',', '.');
    s.BlankRecognitionPercentage = std::clamp(readLeadingDecimal(percentage), 0.0, 100.0);
    s.BlankRecognitionPercentageSingle = static_cast<float>(s.BlankRecognitionPercentage);
    write(profile, "BlankRecognitionPercentage", formatPercentage(s.BlankRecognitionPercentage));

    // Sizes and resolutions out of range would break the page editor or make every PDF import write
    // pages of gigabytes: the defaults.
    s.Rotate_ThumbSize = numberInRangeOr(
        readLeadingInteger(fields.thumbSize), MinThumbSizePx, MaxThumbSizePx, DefaultThumbSizePx);
    write(MoreGeneralSection, "Rotate_ThumbSize", std::to_string(s.Rotate_ThumbSize));
    const std::string previousTmpPath = s.TmpPath;
    const std::string wantedTmpPath = resolveTmpPathPlaceholders(state, fields.tmpPath);
    // A folder that exists is judged now; a missing one once it has been created, below.
    if (const auto refusal = tmpPathRefusal(wantedTmpPath, true)) {
        ShowNote(tmpPathRefusedNote(wantedTmpPath, *refusal, previousTmpPath), 0);
    } else {
        s.TmpPath = wantedTmpPath;
        write(MoreGeneralSection, "TmpPath", s.TmpPath);
    }
    s.GSPath = withoutTrailingSlashes(fields.gsPath);
    write(MoreGeneralSection, "GSPath", s.GSPath);
    s.DelEmptyOnEdit = fields.deleteEmptyOnEdit ? 1 : 0;
    write(MoreGeneralSection, "DelEmptyOnEdit", std::to_string(s.DelEmptyOnEdit));
    s.PDFasInputDPI = numberInRangeOr(
        readLeadingInteger(fields.pdfDpi), MinPdfInputDpi, MaxPdfInputDpi, DefaultPdfInputDpi);
    write(MoreGeneralSection, "PDFasInputDPI", std::to_string(s.PDFasInputDPI));
    s.OpenLastScannerOnStartup = fields.openLastScanner ? 1 : 0;
    write(MoreGeneralSection, "OpenLastScannerOnStartup", std::to_string(s.OpenLastScannerOnStartup));
    s.RefPicX = number(fields.refPicX);
    write(MoreGeneralSection, "RefPicX", std::to_string(s.RefPicX));
    s.RefPicY = number(fields.refPicY);
    write(MoreGeneralSection, "RefPicY", std::to_string(s.RefPicY));
    s.RefPicCutoff = number(fields.refPicCutoff);
    write(MoreGeneralSection, "RefPicCutoff", std::to_string(s.RefPicCutoff));
    s.Language = fields.language;
    write(OcrSection, "Language", s.Language);

    // Scans and imports need the new folder now, not only after a restart.
    if (ensureTmpPathOrKeep(state, previousTmpPath) && s.TmpPath != previousTmpPath) {
        if (const auto refusal = tmpPathRefusal(s.TmpPath, true)) {
            ShowNote(tmpPathRefusedNote(s.TmpPath, *refusal, previousTmpPath), 0);
            s.TmpPath = previousTmpPath;
            write(MoreGeneralSection, "TmpPath", s.TmpPath);
        }
    }
}

void storeExternalEditor(
    ExternalEditorTables& editors, int index, const std::string& name, const std::string& path, bool wait)
{
    if (index <= 0 || index > editors.AnzExtEditors) {
        index = ++editors.AnzExtEditors;
        const auto rows = static_cast<std::size_t>(index) + 1;
        if (rows > editors.EditorName.size()) {
            editors.EditorName.resize(rows);
            editors.EditorPath.resize(rows);
            editors.EditorWait.resize(rows, 0);
        }
    }
    const auto row = static_cast<std::size_t>(index);
    editors.EditorName[row] = name;
    editors.EditorPath[row] = path;
    editors.EditorWait[row] = wait ? 1 : 0;
}

bool removeExternalEditor(ExternalEditorTables& editors, int index)
{
    if (index < 1 || index > editors.AnzExtEditors) {
        return false;
    }
    for (auto i = static_cast<std::size_t>(index); i < static_cast<std::size_t>(editors.AnzExtEditors); ++i) {
        editors.EditorName[i] = editors.EditorName[i + 1];
        editors.EditorPath[i] = editors.EditorPath[i + 1];
        editors.EditorWait[i] = editors.EditorWait[i + 1];
    }
    const auto last = static_cast<std::size_t>(editors.AnzExtEditors);
    editors.EditorName[last].clear();
    editors.EditorPath[last].clear();
    editors.EditorWait[last] = 0;
    --editors.AnzExtEditors;
    return true;
}

void writeExternalEditors(SettingsState& state)
{
    const ExternalEditorTables& editors = state.settings.ExternalEditors;
    writeSetting(state, EditorsSection, "AnzExtEditors", std::to_string(editors.AnzExtEditors));
    for (int i = 1; i <= editors.AnzExtEditors; ++i) {
        const auto row = static_cast<std::size_t>(i);
        writeSetting(state, EditorsSection, "EditorName" + std::to_string(i), editors.EditorName[row]);
        writeSetting(state, EditorsSection, "EditorPath" + std::to_string(i), editors.EditorPath[row]);
        writeSetting(
            state,
            EditorsSection,
            "EditorWait" + std::to_string(i),
            editors.EditorWait[row] != 0 ? "1" : "0");
    }
}

std::string externalEditorRow(const ExternalEditorTables& editors, int index)
{
    const auto row = static_cast<std::size_t>(index);
    return editors.EditorName[row] + "|" + editors.EditorPath[row] + "|" + std::to_string(index);
}

} // namespace folvex
