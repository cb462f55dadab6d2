#include "frame/regionalformats.h"

#include <QLocale>
#include <QStringView>

#include <algorithm>
#include <cstdlib>

namespace {

bool IsAsciiLetter(QChar c)
{
    const char16_t u = c.unicode();
    return (u >= u'a' && u <= u'z') || (u >= u'A' && u <= u'Z');
}

char16_t Upper(QChar c)
{
    const char16_t u = c.unicode();
    return (u >= u'a' && u <= u'z') ? char16_t(u - (u'a' - u'A')) : u;
}

bool StartsWithNoCase(QStringView text, qsizetype at, QLatin1String what)
{
    return text.mid(at).startsWith(what, Qt::CaseInsensitive);
}

// ---- Qt locale patterns to classic specifiers -------------------------------------------

// The first character that separates fields, skipping letters, blanks and quoted text.
QString PatternSeparator(const QString& pattern, const QString& fallback)
{
    bool afterField = false;
    for (qsizetype i = 0; i < pattern.size(); ++i) {
        const QChar c = pattern.at(i);
        if (c == u'\'') {
            const qsizetype end = pattern.indexOf(u'\'', i + 1);
            if (end < 0)
                break;
            i = end;
        } else if (c.isLetter()) {
            afterField = true;
        } else if (afterField && !c.isSpace()) {
            return QString(c);
        }
    }
    return fallback;
}

void AppendLiteral(QString& out, QChar c)
{
    if (c == u'\'')
        out += QStringLiteral("\"'\"");
    else if (c == u'"')
        out += QStringLiteral("'\"'");
    else if (IsAsciiLetter(c) || c == u'/' || c == u':')
        out += u'\'' + QString(c) + u'\'';
    else
        out += c;
}

// separatorSpecifier ('/' or ':') stands for every occurrence of separator; nul for none.
QString ClassicFormat(const QString& pattern, const QString& separator, QChar separatorSpecifier)
{
    QString out;
    const qsizetype n = pattern.size();
    qsizetype i = 0;
    while (i < n) {
        const QChar c = pattern.at(i);
        if (c == u'\'') {
            // Quoted text; two quotes stand for one, inside or outside.
            if (i + 1 < n && pattern.at(i + 1) == u'\'') {
                AppendLiteral(out, c);
                i += 2;
                continue;
            }
            ++i;
            while (i < n) {
                if (pattern.at(i) == u'\'') {
                    if (i + 1 < n && pattern.at(i + 1) == u'\'') {
                        AppendLiteral(out, u'\'');
                        i += 2;
                        continue;
                    }
                    ++i;
                    break;
                }
                AppendLiteral(out, pattern.at(i));
                ++i;
            }
            continue;
        }
        qsizetype run = 1;
        while (i + run < n && pattern.at(i + run) == c)
            ++run;
        const auto repeat = [&](char16_t letter, qsizetype most) {
            out += QString(std::min(run, most), QChar(letter));
        };
        switch (c.unicode()) {
        case u'd': repeat(u'd', 4); break;
        case u'M': repeat(u'm', 4); break;
        case u'y': out += run >= 3 ? QStringLiteral("yyyy") : QStringLiteral("yy"); break;
        case u'h':
        case u'H': repeat(u'h', 2); break;
        case u'm': repeat(u'n', 2); break;
        case u's': repeat(u's', 2); break;
        case u'z': out += run >= 3 ? QStringLiteral("zzz") : QStringLiteral("z"); break;
        case u'a':
        case u'A':
            out += QStringLiteral("ampm");
            // "AP" and "ap" are one designator each.
            if (i + run < n && (pattern.at(i + run) == u'p' || pattern.at(i + run) == u'P'))
                ++run;
            break;
        case u't': break; // the time zone has no classic counterpart
        default:
            for (qsizetype k = 0; k < run; ++k) {
                if (!separatorSpecifier.isNull() && separator.size() == 1 && c == separator.at(0))
                    out += separatorSpecifier;
                else
                    AppendLiteral(out, c);
            }
            break;
        }
        i += run;
    }
    return out.trimmed();
}

// ---- formatting ---------------------------------------------------------------------------

QString Number(qint64 value, qsizetype digits)
{
    const QString text = QString::number(std::abs(value)).rightJustified(digits, u'0');
    return value < 0 ? u'-' + text : text;
}

// Nested formats (c, ddddd, t ...) expand one level deep, so a format that names itself ends.
constexpr int kMostFormatLevels = 2;

class TFormatter {
public:
    TFormatter(const QDate& date, const QTime& time, const TFormatSettings& settings)
        : Date(date), Time(time), Settings(settings)
    {
    }

