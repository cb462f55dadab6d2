#pragma once

#include "platform/messagebox.h"

#include <QStringList>

// Records the message boxes instead of showing them, while it lives; questions get Answer.
class TRecordedBoxes final : public TMessageBoxes {
public:
    TRecordedBoxes() { SetMessageBoxes(this); }
    ~TRecordedBoxes() override { SetMessageBoxes(nullptr); }
    TRecordedBoxes(const TRecordedBoxes&) = delete;
    TRecordedBoxes& operator=(const TRecordedBoxes&) = delete;

    void ShowError(const QString& text) override { Errors << text; }
    bool Confirm(const QString& text) override
    {
        Questions << text;
        return Answer;
    }

    QStringList Errors;
    QStringList Questions;
    bool Answer = false;
};
