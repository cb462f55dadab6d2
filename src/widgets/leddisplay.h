#pragma once

#include <QColor>
#include <QString>
#include <QWidget>

#include <vector>

// A segment LED display, drawn with QPainter so it needs no font. The caption is shown
// right-justified in 14-segment cells: digits look as on a seven-segment display, letters
// stay readable, lower case is shown as upper case. Every cell shows its unlit segments as
// a ghost; a '.' or ',' lights the decimal point of the cell before it. The hint is the
// widget's tool tip; the accessible name follows the caption, so screen readers read it.
class TLedDisplay : public QWidget {
    Q_OBJECT
    Q_PROPERTY(QString caption READ Caption WRITE SetCaption NOTIFY CaptionChanged)
    Q_PROPERTY(QColor litColor READ LitColor WRITE SetLitColor)
    Q_PROPERTY(QColor unlitColor READ UnlitColor WRITE SetUnlitColor)
    Q_PROPERTY(QColor backgroundColor READ BackgroundColor WRITE SetBackgroundColor)
    Q_PROPERTY(int noOfChars READ NoOfChars WRITE SetNoOfChars)

public:
    explicit TLedDisplay(QWidget* parent = nullptr);

    QString Caption() const { return FCaption; }
    void SetCaption(const QString& caption);

    QColor LitColor() const { return FLitColor; }
    void SetLitColor(const QColor& color);
    // The ghost of the unlit segments. By default (or after setting an invalid QColor) it is
    // the lit colour faintly over the background, as on a real display; setting it to the
    // background colour hides the ghost.
    QColor UnlitColor() const;
    void SetUnlitColor(const QColor& color);
    QColor BackgroundColor() const { return FBackgroundColor; }
    void SetBackgroundColor(const QColor& color);

    // The number of cells drawn (at least 1). A longer caption gets as many cells as it
    // needs, so nothing is cut off; the cells then shrink to fit the width.
    int NoOfChars() const { return FNoOfChars; }
    void SetNoOfChars(int count);

    // Segment bits of one cell (bit 14 is the decimal point), as drawn for the caption:
    // right-justified, one entry per cell, left to right. For tests and accessibility tools.
    std::vector<quint16> Cells() const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

Q_SIGNALS:
    void CaptionChanged(const QString& caption);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QString FCaption;
    QColor FLitColor{0, 255, 0};
    QColor FUnlitColor; // invalid: derived from the lit colour
    QColor FBackgroundColor{Qt::black};
    int FNoOfChars = 7;
};
