#include "platform/serialcomponent.h"

#include "platform/comports.h"
#include "platform/errors.h"

#include <QByteArray>
#include <QFile>
#include <QObject>
#include <QSerialPort>
#include <QSocketNotifier>
#include <QThread>

#include <cerrno>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <exception>
#include <mutex>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

// Calls from other threads reach the worker through this queue rather than through
// Qt's queued calls: each call, its result and its exception are handed over under
// std::mutex, and the worker is woken by an eventfd that it watches, so nothing crosses
// threads inside the (uninstrumented) Qt and GLib event queues where the thread
// sanitizer could not see the ordering.
struct TSerialCommandQueue {
    struct TCommand {
        const std::function<void(TSerialWorker&)>* Action = nullptr;
        std::exception_ptr Failure;
        bool Finished = false;
    };

    TSerialCommandQueue() : WakeFd(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK))
    {
        if (WakeFd < 0)
            throw ESerialError(QStringLiteral("Cannot create the serial port's worker: ")
                               + qt_error_string(errno));
    }
    ~TSerialCommandQueue() { ::close(WakeFd); }
    TSerialCommandQueue(const TSerialCommandQueue&) = delete;
    TSerialCommandQueue& operator=(const TSerialCommandQueue&) = delete;

    void Wake() const
    {
        const quint64 one = 1;
        while (::write(WakeFd, &one, sizeof one) < 0 && errno == EINTR) {
        }
    }

    void ClearWake() const
    {
        quint64 count = 0;
        while (::read(WakeFd, &count, sizeof count) < 0 && errno == EINTR) {
        }
    }

    const int WakeFd;
    std::mutex Lock;
    std::condition_variable Finished;
    std::deque<TCommand*> Pending;
};

namespace {

constexpr qint64 ReadBufferSize = 8192;
constexpr int WriteTimeoutMs = 100;

// A code in a parameter message: its name, or its number when it has none.
QString ParityValue(int code)
{
    const QString name = ParityName(code);
    return name.isEmpty() ? QString::number(code) : name;
}

QString StopBitsValue(int code)
{
    const QString name = StopBitsName(code);
    return name.isEmpty() ? QString::number(code) : name;
}

} // namespace

class TSerialWorker : public QObject {
public:
    explicit TSerialWorker(std::shared_ptr<TSerialCommandQueue> commands)
        : FCommands(std::move(commands)), FPort(this)
    {
        FPort.setReadBufferSize(ReadBufferSize);
        QObject::connect(&FPort, &QSerialPort::readyRead, this, [this] { DeliverReceived(); });
        QObject::connect(&FPort, &QSerialPort::errorOccurred, this,
                         [this](QSerialPort::SerialPortError error) { NoteError(error); });
    }

    // On the worker thread, once it runs.
    void Start()
    {
        FWake = std::make_unique<QSocketNotifier>(FCommands->WakeFd, QSocketNotifier::Read);
        QObject::connect(FWake.get(), &QSocketNotifier::activated, this, [this] {
            FCommands->ClearWake();
            Drain();
        });
        Drain(); // calls queued before the thread ran
    }

    // Runs every queued call, in order.
    void Drain()
    {
        for (;;) {
            TSerialCommandQueue::TCommand* command = nullptr;
            {
                std::lock_guard lock(FCommands->Lock);
                if (FCommands->Pending.empty())
                    return;
                command = FCommands->Pending.front();
                FCommands->Pending.pop_front();
            }
            std::exception_ptr failure;
            try {
                (*command->Action)(*this);
            } catch (...) {
                failure = std::current_exception();
            }
            {
                std::lock_guard lock(FCommands->Lock);
                command->Failure = failure;
                command->Finished = true; // the caller may free the command from here on
            }
            FCommands->Finished.notify_all();
        }
    }

    // The port's parameters and handlers, touched only on the worker thread.
    int PortNumber = 1;
    QString ExplicitDevice;
    int BaudRate = 19200;
    int Parity = 0;
    int DataBits = 8;
    int StopBits = 0;
    std::shared_ptr<const TSerialComponent::ReceiveHandler> ReceiveHandler;
    std::shared_ptr<const TSerialComponent::ErrorHandler> ErrorHandler;

    QString Device() const
    {
        return ExplicitDevice.isEmpty() ? ComPortDevicePath(PortNumber) : ExplicitDevice;
    }

    // The port as the user knows it: "COM3 (/dev/ttyS2)", or the explicit device path.
    QString DisplayName() const
    {
        if (!ExplicitDevice.isEmpty())
            return ExplicitDevice;
        const QString device = Device();
        const QString com = QStringLiteral("COM") + QString::number(PortNumber);
        return device.isEmpty() ? com : com + QStringLiteral(" (") + device + QLatin1Char(')');
    }

