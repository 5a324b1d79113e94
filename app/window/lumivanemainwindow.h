// SPDX-FileCopyrightText: 2026 The Lumivane developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "lumivanemainwindowbase.h"
#include "journal/journal.h"
#include "link/portlist.h"
#include "serialport.h"
#include "remote/remotelistener.h"
#include "timetable/sentrecord.h"
#include "timetable/timetableclock.h"

#include <QElapsedTimer>
#include <QFileSystemWatcher>
#include <QHash>
#include <QPointer>
#include <QString>
#include <QTimer>

#include <array>
#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <thread>

class QButtonGroup;
class QEvent;
class QLabel;
class QMessageBox;
class QPushButton;
class QRadioButton;
class QShortcut;
class LineWriter;
class StatusLabel;
class QVariant;

// The controller: all of the program's state, the start-up sequence, and the
// slots the operator's actions reach.
class LumivaneMainWindow : public LumivaneMainWindowBase
{
    Q_OBJECT

public:
    // Who chose a command that no hand at the window did.
    struct CommandSource
    {
        QString label;   // after the last command, in brackets: "remote 192.0.2.7", "timetable"
        QString journal; // the journal's source: "remote 192.0.2.7", "timetable line 4"
        QString refusal; // the indicator's note begins with it: "A remote command from 192.0.2.7"
        QString note {}; // the timetable entry's note, for the journal
    };

    explicit LumivaneMainWindow(QWidget *parent = nullptr, const char *name = nullptr,
                                Qt::WindowFlags flags = Qt::Window);
    ~LumivaneMainWindow() override;

    // Where Setup finds the ports present; a test hands in its own.
    std::function<QList<PortList::Found>()> findPorts = PortList::findPorts;
    // Milliseconds on a clock that never steps, for the double-start guard;
    // a test hands in its own.
    std::function<qint64()> monotonicMs = [] {
        return qint64(std::chrono::duration_cast<std::chrono::milliseconds>(
                          std::chrono::steady_clock::now().time_since_epoch())
                          .count());
    };

    // Carries out a command that no hand at the window chose, from a remote
    // peer or the timetable, and returns the reply the remote protocol gives.
    QByteArray dispatch(const RemoteCommand &command, const CommandSource &source);

    // What the link indicator says now, and why the port is not open or not
    // taking data (empty when connected).
    QString linkText() const;
    QString linkReason() const;

    // The running timetable; a test sets its clock.
    TimetableClock &timetableClock() { return mTimetable; }

