#include "station/hbformmain.h"

#include "definitions/scalesettings.h"
#include "platform/errors.h"
#include "platform/messagebox.h"
#include "platform/scalepacketevent.h"
#include "platform/userfolders.h"
#include "platform/verhelpers.h"
#include "scale/displayweight.h"
#include "scale/dmscale.h"
#include "scale/packethelpers.h"
#include "widgets/calculator.h"
#include "widgets/leddisplay.h"
#include "widgets/tcolor.h"

#include <QAction>
#include <QCheckBox>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QGuiApplication>
#include <QFileDialog>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeySequence>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QShowEvent>
#include <QSpinBox>
#include <QTextBlock>
#include <QTextDocument>
#include <QVBoxLayout>

#include <limits>

namespace {

const QString ScaleWeightHint = QStringLiteral("Scale weight: ");

QString AskPdfPath(QWidget* parent)
{
    return QFileDialog::getSaveFileName(parent, QStringLiteral("Print to PDF"),
                                        QDir::home().filePath(QStringLiteral("ticket.pdf")),
                                        QStringLiteral("PDF files (*.pdf)"));
}

TLedDisplay* NewDisplay(const QString& name, const QString& caption, QWidget* parent)
{
    auto* display = new TLedDisplay(parent);
    display->setObjectName(name);
    display->SetCaption(caption);
    display->setMinimumHeight(56);
    return display;
}

} // namespace

QString StationLayoutFile()
{
    return LayoutFilePath(ApplicationDataFolder(), CaptionText());
}

TFormMain::TFormMain(QWidget* parent)
    : QMainWindow(parent),
      FDMScale(std::make_unique<TDMScale>()),
      FCurrentDefinition(std::make_unique<THbScaleSettings>())
{
    FPdfPathAsker = AskPdfPath;
    setObjectName(QStringLiteral("FormMain"));
    setWindowTitle(CaptionText());
    setFont(QFont(QStringLiteral("Tahoma"), 8));

    BuildActions();
    BuildLayout();
    resize(784, 562);
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());

    F_Timer1.setObjectName(QStringLiteral("_Timer1"));
    F_Timer2.setObjectName(QStringLiteral("_Timer2"));
    F_Timer1.setInterval(TimerIntervalMs);
    F_Timer2.setInterval(TimerIntervalMs);
    connect(&F_Timer1, &QTimer::timeout, this, &TFormMain::Timer1Timer);
    connect(&F_Timer2, &QTimer::timeout, this, &TFormMain::Timer2Timer);
    F_Timer1.start();
    F_Timer2.start();

    // The path comes from the version caption, before the file may replace the caption.
    FPropertiesStore.SetStorageName(StationLayoutFile());
    KeepInLayoutFile();
    FPropertiesStore.Restore();
}

TFormMain::~TFormMain()
{
    // Nothing of the scale may run once its objects are gone, not even inside the error
    // box below.
    F_Timer1.stop();
    F_Timer2.stop();
    DisconnectScale();
    FDMScale->SetListenerWindow(nullptr);
    QCoreApplication::removePostedEvents(this, TScalePacketEvent::EventType);
    FDMScale.reset();
    FCurrentDefinition.reset();

    const QString error = FPropertiesStore.Store();
    if (!error.isEmpty())
        MessageBoxes().ShowError(error);
}

void TFormMain::KeepInLayoutFile()
{
    const QString caption = QStringLiteral("Caption");
    const QString captionOptions = QStringLiteral("CaptionOptions.Text");
    for (QPushButton* button : findChildren<QPushButton*>())
        if (button->objectName().startsWith(QLatin1String("cxButton")))
            FPropertiesStore.AddProperty(button, caption, "text");
    for (QAbstractButton* box : {static_cast<QAbstractButton*>(FCheckBoxUseDefaultPrinter),
                                 static_cast<QAbstractButton*>(FRadioButton1),
                                 static_cast<QAbstractButton*>(FRadioButton2)}) {
        FPropertiesStore.AddProperty(box, caption, "text");
        FPropertiesStore.AddProperty(box, QStringLiteral("Checked"), "checked");
    }
    FPropertiesStore.AddProperty(FSpinEditMarginLeft, QStringLiteral("Value"), "value");
    FPropertiesStore.AddProperty(FSpinEditMarginTop, QStringLiteral("Value"), "value");
    FPropertiesStore.AddProperty(FTextEdit1, QStringLiteral("Text"), "text");
    FPropertiesStore.AddProperty(FTextEditOperator, QStringLiteral("Text"), "text");
    FPropertiesStore.AddProperty(FGroupAxleWeights, captionOptions, "title");
    for (QLabel* item : findChildren<QLabel*>())
        if (item->objectName().startsWith(QLatin1String("LayoutItem")))
            FPropertiesStore.AddProperty(item, captionOptions, "text");
    FPropertiesStore.AddProperty(this, caption, "windowTitle");
}

