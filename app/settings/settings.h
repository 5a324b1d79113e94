// SPDX-FileCopyrightText: 2026 The Lumivane developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>
#include <QVariant>

// What is remembered between runs, per user; on Linux the file is
// ~/.config/lumivane.org/Lumivane.conf, on Windows the registry under
// HKEY_CURRENT_USER\Software\lumivane.org\Lumivane.
namespace Settings {

// The keys as stored (QSettings keys).
inline constexpr char serialPort[] = "serialPort";
inline constexpr char lastFile[] = "lastFile";
inline constexpr char otherPort[] = "otherPort";
inline constexpr char remoteEnabled[] = "remote/enabled";
inline constexpr char remotePort[] = "remote/port";
inline constexpr char remoteFromOtherComputers[] = "remote/fromOtherComputers";
inline constexpr char remoteAllowed[] = "remote/allowed";
inline constexpr char webEnabled[] = "web/enabled";
inline constexpr char webPort[] = "web/port";
inline constexpr char webFromOtherComputers[] = "web/fromOtherComputers";
inline constexpr char webAllowed[] = "web/allowed";
inline constexpr char webViewOnly[] = "web/viewOnly";
inline constexpr char webHostNames[] = "web/hostNames";
inline constexpr char webPasswordHash[] = "web/passwordHash";
inline constexpr char locked[] = "operation/locked";
inline constexpr char repeatGuardMs[] = "operation/repeatGuardMs";
inline constexpr char selectThenGo[] = "operation/selectThenGo";
inline constexpr char showNumbers[] = "operation/showNumbers";
inline constexpr char timetableFile[] = "timetable/file";
inline constexpr char timetableEnabled[] = "timetable/enabled";
inline constexpr char timetableCatchUp[] = "timetable/catchUp";
inline constexpr char askNamesAtStart[] = "names/askAtStart";

enum class Kind { Text, Switch, Number, Choice };
struct Key {
    const char *name;
    Kind kind;
    QVariant fallback;         // what an unset, empty or misread value is taken as
    int least = 0, most = 0;   // Number
    QStringList choices = {};  // Choice, as stored ("missed", "always", "off")
    bool tellMisread = true;   // false where a misread value falls back silently (remote/port)
};
// Every key the program stores, in one table.
const QList<Key> &keys();

class Values {
public:
    // The user's settings (QSettings NativeFormat, UserScope, "lumivane.org", "Lumivane"),
    // every key of the table read strictly by its rules.
    static Values read();
    bool flag(const char *key) const;
    int number(const char *key) const;
    QString text(const char *key) const; // Text and Choice
    // What was stored but broke its key's rules, as the operator is told:
    // "remote/enabled=maybe is not on or off; taken as off", in the table's order.
    QStringList misread() const;
private:
    QHash<QString, QVariant> mValues;
    QStringList mMisread;
};

// Where they are: a file's path, or on Windows the registry key's.
QString location();

// Stores one key alone (another copy of the program may have stored others since)
// and reads it back; returns empty when stored, else the settings file's name,
// for "Could not store the settings in <file>".
QString store(const char *key, const QVariant &value);

} // namespace Settings
