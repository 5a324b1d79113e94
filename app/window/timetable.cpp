// SPDX-FileCopyrightText: 2026 The Lumivane developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "lumivanemainwindow.h"

#include "link/commands.h"
#include "regularfile.h"
#include "statusline.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QLocale>
#include <QSaveFile>
#include <QStatusBar>

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

RemoteCommand remoteCommand(const Timetable::Action &action)
{
    switch (action.kind) {
    case Timetable::Action::Kind::Show:
        return { RemoteCommand::Kind::Show, double(action.value) };
    case Timetable::Action::Kind::Brightness:
        return { RemoteCommand::Kind::Brightness, double(action.value) };
    case Timetable::Action::Kind::Off:
        break;
    }
    return { RemoteCommand::Kind::Off, 0 };
}

// The line's brightness command sets one of the player's states; a show and
// Off set the other.
Timetable::Channel channelOfCommand(const QByteArray &command)
{
    return command.startsWith("X02") ? Timetable::Channel::Brightness : Timetable::Channel::Playing;
}

// Beside the journal, in the program's own data folder.
QString lastGoodPath()
{
    return Journal::defaultFolder() + QStringLiteral("/timetable-last-good.txt");
}

} // namespace

// The clock's fire() and a changed file reach the window here; the menu's
// Timetable... is in timetableeditor.cpp.
void LumivaneMainWindow::createTimetable()
{
    connect(&mTimetable, &TimetableClock::fire, this, &LumivaneMainWindow::fireTimetable);
    connect(&mTimetable, &TimetableClock::upcomingChanged, this, &LumivaneMainWindow::showNext);
    // An editor saves by writing a new file and renaming it over the old one,
    // and a copy over a network share may come in pieces: the folder is
    // watched as well as the file, and a burst of changes read once.
    mTimetableReread.setSingleShot(true);
    mTimetableReread.setInterval(200);
    connect(&mTimetableWatch, &QFileSystemWatcher::fileChanged, &mTimetableReread, qOverload<>(&QTimer::start));
    connect(&mTimetableWatch, &QFileSystemWatcher::directoryChanged, &mTimetableReread, qOverload<>(&QTimer::start));
    connect(&mTimetableReread, &QTimer::timeout, this, &LumivaneMainWindow::rereadTimetable);
    // A share mounted over a folder that was already there, or a file system
    // that tells no watcher, is seen by looking.
    mTimetablePoll.setInterval(timetablePollMs);
    connect(&mTimetablePoll, &QTimer::timeout, this, &LumivaneMainWindow::rereadTimetable);
    mSentRecordSave.setSingleShot(true);
    connect(&mSentRecordSave, &QTimer::timeout, this, &LumivaneMainWindow::saveSentRecord);
}

