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

// What the dialogs ask of the main window.
class MainWindowLink {
public:
    virtual ~MainWindowLink() = default;
    virtual const QuoteTable& SlotTable() const = 0;     // the master slot table
    virtual void SetQuotes(const QuoteTable& table) = 0; // takes a whole slot table
    virtual void SetEnable(int slot, bool value) = 0;
    virtual void ShowConfig(int page) = 0;
    // Writes the settings file now; on failure the user has been told and false is returned.
    virtual bool SaveSettingsNow() = 0;
    // Points the rate service proxy at a new address; empty means the built-in service, as at start-up.
    virtual void UseService(const std::string& address) = 0;
    // Restarts the built-in service, when the program started it, with another rate source.
    virtual void UseRateSource(const std::string& source) = 0;
    // Ends a cycle still waiting for its rates; nothing of it is applied.
    virtual void CancelCycle() = 0;
};

class ChartDialogLink {
public:
    virtual ~ChartDialogLink() = default;
    virtual void ShowSlot(int slot) = 0; // the slot's (0-based) pair, shown without blocking
};

} // namespace quorvane
