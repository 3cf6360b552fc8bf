#pragma once
// Safe writing of files: a file is written under a temporary name in its own folder and renamed over
// the target only when complete, so a failure never leaves a half-written file or harms the old one.
// Also the rename that never replaces an existing file. Any thread; one writer per object.

#include "runtime/expected.h"

#include <cstddef>
#include <cstdio>
#include <string>
#include <string_view>

namespace folvex {

// The one suffix of every temporary name the program writes; the clean-up recognises it.
inline constexpr std::string_view SafeWriteSuffix = ".folvex-tmp";

class SafeFileWriter
{
public:
    // Creates "<target>.<unique>.folvex-tmp" in the target's folder (permissions 0666 minus umask).
    static Expected<SafeFileWriter> create(const std::string& targetPath);

    SafeFileWriter(SafeFileWriter&& other) noexcept;
    SafeFileWriter& operator=(SafeFileWriter&& other) noexcept;
    SafeFileWriter(const SafeFileWriter&) = delete;
    SafeFileWriter& operator=(const SafeFileWriter&) = delete;

    // Removes the temporary file unless commit() succeeded.
    ~SafeFileWriter();

    // Appends bytes; after a failure every later call fails and commit() refuses.
    [[nodiscard]] bool write(const void* data, std::size_t size);

    [[nodiscard]] bool write(std::string_view bytes) { return write(bytes.data(), bytes.size()); }

    // Flushes, syncs, closes and renames over the target. On failure the target is untouched and the
    // temporary file is gone.
    [[nodiscard]] Expected<void> commit();

    // Drops the temporary file; the target is untouched.
    void abandon();

    const std::string& temporaryPath() const { return m_temporaryPath; }

    const std::string& targetPath() const { return m_targetPath; }

    // The open stream, for libraries that write to a FILE* (nullptr once closed).
    std::FILE* stream() const { return m_file; }

private:
    SafeFileWriter(std::string targetPath, std::string temporaryPath, std::FILE* file);

    std::string m_targetPath;
    std::string m_temporaryPath;
    std::FILE* m_file = nullptr;
    bool m_failed = false;
};

// Writes the whole content safely; the error message names the target.
[[nodiscard]] Expected<void> writeFileSafely(const std::string& targetPath, std::string_view content);

// Copies the file from over targetPath (replacing it) through a SafeFileWriter: targetPath is either
// its old self or the complete copy. The error message names the file that failed.
[[nodiscard]] Expected<void> copyFileSafely(const std::string& from, const std::string& targetPath);

// A unique temporary name in the folder of targetPath, ending in SafeWriteSuffix (nothing is created).
std::string makeTemporaryName(const std::string& targetPath);

// Renames from to to unless to exists; never replaces. Fails with EEXIST as the error code then.
[[nodiscard]] Expected<void> renameNoReplace(const std::string& from, const std::string& to);

// A folder only this user may enter, made under a unique name for files that a library or another
// program creates by name: no one else can plant a link there. Removed with its content when the
// object goes. Any thread; the object is not shared.
class PrivateFolder
{
public:
    // Makes parent + "/.folvex-XXXXXX" (the X's random) with permissions 0700.
    static Expected<PrivateFolder> create(const std::string& parent);

    PrivateFolder(PrivateFolder&& other) noexcept;
    PrivateFolder& operator=(PrivateFolder&& other) noexcept;
    PrivateFolder(const PrivateFolder&) = delete;
    PrivateFolder& operator=(const PrivateFolder&) = delete;
    ~PrivateFolder();

    // The folder, without a trailing "/".
    const std::string& path() const { return m_path; }

    // path() + "/" + name.
    std::string file(const std::string& name) const { return m_path + "/" + name; }

private:
    explicit PrivateFolder(std::string path);

    std::string m_path;
};

// Reads a whole file; nullopt-like error when it cannot be read.
[[nodiscard]] Expected<std::string> readWholeFile(const std::string& path);

} // namespace folvex
