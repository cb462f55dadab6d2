#include "platform/registry.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

#include <sqlite3.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <fcntl.h>
#include <map>
#include <mutex>
#include <string>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <utility>

namespace {

// Stored type codes are the registry's own numbers.
constexpr int RegSz = 1;
constexpr int RegExpandSz = 2;
constexpr int RegDword = 4;

constexpr qint64 RootKeyId = 1;
constexpr int SchemaVersion = 1;
constexpr int MaxValueNameLength = 16383;

// Keys and values refer to their parent key. Deleting a subtree removes all its rows in one
// statement per table, so there are no cascades whose depth could be exhausted.
// AUTOINCREMENT keeps the id of a deleted key from naming a later one, which an accessor
// that still holds the old key open would otherwise write into.
constexpr const char* SchemaSql = R"sql(
CREATE TABLE reg_keys(
  id INTEGER PRIMARY KEY AUTOINCREMENT,
  parent INTEGER REFERENCES reg_keys(id),
  name TEXT NOT NULL,
  folded TEXT NOT NULL,
  UNIQUE(parent, folded));
CREATE TABLE reg_values(
  key INTEGER NOT NULL REFERENCES reg_keys(id),
  name TEXT NOT NULL,
  folded TEXT NOT NULL,
  type INTEGER NOT NULL,
  data BLOB, -- no affinity: a text that looks like a number stays text
  UNIQUE(key, folded));
INSERT INTO reg_keys(id, parent, name, folded) VALUES(1, NULL, '', '');
PRAGMA user_version = 1;
)sql";

std::atomic<int> gBusyTimeoutMs{5000};

QString Quoted(const QString& text)
{
    return QLatin1Char('\'') + text + QLatin1Char('\'');
}

// The registry compares names by the simple upper case of each character.
QString FoldedName(const QString& name)
{
    QString folded;
    folded.reserve(name.size());
    const auto units = QStringView(name);
    for (qsizetype i = 0; i < units.size(); ++i) {
        char32_t code = units[i].unicode();
        if (units[i].isHighSurrogate() && i + 1 < units.size() && units[i + 1].isLowSurrogate()) {
            code = QChar::surrogateToUcs4(units[i], units[i + 1]);
            ++i;
        }
        const char32_t upper = QChar::toUpper(code);
        if (QChar::requiresSurrogates(upper)) {
            folded += QChar(QChar::highSurrogate(upper));
            folded += QChar(QChar::lowSurrogate(upper));
        } else {
            folded += QChar(static_cast<char16_t>(upper));
        }
    }
    return folded;
}

bool HasControlCharacter(const QString& text)
{
    for (const QChar c : text)
        if (c.unicode() < 0x20 || c.unicode() == 0x7f)
            return true;
    return false;
}

struct TParsedPath {
    bool Absolute = false;
    QStringList Names;
    QString Problem; // empty when the path is valid
};

TParsedPath ParsePath(const QString& path)
{
    TParsedPath parsed;
    QString rest = path;
    if (rest.startsWith(QLatin1Char('\\'))) {
        parsed.Absolute = true;
        rest.remove(0, 1);
    }
    if (rest.endsWith(QLatin1Char('\\')))
        rest.chop(1);
    if (rest.isEmpty())
        return parsed;
    parsed.Names = rest.split(QLatin1Char('\\'));
    for (const QString& name : std::as_const(parsed.Names)) {
        if (name.isEmpty()) {
            parsed.Problem = QStringLiteral("the path holds two backslashes in a row");
            break;
        }
        parsed.Problem = TRegistry::KeyNameProblem(name);
        if (!parsed.Problem.isEmpty())
            break;
    }
    return parsed;
}

QString ColumnText(sqlite3_stmt* statement, int column)
{
    const void* text = sqlite3_column_text16(statement, column);
    if (!text)
        return {};
    const int bytes = sqlite3_column_bytes16(statement, column);
    return QString(static_cast<const QChar*>(text), bytes / 2);
}

} // namespace

// ---------------------------------------------------------------------------------------
// The shared connection to one store file.

class TRegistryStore {
public:
    static std::shared_ptr<TRegistryStore> Acquire(const QString& file);
    static void ApplyBusyTimeout(int milliseconds);
    static int WaitWhileBusy(void* store, int attempt);

    explicit TRegistryStore(QString file);
    ~TRegistryStore();
    TRegistryStore(const TRegistryStore&) = delete;
    TRegistryStore& operator=(const TRegistryStore&) = delete;

    // A prepared statement of the store's cache, reset when it goes.
    class TStatement {
    public:
        TStatement(TRegistryStore& store, const char* sql, QString action);
        ~TStatement();
        TStatement(const TStatement&) = delete;
        TStatement& operator=(const TStatement&) = delete;
        TStatement& Bind(int index, qint64 value);
        TStatement& Bind(int index, const QString& value);
        bool Step(); // true on a row
        void Run() { Step(); }
        qint64 Integer(int column) const { return sqlite3_column_int64(FStatement, column); }
        int Type(int column) const { return sqlite3_column_type(FStatement, column); }
        QString Text(int column) const { return ColumnText(FStatement, column); }

