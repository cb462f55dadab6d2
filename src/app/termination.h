#pragma once

#include <QObject>

#include <functional>

class QSocketNotifier;

// Turns SIGTERM, SIGHUP and SIGINT into an ordinary request on the main thread, so that a
// logout or a `kill` still closes the port and writes the layout file. One at a time;
// the default handlers come back when it goes. Does nothing where there are no such
// signals.
class TTerminationRequests : public QObject {
    Q_OBJECT
public:
    explicit TTerminationRequests(std::function<void()> onRequest, QObject* parent = nullptr);
    ~TTerminationRequests() override;
    TTerminationRequests(const TTerminationRequests&) = delete;
    TTerminationRequests& operator=(const TTerminationRequests&) = delete;

private:
    void Deliver();

    std::function<void()> FOnRequest;
    QSocketNotifier* FNotifier = nullptr;
};