    bool IsOpen() const { return FPort.isOpen(); }

    void Open()
    {
        if (FPort.isOpen())
            Close();
        const QString device = Device();
        const int portNumber = ExplicitDevice.isEmpty() ? PortNumber : 0;
        if (device.isEmpty())
            throw ESerialError(
                OpenFailureMessage(DisplayName(), portNumber, TOpenFailure::NoDevice, {}));

        FPort.clearError();
        FPort.setPortName(device);
        if (!FPort.open(QIODevice::ReadWrite)) {
            throw ESerialError(OpenFailureMessage(DisplayName(), portNumber,
                                                  ClassifyOpenError(FPort.error(), device),
                                                  FPort.errorString()));
        }
        try {
            ApplyBaudRate();
            ApplyDataBits();
            ApplyParity();
            ApplyStopBits();
            if (!FPort.setFlowControl(QSerialPort::NoFlowControl))
                throw ESerialError(QStringLiteral("Cannot switch off flow control on ")
                                   + DisplayName() + QStringLiteral(": ") + FPort.errorString()
                                   + QLatin1Char('.'));
        } catch (...) {
            Close();
            throw;
        }
        ++FSession;
    }

    void Close()
    {
        if (FPort.isOpen())
            FPort.close();
        ++FSession; // a loss reported by the old session no longer applies
    }

    // Closes the port, drops the handlers and ends the worker's event loop (asked from
    // this thread, so no wake-up crosses threads inside the event dispatcher).
    void Shutdown()
    {
        Close();
        ReceiveHandler.reset();
        ErrorHandler.reset();
        thread()->quit();
    }

    void ApplyBaudRate()
    {
        if (!FPort.isOpen())
            return;
        if (BaudRate <= 0)
            throw ParameterError(QStringLiteral("baud rate"), QString::number(BaudRate),
                                 QStringLiteral("a baud rate must be a positive number"));
        FPort.clearError();
        if (!FPort.setBaudRate(BaudRate))
            throw ParameterError(QStringLiteral("baud rate"), QString::number(BaudRate),
                                 Refused());
    }

    void ApplyDataBits()
    {
        if (!FPort.isOpen())
            return;
        if (DataBits < 5 || DataBits > 8)
            throw ParameterError(QStringLiteral("data bits"), QString::number(DataBits),
                                 QStringLiteral("a serial port sends 5, 6, 7 or 8 data bits"));
        FPort.clearError();
        if (!FPort.setDataBits(static_cast<QSerialPort::DataBits>(DataBits)))
            throw ParameterError(QStringLiteral("data bits"), QString::number(DataBits),
                                 Refused());
    }

    void ApplyParity()
    {
        if (!FPort.isOpen())
            return;
        static constexpr QSerialPort::Parity Parities[] = {
            QSerialPort::NoParity, QSerialPort::OddParity, QSerialPort::EvenParity,
            QSerialPort::MarkParity, QSerialPort::SpaceParity};
        if (Parity < 0 || Parity > 4)
            throw ParameterError(
                QStringLiteral("parity"), ParityValue(Parity),
                QStringLiteral("the parity code must be 0 (none), 1 (odd), 2 (even), 3 (mark) "
                               "or 4 (space)"));
        FPort.clearError();
        if (!FPort.setParity(Parities[Parity]))
            throw ParameterError(QStringLiteral("parity"), ParityValue(Parity),
                                 Refused());
    }

    void ApplyStopBits()
    {
        if (!FPort.isOpen())
            return;
        if (StopBits < 0 || StopBits > 2)
            throw ParameterError(
                QStringLiteral("stop bits"), StopBitsValue(StopBits),
                QStringLiteral("the stop bits code must be 0 (one), 1 (one and a half) or 2 (two)"));
#ifndef Q_OS_WIN
        // termios knows one or two stop bits only; the serial layer would quietly send one.
        if (StopBits == 1)
            throw ParameterError(QStringLiteral("stop bits"), StopBitsValue(StopBits),
                                 QStringLiteral("serial ports on this system send one or two "
                                                "stop bits only; choose 1 or 2"));
#endif
        static constexpr QSerialPort::StopBits Codes[] = {
            QSerialPort::OneStop, QSerialPort::OneAndHalfStop, QSerialPort::TwoStop};
        FPort.clearError();
        if (!FPort.setStopBits(Codes[StopBits]))
            throw ParameterError(QStringLiteral("stop bits"), StopBitsValue(StopBits),
                                 Refused());
    }

