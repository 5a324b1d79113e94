// SPDX-FileCopyrightText: 2026 The Lumivane developers
// SPDX-License-Identifier: GPL-3.0-or-later

// The VM test's operator: Lumivane's real window on the offscreen platform,
// its settings naming the guest's port, acted on by one command per line on
// standard input, each answered by one "@@" line the host runner reads. The
// event loop runs between commands, as it does between a user's clicks.
//   show N | bright VALUE | off     what the operator does
//   state                           the status bar and its link indicator,
//                                   boxes seen, ports held
//   node PATH MS                    wait up to MS for a device node to appear
//   fill MS                         move the slider every 5 ms until the
//                                   driver's output queue stays full, or MS pass
//   quit
#include "window/lumivanemainwindow.h"
#include "heldport.h"
#include "../../tests/testsupport.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QPushButton>
#include <QSlider>
#include <QSocketNotifier>
#include <QStatusBar>

#include <algorithm>
#include <cstdio>

#include <sys/ioctl.h>
#include <unistd.h>

namespace {

void answer(const QByteArray &line)
{
    std::printf("@@%s\n", line.constData());
    std::fflush(stdout);
}

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: vm-operator PORT\n");
        return 2;
    }
    TemporarySettings settings;
    settings.store(QStringLiteral("serialPort"), QString::fromLocal8Bit(argv[1]));
    settings.store(QStringLiteral("lastFile"), QString());

    ModalAnswerer boxes; // any box is one too many: it is closed and counted
    LumivaneMainWindow window(nullptr, nullptr, Qt::Window);
    window.show();
    if (!QTest::qWaitForWindowExposed(&window))
        answer("error the window was not shown");

    const std::string port = argv[1];
    auto outputQueue = [&] {
        int queued = -1;
        const int fd = heldDescriptor(port);
        if (fd < 0 || ioctl(fd, TIOCOUTQ, &queued) != 0)
            return -1;
        return queued;
    };
    auto state = [&] {
        return "boxes=" + QByteArray::number(boxes.seen.size())
            + " outq=" + QByteArray::number(outputQueue())
            + " held=" + QByteArray::fromStdString(heldTtys())
            + " link=" + window.linkText().toLocal8Bit()
            + " status=" + window.statusBar()->currentMessage().toLocal8Bit();
    };

    QSocketNotifier input(STDIN_FILENO, QSocketNotifier::Read);
    QObject::connect(&input, &QSocketNotifier::activated, &window, [&] {
        char buffer[256];
        const ssize_t n = ::read(STDIN_FILENO, buffer, sizeof buffer - 1);
        if (n <= 0) {
            window.close();
            return;
        }
        for (const QByteArray &line : QByteArray(buffer, n).split('\n')) {
            const QList<QByteArray> words = line.simplified().split(' ');
            const QByteArray &command = words.at(0);
            const int value = words.size() > 1 ? words.at(1).toInt() : 0;
            if (command.isEmpty())
                continue;
            if (command == "show" && value >= 1 && value <= 128) {
                window.mTabber->setCurrentIndex((value - 1) / 32);
                QTest::mouseClick(showButton(window, value - 1), Qt::LeftButton, {}, QPoint(5, 10));
            } else if (command == "bright") {
                window.mBrightSlider->setValue(value);
            } else if (command == "off") {
                QTest::mouseClick(window.mOffButton, Qt::LeftButton);
            } else if (command == "node" && words.size() == 3) {
                // The event loop keeps running meanwhile, as between clicks.
                QElapsedTimer waited;
                waited.start();
                const QString path = QString::fromLocal8Bit(words.at(1));
                while (!QFileInfo::exists(path) && waited.elapsed() < words.at(2).toInt())
                    QTest::qWait(10);
                const QStringList usb = QDir(QStringLiteral("/dev"))
                    .entryList({ QStringLiteral("ttyUSB*") }, QDir::System);
                answer("node present=" + QByteArray::number(QFileInfo::exists(path))
                       + " after=" + QByteArray::number(waited.elapsed())
                       + " usb=" + (usb.isEmpty() ? QByteArray("none") : usb.join(',').toLocal8Bit()));
                continue;
            } else if (command == "fill" && value > 0) {
                // An operator who keeps acting while nothing drains the line.
                // The longest gap between two steps is how long the window
                // did not answer.
                QElapsedTimer total;
                QElapsedTimer sinceStep;
                total.start();
                sinceStep.start();
                qint64 longestGap = 0;
                int steps = 0;
                int fullFor = 0;
                int most = 0;
                while (total.elapsed() < value && fullFor < 40) {
                    QTest::qWait(5);
                    longestGap = std::max(longestGap, sinceStep.restart());
                    const int v = steps++ % 198;
                    window.mBrightSlider->setValue(v < 99 ? v + 1 : 197 - v);
                    const int queued = outputQueue();
                    most = std::max(most, queued);
                    // The 8250 driver's queue is one page; full is less
                    // than a command short of it.
                    fullFor = queued >= 4090 ? fullFor + 1 : 0;
                }
                longestGap = std::max(longestGap, sinceStep.elapsed());
                answer("filled steps=" + QByteArray::number(steps) + " most=" + QByteArray::number(most)
                       + " gap=" + QByteArray::number(longestGap) + " ms=" + QByteArray::number(total.elapsed())
                       + ' ' + state());
                continue;
            } else if (command == "quit") {
                window.close();
                return;
            } else if (command != "state") {
                answer("unknown " + command);
                continue;
            }
            answer((command == "state" ? "state " : "did " + line + ' ') + state());
        }
    });

    answer("operator ready " + state());
    const int status = app.exec();
    answer("quit " + QByteArray::number(status));
    return status;
}
