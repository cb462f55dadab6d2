#pragma once

#include "widgets/calculatorengine.h"

#include <QFrame>

class QLabel;
class QToolButton;

// A free-standing pocket calculator: a display line over a keypad. It takes keyboard
// entry while it has the focus: digits, '.' or ',', + - * /, Enter or '=', '%',
// Backspace, Escape (C) and Delete (CE). Other keys pass on to the parent, so window
// shortcuts such as Space keep working. The keys never take the focus themselves.
class TCalculator : public QFrame {
    Q_OBJECT

public:
    explicit TCalculator(QWidget* parent = nullptr);

    QString DisplayText() const;
    // The key button for a key, for tests and layout tweaks.
    QToolButton* Button(TCalculatorEngine::Key key) const;

    void Press(TCalculatorEngine::Key key);

Q_SIGNALS:
    void DisplayChanged(const QString& text);

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    void ShowDisplay();

    TCalculatorEngine FEngine;
    QLabel* FDisplay = nullptr;
    QToolButton* FButtons[int(TCalculatorEngine::Key::Backspace) + 1] = {};
};
