// SPDX-FileCopyrightText: 2026 The Lumivane developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "remote/remotelistener.h"

#include <QDialog>
#include <QTimer>

class QCheckBox;
class QLabel;
class QLineEdit;
class QSpinBox;
class QTreeWidget;

// File, Remote Control...: the settings, the server's status and the
// commands it refused, newest first, kept up to date while it is open.
// Nothing takes effect before OK: a stray key on the focused switch during a
// show changes nothing until the operator says so. The dialog's parts keep
// their size whatever they show, so nothing moves under the mouse while
// refusals arrive.
class RemoteDialog : public QDialog
{
    Q_OBJECT

public:
    // `remote` gives the status and the refusals, and checks the list of
    // addresses on OK; the dialog changes nothing in it.
    RemoteDialog(const RemoteConfig &config, RemoteListener &remote, QWidget *parent);

    // After OK: the settings as the operator left them.
    RemoteConfig config() const { return mConfig; }

private:
    void refresh();
    void take();

    RemoteListener &mRemote;
    RemoteConfig mConfig;
    QCheckBox *mEnabled = nullptr;
    QSpinBox *mPort = nullptr;
    QCheckBox *mOthers = nullptr;
    QLineEdit *mAllowed = nullptr;
    QLabel *mStatus = nullptr;
    QLabel *mTitle = nullptr;
    QTreeWidget *mList = nullptr;
    // What OK found wrong, shown instead of the status until the list is edited.
    QString mProblem;
    int mListed = -1;
    QTimer mTicker;
};
