#pragma once

#include <QList>
#include <QPointer>
#include <QString>

class QObject;

// Keeps chosen properties of a window's controls in an INI file: one section per control
// (its object name), one entry per property under the name the file uses ("Caption",
// "Checked", ...). Restore reads what the file has and leaves every other value as the
// form built it; store writes all of them.
class TPropertiesStore {
public:
    // The file; set once the controls exist and before Restore.
    void SetStorageName(const QString& path) { FStorageName = path; }
    const QString& StorageName() const { return FStorageName; }

    // Keeps control's Qt property qtProperty under [objectName] storedName. The control
    // must have an object name and the property must be a bool, int or text.
    void AddProperty(QObject* control, const QString& storedName, const char* qtProperty);

    // Missing file, section or entry: the value stays. An entry that does not convert to
    // the property's type (Value=abc, Checked=maybe) is ignored the same way.
    void Restore() const;
    // Writes every kept property, replacing the file as a whole so a failed write leaves
    // the previous file. Returns an error text for the operator, or an empty text.
    QString Store() const;

private:
    struct TEntry {
        QPointer<QObject> Control;
        QString StoredName;
        const char* QtProperty;
    };
    QString FStorageName;
    QList<TEntry> FEntries;
};
