// SPDX-FileCopyrightText: 2026 The Lumivane developers
// SPDX-License-Identifier: GPL-3.0-or-later

// The one way to the line: the guard, the port, the journal and the
// last-command line, for every source.

#include "panel.h"

#include "link/commands.h"
#include "link/linewriter.h"

#include <QDateTime>
#include <QTime>

Command Panel::brightnessFor(double percent)
{
    const int value = Commands::sliderValueForPercent(percent, Commands::brightnessMaximum);
    return Command::brightness(Commands::brightnessLevel(value, Commands::brightnessMaximum));
}

// A command that no hand at the window chose sends exactly what the same
// click or drag would, and is shown the same way. It never asks for a box:
// nobody at the window asked for it.
Outcome Panel::dispatch(const Command &command, const Source &source)
{
    if (!source.byHand()) {
        // A flood of commands must not try the port, and restyle the
        // indicator, for each one: a port refused is tried again at most
        // once a second.
        if (!mPort && (!mDispatchPortTried.isValid() || mDispatchPortTried.hasExpired(1000))) {
            mDispatchPortTried.start();
            tryPortQuietly();
        }
        if (!mPort) {
            // The operator sees that the player was not reached where the
            // link is; the note changes once a second at most.
            const QString refused = QStringLiteral("%1 was refused at %2: no port is open.")
                                        .arg(source.refusal(), QTime::currentTime().toString(QStringLiteral("HH:mm:ss")));
            if (refused != mRefusedNote) {
                mRefusedNote = refused;
                emit linkChanged();
            }
            refuse(command, source, QStringLiteral("no port"));
            return { Outcome::Refusal::NoPort, QStringLiteral("no port"), command };
        }
    }

    if (command.kind == Command::Kind::Show && command.value >= 1 && command.value <= 128) {
        if (const std::optional<QString> ago = guarded(command.value - 1, source))
            return { Outcome::Refusal::Guard, *ago, command };
    }
    const bool isShow = command.kind == Command::Kind::Show && command.value >= 1 && command.value <= 128;
    if (!queue(command, source)) {
        if (isShow)
            emit showRefused(command.value - 1);
        return { Outcome::Refusal::NoPort, QStringLiteral("no port"), command };
    }
    switch (command.kind) {
    case Command::Kind::Show:
        if (!isShow)
            break;
        // No port after the send: it went while the line took the command.
        // The player never got this show; it is not told as refused, as the
        // line did take it in.
        if (!mPort) {
            emit showRefused(command.value - 1);
            break;
        }
        // Only a start that was queued counts, never one refused.
        mStartedAt[std::size_t(command.value - 1)] = monotonicMs();
        mLastStarted = command.value - 1;
        emit showStarted(command.value - 1);
        break;
    case Command::Kind::Brightness:
        emit brightnessQueued(command.value);
        break;
    case Command::Kind::Off:
        // A start after Off is a new start, however soon it comes: the guard
        // is against starting the show that plays again, and none plays now.
        if (mPort)
            mStartedAt = {};
        break;
    }
    return { Outcome::Refusal::None, {}, command };
}

// Queues a command, or refuses it for want of a port; returns whether it
// was queued.
bool Panel::queue(const Command &command, const Source &source)
{
    // A port there but refused is tried again only here, once per action.
    if (!tryPortQuietly()) {
        refuse(command, source, QStringLiteral("no port"));
        if (mPortLost)
            emit message(QStringLiteral("Could not write to serial port ") + mPortName, messageMs);
        else if (source.byHand())
            emit noPortForHand();
        return false;
    }
    mQueuedSources.insert(command.bytes(), source);
    mLastQueued = command;
    settleTimetableOwed(command, source, true);
    mWriter->send(command);
    if (mStalled && mLastQueued) {
        const Source queuedBy = mQueuedSources.value(mLastQueued->bytes());
        showLastCommand(LinkState::waitingLine(describe(*mLastQueued), queuedBy.label()));
    }
    return true;
}

// Every command that is not queued is refused here, whatever refuses it:
// the journal records it with its source and its short reason.
void Panel::refuse(const Command &command, const Source &source, const QString &why)
{
    settleTimetableOwed(command, source, false);
    write(command.bytes(), source.journal(), QStringLiteral("refused: ") + why, source.note);
    emit refused(command, source, why);
}

// The last byte of the command has gone to the port: what the player now
// does, the line that says it, the journal, and the record that catch-up reads.
void Panel::noteSent(const Command &command)
{
    const Source source = mQueuedSources.value(command.bytes());
    switch (command.kind) {
    case Command::Kind::Show:
        mPlayerShow = command.value;
        break;
    case Command::Kind::Brightness:
        mPlayerBrightness = Commands::levelPercent(command.value);
        break;
    case Command::Kind::Off:
        mPlayerShow = 0;
        break;
    }
    mSentLine = LinkState::sentLine(describe(command), QTime::currentTime(), source.label());
    showLastCommand(mSentLine);
    write(command.bytes(), source.journal(), QStringLiteral("sent"), source.note);
    emit sent(command, source);

    // What went out is recorded for the next start's catch-up: at once, or,
    // in a drag's stream of commands, a second after the last write at most.
    mSentRecord.note(Timetable::Channel(int(command.channel())), QDateTime::currentDateTimeUtc());
    if (!mSentRecordSave.isActive())
        mSentRecordSave.start(mSentRecordSaved.isValid() && !mSentRecordSaved.hasExpired(1000) ? 1000 : 0);
}

void Panel::showLastCommand(const QString &line)
{
    if (line == mLastCommandLine)
        return;
    mLastCommandLine = line;
    emit lastCommandChanged();
}

void Panel::write(const QByteArray &command, const QString &source, const QString &outcome, const QString &note)
{
    const std::optional<Command> read = Command::fromBytes(command);
    const QString name = read && read->kind == Command::Kind::Show && read->value >= 1 && read->value <= 128
        ? showName(read->value - 1)
        : QString();
    const QString failure = mJournal.append({ QDateTime::currentDateTime(), command, name, source, outcome, note });
    // The command itself went its way; only its record is missing.
    if (!failure.isEmpty())
        emit message(QStringLiteral("The journal cannot be written: ") + failure, 0);
}
