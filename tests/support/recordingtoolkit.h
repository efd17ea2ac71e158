// A toolkit double: records what the program asks of the toolkit and answers questions as the
// test says, so that no test ever waits on a real modal box. Work posted for later waits until
// the test runs it. \p Base is platform::Toolkit for the core tests, the Qt toolkit for the
// Qt widget tests.
#pragma once

#include "platform/toolkit.h"

#include <deque>
#include <functional>
#include <string>
#include <vector>

struct RecordedMessage {
    std::string text;
    platform::MessageStyle style;
    std::string title;
};

struct RecordedOpen {
    std::string target;
    int showCommand;
};

template <class Base = platform::Toolkit> class BasicRecordingToolkit : public Base {
public:
    std::vector<RecordedMessage> messages;
    std::deque<platform::MessageAnswer> answers; ///< for Yes/No questions; Yes when empty
    std::vector<RecordedOpen> opened;
    std::deque<std::function<void()>> posted;
    int beeps = 0;
    std::function<void()> onYield; ///< runs at each yield, to act in the middle of a drop

    platform::MessageAnswer messageBox(const std::string& text, platform::MessageStyle style,
                                       const std::string& title) override {
        messages.push_back({text, style, title});
        if (style != platform::MessageStyle::YesNoStop)
            return platform::MessageAnswer::Ok;
        const auto answer = answers.empty() ? platform::MessageAnswer::Yes : answers.front();
        if (!answers.empty())
            answers.pop_front();
        return answer;
    }
    void beep() override { ++beeps; }
    void yield() override {
        if (onYield)
            onYield();
    }
    void later(std::function<void()> work) override { posted.push_back(std::move(work)); }
    void shellOpen(const std::string& target, int show) override {
        opened.push_back({target, show});
    }

    /// Runs the work posted so far, as the event loop would.
    void runLater() {
        while (!posted.empty()) {
            auto work = std::move(posted.front());
            posted.pop_front();
            work();
        }
    }
};

using RecordingToolkit = BasicRecordingToolkit<>;