// Reads a timetable file whole; returns what is wrong with it, naming the
// line, or an empty string and sets `table`. `bytes` is what was read, and
// nothing when the file could not be read.
QString LumivaneMainWindow::readTimetable(const QString &fileName, Timetable::Table &table,
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
void LumivaneMainWindow::startTimetable()
{
    watchTimetable();
    if (!mTimetableEnabled || mTimetableFile.isEmpty()) {
        mTimetable.stop();
        mTimetableOwes = {};
        mTimetableRefused.clear();
        showTimetableMark();
        showNext();
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
void LumivaneMainWindow::watchTimetable()
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
void LumivaneMainWindow::rereadTimetable()
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
        statusBar()->showMessage(
            QStringLiteral("Timetable %1 read anew").arg(QDir::toNativeSeparators(mTimetableFile)), statusMessageMs);
}

// A good version of the file: from now on the one in force, and the copy
// that runs when the file cannot be read. A timetable that comes into force
// where none was catches up as at start; one that replaces another does not.
void LumivaneMainWindow::putTimetableInForce(const Timetable::Table &table)
{
    const bool wasRunning = mTimetable.running();
    mTimetableVersion = QFileInfo(mTimetableFile).lastModified();
    mTimetableRefused.clear();
    keepLastGood();
    showTimetableMark();
    if (wasRunning && table == mTimetable.table()) {
        showNext();
        return;
    }
    mTimetable.start(table, !wasRunning && mTimetableCatchUp != Timetable::CatchUp::Off);
    showNext();
}

void LumivaneMainWindow::keepLastGood()
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
void LumivaneMainWindow::refuseTimetable(const QString &error)
{
    const bool told = error == mTimetableRefused;
    mTimetableRefused = error;
    if (!told) {
        const QString what = QStringLiteral("timetable file %1, %2")
                                 .arg(QDir::toNativeSeparators(mTimetableFile), error);
        journal(QByteArray(), QStringLiteral("timetable"), QStringLiteral("refused: ") + what);
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
    showTimetableMark();
    showNext();
}

// Through the operator's own slots, as a remote command goes; never a box.
// Catch-up with "missed" sends nothing that went out already, nor what a
// later command of the same channel has overridden, from whatever source.
void LumivaneMainWindow::fireTimetable(const Timetable::Occurrence &occurrence, bool catchUp)
{
    if (catchUp && mTimetableCatchUp == Timetable::CatchUp::Missed) {
        const QDateTime last = mSentRecord.last(Timetable::channelOf(occurrence.entry.action));
        if (last.isValid() && last >= occurrence.at)
            return;
    }
    sendTimetable(occurrence, catchUp);
}

void LumivaneMainWindow::sendTimetable(const Timetable::Occurrence &occurrence, bool catchUp)
{
    const int line = occurrence.entry.line;
    dispatch(remoteCommand(occurrence.entry.action),
             { QStringLiteral("timetable"),
               (catchUp ? QStringLiteral("catch-up line %1") : QStringLiteral("timetable line %1")).arg(line),
               QStringLiteral("A command from the timetable (line %1)").arg(line), occurrence.entry.note });
    // Refused for want of a port: owed until the port opens, unless
    // something asked later for the same channel first.
    if (!mPort)
        mTimetableOwes[int(Timetable::channelOf(occurrence.entry.action))] = true;
}

// A command of this channel was asked for, or queued: what the timetable
// owes of it is settled. Its own refusal for want of a port settles nothing.
void LumivaneMainWindow::settleTimetableOwed(const QByteArray &command, bool queued)
{
    if (queued || mCommandSource.label != QStringLiteral("timetable"))
        mTimetableOwes[int(channelOfCommand(command))] = false;
}

// The port has opened: for each channel the timetable could not send, what
// the table in force says now, if it still runs.
void LumivaneMainWindow::fireTimetableOwed()
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

// Of the timetable's commands, those that a later one of the same kind
// replaced in the line's queue are named too: each occurrence is accounted for.
void LumivaneMainWindow::journalReplaced(const QByteArray &command)
{
    const JournalSource known = mJournalSources.value(command);
    if (known.source.startsWith(QStringLiteral("timetable ")) || known.source.startsWith(QStringLiteral("catch-up ")))
        journal(command, known.source, QStringLiteral("replaced"), known.note);
}

// What went out is recorded for the next start's catch-up: at once, or, in
// a drag's stream of commands, a second after the last write at most.
void LumivaneMainWindow::noteSentForCatchUp(const QByteArray &command)
{
    mSentRecord.note(channelOfCommand(command), QDateTime::currentDateTimeUtc());
    if (!mSentRecordSave.isActive())
        mSentRecordSave.start(mSentRecordSaved.isValid() && !mSentRecordSaved.hasExpired(1000) ? 1000 : 0);
}

void LumivaneMainWindow::saveSentRecord()
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
QString LumivaneMainWindow::nextWhen(const QDateTime &at) const
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
void LumivaneMainWindow::showNext()
{
    const QList<Timetable::Occurrence> &upcoming = mTimetable.upcoming();
    mNextLabel->setVisible(mTimetable.running());
    const QString zone = QString::fromUtf8(mTimetable.zone().id());
    const QString tip = mTimetable.table().zone.isEmpty()
        ? QStringLiteral("The timetable's times are in this computer's zone, %1.").arg(zone)
        : QStringLiteral("The timetable's times are in its own zone, %1.").arg(zone);
    if (upcoming.isEmpty()) {
        mNextLabel->setWhole(QStringLiteral("Next: nothing"), tip);
        return;
    }
    // At one instant the last line is what stays in force.
    const Timetable::Occurrence &last = upcoming.constLast();
    const Timetable::Action &action = last.entry.action;
    const QString what = action.kind == Timetable::Action::Kind::Show
        ? describeCommand(Commands::startShow(action.value - 1))
        : actionText(action);
    // The zone's short name, which the status bar has room for; its full
    // name is in the tooltip.
    mNextLabel->setWhole(QStringLiteral("Next: %1 · %2 %3")
                             .arg(what, nextWhen(last.at), mTimetable.zone().abbreviation(last.at)),
                         tip);
}

// For the state reply: "show 12 2026-12-14T20:00:00", local time; empty
// while the timetable is off or nothing comes.
QByteArray LumivaneMainWindow::nextForState() const
{
    const QList<Timetable::Occurrence> &upcoming = mTimetable.upcoming();
    if (upcoming.isEmpty())
        return {};
    const Timetable::Occurrence &last = upcoming.constLast();
    const QString when = last.at.toTimeZone(mTimetable.zone()).toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss"));
    return Timetable::formatAction(last.entry.action).toUtf8() + ' ' + when.toUtf8();
}
