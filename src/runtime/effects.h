#pragma once
// The user-facing effects computing code reaches through small interfaces: the system message box,
// the immediate end of the program, beeps and sounds, starting other programs. The window layer
// installs the real ones at start-up; tests install scripted fakes. Interfaces are called on the GUI
// thread unless a function says otherwise.

#include "runtime/handles.h"
#include "runtime/requesters.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace folvex {

// Buttons of the system message box, with the Windows numbering the program's texts are written for.
enum class MessageButtons
{
    Ok = 0,
    OkCancel = 1,
    YesNoCancel = 3,
    YesNo = 4,
};

enum class MessageIcon
{
    None = 0,
    Error = 0x10,
    Question = 0x20,
    Warning = 0x30,
    Information = 0x40,
};

// The answer: which button ended the box (Esc and the close box give Cancel, or No/Ok where there is
// no Cancel button).
enum class MessageAnswer
{
    Ok = 1,
    Cancel = 2,
    Yes = 6,
    No = 7,
};

class MessageRequester
{
public:
    virtual ~MessageRequester() = default;

    // Shows a modal message box; a carriage return (or CR LF) in text breaks the line.
    virtual MessageAnswer showMessage(
        const std::string& title, const std::string& text, MessageButtons buttons, MessageIcon icon) = 0;
};

class ProgramExit
{
public:
    virtual ~ProgramExit() = default;

    // Ends the process at once without any clean-up; code −1 becomes exit status 255. The real one
    // does not return; a test fake may throw to stop the caller.
    virtual void endProgramAtOnce(int code) = 0;
};

class SoundSink
{
public:
    virtual ~SoundSink() = default;

    // A tone of the given frequency and length (the system beep: 0, 0).
    virtual void beep(int frequencyHz, int durationMs) = 0;

    // A sound file by name (may stay silent).
    virtual void playSound(const std::string& fileName) = 0;

    // One of the system's event sounds: 64 information, 32 question, 48 exclamation, 16 error, 0 the
    // simple beep (other values: the simple beep).
    virtual void systemSound(int type) = 0;
};

struct ProcessResult
{
    bool started = false; // false: the program could not be started at all
    int exitCode = -1;    // the exit status; 128 + n when signal n ended the program
    std::string error;    // why it could not be started
};

// The stream a line of a program's output came on.
enum class OutputStream
{
    StandardOutput = 1,
    StandardError = 2,
};

// One line of output without its line end (LF or CR LF); a last line without one is given too.
using OutputLineHandler = std::function<void(OutputStream stream, const std::string& line)>;

struct ProcessRequest
{
    std::vector<std::string> argv; // argv[0] is looked up in PATH unless it holds a "/"
    std::string workingDir;        // empty: the current one
    // "NAME=value" entries added to the program's environment or replacing the same name there. The
    // program itself is looked up in the caller's PATH.
    std::vector<std::string> environment;
    OutputLineHandler onLine; // may be empty
};

class ProcessRunner
{
public:
    virtual ~ProcessRunner() = default;

    // Runs a program (no shell) and waits for it; standard input is empty, each line of standard output
    // and standard error goes to onLine on the calling thread. May be called from any thread. On the
    // GUI thread the real runner keeps processing window events while it waits (the windows repaint,
    // timers run, input lands in the event queue for the caller); elsewhere it just blocks.
    virtual ProcessResult run(const ProcessRequest& request) = 0;

    // Starts a program and does not wait; true when it started.
    virtual bool startDetached(const std::vector<std::string>& argv, const std::string& workingDir) = 0;

    // Opens a file with the desktop's default viewer (xdg-open); true when the opener started.
    virtual bool openWithDefaultViewer(const std::string& path) = 0;
};

// Answers a popup menu in place of the user (tests). The real menu needs no requester.
class PopupMenuRequester
{
public:
    virtual ~PopupMenuRequester() = default;

    // menu: the registered menu shown, window: the window it belongs to. Returns the chosen item's
    // id, or 0 when the menu is dismissed without a choice.
    virtual int choosePopupItem(Handle menu, Handle window) = 0;
};

// Answers the colour picker in place of the user (tests). The real picker needs no requester.
class ColourPickRequester
{
public:
    virtual ~ColourPickRequester() = default;

    // hint: the text the picker shows. Returns a colour 0x00BBGGRR, or −1 for Esc.
    virtual std::int32_t pickColour(const std::string& hint) = 0;
};

// The installed effects. Every member is set at start-up (or by a test) before it is used, except
// the two answerers of popup menus and the colour picker: left at nullptr, the user answers.
struct Effects
{
    MessageRequester* messages = nullptr;
    ProgramExit* exit = nullptr;
    SoundSink* sound = nullptr;
    ProcessRunner* processes = nullptr;
    TextInputRequester* textInput = nullptr;
    FileRequester* files = nullptr;
    PopupMenuRequester* popupMenus = nullptr;
    ColourPickRequester* colourPicks = nullptr;
};

// The program's effects; process-wide like the platform they stand for.
Effects& effects();

// Looks a program up in PATH: the first regular file of that name that may be executed (folders and
// other files of that name are passed over); the empty text when there is none. A name holding a "/"
// is taken as it is when it names such a file.
std::string findInPath(const std::string& program);

} // namespace folvex
