// SPDX-FileCopyrightText: 2026 The Lumivane developers
// SPDX-License-Identifier: GPL-3.0-or-later

// Feeds arbitrary bytes to the timetable's reader and checks what a save
// relies on: a file saved unchanged is the same text, a file saved with an
// item changed, removed or added reads back as the table the editor held,
// and the text format() writes reads back whole.
#include "timetable/timetable.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

void fail(const char *what)
{
    std::fprintf(stderr, "invariant broken: %s\n", what);
    std::abort();
}

// A note as format() writes it, on one line: blanks folded, control
// characters made blanks.
QString oneLine(QString note)
{
    for (QChar &c : note) {
        if (c.category() == QChar::Other_Control)
            c = u' ';
    }
    return note.simplified();
}

// A table as it reads, lines aside, notes as written anew.
Timetable::Table withoutLines(Timetable::Table table)
{
    for (Timetable::Entry &entry : table.entries) {
        entry.line = 0;
        entry.note = oneLine(entry.note);
    }
    for (Timetable::Rest &rest : table.rests) {
        rest.line = 0;
        rest.note = oneLine(rest.note);
    }
    return table;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    const Timetable::Parsed parsed = Timetable::parse(QByteArrayView(bytes));
    if (!parsed.ok()) {
        if (!parsed.table.entries.isEmpty() || !parsed.table.rests.isEmpty())
            fail("a refused file gave a table");
        return 0;
    }
    const Timetable::Table &before = parsed.table;
    const QString text = QString::fromUtf8(bytes);

    const Timetable::Parsed formatted = Timetable::parse(QStringView(Timetable::format(before)));
    if (!formatted.ok() || withoutLines(formatted.table) != withoutLines(before))
        fail("format() does not read back as the table");

    if (Timetable::rewrite(text, before, before) != text)
        fail("a save with nothing changed changed the text");

    // The last byte chooses an edit, as an operator would make it.
    Timetable::Table after = before;
    const int edit = size ? data[size - 1] % 4 : 0;
    if (edit == 0 && !after.entries.isEmpty()) {
        after.entries.removeFirst();
    } else if (edit == 1 && !after.entries.isEmpty()) {
        Timetable::Entry &last = after.entries.last();
        last.action = { Timetable::Action::Kind::Show, last.action.value % 128 + 1 };
        last.note = QStringLiteral("changed");
    } else if (edit == 2 && after.entries.size() + after.rests.size() < Timetable::maxItems) {
        after.entries.insert(after.entries.size() / 2,
                             { 0, { {}, 0x1f }, { Timetable::Time::Kind::Clock, QTime(20, 0), 0 },
                               { Timetable::Action::Kind::Off, 0 }, QStringLiteral("added") });
    } else if (edit == 3) {
        after.zone = after.zone.isEmpty() ? QStringLiteral("UTC") : QString();
    }
    const QString saved = Timetable::rewrite(text, before, after);
    const Timetable::Parsed back = Timetable::parse(QStringView(saved));
    if (!back.ok())
        fail("a save does not read back");
    if (withoutLines(back.table) != withoutLines(after))
        fail("a save reads back as another table");
    return 0;
}
