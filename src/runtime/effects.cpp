#include "runtime/effects.h"

#include <cstdlib>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>

namespace folvex {

namespace {

// A folder with the execute (search) bit passes access(X_OK), so the kind of file is checked too.
bool isExecutableFile(const std::string& path)
{
    struct stat info
    {};

    return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) && ::access(path.c_str(), X_OK) == 0;
}

} // namespace

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
        return isExecutableFile(program) ? program : std::string();
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
        if (isExecutableFile(candidate)) {
            return candidate;
        }
        if (colon == std::string_view::npos) {
            return {};
        }
        rest.remove_prefix(colon + 1);
    }
}

} // namespace folvex
