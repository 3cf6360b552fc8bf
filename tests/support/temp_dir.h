#pragma once
// A temporary folder per test, removed with everything in it when the object goes.

#include <filesystem>
#include <string>

namespace folvex::testing {

class TempDir
{
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& path() const { return m_path; }

    // The folder with a trailing "/", as the program writes folders.
    std::string folder() const { return m_path.string() + "/"; }

    std::string file(const std::string& name) const { return (m_path / name).string(); }

private:
    std::filesystem::path m_path;
};

// Reads a whole file as bytes (empty when it cannot be read).
std::string readFile(const std::string& path);

void writeFile(const std::string& path, const std::string& bytes);

} // namespace folvex::testing
