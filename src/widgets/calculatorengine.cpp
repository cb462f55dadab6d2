#include "widgets/calculatorengine.h"

#include <cmath>

QString FormatCalculatorNumber(double value)
{
    if (value == 0)
        return QStringLiteral("0"); // never "-0"
    return QString::number(value, 'g', TCalculatorEngine::MaxDigits);
}

std::optional<TCalculatorEngine::Key> TCalculatorEngine::KeyForChar(QChar ch)
{
    if (ch >= u'0' && ch <= u'9')
        return Key(int(Key::Digit0) + (ch.unicode() - u'0'));
    switch (ch.unicode()) {
    case u'.': case u',': return Key::Point;
    case u'+': return Key::Add;
    case u'-': return Key::Subtract;
    case u'*': return Key::Multiply;
    case u'/': return Key::Divide;
    case u'=': return Key::Equals;
    case u'%': return Key::Percent;
    default: return std::nullopt;
    }
}

void TCalculatorEngine::Press(Key key)
{
    if (FError && key != Key::Clear && key != Key::ClearEntry)
        return;
    switch (key) {
    case Key::Point: Point(); break;
    case Key::Add: Operator(Op::Add); break;
    case Key::Subtract: Operator(Op::Subtract); break;
    case Key::Multiply: Operator(Op::Multiply); break;
    case Key::Divide: Operator(Op::Divide); break;
    case Key::Equals: Equals(); break;
    case Key::Percent: Percent(); break;
    case Key::ChangeSign: ChangeSign(); break;
    case Key::Clear: ClearAll(); break;
    case Key::ClearEntry: ClearEntry(); break;
    case Key::Backspace: Backspace(); break;
    default: Digit(int(key) - int(Key::Digit0)); break;
    }
}

QString TCalculatorEngine::Display() const
{
    return FError ? QStringLiteral("Error") : FText;
}

double TCalculatorEngine::Value() const
{
    return FText.toDouble();
}

void TCalculatorEngine::BeginEntry()
{
    if (!FEntering) {
        if (FPending == Op::None)
            FRepeatOp = Op::None; // a new number after = starts a new calculation
        FText = QStringLiteral("0");
        FEntering = true;
    }
    FHasOperand = true;
}

void TCalculatorEngine::Digit(int digit)
{
    BeginEntry();
    qsizetype digits = 0;
    for (const QChar ch : FText)
        digits += ch.isDigit() ? 1 : 0;
    if (FText == u"0" || FText == u"-0") {
        FText.chop(1);
        FText += QChar(u'0' + digit);
    } else if (digits < MaxDigits) {
        FText += QChar(u'0' + digit);
    }
}

void TCalculatorEngine::Point()
{
    BeginEntry();
    if (!FText.contains(u'.'))
        FText += u'.';
}

bool TCalculatorEngine::Apply(double a, Op op, double b, double& result)
{
    switch (op) {
    case Op::Add: result = a + b; break;
    case Op::Subtract: result = a - b; break;
    case Op::Multiply: result = a * b; break;
    case Op::Divide:
        if (b == 0) {
            FError = true;
            return false;
        }
        result = a / b;
        break;
    case Op::None: result = b; break;
    }
    if (!std::isfinite(result)) {
        FError = true;
        return false;
    }
    return true;
}

void TCalculatorEngine::ShowResult(double value)
{
    FText = FormatCalculatorNumber(value);
    // Continue with the value as shown, so what the user sees is what the next step uses.
    FAccumulator = Value();
    FEntering = false;
}

void TCalculatorEngine::Operator(Op op)
{
    if (FPending == Op::None) {
        FAccumulator = Value();
    } else if (FHasOperand) {
        double result = 0;
        if (!Apply(FAccumulator, FPending, Value(), result))
            return;
        FAccumulator = result;
    }
    // A second operator in a row only replaces the first.
    FPending = op;
    FRepeatOp = Op::None;
    FHasOperand = false;
    ShowResult(FAccumulator);
}

void TCalculatorEngine::Equals()
{
    double result = 0;
    if (FPending != Op::None) {
        // "5 × =" uses the shown number as the second operand too.
        const double operand = Value();
        if (!Apply(FAccumulator, FPending, operand, result))
            return;
        FRepeatOp = FPending;
        FRepeatOperand = operand;
        FPending = Op::None;
    } else if (FRepeatOp != Op::None) {
        if (!Apply(Value(), FRepeatOp, FRepeatOperand, result))
            return;
    } else {
        result = Value();
    }
    FHasOperand = false;
    ShowResult(result);
}

void TCalculatorEngine::Percent()
{
    const double b = Value();
    double result = 0;
    switch (FPending) {
    case Op::None: result = b / 100; break;
    case Op::Add: result = FAccumulator + FAccumulator * b / 100; break;
    case Op::Subtract: result = FAccumulator - FAccumulator * b / 100; break;
    case Op::Multiply: result = FAccumulator * b / 100; break;
    case Op::Divide:
        if (b == 0) {
            FError = true;
            return;
        }
        result = FAccumulator / b * 100;
        break;
    }
    if (!std::isfinite(result)) {
        FError = true;
        return;
    }
    FPending = Op::None;
    FRepeatOp = Op::None;
    FHasOperand = true;
    ShowResult(result);
}

void TCalculatorEngine::ChangeSign()
{
    if (FText.startsWith(u'-'))
        FText.remove(0, 1);
    else if (FText != u"0")
        FText.prepend(u'-');
    else
        return;
    // A changed result is a number the user chose: the next operator uses it.
    FHasOperand = true;
    if (!FEntering && FPending == Op::None)
        FAccumulator = Value();
}

void TCalculatorEngine::ClearAll()
{
    *this = TCalculatorEngine();
}

void TCalculatorEngine::ClearEntry()
{
    if (FError) {
        ClearAll();
        return;
    }
    FText = QStringLiteral("0");
    FEntering = true;
    FHasOperand = true;
}

void TCalculatorEngine::Backspace()
{
    if (!FEntering)
        return;
    FText.chop(1);
    if (FText.isEmpty() || FText == u"-")
        FText = QStringLiteral("0");
}