    private:
        TRegistryStore& FStore;
        sqlite3_stmt* FStatement;
        QString FAction;
    };

    // Transactions: level 1 is the outermost; the deeper ones are savepoints.
    int Begin();
    void Commit(int level);
    void Rollback(int level) noexcept;
    // Bumped by every rollback: rows created in it are gone, and their ids may come again.
    quint64 Generation() const { return FGeneration; }

    // Throws when an earlier error made SQLite drop the transaction of a live guard.
    void CheckTransaction(const QString& action);
    int Changes() const { return sqlite3_changes(FDb); }

    [[noreturn]] void Fail(int code, const QString& action) const;
    QString Problem(int code) const;
    const QString& File() const { return FFile; }

    // Key rows: the child called name of parent, or 0.
    qint64 FindChild(
        qint64 parent, const QString& name, QString* storedName, const QString& action);
    qint64 CreateChild(qint64 parent, const QString& name, const QString& action);

private:
    void Open();
    void Execute(const char* sql, const QString& action);
    void CheckIntegrity();
    void PrepareSchema();
    [[noreturn]] void FailCorrupt(const QString& detail) const;

    QString FFile;
    sqlite3* FDb = nullptr;
    std::map<std::string, sqlite3_stmt*> FStatements;
    int FDepth = 0;
    quint64 FGeneration = 0;
    int FBusyTimeoutMs = gBusyTimeoutMs.load();
    std::chrono::steady_clock::time_point FBusySince;
};

namespace {

std::mutex gStoresMutex;
// Never destroyed: an accessor held by a static object may outlive every function-local
// static and still unregisters its store here.
std::map<QString, std::weak_ptr<TRegistryStore>>& Stores()
{
    static auto* stores = new std::map<QString, std::weak_ptr<TRegistryStore>>;
    return *stores;
}

QString StoreKey(const QString& file)
{
    const QFileInfo info(file);
    const QString canonical = info.canonicalFilePath();
    return canonical.isEmpty() ? QDir::cleanPath(info.absoluteFilePath()) : canonical;
}

// Creates the missing folders of path owner-only, outermost first.
QString MakeFolders(const QString& folder)
{
    if (QFileInfo(folder).isDir())
        return {};
    const QString parent = QFileInfo(folder).absolutePath();
    if (parent != folder) {
        const QString problem = MakeFolders(parent);
        if (!problem.isEmpty())
            return problem;
    }
    if (QFileInfo::exists(folder))
        return folder + QStringLiteral(" is not a folder; move it aside");
    if (::mkdir(QFile::encodeName(folder).constData(), 0700) != 0 && errno != EEXIST)
        return QStringLiteral("cannot create the folder ") + folder + QStringLiteral(": ")
            + QString::fromLocal8Bit(std::strerror(errno))
            + QStringLiteral("; make its parent folder writable for your user");
    return {};
}

} // namespace

std::shared_ptr<TRegistryStore> TRegistryStore::Acquire(const QString& file)
{
    if (file.isEmpty())
        throw ERegistryException(QStringLiteral(
            "Cannot use the key store: no per-user configuration folder is known. Set HOME "
            "(or XDG_CONFIG_HOME) to your home folder and start again."));
    const QString key = StoreKey(file);
    std::lock_guard lock(gStoresMutex);
    auto& stores = Stores();
    if (auto it = stores.find(key); it != stores.end()) {
        if (auto store = it->second.lock())
            return store;
    }
    auto store = std::make_shared<TRegistryStore>(file);
    stores[StoreKey(file)] = store; // canonical now that the file exists
    stores[key] = store;
    return store;
}

// SQLite's own busy wait sleeps up to 100 ms between tries, and a process that writes
// often can take the lock again in every gap; short steady tries keep the waiter in turn.
int TRegistryStore::WaitWhileBusy(void* data, int attempt)
{
    auto* store = static_cast<TRegistryStore*>(data);
    const auto now = std::chrono::steady_clock::now();
    if (attempt == 0)
        store->FBusySince = now;
    if (now - store->FBusySince >= std::chrono::milliseconds(store->FBusyTimeoutMs))
        return 0;
    std::this_thread::sleep_for(std::chrono::microseconds(attempt < 20 ? 200 : 1000));
    return 1;
}

void TRegistryStore::ApplyBusyTimeout(int milliseconds)
{
    std::lock_guard lock(gStoresMutex);
    for (auto& [key, weak] : Stores())
        if (auto store = weak.lock())
            store->FBusyTimeoutMs = milliseconds;
}

TRegistryStore::TRegistryStore(QString file)
    : FFile(std::move(file))
{
    try {
        Open();
    } catch (...) {
        for (auto& [sql, statement] : FStatements)
            sqlite3_finalize(statement);
        sqlite3_close(FDb);
        throw;
    }
}

