// SPDX-FileCopyrightText: 2026 The Lumivane developers
// SPDX-License-Identifier: GPL-3.0-or-later

// The timetable as it runs: its file watched and read, the version in force
// or the last good one, what it fires, what it owes while no port is open.

#include "panel.h"

#include "files/regularfile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QSaveFile>

#include <cstdio>

namespace {


// "Show 12", "Brightness 40%", "Off": as short as the status bar wants it.
QString actionText(const Timetable::Action &action)
{
    switch (action.kind) {
    case Timetable::Action::Kind::Show:
        return QStringLiteral("Show %1").arg(action.value);
    case Timetable::Action::Kind::Brightness:
        return QStringLiteral("Brightness %1%").arg(action.value);
    case Timetable::Action::Kind::Off:
        break;
    }
    return QStringLiteral("Off");
}

// Beside the journal, in the program's own data folder.
QString lastGoodPath()
{
    return Journal::defaultFolder() + QStringLiteral("/timetable-last-good.txt");
}

} // namespace

Command Panel::commandFor(const Timetable::Action &action)
{
    switch (action.kind) {
    case Timetable::Action::Kind::Show:
        return Command::show(action.value);
    case Timetable::Action::Kind::Brightness:
        return brightnessFor(action.value);
    case Timetable::Action::Kind::Off:
        break;
    }
    return Command::off();
}

void Panel::setTimetable(const QString &file, bool enabled, Timetable::CatchUp catchUp)
{
    mTimetableFile = file;
    mTimetableEnabled = enabled;
    mTimetableCatchUp = catchUp;
    store(Settings::timetableFile, file);
    store(Settings::timetableEnabled, enabled);
    store(Settings::timetableCatchUp, Timetable::catchUpText(catchUp));
    startTimetable();
}

// Reads a timetable file whole; returns what is wrong with it, naming the
// line, or an empty string and sets `table`. `bytes` is what was read, and
// nothing when the file could not be read.
QString Panel::readTimetable(const QString &fileName, Timetable::Table &table,
                                          std::optional<QByteArray> &bytes)
{
    bytes.reset();
    QByteArray read;
    // One byte past the bound is enough for the parser to refuse it.
    if (QString why = readRegularFile(fileName, Timetable::maxFileBytes + 1, read); !why.isEmpty())
        return why;
    bytes = read;
    Timetable::Parsed parsed = Timetable::parse(QByteArrayView(read));
    if (!parsed.ok())
        return parsed.error;
    table = std::move(parsed.table);
    return {};
}

// At start, when switched on and after the editor saved: the file read
// afresh and put in force. Off, nothing runs and nothing is shown.
void Panel::startTimetable()
{
    watchTimetable();
    if (!mTimetableEnabled || mTimetableFile.isEmpty()) {
        mTimetable.stop();
        mTimetableOwes = {};
        mTimetableRefused.clear();
        emit timetableChanged();
        return;
    }
    Timetable::Table table;
    const QString error = readTimetable(mTimetableFile, table, mTimetableBytes);
    if (error.isEmpty())
        putTimetableInForce(table);
    else
        refuseTimetable(error);
}

// What is watched is the file and the nearest folder of its path that
// exists, so that a folder made, or a stick or share mounted, after the
// start is seen as it comes.
void Panel::watchTimetable()
{
    if (const QStringList watched = mTimetableWatch.files() + mTimetableWatch.directories(); !watched.isEmpty())
        mTimetableWatch.removePaths(watched);
    if (!mTimetableEnabled || mTimetableFile.isEmpty()) {
        mTimetablePoll.stop();
        return;
    }
    const QFileInfo info(mTimetableFile);
    QString folder = info.absolutePath();
    while (!QFileInfo(folder).isDir()) {
        const QString parent = QFileInfo(folder).absolutePath();
        if (parent == folder)
            break;
        folder = parent;
    }
    mTimetableWatch.addPath(folder);
    if (info.exists())
        mTimetableWatch.addPath(info.absoluteFilePath());
    if (info.isFile())
        mTimetablePoll.stop();
    else if (!mTimetablePoll.isActive())
        mTimetablePoll.start();
}

