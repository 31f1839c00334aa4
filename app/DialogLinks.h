// What the main window asks of the dialogs. The dialogs are made after the main window and register here;
// until one has registered, the control that opens it does nothing.
#pragma once

#include <string>

#include "util/Quotes.h"

namespace quorvane {

class ConfigDialogLink {
public:
    virtual ~ConfigDialogLink() = default;
    virtual void SetQuotes(const QuoteTable& table) = 0; // the dialog's working copy
    virtual void ShowPage(int page) = 0;                 // selects the tab and shows without blocking
};

class AlarmDialogLink {
public:
    virtual ~AlarmDialogLink() = default;
    virtual void SetValue(int slot, const std::string& title, bool alEnable, const std::string& rate) = 0;
    virtual void ShowModeless() = 0;
    virtual bool ShowsSlot(int slot) const = 0;         // visible and open for that slot
    virtual void ShowRate(const std::string& rate) = 0; // its current-rate label
};

class PairDialogLink {
public:
    virtual ~PairDialogLink() = default;
    virtual void ShowModeless() = 0;
};

class ChartDialogLink {
public:
    virtual ~ChartDialogLink() = default;
    virtual void ShowSlot(int slot) = 0; // the slot's (0-based) pair, shown without blocking
};

} // namespace quorvane
