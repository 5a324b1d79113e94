// SPDX-FileCopyrightText: 2026 The Lumivane developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "browserpaneldialog.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QStyle>
#include <QVBoxLayout>

namespace {

// The new password, typed twice; nothing when cancelled. Two that differ,
// or none, are said in the box, which stays for another try.
std::optional<QString> askNewPassword(QWidget *parent)
{
    QDialog box(parent);
    box.setWindowTitle(QStringLiteral("Set Password"));
    auto *first = new QLineEdit(&box);
    auto *again = new QLineEdit(&box);
    for (QLineEdit *field : { first, again }) {
        field->setEchoMode(QLineEdit::Password);
        field->setMinimumWidth(field->fontMetrics().horizontalAdvance(QLatin1Char('x')) * 28);
    }
    auto *problem = new QLabel(&box);
    problem->setObjectName(QStringLiteral("passwordProblem"));
    // Its line is there before anything is wrong, so nothing moves.
    problem->setFixedHeight(problem->fontMetrics().lineSpacing());
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &box);

    auto *form = new QFormLayout;
    form->addRow(QStringLiteral("New password:"), first);
    form->addRow(QStringLiteral("Again:"), again);
    auto *layout = new QVBoxLayout(&box);
    layout->addLayout(form);
    layout->addWidget(problem);
    layout->addWidget(buttons);

    QObject::connect(buttons, &QDialogButtonBox::accepted, &box, [&] {
        if (first->text().isEmpty()) {
            problem->setText(QStringLiteral("Type the password, twice."));
        } else if (first->text() != again->text()) {
            problem->setText(QStringLiteral("The two passwords differ; type them again."));
        } else {
            box.accept();
            return;
        }
        first->clear();
        again->clear();
        first->setFocus();
    });
    QObject::connect(buttons, &QDialogButtonBox::rejected, &box, &QDialog::reject);
    if (box.exec() != QDialog::Accepted)
        return std::nullopt;
    return first->text();
}

// "Open http://127.0.0.1:8080/ in a browser", or every address of this
// computer another one may open.
QString toOpen(const QStringList &addresses)
{
    if (addresses.isEmpty())
        return {};
    return QStringLiteral("Open %1 in a browser").arg(addresses.join(QStringLiteral(" or ")));
}

} // namespace

