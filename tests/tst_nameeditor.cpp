// SPDX-FileCopyrightText: 2026 The Lumivane developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "window/lumivanemainwindow.h"
#include "lumivanenamedialog.h"
#include "testsupport.h"

#include <QAction>
#include <QHeaderView>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QTableWidget>

#include <memory>

// Editing all 128 names in a table.
class tst_NameEditor : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void form();
    void showsNumbersAndCurrentNames();
    void okAppliesEveryCell_data();
    void okAppliesEveryCell();
    void nothingChangesWithout_data();
    void nothingChangesWithout();
    void changedNamesAskBeforeEnding_data();
    void changedNamesAskBeforeEnding();

private:
    // Runs the editor; edit() is called with the open dialog, then finish().
    void runEditor(const std::function<void(LumivaneNameDialog *)> &edit,
                   const std::function<void(LumivaneNameDialog *)> &finish);

    std::unique_ptr<TemporarySettings> mSettings;
    std::unique_ptr<Pty> mPty;
    std::unique_ptr<LumivaneMainWindow> mWindow;
};

void tst_NameEditor::init()
{
    mSettings = std::make_unique<TemporarySettings>();
    mPty = std::make_unique<Pty>();
    mSettings->store(QStringLiteral("serialPort"), QString::fromLocal8Bit(mPty->slavePath));
    mWindow = std::make_unique<LumivaneMainWindow>();
    mWindow->show();
    QVERIFY(QTest::qWaitForWindowExposed(mWindow.get()));
}

void tst_NameEditor::cleanup()
{
    mWindow.reset();
    mPty.reset();
    mSettings.reset();
}

void tst_NameEditor::runEditor(const std::function<void(LumivaneNameDialog *)> &edit,
                               const std::function<void(LumivaneNameDialog *)> &finish)
{
    ModalAnswerer answerer;
    answerer.then([&](QWidget *w) {
        auto *dialog = qobject_cast<LumivaneNameDialog *>(w);
        QVERIFY(dialog);
        QVERIFY(QTest::qWaitForWindowExposed(dialog));
        edit(dialog);
        finish(dialog);
    });
    mWindow->fileEditAction->trigger();
    QCOMPARE(answerer.seen.size(), 1);
    QCOMPARE(answerer.seen[0].title, QStringLiteral("Show Names"));
}

void tst_NameEditor::form()
{
    LumivaneNameDialog dialog(mWindow.get());
    QCOMPARE(dialog.objectName(), QStringLiteral("LumivaneNameDialog"));
    QCOMPARE(dialog.windowTitle(), QStringLiteral("Show Names"));
    QCOMPARE(dialog.table->geometry(), QRect(0, 0, 360, 430));
    QCOMPARE(dialog.okButton->geometry(), QRect(250, 440, 101, 31));
    QCOMPARE(dialog.cancelButton->geometry(), QRect(130, 440, 101, 31));
    QCOMPARE(dialog.okButton->text(), QStringLiteral("OK"));
    QCOMPARE(dialog.cancelButton->text(), QStringLiteral("Cancel"));
    QCOMPARE(dialog.size(), QSize(360, 481).expandedTo(dialog.minimumSizeHint()));
}

void tst_NameEditor::showsNumbersAndCurrentNames()
{
    // The table shows the name, not the selector's "&&" for its "&".
    mWindow->setShowName(0, QStringLiteral("R&B Opening"));
    mWindow->setShowName(127, QString::fromUtf8("Finale – 日本"));
    const QStringList names = showNames(*mWindow);
    runEditor(
        [&names](LumivaneNameDialog *dialog) {
            QTableWidget *table = dialog->table;
            QCOMPARE(table->rowCount(), 128);
            QCOMPARE(table->columnCount(), 1);
            QCOMPARE(table->columnWidth(0), 305);
            QCOMPARE(table->horizontalHeaderItem(0)->text(), QStringLiteral("Show Name"));
            for (int row = 0; row < 128; ++row) {
                QCOMPARE(table->verticalHeaderItem(row)->text(), QString::number(row + 1));
                QCOMPARE(table->item(row, 0)->text(), names.at(row));
            }
        },
        [](LumivaneNameDialog *dialog) { dialog->cancelButton->click(); });
}

void tst_NameEditor::okAppliesEveryCell_data()
{
    QTest::addColumn<bool>("mouse");
    QTest::newRow("mouse click") << true;
    // As a screen reader presses it: the editor never loses focus.
    QTest::newRow("pressed without focus change") << false;
}

void tst_NameEditor::okAppliesEveryCell()
{
    QFETCH(bool, mouse);
    QStringList expected = showNames(*mWindow);
    expected[1] = QStringLiteral("Changed");
    expected[2] = QString();
    expected[40] = QStringLiteral("Typed, still open");
    runEditor(
        [](LumivaneNameDialog *dialog) {
            QTableWidget *table = dialog->table;
            table->item(1, 0)->setText(QStringLiteral("Changed"));
            table->item(2, 0)->setText(QString());
            // An edit the operator has not finished when clicking OK.
            table->scrollToItem(table->item(40, 0));
            table->setCurrentCell(40, 0);
            table->editItem(table->item(40, 0));
            auto *editor = table->viewport()->findChild<QLineEdit *>();
            QVERIFY(editor);
            editor->selectAll();
            QTest::keyClicks(editor, QStringLiteral("Typed, still open"));
        },
        [mouse](LumivaneNameDialog *dialog) {
            if (mouse)
                QTest::mouseClick(dialog->okButton, Qt::LeftButton);
            else
                dialog->okButton->click();
        });
    QCOMPARE(showNames(*mWindow), expected);
    // Names are not saved anywhere by editing.
    QVERIFY(!mSettings->stored(QStringLiteral("lastFile")).isValid());
    QCOMPARE(mPty->read(), QByteArray());
}

