// SPDX-FileCopyrightText: 2026 The Lumivane developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "panel.h"

#include "link/commands.h"
#include "link/linewriter.h"
#include "remote/textcommand.h"

#ifdef LUMIVANE_REMOTE_LINKED
#include "remote/remoteserver.h"
#else
#include "modulepath.h"

#include <QLibrary>
#endif

#include <cstdio>

namespace {


#ifndef LUMIVANE_REMOTE_LINKED
// Stands for the server when its module cannot be loaded: remote control
// says why and listens nowhere; the rest of the program runs as ever.
class Unavailable : public RemoteListener
{
public:
    explicit Unavailable(const QString &why)
        : mStatus(QStringLiteral("Not available: ") + why)
    {
    }
    void configure(const RemoteConfig &) override {}
    bool listening() const override { return false; }
    QString status() const override { return mStatus; }
    bool portInUse() const override { return false; }
    int ignored() const override { return 0; }
    QList<RemoteRefusal> refusals() const override { return {}; }
    QString allowedFault(const QString &) const override { return {}; }

private:
    QString mStatus;
};
#endif

std::unique_ptr<RemoteListener> newRemoteServer()
{
#ifdef LUMIVANE_REMOTE_LINKED
    return std::make_unique<RemoteServer>();
#else
    // Never unloaded: the server lives as long as the program.
    QLibrary module(modulePath(QStringLiteral("remote")));
    using Factory = RemoteListener *(*)();
    if (auto make = reinterpret_cast<Factory>(module.resolve(LUMIVANE_REMOTE_FACTORY)))
        return std::unique_ptr<RemoteListener>(make());
    return std::make_unique<Unavailable>(module.errorString());
#endif
}

RemoteCommand remoteReply(const Command &queued)
{
    switch (queued.kind) {
    case Command::Kind::Show:
        return { RemoteCommand::Kind::Show, double(queued.value) };
    case Command::Kind::Brightness:
        return { RemoteCommand::Kind::Brightness, double(Commands::levelPercent(queued.value)) };
    case Command::Kind::Off:
        break;
    }
    return { RemoteCommand::Kind::Off, 0 };
}

} // namespace

Panel::Panel(QObject *parent)
    : QObject(parent)
{
    mLastCommandLine = mSentLine = QString::fromUtf8(LinkState::nothingSent);
    for (int id = 0; id < int(mShowNames.size()); ++id)
        mShowNames[std::size_t(id)] = QStringLiteral("Show %1").arg(id + 1);
    mPortWatch.setInterval(1000);
    connect(&mPortWatch, &QTimer::timeout, this, &Panel::lookForPort);

    connect(&mTimetable, &TimetableClock::fire, this, &Panel::fireTimetable);
    connect(&mTimetable, &TimetableClock::upcomingChanged, this, &Panel::timetableChanged);
    // An editor saves by writing a new file and renaming it over the old one,
    // and a copy over a network share may come in pieces: the folder is
    // watched as well as the file, and a burst of changes read once.
    mTimetableReread.setSingleShot(true);
    mTimetableReread.setInterval(200);
    connect(&mTimetableWatch, &QFileSystemWatcher::fileChanged, &mTimetableReread, qOverload<>(&QTimer::start));
    connect(&mTimetableWatch, &QFileSystemWatcher::directoryChanged, &mTimetableReread, qOverload<>(&QTimer::start));
    connect(&mTimetableReread, &QTimer::timeout, this, &Panel::rereadTimetable);
    // A share mounted over a folder that was already there, or a file system
    // that tells no watcher, is seen by looking.
    mTimetablePoll.setInterval(timetablePollMs);
    connect(&mTimetablePoll, &QTimer::timeout, this, &Panel::rereadTimetable);
    mSentRecordSave.setSingleShot(true);
    connect(&mSentRecordSave, &QTimer::timeout, this, &Panel::saveSentRecord);
}

Panel::~Panel()
{
    end();
}

const Settings::Values &Panel::start()
{
    mSettings = Settings::Values::read();
    mPortName = mSettings.text(Settings::serialPort);
    if (mPortName.isEmpty())
        mPortName = PortList::fixedNames().constFirst();
    // Nothing listens unless the operator turned it on, plainly.
    mRemoteConfig.enabled = mSettings.flag(Settings::remoteEnabled);
    mRemoteConfig.port = mSettings.number(Settings::remotePort);
    mRemoteConfig.fromOtherComputers = mSettings.flag(Settings::remoteFromOtherComputers);
    mRemoteConfig.allowed = mSettings.text(Settings::remoteAllowed);
    // A word that is neither on nor off leaves the controls reachable: a
    // lock nobody can see set must not keep the operator out of Setup.
    mLocked = mSettings.flag(Settings::locked);
    mRepeatGuardMs = mSettings.number(Settings::repeatGuardMs);
    // A timetable fires only when plainly switched on.
    mTimetableFile = mSettings.text(Settings::timetableFile);
    mTimetableEnabled = mSettings.flag(Settings::timetableEnabled);
    mTimetableCatchUp = Timetable::catchUpFromText(mSettings.text(Settings::timetableCatchUp))
                            .value_or(Timetable::CatchUp::Missed);
    // Read once a run, so said once.
    if (const QStringList misread = mSettings.misread(); !misread.isEmpty())
        emit message(QStringLiteral("Settings: ") + misread.join(QStringLiteral("; ")), 0);
    emit lockedChanged(mLocked);

    openPortQuietly();
    // Off, it stays unloaded until the operator opens its dialog.
    if (mRemoteConfig.enabled)
        remote().configure(mRemoteConfig);
    emit remoteChanged();
    if (mRemoteConfig.enabled && !remote().listening())
        emit message(QStringLiteral("Remote control: ") + remote().status(), messageMs);
    startTimetable();
    return mSettings;
}

