// SPDX-FileCopyrightText: 2026 The Lumivane developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "settings.h"

#include <QSettings>

#include <optional>

namespace Settings {

const QList<Key> &keys()
{
    static const QList<Key> table = {
        // Empty here: the first of the fixed port names (COM1) is the link's
        // to give, and is applied where the port is opened.
        { .name = serialPort, .kind = Kind::Text, .fallback = QString() },
        { .name = lastFile, .kind = Kind::Text, .fallback = QString() },
        { .name = otherPort, .kind = Kind::Text, .fallback = QString() },
        // Nothing listens unless the operator turned it on, plainly.
        { .name = remoteEnabled, .kind = Kind::Switch, .fallback = false },
        { .name = remotePort, .kind = Kind::Number, .fallback = 8765, .least = 1, .most = 65535,
          .tellMisread = false },
        { .name = remoteFromOtherComputers, .kind = Kind::Switch, .fallback = false },
        { .name = remoteAllowed, .kind = Kind::Text, .fallback = QString() },
        // The browser panel likewise; other computers reach it only once a
        // password is set, whatever web/fromOtherComputers says.
        { .name = webEnabled, .kind = Kind::Switch, .fallback = false },
        { .name = webPort, .kind = Kind::Number, .fallback = 8080, .least = 1, .most = 65535 },
        { .name = webFromOtherComputers, .kind = Kind::Switch, .fallback = false },
        { .name = webAllowed, .kind = Kind::Text, .fallback = QString() },
        { .name = webViewOnly, .kind = Kind::Switch, .fallback = false },
        { .name = webHostNames, .kind = Kind::Text, .fallback = QString() },
        { .name = webPasswordHash, .kind = Kind::Text, .fallback = QString() },
        // A word that is neither on nor off leaves the controls reachable: a
        // lock nobody can see set must not keep the operator out of Setup.
        { .name = locked, .kind = Kind::Switch, .fallback = false },
        // At most a minute: longer than any double start, and a guard of
        // minutes would look like a dead panel.
        { .name = repeatGuardMs, .kind = Kind::Number, .fallback = 0, .least = 0, .most = 60000 },
        { .name = selectThenGo, .kind = Kind::Switch, .fallback = false },
        { .name = showNumbers, .kind = Kind::Switch, .fallback = false },
        // A timetable fires only when plainly switched on; a misread catch-up
        // or question stays as a new installation has it.
        { .name = timetableFile, .kind = Kind::Text, .fallback = QString() },
        { .name = timetableEnabled, .kind = Kind::Switch, .fallback = false },
        { .name = timetableCatchUp, .kind = Kind::Choice, .fallback = QStringLiteral("missed"),
          .choices = { QStringLiteral("missed"), QStringLiteral("always"), QStringLiteral("off") } },
        { .name = askNamesAtStart, .kind = Kind::Switch, .fallback = true },
    };
    return table;
}

namespace {

// Per user; on Linux the file is ~/.config/lumivane.org/Lumivane.conf.
QSettings openSettings()
{
    return QSettings(QSettings::NativeFormat, QSettings::UserScope,
                     QStringLiteral("lumivane.org"), QStringLiteral("Lumivane"));
}

// true, 1, yes, on and false, 0, no, off, in any case and with blanks around;
// nothing for anything else, so that the caller falls back to the key's safe
// value and says so. QVariant::toBool() would read "no" or "disabled" as
// true, which for a switch that opens the program to the network is the one
// wrong answer.
std::optional<bool> boolean(const QVariant &stored)
{
    if (stored.typeId() == QMetaType::Bool)
        return stored.toBool();
    // A file holds text only; a value this run stored may still be cached as
    // the number it was given.
    switch (stored.typeId()) {
    case QMetaType::QString:
    case QMetaType::QByteArray:
    case QMetaType::Int:
    case QMetaType::LongLong:
    case QMetaType::UInt:
    case QMetaType::ULongLong:
        break;
    default:
        return std::nullopt;
    }
    const QString word = stored.toString().trimmed().toLower();
    if (word == QLatin1String("true") || word == QLatin1String("1") || word == QLatin1String("yes")
        || word == QLatin1String("on"))
        return true;
    if (word == QLatin1String("false") || word == QLatin1String("0") || word == QLatin1String("no")
        || word == QLatin1String("off"))
        return false;
    return std::nullopt;
}

// A line "key=" with nothing after it is no value either.
bool isUnset(const QVariant &stored)
{
    return !stored.isValid() || (stored.typeId() == QMetaType::QString && stored.toString().isEmpty());
}

// What the operator wrote, for the message: "a, b" comes back as a list;
// anything else that is no text shows as its type, which is what the file
// holds in its place.
QString asWritten(const QVariant &stored)
{
    if (stored.typeId() == QMetaType::QStringList)
        return stored.toStringList().join(QStringLiteral(", "));
    return stored.canConvert<QString>() ? stored.toString() : QString::fromLatin1(stored.typeName());
}

QString asTold(const QVariant &value)
{
    if (value.typeId() == QMetaType::Bool)
        return value.toBool() ? QStringLiteral("on") : QStringLiteral("off");
    return value.toString();
}

// A key named ...Ms holds milliseconds.
QString numberWords(const Key &key)
{
    return QString::fromLatin1(key.name).endsWith(QLatin1String("Ms"))
        ? QStringLiteral("a number of milliseconds")
        : QStringLiteral("a number");
}

// `stored` as `key` reads it; what breaks the key's rules is its fallback,
// added to `misread` unless the key falls back silently.
QVariant readValue(const Key &key, const QVariant &stored, QStringList &misread)
{
    if (isUnset(stored))
        return key.fallback;
    QString expected;
    switch (key.kind) {
    case Kind::Text: {
        // A value of the wrong type counts as none stored.
        const QString text = stored.toString();
        return text.isEmpty() ? key.fallback : QVariant(text);
    }
    case Kind::Switch:
        if (const std::optional<bool> value = boolean(stored))
            return *value;
        expected = QStringLiteral("on or off");
        break;
    case Kind::Number: {
        bool isNumber = false;
        const int value = stored.toString().trimmed().toInt(&isNumber);
        if (isNumber && value >= key.least && value <= key.most)
            return value;
        expected = QStringLiteral("%1 from %2 to %3").arg(numberWords(key)).arg(key.least).arg(key.most);
        break;
    }
    case Kind::Choice: {
        const QString word = stored.toString().trimmed().toLower();
        if (key.choices.contains(word))
            return word;
        // A choice that was a switch once (catch-up) still takes the
        // switch's words from files of that time: on as the fallback, off
        // as "off".
        const QString off = QStringLiteral("off");
        if (key.choices.contains(off)) {
            if (const std::optional<bool> on = boolean(word))
                return *on ? key.fallback : QVariant(off);
        }
        expected = key.choices.first(key.choices.size() - 1).join(QStringLiteral(", ")) + QStringLiteral(" or ")
            + key.choices.constLast();
        break;
    }
    }
    if (key.tellMisread) {
        misread << QStringLiteral("%1=%2 is not %3; taken as %4")
                       .arg(QString::fromLatin1(key.name), asWritten(stored), expected, asTold(key.fallback));
    }
    return key.fallback;
}

} // namespace

Values Values::read()
{
    const QSettings settings = openSettings();
    Values values;
    for (const Key &key : keys()) {
        const QString name = QString::fromLatin1(key.name);
        values.mValues.insert(name, readValue(key, settings.value(name), values.mMisread));
    }
    return values;
}

bool Values::flag(const char *key) const
{
    return mValues.value(QString::fromLatin1(key)).toBool();
}

int Values::number(const char *key) const
{
    return mValues.value(QString::fromLatin1(key)).toInt();
}

QString Values::text(const char *key) const
{
    return mValues.value(QString::fromLatin1(key)).toString();
}

QStringList Values::misread() const
{
    return mMisread;
}

QString store(const char *key, const QVariant &value)
{
    const QString name = QString::fromLatin1(key);
    QSettings settings = openSettings();
    settings.setValue(name, value);
    settings.sync();
    // FormatError is no failure here: a file edited by hand (a "#" line, a
    // byte-order mark) gives it, and the write still succeeds. What counts
    // is whether the value can be read back from the file.
    const bool failed = settings.status() == QSettings::AccessError
        || openSettings().value(name).toString() != value;
    return failed ? settings.fileName() : QString();
}

QString location()
{
    return openSettings().fileName();
}

} // namespace Settings
