#pragma once
// The windows of the SANE scanner library: "Scanner auswählen", which lists the devices while the
// worker searches for them, and the application-modal progress window "Scannen" with "Abbrechen".
// GUI thread.

#include "twain/sane_scanner_library.h"

#include <QDialog>

#include <functional>
#include <optional>

class QLabel;
class QListWidget;
class QPushButton;
class QTimer;
class QWidget;

namespace folvex {

inline constexpr const char* ChooserTitle = "Scanner auswählen";
inline constexpr const char* ChooserSearchingText = "Scanner werden gesucht...";
inline constexpr const char* ChooserNothingFoundText = "Kein Scanner gefunden.";
inline constexpr const char* ChooserChooseLabel = "Auswählen";
inline constexpr const char* CancelLabel = "Abbrechen";
inline constexpr const char* ProgressTitle = "Scannen";

// "Seite <n> wird gescannt..."
QString scanningPageText(int page);

class SourceChooserDialog final : public QDialog
{
    Q_OBJECT

public:
    SourceChooserDialog(DeviceSearch& search, QWidget* parent);
    ~SourceChooserDialog() override;

    // The index of the chosen device once accepted.
    std::optional<std::size_t> chosen() const { return m_chosen; }

    QListWidget* deviceList() const { return m_list; }

    QLabel* statusLabel() const { return m_status; }

    QPushButton* chooseButton() const { return m_choose; }

    QPushButton* cancelButton() const { return m_cancel; }

private:
    void poll();
    void choose();

    DeviceSearch& m_search;
    QLabel* m_status = nullptr;
    QListWidget* m_list = nullptr;
    QPushButton* m_choose = nullptr;
    QPushButton* m_cancel = nullptr;
    QTimer* m_timer = nullptr;
    bool m_listed = false;
    std::optional<std::size_t> m_chosen;
};

class ScanProgressDialog final : public QDialog
{
    Q_OBJECT

public:
    ScanProgressDialog(AcquisitionSession& session, QWidget* parent);
    ~ScanProgressDialog() override;

    QLabel* pageLabel() const { return m_page; }

    QPushButton* cancelButton() const { return m_cancel; }

    // Esc: the cancel request; the window stays until the worker has stopped.
    void reject() override;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void tick();

    AcquisitionSession& m_session;
    QLabel* m_page = nullptr;
    QPushButton* m_cancel = nullptr;
    QTimer* m_timer = nullptr;
    bool m_done = false;
};

class QtSaneDialogs final : public SaneDialogs
{
public:
    // parentOf gives the window of a handle; without it (or for nullptr) the active window is used.
    explicit QtSaneDialogs(std::function<QWidget*(Handle)> parentOf = {});

    std::optional<std::size_t> chooseDevice(DeviceSearch& search, Handle parent) override;
    void showProgress(AcquisitionSession& session, Handle parent) override;

private:
    QWidget* parentWidget(Handle parent) const;

    std::function<QWidget*(Handle)> m_parentOf;
};

} // namespace folvex
