// pondrel-monitor: shows what a weight indicator sends and how a scale definition decodes
// it, one JSON line per packet, connected as the weighing station connects.

#include "monitor.h"

#include "frame/registryvalues.h"
#include "platform/errors.h"
#include "platform/messagebox.h"
#include "platform/serialcomponent.h"

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QCoreApplication>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>
#include <memory>
#include <optional>

namespace {

const char* const Description = R"(Shows what a weight indicator sends and how a scale definition decodes it.
Connects as the weighing station does and writes one JSON object per line to standard
output for every packet it receives:

  {"kind":"packet","packet":"^B'  -1234 K G M '^M^J","display":"-1234","status":17,"weight":-1234}

  kind     "packet" for a framed packet (start string through end string), "raw" for an
           unframed block of 51 characters (with --raw only)
  packet   the received text in control-string notation (^B is STX, #200 a byte above 127)
  display  the decoder's display text
  status   the decoder's status bits, before the definition's checks: 1 motion,
           2 over-range, 4 unit missing, 8 mode missing, 16 negative
  weight   the integer the station takes from the display (a sign and digits only), or null
  display, status and weight are null for an indicator type without decoder (Astec).

Choose the indicator one of two ways:
  --definition NAME  a definition stored by the station, loaded as the station loads it
  --port PORT --type N [--measurement 0|1]
                     a new definition with the defaults of indicator type N, as the
                     definition editor's New makes it, changed by the options below; nothing
                     is written to the store. PORT is COM<n> (the station's port numbers:
                     ~/.config/pondrel/ports/COM<n> if that link exists, else /dev/ttyS,
                     /dev/ttyUSB, /dev/ttyACM) or a device path such as /dev/ttyUSB0.

Types: 0 AD-432x, 1 Analogic, 2 Astec, 3 Cardinal, 4 Condec, 5 HBDI-10x, 6 Custom,
7 GSE, 8 IQplus, 9 Toledo, 10 Weigh-tronix, 11 Western (DF1000), 12 Western (DF2000),
13 Western (DF2500 Mode 6), 14 IQplus (Command), 15 User Defined.
Types 13 and 14 are polled: the monitor sends the first poll 500 ms after opening and then
one every second (13: STX "?" CR, 14: "XG" CR), as the station does. Their presets have no
start and end strings, so nothing is framed until you give them (--start X --end ^J for
the IQplus reply). A status string given with --mode, --motion, --negative, --overrange or
--unit switches its check on; an empty one switches it off.

Exit codes:
  0  --count lines written
  1  wrong command line, or malformed control-string notation
  2  the stored definition cannot be loaded (no such name, unusable store)
  3  the port cannot be opened
  4  no packet within --timeout seconds
  5  the port stopped working while open (an unplugged adapter, a closed simulator)
Once the port is open, a line "pondrel-monitor: listening on ..." on standard error names
the port, the indicator type and the line parameters. Errors go to standard error too.)";

QString OptionText(QCommandLineParser& parser, const char* name)
{
    return parser.value(QLatin1String(name));
}

bool IsSet(QCommandLineParser& parser, const char* name)
{
    return parser.isSet(QLatin1String(name));
}

class EUsage : public EPondrelError {
public:
    using EPondrelError::EPondrelError;
};

int IntegerOption(QCommandLineParser& parser, const char* name, int low, int high)
{
    bool ok = false;
    const QString text = OptionText(parser, name);
    const int value = text.toInt(&ok, 10);
    if (!ok || value < low || value > high)
        throw EUsage(QStringLiteral("--%1 takes a whole number from %2 to %3, not \"%4\".")
                         .arg(QLatin1String(name))
                         .arg(low)
                         .arg(high)
                         .arg(text));
    return value;
}

int ParityOption(QCommandLineParser& parser)
{
    const QString text = OptionText(parser, "parity");
    if (const std::optional<int> code = ParityFromName(text))
        return *code;
    // The record's codes 0 to 4 are taken too.
    for (int code = 0; !ParityName(code).isEmpty(); ++code)
        if (text == QString::number(code))
            return code;
    throw EUsage(QStringLiteral("--parity takes none, odd, even, mark or space (or 0 to 4), "
                                "not \"%1\".")
                     .arg(text));
}

int StopBitsOption(QCommandLineParser& parser)
{
    const QString text = OptionText(parser, "stop-bits");
    if (const std::optional<int> code = StopBitsFromName(text))
        return *code;
    throw EUsage(QStringLiteral("--stop-bits takes 1, 1.5 or 2, not \"%1\".").arg(text));
}

void Error(const QString& message)
{
    std::fprintf(stderr, "pondrel-monitor: %s\n", qUtf8Printable(message));
}

// Errors outside the open (a failed poll) are reported and the monitor goes on, as the
// station's error report does.
class TStandardErrorBoxes final : public TMessageBoxes {
public:
    void ShowError(const QString& text) override { Error(text); }
    bool Confirm(const QString&) override { return false; }
};

void WriteLine(const QByteArray& line)
{
    std::fwrite(line.constData(), 1, size_t(line.size()), stdout);
    std::fflush(stdout);
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("pondrel-monitor"));
    TStandardErrorBoxes boxes;
    SetMessageBoxes(&boxes);

