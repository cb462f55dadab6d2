// pondrel-sim: a simulated weight indicator on a pseudo-terminal or a serial device.

#include "indicator.h"
#include "scenario.h"

#include "definitions/scalesettings.h"
#include "platform/comports.h"
#include "platform/errors.h"
#include "platform/serialcomponent.h"
#include "scale/packethelpers.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSocketNotifier>
#include <QTextStream>
#include <QTimer>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <optional>
#include <pty.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>

namespace {

enum TExitCode { exOk = 0, exUsage = 1, exLine = 2 };

QTextStream& Err()
{
    static QTextStream stream(stderr);
    return stream;
}

[[noreturn]] void Fail(int code, const QString& message)
{
    Err() << "pondrel-sim: " << message << Qt::endl;
    std::exit(code);
}

struct TLineSettings {
    int BaudRate = 9600;
    int Parity = 0; // 0 none, 1 odd, 2 even, 3 mark, 4 space
    int DataBits = 8;
    int StopBits = 0; // 0 one, 1 one and a half, 2 two
};

// Where the indicator's bytes go and poll commands come from.
class TSimLine {
public:
    virtual ~TSimLine() = default;
    // Errors end the program with exLine; a line nobody listens on drops what it cannot take.
    virtual void Write(const QByteArray& bytes) = 0;
    // As an unplugged adapter: the other side sees the line go away.
    virtual void Close() = 0;
    std::function<void(const QByteArray&)> OnReceive;
};

// A pseudo-terminal: the station opens its slave side as its serial device.
class TPtyLine final : public TSimLine {
public:
    TPtyLine(const TLineSettings& settings, const QString& linkName)
    {
        termios attributes {};
        ::cfmakeraw(&attributes);
        attributes.c_cc[VMIN] = 1; // a plain reader such as cat blocks for data
        attributes.c_cc[VTIME] = 0;
        ApplySettings(settings, attributes);
        char name[256] = {};
        if (::openpty(&FMaster, &FSlave, name, &attributes, nullptr) != 0)
            Fail(exLine,
                QStringLiteral("cannot create a pseudo-terminal: %1")
                    .arg(QString::fromLocal8Bit(std::strerror(errno))));
        ::fcntl(FMaster, F_SETFL, ::fcntl(FMaster, F_GETFL) | O_NONBLOCK);
        FSlavePath = QString::fromLocal8Bit(name);
        if (!linkName.isEmpty())
            MakeLink(linkName);
        FNotifier = std::make_unique<QSocketNotifier>(FMaster, QSocketNotifier::Read);
        QObject::connect(FNotifier.get(), &QSocketNotifier::activated, FNotifier.get(),
            [this] { ReadMaster(); });
    }
    ~TPtyLine() override { Close(); }

    QString SlavePath() const { return FSlavePath; }
    QString LinkPath() const { return FLinkPath; }

    void Write(const QByteArray& bytes) override
    {
        if (FMaster < 0)
            return;
        // We hold the slave open so the pty survives the station reconnecting; when nobody
        // reads, stale packets would pile up there, so drop them as a cable nobody listens to.
        int queued = 0;
        if (::ioctl(FSlave, FIONREAD, &queued) == 0 && queued > 512)
            ::tcflush(FSlave, TCIFLUSH);
        const char* data = bytes.constData();
        qsizetype left = bytes.size();
        while (left > 0) {
            const ssize_t written = ::write(FMaster, data, static_cast<size_t>(left));
            if (written < 0 && errno == EINTR)
                continue;
            if (written <= 0)
                return; // full: the rest is lost, as on a real line
            data += written;
            left -= written;
        }
    }

