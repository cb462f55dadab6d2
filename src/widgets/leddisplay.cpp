#include "widgets/leddisplay.h"

#include <QPainter>
#include <QPainterPath>

#include <algorithm>
#include <array>

namespace {

// Segment bits. A..G2 alone make the seven-segment digits; H..M are the diagonals and the
// centre bars that letters need.
enum : quint16 {
    A = 1u << 0,   // top
    B = 1u << 1,   // upper right
    C = 1u << 2,   // lower right
    D = 1u << 3,   // bottom
    E = 1u << 4,   // lower left
    F = 1u << 5,   // upper left
    G1 = 1u << 6,  // middle, left half
    G2 = 1u << 7,  // middle, right half
    H = 1u << 8,   // diagonal, upper left
    I = 1u << 9,   // centre, upper
    J = 1u << 10,  // diagonal, upper right
    K = 1u << 11,  // diagonal, lower left
    L = 1u << 12,  // centre, lower
    M = 1u << 13,  // diagonal, lower right
    DP = 1u << 14, // decimal point
};
constexpr int SegmentCount = 15;
constexpr size_t Joint = SegmentCount; // closes the gap between G1 and G2 without I or L

quint16 Glyph(QChar ch)
{
    switch (ch.toUpper().unicode()) {
    case '0': return A | B | C | D | E | F;
    case '1': return B | C;
    case '2': return A | B | D | E | G1 | G2;
    case '3': return A | B | C | D | G1 | G2;
    case '4': return B | C | F | G1 | G2;
    case '5': return A | C | D | F | G1 | G2;
    case '6': return A | C | D | E | F | G1 | G2;
    case '7': return A | B | C;
    case '8': return A | B | C | D | E | F | G1 | G2;
    case '9': return A | B | C | D | F | G1 | G2;
    case 'A': return A | B | C | E | F | G1 | G2;
    case 'B': return A | B | C | D | I | L | G2;
    case 'C': return A | D | E | F;
    case 'D': return A | B | C | D | I | L;
    case 'E': return A | D | E | F | G1 | G2;
    case 'F': return A | E | F | G1;
    case 'G': return A | C | D | E | F | G2;
    case 'H': return B | C | E | F | G1 | G2;
    case 'I': return A | D | I | L;
    case 'J': return B | C | D | E;
    case 'K': return E | F | G1 | J | M;
    case 'L': return D | E | F;
    case 'M': return B | C | E | F | H | J;
    case 'N': return B | C | E | F | H | M;
    case 'O': return A | B | C | D | E | F;
    case 'P': return A | B | E | F | G1 | G2;
    case 'Q': return A | B | C | D | E | F | M;
    case 'R': return A | B | E | F | G1 | G2 | M;
    case 'S': return A | C | D | F | G1 | G2;
    case 'T': return A | I | L;
    case 'U': return B | C | D | E | F;
    case 'V': return E | F | K | J;
    case 'W': return B | C | E | F | K | M;
    case 'X': return H | J | K | M;
    case 'Y': return H | J | L;
    case 'Z': return A | D | J | K;
    case '-': return G1 | G2;
    case '+': return G1 | G2 | I | L;
    case '*': return G1 | G2 | H | I | J | K | L | M;
    case '/': return J | K;
    case '\\': return H | M;
    case '=': return G1 | G2 | D;
    case '_': return D;
    case '(': case '[': return A | D | E | F;
    case ')': case ']': return A | B | C | D;
    case '\'': return I;
    case '"': return F | I;
    case '?': return A | B | G2 | L;
    case '<': return J | M;
    case '>': return H | K;
    default: return 0; // blank, and anything the cells cannot show
    }
}

bool IsDecimalPoint(QChar ch) { return ch == u'.' || ch == u','; }

// Cell geometry in units: a cell is CellWidth wide and CellHeight high; the decimal point
// sits in the gap after it. The whole row leans to the right by Slant at the top.
constexpr qreal CellWidth = 60, CellHeight = 100, Advance = 74, Slant = 8, Pad = 10;
constexpr qreal T = 9;     // segment thickness
constexpr qreal Gap = 1.2; // dark line between neighbouring segments
constexpr qreal Left = T / 2 + 1, Right = CellWidth - T / 2 - 1, Top = T / 2 + 1,
                Bottom = CellHeight - T / 2 - 1, MidX = CellWidth / 2, MidY = CellHeight / 2;

QPainterPath Bar(QPointF from, QPointF to)
{
    // A long hexagon with pointed ends, so that segments meet in a mitre.
    const qreal h = T / 2;
    QPolygonF p;
    if (from.y() == to.y()) {
        const qreal y = from.y(), x0 = from.x() + Gap, x1 = to.x() - Gap;
        p << QPointF(x0, y) << QPointF(x0 + h, y - h) << QPointF(x1 - h, y - h) << QPointF(x1, y)
          << QPointF(x1 - h, y + h) << QPointF(x0 + h, y + h);
    } else {
        const qreal x = from.x(), y0 = from.y() + Gap, y1 = to.y() - Gap;
        p << QPointF(x, y0) << QPointF(x + h, y0 + h) << QPointF(x + h, y1 - h) << QPointF(x, y1)
          << QPointF(x - h, y1 - h) << QPointF(x - h, y0 + h);
    }
    QPainterPath path;
    path.addPolygon(p);
    path.closeSubpath();
    return path;
}

// A slanted band filling the box between the outer bars and the centre bars, from the
// corner 'from' to the corner 'to'.
QPainterPath Diagonal(QPointF from, QPointF to)
{
    const qreal w = T * 0.9;
    const qreal sx = to.x() > from.x() ? 1 : -1, sy = to.y() > from.y() ? 1 : -1;
    QPolygonF p;
    p << from << from + QPointF(sx * w, 0) << to - QPointF(0, sy * w) << to
      << to - QPointF(sx * w, 0) << from + QPointF(0, sy * w);
    QPainterPath path;
    path.addPolygon(p);
    path.closeSubpath();
    return path;
}

const std::array<QPainterPath, SegmentCount + 1>& SegmentPaths()
{
    static const std::array<QPainterPath, SegmentCount + 1> paths = [] {
        // Inner corners of the four boxes the diagonals cross.
        const qreal inL = Left + T / 2 + Gap, inR = Right - T / 2 - Gap;
        const qreal inT = Top + T / 2 + Gap, inB = Bottom - T / 2 - Gap;
        const qreal cL = MidX - T / 2 - Gap, cR = MidX + T / 2 + Gap;
        const qreal mT = MidY - T / 2 - Gap, mB = MidY + T / 2 + Gap;
        std::array<QPainterPath, SegmentCount + 1> s;
        s[0] = Bar({Left, Top}, {Right, Top});
        s[1] = Bar({Right, Top}, {Right, MidY});
        s[2] = Bar({Right, MidY}, {Right, Bottom});
        s[3] = Bar({Left, Bottom}, {Right, Bottom});
        s[4] = Bar({Left, MidY}, {Left, Bottom});
        s[5] = Bar({Left, Top}, {Left, MidY});
        s[6] = Bar({Left, MidY}, {MidX, MidY});
        s[7] = Bar({MidX, MidY}, {Right, MidY});
        s[8] = Diagonal({inL, inT}, {cL, mT});
        s[9] = Bar({MidX, Top}, {MidX, MidY});
        s[10] = Diagonal({inR, inT}, {cR, mT});
        s[11] = Diagonal({inL, inB}, {cL, mB});
        s[12] = Bar({MidX, MidY}, {MidX, Bottom});
        s[13] = Diagonal({inR, inB}, {cR, mB});
        const qreal r = T * 0.6;
        s[14].addEllipse(QPointF(CellWidth + (Advance - CellWidth) / 2, Bottom), r, r);
        s[Joint] = Bar({MidX - T, MidY}, {MidX + T, MidY});
        return s;
    }();
    return paths;
}

} // namespace

