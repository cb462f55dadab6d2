#pragma once

#include <QLocalServer>
#include <QLockFile>
#include <QObject>
#include <QString>

#include <functional>
#include <memory>

// One station per user and profile: two would fight over one serial port. The first start
// holds a lock file in the profile's config folder and listens on a local socket; a later
// start asks it to come to the front and ends.
class TSingleInstance : public QObject {
    Q_OBJECT
public:
    enum class TStart { First, AlreadyRunning, Failed };

    explicit TSingleInstance(QObject* parent = nullptr);
    ~TSingleInstance() override;

    // Takes the lock, or tells the running station to come forward. On Failed,
    // ErrorText() says why.
    TStart Start();
    QString ErrorText() const { return FErrorText; }

    // Called when a later start asks this station to come forward.
    void SetRaiseHandler(std::function<void()> handler) { FRaise = std::move(handler); }

private:
    bool AskRunningToRaise();

    QString FFolder;
    QString FServerName;
    std::unique_ptr<QLockFile> FLock;
    QLocalServer FServer;
    std::function<void()> FRaise;
    QString FErrorText;
};