void TFormMain::showEvent(QShowEvent* event)
{
    QMainWindow::showEvent(event);
    // Queued, so that a port error box finds the window already on screen.
    if (!event->spontaneous())
        QTimer::singleShot(0, this, &TFormMain::FormShow);
}

void TFormMain::FormShow()
{
    try {
        ConnectScale(QStringLiteral("Scale1"));
    } catch (const EPondrelError& error) {
        // The window works without a scale; the display says the port is closed.
        MessageBoxes().ShowError(error.Message());
    }
    FButtonAxle->setFocus();
    QString location = FTextEdit1->text();
    // The carrier ends every line with a break; the last one does not open a new line.
    if (location.endsWith(u'\n'))
        location.chop(1);
    FMemoLocation->setPlainText(location);
}

void TFormMain::closeEvent(QCloseEvent* event)
{
    FormClose();
    QMainWindow::closeEvent(event);
}

void TFormMain::FormClose()
{
    QString location;
    for (const QString& line : LocationLines())
        location += line + u'\n';
    FTextEdit1->setText(location);
}

QStringList TFormMain::LocationLines() const
{
    // One line per paragraph of the memo, as it shows them; an empty memo has none.
    QStringList lines;
    const QTextDocument* document = FMemoLocation->document();
    if (!document->isEmpty())
        for (QTextBlock block = document->begin(); block.isValid(); block = block.next())
            lines << block.text();
    return lines;
}

void TFormMain::BuildActions()
{
    auto newAction = [this](const char* name, const QString& caption) {
        auto* action = new QAction(caption, this);
        action->setObjectName(QLatin1String(name));
        action->setShortcutContext(Qt::WindowShortcut);
        addAction(action); // shortcuts work without a menu
        return action;
    };
    FActionAxle = newAction("ActionAxle", QStringLiteral("&Axle"));
    FActionAxle->setShortcut(QKeySequence(Qt::Key_Space));
    FActionTotal = newAction("ActionTotal", QStringLiteral("Print"));
    FActionPrint = newAction("ActionPrint", QStringLiteral("&Print and Reset"));
    FActionPrint->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_P));
    FActionPrintToPdf = newAction("ActionPrintToPdf", QStringLiteral("Print to PDF..."));
    FActionReset = newAction("ActionReset", QStringLiteral("&Reset"));
    FActionReset->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_R));
    FActionSettings = newAction("ActionSettings", QStringLiteral("Scale Settings..."));
    FActionAbout = newAction("ActionAbout", QStringLiteral("About..."));

    connect(FActionAxle, &QAction::triggered, this, &TFormMain::ActionAxleExecute);
    connect(FActionReset, &QAction::triggered, this, &TFormMain::ActionResetExecute);
    connect(FActionTotal, &QAction::triggered, this, &TFormMain::ActionTotalExecute);
    connect(FActionPrint, &QAction::triggered, this, &TFormMain::ActionPrintExecute);
    connect(FActionPrintToPdf, &QAction::triggered, this, &TFormMain::ActionPrintToPdfExecute);
    connect(FActionSettings, &QAction::triggered, this, &TFormMain::SettingsRequested);
    connect(FActionAbout, &QAction::triggered, this, &TFormMain::AboutRequested);
}

