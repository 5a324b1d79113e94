// SPDX-FileCopyrightText: 2026 The Lumivane developers
// SPDX-License-Identifier: GPL-3.0-or-later

// A save that changes only what was changed: the file's own lines, comments
// and spelling kept wherever the item on them is unchanged.
#include "timetable.h"

#include <QHash>

#include <algorithm>
#include <optional>

namespace Timetable {

namespace {

// One line of a file and what ends it: "\n", "\r\n", or nothing for a last
// line without a newline.
struct FileLine
{
    QStringView text;
    QStringView end;
};

QList<FileLine> fileLines(QStringView text)
{
    QList<FileLine> lines;
    while (!text.isEmpty()) {
        const qsizetype newline = text.indexOf(u'\n');
        if (newline < 0) {
            lines.append({ text, {} });
            break;
        }
        const qsizetype cut = newline > 0 && text.at(newline - 1) == u'\r' ? newline - 1 : newline;
        lines.append({ text.first(cut), text.sliced(cut, newline + 1 - cut) });
        text = text.sliced(newline + 1);
    }
    return lines;
}

// The first word of a line as parse() reads it, in lower case; empty for a
// blank or comment line.
QString firstWord(QStringView line)
{
    if (const qsizetype hash = line.indexOf(u'#'); hash >= 0)
        line = line.first(hash);
    return line.toString().simplified().section(u' ', 0, 0).toLower();
}

// A line's comment with the blanks before it, to keep on a line written anew.
QString commentOf(QStringView line)
{
    qsizetype hash = line.indexOf(u'#');
    if (hash < 0)
        return {};
    while (hash > 0 && line.at(hash - 1).isSpace())
        --hash;
    return line.sliced(hash).toString();
}

QString entryLine(const Entry &entry)
{
    Table one;
    one.entries.append(entry);
    return format(one).chopped(1);
}

QString restLine(const Rest &rest)
{
    Table one;
    one.rests.append(rest);
    return format(one).chopped(1);
}

// What rewrite() writes around, over or instead of each line of the file.
struct Layout
{
    explicit Layout(const QList<FileLine> &lines)
        : ahead(lines.size()), behind(lines.size())
    {
        for (const FileLine &line : lines)
            own.append(line.text.toString());
    }
    QList<QStringList> ahead;
    QList<std::optional<QString>> own; // nothing: the line goes
    QList<QStringList> behind;
    QStringList tail;
};

template <typename Item>
void placeItems(const QList<Item> &was, const QList<Item> &now, const QList<FileLine> &lines,
                Layout &layout, QString (*write)(const Item &))
{
    const auto same = [](Item a, const Item &b) {
        a.line = b.line;
        return a == b;
    };
    QHash<int, qsizetype> byLine;
    for (qsizetype j = 0; j < was.size(); ++j) {
        if (was.at(j).line >= 1 && was.at(j).line <= lines.size())
            byLine.insert(was.at(j).line, j);
    }
    QList<bool> used(was.size(), false);
    QList<int> lineOf(now.size(), 0); // the line of the original each item takes
    QList<bool> kept(now.size(), false);
    const auto take = [&](qsizetype i, qsizetype j, bool unchanged) {
        used[j] = true;
        lineOf[i] = was.at(j).line;
        kept[i] = unchanged;
    };
    // Its own line unchanged first, then its own line changed, then any
    // unchanged line left, as for an item that lost its line number.
    for (qsizetype i = 0; i < now.size(); ++i) {
        const auto j = byLine.constFind(now.at(i).line);
        if (j != byLine.cend() && !used[*j] && same(now.at(i), was.at(*j)))
            take(i, *j, true);
    }
    for (qsizetype i = 0; i < now.size(); ++i) {
        const auto j = byLine.constFind(now.at(i).line);
        if (!lineOf[i] && j != byLine.cend() && !used[*j])
            take(i, *j, false);
    }
    for (qsizetype i = 0; i < now.size(); ++i) {
        for (qsizetype j = 0; !lineOf[i] && j < was.size(); ++j) {
            if (!used[j] && byLine.contains(was.at(j).line) && same(now.at(i), was.at(j)))
                take(i, j, true);
        }
    }

    // The longest run of items whose lines are already in their order stays
    // where it is; the others move, so that the file's order is `now`'s.
    QList<qsizetype> withLine;
    for (qsizetype i = 0; i < now.size(); ++i) {
        if (lineOf[i])
            withLine.append(i);
    }
    QList<qsizetype> ends; // of the best run of each length, into withLine
    QList<qsizetype> previous(withLine.size(), -1);
    for (qsizetype k = 0; k < withLine.size(); ++k) {
        const int line = lineOf[withLine[k]];
        const auto at = std::lower_bound(ends.begin(), ends.end(), line,
                                         [&](qsizetype end, int l) { return lineOf[withLine[end]] < l; });
        if (at != ends.begin())
            previous[k] = *(at - 1);
        if (at == ends.end())
            ends.append(k);
        else
            *at = k;
    }
    QList<bool> anchored(now.size(), false);
    for (qsizetype k = ends.isEmpty() ? -1 : ends.last(); k >= 0; k = previous[k])
        anchored[withLine[k]] = true;

    for (qsizetype j = 0; j < was.size(); ++j) {
        if (!used[j] && byLine.contains(was.at(j).line))
            layout.own[was.at(j).line - 1].reset();
    }
    QStringList *into = nullptr; // where the item before went
    for (qsizetype i = 0; i < now.size(); ++i) {
        const qsizetype at = lineOf[i] - 1;
        const QString text = kept[i] ? lines.at(at).text.toString() : write(now.at(i));
        if (anchored[i]) {
            layout.own[at] = text;
            into = &layout.behind[at];
            continue;
        }
        if (at >= 0)
            layout.own[at].reset();
        if (!into) {
            qsizetype anchor = i;
            while (anchor < now.size() && !anchored[anchor])
                ++anchor;
            into = anchor < now.size() ? &layout.ahead[lineOf[anchor] - 1] : &layout.tail;
        }
        into->append(text);
    }
}

} // namespace

QString rewrite(QStringView original, const Table &before, const Table &after)
{
    const bool bom = original.startsWith(QChar(0xfeff));
    const QList<FileLine> lines = fileLines(original.sliced(bom ? 1 : 0));
    QString eol = QStringLiteral("\n");
    for (const FileLine &line : lines) {
        if (!line.end.isEmpty()) {
            eol = line.end.toString();
            break;
        }
    }
    Layout layout(lines);
    placeItems(before.entries, after.entries, lines, layout, &entryLine);
    placeItems(before.rests, after.rests, lines, layout, &restLine);

    qsizetype locationAt = -1;
    qsizetype zoneAt = -1;
    qsizetype firstItem = -1;
    for (qsizetype k = 0; k < lines.size(); ++k) {
        const QString word = firstWord(lines.at(k).text);
        if (word.isEmpty())
            continue;
        if (firstItem < 0)
            firstItem = k;
        if (word == u"location")
            locationAt = k;
        else if (word == u"zone")
            zoneAt = k;
    }
    QStringList top;
    if (before.location != after.location) {
        if (!after.location) {
            if (locationAt >= 0)
                layout.own[locationAt].reset();
        } else {
            const QString text = QStringLiteral("location ") + formatLocation(*after.location);
            if (locationAt >= 0)
                layout.own[locationAt] = text + commentOf(lines.at(locationAt).text);
            else
                top.append(text);
        }
    }
    if (before.zone != after.zone) {
        const QString text = QStringLiteral("zone ") + after.zone;
        if (after.zone.isEmpty()) {
            if (zoneAt >= 0)
                layout.own[zoneAt].reset();
        } else if (zoneAt >= 0) {
            layout.own[zoneAt] = text + commentOf(lines.at(zoneAt).text);
        } else if (locationAt >= 0 && layout.own[locationAt]) {
            layout.behind[locationAt].prepend(text);
        } else {
            top.append(text);
        }
    }
    if (firstItem >= 0)
        layout.ahead[firstItem] = top + layout.ahead[firstItem];
    else
        layout.tail = top + layout.tail;

    QList<std::pair<QString, QStringView>> out;
    for (qsizetype k = 0; k < lines.size(); ++k) {
        for (const QString &text : std::as_const(layout.ahead[k]))
            out.append({ text, eol });
        if (layout.own[k])
            out.append({ *layout.own[k], lines.at(k).end });
        for (const QString &text : std::as_const(layout.behind[k]))
            out.append({ text, eol });
    }
    for (const QString &text : std::as_const(layout.tail))
        out.append({ text, eol });
    QString text = bom ? QString(QChar(0xfeff)) : QString();
    for (qsizetype k = 0; k < out.size(); ++k) {
        text += out.at(k).first;
        // A last line without a newline gets one when something follows it.
        text += out.at(k).second.isEmpty() && k + 1 < out.size() ? QStringView(eol) : out.at(k).second;
    }
    return text;
}

} // namespace Timetable