    void Close() override
    {
        FNotifier.reset();
        if (FSlave >= 0)
            ::close(std::exchange(FSlave, -1));
        if (FMaster >= 0)
            ::close(std::exchange(FMaster, -1));
        RemoveLink();
    }

private:
    static void ApplySettings(const TLineSettings& settings, termios& attributes)
    {
        speed_t speed = B9600;
        switch (settings.BaudRate) {
        case 110:
            speed = B110;
            break;
        case 300:
            speed = B300;
            break;
        case 600:
            speed = B600;
            break;
        case 1200:
            speed = B1200;
            break;
        case 2400:
            speed = B2400;
            break;
        case 4800:
            speed = B4800;
            break;
        case 9600:
            speed = B9600;
            break;
        case 19200:
            speed = B19200;
            break;
        case 38400:
            speed = B38400;
            break;
        case 57600:
            speed = B57600;
            break;
        case 115200:
            speed = B115200;
            break;
        default:
            break; // a pseudo-terminal has no real speed; keep 9600
        }
        ::cfsetispeed(&attributes, speed);
        ::cfsetospeed(&attributes, speed);
        attributes.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | PARODD | CMSPAR | CSTOPB);
        attributes.c_cflag |= settings.DataBits == 5 ? CS5
            : settings.DataBits == 6                 ? CS6
            : settings.DataBits == 7                 ? CS7
                                                     : CS8;
        if (settings.Parity != 0)
            attributes.c_cflag |= PARENB;
        if (settings.Parity == 1 || settings.Parity == 3)
            attributes.c_cflag |= PARODD;
        if (settings.Parity >= 3)
            attributes.c_cflag |= CMSPAR;
        if (settings.StopBits != 0)
            attributes.c_cflag |= CSTOPB;
        attributes.c_cflag |= CREAD | CLOCAL;
    }

    void MakeLink(const QString& name)
    {
        const QString folder = PortLinkFolder();
        if (!QDir().mkpath(folder))
            Fail(exLine, QStringLiteral("cannot create the port link folder %1").arg(folder));
        const QString path = QDir(folder).filePath(name);
        const QFileInfo existing(path);
        if (existing.isSymLink()) {
            Err() << "pondrel-sim: replacing the link " << path << " -> "
                  << existing.symLinkTarget() << Qt::endl;
            QFile::remove(path);
        } else if (existing.exists()) {
            Fail(exLine,
                QStringLiteral(
                    "%1 exists and is not a link; remove it or choose another COM number")
                    .arg(path));
        }
        if (!QFile::link(FSlavePath, path))
            Fail(exLine, QStringLiteral("cannot link %1 to %2").arg(path, FSlavePath));
        FLinkPath = path;
    }

    void RemoveLink()
    {
        if (FLinkPath.isEmpty())
            return;
        // Only our own link: someone may have pointed it elsewhere meanwhile.
        if (QFileInfo(FLinkPath).symLinkTarget() == FSlavePath)
            QFile::remove(FLinkPath);
        FLinkPath.clear();
    }

    void ReadMaster()
    {
        char buffer[512];
        const ssize_t count = ::read(FMaster, buffer, sizeof buffer);
        if (count > 0 && OnReceive)
            OnReceive(QByteArray(buffer, count));
    }

    int FMaster = -1;
    int FSlave = -1;
    QString FSlavePath;
    QString FLinkPath;
    std::unique_ptr<QSocketNotifier> FNotifier;
};

// An existing serial device, through the station's own serial component.
class TDeviceLine final : public TSimLine {
public:
    TDeviceLine(const TLineSettings& settings, const QString& device)
    {
        if (const std::optional<int> number = ComPortNumberFromName(device))
            FPort.SetComPort(*number);
        else
            FPort.SetDevicePath(device);
        FPort.SetBaudRate(settings.BaudRate);
        FPort.SetParity(settings.Parity);
        FPort.SetDataBits(settings.DataBits);
        FPort.SetStopBits(settings.StopBits);
        // Both handlers run on the serial worker thread; hand over to the main thread.
        FPort.SetReceiveHandler([this](const char* data, qsizetype count) {
            QByteArray bytes(data, count);
            QMetaObject::invokeMethod(
                &FContext,
                [this, bytes] {
                    if (OnReceive)
                        OnReceive(bytes);
                },
                Qt::QueuedConnection);
        });
        FPort.SetErrorHandler([this](const QString& message) {
            QMetaObject::invokeMethod(
                &FContext, [message] { Stop(message); }, Qt::QueuedConnection);
        });
        try {
            FPort.Open();
        } catch (const EPondrelError& error) {
            FError = error.Message();
        }
    }

