#pragma once

#include "platform/errors.h"

#include <QString>
#include <QStringList>
#include <QtGlobal>

#include <memory>

// The per-user key store: a tree of keys holding typed values, kept in one SQLite file,
// with the operations of the platform's registry accessor. Keys are backslash paths; a
// path that begins with a backslash is taken from the root key, any other is relative to
// the open key. Key and value names compare without regard to case, keep the case they
// were created with, and subkeys are listed alphabetically without regard to case.
// Main thread only; several accessors and several processes may use one file at once.
//
// Names: a key name is 1 to 255 characters without backslash or control characters; a value
// name is 0 to 16383 characters without control characters (the empty name is the key's
// default value). Names compare by their simple upper case, character by character, as the
// Windows registry compares them. A single trailing backslash of a path is ignored; two
// backslashes in a row make the path invalid (an empty key name).
// Without a TTransaction every write is durable on its own. Locked, damaged and unwritable
// store files raise ERegistryException naming the file; the file is never reset.

class ERegistryException : public EPondrelError {
public:
    using EPondrelError::EPondrelError;
};

enum class TRegDataType { rdUnknown, rdString, rdExpandString, rdInteger };

// The only root key this store keeps: the current user's tree.
enum class TRootKey { HKEY_CURRENT_USER };

class TRegistryStore; // the shared connection to one store file

class TRegistry {
public:
    static constexpr int MaxKeyNameLength = 255;
    static constexpr qsizetype MaxKeyDepth = 512; // the Windows registry's own limits

    TRegistry(); // the user's store, root HKEY_CURRENT_USER
    explicit TRegistry(const QString& storeFile);
    virtual ~TRegistry(); // closes the open key
    TRegistry(const TRegistry&) = delete;
    TRegistry& operator=(const TRegistry&) = delete;

    // The store file of this user: <config>/pondrel/registry.db (folder and file owner-only).
    static QString DefaultStoreFile();
    // The store file this accessor uses.
    QString StoreFile() const { return FStoreFile; }

    // Why name cannot be a key name (or a value name), as a sentence fragment such as
    // "a key name cannot contain a backslash"; empty when it can.
    static QString KeyNameProblem(const QString& name);
    static QString ValueNameProblem(const QString& name);

    // How long an operation waits for another connection's lock before it fails (5000 ms).
    // Applies to open stores and to stores opened later; tests shorten it.
    static void SetBusyTimeout(int milliseconds);

    void SetRootKey(TRootKey root);
    TRootKey RootKey() const { return FRootKey; }

    // True when the key is open afterwards; on false the previously open key stays open. Raises
    // ERegistryException only when the store file itself cannot be used (locked, corrupt,
    // unwritable); a missing key is false.
    bool OpenKey(const QString& key, bool canCreate);
    // Creates the key and any missing keys above it; does not open it. Raises
    // ERegistryException when the path is not a valid key path.
    bool CreateKey(const QString& key);
    void CloseKey() noexcept;
    bool KeyExists(const QString& key);
    // The absolute path of the open key as its names are stored, without a leading
    // backslash; empty when none is open and for the root key.
    QString CurrentPath() const;
    bool HasOpenKey() const;

    // Values of the open key.
    bool ValueExists(const QString& name);
    TRegDataType GetDataType(const QString& name);
    // Reads raise ERegistryException naming the value when it is missing or of another
    // type; ReadString also accepts REG_EXPAND_SZ. Writes raise it when no key is open.
    qint32 ReadInteger(const QString& name);
    QString ReadString(const QString& name);
    void WriteInteger(const QString& name, qint32 value);
    void WriteString(const QString& name, const QString& value);
    void WriteExpandString(const QString& name, const QString& value);
    bool DeleteValue(const QString& name);
    // Read-or-seed of one value: a stored value is read into field, a missing one is
    // written from it. Raises as the read or the write does.
    void ReadOrSeedInteger(const QString& name, qint32& field);
    void ReadOrSeedString(const QString& name, QString& field);
    // Value names of the open key, in the registry's order.
    QStringList GetValueNames();

    bool HasSubKeys();
    QStringList GetKeyNames();
    // Deletes the key and everything below it; false when it does not exist.
    bool DeleteKey(const QString& key);

    // One transaction over the store this accessor uses: everything written through any
    // accessor of the same store file between construction and Commit() is applied
    // together, or, when the guard goes without Commit() (an error), not at all.
    // Transactions nest; only the outermost one reaches the file.
    class TTransaction {
    public:
        explicit TTransaction(TRegistry& registry);
        ~TTransaction();
        TTransaction(const TTransaction&) = delete;
        TTransaction& operator=(const TTransaction&) = delete;
        void Commit();

    private:
        std::shared_ptr<TRegistryStore> FStore;
        int FLevel = 0;
        bool FDone = false;
    };

private:
    TRegistryStore& Store();
    // The open key's row, checked again after a rollback in this process; -1 when the key
    // has gone, 0 when none is open.
    qint64 OpenKeyId();
    QString OpenKeyText() const; // "\Path" for messages
    // For a query of the open key: checks the store's transaction and gives the key's row,
    // or 0 when no key is open and -1 when it has gone.
    qint64 OpenKeyForQuery(const QString& action);
    // Where a relative path starts: the open key (-1 when it has gone), else the root.
    qint64 StartKeyId(bool absolute);
    // The key's row and its path as stored, made when canCreate and missing; Id is 0 with
    // an empty Problem when it is simply missing. Leaves the open key alone.
    struct TKeyLookup {
        qint64 Id = 0;
        QString Path;
        QString Problem;
    };
    TKeyLookup FindOrCreateKey(const QString& key, bool canCreate);
    // The first column of sql's rows, with the open key's row bound to ?1.
    QStringList ListNames(const QString& action, const char* sql);

    // One value of the open key as stored, before its type is checked. Raises when no key
    // is open or the value does not exist.
    struct TStoredValue {
        qint64 Type = 0;
        int StorageType = 0; // SQLite's type of the data column
        qint64 Integer = 0;
        QString Text;
    };
    TStoredValue ReadStoredValue(const QString& name);
    // Raises when no key is open, the key has gone or the name or text cannot be kept.
    void WriteValue(const QString& name, int type, const QString* text, qint32 integer);

    QString FStoreFile;
    std::shared_ptr<TRegistryStore> FStore; // taken on first use
    TRootKey FRootKey = TRootKey::HKEY_CURRENT_USER;
    qint64 FOpenKeyId = 0; // 0: no key open; -1: the open key was deleted
    QString FOpenKeyPath;
    quint64 FOpenGeneration = 0;
};
