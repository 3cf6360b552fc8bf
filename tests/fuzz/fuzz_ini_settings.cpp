// libFuzzer entry for the ini reader and the settings read from it: the bytes are the settings file.
// Whatever it holds, reading must not fail, the start-up must end with usable settings, and a value
// written must read back as written.
#include "foundation/ini_file.h"
#include "runtime/effects.h"
#include "runtime/safe_file.h"
#include "shell/settings.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

namespace {

// Notes are answered with OK; nothing ends the process.
class SilentMessages final : public folvex::MessageRequester
{
public:
    folvex::MessageAnswer
    showMessage(const std::string&, const std::string&, folvex::MessageButtons, folvex::MessageIcon) override
    {
        return folvex::MessageAnswer::Ok;
    }
};

class NoExit final : public folvex::ProgramExit
{
public:
    void endProgramAtOnce(int) override {}
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace folvex;
    static SilentMessages messages;
    static NoExit exit;
    static const PrivateFolder folder = PrivateFolder::create("/tmp").value();
    effects().messages = &messages;
    effects().exit = &exit;
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const std::string ini = folder.file("Folvex.ini");
    if (!writeFileSafely(ini, bytes)) {
        return 0;
    }

    // The first line, split at "=", gives a section and key to look up.
    const std::string_view line = bytes.substr(0, bytes.find('\n'));
    const std::size_t equals = line.find('=');
    const std::string section(line.substr(0, equals == std::string_view::npos ? line.size() : equals));
    const std::string key(equals == std::string_view::npos ? "Key" : line.substr(equals + 1));
    static_cast<void>(ReadIni(ini, section, key));
    static_cast<void>(WriteIni(ini, section, key, "Wert"));
    // A key written into a section of its own reads back as written.
    const std::string value = "Wert " + std::to_string(size);
    if (WriteIni(ini, "FUZZPROBE", "Probe", value) == 1 && ReadIni(ini, "FUZZPROBE", "Probe") != value) {
        std::abort();
    }

    SettingsState state;
    state.ProgramDir = folder.path() + "/";
    // The temporary folder is pinned first (the first copy of a section wins), so that the start-up
    // creates no folder the bytes name.
    const std::string pinned = "[ALLGEMEINES]\r\nTmpPath=" + folder.file("tmp") + "\r\n";
    if (!writeFileSafely(ini, pinned + std::string(bytes))) {
        return 0;
    }
    setSettingDefaults(state);
    loadSettings(state, ScreenRect{0, 0, 800, 600}, false);
    static_cast<void>(readLeadingInteger(bytes));
    static_cast<void>(readLeadingDecimal(bytes));
    static_cast<void>(isOwnTempFile(std::string(line)));
    return 0;
}
