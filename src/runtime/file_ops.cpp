#include "runtime/file_ops.h"

#include "runtime/safe_file.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

namespace folvex {

bool SystemFileOps::exists(const std::string& path)
{
    struct stat info
    {};

    return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

std::vector<std::string> SystemFileOps::listFiles(const std::string& folder)
{
    std::vector<std::string> names;
    std::error_code error;
    std::filesystem::directory_iterator it(folder, error);
    if (error) {
        return names;
    }
    for (; it != std::filesystem::directory_iterator(); it.increment(error)) {
        if (error) {
            break;
        }
        // Follows symbolic links, as a listing that hands out files to open should.
        std::error_code typeError;
        if (it->is_regular_file(typeError)) {
            names.push_back(it->path().filename().string());
        }
    }
    return names;
}

bool SystemFileOps::remove(const std::string& path)
{
    return ::unlink(path.c_str()) == 0;
}

Expected<void> SystemFileOps::renameOver(const std::string& from, const std::string& to)
{
    if (std::rename(from.c_str(), to.c_str()) == 0) {
        return {};
    }
    const int code = errno;
    return Error{code, to + ": " + std::strerror(code)};
}

Expected<void> SystemFileOps::renameNoReplace(const std::string& from, const std::string& to)
{
    return folvex::renameNoReplace(from, to);
}

Expected<void> FileOps::copyOver(const std::string& from, const std::string& to)
{
    return copyFileSafely(from, to);
}

FIBITMAP* SystemFileOps::loadBmp(const std::string&)
{
    return nullptr;
}

bool SystemFileOps::saveBmp(FIBITMAP*, const std::string&)
{
    return false;
}

} // namespace folvex
