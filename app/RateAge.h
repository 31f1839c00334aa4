// RateAge: how the main window shows where a slot's rate came from and whether it is old.
#pragma once

#include <QString>

#include "monitor/Monitor.h"

class QWidget;

namespace quorvane {

class TLabel;

// The source and as-of time of a rate, for its tooltip: ECB rates in CET, the
// others in local time; a second line when it is older than its source's normal age. Empty when unknown.
QString RateAgeText(const SlotAge& age);

// The badge beside a slot's rate that marks it old; hidden until ShowRateAge shows it.
QWidget* MakeRateAgeBadge(QWidget* group, int n);

// Draws age on a slot's rate label and its badge: the rate in italics with the badge when stale, the
// source and time on both tooltips. The rate's colour (its change) is left as it is.
void ShowRateAge(TLabel* rate, QWidget* badge, const SlotAge& age);

} // namespace quorvane
