#pragma once
// The scan job's ports on the real main window: its selectors, check boxes, status and scanner lines,
// buttons and focus, the job's font, the program's message box, the wait window and the destination
// dialog. GUI thread.

#include "scan/scan_job.h"

namespace folvex {

struct MainWindowControls;
class ScannerSelectionView;

class MainWindowScanJobPort final : public ScanJobWindow, public ScanJobDialogs
{
public:
    // Both must outlive the port; the view paints the status and scanner lines.
    MainWindowScanJobPort(const MainWindowControls& controls, ScannerSelectionView& view);

    std::string selectorText(ScanSelector selector) override;
    bool checkBoxTicked(ScanCheckBox box) override;
    bool checkBoxEnabled(ScanCheckBox box) override;
    std::string statusText() override;
    void setStatusNow(const std::string& text) override;
    void setScannerLine(const std::string& text) override;
    void enableButton(MainButton button, bool enabled) override;
    void focusAfterJob() override;
    void drainWindowEvents() override;
    Handle createJobFont() override;
    void freeJobFont(Handle font) override;
    bool keyHeld(int virtualKey) override;
    void delay(int ms) override;
    void enableMenuItem(int id, bool enabled) override;
    void setDestinationType(const std::string& type) override;
    void setDiscardBlank(bool ticked) override;

    std::intptr_t actionBox(ActionBoxParams& params) override;
    void openWaitWindow(const std::string& text) override;
    void closeWaitWindow() override;
    std::optional<DestinationChoice> changeDestination(
        const std::vector<std::string>& types, const DestinationChoice& current, Handle font) override;

private:
    const MainWindowControls& m_controls;
    ScannerSelectionView& m_view;
};

} // namespace folvex