void TFormMain::BuildLayout()
{
    auto* central = new QWidget(this);
    auto* columns = new QHBoxLayout(central);

    // Left column: displays, the operator's entries and the mode.
    auto* left = new QVBoxLayout;
    auto addCaptioned = [&](const char* itemName, const QString& caption, QWidget* control,
                            int stretch = 0) {
        auto* label = new QLabel(caption, central);
        label->setObjectName(QLatin1String(itemName));
        label->setBuddy(control);
        left->addWidget(label);
        left->addWidget(control, stretch);
    };
    FDisplayAxleWeight = NewDisplay(QStringLiteral("RzLEDDisplayAxleWeight"),
                                    QStringLiteral("0"), central);
    FDisplayTotal = NewDisplay(QStringLiteral("RzLEDDisplayTotal"), QStringLiteral("0"), central);
    FDisplayScaleWeight = NewDisplay(QStringLiteral("RzLEDDisplayScaleWeight"), QString(), central);
    FDisplayAxleCount = NewDisplay(QStringLiteral("RzLEDDisplayAxleCount"), QStringLiteral("0"),
                                   central);
    addCaptioned("LayoutItemAxleWeight", QStringLiteral("Axle Weight"), FDisplayAxleWeight);
    addCaptioned("LayoutItemTotal", QStringLiteral("Total"), FDisplayTotal);
    addCaptioned("LayoutItemScaleWeight", QStringLiteral("Scale Weight"), FDisplayScaleWeight);
    addCaptioned("LayoutItemAxleCount", QStringLiteral("Axle Count"), FDisplayAxleCount);

    FMemoLocation = new QPlainTextEdit(central);
    FMemoLocation->setObjectName(QStringLiteral("cxMemoLocation"));
    FMemoLocation->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    FMemoLocation->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    FMemoLocation->setLineWrapMode(QPlainTextEdit::NoWrap);
    FMemoLocation->setTabChangesFocus(true);
    FMemoLocation->installEventFilter(this);
    addCaptioned("LayoutItemLocation", QStringLiteral("Location:"), FMemoLocation, 1);

    FTextEditOperator = new QLineEdit(central);
    FTextEditOperator->setObjectName(QStringLiteral("cxTextEditOperator"));
    FTextEditOperator->installEventFilter(this);
    addCaptioned("LayoutItemWeighedBy", QStringLiteral("Weighed by:"), FTextEditOperator);

    FRadioButton1 = new QRadioButton(QStringLiteral("Axle Weight = Scale Weight"), central);
    FRadioButton1->setObjectName(QStringLiteral("cxRadioButton1"));
    FRadioButton1->setChecked(true);
    FRadioButton2 =
        new QRadioButton(QStringLiteral("Axle Weight =  Total - Scale Weight"), central);
    FRadioButton2->setObjectName(QStringLiteral("cxRadioButton2"));
    // A change of mode starts a new weighing.
    connect(FRadioButton1, &QRadioButton::clicked, this, &TFormMain::ActionResetExecute);
    connect(FRadioButton2, &QRadioButton::clicked, this, &TFormMain::ActionResetExecute);
    left->addWidget(FRadioButton1);
    left->addWidget(FRadioButton2);

    FCheckBoxUseDefaultPrinter = new QCheckBox(QStringLiteral("Use Default Printer"), central);
    FCheckBoxUseDefaultPrinter->setObjectName(QStringLiteral("cxCheckBoxUseDefaultPrinter"));
    FCheckBoxUseDefaultPrinter->setChecked(true);
    left->addWidget(FCheckBoxUseDefaultPrinter);

    // Middle column: the captured axles.
    auto* group = new QGroupBox(QStringLiteral("Axle Weights"), central);
    group->setObjectName(QStringLiteral("LayoutGroupAxleWeights"));
    FGroupAxleWeights = group;
    auto* groupLayout = new QVBoxLayout(group);
    FAxleList = new QListWidget(group);
    FAxleList->setObjectName(QStringLiteral("AxleList"));
    FAxleList->setFocusPolicy(Qt::ClickFocus); // Tab skips it
    FAxleList->setEditTriggers(QAbstractItemView::NoEditTriggers);
    groupLayout->addWidget(FAxleList);

    // Right column: the actions and the calculator.
    auto* right = new QVBoxLayout;
    auto addButton = [&](const char* name, QAction* action) {
        auto* button = new QPushButton(action->text(), central);
        button->setObjectName(QLatin1String(name));
        button->setAutoDefault(false);
        connect(button, &QPushButton::clicked, action, &QAction::trigger);
        // The button stands for its action: it is usable when the action is.
        connect(action, &QAction::changed, button, [button, action] {
            button->setEnabled(action->isEnabled());
            button->setToolTip(action->toolTip());
        });
        right->addWidget(button);
        return button;
    };
    FButtonAxle = addButton("cxButtonAxle", FActionAxle);
    // Start on the Axle button, so Space captures until the operator enters a text field.
    FButtonAxle->setFocus();
    addButton("cxButtonPrint", FActionTotal);
    addButton("cxButtonPrintAndReset", FActionPrint);
    addButton("cxButtonPrintToPdf", FActionPrintToPdf);
    addButton("cxButtonReset", FActionReset);
    right->addStretch(1);
    FCalculator = new TCalculator(central);
    FCalculator->setObjectName(QStringLiteral("RzCalculator1"));
    right->addWidget(FCalculator);
    addButton("cxButtonScaleSettings", FActionSettings);
    addButton("cxButtonAbout", FActionAbout);

    columns->addLayout(left, 3);
    columns->addWidget(group, 2);
    columns->addLayout(right, 2);

    // Kept by the layout file and the ticket, not shown.
    FSpinEditMarginTop = new QSpinBox(central);
    FSpinEditMarginTop->setObjectName(QStringLiteral("cxSpinEditMarginTop"));
    FSpinEditMarginLeft = new QSpinBox(central);
    FSpinEditMarginLeft->setObjectName(QStringLiteral("cxSpinEditMarginLeft"));
    FTextEdit1 = new QLineEdit(central);
    FTextEdit1->setObjectName(QStringLiteral("cxTextEdit1"));
    for (QWidget* hidden : {static_cast<QWidget*>(FSpinEditMarginTop),
                            static_cast<QWidget*>(FSpinEditMarginLeft),
                            static_cast<QWidget*>(FTextEdit1)})
        hidden->hide();
    FSpinEditMarginTop->setRange(0, 10000);
    FSpinEditMarginLeft->setRange(0, 10000);

    setCentralWidget(central);
}

