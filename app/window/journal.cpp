// SPDX-FileCopyrightText: 2026 The Lumivane developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "lumivanemainwindow.h"

#include "dialogs/journaldialog.h"

#include <QApplication>
#include <QDateTime>
#include <QEvent>
#include <QStatusBar>

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
    JournalDialog dialog(mJournal.folder(), this);
    dialog.exec();
}