TLedDisplay::TLedDisplay(QWidget* parent)
    : QWidget(parent)
{
    setAttribute(Qt::WA_OpaquePaintEvent);
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Preferred);
}

void TLedDisplay::SetCaption(const QString& caption)
{
    if (caption == FCaption)
        return;
    FCaption = caption;
    setAccessibleName(caption);
    update();
    Q_EMIT CaptionChanged(caption);
}

void TLedDisplay::SetLitColor(const QColor& color)
{
    if (color == FLitColor)
        return;
    FLitColor = color;
    update();
}

void TLedDisplay::SetUnlitColor(const QColor& color)
{
    if (color == FUnlitColor)
        return;
    FUnlitColor = color;
    update();
}

QColor TLedDisplay::UnlitColor() const
{
    if (FUnlitColor.isValid())
        return FUnlitColor;
    // Faint enough that lit letters stand out, bright enough to show the cells.
    const QColor lit = FLitColor.toRgb(), back = FBackgroundColor.toRgb();
    const auto mix = [](int l, int b) { return b + (l - b) * 12 / 100; };
    return QColor(mix(lit.red(), back.red()), mix(lit.green(), back.green()),
                  mix(lit.blue(), back.blue()));
}

void TLedDisplay::SetBackgroundColor(const QColor& color)
{
    if (color == FBackgroundColor)
        return;
    FBackgroundColor = color;
    update();
}