bool TFormMain::event(QEvent* event)
{
    if (event->type() != TScalePacketEvent::EventType)
        return QMainWindow::event(event);
    WMScalePacket(static_cast<TScalePacketEvent&>(*event));
    return true;
}

bool TFormMain::eventFilter(QObject* watched, QEvent* event)
{
    if ((event->type() == QEvent::FocusIn || event->type() == QEvent::FocusOut)
        && (watched == FMemoLocation || watched == FTextEditOperator))
        TextEntryFocusChanged(static_cast<QWidget*>(watched));
    return QMainWindow::eventFilter(watched, event);
}

void TFormMain::TextEntryFocusChanged(QWidget* entry)
{
    if (entry->hasFocus())
        FActionAxle->setShortcut(QKeySequence());
    else
        FActionAxle->setShortcut(QKeySequence(Qt::Key_Space));
}

void TFormMain::WMScalePacket(TScalePacketEvent& event)
{
    // Taking the text frees it on every path below.
    const std::unique_ptr<QString> packet = event.TakeText();
    if (QCoreApplication::closingDown() || !packet || !FCurrentDefinition)
        return;
    // Without a decoder the watchdog is left running, so "No Data" follows.
    if (!CurrentDecoder)
        return;

    QString display;
    ReadingStatus status = 0;
    CurrentDecoder(*packet, display, status, *FCurrentDefinition);

    FDisplayScaleWeight->SetCaption(display);
    FDisplayScaleWeight->setToolTip(ScaleWeightHint + display);
    const THbScaleSettings& definition = *FCurrentDefinition;
    const bool inMotion = (status & sfMotion) != 0 && definition.CheckMotion != 0;
    FDisplayScaleWeight->SetLitColor(
        ColorFromTColor(inMotion ? definition.PixelColourMotion : definition.PixelColourOn));

    if (const std::optional<qint32> weight = StationWeightFromDisplay(display)) {
        const qint64 axle = FRadioButton1->isChecked() ? qint64(*weight)
                                                       : qint64(*weight) - FTotalWeight;
        // A difference beyond 32 bits needs a reading near -2^31: no real scale gives one,
        // so it is treated like a text that is not a weight.
        if (axle >= std::numeric_limits<qint32>::min()
            && axle <= std::numeric_limits<qint32>::max()) {
            FScaleWeight = *weight;
            FAxleValue = static_cast<qint32>(axle);
            FDisplayAxleWeight->SetCaption(QString::number(FAxleValue));
        }
    }

    F_Timer1.start(); // restarts the watchdog
}

void TFormMain::Timer1Timer()
{
    FDisplayScaleWeight->SetLitColor(ColorFromTColor(FCurrentDefinition->PixelColourError));
    TSerialComponent& port = FDMScale->nrComm1();
    const QString caption = port.IsOpen()
        ? QStringLiteral("No Data")
        : QStringLiteral("Port ") + ComPortToStr(port.ComPort()) + QStringLiteral(" is closed");
    FDisplayScaleWeight->SetCaption(caption);
    FDisplayScaleWeight->setToolTip(ScaleWeightHint + caption);
}

void TFormMain::Timer2Timer()
{
    TSerialComponent& port = FDMScale->nrComm1();
    if (!port.IsOpen())
        return;
    const QByteArray command = PollCommandForScaleType(FCurrentDefinition->ScaleType).toLatin1();
    if (command.isEmpty())
        return;
    try {
        port.Send(command);
    } catch (const EPondrelError& error) {
        // Said once per connection: a box every second would bury the window, and the
        // watchdog keeps showing that no data comes.
        if (!FPollErrorShown) {
            FPollErrorShown = true;
            MessageBoxes().ShowError(error.Message());
        }
    }
}

