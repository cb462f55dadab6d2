#pragma once

#include <QColor>
#include <QWidget>

// A round indicator lamp: shows the lit colour while on, the off colour while off.
class TLedLamp : public QWidget {
    Q_OBJECT
    Q_PROPERTY(bool on READ IsOn WRITE SetOn NOTIFY StateChanged)
    Q_PROPERTY(QColor litColor READ LitColor WRITE SetLitColor)
    Q_PROPERTY(QColor offColor READ OffColor WRITE SetOffColor)

public:
    explicit TLedLamp(QWidget* parent = nullptr);

    bool IsOn() const { return FOn; }
    void SetOn(bool on);

    QColor LitColor() const { return FLitColor; }
    void SetLitColor(const QColor& color);
    QColor OffColor() const { return FOffColor; }
    void SetOffColor(const QColor& color);

    // The colour the lamp shows now.
    QColor CurrentColor() const { return FOn ? FLitColor : FOffColor; }

    QSize sizeHint() const override { return {16, 16}; }
    QSize minimumSizeHint() const override { return {8, 8}; }

Q_SIGNALS:
    void StateChanged(bool on);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    bool FOn = false;
    QColor FLitColor{0, 255, 0};
    QColor FOffColor{0x80, 0x80, 0x80};
};
