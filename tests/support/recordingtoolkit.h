// A toolkit double: records what is asked, answers as the test says (never a real modal box),
// keeps posted and timed work until the test runs it; texts collate as bytes, ignoring case.
#pragma once

#include "app/toolkit.h"

#include <cctype>
#include <deque>
#include <functional>
#include <vector>

struct RecordedMessage {
    std::string text;
    app::MessageStyle style;
    std::string title;
};

struct RecordedOpen {
    std::string target;
    int showCommand;
};

template <class Base = app::Toolkit> class BasicRecordingToolkit : public Base {
public:
    std::vector<RecordedMessage> messages;
    std::deque<app::MessageAnswer> answers; ///< for Yes/No questions; Yes when empty
    std::vector<RecordedOpen> opened;
    app::OpenResult openResult = app::OpenResult::Opened; ///< what shellOpen() answers
    std::deque<std::function<void()>> posted;
    std::vector<std::pair<int, std::function<void()>>> timed; ///< after(): delay and work
    int beeps = 0;
    std::function<void()> onYield; ///< runs at each yield, to act in the middle of a drop

    app::MessageAnswer messageBox(const std::string& text, app::MessageStyle style,
                                  const std::string& title) override {
        messages.push_back({text, style, title});
        if (style != app::MessageStyle::YesNoStop)
            return app::MessageAnswer::Ok;
        const auto answer = answers.empty() ? app::MessageAnswer::Yes : answers.front();
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
    void after(int milliseconds, std::function<void()> work) override {
        timed.emplace_back(milliseconds, std::move(work));
    }
    std::unique_ptr<app::SortKeys>
    sortKeys(std::size_t count, const std::function<std::string(std::size_t)>& textOf) override {
        struct Folded : app::SortKeys {
            std::vector<std::string> keys;
            bool less(std::size_t a, std::size_t b) const override { return keys[a] < keys[b]; }
        };
        auto keys = std::make_unique<Folded>();
        for (std::size_t i = 0; i < count; ++i)
            for (char& c : keys->keys.emplace_back(textOf(i)))
                c = char(std::tolower(static_cast<unsigned char>(c)));
        return keys;
    }
    app::OpenResult shellOpen(const std::string& target, int show) override {
        opened.push_back({target, show});
        return openResult;
    }

    /// Runs the work of after() as the event loop would once its time has passed.
    void runTimers() {
        auto due = std::move(timed);
        timed.clear();
        for (auto& [delay, work] : due)
            work();
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