    // Why the device could not be opened; empty when it is open.
    QString Error() const { return FError; }
    QString DevicePath() const { return FPort.DevicePath(); }

    void Write(const QByteArray& bytes) override
    {
        if (!FPort.IsOpen())
            return;
        try {
            FPort.Send(bytes);
        } catch (const EPondrelError& error) {
            FPort.Close();
            Stop(error.Message());
        }
    }

    void Close() override { FPort.Close(); }

    static void Stop(const QString& message)
    {
        Err() << "pondrel-sim: " << message << Qt::endl;
        QCoreApplication::exit(exLine);
    }

private:
    QString FError;
    QObject FContext;
    TSerialComponent FPort;
};

// Plays the scenario on the line: packets on a timer, or replies to poll commands.
class TSimRunner {
public:
    TSimRunner(TSimLine& line, int scaleType, TSimFormatOptions options, TSimPlayer player)
        : FLine(line)
        , FType(scaleType)
        , FOptions(options)
        , FPlayer(std::move(player))
        , FPolls(SimPollCommand(scaleType))
    {
        FTimer.setSingleShot(true);
        QObject::connect(&FTimer, &QTimer::timeout, &FTimer, [this] { Step(); });
        FLine.OnReceive = [this](const QByteArray& bytes) { Received(bytes); };
    }

    void Start() { Step(); }

private:
    static constexpr int PieceGapMs = 25;

    QByteArray Packet(const TSimReading& reading) const
    {
        return SimFormatPacket(FType, reading, FOptions);
    }

    // Three pieces with short gaps, so the reader gets them as separate chunks.
    void SendCut(const QByteArray& packet)
    {
        const qsizetype third = std::max<qsizetype>(1, packet.size() / 3);
        FLine.Write(packet.left(third));
        const QByteArray second = packet.mid(third, third);
        const QByteArray rest = packet.mid(2 * third);
        QTimer::singleShot(PieceGapMs, &FTimer, [this, second] { FLine.Write(second); });
        QTimer::singleShot(2 * PieceGapMs, &FTimer, [this, rest] { FLine.Write(rest); });
    }

    void Step()
    {
        const TSimAction action = FPlayer.Next();
        int delay = action.DelayMs;
        switch (action.Kind) {
        case TSimAction::Packet:
            FLine.Write(Packet(action.Reading));
            break;
        case TSimAction::CutPacket:
            SendCut(Packet(action.Reading));
            delay = std::max(delay, 3 * PieceGapMs);
            break;
        case TSimAction::StartOnly: {
            const QByteArray packet = Packet(action.Reading);
            FLine.Write(packet.left(packet.size() / 2));
            break;
        }
        case TSimAction::Garbage:
            FLine.Write(SimGarbage(action.Count, ++FSeed));
            break;
        case TSimAction::Wait:
            break;
        case TSimAction::Silence:
            FSilentUntil = QDeadlineTimer(action.DelayMs);
            break;
        case TSimAction::Unplug:
            FLine.Close();
            Err() << "pondrel-sim: unplugged: the line is closed" << Qt::endl;
            QCoreApplication::exit(exOk);
            return;
        case TSimAction::Quit:
            QCoreApplication::exit(exOk);
            return;
        }
        if (delay >= 0)
            FTimer.start(delay);
    }

    void Received(const QByteArray& bytes)
    {
        const int polls = FPolls.Feed(bytes);
        if (polls == 0 || !FSilentUntil.hasExpired())
            return;
        const QByteArray reply = Packet(FPlayer.Reading());
        if (FPlayer.TakeCut())
            SendCut(reply);
        else
            FLine.Write(reply);
    }

