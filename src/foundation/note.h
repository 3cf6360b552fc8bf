#pragma once
// The common note box "Hinweis", the program's channel for errors and misuse messages.
// GUI thread; reaches the screen through the installed message requester.

#include "runtime/handles.h"

#include <cstdint>
#include <string>

namespace folvex {

inline constexpr const char* NoteTitle = "Hinweis";

// mode 0: OK only; mode 1: OK and Cancel, Cancel ends the program at once with code −1 (no clean-up);
// any other mode shows nothing. "\n" in text becomes a line break, "\q" a double quote. Returns 0.
int ShowNote(const std::string& text, std::uint8_t mode, Handle owner = NoHandle);

// The text as the note shows it: "\n" replaced by CR, then "\q" by a double quote.
std::string prepareNoteText(const std::string& text);

} // namespace folvex
