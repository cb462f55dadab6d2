#include "scenario.h"

#include <QRegularExpression>
#include <QStringList>

#include <algorithm>

namespace {

TSimStep Step(TSimStep::TKind kind, qint64 value = 0)
{
    TSimStep step;
    step.Kind = kind;
    step.Value = value;
    return step;
}

TSimStep FlagStep(TSimStep::TFlag flag, bool on)
{
    TSimStep step;
    step.Kind = TSimStep::SetFlag;
    step.Flag = flag;
    step.On = on;
    return step;
}

// Whether a round of the steps does anything that takes time or sends bytes; a round of
// settings alone repeated for ever would never yield an action.
bool YieldsAction(const QList<TSimStep>& steps)
{
    return std::any_of(steps.begin(), steps.end(), [](const TSimStep& step) {
        return step.Kind != TSimStep::SetWeight && step.Kind != TSimStep::SetFlag
            && step.Kind != TSimStep::Cut;
    });
}

constexpr qint64 LongestMs = 24LL * 3600 * 1000;
constexpr qint64 MostGarbage = 1000000;
constexpr qint64 HeaviestWeight = 999999999;

} // namespace

QList<TSimStep> SimFixedSteps(qint64 weight)
{
    return { Step(TSimStep::SetWeight, weight), Step(TSimStep::Hold, -1) };
}

QList<TSimStep> SimTruckSteps(const QList<qint64>& axles, int rampMs, int plateauMs)
{
    constexpr int RampSteps = 3;
    const qint64 stepMs = std::max(1, rampMs / RampSteps);
    QList<TSimStep> steps { Step(TSimStep::SetWeight, 0), FlagStep(TSimStep::Motion, false),
        Step(TSimStep::Hold, plateauMs) };
    qint64 total = 0;
    const auto ramp = [&](qint64 from, qint64 to) {
        for (int j = 1; j <= RampSteps; ++j) {
            steps << Step(TSimStep::SetWeight, from + (to - from) * j / (RampSteps + 1))
                  << FlagStep(TSimStep::Motion, true) << Step(TSimStep::Hold, stepMs);
        }
        steps << Step(TSimStep::SetWeight, to) << FlagStep(TSimStep::Motion, false)
              << Step(TSimStep::Hold, plateauMs);
    };
    for (const qint64 axle : axles) {
        ramp(total, total + axle);
        total += axle;
    }
    ramp(total, 0);
    return steps;
}

QList<qint64> SimParseAxles(const QString& list, QString* error)
{
    QList<qint64> axles;
    const QStringList parts = list.split(u',');
    for (qsizetype i = 0; i < parts.size(); ++i) {
        bool ok = false;
        const qint64 weight = parts[i].trimmed().toLongLong(&ok);
        if (!ok || weight <= 0 || weight > HeaviestWeight) {
            if (error) {
                *error = QStringLiteral("axle %1 of \"%2\" is not a weight between 1 and %3")
                             .arg(i + 1)
                             .arg(list)
                             .arg(HeaviestWeight);
            }
            return {};
        }
        axles << weight;
    }
    return axles;
}

QList<TSimStep> SimParseScript(const QString& text, QString* error)
{
    static const QRegularExpression Blanks(QStringLiteral("\\s+"));
    QList<TSimStep> steps;
    const QStringList lines = text.split(u'\n');
    for (qsizetype n = 0; n < lines.size(); ++n) {
        const QString line = lines[n].trimmed();
        if (line.isEmpty() || line.startsWith(u'#'))
            continue;
        const QStringList words = line.split(Blanks);
        const QString command = words[0].toLower();
        QString problem;
        const auto number = [&](qint64 lowest, qint64 highest, qint64* value) {
            bool ok = false;
            *value = words.value(1).toLongLong(&ok);
            if (words.size() != 2 || !ok || *value < lowest || *value > highest) {
                problem = QStringLiteral("\"%1\" takes one number from %2 to %3")
                              .arg(command)
                              .arg(lowest)
                              .arg(highest);
                return false;
            }
            return true;
        };
        const auto onOff = [&](qsizetype at, bool* on) {
            const QString word = words.value(at).toLower();
            if (words.size() != at + 1 || (word != u"on" && word != u"off")) {
                problem = QStringLiteral("\"%1\" ends with on or off").arg(command);
                return false;
            }
            *on = word == u"on";
            return true;
        };
        qint64 value = 0;
        bool on = false;
        if (command == u"weight") {
            if (number(-HeaviestWeight, HeaviestWeight, &value))
                steps << Step(TSimStep::SetWeight, value);
        } else if (command == u"motion") {
            if (onOff(1, &on))
                steps << FlagStep(TSimStep::Motion, on);
        } else if (command == u"status") {
            static const QStringList Names { QStringLiteral("motion"), QStringLiteral("overrange"),
                QStringLiteral("negative"), QStringLiteral("other-unit"),
                QStringLiteral("other-mode") };
            const qsizetype flag = Names.indexOf(words.value(1).toLower());
            if (flag < 0) {
                problem = QStringLiteral("\"status\" names one of %1").arg(Names.join(u", "));
            } else if (onOff(2, &on)) {
                steps << FlagStep(static_cast<TSimStep::TFlag>(flag), on);
            }
        } else if (command == u"hold") {
            if (number(0, LongestMs, &value))
                steps << Step(TSimStep::Hold, value);
        } else if (command == u"silence") {
            if (number(0, LongestMs, &value))
                steps << Step(TSimStep::Silence, value);
        } else if (command == u"garbage") {
            if (number(1, MostGarbage, &value))
                steps << Step(TSimStep::Garbage, value);
        } else if (command == u"cut" || command == u"startonly" || command == u"unplug"
            || command == u"quit") {
            if (words.size() != 1) {
                problem = QStringLiteral("\"%1\" takes nothing after it").arg(command);
            } else {
                steps << Step(command == u"cut"   ? TSimStep::Cut
                        : command == u"startonly" ? TSimStep::StartOnly
                        : command == u"unplug"    ? TSimStep::Unplug
                                                  : TSimStep::Quit);
            }
        } else {
            problem = QStringLiteral("unknown command \"%1\"; known are weight, motion, status, "
                                     "hold, garbage, cut, startonly, silence, unplug, quit")
                          .arg(words[0]);
        }
        if (!problem.isEmpty()) {
            if (error)
                *error = QStringLiteral("line %1: %2").arg(n + 1).arg(problem);
            return {};
        }
    }
    if (error)
        error->clear();
    return steps;
}

