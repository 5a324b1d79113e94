// SPDX-FileCopyrightText: 2026 The Lumivane developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

// Small seams shared by the tests: a real pseudo-terminal to stand in for the
// serial device, a private settings folder, and an answerer for modal boxes.

#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
#include <QQueue>
#include <QTest>
#include <QTimer>
#include <QRadioButton>
#include <QTabWidget>

#include "window/lumivanemainwindow.h"

#include <functional>

#include "pty.h"
#include "temporarysettings.h"

#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>

// Answers modal dialogs as they open, in order, and records each one. A box
// nobody planned for is closed and recorded, so a test fails rather than hangs.
class ModalAnswerer : public QObject
{
public:
    using Answer = std::function<void(QWidget *)>;

    struct Seen
    {
        QString className;
        QString title;
        QString text;
        QString informativeText;
        bool ownerVisible = false; // was the window behind it already shown?
    };

    ModalAnswerer()
    {
        connect(&mTimer, &QTimer::timeout, this, &ModalAnswerer::poll);
        mTimer.start(5);
    }

    ModalAnswerer &then(Answer answer)
    {
        mAnswers.enqueue(std::move(answer));
        return *this;
    }

    QList<Seen> seen;

    static Answer click(const QString &buttonText)
    {
        return [buttonText](QWidget *w) {
            for (QAbstractButton *b : w->findChildren<QAbstractButton *>()) {
                if (b->text().remove(QLatin1Char('&')) == buttonText && b->isVisible()) {
                    b->click();
                    return;
                }
            }
            qWarning("no button %s", qPrintable(buttonText));
            static_cast<QDialog *>(w)->reject();
        };
    }
    static Answer reject()
    {
        return [](QWidget *w) { static_cast<QDialog *>(w)->reject(); };
    }

private:
    void poll()
    {
        QWidget *w = QApplication::activeModalWidget();
        if (!w || w->property("answered").toBool() || !w->isVisible())
            return;
        w->setProperty("answered", true);
        Seen s;
        s.className = QString::fromLatin1(w->metaObject()->className());
        s.title = w->windowTitle();
        if (auto *box = qobject_cast<QMessageBox *>(w)) {
            s.text = box->text();
            s.informativeText = box->informativeText();
        }
        s.ownerVisible = w->parentWidget() && w->parentWidget()->isVisible();
        seen.append(s);
        const Answer answer = mAnswers.isEmpty() ? reject() : mAnswers.dequeue();
        QPointer<QWidget> guard(w);
        QTimer::singleShot(0, w, [guard, answer] {
            if (guard)
                answer(guard);
        });
    }

    QTimer mTimer;
    QQueue<Answer> mAnswers;
};

// Answers a file dialog with path, or cancels it when path is empty; filters
// receives the dialog's name filters.
inline ModalAnswerer::Answer chooseFile(const QString &path, QStringList *filters = nullptr)
{
    return [=](QWidget *w) {
        auto *dialog = qobject_cast<QFileDialog *>(w);
        if (!dialog) {
            static_cast<QDialog *>(w)->reject();
            return;
        }
        if (filters)
            *filters = dialog->nameFilters();

        if (path.isEmpty()) {
            dialog->reject();
            return;
        }
        // Typed in full into the name field, as an operator may; selectFile()
        // alone is lost while the dialog is still reading the folder.
        auto *nameField = dialog->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"));
        if (nameField)
            nameField->setText(path);
        else
            dialog->selectFile(path);
        static_cast<QDialog *>(dialog)->accept();
    };
}

// Inside the test launcher's private mount namespace /dev/ttyS0 to /dev/ttyS3
// are covered, so "COM1" fails to open as on a machine without ports, and a
// test may mount a pseudo-terminal over /dev/ttyS0 to reach it as COM1.
inline bool realSerialPortsCovered()
{
    struct stat st {};
    if (stat("/dev/ttyS0", &st) != 0)
        return true;
    return qEnvironmentVariableIsSet("LUMIVANE_ISOLATED") && major(st.st_rdev) != 4;
}

struct Com1AsPty
{
    bool mounted = false;
    explicit Com1AsPty(const QByteArray &slavePath)
    {
        mounted = realSerialPortsCovered() && qEnvironmentVariableIsSet("LUMIVANE_ISOLATED")
            && mount(slavePath.constData(), "/dev/ttyS0", nullptr, MS_BIND, nullptr) == 0;
    }
    ~Com1AsPty()
    {
        if (mounted)
            umount2("/dev/ttyS0", MNT_DETACH);
    }
};

#define REQUIRE_COVERED_PORTS() \
    do { \
        if (!realSerialPortsCovered()) \
            QSKIP("needs the real serial ports covered (run through ctest as root)"); \
    } while (false)

// The selector of a show id, on its page; a page not shown yet is made as
// when it is first needed.
inline QRadioButton *showButton(LumivaneMainWindow &window, int id)
{
    return window.showSelector(id);
}

// A selector's text doubles each "&" of its name; a single one would mark a
// keyboard shortcut.
inline QStringList showNames(LumivaneMainWindow &window)
{
    QStringList names;
    for (int id = 0; id < 128; ++id)
        names << showButton(window, id)->text().replace(QLatin1String("&&"), QLatin1String("&"));
    return names;
}
