#pragma once

#include "platform/registry.h"

#include <QString>

// The serial port parameters of one scale definition, owned by its THbScaleSettings, and
// the accessor of their store key: the definition's key + "\PortSettings".
// Codes: Parity 0 none, 1 odd, 2 even, 3 mark, 4 space; StopBits 0 one, 1 one and a
// half, 2 two; PortNumber 1 is COM1 and 0 means no port chosen. TimeOut is decimal text,
// stored as text.
class THbComPortSettings : public TRegistry {
public:
    THbComPortSettings() = default;
    ~THbComPortSettings() override; // closes the key

    // Absolute path of the key; keeps the last path after closing.
    QString KeyPath;
    int PortNumber = 0;
    int BaudRate = 9600;
    int Parity = 0;
    int WordLength = 8;
    int StopBits = 0;
    QString TimeOut = QStringLiteral("5000");

    // Opens definitionKeyPath + "\PortSettings", creating it when missing; true when open.
    bool SelectPortSettings(const QString& definitionKeyPath);
    // Read-or-seed of the six values: an existing value is read into its field, a missing
    // one is written from it. One transaction: on an error the fields read so far keep
    // their new values and nothing seeded stays in the store.
    void LoadPortSettings();
    // Writes all six values, as one transaction.
    void SavePortSettings();
    void ClosePortSettings() noexcept;
};
