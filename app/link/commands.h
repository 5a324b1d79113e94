// SPDX-FileCopyrightText: 2026 The Lumivane developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QByteArray>

// The brightness slider's arithmetic, and the commands' bytes as the
// tests and tools write them (Command makes them).
namespace Commands {

inline constexpr char off[] = "X0100";

// The brightness control's positions: 0 (full) at the top to this.
inline constexpr int brightnessMaximum = 99;

// Start show: the show number (id + 1), reduced to its low 8 bits.
QByteArray startShow(int showId);

// The level a slider position stands for: full (255) at value 0, falling to
// 1 at the maximum; never 0, which the player does not take as a level.
int brightnessLevel(int value, int maximum);

// The slider position whose level is nearest to percent of full (255);
// the brighter one where two are as near.
int sliderValueForPercent(double percent, int maximum);

// A level in percent of full, rounded, as the player's display has it (and
// zentrel-sim prints it).
int levelPercent(int level);

// Brightness: the level's low 8 bits.
QByteArray brightness(int level);

} // namespace Commands
