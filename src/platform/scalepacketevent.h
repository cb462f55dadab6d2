#pragma once

#include <QEvent>
#include <QString>

#include <memory>

// The packet message from the capture to its listener, posted with
// QCoreApplication::postEvent. It keeps the original's message number and parameters:
// the text (owned by the event, so Qt frees it with an undelivered event) and its kind.
constexpr int WM_APP = 0x8000;
constexpr int WM_SCALE_PACKET = WM_APP + 450; // 33218

enum TPacketKind : int {
    pkFramed = 0, // start string through end string
    pkRaw = 1,    // an unframed block of 51 or more characters
};

class TScalePacketEvent final : public QEvent {
public:
    static constexpr QEvent::Type EventType = static_cast<QEvent::Type>(WM_SCALE_PACKET);

    // text may be null; the listener then has nothing to take and ignores the event.
    TScalePacketEvent(std::unique_ptr<QString> text, TPacketKind kind);

    const QString* Text() const { return FText.get(); }
    std::unique_ptr<QString> TakeText() { return std::move(FText); }
    TPacketKind Kind() const { return FKind; }

private:
    std::unique_ptr<QString> FText;
    TPacketKind FKind;
};