// Each write touches only its own key: another copy of the program on the
// same settings may have stored another one since this copy started.
void Panel::store(const char *key, const QVariant &value)
{
    const QString failure = Settings::store(key, value);
    // The choice still holds for this run; say once that it will not last.
    if (!failure.isEmpty() && !mSettingsFailed)
        emit message(QStringLiteral("Could not store the settings in ") + failure, messageMs);
    mSettingsFailed = !failure.isEmpty();
}

void Panel::setLocked(bool locked)
{
    mLocked = locked;
    store(Settings::locked, locked);
    emit lockedChanged(locked);
}

void Panel::setRepeatGuardMs(int ms)
{
    mRepeatGuardMs = ms;
    store(Settings::repeatGuardMs, ms);
}

QString Panel::describe(const Command &command) const
{
    return LinkState::describe(command, [this](int id) { return showName(id); });
}

RemoteListener &Panel::remote()
{
    if (!mRemote) {
        mRemote = newRemoteServer();
        mRemote->execute = [this](const RemoteCommand &command, const QString &peer) {
            return runRemote(command, peer);
        };
        mRemote->refused = [this](const QString &peer, const QString &reason) {
            journalRemoteRefusal(peer, reason);
        };
    }
    return *mRemote;
}

void Panel::setRemoteConfig(const RemoteConfig &config)
{
    const RemoteConfig was = std::exchange(mRemoteConfig, config);
    if (config.enabled != was.enabled)
        store(Settings::remoteEnabled, config.enabled);
    if (config.port != was.port)
        store(Settings::remotePort, config.port);
    if (config.fromOtherComputers != was.fromOtherComputers)
        store(Settings::remoteFromOtherComputers, config.fromOtherComputers);
    if (config.allowed != was.allowed)
        store(Settings::remoteAllowed, config.allowed);
    remote().configure(config);
    emit remoteChanged();
}

// Nothing at all while remote control is off; while it is on, whether it
// listens, and where or why not in the tooltip.
StatusText Panel::remoteText()
{
    if (!mRemoteConfig.enabled)
        return {};
    const QString text = remote().listening() ? QStringLiteral("Remote: on")
        : remote().portInUse()                ? QStringLiteral("Remote: port %1 in use").arg(mRemoteConfig.port)
                                              : QStringLiteral("Remote: not listening");
    return { true, text, remote().status() };
}

// Recorded as the timetable records its refusals: no command, the reason
// in the outcome, in the journal and on standard error.
void Panel::journalRemoteRefusal(const QString &peer, const QString &reason)
{
    const QString source = peer.isEmpty() ? QStringLiteral("remote") : QStringLiteral("remote ") + peer;
    write(QByteArray(), source, QStringLiteral("refused: ") + reason);
    // What a sender wrote must not reach the terminal as control codes.
    QByteArray text = reason.toUtf8();
    for (char &c : text) {
        if (uchar(c) < 0x20 || c == 0x7f)
            c = '?';
    }
    std::fprintf(stderr, "lumivane: %s refused: %s\n", qPrintable(source), text.constData());
    std::fflush(stderr);
}

// The reply is the remote protocol's, "ok ..." or "error: ...".
QByteArray Panel::runRemote(const RemoteCommand &command, const QString &peer)
{
    return run(command, Source::remote(peer));
}

QByteArray Panel::run(const RemoteCommand &command, const Source &source)
{
    if (command.kind == RemoteCommand::Kind::State)
        return TextCommand::state(mPlayerShow, mPlayerBrightness, link().text, nextForState());
    Command asked = Command::off();
    if (command.kind == RemoteCommand::Kind::Show)
        asked = Command::show(int(command.value));
    else if (command.kind == RemoteCommand::Kind::Brightness)
        asked = brightnessFor(command.value);
    const Outcome outcome = dispatch(asked, source);
    switch (outcome.refusal) {
    case Outcome::Refusal::None:
        return TextCommand::done(remoteReply(outcome.command));
    case Outcome::Refusal::NoPort:
        return TextCommand::noPort(mPortName, linkReason());
    case Outcome::Refusal::Guard:
        break;
    }
    return TextCommand::refused(outcome.why);
}
