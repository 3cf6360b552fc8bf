#include "runtime/safe_file.h"

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <memory>
#include <stdio.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>
#include <vector>

namespace folvex {

namespace {

std::atomic<unsigned> temporaryCounter{0};

Error systemError(const std::string& what, int code)
{
    return Error{code, what + ": " + std::strerror(code)};
}

} // namespace

std::string makeTemporaryName(const std::string& targetPath)
{
    return targetPath + "." + std::to_string(getpid()) + "-" + std::to_string(temporaryCounter.fetch_add(1)) +
           std::string(SafeWriteSuffix);
}

SafeFileWriter::SafeFileWriter(std::string targetPath, std::string temporaryPath, std::FILE* file)
    : m_targetPath(std::move(targetPath))
    , m_temporaryPath(std::move(temporaryPath))
    , m_file(file)
{}

Expected<SafeFileWriter> SafeFileWriter::create(const std::string& targetPath)
{
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string temporaryPath = makeTemporaryName(targetPath);
        const int fd = ::open(temporaryPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0) {
            if (errno == EEXIST) {
                continue;
            }
            return systemError(targetPath, errno);
        }
        std::FILE* file = ::fdopen(fd, "wb");
        if (file == nullptr) {
            const int code = errno;
            ::close(fd);
            ::unlink(temporaryPath.c_str());
            return systemError(targetPath, code);
        }
        return SafeFileWriter(targetPath, std::move(temporaryPath), file);
    }
    return Error{EEXIST, targetPath + ": no free temporary name"};
}

SafeFileWriter::SafeFileWriter(SafeFileWriter&& other) noexcept
    : m_targetPath(std::move(other.m_targetPath))
    , m_temporaryPath(std::move(other.m_temporaryPath))
    , m_file(std::exchange(other.m_file, nullptr))
    , m_failed(other.m_failed)
{
    other.m_temporaryPath.clear();
}

SafeFileWriter& SafeFileWriter::operator=(SafeFileWriter&& other) noexcept
{
    if (this != &other) {
        abandon();
        m_targetPath = std::move(other.m_targetPath);
        m_temporaryPath = std::move(other.m_temporaryPath);
        m_file = std::exchange(other.m_file, nullptr);
        m_failed = other.m_failed;
        other.m_temporaryPath.clear();
    }
    return *this;
}

SafeFileWriter::~SafeFileWriter()
{
    abandon();
}

bool SafeFileWriter::write(const void* data, std::size_t size)
{
    if (m_failed || m_file == nullptr) {
        m_failed = true;
        return false;
    }
    if (size > 0 && std::fwrite(data, 1, size, m_file) != size) {
        m_failed = true;
    }
    return !m_failed;
}

Expected<void> SafeFileWriter::commit()
{
    if (m_file == nullptr || m_temporaryPath.empty()) {
        return Error{EBADF, m_targetPath + ": nothing to commit"};
    }
    int code = 0;
    if (m_failed || std::ferror(m_file) != 0) {
        code = errno != 0 ? errno : EIO;
    } else if (std::fflush(m_file) != 0 || ::fsync(::fileno(m_file)) != 0) {
        code = errno;
    }
    if (std::fclose(std::exchange(m_file, nullptr)) != 0 && code == 0) {
        code = errno;
    }
    if (code == 0 && std::rename(m_temporaryPath.c_str(), m_targetPath.c_str()) != 0) {
        code = errno;
    }
    if (code != 0) {
        m_failed = true;
        abandon();
        return systemError(m_targetPath, code);
    }
    m_temporaryPath.clear();
    return {};
}

void SafeFileWriter::abandon()
{
    if (m_file != nullptr) {
        std::fclose(std::exchange(m_file, nullptr));
    }
    if (!m_temporaryPath.empty()) {
        ::unlink(m_temporaryPath.c_str());
        m_temporaryPath.clear();
    }
}

Expected<void> writeFileSafely(const std::string& targetPath, std::string_view content)
{
    auto writer = SafeFileWriter::create(targetPath);
    if (!writer) {
        return writer.error();
    }
    if (!writer->write(content)) {
        const int code = errno != 0 ? errno : EIO;
        return systemError(targetPath, code);
    }
    return writer->commit();
}

Expected<void> copyFileSafely(const std::string& from, const std::string& targetPath)
{
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> source(std::fopen(from.c_str(), "rb"), &std::fclose);
    if (!source) {
        return systemError(from, errno);
    }
    auto writer = SafeFileWriter::create(targetPath);
    if (!writer) {
        return writer.error();
    }
    std::vector<char> buffer(1 << 16);
    for (;;) {
        const std::size_t got = std::fread(buffer.data(), 1, buffer.size(), source.get());
        if (got > 0 && !writer->write(buffer.data(), got)) {
            return systemError(targetPath, errno != 0 ? errno : EIO);
        }
        if (got < buffer.size()) {
            break;
        }
    }
    if (std::ferror(source.get()) != 0) {
        return systemError(from, EIO);
    }
    return writer->commit();
}

Expected<void> renameNoReplace(const std::string& from, const std::string& to)
{
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) {
        return {};
    }
    if (errno != EINVAL && errno != ENOSYS) {
        return systemError(to, errno);
    }
    // File systems without RENAME_NOREPLACE: link fails when the target exists, so nothing is replaced.
    if (::link(from.c_str(), to.c_str()) != 0) {
        return systemError(to, errno);
    }
    ::unlink(from.c_str());
    return {};
}

Expected<PrivateFolder> PrivateFolder::create(const std::string& parent)
{
    std::string pattern = parent + "/.folvex-XXXXXX";
    if (::mkdtemp(pattern.data()) == nullptr) {
        return systemError(parent, errno);
    }
    return PrivateFolder(std::move(pattern));
}

PrivateFolder::PrivateFolder(std::string path)
    : m_path(std::move(path))
{}

PrivateFolder::PrivateFolder(PrivateFolder&& other) noexcept
    : m_path(std::exchange(other.m_path, {}))
{}

PrivateFolder& PrivateFolder::operator=(PrivateFolder&& other) noexcept
{
    if (this != &other) {
        PrivateFolder gone(std::move(*this));
        m_path = std::exchange(other.m_path, {});
    }
    return *this;
}

PrivateFolder::~PrivateFolder()
{
    if (!m_path.empty()) {
        std::error_code ignored;
        std::filesystem::remove_all(m_path, ignored);
    }
}

Expected<std::string> readWholeFile(const std::string& path)
{
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) {
        return systemError(path, errno);
    }
    std::string content;
    char buffer[65536];
    std::size_t got = 0;
    while ((got = std::fread(buffer, 1, sizeof buffer, file)) > 0) {
        content.append(buffer, got);
    }
    const bool failed = std::ferror(file) != 0;
    std::fclose(file);
    if (failed) {
        return Error{EIO, path + ": read error"};
    }
    return content;
}

} // namespace folvex
