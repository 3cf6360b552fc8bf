#include "twain/sane_device_search.h"

#include <sane/sane.h>

#include <algorithm>
#include <chrono>

namespace folvex {

std::int64_t steadyNowMs()
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

std::vector<SaneDevice> listDevices()
{
    std::vector<SaneDevice> devices;
    const SANE_Device** list = nullptr;
    if (sane_get_devices(&list, SANE_FALSE) != SANE_STATUS_GOOD || list == nullptr) {
        return devices;
    }
    for (const SANE_Device** d = list; *d != nullptr; ++d) {
        auto text = [](SANE_String_Const s) { return s != nullptr ? std::string(s) : std::string(); };
        devices.push_back({text((*d)->name), text((*d)->vendor), text((*d)->model), {}});
    }
    assignProductNames(devices);
    return devices;
}

void assignProductNames(std::vector<SaneDevice>& devices)
{
    for (SaneDevice& device : devices) {
        device.productName = device.vendor + " " + device.model;
        const bool shared = std::count_if(devices.begin(), devices.end(), [&](const SaneDevice& other) {
                                return other.vendor == device.vendor && other.model == device.model;
                            }) > 1;
        if (shared) {
            device.productName += " (" + device.name + ")";
        }
    }
}

int findDeviceByProductName(const std::vector<SaneDevice>& devices, const std::string& productName)
{
    if (productName.empty()) {
        return -1;
    }
    for (std::size_t i = 0; i < devices.size(); ++i) {
        if (devices[i].productName == productName) {
            return static_cast<int>(i);
        }
    }
    // "Vendor Model (device)": that device when it is still there; when it is gone (another port, a
    // new bus number), the one device of that vendor and model, if there is only one.
    const std::size_t open = productName.rfind(" (");
    if (productName.back() != ')' || open == std::string::npos) {
        return -1;
    }
    const std::string base = productName.substr(0, open);
    const std::string deviceName = productName.substr(open + 2, productName.size() - open - 3);
    int sameModel = -1;
    int count = 0;
    for (std::size_t i = 0; i < devices.size(); ++i) {
        if (devices[i].name == deviceName) {
            // Still there, only its name lost the suffix because its twin is gone.
            return devices[i].vendor + " " + devices[i].model == base ? static_cast<int>(i) : -1;
        }
        if (devices[i].vendor + " " + devices[i].model == base) {
            sameModel = static_cast<int>(i);
            ++count;
        }
    }
    return count == 1 ? sameModel : -1;
}

} // namespace folvex
