#pragma once

#include <QDate>
#include <QDateTime>
#include <QString>
#include <QTime>

#include <array>

class QLocale;

// The process-wide date, time and number formats. Qt keeps no such setting of its own, so
// every text the program makes from a date goes through here. Main thread only.
//
// Format strings use the classic specifiers, letters in any case:
//   d dd ddd dddd      day, two-digit day, short and long day name
//   ddddd dddddd       the short or long date format
//   m mm mmm mmmm      month, two-digit month, short and long month name; right after an h
//                      or hh (only non-letters between) m and mm are the minutes
//   yy yyyy            two- or four-digit year (y alone counts as yy, more than four as yyyy)
//   h hh  n nn  s ss   hours, minutes, seconds; z zzz milliseconds
//   am/pm ampm         the morning or afternoon designator; a/p gives "a" or "p" as written.
//                      Each makes the h or hh before it count 12 hours
//   c                  short date, then a blank and the long time unless it is midnight
//   t tt               the short or long time format
//   /  :               the date and the time separator
//   '...' "..."        literal text; an unterminated run goes to the end
// Any other character is copied as it is.
struct TFormatSettings {
    QString DateSeparator;
    QString TimeSeparator;
    QString ShortDateFormat;
    QString LongDateFormat;
    QString ShortTimeFormat;
    QString LongTimeFormat;
    QString TimeAMString;
    QString TimePMString;
    std::array<QString, 12> ShortMonthNames; // January first
    std::array<QString, 12> LongMonthNames;
    std::array<QString, 7> ShortDayNames;    // Monday first, as Qt numbers the days
    std::array<QString, 7> LongDayNames;
    QString DecimalSeparator;
    QString ThousandSeparator;
};

// Every field as locale gives it, its Qt format patterns turned into classic specifiers. The
// time separator is the first separating character of the locale's short time format.
TFormatSettings LocaleFormatSettings(const QLocale& locale);

// The process-wide record; filled from the default locale on first use.
TFormatSettings& FormatSettings();

// What the platform does when the user's locale is read again: every field from QLocale().
void LoadLocaleFormats();

// The program's own date and time formats over the locale values: ISO dates, a 24-hour short
// and a 12-hour long time. Separators other than the date's, and all names, stay the locale's.
void SetRegionalFormats();

// An invalid date or time gives an empty text.
QString FormatDateTime(const QString& format, const QDateTime& dateTime);
QString FormatDateTime(const QString& format, const QDateTime& dateTime,
                       const TFormatSettings& settings);

enum class TTimeForm { Short, Long };

// With the default formats of FormatSettings().
QString DateToStr(const QDate& date);
QString TimeToStr(const QTime& time, TTimeForm form = TTimeForm::Long);
// The "c" format: the time is left out at exactly midnight.
QString DateTimeToStr(const QDateTime& dateTime);
