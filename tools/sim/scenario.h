#pragma once

#include "indicator.h"

#include <QList>
#include <QString>

// One step of a weight scenario.
struct TSimStep {
    enum TKind {
        SetWeight, // Value: the weight
        SetFlag, // Flag, On
        Hold, // Value: milliseconds of reporting the current reading; -1 for ever
        Garbage, // Value: number of noise bytes
        Cut, // the next packet goes out in three pieces
        StartOnly, // the first half of a packet, never finished
        Silence, // Value: milliseconds without output (polls go unanswered)
        Unplug, // close the line as an unplugged adapter, then exit
        Quit, // stop normally
    };
    enum TFlag { Motion, Overrange, Negative, OtherUnit, OtherMode };

    TKind Kind = Hold;
    qint64 Value = 0;
    TFlag Flag = Motion;
    bool On = false;
};

// A fixed reading, reported for ever.
QList<TSimStep> SimFixedSteps(qint64 weight);

// A truck whose axles drive on one by one and then drive off: from an empty, stable scale
// each axle raises the weight in three steps in motion over rampMs, then the sum of the
// axles so far stays stable for plateauMs; at the end the weight falls to 0 in motion
// and stays stable for plateauMs.
QList<TSimStep> SimTruckSteps(const QList<qint64>& axles, int rampMs, int plateauMs);

// "8000,12000,12000" to axle weights; an empty list and an error text on bad input.
QList<qint64> SimParseAxles(const QString& list, QString* error);

// The script format, one step a line; blank lines and lines starting with # are skipped:
//   weight N            the weight (may be negative)
//   motion on|off
//   status motion|overrange|negative|other-unit|other-mode on|off
//   hold MS             report the current reading for MS milliseconds
//   garbage N           N bytes of line noise
//   cut                 the next packet goes out in three pieces
//   startonly           the first half of a packet, without its end
//   silence MS          nothing at all for MS milliseconds (polls go unanswered)
//   unplug              close the line as an unplugged adapter would, then exit
//   quit                stop
// Changes take effect with the next packet. On an error the steps are empty and error
// says which line is wrong and why.
QList<TSimStep> SimParseScript(const QString& text, QString* error);

// What the simulator does next.
struct TSimAction {
    enum TKind {
        Packet, // send a packet of Reading (continuous output)
        CutPacket, // the same, in three pieces
        StartOnly, // the first half of a packet of Reading
        Garbage, // Count noise bytes
        Wait, // keep answering polls with Reading (polled output)
        Silence, // no output, polls unanswered
        Unplug,
        Quit,
    };
    TKind Kind = Wait;
    TSimReading Reading;
    int Count = 0;
    int DelayMs = 0; // before the next action; -1 for ever
};

// Plays steps as actions. Continuous output sends a packet every periodMs while a step
// holds; polled output waits (the caller answers polls with Reading()) and marks a cut
// by CutNextReply(). The steps run repeat times (0: for ever); after them the last
// reading is reported for ever, unless a step quit or unplugged.
class TSimPlayer {
public:
    TSimPlayer(QList<TSimStep> steps, int periodMs, bool polled, int repeat = 1);

    TSimAction Next();
    const TSimReading& Reading() const { return FReading; }
    // Polled output: whether the next reply is to be cut; reading it clears it.
    bool TakeCut();

private:
    TSimAction HoldAction();

    QList<TSimStep> FSteps;
    int FPeriodMs;
    bool FPolled;
    int FRepeat;
    int FRound = 0;
    qsizetype FIndex = 0;
    qint64 FHoldLeft = 0; // packets left in the current continuous hold; -1 for ever
    bool FCutPending = false;
    bool FStopped = false;
    TSimReading FReading;
};