    TSimLine& FLine;
    int FType;
    TSimFormatOptions FOptions;
    TSimPlayer FPlayer;
    TSimPollDetector FPolls;
    QTimer FTimer;
    QDeadlineTimer FSilentUntil { 0 };
    quint32 FSeed = 0;
};

// SIGINT, SIGTERM and SIGHUP end the event loop, so the link is removed on the way out.
int SignalPipe[2] = { -1, -1 };

void OnSignal(int)
{
    const char byte = 1;
    [[maybe_unused]] const ssize_t ignored = ::write(SignalPipe[1], &byte, 1);
}

void CatchSignals(QObject* context)
{
    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, SignalPipe) != 0)
        return;
    auto* notifier = new QSocketNotifier(SignalPipe[0], QSocketNotifier::Read, context);
    QObject::connect(
        notifier, &QSocketNotifier::activated, context, [] { QCoreApplication::exit(exOk); });
    struct sigaction action { };
    action.sa_handler = OnSignal;
    ::sigemptyset(&action.sa_mask);
    for (const int signal : { SIGINT, SIGTERM, SIGHUP })
        ::sigaction(signal, &action, nullptr);
}

QString FormatsText()
{
    QString text;
    TSimReading reading;
    reading.Weight = 12340;
    for (int type = 0; type < ScaleTypeCount; ++type) {
        const TSimFraming framing = SimFraming(type);
        const QByteArray poll = SimPollCommand(type);
        text
            += QStringLiteral("%1 %2\n   start %3  end %4%5\n   %6\n")
                   .arg(type, 2)
                   .arg(ScaleTypeName(type), StrToCtrlStr(framing.Start), StrToCtrlStr(framing.End),
                       poll.isEmpty() ? QString()
                                      : QStringLiteral("  polled by %1")
                                            .arg(StrToCtrlStr(QString::fromLatin1(poll))),
                       StrToCtrlStr(QString::fromLatin1(SimFormatPacket(type, reading))));
    }
    return text;
}

const char* const Description = R"(A simulated weight indicator for the Pondrel weighing station.

It creates a pseudo-terminal and prints "pty <slave path>" as the first line on standard
output (with --device: "device <path>"); open that path, or the COM<n> that --link makes,
as the scale's port. It speaks the packet format of the indicator type (--type, the index
of the editor's type list), so a definition made with the type's defaults decodes it.
Continuous types send a packet at --rate; Western (DF2500 Mode 6), type 13, answers
STX "?" CR and IQplus (Command), type 14, answers "XG" CR, and both send nothing unasked.
Port parameters default to the type's preset. --formats lists every type's packet.

Formats (weight right-aligned; "kg"/"K"/"KG" or "lb"/"L"/"LB" by --measurement and
--other-unit; G/N gross or net (--other-mode); M motion, O over-range, else blanks):
  0 AD-432x      STX "ST"|"US"|"OL" "," "GS"|"NT" "," +|- 7 zero-filled digits kg|lb CR LF
  1 Analogic     24 characters: STX, sign and weight in 2-10, blank, G|N, M, O, 7 blanks,
                 unit digit at 22 (0 kg, 1 lb), CR LF
  3 Cardinal     CR sign weight(7) " kg|lb " G|N " " M O ETX
  4 Condec, 8 IQplus   STX sign weight(7) " K|L " G|N " " M O CR LF
  9 Toledo       STX, status words A B C (B: 1 net, 2 negative, 4 over-range, 8 motion,
                 16 kg), six-digit weight, six-digit tare, CR; --checksum adds the checksum
 10 Weigh-tronix "G"|"N" sign weight(7) " KG|LB" CR LF (no motion or over-range; a net
                 packet does not start with the preset's "G")
 11, 12 Western  STX sign weight(7) " KG|LB " "GR"|"NT" " " M O CR LF
 14 IQplus (Command), reply to "XG" CR: "XG" 2 blanks sign weight(7) " K|L " G|N " " M O
                 CR LF; enter start "X" and end "^J" in the definition to frame it.
 2 Astec, 5 HBDI-10x, 6 Custom, 7 GSE, 13 Western (DF2500 Mode 6), 15 User Defined,
 plain format: STX sign weight(7) " kg|lb " G|N " " M O CR LF; frame it with start "^B"
                 and end "^J"; status strings mode "G", motion "M", negative "-",
                 over-range "O", unit "kg" (or "lb") read its status.

Scenarios (one of them; default a fixed weight of 0):
  --weight N        a fixed reading
  --truck LIST      axles drive on one by one ("8000,12000,12000"): three steps in motion
                    over --ramp-ms, then the sum so far stable for --plateau-ms; then off
  --script FILE|-   steps from a file or standard input (read to its end first), a line each;
                    blank lines and lines starting with # are skipped:
                      weight N         set the weight (may be negative)
                      motion on|off
                      status motion|overrange|negative|other-unit|other-mode on|off
                      hold MS          report the current reading for MS ms
                      garbage N        N bytes of line noise
                      cut              the next packet goes out in three pieces
                      startonly        half a packet, never finished
                      silence MS       nothing for MS ms; polls go unanswered
                      unplug           close the line as an unplugged adapter, then exit
                      quit             stop
When the steps are done (and --repeat rounds), the last reading is reported until the
program is stopped (Ctrl+C), except after quit or unplug.

Exit codes: 0 stopped, quit or unplugged; 1 bad options or script; 2 the line could
not be opened or failed.)";

