#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <optional>

class QThread;
class TSerialWorker;
struct TSerialCommandQueue;

// The serial component: a QSerialPort living on its own worker thread. Every operation
// below is called on the owning (main) thread and completes before it returns; received
// bytes are delivered, chunk by chunk in arrival order, to the receive handler on the
// worker thread. Parameter codes are those of a scale definition and are kept as given.
class TSerialComponent {
public:
    // data/count stay valid only during the call.
    using ReceiveHandler = std::function<void(const char* data, qsizetype count)>;
    // Called on the worker thread when an open port fails (for example an unplugged
    // adapter); the port is closed by then.
    using ErrorHandler = std::function<void(const QString& message)>;

    TSerialComponent();
    ~TSerialComponent(); // closes the port and finishes the worker thread
    TSerialComponent(const TSerialComponent&) = delete;
    TSerialComponent& operator=(const TSerialComponent&) = delete;

    // Set while the port is closed. Handlers must not throw; they may call this
    // component's operations, except its destruction.
    void SetReceiveHandler(ReceiveHandler handler);
    void SetErrorHandler(ErrorHandler handler);

    // 1 is COM1; the device is looked up by the COM port map when the port opens.
    void SetComPort(int portNumber);
    int ComPort() const;
    // Opens this device path instead of a COM port number (empty: use the number).
    void SetDevicePath(const QString& path);
    // The device that Open() uses.
    QString DevicePath() const;
    // The port as the user knows it, as messages name it: "COM3 (/dev/ttyS2)", "COM3" when
    // the number names no device, or the device path that was set.
    QString DisplayName() const;

    // Setting a parameter keeps its code; while the port is open it is also applied at once
    // and ESerialError names the parameter when the system rejects it (the code stays set,
    // so the next Open reports it again). Defaults: 19200 baud, 8 data bits, no parity,
    // one stop bit, COM1.
    void SetBaudRate(int baudRate);
    int BaudRate() const;
    void SetParity(int parity); // 0 none, 1 odd, 2 even, 3 mark, 4 space
    int Parity() const;
    void SetDataBits(int dataBits);
    int DataBits() const;
    void SetStopBits(int stopBits); // 0 one, 1 one and a half, 2 two
    int StopBits() const;

    // Raises ESerialError with the system's reason when the port cannot be opened or a
    // parameter cannot be applied. Opening an open port first closes it.
    void Open();
    void Close();
    bool IsOpen() const;

    // Writes the bytes (the 8-bit form of a text) and waits until the system has taken
    // them; raises ESerialError when the port is closed, the write fails or no byte moves
    // for 100 ms (what was not written by then is discarded).
    void Send(const QByteArray& bytes);

    // Discards what the receive and send buffers hold.
    void PurgeInput();
    void PurgeOutput();

    // "COM<n>" for every COM port that names an existing device.
    QStringList Devices() const;
    // Whether the configured port names an existing device.
    bool PortExists() const;

    QThread* WorkerThread() const;

private:
    void Run(const std::function<void(TSerialWorker&)>& action) const;

    std::shared_ptr<TSerialCommandQueue> FCommands; // shared with the worker
    std::unique_ptr<QThread> FThread;
    TSerialWorker* FWorker; // lives on FThread, deleted when it finishes
};

// The names of the parameter codes as the user writes them: parity "none", "odd", "even",
// "mark", "space" (codes 0 to 4) and stop bits "1", "1.5", "2" (codes 0 to 2); empty for
// another code.
QString ParityName(int code);
QString StopBitsName(int code);
// The code of such a name, in any case; nullopt for anything else.
std::optional<int> ParityFromName(const QString& name);
std::optional<int> StopBitsFromName(const QString& name);

// Why an open failed, as far as the advice to the user differs.
enum class TOpenFailure { NoDevice, NotFound, PermissionDenied, InUse, Other };

// The message of a failed open. portName names the port as the user knows it
// ("COM3 (/dev/ttyS2)"), reason is the system's text; portNumber (0 for an explicit
// device path) lets NoDevice and NotFound point at the COM<n> link.
QString OpenFailureMessage(const QString& portName, int portNumber, TOpenFailure failure,
                           const QString& reason);
