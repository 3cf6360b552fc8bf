#include "pageeditor/external_editor.h"

#include "foundation/paths.h"
#include "imageops/raster.h"

#include <cstddef>

namespace folvex {

std::string externalEditorStartNote(const std::string& name)
{
    return "Das Bildbearbeitungsprogramm »" + name + "« konnte nicht gestartet werden.";
}

std::string externalEditorWaitText(const std::string& file, const std::string& name)
{
    return file + " wird in " + name + " geöffnet...";
}

std::string findPaintProgram()
{
    for (const char* candidate : PaintProgramCandidates) {
        std::string found = findInPath(candidate);
        if (!found.empty()) {
            return found;
        }
    }
    return {};
}

std::optional<ExternalEditorProgram> externalEditorProgram(
    const ExternalEditorTables& editors, std::int32_t k, const std::function<std::string()>& findProgram)
{
    if (k == 0) {
        return ExternalEditorProgram{PaintProgramName, findProgram ? findProgram() : std::string(), false};
    }
    const auto index = static_cast<std::size_t>(k);
    if (k < 1 || k > editors.AnzExtEditors || index >= editors.EditorName.size() ||
        index >= editors.EditorPath.size()) {
        return std::nullopt;
    }
    const bool confirm = index < editors.EditorWait.size() && editors.EditorWait[index] == 1;
    return ExternalEditorProgram{editors.EditorName[index], editors.EditorPath[index], confirm};
}

bool OpenInExternalEditor(
    PageEditorModel& model,
    const ExternalEditorTables& editors,
    ProcessRunner& processes,
    std::int32_t page,
    std::int32_t k,
    const std::function<std::string()>& findProgram)
{
    if (page < 1 || page > model.PageCount()) {
        return false;
    }
    const std::optional<ExternalEditorProgram> editor = externalEditorProgram(editors, k, findProgram);
    if (!editor) {
        return false;
    }
    EditorUi& ui = model.ui();
    if (editor->program.empty()) {
        ui.showNote(k == 0 ? NoPaintProgramNote : externalEditorStartNote(editor->name));
        return false;
    }
    FileOps& files = model.files();
    const std::string pagePath = model.pagePath(page);
    const std::string workingCopy = workingCopyPath(pagePath);
    // An existing working copy is kept until the editor's result is complete, so an editor that fails
    // half-way cannot spoil the page's earlier edits.
    const bool hadWorkingCopy = files.exists(workingCopy);
    const std::string handedOver = hadWorkingCopy ? secondWorkingCopyPath(pagePath) : workingCopy;
    if (!files.copyOver(hadWorkingCopy ? workingCopy : pagePath, handedOver)) {
        ui.showNote(ExternalEditorCopyNote);
        return false;
    }

    ui.openWait(externalEditorWaitText(handedOver, editor->name));
    // Absolute, so the editor started in the page's folder finds it and never reads it as an option.
    const std::string handedPath = AbsolutePath(handedOver);
    ProcessRequest request;
    request.argv = {editor->program, handedPath};
    request.workingDir = PathDirectory(handedPath);
    const ProcessResult result = processes.run(request);
    ui.closeWait();
    if (!result.started) {
        files.remove(handedOver);
        const std::string shownName = k == 0 ? PathFileName(editor->program) : editor->name;
        ui.showNote(externalEditorStartNote(shownName));
        return false;
    }

    if (editor->confirmEnd) {
        ui.showNote(ExternalEditorEndNote);
    }
    if (hadWorkingCopy && files.exists(handedOver)) {
        if (!files.renameOver(handedOver, workingCopy)) {
            ui.showNote(ExternalEditorCopyBackNote);
        }
    }
    return true;
}

} // namespace folvex
