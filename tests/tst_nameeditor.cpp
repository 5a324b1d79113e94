#include "lumivanemainwindow.h"
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
    showButton(*mWindow, 0)->setText(QStringLiteral("R&&B Opening"));
    showButton(*mWindow, 127)->setText(QString::fromUtf8("Finale – 日本"));
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
}

QTEST_MAIN(tst_NameEditor)
#include "tst_nameeditor.moc"
