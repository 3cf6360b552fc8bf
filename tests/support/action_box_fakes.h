#pragma once
// A scripted stand-in for the message box: answers from a queue, records every record it was shown.
// Header-only, so only test programs that link the component library use it.

#include "components/action_box.h"

#include <gtest/gtest.h>

#include <deque>
#include <string>
#include <vector>

namespace folvex::testing {

class ScriptedActionBoxAnswerer final : public ActionBoxAnswerer
{
public:
    // Installs itself for its lifetime and puts the previous answerer back afterwards.
    ScriptedActionBoxAnswerer()
        : m_previous(setActionBoxAnswerer(this))
    {}

    ~ScriptedActionBoxAnswerer() override { setActionBoxAnswerer(m_previous); }

    ScriptedActionBoxAnswerer(const ScriptedActionBoxAnswerer&) = delete;
    ScriptedActionBoxAnswerer& operator=(const ScriptedActionBoxAnswerer&) = delete;

    // An empty queue fails the test and answers 0, as Esc would.
    std::intptr_t answerActionBox(const ActionBoxParams& params) override
    {
        shown.push_back(params);
        if (answers.empty()) {
            ADD_FAILURE() << "unexpected message box \"" << params.Title << "\": " << params.Text;
            return 0;
        }
        const std::intptr_t answer = answers.front();
        answers.pop_front();
        return answer;
    }

    void queueAnswer(std::intptr_t answer) { answers.push_back(answer); }

    std::deque<std::intptr_t> answers;
    std::vector<ActionBoxParams> shown;

    // The titles of the boxes shown, in order.
    std::vector<std::string> titles() const
    {
        std::vector<std::string> result;
        for (const ActionBoxParams& params : shown) {
            result.push_back(params.Title);
        }
        return result;
    }

private:
    ActionBoxAnswerer* m_previous;
};

} // namespace folvex::testing
