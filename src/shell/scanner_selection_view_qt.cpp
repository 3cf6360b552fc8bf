#include "shell/scanner_selection_view_qt.h"

namespace folvex {

QtScannerSelectionView::QtScannerSelectionView(
    QLabel* scannerLine,
    QLabel* statusLine,
    QComboBox* paperSource,
    QCheckBox* duplexBox,
    QWidget* scanButton)
    : m_scannerLine(scannerLine)
    , m_statusLine(statusLine)
    , m_paperSource(paperSource)
    , m_duplexBox(duplexBox)
    , m_scanButton(scanButton)
{}

void QtScannerSelectionView::setScannerLine(const std::string& text)
{
    if (m_scannerLine) {
        m_scannerLine->setText(QString::fromStdString(text));
    }
}

void QtScannerSelectionView::setStatusNow(const std::string& text)
{
    if (m_statusLine) {
        m_statusLine->setText(QString::fromStdString(text));
        // Painted now: the event loop does not run while the library blocks in the next call.
        m_statusLine->repaint();
    }
}

int QtScannerSelectionView::lastPaperSourceIndex(const std::string& text)
{
    if (!m_paperSource) {
        return -1;
    }
    const QString wanted = QString::fromStdString(text);
    for (int i = m_paperSource->count() - 1; i >= 0; --i) {
        if (m_paperSource->itemText(i) == wanted) {
            return i;
        }
    }
    return -1;
}

void QtScannerSelectionView::addPaperSource(const std::string& text)
{
    if (m_paperSource) {
        m_paperSource->addItem(QString::fromStdString(text));
    }
}

void QtScannerSelectionView::removePaperSource(int index)
{
    if (m_paperSource && index >= 0 && index < m_paperSource->count()) {
        m_paperSource->removeItem(index);
    }
}

void QtScannerSelectionView::enableDuplexBox(bool enabled)
{
    if (m_duplexBox) {
        m_duplexBox->setEnabled(enabled);
    }
}

void QtScannerSelectionView::enableScanButton(bool enabled)
{
    if (m_scanButton) {
        m_scanButton->setEnabled(enabled);
    }
}

} // namespace folvex