void TLedDisplay::SetNoOfChars(int count)
{
    count = std::max(count, 1);
    if (count == FNoOfChars)
        return;
    FNoOfChars = count;
    updateGeometry();
    update();
}

std::vector<quint16> TLedDisplay::Cells() const
{
    std::vector<quint16> cells;
    cells.reserve(size_t(FCaption.size()));
    for (const QChar ch : FCaption) {
        if (IsDecimalPoint(ch) && !cells.empty() && !(cells.back() & DP))
            cells.back() |= DP;
        else
            cells.push_back(IsDecimalPoint(ch) ? quint16(DP) : Glyph(ch));
    }
    if (cells.size() < size_t(FNoOfChars))
        cells.insert(cells.begin(), size_t(FNoOfChars) - cells.size(), 0);
    return cells;
}

QSize TLedDisplay::sizeHint() const
{
    const qreal scale = 0.4; // 40 pixels per cell height
    return QSize(qRound((FNoOfChars * Advance + Slant + 2 * Pad) * scale),
                 qRound((CellHeight + 2 * Pad) * scale));
}

QSize TLedDisplay::minimumSizeHint() const
{
    const qreal scale = 0.16;
    return QSize(qRound((FNoOfChars * Advance + Slant + 2 * Pad) * scale),
                 qRound((CellHeight + 2 * Pad) * scale));
}

void TLedDisplay::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.fillRect(rect(), FBackgroundColor);

    const std::vector<quint16> cells = Cells();
    const qreal unitsWide = qreal(cells.size()) * Advance + Slant + 2 * Pad;
    const qreal unitsHigh = CellHeight + 2 * Pad;
    const qreal scale = std::min(width() / unitsWide, height() / unitsHigh);
    if (scale <= 0)
        return;

    // Right-justified, centred vertically.
    const qreal x0 = width() - (unitsWide - Pad) * scale;
    const qreal y0 = (height() - CellHeight * scale) / 2;
    const QTransform lean(1, 0, -Slant / CellHeight, 1, Slant, 0);
    const QTransform place = lean * QTransform::fromScale(scale, scale)
        * QTransform::fromTranslate(x0, y0);

    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    const QColor unlit = UnlitColor();
    const bool ghost = unlit != FBackgroundColor;
    const auto& paths = SegmentPaths();
    for (size_t cell = 0; cell < cells.size(); ++cell) {
        painter.setTransform(QTransform::fromTranslate(qreal(cell) * Advance, 0) * place);
        const quint16 segments = cells[cell];
        for (int s = 0; s < SegmentCount; ++s) {
            const bool lit = segments & (1u << s);
            if (lit || ghost)
                painter.fillPath(paths[size_t(s)], lit ? FLitColor : unlit);
        }
        // A minus or a middle bar reads as one stroke, as on a seven-segment display.
        if ((segments & (G1 | G2)) == (G1 | G2) && !(segments & (I | L)))
            painter.fillPath(paths[Joint], FLitColor);
    }
}