int ParseInt(
    const QCommandLineParser& parser, const QString& name, int lowest, int highest, int fallback)
{
    if (!parser.isSet(name))
        return fallback;
    bool ok = false;
    const int value = parser.value(name).toInt(&ok);
    if (!ok || value < lowest || value > highest)
        Fail(exUsage,
            QStringLiteral("--%1 takes a whole number from %2 to %3, not \"%4\"")
                .arg(name)
                .arg(lowest)
                .arg(highest)
                .arg(parser.value(name)));
    return value;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("pondrel-sim"));

    QCommandLineParser parser;
    parser.setApplicationDescription(QString::fromUtf8(Description));
    parser.addHelpOption();
    const auto option = [&](const QString& name, const QString& help, const QString& value = {}) {
        parser.addOption(QCommandLineOption(name, help, value));
    };
    option(QStringLiteral("type"),
        QStringLiteral("Indicator type 0-15 (default 15, User Defined)."), QStringLiteral("N"));
    option(QStringLiteral("measurement"),
        QStringLiteral("0 metric: kilograms are the expected unit (default); 1 imperial: pounds."),
        QStringLiteral("0|1"));
    option(QStringLiteral("weight"), QStringLiteral("Report a fixed weight."), QStringLiteral("N"));
    option(QStringLiteral("truck"),
        QStringLiteral("Drive a truck with these axle weights on and off."),
        QStringLiteral("LIST"));
    option(QStringLiteral("plateau-ms"),
        QStringLiteral("Truck: stable time on each plateau (default 2000)."), QStringLiteral("MS"));
    option(QStringLiteral("ramp-ms"),
        QStringLiteral("Truck: time in motion while an axle drives on (default 1200)."),
        QStringLiteral("MS"));
    option(QStringLiteral("repeat"),
        QStringLiteral("Run the truck or script this many times, 0 for ever (default 1)."),
        QStringLiteral("N"));
    option(QStringLiteral("script"),
        QStringLiteral("Read steps from FILE, or standard input for -."), QStringLiteral("FILE"));
    option(QStringLiteral("rate"),
        QStringLiteral("Packets per second for continuous types (default 10)."),
        QStringLiteral("HZ"));
    option(QStringLiteral("link"),
        QStringLiteral("Link the pseudo-terminal as the per-user port COMn (removed on exit)."),
        QStringLiteral("COMn"));
    option(QStringLiteral("device"),
        QStringLiteral("Send through this serial device or COM port instead of a pseudo-terminal."),
        QStringLiteral("PATH|COMn"));
    option(QStringLiteral("baud"), QStringLiteral("Baud rate (default: the type's preset)."),
        QStringLiteral("N"));
    option(QStringLiteral("parity"),
        QStringLiteral("none, odd, even, mark or space (default: the type's preset)."),
        QStringLiteral("P"));
    option(QStringLiteral("data-bits"), QStringLiteral("5-8 (default: the type's preset)."),
        QStringLiteral("N"));
    option(QStringLiteral("stop-bits"), QStringLiteral("1, 1.5 or 2 (default: the type's preset)."),
        QStringLiteral("N"));
    option(QStringLiteral("motion"), QStringLiteral("Report motion from the start."));
    option(QStringLiteral("negative"), QStringLiteral("Report the weight as negative."));
    option(QStringLiteral("overrange"), QStringLiteral("Report over-range."));
    option(QStringLiteral("other-unit"),
        QStringLiteral("Report the unit that --measurement does not expect."));
    option(QStringLiteral("other-mode"), QStringLiteral("Report net instead of gross."));
    option(
        QStringLiteral("checksum"), QStringLiteral("Toledo: send the checksum byte after the CR."));
    option(QStringLiteral("formats"),
        QStringLiteral("Print every type's framing and a sample packet, then exit."));
    parser.process(app);

    if (!parser.positionalArguments().isEmpty())
        Fail(exUsage,
            QStringLiteral("unexpected argument \"%1\"; see --help")
                .arg(parser.positionalArguments().first()));
    if (parser.isSet(QStringLiteral("formats"))) {
        QTextStream(stdout) << FormatsText();
        return exOk;
    }

    const int type = ParseInt(parser, QStringLiteral("type"), 0, ScaleTypeCount - 1, stUserDefined);
    TSimFormatOptions format;
    format.MeasurementSystem = ParseInt(parser, QStringLiteral("measurement"), 0, 1, 0);
    format.ToledoChecksum = parser.isSet(QStringLiteral("checksum"));

    THbScaleSettings preset;
    preset.ApplyPortPreset(type);
    TLineSettings line;
    line.BaudRate = ParseInt(parser, QStringLiteral("baud"), 50, 4000000, preset.BaudRate());
    line.DataBits = ParseInt(parser, QStringLiteral("data-bits"), 5, 8, preset.WordLength());
    line.Parity = preset.Parity();
    if (parser.isSet(QStringLiteral("parity"))) {
        const std::optional<int> code = ParityFromName(parser.value(QStringLiteral("parity")));
        if (!code)
            Fail(exUsage, QStringLiteral("--parity takes none, odd, even, mark or space"));
        line.Parity = *code;
    }
    line.StopBits = preset.StopBits();
    if (parser.isSet(QStringLiteral("stop-bits"))) {
        const std::optional<int> code
            = StopBitsFromName(parser.value(QStringLiteral("stop-bits")));
        if (!code)
            Fail(exUsage, QStringLiteral("--stop-bits takes 1, 1.5 or 2"));
        line.StopBits = *code;
    }

    double rate = 10;
    if (parser.isSet(QStringLiteral("rate"))) {
        bool ok = false;
        rate = parser.value(QStringLiteral("rate")).toDouble(&ok);
        if (!ok || rate < 0.1 || rate > 1000)
            Fail(exUsage, QStringLiteral("--rate takes packets per second from 0.1 to 1000"));
    }
    const int periodMs = std::max(1, static_cast<int>(1000.0 / rate + 0.5));

    const int scenarios = int(parser.isSet(QStringLiteral("weight")))
        + int(parser.isSet(QStringLiteral("truck"))) + int(parser.isSet(QStringLiteral("script")));
    if (scenarios > 1)
        Fail(exUsage, QStringLiteral("choose one of --weight, --truck and --script"));
    QList<TSimStep> steps;
    if (parser.isSet(QStringLiteral("truck"))) {
        QString error;
        const QList<qint64> axles = SimParseAxles(parser.value(QStringLiteral("truck")), &error);
        if (axles.isEmpty())
            Fail(exUsage, QStringLiteral("--truck: %1").arg(error));
        steps = SimTruckSteps(axles, ParseInt(parser, QStringLiteral("ramp-ms"), 0, 3600000, 1200),
            ParseInt(parser, QStringLiteral("plateau-ms"), 0, 3600000, 2000));
    } else if (parser.isSet(QStringLiteral("script"))) {
        const QString name = parser.value(QStringLiteral("script"));
        QFile file;
        const bool opened = name == u"-" ? file.open(stdin, QIODevice::ReadOnly)
                                         : (file.setFileName(name), file.open(QIODevice::ReadOnly));
        if (!opened)
            Fail(exUsage,
                QStringLiteral("cannot read the script %1: %2").arg(name, file.errorString()));
        QString error;
        steps = SimParseScript(QString::fromUtf8(file.readAll()), &error);
        if (!error.isEmpty())
            Fail(exUsage, QStringLiteral("script %1, %2").arg(name, error));
    } else {
        bool ok = true;
        const qint64 weight = parser.isSet(QStringLiteral("weight"))
            ? parser.value(QStringLiteral("weight")).toLongLong(&ok)
            : 0;
        if (!ok || weight < -999999999 || weight > 999999999)
            Fail(exUsage,
                QStringLiteral("--weight takes a whole number from -999999999 to 999999999"));
        steps = SimFixedSteps(weight);
    }
    // Status options set the starting reading; scenario steps may change it later.
    QList<TSimStep> start;
    const auto flag = [&](const char* name, TSimStep::TFlag which) {
        if (parser.isSet(QString::fromLatin1(name))) {
            TSimStep step;
            step.Kind = TSimStep::SetFlag;
            step.Flag = which;
            step.On = true;
            start << step;
        }
    };
    flag("motion", TSimStep::Motion);
    flag("negative", TSimStep::Negative);
    flag("overrange", TSimStep::Overrange);
    flag("other-unit", TSimStep::OtherUnit);
    flag("other-mode", TSimStep::OtherMode);
    const int repeat = ParseInt(parser, QStringLiteral("repeat"), 0, 1000000, 1);
    // The status options are the starting reading of every round.
    steps = start + steps;

    if (parser.isSet(QStringLiteral("device")) && parser.isSet(QStringLiteral("link")))
        Fail(exUsage, QStringLiteral("--link names a pseudo-terminal; it cannot go with --device"));
    QString linkName;
    if (parser.isSet(QStringLiteral("link"))) {
        QString value = parser.value(QStringLiteral("link"));
        if (!value.startsWith(QStringLiteral("COM"), Qt::CaseInsensitive))
            value.prepend(QStringLiteral("COM"));
        const std::optional<int> number = ComPortNumberFromName(value);
        if (!number)
            Fail(exUsage, QStringLiteral("--link takes COM1 to COM%1").arg(MaxComPort));
        linkName = ComPortToStr(*number);
    }

    CatchSignals(&app);
    std::unique_ptr<TSimLine> output;
    QTextStream out(stdout);
    if (parser.isSet(QStringLiteral("device"))) {
        auto device = std::make_unique<TDeviceLine>(line, parser.value(QStringLiteral("device")));
        if (!device->Error().isEmpty()) {
            const QString message = device->Error();
            device.reset(); // finishes the serial worker before the message ends the program
            Fail(exLine, message);
        }
        out << "device " << device->DevicePath() << Qt::endl;
        output = std::move(device);
    } else {
        auto pty = std::make_unique<TPtyLine>(line, linkName);
        out << "pty " << pty->SlavePath() << Qt::endl;
        if (!pty->LinkPath().isEmpty())
            Err() << "pondrel-sim: linked " << pty->LinkPath() << " -> " << pty->SlavePath()
                  << Qt::endl;
        output = std::move(pty);
    }

    const bool polled = !SimPollCommand(type).isEmpty();
    TSimRunner runner(*output, type, format, TSimPlayer(steps, periodMs, polled, repeat));
    runner.Start();
    const int code = app.exec();
    output->Close();
    return code;
}
