#pragma once

#include "platform/messagebox.h"

// The program's message boxes as QMessageBox, over the active window.
class TWidgetMessageBoxes final : public TMessageBoxes {
public:
    void ShowError(const QString& text) override;
    bool Confirm(const QString& text) override;
};
