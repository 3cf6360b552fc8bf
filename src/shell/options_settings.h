#pragma once
// What the options window and the external-editor windows do with the settings, apart from the
// windows: the texts the fields show, "Defaults", the saving of the options with their limits, and
// the changes to the table of external editors with their rewrite into the settings file. GUI thread.

#include "shell/settings.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace folvex {

// The texts of the options window's fields and the state of its check boxes and profile choice.
struct OptionsFields
{
    std::string jpgQuality;
    std::string frameRate;
    std::string loops;
    int profileSelection = 0; // 0-based: profile profileSelection + 1
    std::string resolution;
    std::string minColor;
    std::string percentage;
    std::string thumbSize;
    std::string refPicX;
    std::string refPicY;
    std::string refPicCutoff;
    std::string pdfDpi;
    std::string language;
    bool openLastScanner = false;
    bool deleteEmptyOnEdit = false;
    std::string tmpPath;
    std::string gsPath;
};

inline constexpr const char* EmptyTmpPathNote = "Der temporäre Pfad darf nicht leer sein.";

// A percentage with up to 10 decimals, trailing zeros (and a trailing ".") removed, always with ".".
std::string formatPercentage(double value);

// The fields as the window opens with the settings in memory; the profile selection is
// AktBlankProfile − 1 and the three profile fields are left empty (readProfileFields fills them).
OptionsFields optionsFieldsFrom(const Settings& settings);

// The names of the blank-page profiles 1 .. AnzBlankProfiles from the settings file, in that order.
std::vector<std::string> blankProfileNames(SettingsState& state);

// The note for the first field whose number lies outside the range it is held to (thumbnail size,
// PDF input resolution), naming the range; nothing when all fit. The window stays open on it.
std::optional<std::string> optionsRangeNote(const OptionsFields& fields);

// Fills the three profile fields with the stored values of profile selection + 1.
void readProfileFields(SettingsState& state, int selection, OptionsFields& fields);

// "Defaults": JPEG quality 75, frame time 100, loops 0; the three profile fields of the first two
// profiles their built-in values; those of any other profile stay.
void applyOptionsDefaults(OptionsFields& fields);

// Saves the fields into the settings and the settings file, key by key with their limits (a number
// outside its range gives the default). A temporary folder that tmpPathRefusal refuses gives the
// note and the previous folder stays, in memory and in the file; one that cannot be created gives the
// note and the previous folder stays in use for this run, while the file keeps the typed text. The
// caller has made sure tmpPath is not empty.
void saveOptions(SettingsState& state, const OptionsFields& fields);

// Stores name, path and wait into editor index (1 .. count); index 0 appends a new last editor,
// growing the tables when needed.
void storeExternalEditor(
    ExternalEditorTables& editors, int index, const std::string& name, const std::string& path, bool wait);

// Removes editor index (1 .. count): the later ones move down by one. False for an index out of
// range.
bool removeExternalEditor(ExternalEditorTables& editors, int index);

// Writes "AnzExtEditors" and the three keys of every editor 1 .. count. Keys beyond the count stay.
void writeExternalEditors(SettingsState& state);

// The list row of editor index: "name|path|index".
std::string externalEditorRow(const ExternalEditorTables& editors, int index);

} // namespace folvex
