// Feeds the capture arbitrary chunk sequences under arbitrary framing strings and checks
// that it never crashes and never keeps more than 50 characters after a chunk.
#include "definitions/scalesettings.h"
#include "platform/scalepacketevent.h"
#include "scale/packethelpers.h"
#include "scale/dmscale.h"

#include <QCoreApplication>
#include <QObject>

#include <cstddef>
#include <cstdint>
#include <cstdlib>

namespace {

class TDiscard : public QObject {
protected:
    bool event(QEvent* e) override
    {
        if (e->type() == TScalePacketEvent::EventType) {
            auto* packet = static_cast<TScalePacketEvent*>(e);
            if (packet->Kind() == pkRaw && packet->Text() && packet->Text()->size() < 51)
                std::abort();
            return true;
        }
        return QObject::event(e);
    }
};

struct TFixture {
    int argc = 1;
    char name[8] = "fuzz";
    char* argv[2] = {name, nullptr};
    QCoreApplication app{argc, argv};
    TDMScale scale;
    TDiscard listener;
};

QString TakeString(const uint8_t*& data, size_t& size)
{
    if (size == 0)
        return {};
    const size_t length = qMin<size_t>(data[0] % 4, size - 1);
    QString text = QString::fromLatin1(reinterpret_cast<const char*>(data + 1), qsizetype(length));
    data += length + 1;
    size -= length + 1;
    text.remove(QChar(0)); // framing strings never hold character 0
    return text;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static TFixture* fixture = new TFixture;
    TDMScale& scale = fixture->scale;
    if (size < 1)
        return 0;
    const uint8_t flags = *data++;
    --size;
    scale.SetListenerWindow((flags & 1) ? &fixture->listener : nullptr);
    scale.SetPassRawData(flags & 2);
    const QString start = TakeString(data, size);
    const QString end = TakeString(data, size);
    scale.Definition().SetStartString(StrToCtrlStr(start));
    scale.Definition().SetEndString(StrToCtrlStr(end));
    // The rest: chunks, each prefixed by its length.
    while (size > 0) {
        const size_t length = qMin<size_t>(data[0], size - 1);
        scale.nrComm1AfterReceive(reinterpret_cast<const char*>(data + 1), qsizetype(length));
        if (scale.ReceiveBuffer().size() > 50)
            std::abort();
        data += length + 1;
        size -= length + 1;
    }
    QCoreApplication::sendPostedEvents(&fixture->listener);
    return 0;
}
