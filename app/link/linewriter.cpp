// SPDX-FileCopyrightText: 2026 The Lumivane developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "linewriter.h"

#include "serialport.h"

#include <QSocketNotifier>

#include <algorithm>
#include <chrono>
#include <thread>
#include <utility>

namespace {

// As long as SerialPort::write waits for a stuck line before it gives up.
constexpr int stallMs = 1000;

// How often to try again where the port offers no descriptor to watch
// (Windows without overlapped I/O): each try may block for the port's short
// write time-out, so not more often than this.
constexpr int retryMs = 50;

// How often to ask such a port whether its device is still there, between
// writes: a pulled adapter shows within half a second.
constexpr int watchMs = 500;

qint64 nowUs()
{
    return std::chrono::duration_cast<std::chrono::microseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// Every show is of one kind: a command overrides one of its kind.
bool sameKind(const QByteArray &a, const QByteArray &b)
{
    const std::optional<Command> x = Command::fromBytes(a);
    const std::optional<Command> y = Command::fromBytes(b);
    return x && y ? x->kind == y->kind : a == b;
}

bool isOff(const QByteArray &command)
{
    const std::optional<Command> read = Command::fromBytes(command);
    return read && read->kind == Command::Kind::Off;
}

Command commandOf(const QByteArray &bytes)
{
    // Only what send() queued is ever here.
    return Command::fromBytes(bytes).value_or(Command::off());
}

} // namespace

std::vector<QByteArray> LineQueue::add(const QByteArray &command)
{
    if (!waiting.empty() && sameKind(waiting.back(), command))
        return { std::exchange(waiting.back(), command) };
    waiting.push_back(command);
    if (waiting.size() <= maxWaiting)
        return {};
    for (auto it = waiting.begin(); it != waiting.end(); ++it) {
        const bool overridden = std::any_of(it + 1, waiting.end(),
                                            [&](const QByteArray &later) { return sameKind(*it, later); });
        if (!isOff(*it) && overridden) {
            std::vector<QByteArray> dropped { *it };
            it = waiting.erase(it);
            // Two of a kind now side by side: the earlier changes nothing.
            if (it != waiting.begin() && it != waiting.end() && sameKind(*(it - 1), *it)) {
                dropped.push_back(*(it - 1));
                waiting.erase(it - 1);
            }
            return dropped;
        }
    }
    return {};
}

QByteArray LineQueue::due(qint64 now) const
{
    if (!rest.isEmpty())
        return rest;
    if (waiting.empty() || now < nextAt())
        return {};
    return waiting.front();
}

QByteArray LineQueue::took(qint64 now, qsizetype count)
{
    if (count <= 0)
        return {};
    if (!rest.isEmpty()) {
        rest.remove(0, count);
    } else if (!waiting.empty()) {
        frame = waiting.front();
        rest = frame.mid(count);
        waiting.erase(waiting.begin());
    }
    // Ten bits a byte: start, eight data bits, stop.
    lineFreeAt = std::max(lineFreeAt, now) + lineUs(count);
    return rest.isEmpty() ? frame : QByteArray();
}

LineWriter::LineWriter(SerialPort &port, int baud, QObject *parent)
    : QObject(parent), mPort(port)
{
    mQueue.baud = baud;
    mPace.setSingleShot(true);
    mPace.setTimerType(Qt::PreciseTimer);
    connect(&mPace, &QTimer::timeout, this, &LineWriter::pump);
    mRetry.setSingleShot(true);
    mRetry.setInterval(retryMs);
    connect(&mRetry, &QTimer::timeout, this, &LineWriter::pump);
    mStallTimer.setSingleShot(true);
    mStallTimer.setInterval(stallMs);
    connect(&mStallTimer, &QTimer::timeout, this, [this] {
        mStalled = true;
        emit stalled(true);
    });

    const auto fd = port.descriptor();
    if (fd != -1) {
        mWritable = new QSocketNotifier(fd, QSocketNotifier::Write, this);
        mWritable->setEnabled(false);
        connect(mWritable, &QSocketNotifier::activated, this, &LineWriter::pump);
        // A read watch also wakes on hang-up and errors: how a pulled adapter
        // shows between writes.
        mHangUp = new QSocketNotifier(fd, QSocketNotifier::Read, this);
        connect(mHangUp, &QSocketNotifier::activated, this, &LineWriter::checkLine);
    } else {
        mWatch.setInterval(watchMs);
        connect(&mWatch, &QTimer::timeout, this, &LineWriter::checkLine);
        mWatch.start();
    }
}

LineWriter::~LineWriter() = default;

void LineWriter::send(const Command &command)
{
    for (const QByteArray &dropped : mQueue.add(command.bytes()))
        emit replaced(commandOf(dropped));
    pump();
}

// Every exit that emits returns at once: the receiver may delete the writer.
void LineWriter::pump()
{
    for (;;) {
        const qint64 now = nowUs();
        const QByteArray bytes = mQueue.due(now);
        if (bytes.isEmpty()) {
            if (mWritable)
                mWritable->setEnabled(false);
            if (mQueue.idle())
                return;
            const qint64 waitUs = mQueue.nextAt() - now;
            mPace.start(int((waitUs + 999) / 1000));
            return;
        }
        const int taken = mPort.writeSome(bytes.constData(), std::size_t(bytes.size()));
        if (taken < 0) {
            stop();
            emit writeFailed();
            return;
        }
        const QByteArray done = mQueue.took(now, taken);
        if (taken > 0) {
            mStallTimer.stop();
            if (mStalled) {
                mStalled = false;
                emit stalled(false);
            }
        }
        if (!done.isEmpty())
            emit sent(commandOf(done));
        if (taken < bytes.size()) {
            waitWritable();
            return;
        }
    }
}

std::vector<LineWriter::Unsent> LineWriter::finish(int ms)
{
    stop();
    const qint64 deadline = nowUs() + ms * 1000LL;
    for (;;) {
        const QByteArray bytes = mQueue.rest.isEmpty()
            ? (mQueue.waiting.empty() ? QByteArray() : mQueue.waiting.front())
            : mQueue.rest;
        if (bytes.isEmpty())
            break;
        const int taken = mPort.writeSome(bytes.constData(), std::size_t(bytes.size()));
        if (taken < 0)
            break;
        mQueue.took(nowUs(), taken);
        if (taken > 0)
            continue;
        if (nowUs() >= deadline)
            break;
        // Not the notifier: no event loop runs any more. A few milliseconds
        // are a byte or two at the line's rate.
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }

    std::vector<Unsent> unsent;
    if (!mQueue.rest.isEmpty())
        unsent.push_back({ commandOf(mQueue.frame), mQueue.frame.size() - mQueue.rest.size() });
    for (const QByteArray &command : mQueue.waiting)
        unsent.push_back({ commandOf(command), 0 });
    mQueue.rest.clear();
    mQueue.waiting.clear();
    return unsent;
}

void LineWriter::waitWritable()
{
    if (!mStallTimer.isActive() && !mStalled)
        mStallTimer.start();
    if (mWritable)
        mWritable->setEnabled(true);
    else
        mRetry.start();
}

void LineWriter::checkLine()
{
    if (mPort.stillConnected())
        return;
    stop();
    emit hungUp();
}

void LineWriter::stop()
{
    mPace.stop();
    mRetry.stop();
    mStallTimer.stop();
    mWatch.stop();
    if (mWritable) {
        mWritable->setEnabled(false);
        mHangUp->setEnabled(false);
    }
}
