#include "frame/localeids.h"

#include <QStringList>

#include <vector>

namespace {

struct TLocaleIdRow {
    const char* Tag; // language[-Script]-TERRITORY, as the locale-id data names it
    quint16 Lcid;
};

// Published Windows locale identifiers (primary language id | sublanguage id << 10).
// Only locales with a territory; neutral and sort-order variants are left out.
constexpr TLocaleIdRow Rows[] = {
    {"C", 0x007F}, // the invariant locale

    {"af-ZA", 0x0436}, {"am-ET", 0x045E}, {"ar-SA", 0x0401}, {"ar-IQ", 0x0801},
    {"ar-EG", 0x0C01}, {"ar-LY", 0x1001}, {"ar-DZ", 0x1401}, {"ar-MA", 0x1801},
    {"ar-TN", 0x1C01}, {"ar-OM", 0x2001}, {"ar-YE", 0x2401}, {"ar-SY", 0x2801},
    {"ar-JO", 0x2C01}, {"ar-LB", 0x3001}, {"ar-KW", 0x3401}, {"ar-AE", 0x3801},
    {"ar-BH", 0x3C01}, {"ar-QA", 0x4001}, {"az-Latn-AZ", 0x042C}, {"be-BY", 0x0423},
    {"bg-BG", 0x0402}, {"bn-IN", 0x0445}, {"bn-BD", 0x0845}, {"bs-Latn-BA", 0x141A},
    {"ca-ES", 0x0403}, {"cs-CZ", 0x0405}, {"cy-GB", 0x0452}, {"da-DK", 0x0406},
    {"de-DE", 0x0407}, {"de-CH", 0x0807}, {"de-AT", 0x0C07}, {"de-LU", 0x1007},
    {"de-LI", 0x1407}, {"el-GR", 0x0408}, {"en-US", 0x0409}, {"en-GB", 0x0809},
    {"en-AU", 0x0C09}, {"en-CA", 0x1009}, {"en-NZ", 0x1409}, {"en-IE", 0x1809},
    {"en-ZA", 0x1C09}, {"en-JM", 0x2009}, {"en-BZ", 0x2809}, {"en-TT", 0x2C09},
    {"en-ZW", 0x3009}, {"en-PH", 0x3409}, {"en-IN", 0x4009}, {"en-MY", 0x4409},
    {"en-SG", 0x4809}, {"es-MX", 0x080A}, {"es-ES", 0x0C0A}, {"es-GT", 0x100A},
    {"es-CR", 0x140A}, {"es-PA", 0x180A}, {"es-DO", 0x1C0A}, {"es-VE", 0x200A},
    {"es-CO", 0x240A}, {"es-PE", 0x280A}, {"es-AR", 0x2C0A}, {"es-EC", 0x300A},
    {"es-CL", 0x340A}, {"es-UY", 0x380A}, {"es-PY", 0x3C0A}, {"es-BO", 0x400A},
    {"es-SV", 0x440A}, {"es-HN", 0x480A}, {"es-NI", 0x4C0A}, {"es-PR", 0x500A},
    {"es-US", 0x540A}, {"et-EE", 0x0425}, {"eu-ES", 0x042D}, {"fa-IR", 0x0429},
    {"fi-FI", 0x040B}, {"fil-PH", 0x0464}, {"fo-FO", 0x0438}, {"fr-FR", 0x040C},
    {"fr-BE", 0x080C}, {"fr-CA", 0x0C0C}, {"fr-CH", 0x100C}, {"fr-LU", 0x140C},
    {"fr-MC", 0x180C}, {"ga-IE", 0x083C}, {"gl-ES", 0x0456}, {"he-IL", 0x040D},
    {"hi-IN", 0x0439}, {"hr-HR", 0x041A}, {"hr-BA", 0x101A}, {"hu-HU", 0x040E},
    {"hy-AM", 0x042B}, {"id-ID", 0x0421}, {"is-IS", 0x040F}, {"it-IT", 0x0410},
    {"it-CH", 0x0810}, {"ja-JP", 0x0411}, {"ka-GE", 0x0437}, {"kk-KZ", 0x043F},
    {"km-KH", 0x0453}, {"ko-KR", 0x0412}, {"lo-LA", 0x0454}, {"lt-LT", 0x0427},
    {"lv-LV", 0x0426}, {"mk-MK", 0x042F}, {"mn-Cyrl-MN", 0x0450}, {"mr-IN", 0x044E},
    {"ms-MY", 0x043E}, {"mt-MT", 0x043A}, {"nb-NO", 0x0414}, {"ne-NP", 0x0461},
    {"nl-NL", 0x0413}, {"nl-BE", 0x0813}, {"nn-NO", 0x0814}, {"pl-PL", 0x0415},
    {"ps-AF", 0x0463}, {"pt-BR", 0x0416}, {"pt-PT", 0x0816}, {"rm-CH", 0x0417},
    {"ro-RO", 0x0418}, {"ru-RU", 0x0419}, {"si-LK", 0x045B}, {"sk-SK", 0x041B},
    {"sl-SI", 0x0424}, {"sq-AL", 0x041C}, {"sr-Latn-BA", 0x181A}, {"sr-Cyrl-BA", 0x1C1A},
    {"sr-Latn-RS", 0x241A}, {"sr-Cyrl-RS", 0x281A}, {"sr-Latn-ME", 0x2C1A},
    {"sr-Cyrl-ME", 0x301A}, {"sv-SE", 0x041D}, {"sv-FI", 0x081D}, {"sw-KE", 0x0441},
    {"ta-IN", 0x0449}, {"te-IN", 0x044A}, {"th-TH", 0x041E}, {"tr-TR", 0x041F},
    {"uk-UA", 0x0422}, {"ur-PK", 0x0420}, {"uz-Latn-UZ", 0x0443}, {"vi-VN", 0x042A},
    {"xh-ZA", 0x0434}, {"zh-Hant-TW", 0x0404}, {"zh-Hans-CN", 0x0804},
    {"zh-Hant-HK", 0x0C04}, {"zh-Hans-SG", 0x1004}, {"zh-Hant-MO", 0x1404},
    {"zu-ZA", 0x0435},
};

struct TLocaleIdEntry {
    QLocale::Language Language;
    QLocale::Script Script; // AnyScript: the usual script of the language in the territory
    QLocale::Territory Territory;
    quint16 Lcid;
};

// The usual script of a language in a territory, as Qt's likely-subtag data gives it.
QLocale::Script UsualScript(QLocale::Language language, QLocale::Territory territory)
{
    return QLocale(language, territory).script();
}

const std::vector<TLocaleIdEntry>& Entries()
{
    static const std::vector<TLocaleIdEntry> entries = [] {
        std::vector<TLocaleIdEntry> result;
        for (const TLocaleIdRow& row : Rows) {
            const QStringList parts = QString::fromLatin1(row.Tag).split(QLatin1Char('-'));
            if (parts.size() == 1) { // the invariant locale
                result.push_back({QLocale::C, QLocale::AnyScript, QLocale::AnyTerritory, row.Lcid});
                continue;
            }
            TLocaleIdEntry entry{QLocale::codeToLanguage(parts.first()), QLocale::AnyScript,
                                 QLocale::codeToTerritory(parts.last()), row.Lcid};
            if (parts.size() == 3)
                entry.Script = QLocale::codeToScript(parts.at(1));
            // A tag this Qt cannot read is left out rather than matched loosely.
            if (entry.Language == QLocale::AnyLanguage || entry.Territory == QLocale::AnyTerritory
                || (parts.size() == 3 && entry.Script == QLocale::AnyScript))
                continue;
            result.push_back(entry);
        }
        return result;
    }();
    return entries;
}

bool Matches(const TLocaleIdEntry& entry, const QLocale& locale)
{
    if (entry.Language != locale.language() || entry.Territory != locale.territory())
        return false;
    if (entry.Language == QLocale::C)
        return true;
    const QLocale::Script script = entry.Script != QLocale::AnyScript
                                       ? entry.Script
                                       : UsualScript(entry.Language, entry.Territory);
    return locale.script() == script;
}

} // namespace

std::optional<quint16> WindowsLocaleId(const QLocale& locale)
{
    for (const TLocaleIdEntry& entry : Entries()) {
        if (Matches(entry, locale))
            return entry.Lcid;
    }
    return std::nullopt;
}

std::optional<QLocale> LocaleOfWindowsId(quint32 lcid)
{
    for (const TLocaleIdEntry& entry : Entries()) {
        if (entry.Lcid != lcid)
            continue;
        if (entry.Language == QLocale::C)
            return QLocale::c();
        const QLocale locale(entry.Language, entry.Script, entry.Territory);
        // Qt answers a locale it has no data for with a neighbour; that is not this one.
        if (Matches(entry, locale))
            return locale;
        return std::nullopt;
    }
    return std::nullopt;
}
