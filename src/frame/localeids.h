#pragma once

#include <QLocale>
#include <QtGlobal>

#include <optional>

// Windows locale identifiers (LCIDs) for the locales Qt knows. Windows keys its locale data
// and the stored LCID setting by these numbers; Qt has no such numbers, so they come from a
// table of the published locale-id assignments.

// Pseudo-identifiers with a meaning of their own.
constexpr quint32 LOCALE_USER_DEFAULT = 0x0400;   // 1024: the user's default locale
constexpr quint32 LOCALE_SYSTEM_DEFAULT = 0x0800; // 2048: the system's default locale
constexpr quint32 LOCALE_INVARIANT = 0x007F;      // 127: the invariant locale (Qt's "C")

// The LCID of a locale; nothing when the table has none for it. A locale matches an entry
// only with its own territory and, unless the entry names a script, with the usual script
// of its language there (so sr-Latn-RS and sr-Cyrl-RS keep their own identifiers).
std::optional<quint16> WindowsLocaleId(const QLocale& locale);

// The locale a table LCID stands for; nothing for an identifier outside the table or one
// whose locale Qt has no data for. Pseudo-identifiers are not resolved here.
std::optional<QLocale> LocaleOfWindowsId(quint32 lcid);
