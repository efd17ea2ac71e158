// A toolkit double for widget tests: records what the program asks of the toolkit and answers
// questions as the test says, so no test ever waits on a real modal box.
#pragma once

#include "platform/toolkit.h"

#include <QDialog>
#include <QTimer>
#include <QWidget>

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

class RecordingToolkit : public platform::Toolkit {
public:
    std::vector<RecordedMessage> messages;
    std::deque<platform::MessageAnswer> answers; ///< for Yes/No questions; Yes when empty
    std::vector<RecordedOpen> opened;
    std::vector<platform::Pointer> pointers;
    int beeps = 0;
    int yields = 0;
    int modalShown = 0;
    /// Runs while a dialog is shown "modally"; closes it when the callback does not.
    std::function<void(QDialog&)> onModal;
    /// Runs at each yield, to act in the middle of a drop.
    std::function<void()> onYield;

    platform::MessageAnswer messageBox(const std::string& text, platform::MessageStyle style,
                                       const std::string& title) override {
        messages.push_back({text, style, title});
        if (style != platform::MessageStyle::YesNoStop)
            return platform::MessageAnswer::Ok;
        if (answers.empty())
            return platform::MessageAnswer::Yes;
        auto answer = answers.front();
        answers.pop_front();
        return answer;
    }
    void showModal(QDialog& dialog) override {
        ++modalShown;
        dialog.setWindowModality(Qt::ApplicationModal);
        dialog.show();
        if (onModal)
            onModal(dialog);
        if (dialog.isVisible())
            dialog.done(QDialog::Rejected);
    }
    void beep() override { ++beeps; }
    void yield() override {
        ++yields;
        if (onYield)
            onYield();
    }
    void setPointer(QWidget&, platform::Pointer pointer) override { pointers.push_back(pointer); }
    void setHint(QWidget& control, const std::string& text) override {
        control.setToolTip(QString::fromStdString(text));
    }
    void shellOpen(QWidget*, const std::string& target, int showCommand) override {
        opened.push_back({target, showCommand});
    }
};
