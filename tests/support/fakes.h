#pragma once
// Scripted stand-ins for the program's effects: message boxes with queued answers, a throwing exit
// seam, a sound counter, a pinned clock. Each records its calls for the test to check.

#include "runtime/clock.h"
#include "runtime/effects.h"

#include <deque>
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

    std::vector<Beep> beeps;
    std::vector<std::string> sounds;
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

// Installs the fakes as the program's effects for the lifetime of the object and restores the
// previous ones afterwards.
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

private:
    Effects m_previous;
};

} // namespace folvex::testing
