#include "scale/packethelpers.h"

#include "platform/errors.h"

namespace {

constexpr char16_t Quote = u'\'';

bool IsDigit(char16_t c) { return c >= u'0' && c <= u'9'; }

bool IsAsciiLetter(char16_t c) { return (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z'); }

// The value of a numbered character's run of "$" and digits: decimal, or hexadecimal
// after a leading "$". Values past 255 are clamped so that long runs cannot overflow;
// only the range check looks at them.
int NumberedValue(const QChar* run, qsizetype length)
{
    qsizetype i = 0;
    int base = 10;
    if (run[0] == QLatin1Char('$')) {
        base = 16;
        i = 1;
    }
    if (i == length) // a lone "$"
        throw EConvertError(QLatin1Char('\'') + QString(run, length)
                            + QLatin1String("' is not a valid integer value"));
    int value = 0;
    for (; i < length; ++i) {
        const char16_t c = run[i].unicode();
        if (!IsDigit(c)) // a "$" after the first character
            throw EConvertError(QLatin1Char('\'') + QString(run, length)
                                + QLatin1String("' is not a valid integer value"));
        value = value * base + (c - u'0');
        if (value > 256)
            value = 256;
    }
    return value;
}

// What a plain character needs in notation.
enum class TCharForm { Dropped, Caret, Numbered, Quoted };

TCharForm FormOf(char16_t c)
{
    if (c == 0)
        return TCharForm::Dropped;
    if (c <= 26)
        return TCharForm::Caret;
    // The quote cannot stand inside a quoted run and 27 to 31 have no caret letter;
    // 128 to 255 are received bytes, shown by number so the terminal stays readable.
    if (c < 32 || c == Quote || (c >= 128 && c <= 255))
        return TCharForm::Numbered;
    return TCharForm::Quoted;
}

} // namespace

QString CtrlStrToStr(const QString& notation)
{
    const qsizetype length = notation.size();
    if (length <= 1)
        return notation;

    const QChar* const in = notation.constData();
    qsizetype i = 0;
    while (i < length && in[i] != QLatin1Char('#') && in[i] != QLatin1Char('^')
           && in[i] != QChar(Quote))
        ++i;
    if (i == length) // all literal: share the text instead of copying it
        return notation;

    // No item yields more characters than it is written with.
    QString result(length, Qt::Uninitialized);
    QChar* const out = result.data();
    for (qsizetype k = 0; k < i; ++k)
        out[k] = in[k];
    qsizetype n = i;

    while (i < length) {
        const char16_t c = in[i].unicode();
        if (c == u'#') {
            const qsizetype runStart = ++i;
            while (i < length && (IsDigit(in[i].unicode()) || in[i] == QLatin1Char('$')))
                ++i;
            if (i == runStart)
                throw EConvertError(QStringLiteral("Numeric constant expected after #"));
            const int value = NumberedValue(in + runStart, i - runStart);
            if (value > 255)
                throw EConvertError(QStringLiteral("Numeric constant in string is out of range"));
            if (value == 0)
                throw EConvertError(QStringLiteral("#0 cannot be stored in a Delphi string"));
            out[n++] = QChar(char16_t(value));
        } else if (c == Quote) {
            ++i;
            while (i < length && in[i] != QChar(Quote))
                out[n++] = in[i++];
            if (i == length)
                throw EConvertError(QStringLiteral("Mismatched ' in string"));
            ++i;
        } else if (c == u'^') {
            ++i;
            if (i == length || !IsAsciiLetter(in[i].unicode()))
                throw EConvertError(QStringLiteral("Alpha character excepted after ^"));
            out[n++] = QChar(char16_t((in[i].unicode() & ~0x20) - 64));
            ++i;
        } else {
            out[n++] = in[i++];
        }
    }
    result.truncate(n);
    return result;
}

QString StrToCtrlStr(const QString& plain)
{
    const qsizetype length = plain.size();
    const QChar* const in = plain.constData();

    // Texts with nothing the notation would read differently come back as they are.
    // The quote counts too, or the text would not convert back.
    bool special = false;
    for (qsizetype i = 0; i < length && !special; ++i) {
        const char16_t c = in[i].unicode();
        special = c < 32 || c > 127 || c == u'#' || c == u'^' || c == Quote;
    }
    if (!special)
        return plain;

    QString result;
    result.reserve(length + length / 2 + 2);
    bool runOpen = false;
    for (qsizetype i = 0; i < length; ++i) {
        const char16_t c = in[i].unicode();
        switch (FormOf(c)) {
        case TCharForm::Dropped:
            break;
        case TCharForm::Caret:
            if (runOpen) {
                result += QChar(Quote);
                runOpen = false;
            }
            result += QLatin1Char('^');
            result += QChar(char16_t(c + 64));
            break;
        case TCharForm::Numbered:
            if (runOpen) {
                result += QChar(Quote);
                runOpen = false;
            }
            result += QLatin1Char('#');
            if (c >= 100)
                result += QChar(char16_t(u'0' + c / 100));
            result += QChar(char16_t(u'0' + c / 10 % 10));
            result += QChar(char16_t(u'0' + c % 10));
            break;
        case TCharForm::Quoted:
            // Characters above 255 are literal in notation anyway; keeping them in the
            // run keeps the text readable as one piece.
            if (!runOpen) {
                result += QChar(Quote);
                runOpen = true;
            }
            result += QChar(c);
            break;
        }
    }
    if (runOpen)
        result += QChar(Quote);
    return result;
}

QString ComPortToStr(int portNumber)
{
    return QLatin1String("COM") + QString::number(static_cast<uint>(portNumber));
}
