#pragma once
// Stand-ins for the scan job's ports: a main window with scripted selectors and check boxes that
// records every change, and dialogs that run the program's message box (answered by a scripted
// answerer in the tests) and record the wait window.

#include "scan/scan_job.h"

#include <map>
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

// The dialogs: the real message box (answered by a ScriptedActionBoxAnswerer), the wait window
// recorded.
class RecordingDialogs final : public ScanJobDialogs
{
public:
    std::vector<std::string> waitEvents;

    std::intptr_t actionBox(ActionBoxParams& params) override { return ActionBox(params); }

    void openWaitWindow(const std::string& text) override { waitEvents.push_back("open " + text); }

    void closeWaitWindow() override { waitEvents.push_back("close"); }
};

} // namespace folvex::testing