    // The selector of show id (0 to 127). A page's selectors are made when
    // the page is first shown or one of its shows is first needed.
    QRadioButton *showSelector(int id);
    // A show's name as loaded or edited; the selector reads it, with its
    // number when numbers are on.
    void setShowName(int id, const QString &name);
    QString showName(int id) const;
protected:
    void closeEvent(QCloseEvent *event) override;
    bool event(QEvent *event) override;

public slots:
    void doShowButton(int id);
    void doExit() override;
    void doOff() override;
    void doBright() override;
    void doAbout() override;
    void doSetup() override;
    void doRemote() override;
    void doOperation() override;
    void doLock() override;
    void doLoadNames() override;
    void doSaveNames() override;
    void doEditNames() override;
    void doJournal() override;
    void doTimetable() override;

private:
    void createShowButtons();
    void buildPage(int page);
    void applyShowName(int id);
    void showBrightness();
    QList<QAction *> lockableActions() const;
    void applyLock();
    bool askToUnlock();
    bool unlockedToLeave();
    void offerShownPageToTab();
    QString readSettings();
    void storePortName();
    void storeLastFile();
    void storeRemoteEnabled();
    void storeRemotePort();
    void storeRemoteFromOtherComputers();
    void storeRemoteAllowed();
    void storeOtherPort();
    void storeLocked();
    void storeRepeatGuardMs();
    void storeSelectThenGo();
    void storeShowNumbers();
    void storeTimetableFile();
    void storeTimetableEnabled();
    void storeTimetableCatchUp();
    void storeAskNamesAtStart();
    void storeSetting(const QString &key, const QVariant &value);
    void askToLoadLastFile(const QString &lastFile);
    QString portLabel() const;
    bool changedNamesSavedOrDropped();
    void openSerialPort(const QString &name);
    bool openSerialPortQuietly();
    void warnPortNotOpened(const QString &name);
    bool tryPortQuietly();
    void lookForPort();
    void closeSerialPort();
    void endSerialPort();
    void startWriter();
    void portLost(const QString &message);
    void portMissing();
    bool sendCommand(const QByteArray &text);
    void refuseCommand(const QByteArray &text, const QString &why, const QString &told = QString());
    bool repeatGuarded(int id);
    void noteStarted(int id);
    void flashSelector(int id);
    void styleSelector(int id);
    void showClicked(int id);
    void selectShow(int id);
    void goReady();
    void setSelectThenGo(bool on);
    QString readyText() const;
    void createStatusWidgets();
    void showLink();
    void showStatusMessage(const QString &message);
    void showLastCommand(const QString &line);
    void showSent(const QByteArray &command);
    void showWaiting();
    void showRemote();
    void startRemote();
    // Remote control's server, made (on Linux, loaded) when first wanted.
    RemoteListener &remote();
    QByteArray runRemote(const RemoteCommand &command, const QString &peer);
    QByteArray commandBytes(const RemoteCommand &command) const;
    void notePlayerState(const QByteArray &command);
    void createTimetable();
    void startTimetable();
    void watchTimetable();
    void rereadTimetable();
    static QString readTimetable(const QString &fileName, Timetable::Table &table,
                                 std::optional<QByteArray> &bytes);
    void putTimetableInForce(const Timetable::Table &table);
    void keepLastGood();
    void refuseTimetable(const QString &error);
    void showTimetableMark();
    void fireTimetable(const Timetable::Occurrence &occurrence, bool catchUp);
    void sendTimetable(const Timetable::Occurrence &occurrence, bool catchUp);
    void settleTimetableOwed(const QByteArray &command, bool queued);
    void fireTimetableOwed();
    void noteSentForCatchUp(const QByteArray &command);
    void saveSentRecord();
    void journalReplaced(const QByteArray &command);
    void showNext();
    QString nextWhen(const QDateTime &at) const;
    QByteArray nextForState() const;
    // The timetable editor's Send Now: the operator's own path, as a click
    // on the show or a drag of the slider.
    void sendFromEditor(const Timetable::Action &action);
    // Moves the slider to the position nearest `percent`, which sends it;
    // returns that position.
    int sendBrightnessPercent(double percent);
    void loadNames(const QString &fileName);
    bool saveNames(const QString &fileName);
    void setShowNumbers(bool on);
    QStringList showNames() const;
    // What the status bar calls a command: only a show's needs its name.
    QString describeCommand(const QByteArray &command) const;
    void warnNoPort();
    static std::unique_ptr<QObject> watchInput(LumivaneMainWindow *window);
    QString journalSource() const;
    void noteJournalSource(const QByteArray &command);
    void journalSent(const QByteArray &command);
    void journalRefused(const QByteArray &command, const QString &why);
    void journal(const QByteArray &command, const QString &source, const QString &outcome,
                 const QString &note = QString());

    // How long a passing status message stays.
    static constexpr int statusMessageMs = 5000;
    // How long a selector whose start was ignored stands out.
    static constexpr int flashMs = 400;