    void Append(QStringView format)
    {
        if (Level >= kMostFormatLevels)
            return;
        ++Level;
        AppendTokens(format);
        --Level;
    }

    QString Out;

private:
    // The h before an am/pm specifier counts 12 hours; the search stops at the next h or a.
    static bool TwelveHourClock(QStringView format, qsizetype from)
    {
        QChar quote;
        for (qsizetype i = from; i < format.size(); ++i) {
            const QChar c = format.at(i);
            if (!quote.isNull()) {
                if (c == quote)
                    quote = QChar();
                continue;
            }
            if (c == u'\'' || c == u'"') {
                quote = c;
            } else if (c == u'a' || c == u'A') {
                return StartsWithNoCase(format, i, QLatin1String("am/pm"))
                    || StartsWithNoCase(format, i, QLatin1String("a/p"))
                    || StartsWithNoCase(format, i, QLatin1String("ampm"));
            } else if (c == u'h' || c == u'H') {
                return false;
            }
        }
        return false;
    }

    QString Designator() const
    {
        return Time.hour() < 12 ? Settings.TimeAMString : Settings.TimePMString;
    }

    void AppendTokens(QStringView format)
    {
        const qsizetype n = format.size();
        char16_t lastToken = u' ';
        qsizetype i = 0;
        while (i < n) {
            const QChar starter = format.at(i);
            char16_t token = starter.unicode();
            if (IsAsciiLetter(starter)) {
                token = Upper(starter);
                if (token == u'M' && lastToken == u'H')
                    token = u'N';
                lastToken = token;
            }
            ++i;
            const auto count = [&] {
                qsizetype c = 1;
                while (i < n && format.at(i) == starter) {
                    ++i;
                    ++c;
                }
                return c;
            };

            switch (token) {
            case u'Y': {
                const qint64 year = Date.year();
                Out += count() <= 2 ? Number(std::abs(year) % 100, 2) : Number(year, 4);
                break;
            }
            case u'M': {
                const qsizetype c = count();
                const auto month = std::size_t(Date.month() - 1);
                if (c <= 2)
                    Out += Number(Date.month(), c);
                else
                    Out += (c == 3 ? Settings.ShortMonthNames : Settings.LongMonthNames).at(month);
                break;
            }
            case u'D': {
                const qsizetype c = count();
                const auto day = std::size_t(Date.dayOfWeek() - 1);
                if (c <= 2)
                    Out += Number(Date.day(), c);
                else if (c == 3)
                    Out += Settings.ShortDayNames.at(day);
                else if (c == 4)
                    Out += Settings.LongDayNames.at(day);
                else
                    Append(c == 5 ? Settings.ShortDateFormat : Settings.LongDateFormat);
                break;
            }
            case u'H': {
                const qsizetype c = std::min<qsizetype>(count(), 2);
                int hour = Time.hour();
                if (TwelveHourClock(format, i)) {
                    if (hour == 0)
                        hour = 12;
                    else if (hour > 12)
                        hour -= 12;
                }
                Out += Number(hour, c);
                break;
            }
            case u'N':
                Out += Number(Time.minute(), std::min<qsizetype>(count(), 2));
                break;
            case u'S':
                Out += Number(Time.second(), std::min<qsizetype>(count(), 2));
                break;
            case u'Z':
                Out += Number(Time.msec(), std::min<qsizetype>(count(), 3));
                break;
            case u'T':
                Append(count() == 1 ? Settings.ShortTimeFormat : Settings.LongTimeFormat);
                break;
            case u'C':
                count();
                Append(Settings.ShortDateFormat);
                if (Time.hour() != 0 || Time.minute() != 0 || Time.second() != 0) {
                    Out += u' ';
                    Append(Settings.LongTimeFormat);
                }
                break;
            case u'A': {
                const qsizetype at = i - 1;
                if (StartsWithNoCase(format, at, QLatin1String("am/pm"))) {
                    Out += Designator();
                    i = at + 5;
                } else if (StartsWithNoCase(format, at, QLatin1String("a/p"))) {
                    Out += format.at(Time.hour() < 12 ? at : at + 2);
                    i = at + 3;
                } else if (StartsWithNoCase(format, at, QLatin1String("ampm"))) {
                    Out += Designator();
                    i = at + 4;
                } else {
                    Out += starter;
                }
                break;
            }
            case u'/':
                Out += Settings.DateSeparator;
                break;
            case u':':
                Out += Settings.TimeSeparator;
                break;
            case u'\'':
            case u'"': {
                const qsizetype end = format.indexOf(starter, i);
                const qsizetype stop = end < 0 ? n : end;
                Out += format.mid(i, stop - i);
                i = end < 0 ? n : end + 1;
                break;
            }
            default:
                Out += starter;
                break;
            }
        }
    }