    QCommandLineParser parser;
    parser.setApplicationDescription(QString::fromUtf8(Description));
    const QCommandLineOption help(QStringList{QStringLiteral("h"), QStringLiteral("help")},
                                  QStringLiteral("Shows this help."));
    parser.addOption(help);
    const auto add = [&parser](const char* name, const char* valueName, const char* text) {
        parser.addOption(QCommandLineOption(QLatin1String(name), QString::fromUtf8(text),
                                            QLatin1String(valueName)));
    };
    add("definition", "NAME", "A definition stored by the station.");
    add("port", "PORT", "COM<n> or a device path (with --type).");
    add("type", "N", "Indicator type 0 to 15 (with --port).");
    add("measurement", "0|1", "0 metric, 1 imperial (with --port; default: the station's "
                              "setting).");
    add("start", "NOTATION", "Start string, for example ^B (with --port).");
    add("end", "NOTATION", "End string, for example ^M^J (with --port).");
    add("mode", "NOTATION", "Mode characters; empty switches the mode check off (with --port).");
    add("motion", "NOTATION", "Motion characters; empty switches the check off (with --port).");
    add("negative", "NOTATION", "Negative characters; empty switches the check off "
                                "(with --port).");
    add("overrange", "NOTATION", "Over-range characters; empty switches the check off "
                                 "(with --port).");
    add("unit", "NOTATION", "Unit characters; empty switches the unit check off (with --port).");
    add("baud", "RATE", "Baud rate (with --port).");
    add("parity", "PARITY", "none, odd, even, mark or space (with --port).");
    add("data-bits", "BITS", "5, 6, 7 or 8 (with --port).");
    add("stop-bits", "BITS", "1, 1.5 or 2 (with --port).");
    parser.addOption(QCommandLineOption(
        QStringLiteral("raw"),
        QStringLiteral("Also passes unframed blocks of 51 characters on, as the definition "
                       "editor's terminal does.")));
    add("count", "N", "Exits with 0 after N lines.");
    add("timeout", "SECONDS", "Exits with 4 when no packet arrives for SECONDS.");

    const auto usageError = [](const QString& message) {
        Error(message);
        std::fprintf(stderr, "Run pondrel-monitor --help for the usage.\n");
        return int(meUsage);
    };

    if (!parser.parse(app.arguments()))
        return usageError(parser.errorText());
    if (parser.isSet(help)) {
        std::fputs(qUtf8Printable(parser.helpText()), stdout);
        return meDone;
    }

