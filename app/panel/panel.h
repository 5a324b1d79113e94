// SPDX-FileCopyrightText: 2026 The Lumivane developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "journal/journal.h"
#include "link/command.h"
#include "link/linkstate.h"
#include "link/portlist.h"
#include "remote/remotelistener.h"
#include "web/weblistener.h"
#include "serialport.h"
#include "settings/settings.h"
#include "timetable/sentrecord.h"
#include "timetable/timetableclock.h"

#include <QElapsedTimer>
#include <QFileSystemWatcher>
#include <QHash>
#include <QObject>
#include <QString>
#include <QTimer>

#include <array>
#include <chrono>
#include <functional>
#include <memory>
#include <optional>

class LineWriter;

// What became of a command.
struct Outcome
{
    enum class Refusal { None, NoPort, Guard };

    Refusal refusal = Refusal::None;
    // Why it was refused, as a remote sender is told; empty when queued.
    QString why;
    // What was queued: a brightness asked in percent is the nearest level.
    Command command;

    bool queued() const { return refusal == Refusal::None; }
};

// A line of the status bar: its whole text, and the tooltip that says more.
struct StatusText
{
    bool shown = false;
    QString text;
    QString tip;
};

// The program without its window: the port and the line, the player's state
// as sent, the lock, the guard against a double start, the timetable, remote
// control and the journal. Every command, whoever chose it, goes through
// dispatch(), where the guard, the port, the journal and the last-command
// line each act once. A window, or nothing but an event loop, drives it and
// shows what its signals say.
class Panel : public QObject
{
    Q_OBJECT

public:
    // How long a passing message stays.
    static constexpr int messageMs = 5000;

    explicit Panel(QObject *parent = nullptr);
    // The line is given its last moment (end()).
    ~Panel() override;

    // Where the port's name for the indicator is looked up; a test hands in its own.
    std::function<QList<PortList::Found>()> findPorts = PortList::findPorts;
    // Milliseconds on a clock that never steps, for the double-start guard;
    // a test hands in its own.
    std::function<qint64()> monotonicMs = [] {
        return qint64(std::chrono::duration_cast<std::chrono::milliseconds>(
                          std::chrono::steady_clock::now().time_since_epoch())
                          .count());
    };

    // Reads the settings, tries the port, starts remote control and the
    // timetable: after a power cut nobody is there to answer a box, so all of
    // it runs before any is shown. Returns the settings as read, for what
    // only a view of them uses.
    const Settings::Values &start();
    const Settings::Values &settings() const { return mSettings; }

    // Carries out one command, or refuses it and says why. A refusal for
    // want of a port from a source other than a hand at the window is also
    // noted beside the link.
    Outcome dispatch(const Command &command, const Source &source);
    // The brightness command the control's position nearest `percent` sends.
    static Command brightnessFor(double percent);
    // What a timetable entry's action sends.
    static Command commandFor(const Timetable::Action &action);
    // A command of remote control's protocols, and its reply line.
    QByteArray runRemote(const RemoteCommand &command, const QString &peer);
    // The same for any source that speaks them (remote control, the browser panel).
    QByteArray run(const RemoteCommand &command, const Source &source);

    // The port.
    QString portName() const { return mPortName; }
    QString portLabel() const { return mPortLabel; }
    bool portOpen() const { return mPort != nullptr; }
    // Not open because another program holds it.
    bool portBusy() const { return !mPort && mOpenFailure == SerialPort::Reason::Busy; }
    // Stores the port and opens it; a port already open on the same name is
    // kept. Returns whether it is open.
    bool choosePort(const QString &name);
    // Opens the stored port afresh, without a word; whether it is open.
    bool openPortQuietly();
    // Why the port is not open, as the box that says it would put it.
    QString whyNotOpen() const { return mWhyNotOpen; }
    // What another Lumivane finding the port taken is told this one is:
    // "window" (the default) or "service".
    void setRole(const QString &role) { mRole = role; }
    // A line in the journal with no command, its source the role: what a
    // window would have shown in a box.
    void record(const QString &text) { write(QByteArray(), mRole, text); }
    // The indicator: "Connected: COM1", and why not or why stuck.
    LinkState::Indicator link() const;
    QString linkReason() const;
    // The indicator's tooltip: the reason, and a refused remote or timetable command.
    QString linkTip() const;
    // At the program's end: the frame being written is completed, and what
    // waits sent, if the line takes it in time; the rest is told on
    // standard error.
    void end();