BrowserPanelDialog::BrowserPanelDialog(const WebConfig &config, WebListener &web, QWidget *parent)
    : QDialog(parent), mWeb(web), mConfig(config)
{
    setWindowTitle(QStringLiteral("Browser Panel"));

    mEnabled = new QCheckBox(QStringLiteral("Browser panel on"), this);
    mEnabled->setChecked(config.enabled);
    mPort = new QSpinBox(this);
    mPort->setRange(1, 65535);
    mPort->setValue(config.port);
    mOthers = new QCheckBox(QStringLiteral("Also from other computers"), this);
    mOthers->setChecked(config.fromOtherComputers);
    mOthersNote = new QLabel(this);
    mOthersNote->setObjectName(QStringLiteral("othersNote"));
    // Under the box's text, not its square; its line is there while it
    // says nothing, so nothing below moves.
    mOthersNote->setContentsMargins(style()->pixelMetric(QStyle::PM_IndicatorWidth)
                                        + style()->pixelMetric(QStyle::PM_CheckBoxLabelSpacing),
                                    0, 0, 0);
    mOthersNote->setFixedHeight(mOthersNote->fontMetrics().lineSpacing());
    mAllowed = new QLineEdit(config.allowed, this);
    mAllowed->setPlaceholderText(QStringLiteral("any address, e.g. 192.168.1.0/24 10.0.0.7"));
    mViewOnly = new QCheckBox(QStringLiteral("View only: pages watch but cannot send commands"), this);
    mViewOnly->setChecked(config.viewOnly);
    mHostNames = new QLineEdit(config.hostNames, this);
    mHostNames->setPlaceholderText(QStringLiteral("none but this computer's own, e.g. foyer.local"));
    // Wide enough for their hints and a few words, not cut off at "e.g.".
    for (QLineEdit *field : { mAllowed, mHostNames })
        field->setMinimumWidth(field->fontMetrics().horizontalAdvance(field->placeholderText()) + 24);

    mPasswordState = new QLabel(this);
    mPasswordState->setObjectName(QStringLiteral("passwordState"));
    auto *setPassword = new QPushButton(QStringLiteral("Set Password..."), this);
    setPassword->setAutoDefault(false);
    mRemovePassword = new QPushButton(QStringLiteral("Remove Password"), this);
    mRemovePassword->setAutoDefault(false);
    auto *passwordRow = new QHBoxLayout;
    passwordRow->addWidget(mPasswordState, 1);
    passwordRow->addWidget(setPassword);
    passwordRow->addWidget(mRemovePassword);

    mStatus = new QLabel(this);
    mStatus->setObjectName(QStringLiteral("webStatus"));
    mStatus->setWordWrap(true);
    mStatus->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    // Four lines high, for a reason and several addresses, and as wide as
    // the form, whatever it says.
    mStatus->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
    mStatus->setFixedHeight(mStatus->fontMetrics().lineSpacing() * 4);
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);

    auto *form = new QFormLayout;
    form->addRow(mEnabled);
    form->addRow(QStringLiteral("Port:"), mPort);
    form->addRow(mOthers);
    form->addRow(mOthersNote);
    form->addRow(QStringLiteral("Only from these addresses:"), mAllowed);
    form->addRow(mViewOnly);
    form->addRow(QStringLiteral("Also answer to the names:"), mHostNames);
    form->addRow(passwordRow);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(mStatus);
    layout->addWidget(buttons);

    showPassword();
    refresh();

    connect(mOthers, &QCheckBox::toggled, this, &BrowserPanelDialog::showPassword);
    connect(setPassword, &QPushButton::clicked, this, &BrowserPanelDialog::askPassword);
    connect(mRemovePassword, &QPushButton::clicked, this, [this] {
        mPassword = QString();
        showPassword();
    });
    connect(mAllowed, &QLineEdit::textEdited, this, [this] {
        mProblem.clear();
        refresh();
    });
    connect(buttons, &QDialogButtonBox::accepted, this, &BrowserPanelDialog::take);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
}

void BrowserPanelDialog::refresh()
{
    QString text = mProblem;
    if (text.isEmpty()) {
        text = mWeb.status();
        if (mWeb.listening())
            text += QLatin1Char('\n') + toOpen(mWeb.pageAddresses());
    }
    mStatus->setText(text);
    mStatus->setToolTip(text);
}

// The password as it will be after OK.
void BrowserPanelDialog::showPassword()
{
    const bool set = mPassword ? !mPassword->isEmpty() : mConfig.passwordSet;
    mPasswordState->setText(set ? QStringLiteral("Password: set") : QStringLiteral("Password: none"));
    mRemovePassword->setEnabled(set);
    mOthersNote->setText(mOthers->isChecked() && !set
                             ? QStringLiteral("Other computers are let in once a password is set.")
                             : QString());
}

void BrowserPanelDialog::askPassword()
{
    if (const std::optional<QString> password = askNewPassword(this)) {
        mPassword = password;
        showPassword();
    }
}

void BrowserPanelDialog::take()
{
    WebConfig config = mConfig;
    config.enabled = mEnabled->isChecked();
    config.port = mPort->value();
    config.fromOtherComputers = mOthers->isChecked();
    config.allowed = mAllowed->text();
    config.viewOnly = mViewOnly->isChecked();
    config.hostNames = mHostNames->text();
    // Off, the list is not used yet; turned on, it is checked again.
    const QString fault = config.enabled ? mWeb.allowedFault(config.allowed) : QString();
    if (!fault.isEmpty()) {
        mProblem = fault.at(0).toUpper() + fault.mid(1);
        refresh();
        mAllowed->setFocus();
        return;
    }
    mConfig = config;
    accept();
}
