#pragma once
// ScannerSelectionView over the main window's plain Qt widgets: the two text lines, the paper-source
// combo box, the duplex check box and the "Scannen" button. Owns none of them; a widget that is gone
// is left alone. GUI thread.

#include "shell/scanner_selection.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QPointer>
#include <QWidget>

namespace folvex {

class QtScannerSelectionView : public ScannerSelectionView
{
public:
    QtScannerSelectionView(
        QLabel* scannerLine,
        QLabel* statusLine,
        QComboBox* paperSource,
        QCheckBox* duplexBox,
        QWidget* scanButton);

    void setScannerLine(const std::string& text) override;
    void setStatusNow(const std::string& text) override;
    int lastPaperSourceIndex(const std::string& text) override;
    void addPaperSource(const std::string& text) override;
    void removePaperSource(int index) override;
    void enableDuplexBox(bool enabled) override;
    void enableScanButton(bool enabled) override;

private:
    QPointer<QLabel> m_scannerLine;
    QPointer<QLabel> m_statusLine;
    QPointer<QComboBox> m_paperSource;
    QPointer<QCheckBox> m_duplexBox;
    QPointer<QWidget> m_scanButton;
};

} // namespace folvex