TRegistryStore::~TRegistryStore()
{
    if (FDepth > 0)
        Rollback(1);
    for (auto& [sql, statement] : FStatements)
        sqlite3_finalize(statement);
    sqlite3_close(FDb);
    std::lock_guard lock(gStoresMutex);
    auto& stores = Stores();
    for (auto it = stores.begin(); it != stores.end();)
        it = it->second.expired() ? stores.erase(it) : std::next(it);
}

void TRegistryStore::Open()
{
    const QString action = QStringLiteral("Cannot use the key store");
    const QFileInfo info(FFile);
    const QString folderProblem = MakeFolders(info.absolutePath());
    if (!folderProblem.isEmpty())
        throw ERegistryException(
            action + QStringLiteral(": ") + folderProblem + QStringLiteral(" and try again."));
    const QByteArray path = QFile::encodeName(info.absoluteFilePath());
    // SQLite would create the file readable by everyone; the store is the user's alone.
    const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd >= 0) {
        ::close(fd);
    } else if (errno != EEXIST) {
        const QString reason = QString::fromLocal8Bit(std::strerror(errno));
        throw ERegistryException(action + QStringLiteral(": cannot create the key store file ")
            + FFile + QStringLiteral(" (") + reason + QStringLiteral("). Make the folder ")
            + info.absolutePath() + QStringLiteral(" writable for your user and try again."));
    }

    const int code = sqlite3_open_v2(
        path.constData(), &FDb, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX, nullptr);
    if (code != SQLITE_OK)
        Fail(FDb ? sqlite3_extended_errcode(FDb) : code, action);
    sqlite3_extended_result_codes(FDb, 1);
    sqlite3_busy_handler(FDb, &TRegistryStore::WaitWhileBusy, this);
    Execute("PRAGMA foreign_keys = ON; PRAGMA synchronous = FULL; PRAGMA cell_size_check = ON;"
            "PRAGMA trusted_schema = OFF",
        action);
    CheckIntegrity();
    PrepareSchema();
}

void TRegistryStore::Execute(const char* sql, const QString& action)
{
    const int code = sqlite3_exec(FDb, sql, nullptr, nullptr, nullptr);
    if (code != SQLITE_OK)
        Fail(sqlite3_extended_errcode(FDb), action);
}

void TRegistryStore::FailCorrupt(const QString& detail) const
{
    throw ERegistryException(QStringLiteral("Cannot use the key store: the file ") + FFile
        + QStringLiteral(" ") + detail
        + QStringLiteral(". Nothing was changed in it. Restore it from a backup (pondrel-registry "
                         "import), or move it aside to start with an empty store."));
}

void TRegistryStore::CheckIntegrity()
{
    const QString action = QStringLiteral("Cannot use the key store");
    sqlite3_stmt* statement = nullptr;
    int code = sqlite3_prepare_v2(FDb, "PRAGMA quick_check(1)", -1, &statement, nullptr);
    if (code == SQLITE_OK) {
        code = sqlite3_step(statement);
        if (code == SQLITE_ROW) {
            const QString result = ColumnText(statement, 0);
            sqlite3_finalize(statement);
            if (result != QLatin1String("ok"))
                FailCorrupt(
                    QStringLiteral("is damaged (integrity check: ") + result + QStringLiteral(")"));
            return;
        }
        code = sqlite3_extended_errcode(FDb);
    } else {
        code = sqlite3_extended_errcode(FDb);
    }
    sqlite3_finalize(statement);
    Fail(code, action);
}

void TRegistryStore::PrepareSchema()
{
    const QString action = QStringLiteral("Cannot use the key store");
    const auto readVersion = [&] {
        TStatement version(*this, "PRAGMA user_version", action);
        version.Step();
        return version.Integer(0);
    };
    const auto countTables = [&](const char* sql) {
        TStatement tables(*this, sql, action);
        tables.Step();
        return tables.Integer(0);
    };
    qint64 version = readVersion();
    if (version == 0) {
        const int level = Begin();
        try {
            // Another process may have set it up meanwhile.
            version = readVersion();
            if (version == 0) {
                if (countTables("SELECT count(*) FROM sqlite_schema") != 0)
                    FailCorrupt(QStringLiteral("is an SQLite database of another program, "
                                               "not a key store"));
                Execute(SchemaSql, action);
                version = SchemaVersion;
            }
            Commit(level);
        } catch (...) {
            Rollback(level);
            throw;
        }
    }
    if (version > SchemaVersion)
        throw ERegistryException(QStringLiteral("Cannot use the key store: the file ") + FFile
            + QStringLiteral(" was written by a newer version of Pondrel (store format ")
            + QString::number(version)
            + QStringLiteral("). Use that version, or export the keys with its "
                             "pondrel-registry and import them here."));
    if (version != SchemaVersion
        || countTables("SELECT count(*) FROM sqlite_schema WHERE type = 'table' AND name IN "
                       "('reg_keys', 'reg_values')")
            != 2
        || countTables("SELECT count(*) FROM reg_keys WHERE id = 1 AND parent IS NULL") != 1)
        FailCorrupt(QStringLiteral("is damaged (its tables are not those of a key store)"));
}

