#pragma once

#include <QMainWindow>
#include <QString>
#include <QTimer>
#include <QtGlobal>

#include <functional>
#include <memory>

#include "ticket/ticket.h"
#include "widgets/propertiesstore.h"

class QAction;
class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPlainTextEdit;
class QPushButton;
class QRadioButton;
class QSpinBox;
class TCalculator;
class TDMScale;
class THbScaleSettings;
class TLedDisplay;
class TScalePacketEvent;

// Where the window keeps its layout file: LayoutFilePath in the user's data folder under
// the version caption.
QString StationLayoutFile();

// The weighing station's window: the live weight from the indicator, axle capture with its
// list, total and count, and the operator's entries for the ticket. Main thread only.
//
// The timers keep their form names as object names ("_Timer1", "_Timer2"); in C++ they are
// Timer1()/Timer2(), since a leading underscore and capital is reserved to the compiler.
class TFormMain : public QMainWindow {
    Q_OBJECT
public:
    // Restores the layout file's values once the controls exist.
    explicit TFormMain(QWidget* parent = nullptr);
    // Disconnects, frees the data module and the definition, then writes the layout file.
    ~TFormMain() override;

    // Connects "Scale1", puts the focus on the Axle button and the kept location text into
    // the memo. Runs just after each show, once the window is on screen.
    void FormShow();
    // Hands the location memo's text to its carrier, for the layout file.
    void FormClose();
    const QString& LayoutFile() const { return FPropertiesStore.StorageName(); }

    // Loads the named definition into CurrentDefinition() (store errors reach the caller),
    // selects its decoder and unit and opens its port with this window as listener. An
    // empty name changes nothing. Returns whether the port is open.
    bool ConnectScale(const QString& name);
    // Stops polling, closes the port and shows "COMn is closed". Returns whether the port
    // is closed.
    bool DisconnectScale();

    void ActionAxleExecute();
    void ActionResetExecute();
    // "Print": the ticket of the weighing, which stays.
    TPrintResult ActionTotalExecute();
    // "Print and Reset": a new weighing starts only once the ticket is printed.
    TPrintResult ActionPrintExecute();
    // "Print to PDF": the ticket to a file the operator names; no name, nothing written.
    TPrintResult ActionPrintToPdfExecute();

    // The ticket as the window stands now.
    TTicketInput TicketInput() const;

    // Where Print sends the ticket (not owned; nullptr is the system's choice). For tests.
    void SetPrinterChoice(TPrinterChoice* choice) { FPrinterChoice = choice; }
    // Asks for the PDF file's name; an empty answer cancels. The window's own asks with a
    // file dialog.
    using TPdfPathAsker = std::function<QString(QWidget* parent)>;
    void SetPdfPathAsker(TPdfPathAsker asker) { FPdfPathAsker = std::move(asker); }

    // The packet message from the capture.
    void WMScalePacket(TScalePacketEvent& event);
    // No-data watchdog, restarted by every decoded packet.
    void Timer1Timer();
    // Poll of the indicators that answer only when asked (types 13 and 14).
    void Timer2Timer();

    static constexpr int TimerIntervalMs = 1000;
    static constexpr int DefaultPacketTimeOutMs = 5000;

    qint32 ScaleWeight() const { return FScaleWeight; }
    qint32 AxleValue() const { return FAxleValue; }
    qint32 TotalWeight() const { return FTotalWeight; }
    qint32 AxleCount() const { return FAxleCount; }
    // The port settings' TimeOut as the last ConnectScale with an open port read it. The
    // capture frames by start and end strings only, so nothing else consumes it yet.
    int PacketTimeOut() const { return FPacketTimeOut; }

    TDMScale& DMScale() { return *FDMScale; }
    THbScaleSettings& CurrentDefinition() { return *FCurrentDefinition; }
    QTimer& Timer1() { return F_Timer1; }
    QTimer& Timer2() { return F_Timer2; }

