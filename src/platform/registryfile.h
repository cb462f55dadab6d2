#pragma once

#include "platform/errors.h"
#include "platform/registry.h"

#include <QByteArray>
#include <QList>
#include <QString>

// Registry export files as the Windows registry editor writes them ("Windows Registry Editor
// Version 5.00"), so definitions move between stations and from a Windows station.
//
// Written: CRLF lines, a blank line after the header and after every key, keys in tree order
// (each key, then its subkeys alphabetically), values in the key's order. Text values are
// "quoted" with \ and " escaped; a text holding a line break or NUL goes as hex(1) (REG_SZ
// in UTF-16LE bytes), which a quoted line cannot hold. Integers go as dword:, expandable
// texts as hex(2): with the terminating NUL, wrapped with "\" like the registry editor.
// Read: UTF-16LE with its byte-order mark (the registry editor's own files) or UTF-8 with or
// without one; the same lines, plus ";" comments, hex(1)/hex(2)/hex(4) data,
// "[-HKEY_CURRENT_USER\...]" key deletions and "Name"=- value deletions. Only keys under
// HKEY_CURRENT_USER and only text and dword values are accepted, since the store keeps no
// other types.

class ERegFileError : public EPondrelError {
public:
    ERegFileError(int line, const QString& message); // message: "Line <line>: <message>"
    int Line() const { return FLine; }

private:
    int FLine;
};

enum class TRegFileEncoding { Utf8, Utf16 };

struct TRegFileValue {
    QString Name;
    TRegDataType Type = TRegDataType::rdUnknown; // rdString, rdExpandString or rdInteger
    qint32 Integer = 0;
    QString Text;
    bool Delete = false; // "Name"=-
};

struct TRegFileKey {
    QString Path; // absolute, with a leading backslash; "\" is the root key
    bool Delete = false; // [-...]: the key and everything below it
    QList<TRegFileValue> Values;
};

// The key at keyPath and everything below it, as an export file. Raises ERegistryException
// when the key does not exist or the store fails. Leaves registry with no key open.
QByteArray ExportRegistryText(TRegistry& registry, const QString& keyPath,
    TRegFileEncoding encoding = TRegFileEncoding::Utf8);

// The whole file checked; raises ERegFileError at the first faulty line.
QList<TRegFileKey> ParseRegistryText(const QByteArray& bytes);

// Applies parsed keys in their order in one transaction: all of them or, on an error
// (ERegistryException), none. Leaves registry with no key open.
void ImportRegistryKeys(TRegistry& registry, const QList<TRegFileKey>& keys);

// A key given by a person: "\Software\X", "Software\X" or "HKEY_CURRENT_USER\Software\X",
// all meaning \Software\X. Returns the absolute path, or an empty text and sets problem.
QString AbsoluteKeyPath(const QString& key, QString* problem);
