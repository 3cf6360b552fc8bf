#pragma once
// The parts of the main window that the scanner selection works on (scanner and status lines, paper
// source, duplex box, "Scannen"), the view over them and the shell data the selection changes, on one
// unshown window. GUI thread only.

#include "shell/scanner_selection.h"
#include "shell/scanner_selection_view_qt.h"
#include "shell/settings.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QWidget>

#include <cstdint>
#include <string>
#include <vector>

namespace folvex::testing {

struct ScannerSelectionParts
{
    ScannerSelectionParts();
    ScannerSelectionParts(const ScannerSelectionParts&) = delete;
    ScannerSelectionParts& operator=(const ScannerSelectionParts&) = delete;

    QWidget window;
    QLabel* scannerLine;
    QLabel* statusLine;
    QComboBox* paperSource;
    QCheckBox* duplexBox;
    QPushButton* scanButton;
    QtScannerSelectionView view;
    SourceHandle currentSource = NoHandle;
    std::int32_t passPages = 0;
    std::int32_t jobPages = 0;
    std::uint8_t acquisitionRunning = 0;
    SettingsState state;
    ScannerSelectionContext context;

    // The paper source's items in order.
    std::vector<std::string> paperItems() const;
};

} // namespace folvex::testing
