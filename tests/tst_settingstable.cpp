// SPDX-FileCopyrightText: 2026 The Lumivane developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "settings/settings.h"

#include <QFile>
#include <QTest>

// The table of keys against the reference the operator edits the file by.
class tst_SettingsTable : public QObject
{
    Q_OBJECT

private slots:
    void everyKeyIsDocumented_data();
    void everyKeyIsDocumented();
};

void tst_SettingsTable::everyKeyIsDocumented_data()
{
    QTest::addColumn<QString>("name");
    for (const Settings::Key &key : Settings::keys())
        QTest::newRow(key.name) << QString::fromLatin1(key.name);
}

// A key added to the table and not to the reference is one the operator
// cannot know of.
void tst_SettingsTable::everyKeyIsDocumented()
{
    QFETCH(QString, name);
    QFile reference(QStringLiteral(LUMIVANE_REFERENCE));
    QVERIFY2(reference.open(QIODevice::ReadOnly), qPrintable(reference.fileName()));
    const QString text = QString::fromUtf8(reference.readAll());
    QVERIFY2(text.contains(QLatin1Char('`') + name + QLatin1Char('`')),
             qPrintable(QStringLiteral("`%1` is not in %2").arg(name, reference.fileName())));
}

QTEST_GUILESS_MAIN(tst_SettingsTable)
#include "tst_settingstable.moc"
