// SPDX-FileCopyrightText: 2026 The Lumivane developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "command.h"

#include "commands.h"

namespace {

constexpr char showCode[] = "X04";
constexpr char brightnessCode[] = "X02";
constexpr const char *offBytes = Commands::off;

} // namespace

QByteArray Command::bytes() const
{
    const char *code = offBytes;
    switch (kind) {
    case Kind::Show:
        code = showCode;
        break;
    case Kind::Brightness:
        code = brightnessCode;
        break;
    case Kind::Off:
        return offBytes;
    }
    // The argument is one byte: the player reads only its low 8 bits.
    return QByteArray(code) + QByteArray::number(value & 0xFF, 16).toUpper().rightJustified(2, '0');
}

std::optional<Command> Command::fromBytes(QByteArrayView bytes)
{
    if (bytes.size() != 5)
        return std::nullopt;
    bool ok = false;
    const int argument = bytes.sliced(3).toByteArray().toInt(&ok, 16);
    if (!ok)
        return std::nullopt;
    if (bytes.startsWith(showCode))
        return show(argument);
    if (bytes.startsWith(brightnessCode))
        return brightness(argument);
    // The player switches off whatever follows its code.
    if (bytes.startsWith("X01"))
        return off();
    return std::nullopt;
}

Source Source::hand(const QString &input)
{
    if (input == QLatin1String("mouse"))
        return { Kind::Mouse, {}, 0, {} };
    if (input == QLatin1String("key"))
        return { Kind::Key, {}, 0, {} };
    return {};
}

QString Source::label() const
{
    switch (kind) {
    case Kind::Remote:
    case Kind::Web:
        return journal();
    case Kind::Timetable:
    case Kind::CatchUp:
        return QStringLiteral("timetable");
    default:
        return {};
    }
}

QString Source::journal() const
{
    switch (kind) {
    case Kind::Operator:
        return QStringLiteral("operator");
    case Kind::Mouse:
        return QStringLiteral("mouse");
    case Kind::Key:
        return QStringLiteral("key");
    case Kind::Remote:
        return QStringLiteral("remote ") + peer;
    case Kind::Web:
        return QStringLiteral("web ") + peer;
    case Kind::Timetable:
        return QStringLiteral("timetable line %1").arg(line);
    case Kind::CatchUp:
        return QStringLiteral("catch-up line %1").arg(line);
    }
    return {};
}

QString Source::refusal() const
{
    switch (kind) {
    case Kind::Remote:
        return QStringLiteral("A remote command from ") + peer;
    case Kind::Web:
        return QStringLiteral("A command from the browser panel at ") + peer;
    case Kind::Timetable:
    case Kind::CatchUp:
        return QStringLiteral("A command from the timetable (line %1)").arg(line);
    default:
        return QStringLiteral("A command");
    }
}
