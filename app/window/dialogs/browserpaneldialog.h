// SPDX-FileCopyrightText: 2026 The Lumivane developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "web/weblistener.h"

#include <QDialog>

#include <optional>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSpinBox;

// File, Browser Panel...: the settings, the password and the server's
// status with the address a browser opens. Nothing takes effect before OK,
// the password included: a password typed and then cancelled is never
// stored. The dialog's parts keep their places whatever the notes say.
class BrowserPanelDialog : public QDialog
{
    Q_OBJECT

public:
    // `web` gives the status and the addresses, and checks the list of
    // addresses on OK; the dialog changes nothing in it.
    BrowserPanelDialog(const WebConfig &config, WebListener &web, QWidget *parent);

    // After OK: the settings as the operator left them (passwordSet as given).
    WebConfig config() const { return mConfig; }
    // After OK: the new password, empty to remove it; nothing when it stays.
    std::optional<QString> password() const { return mPassword; }

private:
    void refresh();
    void showPassword();
    void askPassword();
    void take();

    WebListener &mWeb;
    WebConfig mConfig;
    std::optional<QString> mPassword;
    QCheckBox *mEnabled = nullptr;
    QSpinBox *mPort = nullptr;
    QCheckBox *mOthers = nullptr;
    QLabel *mOthersNote = nullptr;
    QLineEdit *mAllowed = nullptr;
    QCheckBox *mViewOnly = nullptr;
    QLineEdit *mHostNames = nullptr;
    QLabel *mPasswordState = nullptr;
    QPushButton *mRemovePassword = nullptr;
    QLabel *mStatus = nullptr;
    // What OK found wrong, shown instead of the status until the list is edited.
    QString mProblem;
};
