// SPDX-FileCopyrightText: 2026 The Lumivane developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

class QWidget;

// Help, About: the program's version, what it does, the Qt it runs on, its
// licence and where its source is.
void showAbout(QWidget *parent);