// The file or its folder changed, or the file is looked for: a good new
// version replaces the one in force from now, without firing what has
// passed; a bad one is refused and the one in force stays.
void Panel::rereadTimetable()
{
    watchTimetable();
    if (!mTimetableEnabled || mTimetableFile.isEmpty())
        return;
    Timetable::Table table;
    std::optional<QByteArray> bytes;
    const QString error = readTimetable(mTimetableFile, table, bytes);
    // A change elsewhere in the folder, or the same bytes written again,
    // leaves everything as it is, a refused file's mark included.
    if (bytes == mTimetableBytes && error == mTimetableRefused)
        return;
    mTimetableBytes = bytes;
    if (!error.isEmpty()) {
        refuseTimetable(error);
        return;
    }
    const bool changed = !mTimetable.running() || table != mTimetable.table();
    putTimetableInForce(table);
    if (changed)
        emit message(QStringLiteral("Timetable %1 read anew").arg(QDir::toNativeSeparators(mTimetableFile)), messageMs);
}

// A good version of the file: from now on the one in force, and the copy
// that runs when the file cannot be read. A timetable that comes into force
// where none was catches up as at start; one that replaces another does not.
void Panel::putTimetableInForce(const Timetable::Table &table)
{
    const bool wasRunning = mTimetable.running();
    mTimetableVersion = QFileInfo(mTimetableFile).lastModified();
    mTimetableRefused.clear();
    keepLastGood();
    if (wasRunning && table == mTimetable.table()) {
        emit timetableChanged();
        return;
    }
    mTimetable.start(table, !wasRunning && mTimetableCatchUp != Timetable::CatchUp::Off);
    emit timetableChanged();
}

void Panel::keepLastGood()
{
    if (!mTimetableBytes)
        return;
    QByteArray kept;
    if (readRegularFile(lastGoodPath(), Timetable::maxFileBytes + 1, kept).isEmpty() && kept == *mTimetableBytes)
        return;
    QDir().mkpath(Journal::defaultFolder());
    QSaveFile copy(lastGoodPath());
    if (!copy.open(QIODevice::WriteOnly) || copy.write(*mTimetableBytes) != mTimetableBytes->size()
        || !copy.commit()) {
        std::fprintf(stderr, "lumivane: could not keep a copy of the timetable in %s: %s\n",
                     qPrintable(QDir::toNativeSeparators(lastGoodPath())), qPrintable(copy.errorString()));
        return;
    }
    // The copy carries the file's own time, which is what "the version of"
    // names when it runs in the file's place.
    QFile written(lastGoodPath());
    if (written.open(QIODevice::ReadWrite))
        written.setFileTime(mTimetableVersion, QFileDevice::FileModificationTime);
}

// The file cannot be read or is not a timetable. What is in force stays;
// where nothing is, the last good version runs, read from its copy. Said
// once for each new reason, in the journal and on standard error, and for as
// long as it lasts beside the next entry.
void Panel::refuseTimetable(const QString &error)
{
    const bool told = error == mTimetableRefused;
    mTimetableRefused = error;
    if (!told) {
        const QString what = QStringLiteral("timetable file %1, %2")
                                 .arg(QDir::toNativeSeparators(mTimetableFile), error);
        write(QByteArray(), QStringLiteral("timetable"), QStringLiteral("refused: ") + what);
        std::fprintf(stderr, "lumivane: refused: %s\n", qPrintable(what));
        std::fflush(stderr);
    }
    if (!mTimetable.running()) {
        Timetable::Table table;
        std::optional<QByteArray> copyBytes;
        if (readTimetable(lastGoodPath(), table, copyBytes).isEmpty()) {
            mTimetableVersion = QFileInfo(lastGoodPath()).lastModified();
            mTimetable.start(table, mTimetableCatchUp != Timetable::CatchUp::Off);
        }
    }
    emit timetableChanged();
}

// Dispatched as any other source's command is; never a box.
// Catch-up with "missed" sends nothing that went out already, nor what a
// later command of the same channel has overridden, from whatever source.
void Panel::fireTimetable(const Timetable::Occurrence &occurrence, bool catchUp)
{
    if (catchUp && mTimetableCatchUp == Timetable::CatchUp::Missed) {
        const QDateTime last = mSentRecord.last(Timetable::channelOf(occurrence.entry.action));
        if (last.isValid() && last >= occurrence.at)
            return;
    }
    sendTimetable(occurrence, catchUp);
}

void Panel::sendTimetable(const Timetable::Occurrence &occurrence, bool catchUp)
{
    dispatch(commandFor(occurrence.entry.action), Source::timetable(occurrence.entry.line, occurrence.entry.note, catchUp));
    // Refused for want of a port: owed until the port opens, unless
    // something asked later for the same channel first.
    if (!mPort)
        mTimetableOwes[int(Timetable::channelOf(occurrence.entry.action))] = true;
}

