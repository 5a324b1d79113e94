// SPDX-FileCopyrightText: 2026 The Lumivane developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "lumivanemainwindow.h"

#include "timetabledialog.h"

#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QLocale>
#include <QMessageBox>
#include <QPushButton>
#include <QSaveFile>
#include <QStatusBar>

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

} // namespace

// The clock's fire() and a changed file reach the window here; the menu's
// Timetable... lives further down.
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
}

// Reads the timetable file whole; returns what is wrong with it, naming the
// file and the line, or an empty string and sets `table`.
QString LumivaneMainWindow::readTimetable(Timetable::Table &table, QByteArray &bytes) const
{
    const QString name = QDir::toNativeSeparators(mTimetableFile);
    QFile file(mTimetableFile);
    if (!file.open(QIODevice::ReadOnly))
        return QStringLiteral("Timetable %1: %2").arg(name, file.errorString());
    // One byte past the bound is enough for the parser to refuse it.
    bytes = file.read(Timetable::maxFileBytes + 1);
    if (file.error() != QFileDevice::NoError)
        return QStringLiteral("Timetable %1: %2").arg(name, file.errorString());
    Timetable::Parsed parsed = Timetable::parse(QByteArrayView(bytes));
    if (!parsed.ok())
        return QStringLiteral("Timetable %1, %2").arg(name, parsed.error);
    table = std::move(parsed.table);
    return {};
}

// At start and when switched on: the file read afresh and put in force, with
// catch-up if the settings allow it. Off, nothing runs and nothing is shown.
void LumivaneMainWindow::startTimetable()
{
    watchTimetable();
    if (!mTimetableEnabled || mTimetableFile.isEmpty()) {
        mTimetable.stop();
        showNext();
        return;
    }
    Timetable::Table table;
    const QString error = readTimetable(table, mTimetableBytes);
    if (!error.isEmpty()) {
        // Whatever ran before stays in force; at start that is nothing.
        statusBar()->showMessage(error);
        return;
    }
    mTimetable.start(table, mTimetableCatchUp != Timetable::CatchUp::Off);
    showNext();
}

void LumivaneMainWindow::watchTimetable()
{
    if (const QStringList watched = mTimetableWatch.files() + mTimetableWatch.directories(); !watched.isEmpty())
        mTimetableWatch.removePaths(watched);
    if (!mTimetableEnabled || mTimetableFile.isEmpty())
        return;
    const QFileInfo info(mTimetableFile);
    mTimetableWatch.addPath(info.absolutePath());
    if (info.exists())
        mTimetableWatch.addPath(info.absoluteFilePath());
}

// The file changed on disk: a good new version replaces the one in force
// from now, without firing what has passed today; a bad one is refused and
// the old one stays.
void LumivaneMainWindow::rereadTimetable()
{
    // A file replaced by a rename is no longer watched under its name.
    const QFileInfo info(mTimetableFile);
    if (info.exists() && !mTimetableWatch.files().contains(info.absoluteFilePath()))
        mTimetableWatch.addPath(info.absoluteFilePath());
    if (!mTimetableEnabled || mTimetableFile.isEmpty())
        return;
    QFile file(mTimetableFile);
    // A change elsewhere in the folder, or the same bytes written again,
    // leaves everything as it is, a refused file's message included.
    if (file.open(QIODevice::ReadOnly) && file.read(Timetable::maxFileBytes + 1) == mTimetableBytes)
        return;
    Timetable::Table table;
    QByteArray bytes;
    const QString error = readTimetable(table, bytes);
    mTimetableBytes = bytes;
    if (!error.isEmpty()) {
        statusBar()->showMessage(error + QStringLiteral("; the timetable in force stays."));
        return;
    }
    if (mTimetable.running() && table == mTimetable.table())
        return;
    mTimetable.start(table, false);
    showNext();
    statusBar()->showMessage(QStringLiteral("Timetable %1 read anew").arg(QDir::toNativeSeparators(mTimetableFile)),
                             statusMessageMs);
}

// Through the operator's own slots, as a remote command goes; never a box.
void LumivaneMainWindow::fireTimetable(const Timetable::Occurrence &occurrence, bool catchUp)
{
    const int line = occurrence.entry.line;
    dispatch(remoteCommand(occurrence.entry.action),
             { QStringLiteral("timetable"),
               (catchUp ? QStringLiteral("catch-up line %1") : QStringLiteral("timetable line %1")).arg(line),
               QStringLiteral("A command from the timetable (line %1)").arg(line) });
    if (mPort)
        mTimetableOwed.reset();
    else
        mTimetableOwed = OwedFire { occurrence, catchUp };
}

// The port has opened: what the timetable could not send is sent now, if
// the timetable still runs and nothing was sent in the meantime.
void LumivaneMainWindow::fireTimetableOwed()
{
    if (const std::optional<OwedFire> owed = std::exchange(mTimetableOwed, std::nullopt);
        owed && mPort && mTimetable.running())
        fireTimetable(owed->occurrence, owed->catchUp);
}

// "Mon 20:00", or with the date when it is more than six days off; the
// seconds only where the entry has them.
QString LumivaneMainWindow::nextWhen(const QDateTime &at) const
{
    const QDateTime local = at.toTimeZone(mTimetable.zone());
    const QDateTime now = QDateTime::currentDateTime().toTimeZone(mTimetable.zone());
    QString format = local.date().daysTo(now.date()) < -6 ? QStringLiteral("ddd d MMM HH:mm")
                                                            : QStringLiteral("ddd HH:mm");
    if (local.time().second() != 0)
        format += QStringLiteral(":ss");
    return QLocale::c().toString(local, format);
}

// Nothing while the timetable is off; while it runs, what it does next.
void LumivaneMainWindow::showNext()
{
    const QList<Timetable::Occurrence> &upcoming = mTimetable.upcoming();
    mNextLabel->setVisible(mTimetable.running());
    if (upcoming.isEmpty()) {
        mNextLabel->setText(QStringLiteral("Next: nothing"));
        return;
    }
    // At one instant the last line is what stays in force.
    const Timetable::Occurrence &last = upcoming.constLast();
    mNextLabel->setText(QStringLiteral("Next: %1 · %2").arg(actionText(last.entry.action), nextWhen(last.at)));
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
