// SPDX-FileCopyrightText: 2026 The Lumivane developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "window/lumivanemainwindow.h"
#include "window/startup.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QIcon>
#include <QTimer>

#include <cstdio>
#include <utility>

namespace {

constexpr const char usage[] = "Usage: lumivane [-h | --help] [-v | --version] [Qt options]\n";

constexpr const char help[] =
    "Control panel for the Zentrel show player: starts its shows, sets its\n"
    "brightness and switches its output off over the serial line.\n"
    "\n"
    "  -h, --help     print this help and exit\n"
    "  -v, --version  print the version and exit\n"
    "\n"
    "Qt's own options are accepted too, such as -platform NAME, -display DISPLAY\n"
    "and -style NAME. The serial port, the show names and remote control are set\n"
    "in the window's File menu. See lumivane(1).\n"
    "\n"
    "The timetable (File, Timetable...) runs in the zone of its file's line\n"
    "\"zone Area/City\" (an IANA name), else in the computer's. At start it restores\n"
    "the show and the brightness it says, as timetable/catchUp chooses: missed\n"
    "(what has not gone out since; the default), always, or off.\n";

// -platform and -reverse are words, not bundles of letters; Qt's own options
// read the same way.
void defineOptions(QCommandLineParser &parser)
{
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    parser.addOption(QCommandLineOption(QStringList { QStringLiteral("h"), QStringLiteral("help") }));
    parser.addOption(QCommandLineOption(QStringList { QStringLiteral("v"), QStringLiteral("version") }));
}

} // namespace

int main(int argc, char **argv)
{
    // Help and the version are answered before Qt starts, so that they need
    // no display. Qt's options are still among the words here: not knowing
    // them is no error yet.
    QStringList words;
    for (int i = 0; i < argc; ++i)
        words << QString::fromLocal8Bit(argv[i]);
    QCommandLineParser early;
    defineOptions(early);
    early.parse(words);
    if (early.isSet(QStringLiteral("help"))) {
        std::fputs(usage, stdout);
        std::fputs(help, stdout);
        return 0;
    }
    if (early.isSet(QStringLiteral("version"))) {
        std::fputs("Lumivane " LUMIVANE_VERSION "\n", stdout);
        return 0;
    }

    std::jthread fontsRead = startReadingFonts();
    QApplication app(argc, argv);
    // What Qt left after taking its own options is all Lumivane's, and it
    // takes no other.
    QCommandLineParser parser;
    defineOptions(parser);
    if (!parser.parse(QApplication::arguments()) || !parser.positionalArguments().isEmpty()) {
        const QString why = parser.errorText().isEmpty()
            ? QStringLiteral("unexpected argument '%1'").arg(parser.positionalArguments().constFirst())
            : parser.errorText();
        std::fprintf(stderr, "lumivane: %s\n%s", qPrintable(why), usage);
        return 2;
    }

    // Drawn by Qt's SVG plugin; without it the window simply has no icon.
    // Given once the event loop runs: loading the plugins and drawing the
    // icon at four sizes took 14 ms before the window could first appear.
    QTimer::singleShot(0, [] { QApplication::setWindowIcon(QIcon(QStringLiteral(":/lumivane.svg"))); });
    return runLumivane(std::move(fontsRead));
}
