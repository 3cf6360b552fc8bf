#include "foundation/note.h"

#include "runtime/effects.h"

namespace folvex {

namespace {

void replaceAll(std::string& text, const std::string& from, const std::string& to)
{
    std::size_t pos = 0;
    while ((pos = text.find(from, pos)) != std::string::npos) {
        text.replace(pos, from.size(), to);
        pos += to.size();
    }
}

} // namespace

std::string prepareNoteText(const std::string& text)
{
    std::string prepared = text;
    replaceAll(prepared, "\\n", "\r");
    replaceAll(prepared, "\\q", "\"");
    return prepared;
}

int ShowNote(const std::string& text, std::uint8_t mode, Handle /*owner*/)
{
    if (mode != 0 && mode != 1) {
        return 0;
    }
    const MessageButtons buttons = mode == 0 ? MessageButtons::Ok : MessageButtons::OkCancel;
    const MessageAnswer answer =
        effects().messages->showMessage(NoteTitle, prepareNoteText(text), buttons, MessageIcon::Information);
    if (mode == 1 && answer == MessageAnswer::Cancel) {
        effects().exit->endProgramAtOnce(-1);
    }
    return 0;
}

} // namespace folvex
