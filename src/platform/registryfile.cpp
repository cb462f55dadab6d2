#include "platform/registryfile.h"

#include <QScopeGuard>
#include <QStringDecoder>

#include <utility>

namespace {

const QString Header = QStringLiteral("Windows Registry Editor Version 5.00");
const QString RootName = QStringLiteral("HKEY_CURRENT_USER");
constexpr qsizetype WrapColumn = 76; // where the registry editor breaks hex lines

// Export ------------------------------------------------------------------------------

QString Escaped(const QString& text)
{
    QString escaped;
    escaped.reserve(text.size() + 2);
    for (const QChar c : text) {
        if (c == QLatin1Char('\\') || c == QLatin1Char('"'))
            escaped += QLatin1Char('\\');
        escaped += c;
    }
    return escaped;
}

QByteArray Utf16LeWithNul(const QString& text)
{
    QByteArray bytes;
    bytes.reserve((text.size() + 1) * 2);
    for (const QChar c : text) {
        bytes += char(c.unicode() & 0xff);
        bytes += char(c.unicode() >> 8);
    }
    bytes += QByteArray(2, '\0');
    return bytes;
}

QString HexData(const QString& start, const QByteArray& bytes)
{
    QString line = start;
    qsizetype column = line.size();
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        line += QStringLiteral("%1").arg(quint8(bytes[i]), 2, 16, QLatin1Char('0'));
        column += 2;
        if (i + 1 < bytes.size()) {
            line += QLatin1Char(',');
            ++column;
            if (column >= WrapColumn) {
                line += QStringLiteral("\\\r\n  ");
                column = 2;
            }
        }
    }
    return line;
}

// Writes one key and its values; returns the absolute paths of its subkeys.
QStringList ExportKey(TRegistry& registry, const QString& path, QString& out)
{
    if (!registry.OpenKey(path, false))
        throw ERegistryException(QStringLiteral("Failed to export key ") + path
            + QStringLiteral(": it was deleted during the export."));
    const QString stored = registry.CurrentPath();
    out += QLatin1Char('[') + RootName + (stored.isEmpty() ? QString() : QLatin1Char('\\') + stored)
        + QStringLiteral("]\r\n");
    const QStringList values = registry.GetValueNames();
    for (const QString& name : values) {
        const QString start = name.isEmpty()
            ? QStringLiteral("@=")
            : QLatin1Char('"') + Escaped(name) + QStringLiteral("\"=");
        switch (registry.GetDataType(name)) {
        case TRegDataType::rdInteger:
            out += start
                + QStringLiteral("dword:%1")
                      .arg(quint32(registry.ReadInteger(name)), 8, 16, QLatin1Char('0'));
            break;
        case TRegDataType::rdString: {
            const QString text = registry.ReadString(name);
            if (text.contains(QLatin1Char('\n')) || text.contains(QLatin1Char('\r'))
                || text.contains(QChar(0)))
                out += HexData(start + QStringLiteral("hex(1):"), Utf16LeWithNul(text));
            else
                out += start + QLatin1Char('"') + Escaped(text) + QLatin1Char('"');
            break;
        }
        case TRegDataType::rdExpandString:
            out += HexData(
                start + QStringLiteral("hex(2):"), Utf16LeWithNul(registry.ReadString(name)));
            break;
        case TRegDataType::rdUnknown:
            throw ERegistryException(QStringLiteral("Failed to export the value '") + name
                + QStringLiteral("' of \\") + stored
                + QStringLiteral(": its type is not one of text, expandable "
                                 "text or integer."));
        }
        out += QStringLiteral("\r\n");
    }
    out += QStringLiteral("\r\n");
    const QStringList subkeys = registry.GetKeyNames();
    const QString prefix
        = stored.isEmpty() ? QStringLiteral("\\") : QLatin1Char('\\') + stored + QLatin1Char('\\');
    QStringList paths;
    paths.reserve(subkeys.size());
    for (const QString& subkey : subkeys)
        paths.append(prefix + subkey);
    return paths;
}

// Tree order without recursion, so however deep a stored tree is, the stack is not.
void ExportTree(TRegistry& registry, const QString& path, QString& out)
{
    QStringList pending{path};
    while (!pending.isEmpty()) {
        const QStringList subkeys = ExportKey(registry, pending.takeLast(), out);
        for (auto it = subkeys.crbegin(); it != subkeys.crend(); ++it)
            pending.append(*it);
    }
}