QString TRegistryStore::Problem(int code) const
{
    const QString file = FFile;
    const QString folder = QFileInfo(FFile).absolutePath();
    const bool folderWritable = ::access(QFile::encodeName(folder).constData(), W_OK) == 0;
    const QString sqliteText = QString::fromUtf8(sqlite3_errstr(code));
    switch (code & 0xff) {
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
        return QStringLiteral("the key store file ") + file
            + QStringLiteral(" is locked by another program (waited ")
            + QString::number(FBusyTimeoutMs / 1000.0)
            + QStringLiteral(" s). Close other Pondrel windows or tools that use it and try again");
    case SQLITE_NOTADB:
    case SQLITE_CORRUPT:
        return QStringLiteral("the key store file ") + file
            + QStringLiteral(" is damaged or is not a key store (") + sqliteText
            + QStringLiteral("). Nothing was changed in it. Restore it from a backup "
                             "(pondrel-registry import), or move it aside to start with an "
                             "empty store");
    case SQLITE_READONLY:
        if (code == SQLITE_READONLY_DIRECTORY
            || (::access(QFile::encodeName(file).constData(), W_OK) == 0 && !folderWritable))
            return QStringLiteral("the folder ") + folder
                + QStringLiteral(" of the key store file cannot be written. Make it writable "
                                 "for your user (chmod u+w) and try again");
        return QStringLiteral("the key store file ") + file
            + QStringLiteral(" is read-only. Make it writable for your user (chmod u+w) and "
                             "try again");
    case SQLITE_CANTOPEN:
    case SQLITE_PERM:
    case SQLITE_AUTH:
        if (!folderWritable)
            return QStringLiteral("the folder ") + folder
                + QStringLiteral(" of the key store file cannot be written. Make it writable "
                                 "for your user (chmod u+w) and try again");
        return QStringLiteral("the key store file ") + file + QStringLiteral(" cannot be opened (")
            + sqliteText
            + QStringLiteral("). Check that it is a file your user may read and "
                             "write");
    case SQLITE_FULL:
        return QStringLiteral("the disk that holds the key store file ") + file
            + QStringLiteral(" is full. Free some space and try again");
    case SQLITE_IOERR:
        return QStringLiteral("the key store file ") + file
            + QStringLiteral(" could not be read or written (") + sqliteText
            + QStringLiteral("). Check the disk and try again");
    case SQLITE_NOMEM:
        return QStringLiteral("out of memory while using the key store file ") + file;
    default:
        return QStringLiteral("the key store file ") + file + QStringLiteral(" reported: ")
            + (FDb ? QString::fromUtf8(sqlite3_errmsg(FDb)) : sqliteText);
    }
}

void TRegistryStore::Fail(int code, const QString& action) const
{
    throw ERegistryException(action + QStringLiteral(": ") + Problem(code) + QLatin1Char('.'));
}

// Statements ----------------------------------------------------------------------------

TRegistryStore::TStatement::TStatement(TRegistryStore& store, const char* sql, QString action)
    : FStore(store)
    , FStatement(nullptr)
    , FAction(std::move(action))
{
    auto& cached = store.FStatements[sql];
    if (!cached) {
        if (sqlite3_prepare_v3(store.FDb, sql, -1, SQLITE_PREPARE_PERSISTENT, &cached, nullptr)
            != SQLITE_OK) {
            const int code = sqlite3_extended_errcode(store.FDb);
            store.FStatements.erase(sql);
            store.Fail(code, FAction);
        }
    }
    FStatement = cached;
}

TRegistryStore::TStatement::~TStatement()
{
    sqlite3_reset(FStatement);
    sqlite3_clear_bindings(FStatement);
}

TRegistryStore::TStatement& TRegistryStore::TStatement::Bind(int index, qint64 value)
{
    sqlite3_bind_int64(FStatement, index, value);
    return *this;
}

TRegistryStore::TStatement& TRegistryStore::TStatement::Bind(int index, const QString& value)
{
    sqlite3_bind_text16(
        FStatement, index, value.utf16(), static_cast<int>(value.size() * 2), SQLITE_TRANSIENT);
    return *this;
}

bool TRegistryStore::TStatement::Step()
{
    const int code = sqlite3_step(FStatement);
    if (code == SQLITE_ROW)
        return true;
    if (code == SQLITE_DONE)
        return false;
    const int extended = sqlite3_extended_errcode(FStore.FDb);
    sqlite3_reset(FStatement);
    if (extended == SQLITE_CONSTRAINT_FOREIGNKEY)
        throw ERegistryException(FAction + QStringLiteral(": the key no longer exists."));
    FStore.Fail(extended, FAction);
}

// Transactions --------------------------------------------------------------------------

int TRegistryStore::Begin()
{
    const QString action = QStringLiteral("Cannot start a transaction in the key store");
    CheckTransaction(action);
    if (FDepth == 0) {
        // IMMEDIATE takes the write lock at once, so two writers wait for each other through
        // the busy timeout instead of failing at their first write. A read-only file can
        // still be read consistently; its writes fail on their own.
        Execute(sqlite3_db_readonly(FDb, "main") == 1 ? "BEGIN" : "BEGIN IMMEDIATE", action);
    } else {
        const std::string sql = "SAVEPOINT level" + std::to_string(FDepth + 1);
        Execute(sql.c_str(), action);
    }
    return ++FDepth;
}

