#pragma once

#include <QString>

// Every message box of the program goes through this interface, so the core can report
// without a widget and tests can answer and record the boxes. Main thread only.
class TMessageBoxes {
public:
    virtual ~TMessageBoxes() = default;
    // An error box with an OK button.
    virtual void ShowError(const QString& text) = 0;
    // A confirmation box with Yes and No; true for Yes.
    virtual bool Confirm(const QString& text) = 0;
};

// The installed implementation; until one is installed, errors go to standard error and
// confirmations are answered No.
TMessageBoxes& MessageBoxes();

// Installs boxes (not owned; nullptr restores the standard-error fallback).
void SetMessageBoxes(TMessageBoxes* boxes);
