// SPDX-FileCopyrightText: 2026 The Lumivane developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QMainWindow>

class QAction;
class QLabel;
class QMenu;
class QMenuBar;
class QPushButton;
class QSlider;
class QTabWidget;

// The main window's widgets, menus, actions and texts at fixed positions.
// It holds no behaviour: its slots are placeholders that the controller
// overrides.
class LumivaneMainWindowBase : public QMainWindow
{
    Q_OBJECT

public:
    explicit LumivaneMainWindowBase(QWidget *parent = nullptr, const char *name = nullptr,
                                    Qt::WindowFlags flags = Qt::Window);

    QSlider *mBrightSlider = nullptr;
    QPushButton *mOffButton = nullptr;
    QLabel *textLabel1 = nullptr;
    QTabWidget *mTabber = nullptr;
    QWidget *tab = nullptr;
    QWidget *tab_2 = nullptr;
    QWidget *tab_3 = nullptr;
    QWidget *tab_4 = nullptr;
    QMenuBar *menubar = nullptr;
    QMenu *fileMenu = nullptr;
    QMenu *editMenu = nullptr;
    QMenu *helpMenu = nullptr;
    QAction *helpAboutAction = nullptr;
    QAction *helpAboutQtAction = nullptr;
    QAction *fileExitAction = nullptr;
    QAction *editCutAction = nullptr;
    QAction *editCopyAction = nullptr;
    QAction *editPasteAction = nullptr;
    QAction *fileLoadAction = nullptr;
    QAction *fileSetupAction = nullptr;
    QAction *fileRemoteAction = nullptr;
    QAction *fileBrowserPanelAction = nullptr;
    QAction *fileOperationAction = nullptr;
    QAction *fileLockAction = nullptr;
    QAction *fileTimetableAction = nullptr;
    QAction *fileJournalAction = nullptr;
    QAction *fileEditAction = nullptr;
    QAction *fileSaveAction = nullptr;

public slots:
    virtual void doExit();
    virtual void doOff();
    virtual void doBright();
    virtual void doAbout();
    virtual void doSetup();
    virtual void doRemote();
    virtual void doBrowserPanel();
    virtual void doOperation();
    virtual void doLock();
    virtual void doTimetable();
    virtual void doJournal();
    virtual void doLoadNames();
    virtual void doSaveNames();
    virtual void doEditNames();

protected slots:
    virtual void languageChange();

protected:
    void changeEvent(QEvent *event) override;

private:
    void createControls();
    void createActions();
    void createMenus();
    void connectSignals();
    void fitTexts();
};