TSimPlayer::TSimPlayer(QList<TSimStep> steps, int periodMs, bool polled, int repeat)
    : FSteps(std::move(steps))
    , FPeriodMs(std::max(1, periodMs))
    , FPolled(polled)
    , FRepeat(std::max(0, repeat))
{
    if (FRepeat == 0 && !YieldsAction(FSteps))
        FRepeat = 1;
}

bool TSimPlayer::TakeCut()
{
    return std::exchange(FCutPending, false);
}

TSimAction TSimPlayer::HoldAction()
{
    TSimAction action;
    action.Reading = FReading;
    if (FPolled) {
        action.Kind = TSimAction::Wait;
        action.DelayMs = -1;
        return action;
    }
    if (FHoldLeft > 0)
        --FHoldLeft;
    action.Kind = TakeCut() ? TSimAction::CutPacket : TSimAction::Packet;
    action.DelayMs = FPeriodMs;
    return action;
}

TSimAction TSimPlayer::Next()
{
    TSimAction action;
    action.Reading = FReading;
    if (FStopped) {
        action.Kind = TSimAction::Quit;
        return action;
    }
    if (FHoldLeft != 0)
        return HoldAction();
    for (;;) {
        if (FIndex >= FSteps.size()) {
            ++FRound;
            if (FSteps.isEmpty() || (FRepeat != 0 && FRound >= FRepeat)) {
                FHoldLeft = -1; // the last reading for ever
                return HoldAction();
            }
            FIndex = 0;
        }
        const TSimStep& step = FSteps[FIndex++];
        switch (step.Kind) {
        case TSimStep::SetWeight:
            FReading.Weight = step.Value;
            continue;
        case TSimStep::SetFlag:
            switch (step.Flag) {
            case TSimStep::Motion:
                FReading.Motion = step.On;
                break;
            case TSimStep::Overrange:
                FReading.Overrange = step.On;
                break;
            case TSimStep::Negative:
                FReading.Negative = step.On;
                break;
            case TSimStep::OtherUnit:
                FReading.OtherUnit = step.On;
                break;
            case TSimStep::OtherMode:
                FReading.OtherMode = step.On;
                break;
            }
            continue;
        case TSimStep::Cut:
            FCutPending = true;
            continue;
        case TSimStep::Hold:
            if (FPolled) {
                action.Kind = TSimAction::Wait;
                action.Reading = FReading;
                action.DelayMs = step.Value < 0 ? -1 : static_cast<int>(step.Value);
                return action;
            }
            FHoldLeft = step.Value < 0
                ? -1
                : std::max<qint64>(1, (step.Value + FPeriodMs / 2) / FPeriodMs);
            return HoldAction();
        case TSimStep::Garbage:
            action.Kind = TSimAction::Garbage;
            action.Count = static_cast<int>(step.Value);
            return action;
        case TSimStep::StartOnly:
            action.Kind = TSimAction::StartOnly;
            action.Reading = FReading;
            action.DelayMs = FPolled ? 0 : FPeriodMs;
            return action;
        case TSimStep::Silence:
            action.Kind = TSimAction::Silence;
            action.DelayMs = static_cast<int>(step.Value);
            return action;
        case TSimStep::Unplug:
        case TSimStep::Quit:
            FStopped = true;
            action.Kind = step.Kind == TSimStep::Unplug ? TSimAction::Unplug : TSimAction::Quit;
            return action;
        }
    }
}
