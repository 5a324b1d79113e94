// SPDX-FileCopyrightText: 2026 The Lumivane developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "lumivanemainwindowbase.h"
#include "link/command.h"
#include "timetable/timetable.h"

#include <QPointer>
#include <QString>

#include <array>
#include <memory>
#include <optional>
#include <thread>
#include <vector>

class Panel;
class QButtonGroup;
class QEvent;
class QMessageBox;
class QPushButton;
class QRadioButton;
class QShortcut;
class StatusArea;

// The main window: the form, the grid of shows, the status bar, and the
// slots of the menu. It holds none of the program's state: what it shows,
// it asks the panel, and every command goes to the panel's dispatch().
class LumivaneMainWindow : public LumivaneMainWindowBase
{
    Q_OBJECT

public:
    explicit LumivaneMainWindow(QWidget *parent = nullptr, const char *name = nullptr,
                                Qt::WindowFlags flags = Qt::Window);
    ~LumivaneMainWindow() override;

    Panel &panel() { return *mPanel; }

    // What the link indicator says now.
    QString linkText() const;

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
    void doBrowserPanel() override;
    void doOperation() override;
    void doLock() override;
    void doLoadNames() override;
    void doSaveNames() override;
    void doEditNames() override;
    void doJournal() override;
    void doTimetable() override;

private:
    // The grid of shows.
    void createShowButtons();
    void buildPage(int page);
    void applyShowName(int id);
    void offerShownPageToTab();
    void showClicked(int id);
    void selectShow(int id);
    void goReady();
    void setSelectThenGo(bool on);
    QString readyText() const;
    void styleSelector(int id);
    // The grid goes back to the show the player got last.
    void unmarkRefused();
    void flashIgnored(int id);
    void setShowNumbers(bool on);
    QStringList showNames() const;
    // The brightness control.
    void showBrightness();
    void followBrightness(int level);
    // The operator's hand, mouse or key, as the journal names it.
    Source hand() const;
    // The boxes about the port.
    void warnPortNotOpened();
    void warnNoPort();
    // The lock.
    QList<QAction *> lockableActions() const;
    // File, Start with Windows: on Windows only.
    void offerAutostart();
    QAction *mAutostartAction = nullptr;
    void applyLock(bool locked);
    bool askToUnlock();
    bool unlockedToLeave();
    // The timetable editor's Send Now: the operator's own path, as a click
    // on the show or a drag of the slider.
    void sendFromEditor(const Timetable::Action &action);
    // Names.
    void askToLoadLastFile(const QString &lastFile);
    bool changedNamesSavedOrDropped();
    void loadNames(const QString &fileName);
    bool saveNames(const QString &fileName);
    static std::unique_ptr<QObject> watchInput(LumivaneMainWindow *window);

    // How long a selector whose start was ignored stands out.
    static constexpr int flashMs = 400;

    // Made first: the views below ask it from their start.
    std::unique_ptr<Panel> mPanel;
    StatusArea *mStatus = nullptr;
    std::unique_ptr<QButtonGroup> mShowGroup;
    // Null on a page not built yet.
    std::array<QRadioButton *, 128> mShowButtons {};
    QObject *mArrowKeys = nullptr;
    // Moved to what another source sent: it does not send that again.
    bool mFollowing = false;

    // The view's own choices, stored with the settings.
    QString mLastFile;
    // A device path typed under Setup's "Other...": listed there while it is
    // stored, also once another port was chosen.
    QString mOtherPort;
    // A click or an arrow key only selects a show; Enter or Go sends it.
    bool mSelectThenGo = false;
    // A named show's selector reads "12 · Vernissage".
    bool mShowNumbers = false;
    // Off: the last name file is loaded at start without the question, so
    // that an unattended start waits for nobody.
    bool mAskNamesAtStart = true;
    // The editor changed the names since they were last loaded or saved.
    bool mNamesChanged = false;

    std::optional<int> mReadyShow;
    QPushButton *mGoButton = nullptr; // made when a click first only selects
    std::vector<QShortcut *> mGoKeys;
    bool mNoPortWarningPending = false;
    // The box that says the port is not open, while it is up.
    QPointer<QMessageBox> mPortBox;
    // "mouse" or "key": the operator's last input; empty before any.
    QString mLastInput;
    // Not given to the window as its Qt parent: it writes mLastInput, so it
    // must go before that does.
    std::unique_ptr<QObject> mInputWatch = watchInput(this);
};

// The program's run once the application object exists: the main window,
// shown, and the event loop. Returns the exit status.
int runLumivane(std::jthread fontsRead = {});
