// SPDX-FileCopyrightText: 2026 The Lumivane developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "lumivanemainwindow.h"

#include "link/commands.h"
#include "remote/textcommand.h"

#ifdef LUMIVANE_REMOTE_LINKED
#include "remote/remoteserver.h"
#else
#include "modulepath.h"

#include <QLibrary>
#endif

#include <QButtonGroup>
#include <QRadioButton>
#include <QScopeGuard>
#include <QSlider>
#include <QStatusBar>
#include <QTime>

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
    // Never unloaded: the server lives as long as the window.
    QLibrary module(modulePath(QStringLiteral("remote")));
    using Factory = RemoteListener *(*)();
    if (auto make = reinterpret_cast<Factory>(module.resolve(LUMIVANE_REMOTE_FACTORY)))
        return std::unique_ptr<RemoteListener>(make());
    return std::make_unique<Unavailable>(module.errorString());
#endif
}

} // namespace

RemoteListener &LumivaneMainWindow::remote()
{
    if (!mRemote) {
        mRemote = newRemoteServer();
        mRemote->execute = [this](const RemoteCommand &command, const QString &peer) {
            return runRemote(command, peer);
        };
        // Recorded as the timetable records its refusals: no command, the
        // reason in the outcome, in the journal and on standard error.
        mRemote->refused = [this](const QString &peer, const QString &reason) {
            const QString source = peer.isEmpty() ? QStringLiteral("remote") : QStringLiteral("remote ") + peer;
            journal(QByteArray(), source, QStringLiteral("refused: ") + reason);
            // What a sender wrote must not reach the terminal as control codes.
            QByteArray text = reason.toUtf8();
            for (char &c : text) {
                if (uchar(c) < 0x20 || c == 0x7f)
                    c = '?';
            }
            std::fprintf(stderr, "lumivane: %s refused: %s\n", qPrintable(source), text.constData());
            std::fflush(stderr);
        };
    }
    return *mRemote;
}

void LumivaneMainWindow::startRemote()
{
    // Off, it stays unloaded until the operator opens its dialog.
    if (mRemoteConfig.enabled)
        remote().configure(mRemoteConfig);
    showRemote();
    if (mRemoteConfig.enabled && !remote().listening())
        statusBar()->showMessage(QStringLiteral("Remote control: ") + remote().status(), statusMessageMs);
}

QByteArray LumivaneMainWindow::runRemote(const RemoteCommand &command, const QString &peer)
{
    const QString label = QStringLiteral("remote ") + peer;
    return dispatch(command, { label, label, QStringLiteral("A remote command from ") + peer });
}

// A command that no hand at the window chose, from a remote peer or the
// timetable, takes the operator's own path, so it sends exactly what the
// same click or drag would, and the window shows it the same way. It never
// opens a box: nobody at the window asked for it. The reply is the remote
// protocol's, "ok ..." or "error: ...".
QByteArray LumivaneMainWindow::dispatch(const RemoteCommand &command, const CommandSource &source)
{
    if (command.kind == RemoteCommand::Kind::State)
        return TextCommand::state(mPlayerShow, mPlayerBrightness, linkText(), nextForState());
    // A flood of commands must not try the port, and restyle the indicator,
    // for each one: a port refused is tried again at most once a second.
    if (!mPort && (!mDispatchPortTried.isValid() || mDispatchPortTried.hasExpired(1000))) {
        mDispatchPortTried.start();
        tryPortQuietly();
    }
    mCommandSource = source;
    const auto operatorAgain = qScopeGuard([this] { mCommandSource = {}; });
    if (!mPort) {
        // The operator sees that the player was not reached where the link
        // is; the note changes once a second at most.
        const QString refused = QStringLiteral("%1 was refused at %2: no port is open.")
                                    .arg(source.refusal, QTime::currentTime().toString(QStringLiteral("HH:mm:ss")));
        if (refused != mRefusedNote) {
            mRefusedNote = refused;
            showLink();
        }
        refuseCommand(commandBytes(command), QStringLiteral("no port"));
        return TextCommand::noPort(mPortName, linkReason());
    }

    mRefusal.clear();
    RemoteCommand queued = command;
    switch (command.kind) {
    case RemoteCommand::Kind::Show: {
        const int id = int(command.value) - 1;
        // Checked where it stands; the page the operator looks at stays.
        showSelector(id)->setChecked(true);
        doShowButton(id);
        break;
    }
    case RemoteCommand::Kind::Brightness: {
        const int value = sendBrightnessPercent(command.value);
        // The reply names the level queued, which the nearest slider position
        // gives: 54 % asked is 55 % sent.
        queued.value = Commands::levelPercent(Commands::brightnessLevel(value, mBrightSlider->maximum()));
        break;
    }
    case RemoteCommand::Kind::Off:
        doOff();
        break;
    case RemoteCommand::Kind::State:
        break;
    }
    // The slot went through sendCommand(), which says why when it refused.
    if (!mRefusal.isEmpty())
        return TextCommand::refused(mRefusal);
    return TextCommand::done(queued);
}

int LumivaneMainWindow::sendBrightnessPercent(double percent)
{
    const int value = Commands::sliderValueForPercent(percent, mBrightSlider->maximum());
    // Moving the slider sends, as a drag does; already there, it would not.
    if (mBrightSlider->value() == value)
        doBright();
    else
        mBrightSlider->setValue(value);
    return value;
}

// The bytes a command would queue, for the journal's record of one refused
// before any slot ran.
QByteArray LumivaneMainWindow::commandBytes(const RemoteCommand &command) const
{
    switch (command.kind) {
    case RemoteCommand::Kind::Show:
        return Commands::startShow(int(command.value) - 1);
    case RemoteCommand::Kind::Brightness: {
        const int value = Commands::sliderValueForPercent(command.value, mBrightSlider->maximum());
        return Commands::brightness(Commands::brightnessLevel(value, mBrightSlider->maximum()));
    }
    case RemoteCommand::Kind::Off:
    case RemoteCommand::Kind::State:
        break;
    }
    return Commands::off;
}

// What the state reply tells: the player's state as the line last took it,
// which lasts over a reconnection as the player's own does.
void LumivaneMainWindow::notePlayerState(const QByteArray &command)
{
    const int argument = command.mid(3).toInt(nullptr, 16);
    if (command == Commands::off)
        mPlayerShow = 0;
    else if (command.startsWith("X04"))
        mPlayerShow = argument;
    else if (command.startsWith("X02"))
        mPlayerBrightness = Commands::levelPercent(argument);
}
