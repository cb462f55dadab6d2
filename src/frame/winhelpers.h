#pragma once

#include "frame/localeids.h"
#include "platform/localeinfo.h" // UserMeasurementText, DefaultMeasurementSystem

#include <QList>
#include <QString>
#include <QStringList>
#include <QtGlobal>

#include <functional>
#include <optional>

// Locale queries and the help launcher. Main thread only.

// Locale information numbers the program asks for.
constexpr int LOCALE_SLANGUAGE = 2; // the language's full name: "English (United States)"
constexpr int LOCALE_IMEASURE = 13; // the measurement system: "0" metric, "1" U.S.

// The locale information text, empty when there is none: for an information number other
// than the two above, or an identifier that names no known locale. 1024 and 2048 stand for
// the user's locale, 127 for the invariant (C) locale.
//
// The C/POSIX locale, which stands for no language, is the invariant locale here: its name
// is "Invariant Language (Invariant Country)" and it measures in metric units.
QString GetLocaleText(quint32 lcid, int info);

// GetLocaleText(LOCALE_USER_DEFAULT, LOCALE_SLANGUAGE).
QString UserLanguageName();

// The language name of a locale as GetLocaleText gives it: language and territory, with the
// script between them where the locale does not use the usual one ("Serbian (Latin, Serbia)").
QString LanguageName(const QLocale& locale);

// The program-wide list of installed locales: the locales Qt has data for that carry a
// Windows locale identifier, by language name (case-insensitive), duplicate names kept.
struct TLocaleEntry {
    QString Name;
    quint16 Lcid;
};
using TLocaleList = QList<TLocaleEntry>;

void BuildLocaleList();
// Empty until the first BuildLocaleList.
const TLocaleList& LocaleList();
// The identifier of the first entry of LocaleList whose name equals name (case-insensitive,
// as the list is ordered); nothing when no entry carries it.
std::optional<quint16> FindLocaleId(const QString& name);

// The help file the application's help topics live in.
inline QString ApplicationHelpFile() { return QStringLiteral("tallyon15.chm"); }

// A help reference in the form folder + file + "::/" + topic. Topics use backslashes as
// folder separators ("Scale\Scale_Definition_Editor.htm").
struct THelpReference {
    QString HelpFile; // folder + file
    QString Topic;
    QString Text() const { return HelpFile + QStringLiteral("::/") + Topic; }
};

// An empty folder is the program's folder with its trailing separator; an empty file is
// ApplicationHelpFile().
THelpReference MakeHelpReference(const QString& folder, const QString& file, const QString& topic);

// The help file's pages are shipped as HTML, not compiled into the file: the page of a
// topic is <help folder>/<topic with backslashes as '/'>, where the help folder is the
// first that exists of
//   <folder of the help file>/../share/pondrel/help   (installed: bin/ beside share/)
//   the build tree's copy of the pages                (running from the build folder)
// Empty when the page is in neither, or the topic would lead out of the help folder.
QString HelpPagePath(const THelpReference& reference);

// Opens a help topic: starts the help viewer on the topic's page, passing the page as one
// argument (never through a shell). When the page is missing or the viewer cannot start,
// the reason is shown in an error box and, when webAddress is not empty, the user is asked
// whether to view the on-line documentation, which opens in the desktop's browser.
void ShowHelpTopic(const QString& folder, const QString& file, const QString& topic,
                   const QString& webAddress);

// The viewer program, found on PATH when given without a folder; "xdg-open" by default.
void SetHelpViewerProgram(const QString& program);
QString HelpViewerProgram();

// For tests: replaces starting a detached process. The starter returns true when it
// started, else false with the reason in error. Empty restores the real start.
using TProcessStarter =
    std::function<bool(const QString& program, const QStringList& arguments, QString& error)>;
void SetProcessStarterForTesting(TProcessStarter starter);
