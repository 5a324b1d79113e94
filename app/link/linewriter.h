// SPDX-FileCopyrightText: 2026 The Lumivane developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "command.h"

#include <QByteArray>
#include <QObject>
#include <QTimer>

#include <vector>

class QSocketNotifier;
class SerialPort;

// When each command goes out, as plain data and pure functions of the time
// (microseconds on a monotonic clock), so the decisions can be checked
// without a line. It never changes a command's bytes.
struct LineQueue
{
    // Commands waiting for the line. A stall can last for ever while the
    // operator goes on, so the list is bounded: past this many, the oldest
    // command that a later one of its kind overrides is dropped. Without such
    // a command the list holds at most one show, one brightness and the Offs
    // between them, five in all, so the bound always holds and no Off is ever
    // dropped for it.
    static constexpr std::size_t maxWaiting = 8;

    int baud = 9600;
    std::vector<QByteArray> waiting; // whole commands, in the operator's order
    QByteArray frame;                // the command being written
    QByteArray rest;                 // the end of it that the port took only in part
    qint64 lineFreeAt = 0;           // when the line has sent all it was given

    // Queues a command; one of the same kind as the last waiting replaces it,
    // so the newest slider position goes out and stale ones never do.
    // Returns the commands that will now never go out.
    std::vector<QByteArray> add(const QByteArray &command);
    // What may be written at `now`: the rest of a part-written frame as soon
    // as the port takes it, else the first waiting command once the line is
    // free, else nothing.
    QByteArray due(qint64 now) const;
    // The port took the first `count` bytes of due(now). Returns the command
    // whose last byte that was, else nothing.
    QByteArray took(qint64 now, qsizetype count);
    // When the next command may be handed over: with one byte of the last
    // one left, as a UART takes the next byte while it sends the one before.
    qint64 nextAt() const { return lineFreeAt - lineUs(1); }
    qint64 lineUs(qsizetype bytes) const { return bytes * 10 * 1000000LL / baud; }
    bool idle() const { return waiting.empty() && rest.isEmpty(); }
};

// The paced, non-blocking writer between the controller and SerialPort. A
// command on an idle line is written at once; the next waits until the line
// has had ten bits a byte for all but the last byte of the one before, so no
// backlog builds up in the driver. The window's thread never waits for the port: what the port
// does not take now is sent when it becomes writable, a frame whole or not
// at all.
class LineWriter : public QObject
{
    Q_OBJECT

public:
    LineWriter(SerialPort &port, int baud, QObject *parent = nullptr);
    ~LineWriter() override;

    void send(const Command &command);

    struct Unsent
    {
        Command command;
        qsizetype sentBytes = 0; // of a frame the line took only in part
    };
    // For the program's end, in place of the event loop: gives the line up to
    // `ms` to take the rest of the frame being written and then the commands
    // waiting, whole, without pacing (the driver's queue holds them all), and
    // returns what it did not take, in order. Blocks the calling thread, and
    // nothing is written or signalled afterwards.
    std::vector<Unsent> finish(int ms);

signals:
    // The port refused a write, or hung up between writes: the device is
    // gone. Nothing more is written; the receiver may delete the writer.
    void writeFailed();
    void hungUp();
    // The line has taken nothing for longer than the write deadline, and
    // later took again.
    void stalled(bool stalled);
    // The last byte of this command was handed to the port.
    void sent(const Command &command);
    // A command waiting was dropped for a later one of its kind.
    void replaced(const Command &command);

private:
    void pump();
    void waitWritable();
    void checkLine();
    void stop();

    SerialPort &mPort;
    LineQueue mQueue;
    QTimer mPace;        // until the line is free for the next command
    QTimer mRetry;       // where no descriptor can be watched
    QTimer mWatch;       // there, the hang-up watch: the port is asked instead
    QTimer mStallTimer;
    bool mStalled = false;
    QSocketNotifier *mWritable = nullptr;
    QSocketNotifier *mHangUp = nullptr;
};