// Import ------------------------------------------------------------------------------

struct TLine {
    int Number;
    QString Text; // trimmed
};

[[noreturn]] void Fault(int line, const QString& message)
{
    throw ERegFileError(line, message);
}

QList<TLine> DecodeLines(const QByteArray& bytes)
{
    QList<TLine> lines;
    QList<QString> raw;
    if (bytes.startsWith("\xfe\xff"))
        Fault(1,
            QStringLiteral("the file is UTF-16 big-endian; save it as UTF-16LE (as the "
                           "registry editor does) or UTF-8."));
    if (bytes.startsWith("\xff\xfe")) {
        if (bytes.size() % 2 != 0)
            Fault(1,
                QStringLiteral("the file starts as UTF-16 but has an odd number of bytes; "
                               "it is cut short or damaged."));
        QString text(static_cast<qsizetype>((bytes.size() - 2) / 2), Qt::Uninitialized);
        for (qsizetype i = 0; i < text.size(); ++i)
            text[i] = QChar(char16_t(quint8(bytes[2 + 2 * i]) | (quint8(bytes[3 + 2 * i]) << 8)));
        raw = text.split(QLatin1Char('\n'));
    } else {
        const QByteArray body = bytes.startsWith("\xef\xbb\xbf") ? bytes.mid(3) : bytes;
        const QList<QByteArray> byteLines = body.split('\n');
        for (qsizetype i = 0; i < byteLines.size(); ++i) {
            QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
            QString text = decoder.decode(byteLines[i]);
            if (decoder.hasError())
                Fault(int(i + 1),
                    QStringLiteral("the line is not valid UTF-8; save the file as "
                                   "UTF-8 or as UTF-16LE with a byte-order mark."));
            raw.append(std::move(text));
        }
    }
    // Some editors end a file with NUL characters.
    while (!raw.isEmpty()) {
        QString& last = raw.last();
        while (last.endsWith(QChar(0)))
            last.chop(1);
        if (!last.trimmed().isEmpty())
            break;
        raw.removeLast();
    }
    for (qsizetype i = 0; i < raw.size(); ++i) {
        const int number = int(i + 1);
        if (!raw[i].isValidUtf16())
            Fault(number, QStringLiteral("the line holds a broken UTF-16 character."));
        if (raw[i].contains(QChar(0)))
            Fault(number, QStringLiteral("the line holds a NUL character."));
        lines.append({number, raw[i].trimmed()});
    }
    return lines;
}

QString KeyPathOf(int line, const QString& inner)
{
    const qsizetype slash = inner.indexOf(QLatin1Char('\\'));
    const QString root = slash < 0 ? inner : inner.left(slash);
    if (root.compare(RootName, Qt::CaseInsensitive) != 0) {
        if (root.startsWith(QStringLiteral("HKEY_"), Qt::CaseInsensitive))
            Fault(line,
                QStringLiteral("only keys under HKEY_CURRENT_USER can be imported, not ") + root
                    + QLatin1Char('.'));
        Fault(line,
            QStringLiteral("a key must start with HKEY_CURRENT_USER, not '") + root
                + QStringLiteral("'."));
    }
    if (slash < 0)
        return QStringLiteral("\\");
    const QString rest = inner.mid(slash + 1);
    const QStringList names = rest.split(QLatin1Char('\\'));
    if (names.size() > TRegistry::MaxKeyDepth)
        Fault(line, QStringLiteral("the key path is more than %1 levels deep.")
                        .arg(TRegistry::MaxKeyDepth));
    for (const QString& name : names) {
        if (name.isEmpty())
            Fault(line,
                QStringLiteral("the key path holds an empty key name (two backslashes in "
                               "a row, or one at the end)."));
        const QString problem = TRegistry::KeyNameProblem(name);
        if (!problem.isEmpty())
            Fault(line,
                QStringLiteral("the key name '") + name + QStringLiteral("' is not valid: ")
                    + problem + QLatin1Char('.'));
    }
    return QLatin1Char('\\') + rest;
}

