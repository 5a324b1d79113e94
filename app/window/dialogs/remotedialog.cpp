// SPDX-FileCopyrightText: 2026 The Lumivane developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "remotedialog.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QSpinBox>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace {

QString refusedTitle(int count)
{
    if (count == 0)
        return QStringLiteral("Refused: none");
    if (count <= RemoteListener::lastRefusals)
        return QStringLiteral("Refused: %1 (below, newest first)").arg(count);
    return QStringLiteral("Refused: %1 (the last %2 below, newest first)").arg(count).arg(RemoteListener::lastRefusals);
}

} // namespace

RemoteDialog::RemoteDialog(const RemoteConfig &config, RemoteListener &remote, QWidget *parent)
    : QDialog(parent), mRemote(remote), mConfig(config)
{
    setWindowTitle(QStringLiteral("Remote Control"));

    mEnabled = new QCheckBox(QStringLiteral("Accept remote commands"), this);
    mEnabled->setChecked(config.enabled);
    mPort = new QSpinBox(this);
    mPort->setRange(1, 65535);
    mPort->setValue(config.port);
    mOthers = new QCheckBox(QStringLiteral("Also from other computers"), this);
    mOthers->setChecked(config.fromOtherComputers);
    mAllowed = new QLineEdit(config.allowed, this);
    mAllowed->setPlaceholderText(QStringLiteral("any address, e.g. 192.168.1.0/24 10.0.0.7"));
    // Wide enough for its hint and a few addresses, not cut off at "e.g.".
    mAllowed->setMinimumWidth(mAllowed->fontMetrics().horizontalAdvance(mAllowed->placeholderText()) + 24);

    mStatus = new QLabel(this);
    mStatus->setObjectName(QStringLiteral("remoteStatus"));
    mStatus->setWordWrap(true);
    mStatus->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    // Three lines high and as wide as the form, whatever it says.
    mStatus->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
    mStatus->setFixedHeight(mStatus->fontMetrics().lineSpacing() * 3);
    mTitle = new QLabel(this);
    mTitle->setObjectName(QStringLiteral("refusedTitle"));
    mTitle->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
    mList = new QTreeWidget(this);
    mList->setObjectName(QStringLiteral("refusals"));
    mList->setHeaderLabels({ QStringLiteral("Time"), QStringLiteral("Sender"), QStringLiteral("Reason") });
    mList->setRootIsDecorated(false);
    mList->setUniformRowHeights(true);
    mList->setSelectionMode(QAbstractItemView::NoSelection);
    mList->setFixedHeight(mList->fontMetrics().lineSpacing() * 10);
    mList->setColumnWidth(0, mList->fontMetrics().horizontalAdvance(QStringLiteral("00:00:00")) + 16);
    mList->setColumnWidth(1, mList->fontMetrics().horizontalAdvance(QStringLiteral("255.255.255.255")) + 16);
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);

    auto *form = new QFormLayout;
    form->addRow(mEnabled);
    form->addRow(QStringLiteral("Port (UDP and TCP):"), mPort);
    form->addRow(mOthers);
    form->addRow(QStringLiteral("Only from these addresses:"), mAllowed);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(mStatus);
    layout->addWidget(mTitle);
    layout->addWidget(mList);
    layout->addWidget(buttons);

    refresh();
    connect(&mTicker, &QTimer::timeout, this, &RemoteDialog::refresh);
    mTicker.start(500);

    connect(mAllowed, &QLineEdit::textEdited, this, [this] {
        mProblem.clear();
        refresh();
    });
    connect(buttons, &QDialogButtonBox::accepted, this, &RemoteDialog::take);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
}

void RemoteDialog::refresh()
{
    mStatus->setText(mProblem.isEmpty() ? mRemote.status() : mProblem);
    mStatus->setToolTip(mStatus->text());
    const int count = mRemote.ignored();
    if (count == mListed)
        return;
    mListed = count;
    mTitle->setText(refusedTitle(count));
    mList->clear();
    const QList<RemoteRefusal> refusals = mRemote.refusals();
    for (auto refusal = refusals.rbegin(); refusal != refusals.rend(); ++refusal) {
        auto *item = new QTreeWidgetItem(mList, { refusal->when.toLocalTime().toString(QStringLiteral("HH:mm:ss")),
                                                  refusal->peer, refusal->reason });
        item->setToolTip(2, refusal->reason);
    }
}

void RemoteDialog::take()
{
    const RemoteConfig config { mEnabled->isChecked(), mPort->value(), mOthers->isChecked(), mAllowed->text() };
    // Off, the list is not used yet; turned on, it is checked again.
    const QString fault = config.enabled ? mRemote.allowedFault(config.allowed) : QString();
    if (!fault.isEmpty()) {
        mProblem = fault.at(0).toUpper() + fault.mid(1);
        refresh();
        mAllowed->setFocus();
        return;
    }
    mConfig = config;
    accept();
}
