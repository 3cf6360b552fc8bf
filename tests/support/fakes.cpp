#include "support/fakes.h"

#include <gtest/gtest.h>

#include <thread>

namespace folvex::testing {

MessageAnswer FakeMessageRequester::showMessage(
    const std::string& title, const std::string& text, MessageButtons buttons, MessageIcon icon)
{
    shown.push_back({title, text, buttons, icon});
    if (answers.empty()) {
        ADD_FAILURE() << "unexpected message box \"" << title << "\": " << text;
        return buttons == MessageButtons::Ok ? MessageAnswer::Ok : MessageAnswer::Cancel;
    }
    const MessageAnswer answer = answers.front();
    answers.pop_front();
    return answer;
}

std::string FakeTextInputRequester::askText(
    const std::string& title, const std::string& prompt, const std::string& initial)
{
    asked.push_back({title, prompt, initial});
    if (answers.empty()) {
        ADD_FAILURE() << "unexpected text input \"" << title << "\": " << prompt;
        return {};
    }
    std::string answer = std::move(answers.front());
    answers.pop_front();
    return answer;
}

std::vector<std::string> FakeFileRequester::nextAnswer(FileDialogKind kind, const FileRequest& request)
{
    dialogs.push_back({kind, request});
    if (answers.empty()) {
        ADD_FAILURE() << "unexpected file dialog \"" << request.title << "\"";
        return {};
    }
    std::vector<std::string> answer = std::move(answers.front());
    answers.pop_front();
    return answer;
}

std::vector<std::string> FakeFileRequester::openFiles(const FileRequest& request)
{
    return nextAnswer(FileDialogKind::Open, request);
}

std::string FakeFileRequester::saveFile(const FileRequest& request)
{
    const std::vector<std::string> answer = nextAnswer(FileDialogKind::Save, request);
    return answer.empty() ? std::string() : answer.front();
}

std::string FakeFileRequester::chooseFolder(const std::string& title, const std::string& startFolder)
{
    FileRequest request;
    request.title = title;
    request.defaultFile = startFolder;
    const std::vector<std::string> answer = nextAnswer(FileDialogKind::Folder, request);
    return answer.empty() ? std::string() : answer.front();
}

ProcessResult FakeProcessRunner::run(const ProcessRequest& request)
{
    ProcessResult result;
    ScriptedRun scripted;
    {
        std::lock_guard lock(m_mutex);
        started.push_back({request.argv, request.workingDir, false, request.environment});
        if (runs.empty()) {
            ADD_FAILURE() << "unexpected program start: "
                          << (request.argv.empty() ? std::string() : request.argv.front());
            result.error = "no scripted run";
            return result;
        }
        scripted = std::move(runs.front());
        runs.pop_front();
    }
    if (!scripted.started) {
        result.error = "scripted start failure";
        return result;
    }
    if (request.onLine) {
        for (const std::string& line : scripted.lines) {
            request.onLine(OutputStream::StandardOutput, line);
        }
        for (const std::string& line : scripted.errorLines) {
            request.onLine(OutputStream::StandardError, line);
        }
    }
    std::this_thread::sleep_for(scripted.duration);
    result.started = true;
    result.exitCode = scripted.exitCode;
    return result;
}

bool FakeProcessRunner::startDetached(const std::vector<std::string>& argv, const std::string& workingDir)
{
    std::lock_guard lock(m_mutex);
    started.push_back({argv, workingDir, true, {}});
    return startsDetached;
}

bool FakeProcessRunner::openWithDefaultViewer(const std::string& path)
{
    return startDetached({"xdg-open", path}, {});
}

int FakePopupMenuRequester::choosePopupItem(Handle menu, Handle window)
{
    shown.push_back({menu, window});
    if (answers.empty()) {
        ADD_FAILURE() << "unexpected popup menu " << menu;
        return 0;
    }
    const int answer = answers.front();
    answers.pop_front();
    return answer;
}

std::int32_t FakeColourPickRequester::pickColour(const std::string& hint)
{
    hints.push_back(hint);
    if (answers.empty()) {
        ADD_FAILURE() << "unexpected colour picker: " << hint;
        return -1;
    }
    const std::int32_t answer = answers.front();
    answers.pop_front();
    return answer;
}

ScopedFakeEffects::ScopedFakeEffects()
    : m_previous(effects())
{
    effects().messages = &messages;
    effects().exit = &exit;
    effects().sound = &sound;
    effects().textInput = &textInput;
    effects().files = &files;
}

ScopedFakeEffects::~ScopedFakeEffects()
{
    const Effects current = effects();
    effects() = m_previous;
    effects().processes = m_previous.processes != nullptr ? m_previous.processes : current.processes;
}

} // namespace folvex::testing
