#include "shell/help_texts.h"

#include "components/action_box.h"
#include "foundation/note.h"
#include "runtime/safe_file.h"
#include "runtime/text.h"

#include <algorithm>
#include <optional>

namespace folvex {
namespace {

// The message box breaks lines at CR only.
std::string withCarriageReturns(std::string text)
{
    std::replace(text.begin(), text.end(), '\n', '\r');
    return text;
}

void showTextBox(const std::string& title, const std::string& text)
{
    ActionBoxParams params;
    ResetActionBoxParams(params);
    params.Title = title;
    params.Text = text;
    ActionBox(params);
}

// The text of a licence file; nullopt after the note when it cannot be read.
std::optional<std::string> readLicenceFile(const std::string& path)
{
    Expected<std::string> content = readWholeFile(path);
    if (!content) {
        ShowNote(licenceMissingText(path), 0);
        return std::nullopt;
    }
    return utf8OrCp1252ToUtf8(*content);
}

} // namespace

std::string programVersionLine(std::size_t pointerBytes)
{
    const char* const bits = pointerBytes == 8 ? "64bit" : "32bit";
    return std::string("Folvex V") + ProgramVersion + " " + bits + " (build " + ProgramBuild + ")";
}

std::string aboutText(std::size_t pointerBytes)
{
    return programVersionLine(pointerBytes) +
           "\\nScannen, Bearbeiten, Speichern\\n\\nFolvex verwendet die Bildbibliothek FreeImage "
           "(https://freeimage.sourceforge.io), die Scannerschnittstelle SANE und für durchsuchbare PDFs "
           "Tesseract.\\n\\nDie Lizenzen stehen im Menü Hilfe.";
}

std::string licenceMissingText(const std::string& path)
{
    return "Die Lizenzdatei »" + path + "« wurde nicht gefunden.";
}

void AboutBox(std::size_t pointerBytes)
{
    ActionBoxParams params;
    ResetActionBoxParams(params);
    params.Title = AboutTitle;
    params.Text = aboutText(pointerBytes);
    params.Icon = 1;
    ActionBox(params);
}

void ShowLicence(int which, const std::string& programDir)
{
    switch (which) {
        case 1: {
            const std::string_view text = programLicenceText();
            if (text.empty()) {
                ShowNote(licenceMissingText(ProgramLicenceTitle), 0);
                return;
            }
            showTextBox(ProgramLicenceTitle, withCarriageReturns(std::string(text)));
            return;
        }
        case 2:
            if (std::optional<std::string> text = readLicenceFile(programDir + ScannerLibraryLicenceFile)) {
                showTextBox(ScannerLibraryLicenceTitle, withCarriageReturns(std::move(*text)));
            }
            return;
        case 3:
            if (std::optional<std::string> text = readLicenceFile(programDir + ImageLibraryLicenceFile)) {
                showTextBox(ImageLibraryLicenceTitle, *text);
            }
            return;
        default:
            return;
    }
}

} // namespace folvex