void tst_NameEditor::nothingChangesWithout_data()
{
    QTest::addColumn<QString>("how");
    QTest::newRow("Cancel") << "cancel";
    QTest::newRow("Escape") << "escape";
    QTest::newRow("closing the window") << "close";
}

void tst_NameEditor::nothingChangesWithout()
{
    QFETCH(QString, how);
    const QStringList before = showNames(*mWindow);
    runEditor(
        [](LumivaneNameDialog *dialog) {
            dialog->table->item(0, 0)->setText(QStringLiteral("Edited"));
            dialog->table->item(5, 0)->setText(QString());
        },
        [how](LumivaneNameDialog *dialog) {
            if (how == "cancel")
                dialog->cancelButton->click();
            else if (how == "escape")
                QTest::keyClick(dialog, Qt::Key_Escape);
            else
                dialog->close();
        });
    QCOMPARE(showNames(*mWindow), before);
    // Nothing to lose, so nothing is asked.
    ModalAnswerer answerer;
    QVERIFY(mWindow->close());
    QCOMPARE(answerer.seen.size(), 0);
}

void tst_NameEditor::changedNamesAskBeforeEnding_data()
{
    QTest::addColumn<QString>("how");    // "close" the window, or File, "exit"
    QTest::addColumn<QString>("answer"); // to the question; "save" file dialog cancelled for "Save, cancelled"
    QTest::addColumn<bool>("ends");
    QTest::newRow("close, Cancel stays") << "close" << "Cancel" << false;
    QTest::newRow("close, Discard ends") << "close" << "Discard" << true;
    QTest::newRow("close, Save saves and ends") << "close" << "Save" << true;
    QTest::newRow("close, Save cancelled stays") << "close" << "Save, cancelled" << false;
    QTest::newRow("close, Save fails, says why and stays") << "close" << "Save, fails" << false;
    QTest::newRow("File, Exit, Cancel stays") << "exit" << "Cancel" << false;
    QTest::newRow("loaded after the edit: nothing asked") << "close" << "" << true;
}

void tst_NameEditor::changedNamesAskBeforeEnding()
{
    QFETCH(QString, how);
    QFETCH(QString, answer);
    QFETCH(bool, ends);
    runEditor([](LumivaneNameDialog *dialog) { dialog->table->item(0, 0)->setText(QStringLiteral("Edited")); },
              [](LumivaneNameDialog *dialog) { dialog->okButton->click(); });
    const QStringList edited = showNames(*mWindow);

    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("shows.txt"));
    ModalAnswerer answerer;
    if (answer.isEmpty()) {
        QFile loaded(file);
        QVERIFY(loaded.open(QIODevice::WriteOnly));
        loaded.write("Loaded\r\n");
        loaded.close();
        answerer.then(chooseFile(file));
        mWindow->fileLoadAction->trigger();
        answerer.seen.clear();
    } else {
        answerer.then(ModalAnswerer::click(answer.section(QLatin1Char(','), 0, 0)));
        if (answer == "Save, fails") {
            // Below a regular file no file can be made, not even by root.
            QFile blocker(dir.filePath(QStringLiteral("blocker")));
            QVERIFY(blocker.open(QIODevice::WriteOnly));
            answerer.then(chooseFile(blocker.fileName() + QStringLiteral("/shows.txt")));
            answerer.then(ModalAnswerer::click("OK"));
        } else if (answer.startsWith(QLatin1String("Save"))) {
            answerer.then(chooseFile(answer == "Save" ? file : QString()));
        }
    }

    bool ended = false;
    if (how == "close")
        ended = mWindow->close();
    else
        mWindow->fileExitAction->trigger(); // would end this test program with it
    QCOMPARE(ended, ends);
    QCOMPARE(mWindow->isVisible(), !ends);
    if (answer.isEmpty()) {
        QCOMPARE(answerer.seen.size(), 0);
        return;
    }
    QCOMPARE(answerer.seen[0].title, QStringLiteral("Lumivane"));
    QCOMPARE(answerer.seen[0].text, QStringLiteral("The show names have changed. Save them?"));
    QCOMPARE(QFile::exists(file), answer == "Save");
    if (answer == "Save, fails") {
        QCOMPARE(answerer.seen.size(), 3);
        QCOMPARE(answerer.seen[2].title, QStringLiteral("File Error"));
        QCOMPARE(answerer.seen[2].text, QStringLiteral("Could not save file\n") + dir.filePath(QStringLiteral("blocker/shows.txt")));
        // The system's reason, as for every other failed save.
        QVERIFY2(!answerer.seen[2].informativeText.isEmpty(), "no reason given");
    }
    QCOMPARE(showNames(*mWindow), edited);
    if (answer == "Save") {
        // Saved, so the next attempt to end asks nothing.
        QCOMPARE(mSettings->stored(QStringLiteral("lastFile")).toString(), file);
        mWindow->show();
        QVERIFY(mWindow->close());
        QCOMPARE(answerer.seen.size(), 2);
    }
}

QTEST_MAIN(tst_NameEditor)
#include "tst_nameeditor.moc"
