// SPDX-FileCopyrightText: 2026 The Lumivane developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "panel/panel.h"
#include "service/service.h"
#include "settings/settings.h"
#include "window/lumivanemainwindow.h"
#include "window/startup.h"

#include <QApplication>
#include <QCommandLineParser>

#include <cstdio>
#include <iostream>
#include <string>
#include <utility>

#ifdef Q_OS_UNIX
#include <termios.h>
#include <unistd.h>
#endif

namespace {

constexpr const char usage[] = "Usage: lumivane [-h | --help] [-v | --version] [--service | --set-web-password] [Qt options]\n";

constexpr const char help[] =
    "Control panel for the Zentrel show player: starts its shows, sets its\n"
    "brightness and switches its output off over the serial line.\n"
    "\n"
    "  -h, --help     print this help and exit\n"
    "  -v, --version  print the version and exit\n"
    "  --service      run without a window or a display: the port, the timetable,\n"
    "                 the journal, remote control and the browser panel, as set;\n"
    "                 what the window would show in a box goes to standard error\n"
    "                 and the journal. SIGTERM, SIGINT and SIGHUP end it\n"
    "  --set-web-password\n"
    "                 read the browser panel's password from standard input (one\n"
    "                 line; an empty line removes it), store only its salted hash,\n"
    "                 and exit\n"
    "\n"
    "Qt's own options are accepted too, such as -platform NAME, -display DISPLAY\n"
    "and -style NAME. The serial port, the show names and remote control are set\n"
    "in the window's File menu. See lumivane(1).\n"
    "\n"
    "The timetable (File, Timetable...) runs in the zone of its file's line\n"
    "\"zone Area/City\" (an IANA name), else in the computer's. At start it restores\n"
    "the show and the brightness it says, as timetable/catchUp chooses: missed\n"
    "(what has not gone out since; the default), always, or off.\n";

// Qt's own options, which QApplication takes out of the arguments. They are
// known before it exists so that a word neither Qt nor Lumivane knows is
// refused with the usage, not by a platform plugin that cannot start.
constexpr const char *qtOptionsWithValue[] = {
    "platform", "platformpluginpath", "platformtheme", "plugin", "qwindowgeometry", "qwindowtitle",
    "qwindowicon", "style", "stylesheet", "session",
    // X11's own, read by the xcb platform
    "display", "geometry", "title", "icon", "name", "visual",
};
constexpr const char *qtOptionsAlone[] = { "reverse", "widgetcount", "nograb", "dograb", "sync", "testability" };

// -platform and -reverse are words, not bundles of letters; Qt's own options
// read the same way.
void defineOptions(QCommandLineParser &parser)
{
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    parser.addOption(QCommandLineOption(QStringList { QStringLiteral("h"), QStringLiteral("help") }));
    parser.addOption(QCommandLineOption(QStringList { QStringLiteral("v"), QStringLiteral("version") }));
    parser.addOption(QCommandLineOption(QStringLiteral("set-web-password")));
    parser.addOption(QCommandLineOption(QStringLiteral("service")));
}

void defineQtOptions(QCommandLineParser &parser)
{
    for (const char *name : qtOptionsWithValue)
        parser.addOption(QCommandLineOption(QString::fromLatin1(name), QString(), QStringLiteral("value")));
    for (const char *name : qtOptionsAlone)
        parser.addOption(QCommandLineOption(QString::fromLatin1(name)));
}

// Unknown words and a value given to -h or -v ("--help=1") are errors.
bool refused(const QCommandLineParser &parser, bool parsed)
{
    if (parsed && parser.positionalArguments().isEmpty())
        return false;
    const QString why = parser.errorText().isEmpty()
        ? QStringLiteral("unexpected argument '%1'").arg(parser.positionalArguments().constFirst())
        : parser.errorText();
    std::fprintf(stderr, "lumivane: %s\n%s", qPrintable(why), usage);
    return true;
}

// No window and no port: the password is read, hashed and stored. At a
// terminal it is asked for without being shown.
int setWebPassword(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
#ifdef Q_OS_UNIX
    termios was {};
    const bool terminal = isatty(STDIN_FILENO) && tcgetattr(STDIN_FILENO, &was) == 0;
    if (terminal) {
        termios quiet = was;
        quiet.c_lflag &= ~tcflag_t(ECHO);
        tcsetattr(STDIN_FILENO, TCSAFLUSH, &quiet);
        std::fputs("Browser panel password: ", stderr);
    }
#endif
    std::string line;
    const bool read = bool(std::getline(std::cin, line));
#ifdef Q_OS_UNIX
    if (terminal) {
        tcsetattr(STDIN_FILENO, TCSAFLUSH, &was);
        std::fputs("\n", stderr);
    }
#endif
    if (!read && line.empty()) {
        std::fputs("lumivane: no password on standard input\n", stderr);
        return 1;
    }
    if (!line.empty() && line.back() == '\r')
        line.pop_back();
    const QString password = QString::fromUtf8(line);
    Panel panel;
    const QByteArray hash = password.isEmpty() ? QByteArray() : panel.web().hashPassword(password);
    if (!password.isEmpty() && hash.isEmpty()) {
        std::fprintf(stderr, "lumivane: the browser panel is not available: %s\n", qPrintable(panel.web().status()));
        return 1;
    }
    if (const QString failure = Settings::store(Settings::webPasswordHash, QString::fromLatin1(hash)); !failure.isEmpty()) {
        std::fprintf(stderr, "lumivane: could not store the settings in %s\n", qPrintable(failure));
        return 1;
    }
    std::fputs(password.isEmpty() ? "lumivane: the browser panel needs no password now\n"
                                  : "lumivane: the browser panel's password is set\n",
               stderr);
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    // Help, the version and a mistake are answered before Qt starts, so that
    // they need no display.
    QStringList words;
    for (int i = 0; i < argc; ++i)
        words << QString::fromLocal8Bit(argv[i]);
    QCommandLineParser early;
    defineOptions(early);
    defineQtOptions(early);
    if (refused(early, early.parse(words)))
        return 2;
    if (early.isSet(QStringLiteral("help"))) {
        std::fputs(usage, stdout);
        std::fputs(help, stdout);
        return 0;
    }
    if (early.isSet(QStringLiteral("version"))) {
        std::fputs("Lumivane " LUMIVANE_VERSION "\n", stdout);
        return 0;
    }

    if (early.isSet(QStringLiteral("set-web-password")))
        return setWebPassword(argc, argv);
    // No platform plugin is loaded: it starts with no display at all.
    if (early.isSet(QStringLiteral("service"))) {
        QCoreApplication app(argc, argv);
        return runService();
    }

    std::jthread fontsRead = startReadingFonts();
    QApplication app(argc, argv);
    // What Qt left after taking its own options is all Lumivane's, and it
    // takes no other (an X11 option on another platform is left here).
    QCommandLineParser parser;
    defineOptions(parser);
    if (refused(parser, parser.parse(QApplication::arguments())))
        return 2;

    giveWindowIconOnceRunning();
    return runLumivane(std::move(fontsRead));
}
