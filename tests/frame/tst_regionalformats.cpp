#include "frame/regionalformats.h"
#include "ticket/ticket.h"

#include "support/testmain.h"

#include <QLocale>

namespace {

// Tuesday, 14:07:09.045
const QDateTime kSample(QDate(2024, 3, 5), QTime(14, 7, 9, 45));

const QLocale kEnglish(QLocale::English, QLocale::UnitedStates);

// Makes a locale the user's, as the platform does when it reads the locale again.
void UseLocale(const QLocale& locale)
{
    QLocale::setDefault(locale);
    LoadLocaleFormats();
}

} // namespace

class TestRegionalFormats : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void init()
    {
        UseLocale(kEnglish);
        SetRegionalFormats();
    }

    void defaultFormats_data()
    {
        QTest::addColumn<QString>("form");
        QTest::addColumn<QDateTime>("dateTime");
        QTest::addColumn<QString>("expected");
        const QDateTime midnight(QDate(2024, 3, 5), QTime(0, 0));
        QTest::newRow("date") << "date" << kSample << "2024-03-05";
        QTest::newRow("short time") << "short" << kSample << "14:07:09";
        QTest::newRow("long time") << "long" << kSample << "02:07:09 pm";
        QTest::newRow("date and time") << "both" << kSample << "2024-03-05 02:07:09 pm";
        QTest::newRow("midnight leaves the time out") << "both" << midnight << "2024-03-05";
        QTest::newRow("invalid date") << "date" << QDateTime() << "";
        QTest::newRow("invalid time") << "long" << QDateTime() << "";
        QTest::newRow("invalid date and time") << "both" << QDateTime() << "";
    }
    void defaultFormats()
    {
        QFETCH(QString, form);
        QFETCH(QDateTime, dateTime);
        QFETCH(QString, expected);
        QString text;
        if (form == QLatin1String("date"))
            text = DateToStr(dateTime.date());
        else if (form == QLatin1String("short"))
            text = TimeToStr(dateTime.time(), TTimeForm::Short);
        else if (form == QLatin1String("long"))
            text = TimeToStr(dateTime.time());
        else
            text = DateTimeToStr(dateTime);
        QCOMPARE(text, expected);
    }

    // The long time's 12-hour clock at the day's and noon's edges.
    void twelveHourClock_data()
    {
        QTest::addColumn<QTime>("time");
        QTest::addColumn<QString>("expected");
        QTest::newRow("00:30") << QTime(0, 30, 5) << QStringLiteral("12:30:05 am");
        QTest::newRow("11:59") << QTime(11, 59, 59) << QStringLiteral("11:59:59 am");
        QTest::newRow("12:00") << QTime(12, 0, 0) << QStringLiteral("12:00:00 pm");
        QTest::newRow("12:59") << QTime(12, 59, 59) << QStringLiteral("12:59:59 pm");
        QTest::newRow("13:00") << QTime(13, 0, 0) << QStringLiteral("01:00:00 pm");
        QTest::newRow("23:59") << QTime(23, 59, 59) << QStringLiteral("11:59:59 pm");
    }
    void twelveHourClock()
    {
        QFETCH(QTime, time);
        QFETCH(QString, expected);
        QCOMPARE(TimeToStr(time), expected);
        QCOMPARE(TimeToStr(time, TTimeForm::Short), time.toString(QStringLiteral("HH:mm:ss")));
    }

    void specifiers_data()
    {
        QTest::addColumn<QString>("format");
        QTest::addColumn<QDateTime>("dateTime");
        QTest::addColumn<QString>("expected");
        const auto row = [](const char* name, const char* format, const char* expected,
                            const QDateTime& dateTime = kSample) {
            QTest::newRow(name) << QString::fromUtf8(format) << dateTime << QString::fromUtf8(expected);
        };
        row("d dd", "d dd", "5 05");
        row("day names", "ddd dddd", "Tue Tuesday");
        row("ddddd dddddd: the date formats", "ddddd|dddddd", "2024-03-05|2024-03-05");
        row("months", "m mm mmm mmmm mmmmm", "3 03 Mar March March");
        row("years", "y yy yyy yyyy yyyyy", "24 24 2024 2024 2024");
        row("year before 1000", "yy yyyy", "05 0005", QDateTime(QDate(5, 6, 7), QTime(8, 9)));
        row("five-digit year", "yyyy", "12345", QDateTime(QDate(12345, 1, 1), QTime(0, 0)));
        row("h n s", "h n s", "14 7 9");
        row("hh nn ss, runs capped at two", "hh nn ss hhh nnn sss", "14 07 09 14 07 09");
        row("milliseconds", "z zz zzz zzzz", "45 45 045 045");
        row("milliseconds below ten", "z zzz", "7 007", QDateTime(QDate(2024, 3, 5), QTime(1, 2, 3, 7)));
        row("mm after hh is minutes", "hh:mm", "14:07");
        row("mm after h and a blank is minutes", "h mm", "14 07");
        row("mm after a quoted run is minutes", "hh'h'mm", "14h07");
        row("mm after a date letter is the month", "hh d mm", "14 5 03");
        row("mm first is the month", "mm:ss", "03:09");
        row("specifiers in any case", "YYYY-MM-DD HH:MM:SS", "2024-03-05 14:07:09");
        row("date separator", "dd/mm/yyyy", "05-03-2024");
        row("am/pm: designator", "hh:nn am/pm", "02:07 pm");
        row("AM/PM: designator as set", "hh:nn AM/PM", "02:07 pm");
        row("ampm", "h:nn ampm", "2:07 pm");
        row("a/p as written", "h:nn a/p|A/P", "2:07 p|P");
        row("a/p in the morning", "h:nn a/p", "9:30 a", QDateTime(QDate(2024, 3, 5), QTime(9, 30)));
        row("am/pm only counts for the h before it", "hh am/pm hh", "02 pm 14");
        row("quoted am/pm does not make 12 hours", "hh 'am/pm'", "14 am/pm");
        row("c", "c", "2024-03-05 02:07:09 pm");
        row("t tt", "t|tt", "14:07:09|02:07:09 pm");
        row("quoted literals", "'dd/mm' \"hh:nn\" dd", "dd/mm hh:nn 05");
        row("quote inside the other quotes", "\"it's\" '\"'", "it's \"");
        row("unterminated single quote", "dd 'yyyy", "05 yyyy");
        row("unterminated double quote", "dd \"", "05 ");
        row("other characters", "[d] #q x\u00e9", "[5] #q x\u00e9");
        row("a without am/pm is literal", "a b", "a b");
        row("empty", "", "");
    }
    void specifiers()
    {
        QFETCH(QString, format);
        QFETCH(QDateTime, dateTime);
        QFETCH(QString, expected);
        QCOMPARE(FormatDateTime(format, dateTime), expected);
    }

    // Formats that name each other or themselves must end; the text is not the point.
    void nestedFormatsEnd()
    {
        TFormatSettings settings = FormatSettings();
        settings.ShortDateFormat = QStringLiteral("c ddddd");
        settings.LongDateFormat = QStringLiteral("dddddd");
        settings.ShortTimeFormat = QStringLiteral("t");
        settings.LongTimeFormat = QStringLiteral("tt c");
        for (const char* format : {"c", "ddddd", "dddddd", "t", "tt", "cccc"})
            QVERIFY(FormatDateTime(QString::fromLatin1(format), kSample, settings).size() < 100);
        // One level of nesting still expands.
        settings.ShortDateFormat = QStringLiteral("yyyy");
        QCOMPARE(FormatDateTime(QStringLiteral("ddddd"), kSample, settings), QStringLiteral("2024"));
    }

    void invalidDateTime()
    {
        QCOMPARE(FormatDateTime(QStringLiteral("yyyy hh"), QDateTime()), QString());
    }

    // What LoadLocaleFormats takes from the locale, and what SetRegionalFormats leaves of it.
    void localeFormats_data()
    {
        QTest::addColumn<QLocale>("locale");
        QTest::addColumn<QString>("dateSeparator");
        QTest::addColumn<QString>("timeSeparator");
        QTest::addColumn<QString>("date");        // with the locale's short date format
        QTest::addColumn<QString>("shortTime");   // with the locale's short time format
        QTest::addColumn<QString>("names");       // "mmm mmmm ddd dddd"
        QTest::addColumn<QString>("numbers");     // decimal and thousands separator
        QTest::addColumn<QString>("regionalTime"); // long time after SetRegionalFormats

        QTest::newRow("en_US") << kEnglish << "/" << ":" << "3/5/24" << "2:07 PM"
                               << "Mar March Tue Tuesday" << ".," << "02:07:09 pm";
        QTest::newRow("de_DE") << QLocale(QLocale::German, QLocale::Germany) << "." << ":"
                               << "05.03.24" << "14:07" << QString::fromUtf8("Mär März Di Dienstag")
                               << ",." << "02:07:09 pm";
        QTest::newRow("fi_FI: time separator .")
            << QLocale(QLocale::Finnish, QLocale::Finland) << "." << "." << "5.3.2024" << "14.07"
            << "maalis maaliskuu ti tiistai" << QString::fromUtf8(",\u00a0") << "02.07.09 pm";
        QTest::newRow("ja_JP") << QLocale(QLocale::Japanese, QLocale::Japan) << "/" << ":"
                               << "2024/03/05" << "14:07"
                               << QString::fromUtf8("3月 3月 火 火曜日") << ".," << "02:07:09 pm";
        QTest::newRow("C") << QLocale::c() << "/" << ":" << "5 Mar 2024" << "14:07:09"
                           << "Mar March Tue Tuesday" << ".," << "02:07:09 pm";
    }
    void localeFormats()
    {
        QFETCH(QLocale, locale);
        QFETCH(QString, dateSeparator);
        QFETCH(QString, timeSeparator);
        QFETCH(QString, date);
        QFETCH(QString, shortTime);
        QFETCH(QString, names);
        QFETCH(QString, numbers);
        QFETCH(QString, regionalTime);

        UseLocale(locale);
        const TFormatSettings& settings = FormatSettings();
        QCOMPARE(settings.DateSeparator, dateSeparator);
        QCOMPARE(settings.TimeSeparator, timeSeparator);
        QCOMPARE(DateToStr(kSample.date()), date);
        QCOMPARE(TimeToStr(kSample.time(), TTimeForm::Short), shortTime);
        QCOMPARE(FormatDateTime(QStringLiteral("mmm mmmm ddd dddd"), kSample), names);
        QCOMPARE(settings.DecimalSeparator + settings.ThousandSeparator, numbers);
        QCOMPARE(settings.TimeAMString, locale.amText());

        SetRegionalFormats();
        QCOMPARE(settings.DateSeparator, QStringLiteral("-"));
        QCOMPARE(settings.TimeSeparator, timeSeparator);
        QCOMPARE(DateToStr(kSample.date()), QStringLiteral("2024-03-05"));
        QCOMPARE(TimeToStr(kSample.time()), regionalTime);
        QCOMPARE(FormatDateTime(QStringLiteral("mmm mmmm ddd dddd"), kSample), names);
        QCOMPARE(settings.DecimalSeparator + settings.ThousandSeparator, numbers);
    }

    // The locale's long formats turned into classic specifiers.
    void localeLongFormats_data()
    {
        QTest::addColumn<QLocale>("locale");
        QTest::addColumn<QString>("date");
        QTest::addColumn<QString>("time");
        QTest::newRow("en_US: 12 hours") << kEnglish << "Tuesday, March 5, 2024" << "2:07:09 PM";
        QTest::newRow("de_DE") << QLocale(QLocale::German, QLocale::Germany)
                               << QString::fromUtf8("Dienstag, 5. März 2024") << "14:07:09";
        QTest::newRow("ru_RU: quoted letter") << QLocale(QLocale::Russian, QLocale::Russia)
                                              << QString::fromUtf8("вторник, 5 март 2024 г.") << "14:07:09";
        QTest::newRow("fr_CA: quoted h") << QLocale(QLocale::French, QLocale::Canada)
                                         << "mardi 5 mars 2024" << "14 h 07 min 09 s";
        QTest::newRow("da_DK: quoted word, time separator .")
            << QLocale(QLocale::Danish, QLocale::Denmark) << "tirsdag den 5. marts 2024" << "14.07.09";
    }
    void localeLongFormats()
    {
        QFETCH(QLocale, locale);
        QFETCH(QString, date);
        QFETCH(QString, time);
        UseLocale(locale);
        QCOMPARE(FormatDateTime(FormatSettings().LongDateFormat, kSample), date);
        QCOMPARE(TimeToStr(kSample.time()), time);
    }

    void ticketDateLine_data()
    {
        QTest::addColumn<QLocale>("locale");
        QTest::addColumn<QDateTime>("clock");
        QTest::addColumn<QString>("expected");
        QTest::newRow("en_US") << kEnglish << kSample << QStringLiteral("March 05, 2024  14:07:09 ");
        QTest::newRow("24 hours past midnight")
            << kEnglish << QDateTime(QDate(2024, 12, 31), QTime(0, 30, 5))
            << QStringLiteral("December 31, 2024  00:30:05 ");
        QTest::newRow("de_DE month name") << QLocale(QLocale::German, QLocale::Germany) << kSample
                                          << QString::fromUtf8("März 05, 2024  14:07:09 ");
        QTest::newRow("fi_FI time separator")
            << QLocale(QLocale::Finnish, QLocale::Finland) << kSample
            << QStringLiteral("maaliskuu 05, 2024  14.07.09 ");
    }
    void ticketDateLine()
    {
        QFETCH(QLocale, locale);
        QFETCH(QDateTime, clock);
        QFETCH(QString, expected);
        UseLocale(locale);
        QCOMPARE(TicketDateLine(clock), expected);
        // The program's own formats leave the date line as it is.
        SetRegionalFormats();
        QCOMPARE(TicketDateLine(clock), expected);
    }

    void cleanupTestCase() { QLocale::setDefault(QLocale::system()); }
};

PONDREL_TEST_MAIN(TestRegionalFormats)
#include "tst_regionalformats.moc"
