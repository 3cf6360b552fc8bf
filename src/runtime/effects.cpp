#include "runtime/effects.h"

#include <cstdlib>
#include <string_view>
#include <unistd.h>

namespace folvex {

Effects& effects()
{
    static Effects installed;
    return installed;
}

std::string findInPath(const std::string& program)
{
    if (program.empty()) {
        return {};
    }
    if (program.find('/') != std::string::npos) {
        return ::access(program.c_str(), X_OK) == 0 ? program : std::string();
    }
    const char* path = std::getenv("PATH");
    std::string_view rest = path != nullptr ? path : "/usr/local/bin:/usr/bin:/bin";
    while (true) {
        const std::size_t colon = rest.find(':');
        std::string candidate(rest.substr(0, colon));
        if (candidate.empty()) {
            candidate = ".";
        }
        candidate.append("/").append(program);
        if (::access(candidate.c_str(), X_OK) == 0) {
            return candidate;
        }
        if (colon == std::string_view::npos) {
            return {};
        }
        rest.remove_prefix(colon + 1);
    }
}

} // namespace folvex
