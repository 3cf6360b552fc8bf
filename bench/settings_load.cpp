// The start-up load of every setting from a settings file grown to 64 MB (the ordinary first-start
// keys after thousands of scanner sections and a section of stray keys), then the options window's
// reading of the blank-page profile names. Prints the file size and the seconds of each step.
// Usage: bench_settings_load [megabytes] [folder] (default 64 MB in $TMPDIR or /tmp).

#include "foundation/ini_file.h"
#include "shell/options_settings.h"
#include "shell/settings.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;

double secondsSince(Clock::time_point start)
{
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// The padding first, then the keys a start-up reads, as a long-used file would hold them.
void writeSettingsFile(const std::string& path, std::size_t bytes)
{
    std::ofstream out(path, std::ios::binary);
    std::size_t written = 0;
    for (int source = 1; written < bytes / 2; ++source) {
        const std::string section =
            "[SOURCE Scanner " + std::to_string(source) + "]\r\nLastPageOrigin=Einzelblatteinzug\r\n";
        out << section;
        written += section.size();
    }
    out << "[ALLGEMEINES]\r\n";
    for (int key = 1; written < bytes; ++key) {
        const std::string line = "Stray" + std::to_string(key) + "=" + std::string(40, 'x') + "\r\n";
        out << line;
        written += line.size();
    }
    out << "Rotate_ThumbSize=250\r\nTmpPath=" << std::filesystem::path(path).parent_path().string()
        << "\r\nPDFasInputDPI=300\r\nGSPath=/usr/bin/gs\r\nDelEmptyOnEdit=1\r\n"
        << "[ALLGEMEIN]\r\nLastWindowPosX1=10\r\nLastWindowPosY1=10\r\nLastWindowPosX2=700\r\n"
        << "LastWindowPosY2=500\r\nLastWindowMaximized=0\r\n"
        << "[LAST_VALUES]\r\nColorMode=Farbe\r\nResolution=200 dpi\r\nDestType=PDF\r\nPaperSize=DIN A4\r\n"
        << "DiscardEmptyPages=1\r\nJpgQuality=75\r\nAnimGifFrameRate=100\r\nAnimGifLoops=0\r\n"
        << "AnzBlankProfiles=3\r\nAktBlankProfile=2\r\nLastSourceName=Scanner 7\r\n";
    const char* names[] = {"weißes Papier", "Recyclingpapier", "benutzerdefiniert"};
    for (int profile = 1; profile <= 3; ++profile) {
        out << "[BLANK_PROFILE_" << profile << "]\r\nBlankProfileName=" << names[profile - 1]
            << "\r\nBlankRecognitionResolution=3\r\nBlankRecognitionMinColor=250\r\n"
            << "BlankRecognitionPercentage=98.5\r\n";
    }
    out << "[EXTERNALEDITORS]\r\nAnzExtEditors=1\r\nEditorName1=Gimp\r\nEditorPath1=/usr/bin/gimp\r\n"
        << "EditorWait1=0\r\n[OCR]\r\nLanguage=deu\r\n";
}

} // namespace

int main(int argc, char** argv)
{
    const std::size_t megabytes = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 64;
    const char* tmp = std::getenv("TMPDIR");
    const std::filesystem::path folder =
        std::filesystem::path(argc > 2 ? argv[2] : (tmp != nullptr ? tmp : "/tmp")) /
        ("folvex-settings-bench-" + std::to_string(::getpid()));
    std::filesystem::create_directories(folder);
    const std::string file = (folder / "Folvex.ini").string();
    writeSettingsFile(file, megabytes << 20);

    folvex::SettingsState state;
    state.ProgramDir = folder.string() + "/";
    state.settingsPath = file;
    folvex::chooseTmpPath(state);
    folvex::setSettingDefaults(state);

    auto start = Clock::now();
    folvex::loadSettings(state, folvex::ScreenRect{0, 0, 800, 600}, false);
    const double load = secondsSince(start);
    start = Clock::now();
    const auto names = folvex::blankProfileNames(state);
    const double profiles = secondsSince(start);

    std::printf(
        "settings file %.1f MB: start-up load %.3f s (profile %d, %d dpi), options' profile names %.3f s "
        "(%zu names)\n",
        static_cast<double>(std::filesystem::file_size(file)) / (1 << 20),
        load,
        state.settings.AktBlankProfile,
        state.settings.PDFasInputDPI,
        profiles,
        names.size());
    std::filesystem::remove_all(folder);
    return 0;
}
