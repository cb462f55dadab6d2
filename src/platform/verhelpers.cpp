#include "platform/verhelpers.h"

#include "platform/version.h"

#include <QHash>
#include <QLatin1String>

#include <atomic>

namespace {

const QLatin1String StringTablePath("\\StringFileInfo\\040904E4\\");
std::atomic<bool> BlockAbsent{false};

} // namespace

std::unique_ptr<TVersionBlock> GetVersionBlock()
{
    if (BlockAbsent.load())
        return nullptr;
    auto block = std::make_unique<TVersionBlock>();
    const auto add = [&](const char* name, const char* value) {
        block->Strings.insert(StringTablePath + QLatin1String(name), QString::fromUtf8(value));
    };
    add("CompanyName", PONDREL_COMPANY_NAME);
    add("ProductName", PONDREL_PRODUCT_NAME);
    add("ProductVersion", PONDREL_PRODUCT_VERSION);
    add("FileVersion", PONDREL_FILE_VERSION);
    add("FileDescription", PONDREL_FILE_DESCRIPTION);
    add("LegalCopyright", PONDREL_LEGAL_COPYRIGHT);
    add("InternalName", PONDREL_PRODUCT_NAME);
    return block;
}

QString QueryVersionString(const TVersionBlock* block, const QString& name)
{
    if (!block || name.isEmpty())
        return {};
    return block->Strings.value(StringTablePath + name);
}

QString RegistryKeyPath(const QString& subkey)
{
    QString root = RegistryRootPath();
    while (root.endsWith(QLatin1Char('\\')))
        root.chop(1);
    return root + QLatin1Char('\\') + subkey;
}

QString RegistryRootPath()
{
    const auto block = GetVersionBlock();
    QString path = QStringLiteral("\\Software\\Holbrin\\");
    if (block) {
        path += QueryVersionString(block.get(), QStringLiteral("ProductName")) + QLatin1Char('\\')
                + QueryVersionString(block.get(), QStringLiteral("ProductVersion"));
    }
    return path;
}

QString CaptionText()
{
    const auto block = GetVersionBlock();
    if (!block)
        return {};
    return QueryVersionString(block.get(), QStringLiteral("ProductName")) + QLatin1Char(' ')
           + QueryVersionString(block.get(), QStringLiteral("ProductVersion"));
}

void SetVersionBlockAbsentForTesting(bool absent)
{
    BlockAbsent.store(absent);
}
