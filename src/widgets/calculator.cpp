#include "widgets/calculator.h"

#include <QGridLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QTimer>
#include <QToolButton>

namespace {

using Key = TCalculatorEngine::Key;

struct TKeyFace {
    Key KeyCode;
    const char16_t* Text;
    const char* Name; // accessible name where the face is a symbol
    int Row, Column;
};

// Pocket calculator layout; Backspace has no button, only the keyboard key.
constexpr TKeyFace KeyFaces[] = {
    {Key::Clear, u"C", QT_TRANSLATE_NOOP("TCalculator", "Clear"), 0, 0},
    {Key::ClearEntry, u"CE", QT_TRANSLATE_NOOP("TCalculator", "Clear entry"), 0, 1},
    {Key::Percent, u"%", QT_TRANSLATE_NOOP("TCalculator", "Percent"), 0, 2},
    {Key::Divide, u"\u00F7", QT_TRANSLATE_NOOP("TCalculator", "Divide"), 0, 3},
    {Key::Digit7, u"7", nullptr, 1, 0},
    {Key::Digit8, u"8", nullptr, 1, 1},
    {Key::Digit9, u"9", nullptr, 1, 2},
    {Key::Multiply, u"\u00D7", QT_TRANSLATE_NOOP("TCalculator", "Multiply"), 1, 3},
    {Key::Digit4, u"4", nullptr, 2, 0},
    {Key::Digit5, u"5", nullptr, 2, 1},
    {Key::Digit6, u"6", nullptr, 2, 2},
    {Key::Subtract, u"\u2212", QT_TRANSLATE_NOOP("TCalculator", "Subtract"), 2, 3},
    {Key::Digit1, u"1", nullptr, 3, 0},
    {Key::Digit2, u"2", nullptr, 3, 1},
    {Key::Digit3, u"3", nullptr, 3, 2},
    {Key::Add, u"+", QT_TRANSLATE_NOOP("TCalculator", "Add"), 3, 3},
    {Key::ChangeSign, u"\u00B1", QT_TRANSLATE_NOOP("TCalculator", "Change sign"), 4, 0},
    {Key::Digit0, u"0", nullptr, 4, 1},
    {Key::Point, u".", QT_TRANSLATE_NOOP("TCalculator", "Decimal point"), 4, 2},
    {Key::Equals, u"=", QT_TRANSLATE_NOOP("TCalculator", "Equals"), 4, 3},
};

} // namespace

TCalculator::TCalculator(QWidget* parent)
    : QFrame(parent)
{
    setFrameShape(QFrame::StyledPanel);
    setFocusPolicy(Qt::StrongFocus);
    setAccessibleName(tr("Calculator"));

    auto* grid = new QGridLayout(this);
    grid->setContentsMargins(4, 4, 4, 4);
    grid->setSpacing(3);

    FDisplay = new QLabel(this);
    FDisplay->setObjectName(QStringLiteral("display"));
    FDisplay->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    FDisplay->setFrameShape(QFrame::Panel);
    FDisplay->setFrameShadow(QFrame::Sunken);
    FDisplay->setAutoFillBackground(true);
    FDisplay->setBackgroundRole(QPalette::Base);
    FDisplay->setForegroundRole(QPalette::Text);
    FDisplay->setMargin(3);
    QFont displayFont = FDisplay->font();
    displayFont.setPointSizeF(displayFont.pointSizeF() * 1.4);
    displayFont.setBold(true);
    FDisplay->setFont(displayFont);
    // Room for a full-length number with sign, point and exponent.
    FDisplay->setMinimumWidth(
        QFontMetrics(displayFont).horizontalAdvance(QStringLiteral("-0.00000000000")) + 10);
    grid->addWidget(FDisplay, 0, 0, 1, 4);

    for (const TKeyFace& face : KeyFaces) {
        auto* button = new QToolButton(this);
        button->setText(QString::fromUtf16(face.Text));
        if (face.Name)
            button->setAccessibleName(tr(face.Name));
        button->setFocusPolicy(Qt::NoFocus);
        button->setAutoRepeat(false);
        button->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
        button->setMinimumSize(30, 24);
        const Key key = face.KeyCode;
        connect(button, &QToolButton::clicked, this, [this, key] {
            setFocus(Qt::OtherFocusReason);
            Press(key);
        });
        FButtons[int(key)] = button;
        grid->addWidget(button, face.Row + 1, face.Column);
    }
    ShowDisplay();
}

QString TCalculator::DisplayText() const
{
    return FDisplay->text();
}

QToolButton* TCalculator::Button(Key key) const
{
    return FButtons[int(key)];
}

void TCalculator::Press(Key key)
{
    FEngine.Press(key);
    ShowDisplay();
}

void TCalculator::ShowDisplay()
{
    const QString text = FEngine.Display();
    if (text == FDisplay->text())
        return;
    FDisplay->setText(text);
    FDisplay->setAccessibleName(text);
    Q_EMIT DisplayChanged(text);
}

void TCalculator::keyPressEvent(QKeyEvent* event)
{
    const Qt::KeyboardModifiers chord = event->modifiers() & ~(Qt::KeypadModifier | Qt::ShiftModifier);
    if (chord != Qt::NoModifier) {
        QFrame::keyPressEvent(event);
        return;
    }
    std::optional<Key> key;
    switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter: key = Key::Equals; break;
    case Qt::Key_Backspace: key = Key::Backspace; break;
    case Qt::Key_Escape: key = Key::Clear; break;
    case Qt::Key_Delete: key = Key::ClearEntry; break;
    default:
        if (event->text().size() == 1)
            key = TCalculatorEngine::KeyForChar(event->text().front());
        break;
    }
    if (!key) {
        QFrame::keyPressEvent(event);
        return;
    }
    Press(*key);
    // Show the key as pressed for a moment, as on a real keypad.
    if (QToolButton* button = Button(*key)) {
        button->setDown(true);
        QTimer::singleShot(100, button, [button] { button->setDown(false); });
    }
}
