#include "support/fakes.h"

#include <gtest/gtest.h>

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

ScopedFakeEffects::ScopedFakeEffects()
    : m_previous(effects())
{
    effects().messages = &messages;
    effects().exit = &exit;
    effects().sound = &sound;
}

ScopedFakeEffects::~ScopedFakeEffects()
{
    const Effects current = effects();
    effects() = m_previous;
    effects().processes = m_previous.processes != nullptr ? m_previous.processes : current.processes;
}

} // namespace folvex::testing
