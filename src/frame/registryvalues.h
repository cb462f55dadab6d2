#pragma once

#include "platform/registry.h"

#include <QString>
#include <QtGlobal>

// The program-wide settings, kept under <registry root>\MainWindow. One instance lives as
// long as the program; its only consumer is the scale definition record, which takes
// MeasurementSystem from it whenever a record is made.
class THbApplicationSettings : public TRegistry {
public:
    // Fills the defaults from the user's locale; touches no key.
    THbApplicationSettings();
    explicit THbApplicationSettings(const QString& storeFile);
    ~THbApplicationSettings() override;

    QString KeyPath;
    QString SortOrder = QStringLiteral("ASC");
    QString ShowToolTips = QStringLiteral("True");
    QString CurrentScale = QStringLiteral("Scale1");
    QString DefaultCompany;
    QString Version;
    QString Country;  // language name of the user's locale
    qint32 LCID = 0;  // its locale identifier; 1024 (the user's default locale) when no
                      // installed locale carries that name

    // 0 metric, any other value imperial. Held as its decimal text; a text that is not a
    // whole number reads as the user locale's default.
    int MeasurementSystem() const;
    void SetMeasurementSystem(int value);

    // Opens the MainWindow key, creating it when missing; raises ERegistryException when it
    // can be neither opened nor created.
    void OpenMainWindowKey();

    // Read-or-seed of every value on the open key, as one transaction: a value that exists
    // is read into its field, a missing one is written from the field. PreviewTickets is
    // deleted. Raises at a value of the wrong type (ERegistryException) or a MeasurementSystem
    // that is not a whole number (EConvertError); the fields read before it keep what was
    // read and the store is left as it was.
    void LoadApplicationSettings();
    // OpenMainWindowKey, LoadApplicationSettings, and the key closed again on every path.
    void ReadApplicationSettings();

private:
    void FillDefaults();

    QString FMeasurementSystem;
};

// Makes every new scale definition record take its MeasurementSystem from these settings:
// open the key, reload, close, read the getter. A failure there ends the record's
// construction. The settings must outlive the installation; destroying them uninstalls it.
void InstallApplicationSettings(THbApplicationSettings& settings);