    // The player's state as the line last took it: the show (0 for off) and
    // the brightness in percent; nothing until first sent.
    std::optional<int> playerShow() const { return mPlayerShow; }
    std::optional<int> playerBrightness() const { return mPlayerBrightness; }
    // The show whose start was queued last (0 to 127), which a grid of shows
    // marks; it goes back to it when a start is ignored or refused.
    std::optional<int> lastStarted() const { return mLastStarted; }
    // "Sent: Show 7 · Vernissage · 20:15:03 (remote 192.0.2.7)", "Waiting: …".
    QString lastCommandLine() const { return mLastCommandLine; }
    // "Show 7 · Vernissage", "Brightness 49%", "Off".
    QString describe(const Command &command) const;

    // The 128 shows' names, as loaded or edited.
    void setShowName(int id, const QString &name);
    QString showName(int id) const { return mShowNames.at(std::size_t(id)); }

    // The lock: what changes settings, names, the timetable or files is out
    // of reach. Stored.
    bool locked() const { return mLocked; }
    void setLocked(bool locked);
    // A start of the show started less than this long ago is ignored; 0 never. Stored.
    int repeatGuardMs() const { return mRepeatGuardMs; }
    void setRepeatGuardMs(int ms);

    // Remote control.
    const RemoteConfig &remoteConfig() const { return mRemoteConfig; }
    // Stores it, and listens as it says.
    void setRemoteConfig(const RemoteConfig &config);
    // Made (on Linux, loaded) when first wanted.
    RemoteListener &remote();
    StatusText remoteText();

    // The browser panel.
    const WebConfig &webConfig() const { return mWebConfig; }
    // Stores it, and listens as it says.
    void setWebConfig(const WebConfig &config);
    // Stores the password's hash (none when empty), ending every session
    // opened under the old one; false when no hash could be made.
    bool setWebPassword(const QString &password);
    // Made (on Linux, loaded) when first wanted.
    WebListener &web();
    StatusText webText();
    // The state as the browser panel's API gives it.
    QJsonObject webState() const;

    // The timetable.
    TimetableClock &timetableClock() { return mTimetable; }
    QString timetableFile() const { return mTimetableFile; }
    bool timetableEnabled() const { return mTimetableEnabled; }
    Timetable::CatchUp timetableCatchUp() const { return mTimetableCatchUp; }
    // Stores them and puts the file in force as it now is.
    void setTimetable(const QString &file, bool enabled, Timetable::CatchUp catchUp);
    // Reads a timetable file whole; returns what is wrong with it, naming the
    // line, or an empty string and sets `table`. `bytes` is what was read,
    // and nothing when the file could not be read.
    static QString readTimetable(const QString &fileName, Timetable::Table &table,
                                 std::optional<QByteArray> &bytes);
    // "Next: Show 7 · Vernissage · Mon 20:00 CET", while the timetable runs.
    StatusText nextText() const;
    // "Timetable: line 4 refused, running the version of 8 Dec 10:00", while refused.
    StatusText timetableMark() const;
    // For the state reply: "show 12 2026-12-14T20:00:00", local time.
    QByteArray nextForState() const;

    // Stores one setting; a failure is told once, until one succeeds.
    void store(const char *key, const QVariant &value);

    Journal &journal() { return mJournal; }

signals:
    // The last byte of a command went to the port; the player's state as
    // sent (playerShow(), playerBrightness()) is now its.
    void sent(const Command &command, const Source &source);
    // A command was not queued, and why, in the journal's words.
    void refused(const Command &command, const Source &source, const QString &why);
    // A passing message for the status bar; 0 ms stays until the next.
    void message(const QString &text, int ms);
    // The indicator, or its tooltip, changed.
    void linkChanged();
    void lastCommandChanged();
    // The port opened: what said it was not open is stale.
    void portOpened();
    // A hand at the window asked for a command with no port to send it to.
    void noPortForHand();
    // The start of show `id` (0 to 127) was queued.
    void showStarted(int id);
    // A start was refused, or the port went while the line took it: the
    // player never got it, and a grid goes back to lastStarted().
    void showRefused(int id);
    // A start of show `id` was ignored for the guard.
    void startIgnored(int id);
    // A brightness was queued: a control that shows it follows.
    void brightnessQueued(int level);
    void lockedChanged(bool locked);
    // The next entry, or the timetable's mark.
    void timetableChanged();
    void remoteChanged();
    void webChanged();

private:
    // The port's life.
    bool tryPortQuietly();
    void lookForPort();
    void startWriter();
    void portLost(const QString &message);
    void portMissing();
    void closePort();
    QString labelOfPort() const;
    // Dispatch.
    // Why a start is ignored, as a remote sender is told; nothing when it is not.
    std::optional<QString> guarded(int id, const Source &source);
    bool queue(const Command &command, const Source &source);
    void refuse(const Command &command, const Source &source, const QString &why);
    void noteSent(const Command &command);
    void showLastCommand(const QString &line);
    void write(const QByteArray &command, const QString &source, const QString &outcome,
               const QString &note = QString());
    void journalRefusal(const Source &from, const QString &reason);
    // The timetable.
    void startTimetable();
    void watchTimetable();
    void rereadTimetable();
    void putTimetableInForce(const Timetable::Table &table);
    void keepLastGood();
    void refuseTimetable(const QString &error);
    void fireTimetable(const Timetable::Occurrence &occurrence, bool catchUp);
    void sendTimetable(const Timetable::Occurrence &occurrence, bool catchUp);
    void settleTimetableOwed(const Command &command, const Source &source, bool queued);
    void fireTimetableOwed();
    void saveSentRecord();
    QString nextWhen(const QDateTime &at) const;

