#pragma once
// Where the image library's messages go. A thread that opens a FreeImageMessageScope gathers the
// messages raised on it (e.g. all of one file's) and shows them as one note itself; a message raised
// outside any scope is shown as a note on the GUI thread: at once when it arose there, else handed over
// through the GUI-thread port. No note is ever shown from a worker thread. Any thread.

#include "runtime/gui_thread.h"

#include <string>
#include <vector>

namespace folvex {

// The note's text for the given messages (UTF-8): "FreeImage-Fehler:\n\n", then the messages, one per
// line.
std::string freeImageNoteText(const std::vector<std::string>& messages);

// Gathers the library messages raised on the calling thread while it is alive. Scopes nest: the
// innermost one gathers. Open and close it on the same thread; move-free and copy-free.
class FreeImageMessageScope
{
public:
    FreeImageMessageScope();
    ~FreeImageMessageScope();
    FreeImageMessageScope(const FreeImageMessageScope&) = delete;
    FreeImageMessageScope& operator=(const FreeImageMessageScope&) = delete;

    // The messages gathered so far, converted to UTF-8, in the order they arose.
    const std::vector<std::string>& messages() const { return m_messages; }

    // The one note for the gathered messages; empty when there are none.
    std::string noteText() const;

    // Hands the gathered messages over and starts gathering anew (e.g. once per page).
    std::vector<std::string> take();

private:
    friend bool gatherFreeImageMessage(std::string message);

    // Gathers one message (UTF-8) into the calling thread's innermost scope; false, gathering nothing,
    // when no scope is open on the thread.
    bool gatherFreeImageMessage(std::string message);

    std::vector<std::string> m_messages;
    FreeImageMessageScope* m_outer = nullptr;
};

// Installs the port through which messages from other threads reach the GUI thread; nullptr removes
// it. Set on the GUI thread at start-up, before any worker calls the library. Without a port every
// message outside a scope is shown on the calling thread (only the GUI thread exists then).
void setFreeImageMessageGuiThread(GuiThreadPort* port);

// Takes one library message (8-bit text in UTF-8 or the system code page; nullptr reads as empty):
// into the calling thread's innermost scope, else as a note with OK and Cancel (Cancel ends the
// program at once) on the GUI thread.
void deliverFreeImageMessage(const char* message);

// Gathers one message (UTF-8) into the calling thread's innermost scope; false, gathering nothing,
// when no scope is open on the thread.
bool gatherFreeImageMessage(std::string message);

} // namespace folvex
