#pragma once
// The real requesters and sound on Qt, and the start-up call that installs every real effect in
// effects(). GUI thread; a QApplication must exist.

#include "runtime/effects.h"
#include "runtime/requesters.h"

namespace folvex {

// QMessageBox; CR and CR LF break lines (the text is shown as plain text).
class QtMessageRequester final : public MessageRequester
{
public:
    MessageAnswer showMessage(
        const std::string& title, const std::string& text, MessageButtons buttons, MessageIcon icon) override;
};

// QInputDialog.
class QtTextInputRequester final : public TextInputRequester
{
public:
    std::string
    askText(const std::string& title, const std::string& prompt, const std::string& initial) override;
};

// QFileDialog (non-native, so it behaves the same everywhere); save does not ask about overwriting.
class QtFileRequester final : public FileRequester
{
public:
    std::vector<std::string> openFiles(const FileRequest& request) override;
    std::string saveFile(const FileRequest& request) override;
    std::string chooseFolder(const std::string& title, const std::string& startFolder) override;
};

// QApplication::beep() for beeps and every system sound; sound files stay silent.
class QtSoundSink final : public SoundSink
{
public:
    void beep(int frequencyHz, int durationMs) override;
    void playSound(const std::string& fileName) override;
    void systemSound(int type) override;
};

// Installs the real message box, text input, file dialogs, sound, process runner and immediate exit
// in effects(). The objects live until the process ends.
void installRealEffects();

// Text as a message box shows it: CR LF and lone CR become LF.
std::string lineBreaksForDisplay(const std::string& text);

} // namespace folvex
