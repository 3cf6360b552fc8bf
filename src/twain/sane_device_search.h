#pragma once
// Finding SANE devices: the list of connected devices with their product names, and the search the
// selection window watches while it runs on the worker. The list is read on the thread that makes
// the SANE calls; the search is polled from the GUI thread.

#include "twain/sane_scanner_library.h"

#include <cstdint>
#include <functional>
#include <mutex>
#include <vector>

namespace folvex {

// Milliseconds of a steady clock, for deadlines.
std::int64_t steadyNowMs();

// The connected devices with their product names; empty when SANE lists none or fails.
std::vector<SaneDevice> listDevices();

class SaneDeviceSearch final : public DeviceSearch
{
public:
    explicit SaneDeviceSearch(int timeoutMs)
        : m_deadlineMs(steadyNowMs() + timeoutMs)
    {}

    bool finished() const override
    {
        std::lock_guard lock(m_mutex);
        return m_done;
    }

    std::vector<SaneDevice> devices() const override
    {
        std::lock_guard lock(m_mutex);
        return m_done ? m_devices : std::vector<SaneDevice>();
    }

    void setWakeUp(std::function<void()> wakeUp) override
    {
        std::lock_guard lock(m_mutex);
        m_wakeUp = std::move(wakeUp);
    }

    void checkWatchdog() override
    {
        std::lock_guard lock(m_mutex);
        if (!m_done && steadyNowMs() > m_deadlineMs) {
            m_done = true;
            m_hung = true;
        }
    }

    bool hung() const
    {
        std::lock_guard lock(m_mutex);
        return m_hung;
    }

    // Worker: the search result.
    void complete(std::vector<SaneDevice> devices)
    {
        std::lock_guard lock(m_mutex);
        if (m_done) {
            return;
        }
        m_devices = std::move(devices);
        m_done = true;
        if (m_wakeUp) {
            m_wakeUp();
        }
    }

private:
    mutable std::mutex m_mutex;
    std::int64_t m_deadlineMs;
    bool m_done = false;
    bool m_hung = false;
    std::vector<SaneDevice> m_devices;
    std::function<void()> m_wakeUp;
};

} // namespace folvex