// A quoted text starting at position, which holds the opening quote; position ends after
// the closing quote.
QString Quoted(int line, const QString& text, qsizetype& position, const QString& what)
{
    QString result;
    for (qsizetype i = position + 1; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c == QLatin1Char('"')) {
            position = i + 1;
            return result;
        }
        if (c == QLatin1Char('\\')) {
            if (i + 1 >= text.size())
                break;
            const QChar next = text[++i];
            if (next != QLatin1Char('\\') && next != QLatin1Char('"'))
                Fault(line,
                    QStringLiteral("the ") + what + QStringLiteral(" holds the escape '\\") + next
                        + QStringLiteral("'; only \\\\ and \\\" are known (write a "
                                         "backslash as \\\\)."));
            result += next;
            continue;
        }
        result += c;
    }
    Fault(line, QStringLiteral("the ") + what + QStringLiteral(" has no closing quote."));
}

QString TypeName(const QString& hexType)
{
    static const std::pair<const char*, const char*> names[] = {{"", "REG_BINARY"},
        {"0", "REG_NONE"}, {"3", "REG_BINARY"}, {"5", "REG_DWORD_BIG_ENDIAN"}, {"6", "REG_LINK"},
        {"7", "REG_MULTI_SZ"}, {"8", "REG_RESOURCE_LIST"}, {"9", "REG_FULL_RESOURCE_DESCRIPTOR"},
        {"a", "REG_RESOURCE_REQUIREMENTS_LIST"}, {"b", "REG_QWORD"}};
    for (const auto& [code, name] : names)
        if (hexType.compare(QLatin1String(code), Qt::CaseInsensitive) == 0)
            return QLatin1String(name);
    return QStringLiteral("type ") + hexType;
}

QString Utf16LeText(int line, const QByteArray& bytes)
{
    if (bytes.size() % 2 != 0)
        Fault(line,
            QStringLiteral("the text data has an odd number of bytes; UTF-16 text needs "
                           "two bytes a character."));
    QString text(bytes.size() / 2, Qt::Uninitialized);
    for (qsizetype i = 0; i < text.size(); ++i)
        text[i] = QChar(char16_t(quint8(bytes[2 * i]) | (quint8(bytes[2 * i + 1]) << 8)));
    if (text.endsWith(QChar(0)))
        text.chop(1);
    if (!text.isValidUtf16())
        Fault(line, QStringLiteral("the text data holds a broken UTF-16 character."));
    return text;
}

