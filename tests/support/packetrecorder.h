#pragma once

#include "platform/scalepacketevent.h"

#include <QEvent>
#include <QList>
#include <QObject>
#include <QStringList>

#include <algorithm>

// One packet message as a listener window receives it.
struct TReceived {
    QString Text;
    int Kind;
    bool operator==(const TReceived&) const = default;
};

// A listener window for the capture that keeps every packet message it receives.
class TPacketRecorder : public QObject {
public:
    QList<TReceived> Packets;
    int NullTexts = 0; // messages whose text was already taken

    QStringList Framed() const
    {
        QStringList texts;
        for (const TReceived& packet : Packets)
            if (packet.Kind == pkFramed)
                texts << packet.Text;
        return texts;
    }
    qsizetype RawCount() const
    {
        return std::count_if(Packets.begin(), Packets.end(),
                             [](const TReceived& packet) { return packet.Kind == pkRaw; });
    }

protected:
    bool event(QEvent* e) override
    {
        if (e->type() != TScalePacketEvent::EventType)
            return QObject::event(e);
        auto* packet = static_cast<TScalePacketEvent*>(e);
        if (const QString* text = packet->Text())
            Packets.append({*text, packet->Kind()});
        else
            ++NullTexts;
        return true;
    }
};
