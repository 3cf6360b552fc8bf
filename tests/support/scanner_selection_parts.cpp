#include "support/scanner_selection_parts.h"

namespace folvex::testing {

ScannerSelectionParts::ScannerSelectionParts()
    : scannerLine(new QLabel(QStringLiteral("Scanner: keiner gewählt"), &window))
    , statusLine(new QLabel(QStringLiteral("Status: unbeschäftigt"), &window))
    , paperSource(new QComboBox(&window))
    , duplexBox(new QCheckBox(QStringLiteral("automatisch doppelseitig scannen"), &window))
    , scanButton(new QPushButton(QStringLiteral("Scannen"), &window))
    , view(scannerLine, statusLine, paperSource, duplexBox, scanButton)
    , context{currentSource, passPages, jobPages, acquisitionRunning, state, view}
{}

std::vector<std::string> ScannerSelectionParts::paperItems() const
{
    std::vector<std::string> items;
    for (int i = 0; i < paperSource->count(); ++i) {
        items.push_back(paperSource->itemText(i).toStdString());
    }
    return items;
}

} // namespace folvex::testing
