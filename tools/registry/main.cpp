// pondrel-registry: backs up, copies and brings over the key store's keys as registry
// export files.

#include "platform/registry.h"
#include "platform/registryfile.h"

#include <QCoreApplication>
#include <QFile>
#include <QSaveFile>
#include <QStringList>

#include <cstdio>

namespace {

enum ExitCode { ExitOk = 0, ExitUsage = 1, ExitFile = 2, ExitStore = 3 };

const char* const Usage = R"(Usage:
  pondrel-registry [--store STORE] export [--utf16] FILE [KEY]
  pondrel-registry [--store STORE] import FILE
  pondrel-registry --help

Moves the keys of Pondrel's per-user key store (the registry of the Windows program) to and
from registry export files ("Windows Registry Editor Version 5.00").

  export FILE [KEY]  Writes KEY and everything below it to FILE. KEY defaults to
                     \Software\Holbrin; it may also be written Software\Holbrin or
                     HKEY_CURRENT_USER\Software\Holbrin. FILE is written as UTF-8 unless
                     --utf16 is given; --utf16 writes UTF-16LE with a byte-order mark, as the
                     Windows registry editor does, for importing on a Windows station.
  import FILE        Reads FILE (UTF-16LE with a byte-order mark, or UTF-8) and writes its
                     keys and values into the store in one transaction. The whole file is
                     checked first; on any fault nothing is written. Existing values that the
                     file does not name are kept. Lines [-HKEY_CURRENT_USER\...] delete a key,
                     "Name"=- deletes a value. Only keys under HKEY_CURRENT_USER and text
                     (REG_SZ, REG_EXPAND_SZ) and dword (REG_DWORD) values are accepted.
  FILE               "-" means standard input or output.
  --store STORE      Uses the store file STORE instead of the user's own
                     (~/.config/pondrel/registry.db).

Exit codes: 0 done, 1 wrong command line, 2 the file cannot be read or written or has a
fault (the message names its line), 3 the key store cannot be used or has no such key.
)";

void Error(const QString& message)
{
    std::fprintf(stderr, "pondrel-registry: %s\n", qPrintable(message));
}

int UsageError(const QString& message)
{
    Error(message);
    std::fprintf(stderr, "Run pondrel-registry --help for the usage.\n");
    return ExitUsage;
}

int Export(TRegistry& registry, const QString& file, const QString& key, bool utf16)
{
    QString problem;
    const QString path = AbsoluteKeyPath(key, &problem);
    if (path.isEmpty())
        return UsageError(problem);
    QByteArray text;
    try {
        text = ExportRegistryText(
            registry, path, utf16 ? TRegFileEncoding::Utf16 : TRegFileEncoding::Utf8);
    } catch (const ERegistryException& e) {
        Error(e.Message());
        return ExitStore;
    }
    if (file == QLatin1String("-")) {
        if (std::fwrite(text.constData(), 1, size_t(text.size()), stdout) != size_t(text.size())
            || std::fflush(stdout) != 0) {
            Error(QStringLiteral("Cannot write to standard output."));
            return ExitFile;
        }
        return ExitOk;
    }
    // Written aside and renamed, so a failure leaves an earlier backup whole.
    QSaveFile out(file);
    if (!out.open(QIODevice::WriteOnly) || out.write(text) != text.size() || !out.commit()) {
        Error(QStringLiteral("Cannot write ") + file + QStringLiteral(": ") + out.errorString()
            + QStringLiteral(". Check the folder and the free space."));
        return ExitFile;
    }
    return ExitOk;
}

int Import(TRegistry& registry, const QString& file)
{
    QFile in;
    const bool opened = file == QLatin1String("-")
        ? in.open(stdin, QIODevice::ReadOnly)
        : (in.setFileName(file), in.open(QIODevice::ReadOnly));
    if (!opened) {
        Error(QStringLiteral("Cannot read ") + file + QStringLiteral(": ") + in.errorString()
            + QLatin1Char('.'));
        return ExitFile;
    }
    const QByteArray bytes = in.readAll();
    QList<TRegFileKey> keys;
    try {
        keys = ParseRegistryText(bytes);
    } catch (const ERegFileError& e) {
        Error(file + QStringLiteral(": ") + e.Message() + QStringLiteral(" Nothing was imported."));
        return ExitFile;
    }
    try {
        ImportRegistryKeys(registry, keys);
    } catch (const ERegistryException& e) {
        Error(e.Message() + QStringLiteral(" Nothing was imported."));
        return ExitStore;
    }
    return ExitOk;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QStringList arguments = app.arguments().mid(1);
    QString store;
    bool utf16 = false;
    QStringList positional;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString& argument = arguments[i];
        if (argument == QLatin1String("--help") || argument == QLatin1String("-h")) {
            std::fputs(Usage, stdout);
            return ExitOk;
        }
        if (argument == QLatin1String("--store")) {
            if (i + 1 >= arguments.size())
                return UsageError(QStringLiteral("--store needs the store file after it."));
            store = arguments[++i];
        } else if (argument == QLatin1String("--utf16")) {
            utf16 = true;
        } else if (argument.startsWith(QLatin1Char('-')) && argument != QLatin1String("-")) {
            return UsageError(QStringLiteral("Unknown option ") + argument + QLatin1Char('.'));
        } else {
            positional.append(argument);
        }
    }
    if (positional.isEmpty())
        return UsageError(QStringLiteral("Say export or import."));
    const QString command = positional.takeFirst();
    TRegistry registry(store.isEmpty() ? TRegistry::DefaultStoreFile() : store);
    if (command == QLatin1String("export")) {
        if (positional.isEmpty() || positional.size() > 2)
            return UsageError(QStringLiteral("export needs a FILE and at most one KEY."));
        return Export(registry, positional[0],
            positional.size() > 1 ? positional[1] : QStringLiteral("\\Software\\Holbrin"), utf16);
    }
    if (command == QLatin1String("import")) {
        if (positional.size() != 1)
            return UsageError(QStringLiteral("import needs exactly one FILE."));
        if (utf16)
            return UsageError(
                QStringLiteral("--utf16 applies to export only; import reads both encodings."));
        return Import(registry, positional[0]);
    }
    return UsageError(
        QStringLiteral("Unknown command ") + command + QStringLiteral("; say export or import."));
}