void TRegistryStore::Commit(int level)
{
    const QString action = QStringLiteral("Failed to store the changes");
    if (level != FDepth)
        throw ERegistryException(action
            + QStringLiteral(": transactions of the key store must end in the reverse "
                             "order of their start."));
    CheckTransaction(action);
    if (level == 1)
        Execute("COMMIT", action); // on failure the transaction stays open for its rollback
    else
        Execute(("RELEASE level" + std::to_string(level)).c_str(), action);
    --FDepth;
}

void TRegistryStore::Rollback(int level) noexcept
{
    if (level < 1 || level > FDepth)
        return;
    ++FGeneration;
    if (!sqlite3_get_autocommit(FDb)) {
        if (level == 1) {
            sqlite3_exec(FDb, "ROLLBACK", nullptr, nullptr, nullptr);
        } else {
            const std::string name = "level" + std::to_string(level);
            sqlite3_exec(FDb, ("ROLLBACK TO " + name + "; RELEASE " + name).c_str(), nullptr,
                nullptr, nullptr);
        }
    }
    FDepth = level - 1;
}

void TRegistryStore::CheckTransaction(const QString& action)
{
    if (FDepth > 0 && sqlite3_get_autocommit(FDb)) {
        // SQLite rolled the transaction back after an error (a full disk, for one); going on
        // would store the rest of it piecemeal.
        ++FGeneration;
        throw ERegistryException(action
            + QStringLiteral(": the transaction was cancelled by an earlier error and "
                             "none of its changes were stored."));
    }
}

// Key rows ------------------------------------------------------------------------------

qint64 TRegistryStore::FindChild(
    qint64 parent, const QString& name, QString* storedName, const QString& action)
{
    TStatement find(
        *this, "SELECT id, name FROM reg_keys WHERE parent = ?1 AND folded = ?2", action);
    find.Bind(1, parent).Bind(2, FoldedName(name));
    if (!find.Step())
        return 0;
    if (storedName)
        *storedName = find.Text(1);
    return find.Integer(0);
}

qint64 TRegistryStore::CreateChild(qint64 parent, const QString& name, const QString& action)
{
    TStatement insert(
        *this, "INSERT INTO reg_keys(parent, name, folded) VALUES(?1, ?2, ?3)", action);
    insert.Bind(1, parent).Bind(2, name).Bind(3, FoldedName(name)).Run();
    return sqlite3_last_insert_rowid(FDb);
}

// ---------------------------------------------------------------------------------------
// The accessor.

namespace {

// Several statements that must land together, inside the caller's transaction if any.
class TWriteScope {
public:
    explicit TWriteScope(TRegistryStore& store)
        : FStore(store)
        , FLevel(store.Begin())
    {
    }
    ~TWriteScope()
    {
        if (!FDone)
            FStore.Rollback(FLevel);
    }
    TWriteScope(const TWriteScope&) = delete;
    TWriteScope& operator=(const TWriteScope&) = delete;
    void Commit()
    {
        FStore.Commit(FLevel);
        FDone = true;
    }

private:
    TRegistryStore& FStore;
    int FLevel;
    bool FDone = false;
};

} // namespace

TRegistry::TRegistry()
    : TRegistry(DefaultStoreFile())
{
}

TRegistry::TRegistry(const QString& storeFile)
    : FStoreFile(storeFile)
{
}

TRegistry::~TRegistry() = default;

QString TRegistry::DefaultStoreFile()
{
    const QString config = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    if (config.isEmpty())
        return {};
    return config + QStringLiteral("/pondrel/registry.db");
}

QString TRegistry::KeyNameProblem(const QString& name)
{
    if (name.isEmpty())
        return QStringLiteral("a key name cannot be empty");
    if (name.contains(QLatin1Char('\\')))
        return QStringLiteral("a key name cannot contain a backslash");
    if (name.size() > MaxKeyNameLength)
        return QStringLiteral("a key name can have at most %1 characters").arg(MaxKeyNameLength);
    if (HasControlCharacter(name))
        return QStringLiteral("a key name cannot contain control characters");
    if (!name.isValidUtf16())
        return QStringLiteral("a key name cannot contain a lone surrogate character");
    return {};
}

QString TRegistry::ValueNameProblem(const QString& name)
{
    if (name.size() > MaxValueNameLength)
        return QStringLiteral("a value name can have at most %1 characters")
            .arg(MaxValueNameLength);
    if (HasControlCharacter(name))
        return QStringLiteral("a value name cannot contain control characters");
    if (!name.isValidUtf16())
        return QStringLiteral("a value name cannot contain a lone surrogate character");
    return {};
}

void TRegistry::SetBusyTimeout(int milliseconds)
{
    gBusyTimeoutMs = milliseconds;
    TRegistryStore::ApplyBusyTimeout(milliseconds);
}

void TRegistry::SetRootKey(TRootKey root)
{
    if (root != FRootKey)
        CloseKey();
    FRootKey = root;
}