    Settings::Values mSettings;
    bool mSettingsFailed = false;
    QString mRole = QStringLiteral("window");
    std::array<QString, 128> mShowNames;

    std::unique_ptr<SerialPort> mPort;
    // Writes to mPort, so it goes before the port does.
    std::unique_ptr<LineWriter> mWriter;
    QString mPortName;
    QString mPortLabel; // the stored port as Setup shows it
    // The port was open until a write failed or it hung up: a use that cannot
    // reopen it says so instead of asking for a port.
    bool mPortLost = false;
    // Why the last try to open the port failed; None when it has not been
    // tried since it was lost or last found missing.
    SerialPort::Reason mOpenFailure = SerialPort::Reason::None;
    QString mWhyNotOpen;
    bool mStalled = false;
    // Looks for the stored port while it is not open.
    QTimer mPortWatch;
    // When a command from a source other than the operator last tried the port.
    QElapsedTimer mDispatchPortTried;
    // The last command from a source other than the operator refused for
    // want of a port, until it opens: a line of the indicator's tooltip.
    QString mRefusedNote;

    bool mLocked = false;
    int mRepeatGuardMs = 0;
    // When each show's start was last queued, on monotonicMs().
    std::array<std::optional<qint64>, 128> mStartedAt {};
    std::optional<int> mLastStarted;
    std::optional<int> mPlayerShow;
    std::optional<int> mPlayerBrightness;

    QString mLastCommandLine;
    QString mSentLine;
    std::optional<Command> mLastQueued;
    // Who chose each command queued, by its bytes, as it was when last
    // queued: it follows the command through the writer's queue, where a
    // newer one of its kind may replace it, to the last-command line and
    // the journal.
    QHash<QByteArray, Source> mQueuedSources;

    RemoteConfig mRemoteConfig;
    // None until remote control is turned on or its dialog opened.
    std::unique_ptr<RemoteListener> mRemote;
    WebConfig mWebConfig;
    std::unique_ptr<WebListener> mWeb;
    bool mNamesToPush = false;
    QByteArray mPasswordHash;
    QElapsedTimer mPasswordRead;
    QDateTime mPasswordFileTime;

    QString mTimetableFile;
    bool mTimetableEnabled = false;
    // What a timetable coming into force sends of what has passed.
    Timetable::CatchUp mTimetableCatchUp = Timetable::CatchUp::Missed;
    TimetableClock mTimetable;
    // The file and its folder: editors and copies replace the file.
    QFileSystemWatcher mTimetableWatch;
    QTimer mTimetableReread;
    // The file as last read, good or bad, so that the same bytes seen again
    // change nothing and say nothing; nothing when it could not be read.
    std::optional<QByteArray> mTimetableBytes;
    // Why the file is refused, while it is; the version in force then is
    // the one read at mTimetableVersion.
    QString mTimetableRefused;
    QDateTime mTimetableVersion;
    // While the file is not there, it is looked for this often.
    static constexpr int timetablePollMs = 5000;
    QTimer mTimetablePoll;
    // For each channel, whether the timetable fired while no port was open
    // and nothing since asked for that channel: what the table in force says
    // is sent once the port opens. After a power cut the USB adapter may
    // come up after us.
    std::array<bool, 2> mTimetableOwes {};
    // When each channel last went out, kept for the next start's catch-up.
    SentRecord mSentRecord { Journal::defaultFolder() + QStringLiteral("/sent.txt") };
    QTimer mSentRecordSave;
    QElapsedTimer mSentRecordSaved;

    Journal mJournal;
};
