// SPDX-FileCopyrightText: 2026 The Lumivane developers
// SPDX-License-Identifier: GPL-3.0-or-later

// A scripted operator session on the real window, for memory checkers
// (tools/valgrind-session.sh) and as a test: start with a last file to load,
// show clicks, slider, Off, load, save, editor OK and Cancel, setup, close.
// Settings live in a temporary folder that names a pseudo-terminal as the port.
#include "link/commands.h"
#include "names/namefilecodec.h"
#include "window/lumivanemainwindow.h"
#include "../tests/testsupport.h"

#include <QAction>
#include <QFileInfo>
#include <QInputDialog>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QTabWidget>
#include <QTableWidget>

#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <cstdio>
#include <cstdlib>

namespace {

int failures = 0;

void check(bool ok, const char *what)
{
    if (!ok) {
        std::fprintf(stderr, "session: FAILED: %s\n", what);
        ++failures;
    }
}

ModalAnswerer::Answer editFirstName(const QString &text, bool ok)
{
    return [text, ok](QWidget *w) {
        auto *table = w->findChild<QTableWidget *>();
        check(table && table->item(0, 0), "the editor's table");
        if (table && table->item(0, 0))
            table->item(0, 0)->setText(text);
        ModalAnswerer::click(ok ? QStringLiteral("OK") : QStringLiteral("Cancel"))(w);
    };
}

// COMn is /dev/ttyS(n-1): only a port the test launcher has covered with
// /dev/null (major 1) may the session pick, so nothing reaches a real line.
QString coveredPort()
{
    for (int n = 0; n < 4; ++n) {
        struct stat st {};
        const QByteArray path = "/dev/ttyS" + QByteArray::number(n);
        if (stat(path.constData(), &st) == 0 && S_ISCHR(st.st_mode) && major(st.st_rdev) == 1)
            return QStringLiteral("COM%1").arg(n + 1);
    }
    return {};
}

// An operator's pace: longer than a command takes on the line, so each
// action's command goes out rather than giving way to the next.
void settle()
{
    QTest::qWait(10);
}

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    TemporarySettings settings;
    Pty pty;
    settings.store(QStringLiteral("serialPort"), QString::fromLocal8Bit(pty.slavePath));

    const QString names = settings.dir.filePath(QStringLiteral("names.txt"));
    {
        QStringList list;
        for (int i = 1; i <= 128; ++i)
            list << QStringLiteral("Loaded %1").arg(i);
        QFile file(names);
        check(file.open(QIODevice::WriteOnly) && file.write(NameFile::encode(list)) > 0,
              "a name file to load");
    }
    settings.store(QStringLiteral("lastFile"), names);

    ModalAnswerer answerer;
    answerer.then(ModalAnswerer::click(QStringLiteral("Yes")));
    LumivaneMainWindow window(nullptr, nullptr, Qt::Window);
    check(showButton(window, 0)->text() == QStringLiteral("Loaded 1"), "the last file loaded at start");
    window.show();
    check(QTest::qWaitForWindowExposed(&window), "the window shown");

    QTimer::singleShot(0, &window, [&] {
        // Show clicks on every page, as the mouse does them.
        QByteArray expected;
        for (const int id : { 0, 5, 37, 70, 127 }) {
            window.mTabber->setCurrentIndex(id / 32);
            QTest::mouseClick(showButton(window, id), Qt::LeftButton, {}, QPoint(5, 10));
            expected += Commands::startShow(id);
            settle();
        }
        window.mBrightSlider->setFocus();
        QTest::keyClick(window.mBrightSlider, Qt::Key_Down);
        settle();
        QTest::keyClick(window.mBrightSlider, Qt::Key_PageDown);
        settle();
        window.mBrightSlider->setValue(99);
        settle();
        for (const int value : { 1, 11, 99 })
            expected += Commands::brightness(Commands::brightnessLevel(value, 99));
        QTest::mouseClick(window.mOffButton, Qt::LeftButton);
        expected += Commands::off;
        const QByteArray sent = pty.read();
        check(sent == expected, "the commands on the line");
        if (sent != expected)
            std::fprintf(stderr, "session: sent %s, expected %s\n", sent.constData(), expected.constData());

        const QString saved = settings.dir.filePath(QStringLiteral("saved.txt"));
        answerer.then(editFirstName(QStringLiteral("Edited"), true));
        window.fileEditAction->trigger();
        check(showButton(window, 0)->text() == QStringLiteral("Edited"), "editor OK keeps the edit");
        answerer.then(editFirstName(QStringLiteral("Dropped"), false));
        window.fileEditAction->trigger();
        check(showButton(window, 0)->text() == QStringLiteral("Edited"), "editor Cancel drops the edit");

        answerer.then(chooseFile(saved));
        window.fileSaveAction->trigger();
        check(QFileInfo(saved).size() > 128 * 2, "the names saved");
        answerer.then(chooseFile(names));
        window.fileLoadAction->trigger();
        check(showButton(window, 0)->text() == QStringLiteral("Loaded 1"), "the names loaded");

        const QString port = coveredPort();
        if (!port.isEmpty()) {
            answerer.then([port](QWidget *w) {
                auto *dialog = qobject_cast<QInputDialog *>(w);
                check(dialog != nullptr, "the port dialog");
                if (dialog) {
                    dialog->setTextValue(port);
                    static_cast<QDialog *>(dialog)->accept(); // public there
                }
            });
            answerer.then(ModalAnswerer::click(QStringLiteral("OK"))); // /dev/null is no port
        } else {
            answerer.then(ModalAnswerer::reject());
        }
        window.fileSetupAction->trigger();
        check(settings.stored(QStringLiteral("serialPort")).toString()
                  == (port.isEmpty() ? QString::fromLocal8Bit(pty.slavePath) : port),
              "the port chosen in setup stored");

        window.close();
    });
    const int status = app.exec();
    check(status == 0, "a clean exit");

    // Every box came and was answered as planned.
    const int boxes = coveredPort().isEmpty() ? 6 : 7;
    check(answerer.seen.size() == boxes, "the planned boxes, no others");
    for (const auto &seen : answerer.seen)
        std::fprintf(stderr, "session: %s \"%s\"\n", qPrintable(seen.className), qPrintable(seen.text));
    std::fprintf(stderr, "session: %s\n", failures ? "FAILED" : "done");
    return failures ? EXIT_FAILURE : EXIT_SUCCESS;
}