TRegistryStore& TRegistry::Store()
{
    if (!FStore)
        FStore = TRegistryStore::Acquire(FStoreFile);
    return *FStore;
}

namespace {

// The key the names lead to from the key from; 0 when one is missing, from itself when it
// is not a key (0, or -1 for a key that has gone).
qint64 FindKey(TRegistryStore& store, qint64 from, const QStringList& names,
               const QString& action)
{
    qint64 id = from;
    for (const QString& name : names) {
        if (id <= 0)
            break;
        id = store.FindChild(id, name, nullptr, action);
    }
    return id;
}

} // namespace

qint64 TRegistry::OpenKeyId()
{
    if (FOpenKeyId > 0 && FOpenGeneration != Store().Generation()) {
        // A rollback may have taken the key away; find it again by its path.
        TRegistryStore& store = Store();
        const QString action = QStringLiteral("Failed to open key \\") + FOpenKeyPath;
        const QStringList names = FOpenKeyPath.isEmpty()
            ? QStringList()
            : FOpenKeyPath.split(QLatin1Char('\\'));
        const qint64 id = FindKey(store, RootKeyId, names, action);
        FOpenKeyId = id == 0 ? -1 : id;
        FOpenGeneration = store.Generation();
    }
    return FOpenKeyId;
}

QString TRegistry::OpenKeyText() const
{
    return QLatin1Char('\\') + FOpenKeyPath;
}

qint64 TRegistry::StartKeyId(bool absolute)
{
    return !absolute && HasOpenKey() ? OpenKeyId() : RootKeyId;
}

TRegistry::TKeyLookup TRegistry::FindOrCreateKey(const QString& key, bool canCreate)
{
    TKeyLookup result;
    const TParsedPath path = ParsePath(key);
    if (!path.Problem.isEmpty()) {
        result.Problem = path.Problem;
        return result;
    }
    TRegistryStore& store = Store();
    const QString action = QStringLiteral("Failed to open key ") + key;
    store.CheckTransaction(action);
    qint64 id = StartKeyId(path.Absolute);
    if (id < 0) {
        result.Problem = QStringLiteral("the open key ") + OpenKeyText()
            + QStringLiteral(" no longer exists");
        return result;
    }
    if (id != RootKeyId)
        result.Path = FOpenKeyPath;

    const qsizetype baseDepth =
        result.Path.isEmpty() ? 0 : result.Path.count(QLatin1Char('\\')) + 1;
    if (baseDepth + path.Names.size() > MaxKeyDepth) {
        result.Problem = QStringLiteral("a key path can be at most %1 levels deep").arg(MaxKeyDepth);
        return result;
    }
    const auto appendName = [&result](const QString& name) {
        if (!result.Path.isEmpty())
            result.Path += QLatin1Char('\\');
        result.Path += name;
    };
    qsizetype found = 0;
    for (; found < path.Names.size(); ++found) {
        QString stored;
        const qint64 child = store.FindChild(id, path.Names[found], &stored, action);
        if (child == 0)
            break;
        id = child;
        appendName(stored);
    }
    if (found < path.Names.size()) {
        if (!canCreate)
            return result; // missing: no problem to report
        TWriteScope scope(store);
        for (; found < path.Names.size(); ++found) {
            id = store.CreateChild(id, path.Names[found], action);
            appendName(path.Names[found]);
        }
        scope.Commit();
    }
    result.Id = id;
    return result;
}

bool TRegistry::OpenKey(const QString& key, bool canCreate)
{
    const TKeyLookup found = FindOrCreateKey(key, canCreate);
    if (found.Id <= 0)
        return false;
    FOpenKeyId = found.Id;
    FOpenKeyPath = found.Path;
    FOpenGeneration = Store().Generation();
    return true;
}

bool TRegistry::CreateKey(const QString& key)
{
    // Creating keeps the open key, as the registry accessor does.
    const TKeyLookup created = FindOrCreateKey(key, true);
    if (created.Id <= 0)
        throw ERegistryException(QStringLiteral("Failed to create key ") + key
            + QStringLiteral(": ") + created.Problem + QLatin1Char('.'));
    return true;
}

void TRegistry::CloseKey() noexcept
{
    FOpenKeyId = 0;
    FOpenKeyPath.clear();
}

bool TRegistry::KeyExists(const QString& key)
{
    const TParsedPath path = ParsePath(key);
    if (!path.Problem.isEmpty())
        return false;
    TRegistryStore& store = Store();
    const QString action = QStringLiteral("Failed to look for key ") + key;
    store.CheckTransaction(action);
    return FindKey(store, StartKeyId(path.Absolute), path.Names, action) > 0;
}

QString TRegistry::CurrentPath() const
{
    return FOpenKeyPath;
}

bool TRegistry::HasOpenKey() const
{
    return FOpenKeyId != 0;
}

qint64 TRegistry::OpenKeyForQuery(const QString& action)
{
    if (!HasOpenKey())
        return 0;
    Store().CheckTransaction(action);
    return OpenKeyId();
}

