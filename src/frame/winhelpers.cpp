#include "frame/winhelpers.h"

#include "platform/messagebox.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QUrl>

#include <algorithm>
#include <utility>

namespace {

const QString InvariantLanguageName = QStringLiteral("Invariant Language (Invariant Country)");

// Territory names where Windows words them differently from Qt.
QString TerritoryName(QLocale::Territory territory)
{
    switch (territory) {
    case QLocale::HongKong:
        return QStringLiteral("Hong Kong SAR");
    case QLocale::Macao:
        return QStringLiteral("Macao SAR");
    default:
        break;
    }
    // "Trinidad And Tobago" -> "Trinidad and Tobago"
    return QLocale::territoryToString(territory).replace(QStringLiteral(" And "),
                                                          QStringLiteral(" and "));
}

QString MeasurementText(const QLocale& locale)
{
    return locale.measurementSystem() == QLocale::MetricSystem ? QStringLiteral("0")
                                                               : QStringLiteral("1");
}

bool IsUserLocale(quint32 lcid)
{
    return lcid == LOCALE_USER_DEFAULT || lcid == LOCALE_SYSTEM_DEFAULT;
}

TLocaleList& MutableLocaleList()
{
    static TLocaleList list;
    return list;
}

QString& ViewerProgram()
{
    static QString program = QStringLiteral("xdg-open");
    return program;
}

TProcessStarter& ProcessStarter()
{
    static TProcessStarter starter;
    return starter;
}

bool StartDetached(const QString& program, const QStringList& arguments, QString& error)
{
    if (ProcessStarter())
        return ProcessStarter()(program, arguments, error);
    QProcess process;
    process.setProgram(program);
    process.setArguments(arguments);
    process.setStandardInputFile(QProcess::nullDevice());
    if (process.startDetached())
        return true;
    error = process.errorString();
    return false;
}

// The build tree's copy of the help pages, so that the program finds them when it runs
// from its build folder.
QString BuildTreeHelpFolder()
{
#ifdef PONDREL_BUILD_HELP_DIR
    return QStringLiteral(PONDREL_BUILD_HELP_DIR);
#else
    return {};
#endif
}

void OfferOnlineDocumentation(const QString& webAddress)
{
    // Lack of memory or resources is not told apart from other start failures: the process
    // layer reports them all alike, and the question costs nothing in either case.
    if (webAddress.isEmpty())
        return;
    if (!MessageBoxes().Confirm(
            QStringLiteral("Do you want to view the on-line version of the documentation?")))
        return;
    const QUrl url = QUrl::fromUserInput(webAddress);
    if (!url.isValid() || !QDesktopServices::openUrl(url)) {
        MessageBoxes().ShowError(
            QStringLiteral("The on-line documentation at %1 could not be opened: no browser "
                           "accepted the address. Open it in a web browser yourself.")
                .arg(webAddress));
    }
}

} // namespace

QString LanguageName(const QLocale& locale)
{
    if (locale.language() == QLocale::C)
        return InvariantLanguageName;
    QString name = QLocale::languageToString(locale.language());
    if (locale.territory() == QLocale::AnyTerritory)
        return name;
    name += QStringLiteral(" (");
    if (locale.script() != QLocale(locale.language(), locale.territory()).script())
        name += QLocale::scriptToString(locale.script()) + QStringLiteral(", ");
    return name + TerritoryName(locale.territory()) + QLatin1Char(')');
}

QString GetLocaleText(quint32 lcid, int info)
{
    if (info != LOCALE_SLANGUAGE && info != LOCALE_IMEASURE)
        return {};
    if (IsUserLocale(lcid)) {
        // The measurement text comes from the platform layer, which the decoders use too.
        return info == LOCALE_SLANGUAGE ? LanguageName(QLocale::system()) : UserMeasurementText();
    }
    const std::optional<QLocale> locale =
        lcid == LOCALE_INVARIANT ? std::optional<QLocale>(QLocale::c()) : LocaleOfWindowsId(lcid);
    if (!locale)
        return {};
    return info == LOCALE_SLANGUAGE ? LanguageName(*locale) : MeasurementText(*locale);
}

