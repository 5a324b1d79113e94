// SPDX-FileCopyrightText: 2026 The Lumivane developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "window/lumivanemainwindow.h"
#include "testsupport.h"

#include <QAction>
#include <QDateTime>
#include <QFile>
#include <QInputDialog>
#include <QSettings>
#include <QSlider>
#include <QStatusBar>

#include <memory>

// Stored settings the program did not write itself, and a settings folder it
// cannot write: it starts on the defaults, port "COM1" and no last file, and
// carries on. "COM1" is /dev/ttyS0, which the test launcher covers with
// /dev/null, so opening it fails with the usual warning.
class tst_SettingsRobustness : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void fallsBackToDefaults_data();
    void fallsBackToDefaults();
    void unwritableLocation();

private:
    void startExpectingDefaults();

    std::unique_ptr<TemporarySettings> mSettings;
    std::unique_ptr<LumivaneMainWindow> mWindow;
};

// Picks a port in the Setup dialog as the operator would.
static ModalAnswerer::Answer choosePort(const QString &port)
{
    return [port](QWidget *w) {
        auto *dialog = qobject_cast<QInputDialog *>(w);
        if (!dialog) {
            static_cast<QDialog *>(w)->reject();
            return;
        }
        dialog->setTextValue(port);
        dialog->accept();
    };
}

void tst_SettingsRobustness::init()
{
    REQUIRE_COVERED_PORTS();
    mSettings = std::make_unique<TemporarySettings>();
}

void tst_SettingsRobustness::cleanup()
{
    mWindow.reset();
    mSettings.reset();
}

void tst_SettingsRobustness::startExpectingDefaults()
{
    ModalAnswerer answerer;
    answerer.then(ModalAnswerer::click("OK"));
    mWindow = std::make_unique<LumivaneMainWindow>();
    // Only the port's warning: a last file would have brought a question first.
    QCOMPARE(answerer.seen.size(), 1);
    QCOMPARE(answerer.seen[0].text, QStringLiteral("Could not open serial port COM1"));

    // And it goes on: shown, and the controls still move.
    mWindow->show();
    QVERIFY(QTest::qWaitForWindowExposed(mWindow.get()));
    answerer.then(ModalAnswerer::click("OK"));
    mWindow->mBrightSlider->setValue(20);
    QTRY_COMPARE(answerer.seen.size(), 2);
    QCOMPARE(answerer.seen[1].text, QStringLiteral("No serial port selected"));
    QCOMPARE(mWindow->mBrightSlider->value(), 20);
}

void tst_SettingsRobustness::fallsBackToDefaults_data()
{
    QTest::addColumn<QByteArray>("contents");

    QByteArray garbage;
    for (int i = 0; i < 4096; ++i)
        garbage.append(char((i * 7919 + 13) % 256));
    QTest::newRow("binary garbage") << garbage;
    QTest::newRow("broken sections and keys")
        << QByteArray("[General\nserialPort\n=lastFile\n[[]]\n\\\\\\=\n@Variant(\x01\x02\n"
                      "serialPort=\"unterminated\n");
    QTest::newRow("wrong types")
        << QByteArray("[General]\nserialPort=@Rect(1 2 3 4)\nlastFile=@Size(10 20)\n");
    QTest::newRow("lists where text belongs")
        << QByteArray("[General]\nserialPort=COM2, COM3\nlastFile=a, b\n");
    QTest::newRow("empty port") << QByteArray("[General]\nserialPort=\nlastFile=\n");
    QTest::newRow("empty file") << QByteArray();
    QTest::newRow("edited by hand: a byte-order mark, a # comment")
        << QByteArray("\xEF\xBB\xBF# by hand\n[General]\nlastFile=\n");
}

void tst_SettingsRobustness::fallsBackToDefaults()
{
    QFETCH(QByteArray, contents);
    const QString fileName = mSettings->fileName();
    QDir().mkpath(QFileInfo(fileName).path());
    QFile file(fileName);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(file.write(contents), contents.size());
    file.close();

    startExpectingDefaults();

    // Written again while the program runs, as an editor would, so that the
    // next write reads it afresh.
    QVERIFY(file.open(QIODevice::ReadWrite));
    QVERIFY(file.setFileTime(QDateTime::currentDateTime().addSecs(5), QFileDevice::FileModificationTime));
    file.close();

    // A port chosen now is stored over it, readable again.
    ModalAnswerer answerer;
    answerer.then(choosePort(QStringLiteral("COM2"))).then(ModalAnswerer::click("OK"));
    mWindow->fileSetupAction->trigger();
    QCOMPARE(answerer.seen.size(), 2);
    QCOMPARE(mSettings->stored(QStringLiteral("serialPort")).toString(), QStringLiteral("COM2"));
    // Stored, so not said to have failed, however the file read.
    QCOMPARE(mWindow->statusBar()->currentMessage(), QString());
}

void tst_SettingsRobustness::unwritableLocation()
{
    // Below a regular file no folder can be made, not even by root, for whom
    // permission bits would not stop a write.
    QTemporaryDir dir;
    const QString blocker = dir.filePath(QStringLiteral("file"));
    QFile file(blocker);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.close();
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, blocker + QStringLiteral("/sub"));

    startExpectingDefaults();

    // A write that cannot land is said once in the status bar, no box, and
    // the choice holds for this run: the port tried is the one chosen.
    ModalAnswerer answerer;
    for (const QString port : { "COM2", "COM3" }) {
        answerer.then(choosePort(port)).then(ModalAnswerer::click("OK"));
        mWindow->fileSetupAction->trigger();
        QCOMPARE(answerer.seen.constLast().text, "Could not open serial port " + port);
        QCOMPARE(mWindow->statusBar()->currentMessage(),
                 port == "COM2" ? "Could not store the settings in " + mSettings->fileName() : QString());
        mWindow->statusBar()->clearMessage();
    }
    QCOMPARE(answerer.seen.size(), 4);
    QVERIFY(mWindow->isVisible());
    QVERIFY(QFileInfo(blocker).isFile());
}

QTEST_MAIN(tst_SettingsRobustness)
#include "tst_settingsrobustness.moc"