// A command of this channel was asked for, or queued: what the timetable
// owes of it is settled. Its own refusal for want of a port settles nothing.
void Panel::settleTimetableOwed(const Command &command, const Source &source, bool queued)
{
    if (queued || !source.fromTimetable())
        mTimetableOwes[int(command.channel())] = false;
}

// The port has opened: for each channel the timetable could not send, what
// the table in force says now, if it still runs.
void Panel::fireTimetableOwed()
{
    const std::array<bool, 2> owes = std::exchange(mTimetableOwes, {});
    if (!mPort || !mTimetable.running())
        return;
    for (const Timetable::Occurrence &occurrence :
         Timetable::catchUp(mTimetable.table(), mTimetable.zone(), mTimetable.now())) {
        if (owes[int(Timetable::channelOf(occurrence.entry.action))])
            sendTimetable(occurrence, true);
    }
}

void Panel::saveSentRecord()
{
    mSentRecordSave.stop();
    if (!mSentRecord.changed())
        return;
    mSentRecordSaved.start();
    if (const QString failure = mSentRecord.save(); !failure.isEmpty())
        std::fprintf(stderr, "lumivane: could not record what was sent in %s: %s\n",
                     qPrintable(QDir::toNativeSeparators(mSentRecord.filePath())), qPrintable(failure));
}

// "Mon 20:00", or with the date when it is more than six days off; the
// seconds only where the entry has them.
QString Panel::nextWhen(const QDateTime &at) const
{
    const QDateTime local = at.toTimeZone(mTimetable.zone());
    const QDateTime now = mTimetable.now().toTimeZone(mTimetable.zone());
    QString format = local.date().daysTo(now.date()) < -6 ? QStringLiteral("ddd d MMM HH:mm")
                                                            : QStringLiteral("ddd HH:mm");
    if (local.time().second() != 0)
        format += QStringLiteral(":ss");
    return QLocale::c().toString(local, format);
}

// Nothing while the timetable is off; while it runs, what it does next, and
// in which zone its times are. A show is named as the last command names it.
StatusText Panel::nextText() const
{
    if (!mTimetable.running())
        return {};
    const QList<Timetable::Occurrence> &upcoming = mTimetable.upcoming();
    const QString zone = QString::fromUtf8(mTimetable.zone().id());
    const QString tip = mTimetable.table().zone.isEmpty()
        ? QStringLiteral("The timetable's times are in this computer's zone, %1.").arg(zone)
        : QStringLiteral("The timetable's times are in its own zone, %1.").arg(zone);
    if (upcoming.isEmpty())
        return { true, QStringLiteral("Next: nothing"), tip };
    // At one instant the last line is what stays in force.
    const Timetable::Occurrence &last = upcoming.constLast();
    const Timetable::Action &action = last.entry.action;
    const QString what = action.kind == Timetable::Action::Kind::Show ? describe(commandFor(action))
                                                                        : actionText(action);
    // The zone's short name, which the status bar has room for; its full
    // name is in the tooltip.
    return { true,
             QStringLiteral("Next: %1 · %2 %3").arg(what, nextWhen(last.at), mTimetable.zone().abbreviation(last.at)),
             tip };
}

// Lasting, where the next entry is told, until a good file is read.
StatusText Panel::timetableMark() const
{
    if (mTimetableRefused.isEmpty())
        return {};
    // The reason's first words: "line 4", or the system's "No such file or
    // directory".
    const QString reason = mTimetableRefused.section(u':', 0, 0);
    const QString what = reason.startsWith(QStringLiteral("line ")) ? reason + QStringLiteral(" refused") : reason;
    const QString running = mTimetable.running()
        ? QStringLiteral("running the version of %1")
              .arg(QLocale::c().toString(mTimetableVersion, QStringLiteral("d MMM HH:mm")))
        : QStringLiteral("nothing runs");
    return { true, QStringLiteral("Timetable: %1, %2").arg(what, running),
             QStringLiteral("%1: %2").arg(QDir::toNativeSeparators(mTimetableFile), mTimetableRefused) };
}

// For the state reply: "show 12 2026-12-14T20:00:00", local time; empty
// while the timetable is off or nothing comes.
QByteArray Panel::nextForState() const
{
    const QList<Timetable::Occurrence> &upcoming = mTimetable.upcoming();
    if (upcoming.isEmpty())
        return {};
    const Timetable::Occurrence &last = upcoming.constLast();
    const QString when = last.at.toTimeZone(mTimetable.zone()).toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss"));
    return Timetable::formatAction(last.entry.action).toUtf8() + ' ' + when.toUtf8();
}
