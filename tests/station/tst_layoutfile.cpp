#include "station/hbformmain.h"

#include "platform/userfolders.h"
#include "support/definitions.h"
#include "support/guitestmain.h"
#include "support/recordedboxes.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSettings>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

namespace {

// A started station: built, shown and past its show handling.
std::unique_ptr<TFormMain> StartedForm()
{
    auto form = std::make_unique<TFormMain>();
    form->show();
    if (!QTest::qWaitForWindowExposed(form.get()))
        return nullptr;
    QCoreApplication::processEvents();
    return form;
}

// The operator closes the window; the program then destroys it.
void Stop(std::unique_ptr<TFormMain>& form)
{
    form->close();
    form.reset();
}

void WriteLayoutFile(const QByteArray& text)
{
    QFile file(StationLayoutFile());
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(text);
}

} // namespace

class TestLayoutFile : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { StorePortlessScale1(); }
    void init() { QFile::remove(StationLayoutFile()); }

    void layoutFilePath_data()
    {
        QTest::addColumn<QString>("caption");
        QTest::addColumn<QString>("blocker");  // a plain file put where the folder would go
        QTest::addColumn<QString>("expected"); // relative to the data folder

        QTest::newRow("own folder") << "Pondrel 2.0" << "" << "Pondrel 2.0/ui.ini";
        QTest::newRow("folder cannot be made")
            << "Pondrel 2.0" << "Pondrel 2.0" << "Pondrel 2.0_ui.ini";
        QTest::newRow("empty caption") << "" << "" << "ui.ini";
    }
    void layoutFilePath()
    {
        QFETCH(QString, caption);
        QFETCH(QString, blocker);
        QFETCH(QString, expected);

        QTemporaryDir root;
        QVERIFY(root.isValid());
        // A new account: the data folder itself is not there yet.
        const QString data = root.filePath(QStringLiteral("share"));
        if (!blocker.isEmpty()) {
            QVERIFY(QDir().mkpath(data));
            QFile file(QDir(data).filePath(blocker));
            QVERIFY(file.open(QIODevice::WriteOnly));
        }
        const QString path = LayoutFilePath(data, caption);
        QCOMPARE(path, QDir(data).filePath(expected));
        QVERIFY(QFileInfo(path).dir().exists());
    }

    void firstStartWritesEveryProperty()
    {
        auto form = StartedForm();
        QVERIFY(form);
        QCOMPARE(form->windowTitle(), QStringLiteral("Pondrel 2.0"));
        QCOMPARE(form->LayoutFile(), StationLayoutFile());
        QVERIFY(form->cxRadioButton1()->isChecked());
        QVERIFY(form->cxCheckBoxUseDefaultPrinter()->isChecked());
        QCOMPARE(form->cxMemoLocation()->toPlainText(), QString());
        QCOMPARE(form->cxTextEditOperator()->text(), QString());
        QCOMPARE(form->cxSpinEditMarginLeft()->value(), 0);
        QCOMPARE(form->cxSpinEditMarginTop()->value(), 0);
        QCOMPARE(QApplication::focusWidget(), form->cxButtonAxle());
        QVERIFY(!QFile::exists(StationLayoutFile()));
        Stop(form);

        QSettings file(StationLayoutFile(), QSettings::IniFormat);
        const QList<std::pair<QString, QString>> expected = {
            {"FormMain/Caption", "Pondrel 2.0"},
            {"cxButtonAxle/Caption", "&Axle"},
            {"cxButtonPrint/Caption", "Print"},
            {"cxButtonPrintAndReset/Caption", "&Print and Reset"},
            {"cxButtonReset/Caption", "&Reset"},
            {"cxButtonScaleSettings/Caption", "Scale Settings..."},
            {"cxButtonAbout/Caption", "About..."},
            {"cxCheckBoxUseDefaultPrinter/Caption", "Use Default Printer"},
            {"cxCheckBoxUseDefaultPrinter/Checked", "true"},
            {"cxRadioButton1/Caption", "Axle Weight = Scale Weight"},
            {"cxRadioButton1/Checked", "true"},
            {"cxRadioButton2/Caption", "Axle Weight =  Total - Scale Weight"},
            {"cxRadioButton2/Checked", "false"},
            {"cxSpinEditMarginLeft/Value", "0"},
            {"cxSpinEditMarginTop/Value", "0"},
            {"cxTextEdit1/Text", ""},
            {"cxTextEditOperator/Text", ""},
            {"LayoutGroupAxleWeights/CaptionOptions.Text", "Axle Weights"},
            {"LayoutItemAxleCount/CaptionOptions.Text", "Axle Count"},
            {"LayoutItemAxleWeight/CaptionOptions.Text", "Axle Weight"},
            {"LayoutItemLocation/CaptionOptions.Text", "Location:"},
            {"LayoutItemScaleWeight/CaptionOptions.Text", "Scale Weight"},
            {"LayoutItemWeighedBy/CaptionOptions.Text", "Weighed by:"},
            {"LayoutItemTotal/CaptionOptions.Text", "Total"},
        };
        for (const auto& [key, value] : expected) {
            QVERIFY2(file.contains(key), qPrintable(key));
            QCOMPARE(file.value(key).toString(), value);
        }
    }

    // What the operator enters is there again at the next start, and stays the same over
    // many starts.
    void operatorEntriesSurviveRestarts()
    {
        auto form = StartedForm();
        QVERIFY(form);
        form->cxMemoLocation()->setPlainText(QStringLiteral("Gravel pit\nNorth gate, \"bay\" 2"));
        form->cxTextEditOperator()->setText(QStringLiteral("J. Smith"));
        form->cxRadioButton2()->click();
        form->cxCheckBoxUseDefaultPrinter()->setChecked(false);
        Stop(form);

        for (int start = 1; start <= 3; ++start) {
            form = StartedForm();
            QVERIFY(form);
            QCOMPARE(form->cxMemoLocation()->toPlainText(),
                     QStringLiteral("Gravel pit\nNorth gate, \"bay\" 2"));
            QCOMPARE(form->TicketInput().LocationLines,
                     QStringList({QStringLiteral("Gravel pit"),
                                  QStringLiteral("North gate, \"bay\" 2")}));
            QCOMPARE(form->cxTextEditOperator()->text(), QStringLiteral("J. Smith"));
            QVERIFY(form->cxRadioButton2()->isChecked());
            QVERIFY(!form->cxRadioButton1()->isChecked());
            QVERIFY(!form->cxCheckBoxUseDefaultPrinter()->isChecked());
            Stop(form);
        }
    }

    // An installation relabels the window and sets the ticket margins by editing the file;
    // entries that are missing or make no sense leave the form's values.
    void handEditedFile()
    {
        WriteLayoutFile("[FormMain]\n"
                        "Caption=Truck scale 1\n"
                        "[cxButtonAxle]\n"
                        "Caption=Capture, then drive on\n"
                        "[LayoutItemWeighedBy]\n"
                        "CaptionOptions.Text=Weigher:\n"
                        "[LayoutGroupAxleWeights]\n"
                        "CaptionOptions.Text=Axles\n"
                        "[cxSpinEditMarginLeft]\n"
                        "Value=25\n"
                        "[cxSpinEditMarginTop]\n"
                        "Value=forty\n"
                        "[cxCheckBoxUseDefaultPrinter]\n"
                        "Checked=maybe\n"
                        "[cxRadioButton2]\n"
                        "Checked=true\n");
        auto form = StartedForm();
        QVERIFY(form);
        QCOMPARE(form->windowTitle(), QStringLiteral("Truck scale 1"));
        QCOMPARE(form->cxButtonAxle()->text(), QStringLiteral("Capture, then drive on"));
        QCOMPARE(form->findChild<QLabel*>(QStringLiteral("LayoutItemWeighedBy"))->text(),
                 QStringLiteral("Weigher:"));
        QCOMPARE(form->findChild<QGroupBox*>(QStringLiteral("LayoutGroupAxleWeights"))->title(),
                 QStringLiteral("Axles"));
        QCOMPARE(form->TicketInput().MarginLeft, 25);
        QCOMPARE(form->TicketInput().MarginTop, 0);
        QVERIFY(form->cxCheckBoxUseDefaultPrinter()->isChecked());
        QVERIFY(form->cxRadioButton2()->isChecked());
        // Untouched by the file.
        QCOMPARE(form->findChild<QLabel*>(QStringLiteral("LayoutItemLocation"))->text(),
                 QStringLiteral("Location:"));
        // The file stays where the version caption put it, whatever caption it holds.
        QCOMPARE(form->LayoutFile(), StationLayoutFile());
        Stop(form);
        QCOMPARE(QSettings(StationLayoutFile(), QSettings::IniFormat).value("FormMain/Caption").toString(),
                 QStringLiteral("Truck scale 1"));
    }

    void unwritableFileIsReported()
    {
        TRecordedBoxes boxes;
        QVERIFY(QDir().mkpath(StationLayoutFile())); // a folder where the file should be
        auto form = StartedForm();
        QVERIFY(form);
        Stop(form);
        QCOMPARE(boxes.Errors.size(), 1);
        QVERIFY2(boxes.Errors.first().contains(StationLayoutFile()), qPrintable(boxes.Errors.first()));
        QVERIFY(QDir().rmdir(StationLayoutFile()));
    }
};

PONDREL_GUI_TEST_MAIN(TestLayoutFile)
#include "tst_layoutfile.moc"
