// The Qt tests' toolkit double: shows dialogs "modally" without a nested loop, calling back.
#pragma once

#include "app/qt/qttoolkit.h"
#include "support/recordingtoolkit.h"

#include <QDialog>

class QtRecordingToolkit : public BasicRecordingToolkit<qtkit::QtToolkit> {
public:
    int modalShown = 0;
    /// Runs while a dialog is shown "modally"; closes it when the callback does not.
    std::function<void(QDialog&)> onModal;

    void showModal(QDialog& dialog) override {
        ++modalShown;
        dialog.setWindowModality(Qt::ApplicationModal);
        dialog.show();
        if (onModal)
            onModal(dialog);
        if (dialog.isVisible())
            dialog.done(QDialog::Rejected);
    }
};
