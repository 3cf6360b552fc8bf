// page_editor_view: the page editor on generated pages, for looking at it. Starts the shell's parts
// in a temporary program folder with the fake scanner, writes PAGES pages (default 13; every fifth
// one white, so that it is marked blank) as the scan job leaves them and opens "Seiten bearbeiten" for
// the destination type TYPE (default "PDF"). Usage: page_editor_view [PAGES] [TYPE]

#include "foundation/control_creation.h"
#include "foundation/twain_binding.h"
#include "runtime/controls.h"
#include "runtime/qt_effects.h"
#include "shell/main_window.h"
#include "twain/fake_scanner_library.h"

#include <QApplication>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <unistd.h>

int main(int argc, char** argv)
{
    QApplication application(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    folvex::installRealEffects();
    const int pages = argc > 1 ? std::atoi(argv[1]) : 13;
    const std::string type = argc > 2 ? argv[2] : "PDF";
    const std::filesystem::path folder =
        std::filesystem::temp_directory_path() / ("folvex_page_editor_view_" + std::to_string(getpid()));
    std::filesystem::create_directories(folder);

    folvex::startFoundationLibrary((folder / "Folvex").string());
    folvex::ShellProgram& program = folvex::shellProgram();
    if (!folvex::loadFreeImageBinding(program.freeImage)) {
        return 1;
    }
    folvex::FakeScannerLibrary scanner;
    scanner.devices.push_back({"Acme", "Feeder", "acme:0", true, true, true});
    folvex::installDTwainBinding(&scanner);
    folvex::allocateMainProgramTables(program.state);
    folvex::installShellEntryPoints(program);
    folvex::OpenMainWindow();
    folvex::ComboSelectText(program.windows.controls.destinationType, type);

    const folvex::FreeImageFunctionTable& f = program.freeImage.FreeImageFunctions;
    const std::string tmp = program.state.settingsState.settings.TmpPath;
    for (int p = 1; p <= pages; ++p) {
        // A4 at 100 dpi, upright, landscape every third page; dark bands as text.
        const bool landscape = p % 3 == 0;
        const int width = landscape ? 1169 : 827;
        const int height = landscape ? 827 : 1169;
        FIBITMAP* page = f.Allocate(width, height, 24, 0, 0, 0);
        for (int y = 0; y < height; ++y) {
            BYTE* row = f.GetScanLine(page, y);
            for (int x = 0; x < width; ++x) {
                const bool ink = p % 5 != 0 && (y / 30) % 3 == 0 && x > 80 && x < width - 80;
                row[3 * x] = static_cast<BYTE>(ink ? 40 * (p % 4) : 250);
                row[3 * x + 1] = static_cast<BYTE>(ink ? 60 : 250);
                row[3 * x + 2] = static_cast<BYTE>(ink ? 20 * p % 200 : 250);
            }
        }
        f.SetDotsPerMeterX(page, 3937);
        f.SetDotsPerMeterY(page, 3937);
        f.SaveU(FIF_BMP, page, tmp + "/TmpReadyImg" + std::to_string(p) + ".bmp", 0);
        f.Unload(page);
    }
    std::uint8_t emptyRemoved = 0;
    program.state.entryPoints.EditPages(1, emptyRemoved);

    folvex::CleanUpOnExit();
    folvex::LibraryShutdown();
    folvex::destroyMainWindow();
    std::filesystem::remove_all(folder);
    return 0;
}
