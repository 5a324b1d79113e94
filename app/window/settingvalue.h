// SPDX-FileCopyrightText: 2026 The Lumivane developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QVariant>

#include <optional>

// How a stored value is read, whoever wrote it: the program itself, or an
// operator editing the file by hand.
namespace SettingValue {

// true, 1, yes, on and false, 0, no, off, in any case and with blanks around;
// nothing for anything else, so that the caller falls back to the key's safe
// value and says so. QVariant::toBool() would read "no" or "disabled" as
// true, which for a switch that opens the program to the network is the one
// wrong answer.
std::optional<bool> boolean(const QVariant &stored);

} // namespace SettingValue
