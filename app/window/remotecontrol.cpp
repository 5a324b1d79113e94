#include "lumivanemainwindow.h"

#include "link/commands.h"
#include "remote/textcommand.h"

#include <QButtonGroup>
#include <QRadioButton>
#include <QScopeGuard>
#include <QSlider>
#include <QStatusBar>
#include <QTime>

void LumivaneMainWindow::startRemote()
{
    mRemote->execute = [this](const RemoteCommand &command, const QString &peer) {
        return runRemote(command, peer);
    };
    mRemote->configure(mRemoteConfig);
    showRemote();
    if (mRemoteConfig.enabled && !mRemote->listening())
        statusBar()->showMessage(QStringLiteral("Remote control: ") + mRemote->status(), statusMessageMs);
}

// A remote command takes the operator's own path, so it sends exactly what
// the same click or drag would, and the window shows it the same way. It
// never opens a box: nobody at the window asked for it.
QByteArray LumivaneMainWindow::runRemote(const RemoteCommand &command, const QString &peer)
{
    if (command.kind == RemoteCommand::Kind::State) {
        const int level = Commands::brightnessLevel(mBrightSlider->value(), mBrightSlider->maximum());
        return TextCommand::state(mShowGroup->checkedId() + 1, Commands::levelPercent(level), linkText());
    }
    if (!tryPortQuietly()) {
        // The operator sees that the player was not reached where the link is.
        mRemoteRefused = QStringLiteral("A remote command from %1 was refused at %2: no port is open.")
                             .arg(peer, QTime::currentTime().toString(QStringLiteral("HH:mm:ss")));
        showLink();
        return TextCommand::noPort(mPortName, linkReason());
    }

    mCommandSource = peer;
    const auto operatorAgain = qScopeGuard([this] { mCommandSource.clear(); });
    switch (command.kind) {
    case RemoteCommand::Kind::Show: {
        const int id = int(command.value) - 1;
        // Checked where it stands; the page the operator looks at stays.
        mShowButtons.at(id)->setChecked(true);
        doShowButton(id);
        break;
    }
    case RemoteCommand::Kind::Brightness: {
        const int value = Commands::sliderValueForPercent(command.value, mBrightSlider->maximum());
        // Moving the slider sends, as a drag does; already there, it would not.
        if (mBrightSlider->value() == value)
            doBright();
        else
            mBrightSlider->setValue(value);
        break;
    }
    case RemoteCommand::Kind::Off:
        doOff();
        break;
    case RemoteCommand::Kind::State:
        break;
    }
    return TextCommand::done(command);
}
