#pragma once
// Stand-ins for the scan job's ports: a main window with scripted selectors and check boxes that
// records every change, and dialogs that run the program's message box (answered by a scripted
// answerer in the tests) and record the wait window.

#include "scan/scan_job.h"

#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace folvex::testing {

inline const std::string Idle = "Status: unbeschäftigt";
inline const std::string Flatbed = "Flachbettauflage";

// The main window as the job sees it: scripted selector and check-box states, every change recorded.
class RecordingWindow final : public ScanJobWindow
{
public:
    std::map<ScanSelector, std::string> selectors{
        {ScanSelector::PaperSource, Flatbed},
        {ScanSelector::ColourMode, "Farbe"},
        {ScanSelector::Resolution, "300 dpi"},
        {ScanSelector::PaperSize, "DIN A4"},
        {ScanSelector::DestinationType, "PDF"}};
    bool duplexEnabled = true;
    bool duplexTicked = false;
    bool discardTicked = false;

    std::string status = Idle;
    std::vector<std::string> statusHistory;
    std::string scannerLine;
    std::map<MainButton, bool> buttons{
        {MainButton::Scan, true}, {MainButton::SelectScanner, true}, {MainButton::Quit, true}};
    int buttonChanges = 0;
    int focusCalls = 0;
    int drains = 0;
    std::vector<Handle> fontsMade;
    std::vector<Handle> fontsFreed;

    std::string selectorText(ScanSelector selector) override { return selectors[selector]; }

    bool checkBoxTicked(ScanCheckBox box) override
    {
        return box == ScanCheckBox::Duplex ? duplexTicked : discardTicked;
    }

    bool checkBoxEnabled(ScanCheckBox box) override
    {
        return box == ScanCheckBox::Duplex ? duplexEnabled : true;
    }

    std::string statusText() override { return status; }

    void setStatusNow(const std::string& text) override
    {
        status = text;
        statusHistory.push_back(text);
    }

    void setScannerLine(const std::string& text) override { scannerLine = text; }

    void enableButton(MainButton button, bool enabled) override
    {
        buttons[button] = enabled;
        ++buttonChanges;
    }

    void focusAfterJob() override { ++focusCalls; }

    void drainWindowEvents() override { ++drains; }

    Handle createJobFont() override
    {
        fontsMade.push_back(5000 + static_cast<Handle>(fontsMade.size()));
        return fontsMade.back();
    }

    void freeJobFont(Handle font) override { fontsFreed.push_back(font); }

    // Each ask for a key takes the next scripted answer (none left: not held); pauses are counted.
    bool keyHeld(int virtualKey) override
    {
        keysAsked.push_back(virtualKey);
        if (heldAnswers.empty()) {
            return false;
        }
        const bool held = heldAnswers.front();
        heldAnswers.erase(heldAnswers.begin());
        return held;
    }

    void delay(int ms) override { delays.push_back(ms); }

    void enableMenuItem(int id, bool enabled) override { menuItems[id] = enabled; }

    std::vector<bool> heldAnswers;
    std::vector<int> keysAsked;
    std::vector<int> delays;
    std::map<int, bool> menuItems;

    void setDestinationType(const std::string& type) override
    {
        selectors[ScanSelector::DestinationType] = type;
    }

    void setDiscardBlank(bool ticked) override { discardTicked = ticked; }

    bool allButtonsEnabled() const
    {
        return buttons.at(MainButton::Scan) && buttons.at(MainButton::SelectScanner) &&
               buttons.at(MainButton::Quit);
    }

    bool anyButtonEnabled() const
    {
        return buttons.at(MainButton::Scan) || buttons.at(MainButton::SelectScanner) ||
               buttons.at(MainButton::Quit);
    }
};

// Counts every page the library reports into the pass and job counters, as the shell's callback does,
// and then runs onPage.
inline void
countPagesAsTheShell(ScannerLibrary& scanner, ShellState& shell, std::function<void()> onPage = {})
{
    scanner.setNotificationCallback(
        [&shell, onPage = std::move(onPage)](std::int32_t code, std::int32_t, std::int64_t) {
            if (code == static_cast<std::int32_t>(ScannerNotification::PageAcquired)) {
                ++shell.ScanCounters.pass;
                ++shell.ScanCounters.job;
                if (onPage) {
                    onPage();
                }
            }
            return 1;
        },
        0,
        0);
}

// The dialogs: the real message box (answered by a ScriptedActionBoxAnswerer), the wait window
// recorded.
class RecordingDialogs final : public ScanJobDialogs
{
public:
    std::vector<std::string> waitEvents;

    // What the destination dialog was shown with, and what it answers in turn (none left: "Abbruch").
    struct DestinationShown
    {
        std::vector<std::string> types;
        DestinationChoice current;
        Handle font;
    };

    std::vector<DestinationShown> destinationsShown;
    std::vector<std::optional<DestinationChoice>> destinationAnswers;

    std::intptr_t actionBox(ActionBoxParams& params) override { return ActionBox(params); }

    void openWaitWindow(const std::string& text) override { waitEvents.push_back("open " + text); }

    void closeWaitWindow() override { waitEvents.push_back("close"); }

    std::optional<DestinationChoice> changeDestination(
        const std::vector<std::string>& types, const DestinationChoice& current, Handle font) override
    {
        destinationsShown.push_back({types, current, font});
        if (destinationsShown.size() > destinationAnswers.size()) {
            return std::nullopt;
        }
        return destinationAnswers[destinationsShown.size() - 1];
    }
};

} // namespace folvex::testing
