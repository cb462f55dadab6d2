#include "widgets/propertiesstore.h"

#include <QFileInfo>
#include <QMetaProperty>
#include <QObject>
#include <QSettings>
#include <QVariant>

#include <optional>

namespace {

QString EntryKey(const QObject& control, const QString& storedName)
{
    return control.objectName() + u'/' + storedName;
}

// The file is text and hand-editable, so conversion is strict: a typo must not quietly
// tick a box or zero a margin.
std::optional<QVariant> FromStoredText(const QString& text, QMetaType type)
{
    switch (type.id()) {
    case QMetaType::Bool: {
        const QString word = text.trimmed().toLower();
        if (word == QLatin1String("true") || word == QLatin1String("1"))
            return QVariant(true);
        if (word == QLatin1String("false") || word == QLatin1String("0"))
            return QVariant(false);
        return std::nullopt;
    }
    case QMetaType::Int: {
        bool ok = false;
        const int value = text.trimmed().toInt(&ok);
        return ok ? std::optional<QVariant>(QVariant(value)) : std::nullopt;
    }
    case QMetaType::QString:
        return QVariant(text);
    default:
        return std::nullopt;
    }
}

} // namespace

void TPropertiesStore::AddProperty(QObject* control, const QString& storedName,
                                   const char* qtProperty)
{
    Q_ASSERT(control && !control->objectName().isEmpty());
    FEntries.append({control, storedName, qtProperty});
}

void TPropertiesStore::Restore() const
{
    if (FStorageName.isEmpty() || !QFileInfo::exists(FStorageName))
        return;
    QSettings file(FStorageName, QSettings::IniFormat);
    for (const TEntry& entry : FEntries) {
        if (!entry.Control)
            continue;
        const QString key = EntryKey(*entry.Control, entry.StoredName);
        if (!file.contains(key))
            continue;
        const QMetaObject* meta = entry.Control->metaObject();
        const int index = meta->indexOfProperty(entry.QtProperty);
        if (index < 0)
            continue;
        const QVariant stored = file.value(key);
        // A comma in a hand-written entry without quotes reads as a list: it was one text.
        const QString text = stored.typeId() == QMetaType::QStringList
            ? stored.toStringList().join(QStringLiteral(", "))
            : stored.toString();
        if (const std::optional<QVariant> value =
                FromStoredText(text, meta->property(index).metaType()))
            entry.Control->setProperty(entry.QtProperty, *value);
    }
}

QString TPropertiesStore::Store() const
{
    if (FStorageName.isEmpty())
        return {};
    QSettings file(FStorageName, QSettings::IniFormat);
    for (const TEntry& entry : FEntries) {
        if (!entry.Control)
            continue;
        const QVariant value = entry.Control->property(entry.QtProperty);
        // Written as text, so the file reads the same whatever the property's type.
        const QString text = value.typeId() == QMetaType::Bool
            ? QString::fromLatin1(value.toBool() ? "true" : "false")
            : value.toString();
        file.setValue(EntryKey(*entry.Control, entry.StoredName), text);
    }
    file.sync();
    switch (file.status()) {
    case QSettings::NoError:
        return {};
    case QSettings::FormatError:
        return QStringLiteral("The window's layout file \"%1\" could not be read, so it was "
                              "not changed. Move it aside to let Pondrel write a new one.")
            .arg(FStorageName);
    case QSettings::AccessError:
        break;
    }
    return QStringLiteral("The window's layout file \"%1\" could not be written, so the "
                          "operator's name, the location text and the settings of this run "
                          "were not kept. Check that the folder exists and can be written.")
        .arg(FStorageName);
}
