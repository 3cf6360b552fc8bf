#include "twain/sane_dialogs_qt.h"

#include <QApplication>
#include <QCloseEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QMetaObject>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

namespace folvex {

namespace {

// How often the windows look at the worker besides its wake-ups, for the watchdog.
constexpr int PollIntervalMs = 100;

QString fromUtf8(const std::string& text)
{
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

} // namespace

QString scanningPageText(int page)
{
    return QStringLiteral("Seite %1 wird gescannt...").arg(page);
}

SourceChooserDialog::SourceChooserDialog(DeviceSearch& search, QWidget* parent)
    : QDialog(parent)
    , m_search(search)
{
    setWindowTitle(QString::fromUtf8(ChooserTitle));
    setWindowModality(Qt::ApplicationModal);
    auto* layout = new QVBoxLayout(this);
    m_status = new QLabel(QString::fromUtf8(ChooserSearchingText), this);
    m_list = new QListWidget(this);
    m_list->setEnabled(false);
    m_list->setMinimumSize(360, 160);
    auto* buttons = new QHBoxLayout();
    m_choose = new QPushButton(QString::fromUtf8(ChooserChooseLabel), this);
    m_choose->setEnabled(false);
    m_choose->setDefault(true);
    m_cancel = new QPushButton(QString::fromUtf8(CancelLabel), this);
    buttons->addStretch();
    buttons->addWidget(m_choose);
    buttons->addWidget(m_cancel);
    layout->addWidget(m_status);
    layout->addWidget(m_list);
    layout->addLayout(buttons);

    connect(m_choose, &QPushButton::clicked, this, &SourceChooserDialog::choose);
    connect(m_cancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(m_list, &QListWidget::itemDoubleClicked, this, &SourceChooserDialog::choose);
    m_timer = new QTimer(this);
    connect(m_timer, &QTimer::timeout, this, &SourceChooserDialog::poll);
    m_timer->start(PollIntervalMs);
    m_search.setWakeUp(
        [this] { QMetaObject::invokeMethod(this, &SourceChooserDialog::poll, Qt::QueuedConnection); });
    poll();
}

SourceChooserDialog::~SourceChooserDialog()
{
    m_search.setWakeUp({});
}

void SourceChooserDialog::poll()
{
    if (m_listed) {
        return;
    }
    m_search.checkWatchdog();
    if (!m_search.finished()) {
        return;
    }
    m_listed = true;
    m_timer->stop();
    const std::vector<SaneDevice> devices = m_search.devices();
    for (const SaneDevice& device : devices) {
        m_list->addItem(fromUtf8(device.productName));
    }
    if (devices.empty()) {
        m_status->setText(QString::fromUtf8(ChooserNothingFoundText));
        return;
    }
    m_status->hide();
    m_list->setEnabled(true);
    m_list->setCurrentRow(0);
    m_choose->setEnabled(true);
}

void SourceChooserDialog::choose()
{
    const int row = m_list->currentRow();
    if (!m_listed || row < 0) {
        return;
    }
    m_chosen = static_cast<std::size_t>(row);
    accept();
}

ScanProgressDialog::ScanProgressDialog(AcquisitionSession& session, QWidget* parent)
    : QDialog(parent)
    , m_session(session)
{
    setWindowTitle(QString::fromUtf8(ProgressTitle));
    setWindowModality(Qt::ApplicationModal);
    auto* layout = new QVBoxLayout(this);
    auto* product = new QLabel(fromUtf8(session.productName()), this);
    m_page = new QLabel(scanningPageText(session.currentPage()), this);
    m_page->setMinimumWidth(300);
    m_cancel = new QPushButton(QString::fromUtf8(CancelLabel), this);
    auto* buttons = new QHBoxLayout();
    buttons->addStretch();
    buttons->addWidget(m_cancel);
    buttons->addStretch();
    layout->addWidget(product);
    layout->addWidget(m_page);
    layout->addLayout(buttons);
    connect(m_cancel, &QPushButton::clicked, this, &ScanProgressDialog::reject);
    m_timer = new QTimer(this);
    connect(m_timer, &QTimer::timeout, this, &ScanProgressDialog::tick);
    m_timer->start(PollIntervalMs);
    m_session.setWakeUp(
        [this] { QMetaObject::invokeMethod(this, &ScanProgressDialog::tick, Qt::QueuedConnection); });
}

ScanProgressDialog::~ScanProgressDialog()
{
    m_session.setWakeUp({});
}

void ScanProgressDialog::reject()
{
    m_session.requestCancel();
    m_cancel->setEnabled(false);
}

void ScanProgressDialog::closeEvent(QCloseEvent* event)
{
    if (m_done) {
        event->accept();
        return;
    }
    reject();
    event->ignore();
}

void ScanProgressDialog::tick()
{
    if (m_done) {
        return;
    }
    m_session.checkWatchdog();
    m_session.deliverEvents();
    m_page->setText(scanningPageText(m_session.currentPage()));
    if (m_session.finished()) {
        m_done = true;
        m_timer->stop();
        accept();
    }
}

QtSaneDialogs::QtSaneDialogs(std::function<QWidget*(Handle)> parentOf)
    : m_parentOf(std::move(parentOf))
{}

QWidget* QtSaneDialogs::parentWidget(Handle parent) const
{
    QWidget* widget = m_parentOf ? m_parentOf(parent) : nullptr;
    return widget != nullptr ? widget : QApplication::activeWindow();
}

std::optional<std::size_t> QtSaneDialogs::chooseDevice(DeviceSearch& search, Handle parent)
{
    SourceChooserDialog dialog(search, parentWidget(parent));
    if (dialog.exec() != QDialog::Accepted) {
        return std::nullopt;
    }
    return dialog.chosen();
}

void QtSaneDialogs::showProgress(AcquisitionSession& session, Handle parent)
{
    ScanProgressDialog dialog(session, parentWidget(parent));
    if (!session.finished()) {
        dialog.exec();
    }
    session.deliverEvents();
}

} // namespace folvex
