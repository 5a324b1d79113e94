// SPDX-FileCopyrightText: 2026 The Lumivane developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "panel.h"

#include "link/commands.h"
#include "link/linewriter.h"
#include "remote/textcommand.h"

#ifdef LUMIVANE_REMOTE_LINKED
#include "remote/remoteserver.h"
#include "web/webserver.h"
#else
#include "modulepath.h"

#include <QLibrary>
#endif

#include <QFileInfo>
#include <QTimer>

#include <cstdio>

namespace {

#ifndef LUMIVANE_REMOTE_LINKED
// Never unloaded: a server lives as long as the program. Made by its
// module's factory, or where the module cannot be loaded, a stand-in that
// says why and listens nowhere; the rest of the program runs as ever.
template <class Listener, class StandIn>
std::unique_ptr<Listener> fromModule(const char *name, const char *factory)
{
    QLibrary module(modulePath(QString::fromLatin1(name)));
    using Factory = Listener *(*)();
    if (auto make = reinterpret_cast<Factory>(module.resolve(factory)))
        return std::unique_ptr<Listener>(make());
    return std::make_unique<StandIn>(module.errorString());
}

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
    return fromModule<RemoteListener, Unavailable>("remote", LUMIVANE_REMOTE_FACTORY);
#endif
}

#ifndef LUMIVANE_REMOTE_LINKED
class WebUnavailable : public WebListener
{
public:
    explicit WebUnavailable(const QString &why)
        : mStatus(QStringLiteral("Not available: ") + why)
    {
    }
    void configure(const WebConfig &) override {}
    bool listening() const override { return false; }
    quint16 port() const override { return 0; }
    QString status() const override { return mStatus; }
    QStringList pageAddresses() const override { return {}; }
    bool portInUse() const override { return false; }
    QString allowedFault(const QString &) const override { return {}; }
    void stateChanged() override {}
    void namesChanged() override {}
    QByteArray hashPassword(const QString &) const override { return {}; }

private:
    QString mStatus;
};
#endif

