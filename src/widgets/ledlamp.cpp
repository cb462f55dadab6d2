#include "widgets/ledlamp.h"

#include <QPainter>
#include <QRadialGradient>

#include <algorithm>

TLedLamp::TLedLamp(QWidget* parent)
    : QWidget(parent)
{
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
}

void TLedLamp::SetOn(bool on)
{
    if (on == FOn)
        return;
    FOn = on;
    update();
    Q_EMIT StateChanged(on);
}

void TLedLamp::SetLitColor(const QColor& color)
{
    if (color == FLitColor)
        return;
    FLitColor = color;
    update();
}

void TLedLamp::SetOffColor(const QColor& color)
{
    if (color == FOffColor)
        return;
    FOffColor = color;
    update();
}

void TLedLamp::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const qreal d = std::min(width(), height()) - 2.0;
    if (d <= 0)
        return;
    const QRectF r((width() - d) / 2, (height() - d) / 2, d, d);

    // Most of the face is the plain colour (so it reads true at a glance); a highlight at
    // the upper left and a darker rim give the bulb its shape.
    const QColor face = CurrentColor();
    QRadialGradient glow(r.center() - QPointF(d * 0.18, d * 0.18), d * 0.62);
    glow.setColorAt(0.0, face.lighter(FOn ? 160 : 130));
    glow.setColorAt(0.35, face);
    glow.setColorAt(0.85, face);
    glow.setColorAt(1.0, face.darker(150));
    painter.setPen(QPen(face.darker(220), 1.0));
    painter.setBrush(glow);
    painter.drawEllipse(r);
}
