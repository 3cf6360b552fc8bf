#include "shell/page_import_qt.h"

#include "foundation/wait_window.h"
#include "shell/page_import.h"

namespace folvex {
namespace {

class WaitWindowView final : public PageImportWaitView
{
public:
    void openWaitWindow(const std::string& text) override { XWarten(text, NoHandle, 20, -1, 0, 0, NoHandle); }

    void closeWaitWindow() override { XWartenEnde(); }
};

template <void (*Import)(PageImportContext&)>
void runImport(ShellState& state, const FreeImageFunctionTable& functions)
{
    WaitWindowView view;
    PageImportContext context{state.settingsState.settings, state.entryPoints, functions, view};
    Import(context);
}

} // namespace

void installPageImports(ShellState& state, const FreeImageFunctionTable& functions)
{
    ShellState* s = &state;
    const FreeImageFunctionTable* table = &functions;
    state.entryPoints.ImportImageFiles = [s, table] { runImport<ImportImageFiles>(*s, *table); };
    state.entryPoints.ImportMultipageTiff = [s, table] { runImport<ImportMultipageTiff>(*s, *table); };
    state.entryPoints.ImportPdfViaGhostscript = [s, table] {
        runImport<ImportPdfViaGhostscript>(*s, *table);
    };
}

} // namespace folvex