    QDate Date;
    QTime Time;
    const TFormatSettings& Settings;
    int Level = 0;
};

QString Format(const QString& format, const QDate& date, const QTime& time,
               const TFormatSettings& settings)
{
    if (!date.isValid() || !time.isValid())
        return {};
    TFormatter formatter(date, time, settings);
    formatter.Append(format);
    return formatter.Out;
}

// The day a time alone stands on, as in the original's date arithmetic.
const QDate kZeroDate(1899, 12, 30);

} // namespace

TFormatSettings LocaleFormatSettings(const QLocale& locale)
{
    TFormatSettings settings;
    const QString shortDate = locale.dateFormat(QLocale::ShortFormat);
    const QString shortTime = locale.timeFormat(QLocale::ShortFormat);
    settings.DateSeparator = PatternSeparator(shortDate, QStringLiteral("/"));
    settings.TimeSeparator = PatternSeparator(shortTime, QStringLiteral(":"));
    settings.ShortDateFormat = ClassicFormat(shortDate, settings.DateSeparator, u'/');
    settings.LongDateFormat = ClassicFormat(locale.dateFormat(QLocale::LongFormat), {}, QChar());
    settings.ShortTimeFormat = ClassicFormat(shortTime, settings.TimeSeparator, u':');
    settings.LongTimeFormat =
        ClassicFormat(locale.timeFormat(QLocale::LongFormat), settings.TimeSeparator, u':');
    settings.TimeAMString = locale.amText();
    settings.TimePMString = locale.pmText();
    // The stand-alone names, as a calendar heading shows them: the program puts them before
    // the day, where a grammatical form made for "5. ..." would read wrong.
    for (int month = 1; month <= 12; ++month) {
        settings.ShortMonthNames.at(std::size_t(month - 1)) =
            locale.standaloneMonthName(month, QLocale::ShortFormat);
        settings.LongMonthNames.at(std::size_t(month - 1)) =
            locale.standaloneMonthName(month, QLocale::LongFormat);
    }
    for (int day = 1; day <= 7; ++day) {
        settings.ShortDayNames.at(std::size_t(day - 1)) =
            locale.standaloneDayName(day, QLocale::ShortFormat);
        settings.LongDayNames.at(std::size_t(day - 1)) =
            locale.standaloneDayName(day, QLocale::LongFormat);
    }
    settings.DecimalSeparator = locale.decimalPoint();
    settings.ThousandSeparator = locale.groupSeparator();
    return settings;
}

TFormatSettings& FormatSettings()
{
    static TFormatSettings settings = LocaleFormatSettings(QLocale());
    return settings;
}

void LoadLocaleFormats()
{
    FormatSettings() = LocaleFormatSettings(QLocale());
}

void SetRegionalFormats()
{
    TFormatSettings& settings = FormatSettings();
    settings.DateSeparator = QStringLiteral("-");
    settings.ShortDateFormat = QStringLiteral("yyyy-MM-dd");
    settings.LongDateFormat = QStringLiteral("yyyy-MM-dd");
    settings.LongTimeFormat = QStringLiteral("hh:mm:ss am/pm");
    settings.ShortTimeFormat = QStringLiteral("hh:mm:ss");
    settings.TimeAMString = QStringLiteral("am");
    settings.TimePMString = QStringLiteral("pm");
}

QString FormatDateTime(const QString& format, const QDateTime& dateTime)
{
    return FormatDateTime(format, dateTime, FormatSettings());
}

QString FormatDateTime(const QString& format, const QDateTime& dateTime,
                       const TFormatSettings& settings)
{
    if (!dateTime.isValid())
        return {};
    return Format(format, dateTime.date(), dateTime.time(), settings);
}

QString DateToStr(const QDate& date)
{
    return Format(FormatSettings().ShortDateFormat, date, QTime(0, 0), FormatSettings());
}

QString TimeToStr(const QTime& time, TTimeForm form)
{
    const TFormatSettings& settings = FormatSettings();
    return Format(form == TTimeForm::Short ? settings.ShortTimeFormat : settings.LongTimeFormat,
                  kZeroDate, time, settings);
}

QString DateTimeToStr(const QDateTime& dateTime)
{
    return FormatDateTime(QStringLiteral("c"), dateTime);
}
