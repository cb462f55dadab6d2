#include "app/singleinstance.h"

#include <QCryptographicHash>
#include <QDir>
#include <QElapsedTimer>
#include <QLocalSocket>
#include <QStandardPaths>
#include <QThread>

namespace {

const QByteArray RaiseRequest = QByteArrayLiteral("raise\n");

} // namespace

TSingleInstance::TSingleInstance(QObject* parent) : QObject(parent)
{
    FFolder = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation)
        + QStringLiteral("/pondrel");
    // Socket paths are short on Unix, so the name is a digest of the profile's folder.
    const QByteArray digest = QCryptographicHash::hash(QDir(FFolder).absolutePath().toUtf8(),
                                                       QCryptographicHash::Sha1)
                                  .toHex()
                                  .left(20);
    FServerName = QStringLiteral("pondrel-station-%1").arg(QString::fromLatin1(digest));
    connect(&FServer, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket* socket = FServer.nextPendingConnection()) {
            connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
            connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
                if (socket->readAll().contains(RaiseRequest.trimmed()) && FRaise)
                    FRaise();
            });
        }
    });
}

TSingleInstance::~TSingleInstance() = default;

TSingleInstance::TStart TSingleInstance::Start()
{
    if (!QDir().mkpath(FFolder)) {
        FErrorText = QStringLiteral("Cannot create the settings folder %1. Check that it can "
                                    "be written by you.")
                         .arg(QDir::toNativeSeparators(FFolder));
        return TStart::Failed;
    }
    const QString lockPath = FFolder + QStringLiteral("/station.lock");
    FLock = std::make_unique<QLockFile>(lockPath);
    // A lock left by a crashed station is found stale by its process id; age says nothing.
    FLock->setStaleLockTime(0);
    if (FLock->tryLock(0)) {
        QLocalServer::removeServer(FServerName);
        if (!FServer.listen(FServerName)) {
            // Not fatal: this station runs, only a later start cannot bring it forward.
            qWarning("pondrel: cannot listen on %s: %s", qPrintable(FServerName),
                     qPrintable(FServer.errorString()));
        }
        return TStart::First;
    }
    if (FLock->error() != QLockFile::LockFailedError) {
        FErrorText = QStringLiteral("Cannot take the lock file %1 that keeps a second station "
                                    "from starting. Check that the folder can be written by "
                                    "you.")
                         .arg(QDir::toNativeSeparators(lockPath));
        return TStart::Failed;
    }
    if (AskRunningToRaise())
        return TStart::AlreadyRunning;
    FErrorText = QStringLiteral("Pondrel is already running for this user (lock file %1), "
                                "but it does not answer. Close it, or end its process, and "
                                "start again.")
                     .arg(QDir::toNativeSeparators(lockPath));
    return TStart::Failed;
}

bool TSingleInstance::AskRunningToRaise()
{
    // The running station may still be starting up and not listen yet.
    QElapsedTimer waited;
    waited.start();
    while (waited.elapsed() < 3000) {
        QLocalSocket socket;
        socket.connectToServer(FServerName);
        if (socket.waitForConnected(500)) {
            socket.write(RaiseRequest);
            const bool sent = socket.waitForBytesWritten(1000);
            socket.disconnectFromServer();
            return sent;
        }
        QThread::msleep(100);
    }
    return false;
}
