#pragma once

#include "lumivanemainwindowbase.h"
#include "portlist.h"
#include "remote/remoteserver.h"

#include <QString>

#include <array>
#include <functional>
#include <memory>

class QButtonGroup;
class QRadioButton;
class LineWriter;
class QVariant;
class SerialPort;

// The controller: all of the program's state, the start-up sequence, and the
// slots the operator's actions reach.
class LumivaneMainWindow : public LumivaneMainWindowBase
{
    Q_OBJECT

public:
    explicit LumivaneMainWindow(QWidget *parent = nullptr, const char *name = nullptr,
                                Qt::WindowFlags flags = Qt::Window);
    ~LumivaneMainWindow() override;

    // Where Setup finds the ports present; a test hands in its own.
    std::function<QList<PortList::Found>()> findPorts = PortList::findPorts;

public slots:
    void doShowButton(int id);
    void doExit() override;
    void doOff() override;
    void doBright() override;
    void doAbout() override;
    void doSetup() override;
    void doRemote() override;
    void doLoadNames() override;
    void doSaveNames() override;
    void doEditNames() override;

private:
    void createShowButtons();
    void offerShownPageToTab();
    QString readSettings();
    void storePortName();
    void storeLastFile();
    void storeRemoteEnabled();
    void storeRemotePort();
    void storeRemoteFromOtherComputers();
    void storeRemoteAllowed();
    void storeSetting(const QString &key, const QVariant &value);
    void askToLoadLastFile(const QString &lastFile);
    void openSerialPort(const QString &name);
    void closeSerialPort();
    void startWriter();
    void portLost(const QString &message);
    void reopenLostPort();
    void sendCommand(const QByteArray &text);
    void startRemote();
    QByteArray runRemote(const RemoteCommand &command, const QString &peer);
    void loadNames(const QString &fileName);
    bool saveNames(const QString &fileName);
    void setShowName(int id, const QString &name);
    QString showName(int id) const;
    QStringList showNames() const;
    void warnNoPort();

    // interim until the link indicator lands
    bool tryPortQuietly();
    QString linkText() const;
    QString linkReason() const;

    std::unique_ptr<QButtonGroup> mShowGroup;
    std::array<QRadioButton *, 128> mShowButtons {};
    std::unique_ptr<SerialPort> mPort;
    // Writes to mPort, so it goes before the port does.
    std::unique_ptr<LineWriter> mWriter;
    QString mPortName;
    QString mLastFile;
    // The port was open until a write failed: the next use reopens it quietly
    // instead of asking for a port, so a replugged adapter carries on.
    bool mPortLost = false;
    bool mNoPortWarningPending = false;
    // A failed settings write was reported; the next failures stay quiet.
    bool mSettingsFailed = false;
    RemoteServer::Config mRemoteConfig;
    std::unique_ptr<RemoteServer> mRemote = std::make_unique<RemoteServer>();
    // interim until the link indicator lands: who chose the command being
    // sent, empty for the operator, the peer's address while a remote
    // command runs.
    QString mCommandSource;
};
