#pragma once

#include <QColor>
#include <QtGlobal>

// The program keeps colours as TColor values: 0x00BBGGRR, red in the lowest byte. The
// widgets take QColor; these two convert at the boundary. The top byte (system colour
// flags of the original platform) is ignored.
inline QColor ColorFromTColor(quint32 color)
{
    return QColor(int(color & 0xFFu), int((color >> 8) & 0xFFu), int((color >> 16) & 0xFFu));
}

inline quint32 TColorFromColor(const QColor& color)
{
    const QColor rgb = color.toRgb();
    return quint32(rgb.red()) | (quint32(rgb.green()) << 8) | (quint32(rgb.blue()) << 16);
}
