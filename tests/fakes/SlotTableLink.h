// A main window that only hands out a slot table, for windows that ask the main window for their pair.
#pragma once

#include "app/toolkit/DialogLinks.h"

namespace quorvane::fakes {

class SlotTableLink : public MainWindowLink {
public:
    explicit SlotTableLink(const QuoteTable& table) : table_(table) {}
    const QuoteTable& SlotTable() const override { return table_; }
    void SetQuotes(const QuoteTable&) override {}
    void SetEnable(int, bool) override {}
    void ShowConfig(int) override {}
    bool SaveSettingsNow() override { return true; }
    void UseService(const std::string&) override {}
    void UseRateSource(const std::string&) override {}
    void CancelCycle() override {}

private:
    const QuoteTable& table_;
};

} // namespace quorvane::fakes