bool TRegistry::ValueExists(const QString& name)
{
    const QString action = QStringLiteral("Failed to get data for ") + Quoted(name);
    const qint64 key = OpenKeyForQuery(action);
    if (key <= 0)
        return false;
    TRegistryStore::TStatement find(
        Store(), "SELECT 1 FROM reg_values WHERE key = ?1 AND folded = ?2", action);
    find.Bind(1, key).Bind(2, FoldedName(name));
    return find.Step();
}

TRegDataType TRegistry::GetDataType(const QString& name)
{
    const QString action = QStringLiteral("Failed to get data for ") + Quoted(name);
    const qint64 key = OpenKeyForQuery(action);
    if (key <= 0)
        return TRegDataType::rdUnknown;
    TRegistryStore::TStatement find(
        Store(), "SELECT type FROM reg_values WHERE key = ?1 AND folded = ?2", action);
    find.Bind(1, key).Bind(2, FoldedName(name));
    if (!find.Step())
        return TRegDataType::rdUnknown;
    switch (find.Integer(0)) {
    case RegSz:
        return TRegDataType::rdString;
    case RegExpandSz:
        return TRegDataType::rdExpandString;
    case RegDword:
        return TRegDataType::rdInteger;
    default:
        return TRegDataType::rdUnknown;
    }
}

namespace {

QString TypeDescription(qint64 type)
{
    switch (type) {
    case RegSz:
    case RegExpandSz:
        return QStringLiteral("the value is text");
    case RegDword:
        return QStringLiteral("the value is an integer");
    default:
        return QStringLiteral("the value has a type this store does not know (%1)").arg(type);
    }
}

QString InvalidDataText(const QString& name, const QString& keyText)
{
    return QStringLiteral("Invalid data type for ") + Quoted(name) + QStringLiteral(" in ")
        + keyText;
}

} // namespace

TRegistry::TStoredValue TRegistry::ReadStoredValue(const QString& name)
{
    const QString action = QStringLiteral("Failed to get data for ") + Quoted(name);
    if (!HasOpenKey())
        throw ERegistryException(action + QStringLiteral(": no key is open."));
    TRegistryStore& store = Store();
    store.CheckTransaction(action);
    const QString where = action + QStringLiteral(" in ") + OpenKeyText();
    TRegistryStore::TStatement find(
        store, "SELECT type, data FROM reg_values WHERE key = ?1 AND folded = ?2", where);
    find.Bind(1, OpenKeyId()).Bind(2, FoldedName(name));
    if (!find.Step())
        throw ERegistryException(where + QStringLiteral(": the value does not exist."));
    TStoredValue value;
    value.Type = find.Integer(0);
    value.StorageType = find.Type(1);
    if (value.StorageType == SQLITE_INTEGER)
        value.Integer = find.Integer(1);
    else if (value.StorageType == SQLITE_TEXT)
        value.Text = find.Text(1);
    return value;
}

qint32 TRegistry::ReadInteger(const QString& name)
{
    const TStoredValue value = ReadStoredValue(name);
    const QString invalid = InvalidDataText(name, OpenKeyText());
    if (value.Type != RegDword)
        throw ERegistryException(invalid + QStringLiteral(": ")
            + TypeDescription(value.Type) + QStringLiteral(", an integer was expected."));
    if (value.StorageType != SQLITE_INTEGER || value.Integer < INT32_MIN
        || value.Integer > INT32_MAX)
        throw ERegistryException(invalid
            + QStringLiteral(": the stored data is not a 32-bit integer. Write the "
                             "value again to repair it."));
    return static_cast<qint32>(value.Integer);
}

QString TRegistry::ReadString(const QString& name)
{
    const TStoredValue value = ReadStoredValue(name);
    const QString invalid = InvalidDataText(name, OpenKeyText());
    if (value.Type != RegSz && value.Type != RegExpandSz)
        throw ERegistryException(invalid + QStringLiteral(": ")
            + TypeDescription(value.Type) + QStringLiteral(", a text was expected."));
    if (value.StorageType != SQLITE_TEXT)
        throw ERegistryException(invalid
            + QStringLiteral(": the stored data is not a text. Write the value again "
                             "to repair it."));
    return value.Text;
}

void TRegistry::WriteValue(const QString& name, int type, const QString* text, qint32 integer)
{
    if (!HasOpenKey())
        throw ERegistryException(QStringLiteral("Failed to set data for ") + Quoted(name)
            + QStringLiteral(": no key is open."));
    TRegistryStore& store = Store();
    const QString where = QStringLiteral("Failed to set data for ") + Quoted(name)
        + QStringLiteral(" in ") + OpenKeyText();
    store.CheckTransaction(where);
    const qint64 key = OpenKeyId();
    if (key < 0)
        throw ERegistryException(where + QStringLiteral(": the key no longer exists."));
    const QString problem = TRegistry::ValueNameProblem(name);
    if (!problem.isEmpty())
        throw ERegistryException(where + QStringLiteral(": ") + problem + QLatin1Char('.'));
    if (text && !text->isValidUtf16())
        throw ERegistryException(where
            + QStringLiteral(": the text holds a lone surrogate character, which the store "
                             "cannot keep."));
    // An existing value keeps its name's case and its place among the key's values.
    TRegistryStore::TStatement write(store,
        "INSERT INTO reg_values(key, name, folded, type, data) VALUES(?1, ?2, ?3, ?4, ?5) "
        "ON CONFLICT(key, folded) DO UPDATE SET type = excluded.type, data = excluded.data",
        where);
    write.Bind(1, key).Bind(2, name).Bind(3, FoldedName(name)).Bind(4, qint64(type));
    if (text)
        write.Bind(5, *text);
    else
        write.Bind(5, qint64(integer));
    write.Run();
}

