// SPDX-FileCopyrightText: 2026 The Lumivane developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "lumivanemainwindow.h"

#include <QApplication>
#include <QDateTime>
#include <QDesktopServices>
#include <QDialog>
#include <QDialogButtonBox>
#include <QDir>
#include <QEvent>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QStatusBar>
#include <QTableWidget>
#include <QUrl>
#include <QVBoxLayout>

namespace {

// More than a night's worth, read from the newest files only.
constexpr int entriesShown = 1000;

} // namespace

// Notes which of the operator's hands, mouse or keyboard, acted last, so the
// journal can say which one chose a command: by the time a show's button
// says it was clicked, the event that clicked it is gone.
std::unique_ptr<QObject> LumivaneMainWindow::watchInput(LumivaneMainWindow *window)
{
    class InputWatch : public QObject
    {
    public:
        explicit InputWatch(LumivaneMainWindow *window)
            : mWindow(window)
        {
            qApp->installEventFilter(this);
        }

    protected:
        bool eventFilter(QObject *, QEvent *event) override
        {
            switch (event->type()) {
            case QEvent::MouseButtonPress:
            case QEvent::MouseButtonRelease:
            case QEvent::MouseButtonDblClick:
            case QEvent::Wheel:
                mWindow->mLastInput = QStringLiteral("mouse");
                break;
            // A shortcut such as Esc is seen as its override before any key press.
            case QEvent::KeyPress:
            case QEvent::ShortcutOverride:
                mWindow->mLastInput = QStringLiteral("key");
                break;
            default:
                break;
            }
            return false;
        }

    private:
        LumivaneMainWindow *mWindow;
    };
    return std::make_unique<InputWatch>(window);
}

QString LumivaneMainWindow::journalSource() const
{
    if (!mCommandSource.journal.isEmpty())
        return mCommandSource.journal;
    return mLastInput.isEmpty() ? QStringLiteral("operator") : mLastInput;
}

// Who chose a command is known when it is queued; the journal writes it when
// its last byte has gone to the port, which may be later on a slow line.
void LumivaneMainWindow::noteJournalSource(const QByteArray &command)
{
    mJournalSources.insert(command, { journalSource(), mCommandSource.note });
}

void LumivaneMainWindow::journalSent(const QByteArray &command)
{
    const JournalSource known = mJournalSources.value(command, { journalSource(), mCommandSource.note });
    journal(command, known.source, QStringLiteral("sent"), known.note);
}

void LumivaneMainWindow::journalRefused(const QByteArray &command, const QString &why)
{
    journal(command, journalSource(), QStringLiteral("refused: ") + why, mCommandSource.note);
}

void LumivaneMainWindow::journal(const QByteArray &command, const QString &source, const QString &outcome,
                                 const QString &note)
{
    bool isNumber = false;
    const int show = command.mid(3, 2).toInt(&isNumber, 16);
    const QString name = command.startsWith("X04") && isNumber && show >= 1 && show <= 128
        ? showName(show - 1)
        : QString();
    const QString failure = mJournal.append({ QDateTime::currentDateTime(), command, name, source, outcome, note });
    // The command itself went its way; only its record is missing.
    if (!failure.isEmpty())
        statusBar()->showMessage(QStringLiteral("The journal cannot be written: ") + failure);
}

void LumivaneMainWindow::doJournal()
{
    QDialog dialog(this);
    dialog.setWindowTitle(QStringLiteral("Journal"));

    const QList<JournalRecord> records = mJournal.newest(entriesShown);
    auto *table = new QTableWidget(int(records.size()), 5, &dialog);
    table->setObjectName(QStringLiteral("journalTable"));
    table->setHorizontalHeaderLabels({ QStringLiteral("Time"), QStringLiteral("Command"),
                                       QStringLiteral("Show"), QStringLiteral("Source"),
                                       QStringLiteral("Outcome") });
    table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table->setSelectionBehavior(QAbstractItemView::SelectRows);
    table->verticalHeader()->hide();
    for (int row = 0; row < records.size(); ++row) {
        const JournalRecord &record = records.at(row);
        const QString texts[] = { record.when.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz")),
                                  QString::fromLatin1(record.command), record.name, record.source,
                                  record.outcome };
        for (int column = 0; column < 5; ++column)
            table->setItem(row, column, new QTableWidgetItem(texts[column]));
    }
    table->resizeColumnsToContents();
    table->horizontalHeader()->setStretchLastSection(true);

    const QString folder = QDir::toNativeSeparators(mJournal.folder());
    auto *where = new QLabel(records.isEmpty()
                                 ? QStringLiteral("Nothing recorded yet. The journal is kept in %1").arg(folder)
                                 : QStringLiteral("Newest first. The journal is kept in %1").arg(folder),
                             &dialog);
    where->setObjectName(QStringLiteral("journalFolder"));
    where->setWordWrap(true);
    where->setTextInteractionFlags(Qt::TextSelectableByMouse);

    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Close, &dialog);
    QPushButton *open = buttons->addButton(QStringLiteral("Open Folder"), QDialogButtonBox::ActionRole);
    connect(open, &QPushButton::clicked, this, [this] {
        QDir().mkpath(mJournal.folder());
        QDesktopServices::openUrl(QUrl::fromLocalFile(mJournal.folder()));
    });
    connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);

    auto *layout = new QVBoxLayout(&dialog);
    layout->addWidget(table);
    layout->addWidget(where);
    layout->addWidget(buttons);
    dialog.resize(720, 420);
    dialog.exec();
}