    // Controls, for the ticket, the layout file and tests.
    TLedDisplay* RzLEDDisplayScaleWeight() const { return FDisplayScaleWeight; }
    TLedDisplay* RzLEDDisplayAxleWeight() const { return FDisplayAxleWeight; }
    TLedDisplay* RzLEDDisplayTotal() const { return FDisplayTotal; }
    TLedDisplay* RzLEDDisplayAxleCount() const { return FDisplayAxleCount; }
    QRadioButton* cxRadioButton1() const { return FRadioButton1; }
    QRadioButton* cxRadioButton2() const { return FRadioButton2; }
    QListWidget* AxleList() const { return FAxleList; }
    QPlainTextEdit* cxMemoLocation() const { return FMemoLocation; }
    QLineEdit* cxTextEditOperator() const { return FTextEditOperator; }
    QCheckBox* cxCheckBoxUseDefaultPrinter() const { return FCheckBoxUseDefaultPrinter; }
    QSpinBox* cxSpinEditMarginTop() const { return FSpinEditMarginTop; }
    QSpinBox* cxSpinEditMarginLeft() const { return FSpinEditMarginLeft; }
    QLineEdit* cxTextEdit1() const { return FTextEdit1; }
    QAction* ActionAxle() const { return FActionAxle; }
    QAction* ActionTotal() const { return FActionTotal; }
    QAction* ActionPrint() const { return FActionPrint; }
    QAction* ActionPrintToPdf() const { return FActionPrintToPdf; }
    QAction* ActionReset() const { return FActionReset; }
    QAction* ActionSettings() const { return FActionSettings; }
    QAction* ActionAbout() const { return FActionAbout; }
    QPushButton* cxButtonAxle() const { return FButtonAxle; }

Q_SIGNALS:
    // The actions whose handlers live with the definition editor and the About box; those
    // connect here.
    void SettingsRequested();      // ActionSettings
    void AboutRequested();         // ActionAbout

protected:
    bool event(QEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void BuildActions();
    void BuildLayout();
    // Space captures an axle except while a text entry has the focus, where it types.
    void TextEntryFocusChanged(QWidget* entry);
    void ShowTotals();
    void KeepInLayoutFile();
    QStringList LocationLines() const;

    qint32 FScaleWeight = 0;
    qint32 FAxleValue = 0;
    qint32 FTotalWeight = 0;
    qint32 FAxleCount = 0;
    int FPacketTimeOut = DefaultPacketTimeOutMs;
    bool FPollErrorShown = false;
    TPrinterChoice* FPrinterChoice = nullptr;
    TPdfPathAsker FPdfPathAsker;
    TPropertiesStore FPropertiesStore; // cxPropertiesStore1

    std::unique_ptr<TDMScale> FDMScale;
    std::unique_ptr<THbScaleSettings> FCurrentDefinition;
    QTimer F_Timer1;
    QTimer F_Timer2;

    TLedDisplay* FDisplayAxleWeight = nullptr;
    TLedDisplay* FDisplayTotal = nullptr;
    TLedDisplay* FDisplayScaleWeight = nullptr;
    TLedDisplay* FDisplayAxleCount = nullptr;
    QPlainTextEdit* FMemoLocation = nullptr;
    QLineEdit* FTextEditOperator = nullptr;
    QRadioButton* FRadioButton1 = nullptr;
    QRadioButton* FRadioButton2 = nullptr;
    QCheckBox* FCheckBoxUseDefaultPrinter = nullptr;
    QListWidget* FAxleList = nullptr;
    TCalculator* FCalculator = nullptr;
    QSpinBox* FSpinEditMarginTop = nullptr;
    QSpinBox* FSpinEditMarginLeft = nullptr;
    QLineEdit* FTextEdit1 = nullptr;
    QPushButton* FButtonAxle = nullptr;
    QGroupBox* FGroupAxleWeights = nullptr;

    QAction* FActionAxle = nullptr;
    QAction* FActionTotal = nullptr;
    QAction* FActionPrint = nullptr;
    QAction* FActionPrintToPdf = nullptr;
    QAction* FActionReset = nullptr;
    QAction* FActionSettings = nullptr;
    QAction* FActionAbout = nullptr;
};