    const bool byDefinition = IsSet(parser, "definition");
    TMonitorPortOptions portOptions;
    qint64 count = 0;
    int timeoutMs = 0;
    try {
        if (!parser.positionalArguments().isEmpty())
            throw EUsage(QStringLiteral("Unexpected argument \"%1\".")
                             .arg(parser.positionalArguments().constFirst()));
        if (byDefinition == IsSet(parser, "port"))
            throw EUsage(QStringLiteral("Give either --definition NAME or --port PORT --type N."));
        if (byDefinition) {
            for (const char* name : {"type", "measurement", "start", "end", "mode", "motion",
                                     "negative", "overrange", "unit", "baud", "parity",
                                     "data-bits", "stop-bits"})
                if (IsSet(parser, name))
                    throw EUsage(QStringLiteral("--%1 goes with --port; a stored definition is "
                                                "used as it is stored.")
                                     .arg(QLatin1String(name)));
            if (OptionText(parser, "definition").isEmpty())
                throw EUsage(QStringLiteral("--definition needs the name of a definition."));
        } else {
            portOptions.Port = OptionText(parser, "port");
            if (portOptions.Port.isEmpty())
                throw EUsage(QStringLiteral("--port needs COM<n> or a device path."));
            if (!IsSet(parser, "type"))
                throw EUsage(QStringLiteral("--port needs --type N, the indicator type 0 to 15."));
            portOptions.ScaleType = IntegerOption(parser, "type", 0, ScaleTypeCount - 1);
            if (IsSet(parser, "measurement"))
                portOptions.Measurement = IntegerOption(parser, "measurement", 0, 1);
            const auto notation = [&parser](const char* name, std::optional<QString>& field) {
                if (IsSet(parser, name))
                    field = OptionText(parser, name);
            };
            notation("start", portOptions.Start);
            notation("end", portOptions.End);
            notation("mode", portOptions.Mode);
            notation("motion", portOptions.Motion);
            notation("negative", portOptions.Negative);
            notation("overrange", portOptions.Overrange);
            notation("unit", portOptions.Unit);
            if (IsSet(parser, "baud"))
                portOptions.BaudRate = IntegerOption(parser, "baud", 1, 4000000);
            if (IsSet(parser, "parity"))
                portOptions.Parity = ParityOption(parser);
            if (IsSet(parser, "data-bits"))
                portOptions.DataBits = IntegerOption(parser, "data-bits", 5, 8);
            if (IsSet(parser, "stop-bits"))
                portOptions.StopBits = StopBitsOption(parser);
        }
        if (IsSet(parser, "count"))
            count = IntegerOption(parser, "count", 1, std::numeric_limits<int>::max());
        if (IsSet(parser, "timeout")) {
            bool ok = false;
            const double seconds = OptionText(parser, "timeout").toDouble(&ok);
            if (!ok || !(seconds > 0) || seconds > 86400.0 * 24)
                throw EUsage(QStringLiteral("--timeout takes a number of seconds above 0 and up "
                                            "to 24 days, not \"%1\".")
                                 .arg(OptionText(parser, "timeout")));
            timeoutMs = std::max(1, int(std::lround(seconds * 1000)));
        }
    } catch (const EUsage& error) {
        return usageError(error.Message());
    }

    // A stored definition takes the station's unit system and writes what the station
    // writes; --port mode leaves the store alone.
    std::unique_ptr<THbApplicationSettings> settings;
    std::unique_ptr<TScaleMonitor> monitor;
    bool opened = false;
    try {
        if (byDefinition) {
            RequireStoredDefinition(OptionText(parser, "definition"));
            settings = std::make_unique<THbApplicationSettings>();
            InstallApplicationSettings(*settings);
        }
        monitor = std::make_unique<TScaleMonitor>(WriteLine);
        monitor->SetPassRawData(IsSet(parser, "raw"));
        monitor->SetLineLimit(count);
        monitor->SetNoPacketTimeout(timeoutMs);
        opened = byDefinition ? monitor->ConnectDefinition(OptionText(parser, "definition"))
                              : monitor->ConnectPort(portOptions);
    } catch (const EConvertError& error) {
        Error(error.Message());
        return byDefinition ? meDefinition : meUsage;
    } catch (const EPondrelError& error) {
        Error(error.Message());
        return meDefinition;
    }
    if (!opened) {
        Error(monitor->OpenError());
        return mePortOpen;
    }

    // On standard error, so standard output stays one JSON object per line.
    Error(monitor->ListeningText());

    int exitCode = meDone;
    QObject::connect(monitor.get(), &TScaleMonitor::Finished, &app,
                     [&exitCode](int code, const QString& message) {
                         exitCode = code;
                         if (!message.isEmpty())
                             Error(message);
                         QCoreApplication::exit(code);
                     });
    app.exec();
    monitor.reset();
    return exitCode;
}
