#include "app/dmsystem.h"
#include "app/singleinstance.h"
#include "app/termination.h"
#include "app/widgetboxes.h"
#include "platform/errors.h"
#include "platform/messagebox.h"
#include "about/aboutbox.h"
#include "station/hbformmain.h"

#include <QApplication>
#include <QIcon>

#include <exception>
#include <memory>

namespace {

// Reports what escapes an event handler and carries on, so one failed action does not
// end the station.
class TPondrelApplication final : public QApplication {
public:
    using QApplication::QApplication;

    bool notify(QObject* receiver, QEvent* event) override
    {
        try {
            return QApplication::notify(receiver, event);
        } catch (const EPondrelError& error) {
            MessageBoxes().ShowError(error.Message());
        } catch (const std::exception& error) {
            MessageBoxes().ShowError(QString::fromLocal8Bit(error.what()));
        } catch (...) {
            MessageBoxes().ShowError(QStringLiteral("An unexpected error occurred."));
        }
        return false;
    }
};

} // namespace

int main(int argc, char* argv[])
{
    TPondrelApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("pondrel"));
    QApplication::setApplicationDisplayName(QStringLiteral("Pondrel 2.0"));
    QApplication::setDesktopFileName(QStringLiteral("pondrel"));
    QIcon windowIcon;
    for (const int size : {16, 32, 48, 64, 128, 256})
        windowIcon.addFile(QStringLiteral(":/icons/pondrel-%1.png").arg(size), QSize(size, size));
    QApplication::setWindowIcon(windowIcon);

    TWidgetMessageBoxes boxes;
    SetMessageBoxes(&boxes);
    struct TUninstallBoxes {
        ~TUninstallBoxes() { SetMessageBoxes(nullptr); }
    } uninstallBoxes;

    TSingleInstance instance;
    switch (instance.Start()) {
    case TSingleInstance::TStart::First:
        break;
    case TSingleInstance::TStart::AlreadyRunning:
        return 0;
    case TSingleInstance::TStart::Failed:
        MessageBoxes().ShowError(instance.ErrorText());
        return 1;
    }

    std::unique_ptr<TDMSystem> system;
    try {
        system = std::make_unique<TDMSystem>();
    } catch (const EPondrelError& error) {
        MessageBoxes().ShowError(
            QStringLiteral("The program's settings could not be loaded, so Pondrel stops.\n\n%1")
                .arg(error.Message()));
        return 1;
    }

    int result = 0;
    {
        TFormMain form;
        THbAboutBox aboutBox(&form); // made once at start-up and reused
        QObject::connect(&form, &TFormMain::AboutRequested, &aboutBox, [&aboutBox] { aboutBox.exec(); });
        // This build has no definition editor; say so where the operator looks for it.
        form.ActionSettings()->setEnabled(false);
        form.ActionSettings()->setToolTip(
            QStringLiteral("The scale definition editor is not part of this version. Scale "
                           "definitions are brought in with \"pondrel-registry import\"."));
        instance.SetRaiseHandler([&form] {
            form.setWindowState((form.windowState() & ~Qt::WindowMinimized) | Qt::WindowActive);
            form.show();
            form.raise();
            form.activateWindow();
        });
        // Ends the run as the operator's close would, even from inside an open dialog.
        TTerminationRequests termination([&form] {
            form.close();
            QCoreApplication::quit();
        });
        form.show(); // connects "Scale1" once on screen
        result = QApplication::exec();
        instance.SetRaiseHandler({});
    }
    // The window goes before the settings it reads through the definition records.
    system.reset();
    return result;
}
