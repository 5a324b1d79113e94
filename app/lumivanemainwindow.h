#pragma once

#include "lumivanemainwindowbase.h"
#include "portlist.h"

#include <QString>

#include <array>
#include <functional>
#include <memory>

class QButtonGroup;
class QRadioButton;
class LineWriter;
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

protected:
    void closeEvent(QCloseEvent *event) override;

public slots:
    void doShowButton(int id);
    void doExit() override;
    void doOff() override;
    void doBright() override;
    void doAbout() override;
    void doSetup() override;
    void doLoadNames() override;
    void doSaveNames() override;
    void doEditNames() override;

private:
    void createShowButtons();
    void offerShownPageToTab();
    QString readSettings();
    void storePortName();
    void storeLastFile();
    void storeSetting(const QString &key, const QString &value);
    void askToLoadLastFile(const QString &lastFile);
    bool changedNamesSavedOrDropped();
    void openSerialPort(const QString &name);
    void closeSerialPort();
    void startWriter();
    void portLost(const QString &message);
    void sendCommand(const QByteArray &text);
    void loadNames(const QString &fileName);
    bool saveNames(const QString &fileName);
    void setShowName(int id, const QString &name);
    QString showName(int id) const;
    QStringList showNames() const;
    void warnNoPort();

    // How long a passing status message stays.
    static constexpr int statusMessageMs = 5000;

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
    // The editor changed the names since they were last loaded or saved.
    bool mNamesChanged = false;
};