void TRegistry::ReadOrSeedInteger(const QString& name, qint32& field)
{
    if (ValueExists(name))
        field = ReadInteger(name);
    else
        WriteInteger(name, field);
}

void TRegistry::ReadOrSeedString(const QString& name, QString& field)
{
    if (ValueExists(name))
        field = ReadString(name);
    else
        WriteString(name, field);
}

void TRegistry::WriteInteger(const QString& name, qint32 value)
{
    WriteValue(name, RegDword, nullptr, value);
}

void TRegistry::WriteString(const QString& name, const QString& value)
{
    WriteValue(name, RegSz, &value, 0);
}

void TRegistry::WriteExpandString(const QString& name, const QString& value)
{
    WriteValue(name, RegExpandSz, &value, 0);
}

bool TRegistry::DeleteValue(const QString& name)
{
    const QString action = QStringLiteral("Failed to delete value ") + Quoted(name)
        + QStringLiteral(" in ") + OpenKeyText();
    const qint64 key = OpenKeyForQuery(action);
    if (key <= 0)
        return false;
    TRegistryStore& store = Store();
    TRegistryStore::TStatement remove(
        store, "DELETE FROM reg_values WHERE key = ?1 AND folded = ?2", action);
    remove.Bind(1, key).Bind(2, FoldedName(name)).Run();
    return store.Changes() > 0;
}

QStringList TRegistry::ListNames(const QString& action, const char* sql)
{
    QStringList names;
    const qint64 key = OpenKeyForQuery(action);
    if (key <= 0)
        return names;
    TRegistryStore::TStatement list(Store(), sql, action);
    list.Bind(1, key);
    while (list.Step())
        names.append(list.Text(0));
    return names;
}

QStringList TRegistry::GetValueNames()
{
    return ListNames(QStringLiteral("Failed to list the values of ") + OpenKeyText(),
                     "SELECT name FROM reg_values WHERE key = ?1 ORDER BY rowid");
}

bool TRegistry::HasSubKeys()
{
    const QString action = QStringLiteral("Failed to list the subkeys of ") + OpenKeyText();
    const qint64 key = OpenKeyForQuery(action);
    if (key <= 0)
        return false;
    TRegistryStore::TStatement find(
        Store(), "SELECT 1 FROM reg_keys WHERE parent = ?1 LIMIT 1", action);
    find.Bind(1, key);
    return find.Step();
}

QStringList TRegistry::GetKeyNames()
{
    return ListNames(QStringLiteral("Failed to list the subkeys of ") + OpenKeyText(),
                     "SELECT name FROM reg_keys WHERE parent = ?1 ORDER BY folded");
}

bool TRegistry::DeleteKey(const QString& key)
{
    const TParsedPath path = ParsePath(key);
    if (!path.Problem.isEmpty() || path.Names.isEmpty())
        return false; // the root key stays
    TRegistryStore& store = Store();
    const QString action = QStringLiteral("Failed to delete key ") + key;
    store.CheckTransaction(action);
    const qint64 id = FindKey(store, StartKeyId(path.Absolute), path.Names, action);
    if (id <= 0)
        return false;

    TWriteScope scope(store);
    {
        TRegistryStore::TStatement values(store,
            "WITH RECURSIVE tree(id) AS (SELECT ?1 UNION SELECT "
            "k.id FROM reg_keys k JOIN tree ON k.parent = tree.id) "
            "DELETE FROM reg_values WHERE key IN tree",
            action);
        values.Bind(1, id).Run();
    }
    {
        TRegistryStore::TStatement keys(store,
            "WITH RECURSIVE tree(id) AS (SELECT ?1 UNION SELECT "
            "k.id FROM reg_keys k JOIN tree ON k.parent = tree.id) "
            "DELETE FROM reg_keys WHERE id IN tree",
            action);
        keys.Bind(1, id).Run();
    }
    scope.Commit();
    return true;
}

// Transactions --------------------------------------------------------------------------

TRegistry::TTransaction::TTransaction(TRegistry& registry)
{
    registry.Store();
    FStore = registry.FStore;
    FLevel = FStore->Begin();
}

TRegistry::TTransaction::~TTransaction()
{
    if (!FDone)
        FStore->Rollback(FLevel);
}

void TRegistry::TTransaction::Commit()
{
    if (FDone)
        return;
    FStore->Commit(FLevel);
    FDone = true;
}
