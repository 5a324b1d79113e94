// SPDX-FileCopyrightText: 2026 The Lumivane developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "lumivanemainwindow.h"

#include <QCheckBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QSpinBox>
#include <QVBoxLayout>

namespace {

QString describe(const RemoteListener &remote)
{
    QString text = remote.status();
    if (remote.ignored() > 0)
        text += QStringLiteral("\n%1 ignored: malformed, unknown, out of range, too long, "
                               "from a sender not allowed, or with no port open").arg(remote.ignored());
    return text;
}

} // namespace

void LumivaneMainWindow::doRemote()
{
    QDialog dialog(this);
    dialog.setWindowTitle(QStringLiteral("Remote Control"));

    auto *enabled = new QCheckBox(QStringLiteral("Accept remote commands"), &dialog);
    enabled->setChecked(mRemoteConfig.enabled);
    auto *port = new QSpinBox(&dialog);
    port->setRange(1, 65535);
    port->setValue(mRemoteConfig.port);
    // Stored when typing ends, not at each digit typed.
    port->setKeyboardTracking(false);
    auto *others = new QCheckBox(QStringLiteral("Also from other computers"), &dialog);
    others->setChecked(mRemoteConfig.fromOtherComputers);
    auto *allowed = new QLineEdit(mRemoteConfig.allowed, &dialog);
    allowed->setPlaceholderText(QStringLiteral("any address, e.g. 192.168.1.0/24 10.0.0.7"));
    // Wide enough for its hint and a few addresses, not cut off at "e.g.".
    allowed->setMinimumWidth(allowed->fontMetrics().horizontalAdvance(allowed->placeholderText()) + 24);
    auto *status = new QLabel(describe(remote()), &dialog);
    status->setWordWrap(true);
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Close, &dialog);

    auto *form = new QFormLayout;
    form->addRow(enabled);
    form->addRow(QStringLiteral("Port (UDP and TCP):"), port);
    form->addRow(others);
    form->addRow(QStringLiteral("Only from these addresses:"), allowed);
    auto *layout = new QVBoxLayout(&dialog);
    layout->addLayout(form);
    layout->addWidget(status);
    layout->addWidget(buttons);

    // Each change is stored at once and takes effect at once.
    const auto restart = [this, status] {
        remote().configure(mRemoteConfig);
        showRemote();
        status->setText(describe(remote()));
    };
    connect(enabled, &QCheckBox::toggled, &dialog, [this, restart](bool on) {
        mRemoteConfig.enabled = on;
        storeRemoteEnabled();
        restart();
    });
    connect(port, &QSpinBox::valueChanged, &dialog, [this, restart](int value) {
        mRemoteConfig.port = value;
        storeRemotePort();
        restart();
    });
    connect(others, &QCheckBox::toggled, &dialog, [this, restart](bool on) {
        mRemoteConfig.fromOtherComputers = on;
        storeRemoteFromOtherComputers();
        restart();
    });
    connect(allowed, &QLineEdit::editingFinished, &dialog, [this, restart, allowed] {
        if (allowed->text() == mRemoteConfig.allowed)
            return;
        mRemoteConfig.allowed = allowed->text();
        storeRemoteAllowed();
        restart();
    });
    connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    dialog.exec();
}
