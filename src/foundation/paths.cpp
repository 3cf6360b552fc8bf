#include "foundation/paths.h"

#include <dirent.h>
#include <filesystem>
#include <sys/stat.h>
#include <system_error>

namespace folvex {

namespace {

// Where the last part of path starts: after its last "/".
std::size_t lastPartStart(const std::string& path)
{
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? 0 : slash + 1;
}

// The last "." of the last part, npos when that part has none.
std::size_t extensionDot(const std::string& path)
{
    const std::size_t dot = path.rfind('.');
    if (dot == std::string::npos || dot < lastPartStart(path)) {
        return std::string::npos;
    }
    return dot;
}

} // namespace

std::string PathDirectory(const std::string& path)
{
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos) {
        return {};
    }
    if (slash == 0) {
        return "/";
    }
    return path.substr(0, slash);
}

std::string PathFileName(const std::string& path)
{
    return path.substr(lastPartStart(path));
}

std::string PathWithoutExtension(const std::string& path)
{
    const std::size_t dot = extensionDot(path);
    return dot == std::string::npos ? path : path.substr(0, dot);
}

std::string PathExtension(const std::string& path)
{
    const std::size_t dot = extensionDot(path);
    return dot == std::string::npos ? std::string() : path.substr(dot + 1);
}

std::string AbsolutePath(const std::string& path)
{
    if (path.empty() || path.front() == '/') {
        return path;
    }
    std::error_code error;
    const std::filesystem::path absolute = std::filesystem::absolute(path, error);
    return error ? path : absolute.string();
}

int FileExists(const std::string& path)
{
    struct stat info
    {};

    if (path.empty() || ::stat(path.c_str(), &info) != 0) {
        return 0;
    }
    return S_ISDIR(info.st_mode) ? 0 : 1;
}

int DirectoryExists(const std::string& path)
{
    if (path.empty()) {
        return 0;
    }
    DIR* listing = ::opendir(path.c_str());
    if (listing == nullptr) {
        return 0;
    }
    ::closedir(listing);
    return 1;
}

} // namespace folvex