    void Send(const QByteArray& bytes)
    {
        if (!FPort.isOpen())
            throw ESerialError(QStringLiteral("Cannot send to ") + DisplayName()
                               + QStringLiteral(": the port is not open. Open it first."));
        if (bytes.isEmpty())
            return;
        FPort.clearError();
        if (FPort.write(bytes) != bytes.size())
            throw SendError(FPort.errorString());
        // Wait for the system to take the bytes; give up when none move for the write
        // timeout, so a blocked line cannot hang the caller.
        while (FPort.isOpen() && FPort.bytesToWrite() > 0) {
            const qint64 pending = FPort.bytesToWrite();
            if (FPort.waitForBytesWritten(WriteTimeoutMs))
                continue;
            if (!FPort.isOpen())
                break;
            const QSerialPort::SerialPortError error = FPort.error();
            if (error != QSerialPort::NoError && error != QSerialPort::TimeoutError) {
                FPort.clear(QSerialPort::Output);
                throw SendError(FPort.errorString());
            }
            if (FPort.bytesToWrite() >= pending) {
                FPort.clear(QSerialPort::Output);
                throw SendError(QStringLiteral("no byte could be written within %1 ms "
                                               "(is the line held by flow control?)")
                                    .arg(WriteTimeoutMs));
            }
        }
        if (!FPort.isOpen())
            throw SendError(QStringLiteral("the port was closed while sending"));
    }

    void Purge(QSerialPort::Direction direction)
    {
        if (FPort.isOpen())
            FPort.clear(direction);
    }

private:
    static TOpenFailure ClassifyOpenError(QSerialPort::SerialPortError error, const QString& device)
    {
        switch (error) {
        case QSerialPort::DeviceNotFoundError:
            return TOpenFailure::NotFound;
        case QSerialPort::PermissionError: {
            // The serial layer reports a port held by another program (busy, or its lock
            // file taken) as a permission error too; the device's access rights tell them
            // apart.
            const QByteArray path = QFile::encodeName(device);
            return ::access(path.constData(), R_OK | W_OK) == 0 ? TOpenFailure::InUse
                                                                 : TOpenFailure::PermissionDenied;
        }
        default:
            return TOpenFailure::Other;
        }
    }

    ESerialError ParameterError(const QString& parameter, const QString& value,
                                const QString& reason) const
    {
        return ESerialError(QStringLiteral("Cannot set the ") + parameter + QStringLiteral(" of ")
                            + DisplayName() + QStringLiteral(" to ") + value + QStringLiteral(": ")
                            + reason + QLatin1Char('.'));
    }

    // The reason when the device itself refuses a setting.
    QString Refused() const
    {
        return QStringLiteral("the device does not support this setting (") + FPort.errorString()
            + QLatin1Char(')');
    }

    ESerialError SendError(const QString& reason) const
    {
        return ESerialError(QStringLiteral("Cannot send to ") + DisplayName()
                            + QStringLiteral(": ") + reason + QLatin1Char('.'));
    }

    void DeliverReceived()
    {
        const QByteArray data = FPort.readAll();
        // A copy of the pointer: the handler may replace itself.
        const auto handler = ReceiveHandler;
        if (!data.isEmpty() && handler && *handler)
            (*handler)(data.constData(), data.size());
    }

    void NoteError(QSerialPort::SerialPortError error)
    {
        if (!FPort.isOpen() || FLossPending)
            return;
        if (error != QSerialPort::ResourceError
            && !(error == QSerialPort::ReadError && IsHungUp()))
            return;
        // Closed from the event loop, not inside the serial layer's own notification.
        FLossPending = true;
        const quint64 session = FSession;
        const QString reason = error == QSerialPort::ResourceError
            ? FPort.errorString()
            : QStringLiteral("the device hung up");
        QMetaObject::invokeMethod(
            this, [this, session, reason] { PortLost(session, reason); }, Qt::QueuedConnection);
    }

