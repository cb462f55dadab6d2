#pragma once

#include <QByteArray>
#include <QString>

#include <exception>

// Failures are exceptions carrying a text a person can act on; callers that catch them
// show Message() in an error box.
class EPondrelError : public std::exception {
public:
    explicit EPondrelError(QString message);
    const QString& Message() const noexcept { return FMessage; }
    const char* what() const noexcept override { return FUtf8.constData(); }

private:
    QString FMessage;
    QByteArray FUtf8;
};

// Malformed control-string notation or a text that is not a number.
class EConvertError : public EPondrelError {
public:
    using EPondrelError::EPondrelError;
};

// A serial port that cannot be opened, configured or written.
class ESerialError : public EPondrelError {
public:
    using EPondrelError::EPondrelError;
};