std::unique_ptr<WebListener> newWebServer()
{
#ifdef LUMIVANE_REMOTE_LINKED
    return std::make_unique<WebServer>();
#else
    return fromModule<WebListener, WebUnavailable>("web", LUMIVANE_WEB_FACTORY);
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
    mWebConfig.enabled = mSettings.flag(Settings::webEnabled);
    mWebConfig.port = mSettings.number(Settings::webPort);
    mWebConfig.fromOtherComputers = mSettings.flag(Settings::webFromOtherComputers);
    mWebConfig.allowed = mSettings.text(Settings::webAllowed);
    mWebConfig.viewOnly = mSettings.flag(Settings::webViewOnly);
    mWebConfig.hostNames = mSettings.text(Settings::webHostNames);
    mWebConfig.passwordSet = !mSettings.text(Settings::webPasswordHash).isEmpty();
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
    if (mWebConfig.enabled)
        web().configure(mWebConfig);
    emit webChanged();
    if (mWebConfig.enabled && !web().listening())
        emit message(QStringLiteral("Browser panel: ") + web().status(), messageMs);
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
            journalRefusal(Source::remote(peer), reason);
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

void Panel::setShowName(int id, const QString &name)
{
    QString &held = mShowNames.at(std::size_t(id));
    if (held == name)
        return;
    held = name;
    // A file's 128 names go to the pages as one change.
    if (mWeb && !mNamesToPush) {
        mNamesToPush = true;
        QTimer::singleShot(0, this, [this] {
            mNamesToPush = false;
            mWeb->namesChanged();
        });
    }
}

WebListener &Panel::web()
{
    if (!mWeb) {
        mWeb = newWebServer();
        mWeb->execute = [this](const RemoteCommand &command, const QString &peer) {
            return run(command, Source::web(peer));
        };
        mWeb->state = [this] { return webState(); };
        mWeb->names = [this] { return QStringList(mShowNames.begin(), mShowNames.end()); };
        // Read again when the settings file changed, so a password set from
        // the command line while the program runs counts at once, and a
        // page's command does not wait for the whole file to be read. The
        // registry has no such time: there, once a second.
        mWeb->passwordHash = [this, file = QFileInfo(Settings::location())]() mutable {
            file.refresh();
            const QDateTime changed = file.exists() ? file.lastModified() : QDateTime();
            if (!mPasswordRead.isValid() || changed != mPasswordFileTime
                || (!file.exists() && mPasswordRead.hasExpired(1000))) {
                mPasswordHash = Settings::Values::read().text(Settings::webPasswordHash).toLatin1();
                mPasswordFileTime = changed;
                mPasswordRead.start();
            }
            return mPasswordHash;
        };
        mWeb->refused = [this](const QString &peer, const QString &reason) {
            journalRefusal(Source::web(peer), reason);
        };
        const auto changed = [this] { mWeb->stateChanged(); };
        connect(this, &Panel::sent, this, changed);
        connect(this, &Panel::linkChanged, this, changed);
        connect(this, &Panel::lockedChanged, this, changed);
        connect(this, &Panel::timetableChanged, this, changed);
    }
    return *mWeb;
}

void Panel::setWebConfig(const WebConfig &config)
{
    const WebConfig was = std::exchange(mWebConfig, config);
    if (config.enabled != was.enabled)
        store(Settings::webEnabled, config.enabled);
    if (config.port != was.port)
        store(Settings::webPort, config.port);
    if (config.fromOtherComputers != was.fromOtherComputers)
        store(Settings::webFromOtherComputers, config.fromOtherComputers);
    if (config.allowed != was.allowed)
        store(Settings::webAllowed, config.allowed);
    if (config.viewOnly != was.viewOnly)
        store(Settings::webViewOnly, config.viewOnly);
    if (config.hostNames != was.hostNames)
        store(Settings::webHostNames, config.hostNames);
    mWebConfig.passwordSet = !Settings::Values::read().text(Settings::webPasswordHash).isEmpty();
    web().configure(mWebConfig);
    emit webChanged();
}

bool Panel::setWebPassword(const QString &password)
{
    const QByteArray hash = password.isEmpty() ? QByteArray() : web().hashPassword(password);
    if (!password.isEmpty() && hash.isEmpty())
        return false;
    store(Settings::webPasswordHash, QString::fromLatin1(hash));
    mPasswordRead.invalidate();
    // Whether other computers may now come in depends on it. A copy: given
    // mWebConfig itself, the exchange there would empty what it compares.
    setWebConfig(WebConfig(mWebConfig));
    return true;
}

StatusText Panel::webText()
{
    if (!mWebConfig.enabled)
        return {};
    const QString text = web().listening() ? QStringLiteral("Browser: on")
        : web().portInUse()                ? QStringLiteral("Browser: port %1 in use").arg(mWebConfig.port)
                                           : QStringLiteral("Browser: not listening");
    return { true, text, web().status() };
}

QJsonObject Panel::webState() const
{
    QJsonObject state;
    const std::optional<int> show = mPlayerShow;
    state.insert(QStringLiteral("show"), show && *show > 0 ? QJsonValue(*show) : QJsonValue());
    state.insert(QStringLiteral("off"), show && *show == 0);
    state.insert(QStringLiteral("brightness"),
                 mPlayerBrightness ? QJsonValue(*mPlayerBrightness) : QJsonValue());
    state.insert(QStringLiteral("link"), link().text);
    state.insert(QStringLiteral("locked"), mLocked);
    const StatusText next = nextText();
    state.insert(QStringLiteral("next"), next.shown ? QJsonValue(next.text) : QJsonValue());
    return state;
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
void Panel::journalRefusal(const Source &from, const QString &reason)
{
    // Senders beyond the many followed at once are counted together, with no address.
    const QString source = from.journal().trimmed();
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
