#pragma once

#include <deque>
#include <string>
#include <vector>

#include "common/prompts.h"

namespace kv6::test {

// Records every message box and answers from a script; when the script runs
// out it answers `answerWhenEmpty` (OK by default).
class ScriptedPrompts final : public Prompts {
public:
    explicit ScriptedPrompts(bool answerWhenEmpty = true) : answerWhenEmpty(answerWhenEmpty) {}

    struct Shown {
        std::string text;
        std::string caption;
        MessageIcon icon;
        MessageButtons buttons;
    };

    bool message(const std::string& text, const std::string& caption, MessageIcon icon,
                 MessageButtons buttons) override {
        shown.push_back({text, caption, icon, buttons});
        if (answers.empty()) return answerWhenEmpty;
        const bool answer = answers.front();
        answers.pop_front();
        return answer;
    }

    std::deque<bool> answers;
    bool answerWhenEmpty = true;
    std::vector<Shown> shown;
};

}  // namespace kv6::test