    // A tty whose device went away (an unplugged adapter, the far end of a
    // pseudo-terminal closed) reads as end of file, which the serial layer reports as a
    // read error with a stale reason and then reports again on every pass of the event
    // loop. The hang-up shows in poll().
    bool IsHungUp()
    {
        pollfd state{static_cast<int>(FPort.handle()), POLLIN, 0};
        return ::poll(&state, 1, 0) > 0 && (state.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0;
    }

    void PortLost(quint64 session, const QString& reason)
    {
        FLossPending = false;
        if (session != FSession || !FPort.isOpen())
            return;
        const QString name = DisplayName();
        Close();
        const auto handler = ErrorHandler;
        if (handler && *handler)
            (*handler)(name + QStringLiteral(" stopped working and was closed (") + reason
                       + QStringLiteral("). Check the cable or adapter, then open the port "
                                        "again."));
    }

    std::shared_ptr<TSerialCommandQueue> FCommands;
    std::unique_ptr<QSocketNotifier> FWake; // destroyed before the queue that holds its fd
    QSerialPort FPort;
    quint64 FSession = 0; // counts opens and closes
    bool FLossPending = false; // a lost line is about to be closed
};

namespace {

constexpr const char* ParityNames[] = {"none", "odd", "even", "mark", "space"};
constexpr const char* StopBitsNames[] = {"1", "1.5", "2"};

template <std::size_t Count>
QString NameOfCode(const char* const (&names)[Count], int code)
{
    return code >= 0 && std::size_t(code) < Count ? QLatin1String(names[code]) : QString();
}

template <std::size_t Count>
std::optional<int> CodeOfName(const char* const (&names)[Count], const QString& name)
{
    for (std::size_t code = 0; code < Count; ++code)
        if (name.compare(QLatin1String(names[code]), Qt::CaseInsensitive) == 0)
            return int(code);
    return std::nullopt;
}

} // namespace

QString ParityName(int code)
{
    return NameOfCode(ParityNames, code);
}

QString StopBitsName(int code)
{
    return NameOfCode(StopBitsNames, code);
}

std::optional<int> ParityFromName(const QString& name)
{
    return CodeOfName(ParityNames, name);
}

std::optional<int> StopBitsFromName(const QString& name)
{
    return CodeOfName(StopBitsNames, name);
}

QString OpenFailureMessage(const QString& portName, int portNumber, TOpenFailure failure,
                           const QString& reason)
{
    const QString link = portNumber > 0
        ? PortLinkFolder() + QStringLiteral("/COM") + QString::number(portNumber)
        : QString();
    switch (failure) {
    case TOpenFailure::NoDevice:
        return portName
            + QStringLiteral(" names no serial device: COM1-COM32 are /dev/ttyS0-31, "
                             "COM33-COM64 /dev/ttyUSB0-31 and COM65-COM96 /dev/ttyACM0-31. "
                             "To use another device as ")
            + portName + QStringLiteral(", make ") + link
            + QStringLiteral(" a symbolic link to it.");
    case TOpenFailure::NotFound: {
        QString message = QStringLiteral("Cannot open ") + portName
            + QStringLiteral(": the device does not exist. Connect the adapter or choose "
                             "another port.");
        if (!link.isEmpty())
            message += QStringLiteral(" To use another device as COM") + QString::number(portNumber)
                + QStringLiteral(", make ") + link + QStringLiteral(" a symbolic link to it.");
        return message;
    }
    case TOpenFailure::PermissionDenied:
        return QStringLiteral("Cannot open ") + portName
            + QStringLiteral(": permission denied. Serial ports belong to the dialout group; "
                             "add your user to it with \"sudo usermod -aG dialout $USER\", then "
                             "log out and log in again.");
    case TOpenFailure::InUse:
        return QStringLiteral("Cannot open ") + portName
            + QStringLiteral(": the port is in use by another program (") + reason
            + QStringLiteral("). Close that program or choose another port.");
    case TOpenFailure::Other:
        break;
    }
    return QStringLiteral("Cannot open ") + portName + QStringLiteral(": ")
        + (reason.isEmpty() ? QStringLiteral("unknown error") : reason) + QLatin1Char('.');
}

TSerialComponent::TSerialComponent()
    : FCommands(std::make_shared<TSerialCommandQueue>()),
      FThread(std::make_unique<QThread>()),
      FWorker(new TSerialWorker(FCommands))
{
    FThread->setObjectName(QStringLiteral("Serial worker"));
    FWorker->moveToThread(FThread.get());
    QObject::connect(FThread.get(), &QThread::started, FWorker, &TSerialWorker::Start);
    QObject::connect(FThread.get(), &QThread::finished, FWorker, &QObject::deleteLater);
    FThread->start();
}

TSerialComponent::~TSerialComponent()
{
    try {
        Run([](TSerialWorker& worker) { worker.Shutdown(); });
    } catch (...) {
        // Closing cannot fail in a way the owner could act on while being destroyed.
        FThread->quit();
    }
    FThread->wait();
}

void TSerialComponent::Run(const std::function<void(TSerialWorker&)>& action) const
{
    if (QThread::currentThread() == FThread.get()) {
        action(*FWorker);
        return;
    }
    TSerialCommandQueue::TCommand command;
    command.Action = &action;
    {
        std::lock_guard lock(FCommands->Lock);
        FCommands->Pending.push_back(&command);
    }
    FCommands->Wake();
    std::unique_lock lock(FCommands->Lock);
    FCommands->Finished.wait(lock, [&command] { return command.Finished; });
    if (command.Failure)
        std::rethrow_exception(command.Failure);
}

void TSerialComponent::SetReceiveHandler(ReceiveHandler handler)
{
    auto shared = std::make_shared<const ReceiveHandler>(std::move(handler));
    Run([&shared](TSerialWorker& worker) { worker.ReceiveHandler = std::move(shared); });
}

void TSerialComponent::SetErrorHandler(ErrorHandler handler)
{
    auto shared = std::make_shared<const ErrorHandler>(std::move(handler));
    Run([&shared](TSerialWorker& worker) { worker.ErrorHandler = std::move(shared); });
}

void TSerialComponent::SetComPort(int portNumber)
{
    Run([portNumber](TSerialWorker& worker) { worker.PortNumber = portNumber; });
}

int TSerialComponent::ComPort() const
{
    int result = 0;
    Run([&result](TSerialWorker& worker) { result = worker.PortNumber; });
    return result;
}

void TSerialComponent::SetDevicePath(const QString& path)
{
    Run([&path](TSerialWorker& worker) { worker.ExplicitDevice = path; });
}

QString TSerialComponent::DevicePath() const
{
    QString result;
    Run([&result](TSerialWorker& worker) { result = worker.Device(); });
    return result;
}

QString TSerialComponent::DisplayName() const
{
    QString result;
    Run([&result](TSerialWorker& worker) { result = worker.DisplayName(); });
    return result;
}

void TSerialComponent::SetBaudRate(int baudRate)
{
    Run([baudRate](TSerialWorker& worker) {
        worker.BaudRate = baudRate;
        worker.ApplyBaudRate();
    });
}

int TSerialComponent::BaudRate() const
{
    int result = 0;
    Run([&result](TSerialWorker& worker) { result = worker.BaudRate; });
    return result;
}

void TSerialComponent::SetParity(int parity)
{
    Run([parity](TSerialWorker& worker) {
        worker.Parity = parity;
        worker.ApplyParity();
    });
}

int TSerialComponent::Parity() const
{
    int result = 0;
    Run([&result](TSerialWorker& worker) { result = worker.Parity; });
    return result;
}

void TSerialComponent::SetDataBits(int dataBits)
{
    Run([dataBits](TSerialWorker& worker) {
        worker.DataBits = dataBits;
        worker.ApplyDataBits();
    });
}

int TSerialComponent::DataBits() const
{
    int result = 0;
    Run([&result](TSerialWorker& worker) { result = worker.DataBits; });
    return result;
}

void TSerialComponent::SetStopBits(int stopBits)
{
    Run([stopBits](TSerialWorker& worker) {
        worker.StopBits = stopBits;
        worker.ApplyStopBits();
    });
}

int TSerialComponent::StopBits() const
{
    int result = 0;
    Run([&result](TSerialWorker& worker) { result = worker.StopBits; });
    return result;
}

void TSerialComponent::Open()
{
    Run([](TSerialWorker& worker) { worker.Open(); });
}

void TSerialComponent::Close()
{
    Run([](TSerialWorker& worker) { worker.Close(); });
}

bool TSerialComponent::IsOpen() const
{
    bool result = false;
    Run([&result](TSerialWorker& worker) { result = worker.IsOpen(); });
    return result;
}

void TSerialComponent::Send(const QByteArray& bytes)
{
    Run([&bytes](TSerialWorker& worker) { worker.Send(bytes); });
}

void TSerialComponent::PurgeInput()
{
    Run([](TSerialWorker& worker) { worker.Purge(QSerialPort::Input); });
}

void TSerialComponent::PurgeOutput()
{
    Run([](TSerialWorker& worker) { worker.Purge(QSerialPort::Output); });
}

QStringList TSerialComponent::Devices() const
{
    QStringList names;
    for (int portNumber : ListComPorts())
        names.append(QStringLiteral("COM") + QString::number(portNumber));
    return names;
}

bool TSerialComponent::PortExists() const
{
    bool result = false;
    Run([&result](TSerialWorker& worker) {
        result = worker.ExplicitDevice.isEmpty() ? ComPortExists(worker.PortNumber)
                                                 : QFile::exists(worker.ExplicitDevice);
    });
    return result;
}

QThread* TSerialComponent::WorkerThread() const
{
    return FThread.get();
}
