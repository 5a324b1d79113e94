// SPDX-FileCopyrightText: 2026 The Lumivane developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <optional>

// One command to the player, whoever chose it. The only place that knows
// its five bytes on the line: "X", a two-digit command code and a two-digit
// argument in upper-case hexadecimal, no line end.
struct Command
{
    enum class Kind { Show, Brightness, Off };

    Kind kind = Kind::Off;
    // Show: the show's number, 1 to 128. Brightness: the player's level, 1
    // (darkest) to 255 (full).
    int value = 0;

    static Command show(int number) { return { Kind::Show, number }; }
    static Command brightness(int level) { return { Kind::Brightness, level }; }
    static Command off() { return {}; }

    QByteArray bytes() const;
    // A command as the line carries it, from the journal or the line's own
    // queue; nothing for bytes that are none. A show number beyond 128 is
    // kept: it is what the line carried.
    static std::optional<Command> fromBytes(QByteArrayView bytes);

    // The player keeps two states: what plays (a show, or nothing after Off),
    // and how bright.
    enum class Channel { Playing, Brightness };
    Channel channel() const { return kind == Kind::Brightness ? Channel::Brightness : Channel::Playing; }

    bool operator==(const Command &) const = default;
};

// Who chose a command: a hand at the window, a remote peer, the timetable.
struct Source
{
    enum class Kind { Operator, Mouse, Key, Remote, Timetable, CatchUp, Web };

    Kind kind = Kind::Operator;
    QString peer;  // Remote and Web: "192.0.2.7"
    int line = 0;  // Timetable and CatchUp: the entry's line in the file
    QString note;  // Timetable and CatchUp: the entry's note, for the journal

    static Source remote(const QString &peer) { return { Kind::Remote, peer, 0, {} }; }
    static Source web(const QString &peer) { return { Kind::Web, peer, 0, {} }; }
    static Source timetable(int line, const QString &note, bool catchUp)
    {
        return { catchUp ? Kind::CatchUp : Kind::Timetable, {}, line, note };
    }
    // "mouse" or "key", the hand that acted last; anything else is the
    // operator's, unknown which hand.
    static Source hand(const QString &input);

    bool byHand() const { return kind == Kind::Operator || kind == Kind::Mouse || kind == Kind::Key; }
    bool fromTimetable() const { return kind == Kind::Timetable || kind == Kind::CatchUp; }
    // After the last command, in brackets: "remote 192.0.2.7", "timetable";
    // empty for a hand at the window.
    QString label() const;
    // The journal's source: "mouse", "remote 192.0.2.7", "catch-up line 4".
    QString journal() const;
    // Where a refusal is told beside the link: "A remote command from 192.0.2.7".
    QString refusal() const;

    bool operator==(const Source &) const = default;
};
