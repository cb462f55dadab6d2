#pragma once

#include <QHash>
#include <QString>

#include <memory>

// The program's version resource, fixed at build time from the project's version data and
// queried in the form of a Windows version resource ("\StringFileInfo\040904E4\<name>").
class TVersionBlock {
public:
    QHash<QString, QString> Strings; // keyed by the full query path
};

// The running program's version block, or nullptr when it has none.
std::unique_ptr<TVersionBlock> GetVersionBlock();

// The named string of the 040904E4 table; empty when the name is empty, the block is
// missing, or the string is missing or empty.
QString QueryVersionString(const TVersionBlock* block, const QString& name);

// "\Software\Holbrin\" + ProductName + "\" + ProductVersion; "\Software\Holbrin\" alone
// without a version block. Read afresh on every call.
QString RegistryRootPath();
// A key below the root: RegistryRootPath() + "\" + subkey, without the empty key name a
// root ending in a backslash would otherwise give.
QString RegistryKeyPath(const QString& subkey);

// ProductName, a space and ProductVersion ("Pondrel 2.0"); empty without a version block.
QString CaptionText();

// For tests: makes GetVersionBlock() give nothing while set.
void SetVersionBlockAbsentForTesting(bool absent);