// The value line at lines[index] and its continuation lines; index ends at its last line.
TRegFileValue ParseValue(const QList<TLine>& lines, qsizetype& index)
{
    const int number = lines[index].Number;
    const QString& text = lines[index].Text;
    TRegFileValue value;
    qsizetype position = 0;
    if (text.startsWith(QLatin1Char('@'))) {
        position = 1;
    } else {
        value.Name = Quoted(number, text, position, QStringLiteral("value name"));
        const QString problem = TRegistry::ValueNameProblem(value.Name);
        if (!problem.isEmpty())
            Fault(number,
                QStringLiteral("the value name is not valid: ") + problem + QLatin1Char('.'));
    }
    while (position < text.size() && text[position].isSpace())
        ++position;
    if (position >= text.size() || text[position] != QLatin1Char('='))
        Fault(number, QStringLiteral("an '=' must follow the value name."));
    QString data = text.mid(position + 1).trimmed();

    if (data == QLatin1String("-")) {
        value.Delete = true;
        return value;
    }
    if (data.startsWith(QLatin1Char('"'))) {
        qsizetype end = 0;
        value.Type = TRegDataType::rdString;
        value.Text = Quoted(number, data, end, QStringLiteral("text"));
        if (end != data.size())
            Fault(number, QStringLiteral("there is more after the closing quote of the text."));
        return value;
    }
    if (data.startsWith(QStringLiteral("dword:"), Qt::CaseInsensitive)) {
        const QString digits = data.mid(6);
        bool ok = false;
        const quint32 number32 = digits.toUInt(&ok, 16);
        if (!ok || digits.isEmpty() || digits.size() > 8 || digits.startsWith(QLatin1Char('+'))
            || digits.startsWith(QLatin1Char('-')))
            Fault(number,
                QStringLiteral("a dword needs 1 to 8 hexadecimal digits, as in "
                               "dword:0000000a."));
        value.Type = TRegDataType::rdInteger;
        value.Integer = qint32(number32);
        return value;
    }
    if (!data.startsWith(QStringLiteral("hex"), Qt::CaseInsensitive))
        Fault(
            number, QStringLiteral("unknown value data; expected \"text\", dword:, hex(2): or -."));

    // hex[(type)]:bytes, continued on the following lines while a line ends in a backslash.
    QString hexType;
    qsizetype colon = data.indexOf(QLatin1Char(':'));
    const QString kind = colon < 0 ? data : data.left(colon);
    if (kind.size() > 3) {
        if (!kind.endsWith(QLatin1Char(')')) || kind[3] != QLatin1Char('(') || kind.size() < 6)
            Fault(number, QStringLiteral("hex data starts with hex: or hex(type):."));
        hexType = kind.mid(4, kind.size() - 5);
    }
    if (colon < 0)
        Fault(number, QStringLiteral("a ':' must follow ") + kind + QLatin1Char('.'));
    if (hexType != QLatin1String("1") && hexType != QLatin1String("2")
        && hexType != QLatin1String("4"))
        Fault(number,
            QStringLiteral("%1 values (%2) cannot be kept in the key store; it keeps only "
                           "text (REG_SZ, REG_EXPAND_SZ) and dword (REG_DWORD) values.")
                .arg(TypeName(hexType), kind));
    QByteArray bytes;
    QString segment = data.mid(colon + 1);
    int segmentLine = number;
    for (;;) {
        const bool continued = segment.endsWith(QLatin1Char('\\'));
        if (continued)
            segment.chop(1);
        const QStringList items = segment.split(QLatin1Char(','));
        for (qsizetype i = 0; i < items.size(); ++i) {
            const QString item = items[i].trimmed();
            if (item.isEmpty() && i + 1 == items.size() && (continued || items.size() == 1))
                continue; // the comma before a line break, or no bytes at all
            bool ok = false;
            const uint byte = item.toUInt(&ok, 16);
            if (!ok || item.size() != 2)
                Fault(segmentLine,
                    QStringLiteral("'") + item
                        + QStringLiteral("' is not a byte; hex data is two hexadecimal "
                                         "digits a byte, separated by commas."));
            bytes += char(byte);
        }
        if (!continued)
            break;
        if (index + 1 >= lines.size())
            Fault(segmentLine, QStringLiteral("the hex data goes on past the end of the file."));
        ++index;
        segment = lines[index].Text;
        segmentLine = lines[index].Number;
    }

    if (hexType == QLatin1String("4")) {
        if (bytes.size() != 4)
            Fault(number, QStringLiteral("hex(4) data needs exactly 4 bytes."));
        value.Type = TRegDataType::rdInteger;
        value.Integer = qint32(quint32(quint8(bytes[0])) | quint32(quint8(bytes[1])) << 8
            | quint32(quint8(bytes[2])) << 16 | quint32(quint8(bytes[3])) << 24);
    } else {
        value.Type
            = hexType == QLatin1String("1") ? TRegDataType::rdString : TRegDataType::rdExpandString;
        value.Text = Utf16LeText(number, bytes);
    }
    return value;
}

} // namespace

ERegFileError::ERegFileError(int line, const QString& message)
    : EPondrelError(QStringLiteral("Line %1: ").arg(line) + message)
    , FLine(line)
{
}

QByteArray ExportRegistryText(
    TRegistry& registry, const QString& keyPath, TRegFileEncoding encoding)
{
    QString out = Header + QStringLiteral("\r\n\r\n");
    const auto closeKey = qScopeGuard([&registry] { registry.CloseKey(); });
    {
        // One snapshot, even when another program writes meanwhile.
        TRegistry::TTransaction snapshot(registry);
        if (!registry.KeyExists(keyPath))
            throw ERegistryException(QStringLiteral("Nothing to export: the key ") + keyPath
                + QStringLiteral(" does not exist."));
        ExportTree(registry, keyPath, out);
        snapshot.Commit();
    }
    if (encoding == TRegFileEncoding::Utf8)
        return out.toUtf8();
    QByteArray bytes("\xff\xfe");
    bytes += Utf16LeWithNul(out);
    bytes.chop(2);
    return bytes;
}

