// SPDX-FileCopyrightText: 2026 The Lumivane developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "aboutbox.h"

#include <QMessageBox>

// The licence's name is written with non-breaking hyphens (U+2011), so the
// box never breaks it across two lines.
void showAbout(QWidget *parent)
{
    QMessageBox::about(parent, QStringLiteral("About Lumivane"),
                       QStringLiteral("<h3>Lumivane %1</h3>"
                                      "<p>Starts the shows of a Zentrel show player, sets its "
                                      "brightness and switches its output off, over a serial line.</p>"
                                      "<p>Built with Qt %2.</p>"
                                      "<p>Licence: GNU General Public License, version 3 or later "
                                      "(GPL\u20113.0\u2011or\u2011later).<br>"
                                      "Source: <a href=\"https://lumivane.org\">https://lumivane.org</a></p>")
                           .arg(QStringLiteral(LUMIVANE_VERSION), QString::fromLatin1(qVersion())));
}
