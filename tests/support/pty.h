#pragma once

#include <QByteArray>
#include <QString>

// A pseudo-terminal pair for serial tests: the program opens SlavePath() as its serial
// device and the test plays the indicator on the master end.
class TPtyPair {
public:
    TPtyPair();  // QFAIL-free: check IsValid()
    ~TPtyPair();
    TPtyPair(const TPtyPair&) = delete;
    TPtyPair& operator=(const TPtyPair&) = delete;

    bool IsValid() const { return FMaster >= 0; }
    QString SlavePath() const { return FSlavePath; }
    // A descriptor of the slave end, for reading the line settings (tcgetattr) that the
    // program applied; the test must not read data from it.
    int SlaveFd() const { return FSlaveKeepAlive; }

    // Closes the master end: the program's side sees a hang-up, as when an adapter is
    // unplugged. Write and Read fail afterwards.
    void CloseMaster();

    // Writes all bytes to the master end.
    bool Write(const QByteArray& bytes);
    // Reads what arrives at the master end within timeoutMs, until at least `atLeast`
    // bytes are there.
    QByteArray Read(int timeoutMs, qsizetype atLeast = 1);

private:
    int FMaster = -1;
    int FSlaveKeepAlive = -1; // keeps the slave side configured while the program reopens it
    QString FSlavePath;
};
