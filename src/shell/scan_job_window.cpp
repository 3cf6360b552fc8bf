#include "shell/scan_job_window.h"

#include "foundation/wait_window.h"
#include "foundation/window_routines.h"
#include "runtime/controls.h"
#include "runtime/draw_objects.h"
#include "runtime/object_registry.h"
#include "runtime/window_events.h"
#include "scan/destination_dialog.h"
#include "shell/main_window.h"
#include "shell/scanner_selection.h"

namespace folvex {

namespace {

constexpr int WaitMarginPx = 20;
constexpr std::int32_t DefaultWaitColour = -1;

} // namespace

MainWindowScanJobPort::MainWindowScanJobPort(const MainWindowControls& controls, ScannerSelectionView& view)
    : m_controls(controls)
    , m_view(view)
{}

std::string MainWindowScanJobPort::selectorText(ScanSelector selector)
{
    switch (selector) {
        case ScanSelector::PaperSource:
            return controlText(m_controls.paperSource);
        case ScanSelector::ColourMode:
            return controlText(m_controls.colourMode);
        case ScanSelector::Resolution:
            return controlText(m_controls.resolution);
        case ScanSelector::PaperSize:
            return controlText(m_controls.paperSize);
        case ScanSelector::DestinationType:
            return controlText(m_controls.destinationType);
    }
    return {};
}

namespace {

MainCheckBox mainCheckBox(ScanCheckBox box)
{
    return box == ScanCheckBox::Duplex ? MainCheckBox::Duplex : MainCheckBox::DiscardBlank;
}

} // namespace

bool MainWindowScanJobPort::checkBoxTicked(ScanCheckBox box)
{
    return mainCheckBoxTicked(mainCheckBox(box));
}

bool MainWindowScanJobPort::checkBoxEnabled(ScanCheckBox box)
{
    return mainCheckBoxEnabled(mainCheckBox(box));
}

std::string MainWindowScanJobPort::statusText()
{
    return controlText(m_controls.statusLine);
}

void MainWindowScanJobPort::setStatusNow(const std::string& text)
{
    m_view.setStatusNow(text);
}

void MainWindowScanJobPort::setScannerLine(const std::string& text)
{
    m_view.setScannerLine(text);
}

void MainWindowScanJobPort::enableButton(MainButton button, bool enabled)
{
    switch (button) {
        case MainButton::Scan:
            EnableControl(m_controls.scanButton, enabled ? 1 : 0);
            break;
        case MainButton::SelectScanner:
            EnableControl(m_controls.selectScannerButton, enabled ? 1 : 0);
            break;
        case MainButton::OpenLastOutput:
            EnableControl(m_controls.openLastOutputButton, enabled ? 1 : 0);
            break;
        case MainButton::Quit:
            EnableControl(m_controls.quitButton, enabled ? 1 : 0);
            break;
    }
}

void MainWindowScanJobPort::focusAfterJob()
{
    focusScanOrSelectButton(m_controls);
}

void MainWindowScanJobPort::drainWindowEvents()
{
    DrainWindowEvents();
}

Handle MainWindowScanJobPort::createJobFont()
{
    return createFont("Arial", 9);
}

void MainWindowScanJobPort::freeJobFont(Handle font)
{
    if (font != NoHandle) {
        deleteDrawObject(font);
    }
}

bool MainWindowScanJobPort::keyHeld(int virtualKey)
{
    return KeyDown(virtualKey, 0, NoHandle) != 0;
}

void MainWindowScanJobPort::delay(int ms)
{
    Delay(ms);
}

void MainWindowScanJobPort::enableMenuItem(int id, bool enabled)
{
    static_cast<void>(setMainMenuItemEnabled(id, enabled));
}

std::intptr_t MainWindowScanJobPort::actionBox(ActionBoxParams& params)
{
    return ActionBox(params);
}

void MainWindowScanJobPort::openWaitWindow(const std::string& text)
{
    XWarten(text, NoHandle, WaitMarginPx, DefaultWaitColour, 0, 0, NoHandle);
}

void MainWindowScanJobPort::closeWaitWindow()
{
    XWartenEnde();
}

void MainWindowScanJobPort::setDestinationType(const std::string& type)
{
    ComboSelectText(m_controls.destinationType, type);
}

void MainWindowScanJobPort::setDiscardBlank(bool ticked)
{
    SetCheckState(m_controls.discardBlank, ticked ? 1 : 0);
}

std::optional<DestinationChoice> MainWindowScanJobPort::changeDestination(
    const std::vector<std::string>& types, const DestinationChoice& current, Handle font)
{
    return runDestinationDialog(types, current, font);
}

} // namespace folvex
