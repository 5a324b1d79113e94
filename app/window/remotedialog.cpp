// SPDX-FileCopyrightText: 2026 The Lumivane developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "lumivanemainwindow.h"

#include "panel/panel.h"

#include <QCheckBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QSpinBox>
#include <QStatusBar>
#include <QTimer>
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

// Nothing takes effect before OK: a stray key on the focused switch during a
// show changes nothing until the operator says so. The dialog's parts keep
// their size whatever they show, so nothing moves under the mouse while
// refusals arrive.
void LumivaneMainWindow::doRemote()
{
    QDialog dialog(this);
    dialog.setWindowTitle(QStringLiteral("Remote Control"));

    auto *enabled = new QCheckBox(QStringLiteral("Accept remote commands"), &dialog);
    enabled->setChecked(mPanel->remoteConfig().enabled);
    auto *port = new QSpinBox(&dialog);
    port->setRange(1, 65535);
    port->setValue(mPanel->remoteConfig().port);
    auto *others = new QCheckBox(QStringLiteral("Also from other computers"), &dialog);
    others->setChecked(mPanel->remoteConfig().fromOtherComputers);
    auto *allowed = new QLineEdit(mPanel->remoteConfig().allowed, &dialog);
    allowed->setPlaceholderText(QStringLiteral("any address, e.g. 192.168.1.0/24 10.0.0.7"));
    // Wide enough for its hint and a few addresses, not cut off at "e.g.".
    allowed->setMinimumWidth(allowed->fontMetrics().horizontalAdvance(allowed->placeholderText()) + 24);

    auto *status = new QLabel(&dialog);
    status->setObjectName(QStringLiteral("remoteStatus"));
    status->setWordWrap(true);
    status->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    // Three lines high and as wide as the form, whatever it says.
    status->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
    status->setFixedHeight(status->fontMetrics().lineSpacing() * 3);
    auto *title = new QLabel(&dialog);
    title->setObjectName(QStringLiteral("refusedTitle"));
    title->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
    auto *list = new QTreeWidget(&dialog);
    list->setObjectName(QStringLiteral("refusals"));
    list->setHeaderLabels({ QStringLiteral("Time"), QStringLiteral("Sender"), QStringLiteral("Reason") });
    list->setRootIsDecorated(false);
    list->setUniformRowHeights(true);
    list->setSelectionMode(QAbstractItemView::NoSelection);
    list->setFixedHeight(list->fontMetrics().lineSpacing() * 10);
    list->setColumnWidth(0, list->fontMetrics().horizontalAdvance(QStringLiteral("00:00:00")) + 16);
    list->setColumnWidth(1, list->fontMetrics().horizontalAdvance(QStringLiteral("255.255.255.255")) + 16);
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);

    auto *form = new QFormLayout;
    form->addRow(enabled);
    form->addRow(QStringLiteral("Port (UDP and TCP):"), port);
    form->addRow(others);
    form->addRow(QStringLiteral("Only from these addresses:"), allowed);
    auto *layout = new QVBoxLayout(&dialog);
    layout->addLayout(form);
    layout->addWidget(status);
    layout->addWidget(title);
    layout->addWidget(list);
    layout->addWidget(buttons);

    // What OK found wrong, shown instead of the status until the list is edited.
    QString problem;
    int listed = -1;
    const auto refresh = [&] {
        status->setText(problem.isEmpty() ? mPanel->remote().status() : problem);
        status->setToolTip(status->text());
        const int count = mPanel->remote().ignored();
        if (count == listed)
            return;
        listed = count;
        title->setText(refusedTitle(count));
        list->clear();
        const QList<RemoteRefusal> refusals = mPanel->remote().refusals();
        for (auto refusal = refusals.rbegin(); refusal != refusals.rend(); ++refusal) {
            auto *item = new QTreeWidgetItem(list, { refusal->when.toLocalTime().toString(QStringLiteral("HH:mm:ss")),
                                                     refusal->peer, refusal->reason });
            item->setToolTip(2, refusal->reason);
        }
    };
    refresh();
    QTimer ticker;
    connect(&ticker, &QTimer::timeout, &dialog, refresh);
    ticker.start(500);

    connect(allowed, &QLineEdit::textEdited, &dialog, [&] {
        problem.clear();
        refresh();
    });
    connect(buttons, &QDialogButtonBox::accepted, &dialog, [&] {
        const RemoteConfig config { enabled->isChecked(), port->value(), others->isChecked(), allowed->text() };
        // Off, the list is not used yet; turned on, it is checked again.
        const QString fault = config.enabled ? mPanel->remote().allowedFault(config.allowed) : QString();
        if (!fault.isEmpty()) {
            problem = fault.at(0).toUpper() + fault.mid(1);
            refresh();
            allowed->setFocus();
            return;
        }
        if (config != mPanel->remoteConfig()) {
            mPanel->setRemoteConfig(config);
            if (config.enabled && !mPanel->remote().listening())
                statusBar()->showMessage(QStringLiteral("Remote control: ") + mPanel->remote().status(), Panel::messageMs);
        }
        dialog.accept();
    });
    connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    dialog.exec();
}
