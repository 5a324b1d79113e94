// SPDX-FileCopyrightText: 2026 The Lumivane developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

// What the start does so that the window appears sooner: fontconfig's
// configuration is read on the second core while Qt loads its platform
// plugin and reaches the display, the window icon (Qt's SVG plugin) is
// drawn only once the event loop runs, and the show grid makes a page's
// selectors when the page is first needed. What each saves, and how it is
// measured, is in docs/performance.md. Apart from the window, so that
// bench_textwindow starts the same way.

#include <thread>

// Called before the application object is made; the thread is handed to
// runLumivane().
std::jthread startReadingFonts();

// Called once the application object exists.
void giveWindowIconOnceRunning();

// Called just before the window is made.
void prepareForTheWindow(std::jthread fontsRead);