    std::unique_ptr<QButtonGroup> mShowGroup;
    // Null on a page not built yet; the names are kept for every show.
    std::array<QRadioButton *, 128> mShowButtons {};
    std::array<QString, 128> mShowNames;
    QObject *mArrowKeys = nullptr;
    std::unique_ptr<SerialPort> mPort;
    // Writes to mPort, so it goes before the port does.
    std::unique_ptr<LineWriter> mWriter;
    QString mPortName;
    QString mPortLabel; // the stored port as Setup shows it
    QString mLastFile;
    // A device path typed under Setup's "Other...": listed there while it is
    // stored, also once another port was chosen.
    QString mOtherPort;
    // The operator's guards against accidents, each off unless turned on.
    // Locked: what changes settings, names or files cannot be reached.
    bool mLocked = false;
    // A start of the show started less than this long ago is ignored; 0 never.
    int mRepeatGuardMs = 0;
    // A click or an arrow key only selects a show; Enter or Go sends it.
    bool mSelectThenGo = false;
    // A named show's selector reads "12 · Vernissage".
    bool mShowNumbers = false;
    // Off: the last name file is loaded at start without the question, so
    // that an unattended start waits for nobody.
    bool mAskNamesAtStart = true;
    // The port was open until a write failed or it hung up: a use that cannot
    // reopen it says so in the status bar instead of asking for a port.
    bool mPortLost = false;
    // Why the last try to open the port failed; None when it has not been
    // tried since it was lost or last found missing.
    SerialPort::Reason mOpenFailure = SerialPort::Reason::None;
    QString mWhyNotOpen;
    // The last command from a source other than the operator refused for
    // want of a port, until it opens: a line of the indicator's tooltip.
    QString mRefusedNote;
    // Why the last command sent was refused, as a remote sender is told;
    // empty when it was queued.
    QString mRefusal;
    // When each show's start was last queued, on monotonicMs().
    std::array<std::optional<qint64>, 128> mStartedAt {};
    // The show whose start was queued last, which the grid shows: it goes
    // back to it when a start is ignored, refused or only selected.
    std::optional<int> mLastStarted;
    std::optional<int> mReadyShow;
    QPushButton *mGoButton = nullptr; // made when a click first only selects
    std::vector<QShortcut *> mGoKeys;
    // When a command from a source other than the operator last tried the port.
    QElapsedTimer mDispatchPortTried;
    // The player's state as last sent: the show (0 for off) and the
    // brightness in percent; nothing until first sent.
    std::optional<int> mPlayerShow;
    std::optional<int> mPlayerBrightness;
    bool mStalled = false;
    // Looks for the stored port while it is not open.
    QTimer mPortWatch;

    StatusLabel *mMessageLabel = nullptr;
    StatusLabel *mLastCommandLabel = nullptr;
    StatusLabel *mRemoteLabel = nullptr;
    QLabel *mLockedMark = nullptr;
    QLabel *mLinkSymbol = nullptr;
    StatusLabel *mLinkLabel = nullptr;
    QString mSentLine;
    QByteArray mLastQueued;
    // Who chose the commands being queued: empty for the operator; a remote
    // peer or the timetable while its command is carried out.
    CommandSource mCommandSource;
    // The source of each command by its bytes, as it was when last queued:
    // it follows the command through the writer's queue, where a newer one
    // of its kind may replace it.
    QHash<QByteArray, QString> mCommandSources;
    bool mNoPortWarningPending = false;
    // The box that says the port is not open, while it is up.
    QPointer<QMessageBox> mPortBox;
    // A failed settings write was reported; the next failures stay quiet.
    bool mSettingsFailed = false;
    // The editor changed the names since they were last loaded or saved.
    bool mNamesChanged = false;
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
    StatusLabel *mTimetableMark = nullptr;
    // While the file is not there, it is looked for this often.
    static constexpr int timetablePollMs = 5000;
    QTimer mTimetablePoll;
    // For each channel (Timetable::Channel), whether the timetable fired
    // while no port was open and nothing since asked for that channel: what
    // the table in force says is sent once the port opens. After a power cut
    // the USB adapter may come up after us.
    std::array<bool, 2> mTimetableOwes {};
    // When each channel last went out, kept for the next start's catch-up.
    SentRecord mSentRecord { Journal::defaultFolder() + QStringLiteral("/sent.txt") };
    QTimer mSentRecordSave;
    QElapsedTimer mSentRecordSaved;
    StatusLabel *mNextLabel = nullptr;
    RemoteConfig mRemoteConfig;
    // None until remote control is turned on or its dialog opened.
    std::unique_ptr<RemoteListener> mRemote;
    Journal mJournal;
    // Who chose each command queued, by its bytes, and the timetable entry's
    // note, for the journal.
    struct JournalSource
    {
        QString source;
        QString note;
    };
    QHash<QByteArray, JournalSource> mJournalSources;
    // "mouse" or "key": the operator's last input; empty before any.
    QString mLastInput;
    // Not given to the window as its Qt parent: it writes mLastInput, so it
    // must go before that does.
    std::unique_ptr<QObject> mInputWatch = watchInput(this);
};

// The program's run once the application object exists: the main window,
// shown, and the event loop. Returns the exit status.
int runLumivane(std::jthread fontsRead = {});
