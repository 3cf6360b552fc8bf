#pragma once
// Scripted stand-ins for the program's effects: message boxes with queued answers, a throwing exit
// seam, a sound counter, a pinned clock. Each records its calls for the test to check.

#include "runtime/clock.h"
#include "runtime/effects.h"
#include "runtime/requesters.h"

#include <chrono>
#include <deque>
#include <mutex>
#include <stdexcept>
#include <string>
#include <vector>

namespace folvex::testing {

struct RecordedMessage
{
    std::string title;
    std::string text;
    MessageButtons buttons;
    MessageIcon icon;
};

// Answers message boxes from a queue; an empty queue fails the test (it never blocks).
class FakeMessageRequester final : public MessageRequester
{
public:
    MessageAnswer showMessage(
        const std::string& title, const std::string& text, MessageButtons buttons, MessageIcon icon) override;

    void queueAnswer(MessageAnswer answer) { answers.push_back(answer); }

    std::deque<MessageAnswer> answers;
    std::vector<RecordedMessage> shown;
};

// Thrown by ThrowingProgramExit so the code that ended the program stops where it would have.
struct ProgramEnded : std::runtime_error
{
    explicit ProgramEnded(int exitCode)
        : std::runtime_error("program ended at once")
        , code(exitCode)
    {}

    int code;
};

class ThrowingProgramExit final : public ProgramExit
{
public:
    void endProgramAtOnce(int code) override
    {
        codes.push_back(code);
        throw ProgramEnded(code);
    }

    std::vector<int> codes;
};

class CountingSoundSink final : public SoundSink
{
public:
    struct Beep
    {
        int frequencyHz;
        int durationMs;
    };

    void beep(int frequencyHz, int durationMs) override { beeps.push_back({frequencyHz, durationMs}); }

    void playSound(const std::string& fileName) override { sounds.push_back(fileName); }

    void systemSound(int type) override { systemSounds.push_back(type); }

    std::vector<Beep> beeps;
    std::vector<std::string> sounds;
    std::vector<int> systemSounds;
};

class FixedClock final : public Clock
{
public:
    explicit FixedClock(std::int64_t seconds)
        : utc(seconds)
    {}

    std::int64_t utcSeconds() const override { return utc; }

    std::int64_t utc;
};

struct RecordedTextInput
{
    std::string title;
    std::string prompt;
    std::string initial;
};

// Answers text inputs from a queue (an empty text stands for Cancel); an empty queue fails the test
// and answers "".
class FakeTextInputRequester final : public TextInputRequester
{
public:
    std::string
    askText(const std::string& title, const std::string& prompt, const std::string& initial) override;

    void queueAnswer(std::string answer) { answers.push_back(std::move(answer)); }

    std::deque<std::string> answers;
    std::vector<RecordedTextInput> asked;
};

enum class FileDialogKind
{
    Open,
    Save,
    Folder,
};

struct RecordedFileDialog
{
    FileDialogKind kind;
    FileRequest request; // for Folder: title and, in defaultFile, the start folder
};

// Answers the file dialogs from one queue, in call order: each answer is the list of chosen paths
// (empty = cancelled; save and folder take the first). An empty queue fails the test and cancels.
class FakeFileRequester final : public FileRequester
{
public:
    std::vector<std::string> openFiles(const FileRequest& request) override;
    std::string saveFile(const FileRequest& request) override;
    std::string chooseFolder(const std::string& title, const std::string& startFolder) override;

    void queueAnswer(std::vector<std::string> paths) { answers.push_back(std::move(paths)); }

    void queueAnswer(const std::string& path)
    {
        answers.push_back(path.empty() ? std::vector<std::string>{} : std::vector<std::string>{path});
    }

    std::deque<std::vector<std::string>> answers;
    std::vector<RecordedFileDialog> dialogs;

private:
    std::vector<std::string> nextAnswer(FileDialogKind kind, const FileRequest& request);
};

// A scripted run of a program: the lines it prints on standard output, then those on standard error,
// how long it takes and how it ends.
struct ScriptedRun
{
    std::vector<std::string> lines;
    std::vector<std::string> errorLines;
    int exitCode = 0;
    bool started = true;
    std::chrono::milliseconds duration{0}; // spent (blocking) before the run ends
};

struct RecordedProcess
{
    std::vector<std::string> argv;
    std::string workingDir;
    bool detached = false;
    std::vector<std::string> environment; // the extra "NAME=value" entries of a waited run
};

// Records every start; waited runs are answered from a queue (an empty queue fails the test and the
// program does not start); detached starts and the default viewer succeed unless startsDetached is
// false. Opened files are recorded with argv {"xdg-open", path}. Waited runs may come from any
// thread; script and read the members while no run is going.
class FakeProcessRunner final : public ProcessRunner
{
public:
    ProcessResult run(const ProcessRequest& request) override;
    bool startDetached(const std::vector<std::string>& argv, const std::string& workingDir) override;
    bool openWithDefaultViewer(const std::string& path) override;

    void queueRun(ScriptedRun run) { runs.push_back(std::move(run)); }

    std::deque<ScriptedRun> runs;
    std::vector<RecordedProcess> started;
    bool startsDetached = true;

private:
    std::mutex m_mutex;
};

struct RecordedPopupMenu
{
    Handle menu;
    Handle window;
};

// Answers popup menus from a queue (0 = dismissed); an empty queue fails the test and dismisses.
class FakePopupMenuRequester final : public PopupMenuRequester
{
public:
    int choosePopupItem(Handle menu, Handle window) override;

    void queueAnswer(int item) { answers.push_back(item); }

    std::deque<int> answers;
    std::vector<RecordedPopupMenu> shown;
};

// Answers the colour picker from a queue (−1 = Esc); an empty queue fails the test and answers −1.
class FakeColourPickRequester final : public ColourPickRequester
{
public:
    std::int32_t pickColour(const std::string& hint) override;

    void queueAnswer(std::int32_t colour) { answers.push_back(colour); }

    std::deque<std::int32_t> answers;
    std::vector<std::string> hints;
};

// Installs the fakes as the program's effects for the lifetime of the object and restores the
// previous ones afterwards. Popup menus and the colour picker stay the user's until a test calls
// answerPopupMenus() or answerColourPicker().
class ScopedFakeEffects
{
public:
    ScopedFakeEffects();
    ~ScopedFakeEffects();
    ScopedFakeEffects(const ScopedFakeEffects&) = delete;
    ScopedFakeEffects& operator=(const ScopedFakeEffects&) = delete;

    FakeMessageRequester messages;
    ThrowingProgramExit exit;
    CountingSoundSink sound;
    FakeTextInputRequester textInput;
    FakeFileRequester files;
    FakePopupMenuRequester popupMenus;
    FakeColourPickRequester colourPicks;

    void answerPopupMenus() { effects().popupMenus = &popupMenus; }

    void answerColourPicker() { effects().colourPicks = &colourPicks; }

private:
    Effects m_previous;
};

} // namespace folvex::testing
