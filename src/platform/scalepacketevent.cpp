#include "platform/scalepacketevent.h"

#include <utility>

static_assert(WM_SCALE_PACKET == 33218);
static_assert(WM_SCALE_PACKET > QEvent::User && WM_SCALE_PACKET < QEvent::MaxUser);

TScalePacketEvent::TScalePacketEvent(std::unique_ptr<QString> text, TPacketKind kind)
    : QEvent(EventType), FText(std::move(text)), FKind(kind)
{
}
