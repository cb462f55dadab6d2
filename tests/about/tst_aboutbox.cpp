#include "about/aboutbox.h"
#include "platform/verhelpers.h"
#include "support/guitestmain.h"

#include <QDir>
#include <QIcon>
#include <QLabel>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPushButton>
#include <QTimer>
#include <QtTest>

namespace {

// Sends a mouse event straight to the widget, so no window system sits in between.
void SendMouse(QWidget* widget, QEvent::Type type, const QPoint& local, Qt::MouseButtons buttons)
{
    const QPointF global = widget->mapToGlobal(QPointF(local));
    QMouseEvent event(type, QPointF(local), global, Qt::LeftButton, buttons, Qt::NoModifier);
    QApplication::sendEvent(widget, &event);
}

} // namespace

class TestAboutBox : public QObject {
    Q_OBJECT
private Q_SLOTS:
    // The program's own icon, as the box shows it in the station.
    void initTestCase() { QApplication::setWindowIcon(QIcon(QStringLiteral(":/icons/pondrel-32.png"))); }
    void cleanup() { SetVersionBlockAbsentForTesting(false); }

    void labelsFromVersionData_data()
    {
        QTest::addColumn<bool>("absent");
        QTest::addColumn<QString>("product");
        QTest::addColumn<QString>("copyright");
        QTest::addColumn<QString>("build");
        QTest::newRow("version block") << false << QStringLiteral("Pondrel 2.0")
                                       << QStringLiteral("Copyright (C) 2026 Holbrin. All rights reserved.")
                                       << QStringLiteral("Build 2.0.13.12");
        QTest::newRow("no version block")
            << true << QStringLiteral(" ") << QString() << QStringLiteral("Build ");
    }

    void labelsFromVersionData()
    {
        QFETCH(bool, absent);
        QFETCH(QString, product);
        QFETCH(QString, copyright);
        QFETCH(QString, build);
        SetVersionBlockAbsentForTesting(absent);

        THbAboutBox box;
        QCOMPARE(box.size(), QSize(372, 216));
        QCOMPARE(box.windowTitle(), QStringLiteral("About"));
        QVERIFY(!(box.windowFlags() & Qt::WindowCloseButtonHint));
        box.show();
        QVERIFY(QTest::qWaitForWindowExposed(&box));

        QCOMPARE(box.LabelProductName->text(), product);
        QCOMPARE(box.LabelLegalCopyright->text(), copyright);
        QVERIFY(box.LabelComments->text().isEmpty()); // the data has no Comments value
        QCOMPARE(box.LabelFileVersion->text(), build);
        QCOMPARE(box.VersionBlock() == nullptr, absent);

        // Centred on the white panel, the fraction dropped; the build line under the icon.
        for (QLabel* label : {box.LabelProductName, box.LabelLegalCopyright, box.LabelComments,
                              box.URLLabelHomePage})
            QCOMPARE(label->x(), (box.Panel1->width() - label->width()) / 2);
        QCOMPARE(box.LabelProductName->geometry(), QRect(57, 16, 258, 29));
        QCOMPARE(box.LabelFileVersion->pos(), QPoint(box.ImageAppIcon->x(), 19));
        QCOMPARE(box.ImageAppIcon->geometry(), QRect(16, 14, 32, 32));
        QVERIFY(!box.ImageAppIcon->pixmap().isNull());
        QCOMPARE(box.Panel2->geometry(), QRect(0, 216 - 49, 372, 49));
        QCOMPARE(box.OKButton->geometry(), QRect(283, 13, 75, 25));
        QVERIFY(box.OKButton->isDefault());
        QVERIFY(box.URLLabelHomePage->text().contains(QString::fromLatin1(HomePageAddress)));
        QVERIFY(box.URLLabelHomePage->width() >= 124);
        QVERIFY(box.URLLabelHomePage->width() >= box.URLLabelHomePage->sizeHint().width());

        if (!absent) {
            const QString dir = qEnvironmentVariable("PONDREL_ABOUT_RENDER_DIR");
            if (!dir.isEmpty()) {
                QDir().mkpath(dir);
                QVERIFY(box.grab().save(dir + QStringLiteral("/about.png")));
            }
        }
    }

    void versionBlockIsReadOnce()
    {
        THbAboutBox box;
        QVERIFY(box.VersionBlock() == nullptr);
        box.show();
        const TVersionBlock* first = box.VersionBlock();
        QVERIFY(first != nullptr);
        box.hide();
        box.show();
        QCOMPARE(box.VersionBlock(), first);
        QCOMPARE(box.ProductLine(), QStringLiteral("Pondrel 2.0"));
    }

    void okClosesWithAccepted()
    {
        THbAboutBox box;
        QTimer::singleShot(0, &box, [&box] { QTest::mouseClick(box.OKButton, Qt::LeftButton); });
        QCOMPARE(box.exec(), int(QDialog::Accepted));
        QVERIFY(!box.isVisible());

        // Enter reaches the default button; the box lives on for the next show.
        QTimer::singleShot(0, &box, [&box] { QTest::keyClick(&box, Qt::Key_Return); });
        QCOMPARE(box.exec(), int(QDialog::Accepted));
    }

    void dragOnBottomPanelMovesTheBox()
    {
        THbAboutBox box;
        box.show();
        QVERIFY(QTest::qWaitForWindowExposed(&box));
        const QPoint start = box.pos();
        const QPoint grip(150, 25);

        SendMouse(box.Panel2, QEvent::MouseButtonPress, grip, Qt::LeftButton);
        SendMouse(box.Panel2, QEvent::MouseMove, grip + QPoint(40, -30), Qt::LeftButton);
        QTRY_COMPARE(box.pos(), start + QPoint(40, -30));
        SendMouse(box.Panel2, QEvent::MouseButtonRelease, grip + QPoint(40, -30), Qt::NoButton);

        // Once released, moving the mouse no longer moves the box.
        const QPoint rest = box.pos();
        SendMouse(box.Panel2, QEvent::MouseMove, grip + QPoint(90, 10), Qt::NoButton);
        QCOMPARE(box.pos(), rest);
    }

    void iconClickShowsSystemInformation()
    {
        THbAboutBox box;
        box.show();
        QVERIFY(QTest::qWaitForWindowExposed(&box));
        QString shown;
        QTimer::singleShot(0, &box, [&shown] {
            auto* info = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (!info)
                return;
            shown = info->text();
            const QString dir = qEnvironmentVariable("PONDREL_ABOUT_RENDER_DIR");
            if (!dir.isEmpty())
                info->grab().save(dir + QStringLiteral("/sysinfo.png"));
            info->accept();
        });
        QTest::mouseClick(box.ImageAppIcon, Qt::LeftButton, {}, QPoint(16, 16));
        QCOMPARE(shown, THbAboutBox::SystemInformationText());
    }

    void systemInformationNamesQtAndSystem()
    {
        const QString text = THbAboutBox::SystemInformationText();
        QVERIFY(text.contains(QString::fromLatin1(qVersion())));
        QVERIFY(text.contains(QSysInfo::currentCpuArchitecture()));
        QVERIFY(text.contains(QSysInfo::kernelType()));
    }
};

PONDREL_GUI_TEST_MAIN(TestAboutBox)
#include "tst_aboutbox.moc"