void TFormMain::ActionAxleExecute()
{
    if (FAxleValue <= 0)
        return;
    constexpr qint32 Max = std::numeric_limits<qint32>::max();
    if (FTotalWeight > Max - FAxleValue) {
        MessageBoxes().ShowError(
            QStringLiteral("The axle weight %1 was not added: the total would exceed %2, the "
                           "largest total a ticket can show. Print this weighing and reset it, "
                           "then capture the axle again.")
                .arg(FAxleValue)
                .arg(Max));
        return;
    }
    if (FAxleCount == Max) {
        MessageBoxes().ShowError(
            QStringLiteral("The axle was not added: this weighing already has %1 axles, the "
                           "most it can count. Print this weighing and reset it, then capture "
                           "the axle again.")
                .arg(Max));
        return;
    }
    FTotalWeight += FAxleValue;
    FAxleCount += 1;
    ShowTotals();
    FAxleList->addItem(QString::number(FAxleValue));
}

void TFormMain::ActionResetExecute()
{
    FTotalWeight = 0;
    FAxleCount = 0;
    ShowTotals();
    FAxleList->clear();
}

void TFormMain::ShowTotals()
{
    FDisplayTotal->SetCaption(QString::number(FTotalWeight));
    FDisplayAxleCount->SetCaption(QString::number(FAxleCount));
}

bool TFormMain::ConnectScale(const QString& name)
{
    TSerialComponent& port = FDMScale->nrComm1();
    if (name.isEmpty())
        return port.IsOpen();

    THbScaleSettings& definition = *FCurrentDefinition;
    definition.ReadDefinition(name);

    // OpenScale reports its own port errors; anything else here leaves the display as far
    // as it got, as the caller has nothing better to show.
    try {
        DisconnectScale();
        FDisplayScaleWeight->SetLitColor(ColorFromTColor(definition.PixelColourOn));
        FDisplayScaleWeight->SetBackgroundColor(ColorFromTColor(definition.BackgroundColour));
        SelectDecoder(definition);
        F_Timer2.stop();
        SetDecoderMeasurementSystem(definition.MeasurementSystem());
        FPollErrorShown = false;
        FDMScale->OpenScale(name, this);
        if (port.IsOpen()) {
            bool ok = false;
            const int timeOut = definition.TimeOut().trimmed().toInt(&ok);
            FPacketTimeOut = ok ? timeOut : DefaultPacketTimeOutMs;
            if (!PollCommandForScaleType(definition.ScaleType).isEmpty())
                F_Timer2.start();
        }
    } catch (const EPondrelError&) {
    }
    return port.IsOpen();
}

bool TFormMain::DisconnectScale()
{
    F_Timer2.stop();
    FDMScale->CloseScale();
    TSerialComponent& port = FDMScale->nrComm1();
    const QString caption = ComPortToStr(port.ComPort()) + QStringLiteral(" is closed");
    FDisplayScaleWeight->SetLitColor(ColorFromTColor(FCurrentDefinition->PixelColourError));
    FDisplayScaleWeight->SetCaption(caption);
    FDisplayScaleWeight->setToolTip(caption);
    return !port.IsOpen();
}

TTicketInput TFormMain::TicketInput() const
{
    TTicketInput input;
    input.LocationLines = LocationLines();
    for (int row = 0; row < FAxleList->count(); ++row)
        input.AxleWeights << FAxleList->item(row)->text();
    input.TotalWeight = FTotalWeight;
    input.MeasurementSystem = FCurrentDefinition->MeasurementSystem();
    input.MarginLeft = FSpinEditMarginLeft->value();
    input.MarginTop = FSpinEditMarginTop->value();
    input.Clock = QDateTime::currentDateTime();
    return input;
}

TPrintResult TFormMain::ActionTotalExecute()
{
    return PrintTicket(TicketInput(), FCheckBoxUseDefaultPrinter->isChecked(),
                       FPrinterChoice ? *FPrinterChoice : SystemPrinterChoice());
}

TPrintResult TFormMain::ActionPrintExecute()
{
    const TPrintResult result = ActionTotalExecute();
    if (result == TPrintResult::Printed)
        ActionResetExecute();
    return result;
}

TPrintResult TFormMain::ActionPrintToPdfExecute()
{
    const QString path = FPdfPathAsker ? FPdfPathAsker(this) : QString();
    if (path.isEmpty())
        return TPrintResult::Cancelled;
    return PrintTicketToPdf(path, TicketInput());
}
