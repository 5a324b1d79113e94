// SPDX-FileCopyrightText: 2026 The Lumivane developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

// What the start does before the window is made, so that it appears sooner.
// Apart from the window, so that bench_textwindow does the same.

#include <thread>

// Starts reading the font configuration on a second thread; called before
// the application object is made, and handed to runLumivane().
std::jthread startReadingFonts();

// Called once the application object exists, just before the window is
// made: waits for the rest of the font reading, and makes the style's icons
// that the window builds but rarely shows (the menu bar's extension button)
// only when they are first drawn.
void prepareForTheWindow(std::jthread fontsRead);