QString UserLanguageName()
{
    return GetLocaleText(LOCALE_USER_DEFAULT, LOCALE_SLANGUAGE);
}

void BuildLocaleList()
{
    TLocaleList list;
    const QList<QLocale> installed =
        QLocale::matchingLocales(QLocale::AnyLanguage, QLocale::AnyScript, QLocale::AnyTerritory);
    for (const QLocale& locale : installed) {
        if (const std::optional<quint16> lcid = WindowsLocaleId(locale))
            list.append({LanguageName(locale), *lcid});
    }
    std::stable_sort(list.begin(), list.end(), [](const TLocaleEntry& a, const TLocaleEntry& b) {
        return a.Name.compare(b.Name, Qt::CaseInsensitive) < 0;
    });
    MutableLocaleList() = std::move(list);
}

const TLocaleList& LocaleList()
{
    return MutableLocaleList();
}

std::optional<quint16> FindLocaleId(const QString& name)
{
    for (const TLocaleEntry& entry : LocaleList()) {
        if (entry.Name.compare(name, Qt::CaseInsensitive) == 0)
            return entry.Lcid;
    }
    return std::nullopt;
}

THelpReference MakeHelpReference(const QString& folder, const QString& file, const QString& topic)
{
    const QString helpFolder =
        folder.isEmpty() ? QCoreApplication::applicationDirPath() + QLatin1Char('/') : folder;
    return {helpFolder + (file.isEmpty() ? ApplicationHelpFile() : file), topic};
}

QString HelpPagePath(const THelpReference& reference)
{
    QString topic = reference.Topic;
    topic.replace(QLatin1Char('\\'), QLatin1Char('/'));
    const QString fileFolder = QFileInfo(reference.HelpFile).absolutePath();
    const QStringList candidates = {fileFolder + QStringLiteral("/../share/pondrel/help"),
                                    BuildTreeHelpFolder()};
    for (const QString& candidate : candidates) {
        if (candidate.isEmpty() || !QFileInfo(candidate).isDir())
            continue;
        const QString helpFolder = QDir::cleanPath(candidate);
        const QString page = QDir::cleanPath(helpFolder + QLatin1Char('/') + topic);
        // A topic is a page below the help folder, never a way out of it.
        if (!page.startsWith(helpFolder + QLatin1Char('/')))
            return {};
        if (QFileInfo(page).isFile())
            return page;
    }
    return {};
}

void ShowHelpTopic(const QString& folder, const QString& file, const QString& topic,
                   const QString& webAddress)
{
    const THelpReference reference = MakeHelpReference(folder, file, topic);
    const QString page = HelpPagePath(reference);
    if (page.isEmpty()) {
        MessageBoxes().ShowError(
            QStringLiteral("The help topic %1 is not installed: its page was not found below %2. "
                           "Reinstall the program's help pages.")
                .arg(reference.Text(),
                     QDir::cleanPath(QFileInfo(reference.HelpFile).absolutePath()
                                     + QStringLiteral("/../share/pondrel/help"))));
        OfferOnlineDocumentation(webAddress);
        return;
    }
    // The page is an absolute path and travels as one argument, so neither blanks in the
    // folder nor anything in the topic can become an option or a second argument.
    QString error;
    if (!StartDetached(HelpViewerProgram(), {page}, error)) {
        MessageBoxes().ShowError(
            QStringLiteral("The help viewer \"%1\" could not be started to show %2: %3")
                .arg(HelpViewerProgram(), page, error));
        OfferOnlineDocumentation(webAddress);
    }
}

void SetHelpViewerProgram(const QString& program)
{
    ViewerProgram() = program;
}

QString HelpViewerProgram()
{
    return ViewerProgram();
}

void SetProcessStarterForTesting(TProcessStarter starter)
{
    ProcessStarter() = std::move(starter);
}
