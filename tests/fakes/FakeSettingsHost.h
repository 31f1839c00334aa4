// A main window stand-in for the settings: fixed geometry, recorded slot tables.
#pragma once

#include <stdexcept>
#include <vector>

#include "settings/Settings.h"

namespace quorvane {

class FakeSettingsHost : public SettingsHost {
public:
    int left = 0;
    int top = 0;
    int width = 640;
    int height = 480;
    int screenWidth = 1024;
    int screenHeight = 768;
    QuoteTable quotes;
    std::vector<QuoteTable> setQuotesCalls;
    bool failOnQuotes = false;

    int WindowLeft() const override { return left; }
    int WindowTop() const override { return top; }
    int WindowWidth() const override { return width; }
    int WindowHeight() const override { return height; }
    void MoveWindow(int l, int t) override {
        left = l;
        top = t;
    }
    int ScreenWidth() const override { return screenWidth; }
    int ScreenHeight() const override { return screenHeight; }
    void SetQuotes(const QuoteTable& table) override {
        quotes = table;
        setQuotesCalls.push_back(table);
    }
    QuoteTable Quotes() const override {
        if (failOnQuotes)
            throw std::runtime_error("slot table unavailable");
        return quotes;
    }
};

} // namespace quorvane
