#include "foundation/freeimage_messages.h"

#include "foundation/note.h"
#include "runtime/text.h"

#include <atomic>
#include <utility>

namespace folvex {

namespace {

// The innermost scope open on each thread.
thread_local FreeImageMessageScope* innermostScope = nullptr;

// The library calls its message callback without user data, so the port is process-wide.
std::atomic<GuiThreadPort*> messageGuiThread{nullptr};

} // namespace

std::string freeImageNoteText(const std::vector<std::string>& messages)
{
    std::string text = "FreeImage-Fehler:\\n\\n";
    for (std::size_t i = 0; i < messages.size(); ++i) {
        if (i > 0) {
            text += "\\n";
        }
        text += messages[i];
    }
    return text;
}

FreeImageMessageScope::FreeImageMessageScope()
    : m_outer(innermostScope)
{
    innermostScope = this;
}

FreeImageMessageScope::~FreeImageMessageScope()
{
    innermostScope = m_outer;
}

std::string FreeImageMessageScope::noteText() const
{
    return m_messages.empty() ? std::string() : freeImageNoteText(m_messages);
}

std::vector<std::string> FreeImageMessageScope::take()
{
    return std::exchange(m_messages, {});
}

void setFreeImageMessageGuiThread(GuiThreadPort* port)
{
    messageGuiThread.store(port);
}

bool gatherFreeImageMessage(std::string message)
{
    if (innermostScope == nullptr) {
        return false;
    }
    innermostScope->m_messages.push_back(std::move(message));
    return true;
}

void deliverFreeImageMessage(const char* message)
{
    std::string text = utf8OrCp1252ToUtf8(message == nullptr ? "" : message);
    if (gatherFreeImageMessage(text)) {
        return;
    }
    std::string note = freeImageNoteText({std::move(text)});
    GuiThreadPort* gui = messageGuiThread.load();
    if (gui == nullptr || gui->onGuiThread()) {
        ShowNote(note, 1, NoHandle);
        return;
    }
    gui->postToGuiThread([note = std::move(note)] { ShowNote(note, 1, NoHandle); });
}

} // namespace folvex