QList<TRegFileKey> ParseRegistryText(const QByteArray& bytes)
{
    const QList<TLine> lines = DecodeLines(bytes);
    if (lines.isEmpty())
        Fault(1,
            QStringLiteral("the file is empty; it needs the first line '") + Header
                + QStringLiteral("'."));
    if (lines[0].Text.compare(QLatin1String("REGEDIT4"), Qt::CaseInsensitive) == 0)
        Fault(1,
            QStringLiteral("REGEDIT4 files are not supported; export the keys again as '") + Header
                + QStringLiteral("'."));
    if (lines[0].Text != Header)
        Fault(1, QStringLiteral("the first line must be '") + Header + QStringLiteral("'."));

    QList<TRegFileKey> keys;
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const TLine& line = lines[i];
        if (line.Text.isEmpty() || line.Text.startsWith(QLatin1Char(';')))
            continue;
        if (line.Text.startsWith(QLatin1Char('['))) {
            if (!line.Text.endsWith(QLatin1Char(']')))
                Fault(line.Number, QStringLiteral("a key line must end with ']'."));
            TRegFileKey key;
            QString inner = line.Text.mid(1, line.Text.size() - 2);
            if (inner.startsWith(QLatin1Char('-'))) {
                key.Delete = true;
                inner.remove(0, 1);
            }
            key.Path = KeyPathOf(line.Number, inner);
            if (key.Delete && key.Path == QLatin1String("\\"))
                Fault(line.Number, QStringLiteral("HKEY_CURRENT_USER itself cannot be deleted."));
            keys.append(key);
            continue;
        }
        if (line.Text.startsWith(QLatin1Char('"')) || line.Text.startsWith(QLatin1Char('@'))) {
            if (keys.isEmpty())
                Fault(line.Number, QStringLiteral("a value comes before the first key line."));
            if (keys.last().Delete)
                Fault(line.Number, QStringLiteral("a value follows a key deletion line [-...]."));
            keys.last().Values.append(ParseValue(lines, i));
            continue;
        }
        Fault(line.Number,
            QStringLiteral("this is neither a key line [...], a value line "
                           "\"Name\"=... nor a ; comment."));
    }
    return keys;
}

void ImportRegistryKeys(TRegistry& registry, const QList<TRegFileKey>& keys)
{
    const auto closeKey = qScopeGuard([&registry] { registry.CloseKey(); });
    {
        TRegistry::TTransaction transaction(registry);
        for (const TRegFileKey& key : keys) {
            if (key.Delete) {
                registry.DeleteKey(key.Path);
                continue;
            }
            if (!registry.OpenKey(key.Path, true))
                throw ERegistryException(
                    QStringLiteral("Failed to create key ") + key.Path + QLatin1Char('.'));
            for (const TRegFileValue& value : key.Values) {
                if (value.Delete)
                    registry.DeleteValue(value.Name);
                else if (value.Type == TRegDataType::rdInteger)
                    registry.WriteInteger(value.Name, value.Integer);
                else if (value.Type == TRegDataType::rdExpandString)
                    registry.WriteExpandString(value.Name, value.Text);
                else
                    registry.WriteString(value.Name, value.Text);
            }
        }
        transaction.Commit();
    }
}

QString AbsoluteKeyPath(const QString& key, QString* problem)
{
    QString path = key;
    if (path.startsWith(RootName, Qt::CaseInsensitive)
        && (path.size() == RootName.size() || path[RootName.size()] == QLatin1Char('\\')))
        path = path.mid(RootName.size());
    if (!path.startsWith(QLatin1Char('\\')))
        path.prepend(QLatin1Char('\\'));
    if (path.size() > 1 && path.endsWith(QLatin1Char('\\')))
        path.chop(1);
    if (path.size() > 1) {
        const QStringList names = path.mid(1).split(QLatin1Char('\\'));
        for (const QString& name : names) {
            const QString nameProblem = name.isEmpty()
                ? QStringLiteral("the path holds two backslashes in a row")
                : TRegistry::KeyNameProblem(name);
            if (!nameProblem.isEmpty()) {
                *problem = QStringLiteral("'") + key + QStringLiteral("' is not a valid key path: ")
                    + nameProblem + QLatin1Char('.');
                return {};
            }
        }
    }
    return path;
}
