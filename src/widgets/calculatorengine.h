#pragma once

#include <QChar>
#include <QString>

#include <optional>

// The arithmetic of a pocket calculator, without a display.
// - Operations chain left to right: 2 + 3 × 4 = 20.
// - % finishes the calculation: a + b% = a + a·b/100, a − b% = a − a·b/100,
//   a × b% = a·b/100, a ÷ b% = a/b·100; b% alone is b/100.
// - = repeats the last operation: 2 + 3 = = gives 8.
// - Division by zero and results that are not finite show "Error"; only C or CE leave it.
// - Entries hold at most MaxDigits digits; results are shown with at most MaxDigits
//   significant digits, without trailing zeros, with '.' as the decimal point.
class TCalculatorEngine {
public:
    enum class Key {
        Digit0, Digit1, Digit2, Digit3, Digit4, Digit5, Digit6, Digit7, Digit8, Digit9,
        Point, Add, Subtract, Multiply, Divide, Equals, Percent, ChangeSign,
        Clear,      // C: everything
        ClearEntry, // CE: the number being entered
        Backspace,
    };
    static constexpr int MaxDigits = 12;

    void Press(Key key);
    QString Display() const;
    bool IsError() const { return FError; }

    // The key a typed character stands for: digits, '.' and ',' (decimal point), + - * /,
    // '=', '%'. Nothing for any other character.
    static std::optional<Key> KeyForChar(QChar ch);

private:
    enum class Op { None, Add, Subtract, Multiply, Divide };

    void Digit(int digit);
    void Point();
    void Operator(Op op);
    void Equals();
    void Percent();
    void ChangeSign();
    void ClearAll();
    void ClearEntry();
    void Backspace();

    double Value() const;
    // a op b; false (and the error state) when the result is not a number to show.
    bool Apply(double a, Op op, double b, double& result);
    void ShowResult(double value);
    void BeginEntry();

    QString FText = QStringLiteral("0"); // what the display shows, when not in error
    double FAccumulator = 0;
    Op FPending = Op::None;
    Op FRepeatOp = Op::None; // the operation = repeats
    double FRepeatOperand = 0;
    bool FEntering = false;  // digits append to FText
    bool FHasOperand = false; // FText holds an operand given since the last operator
    bool FError = false;
};

QString FormatCalculatorNumber(double value);
