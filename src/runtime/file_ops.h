#pragma once
// The file-operations port: the file effects of the writers and the page editor (existence, listing,
// removal, renames and the loading and safe saving of images) behind one interface, so tests can
// record them and inject failures. The real side is plain POSIX; the image calls are supplied by the
// image-library binding. Every call may come from any thread; implementations must allow that.

#include "runtime/expected.h"

#include <string>
#include <vector>

struct FIBITMAP;

namespace folvex {

class FileOps
{
public:
    virtual ~FileOps() = default;

    // True when path names an existing regular file.
    virtual bool exists(const std::string& path) = 0;

    // The names (without folder) of the regular files in folder, in no particular order; empty when the
    // folder cannot be listed.
    virtual std::vector<std::string> listFiles(const std::string& folder) = 0;

    // Removes a file; false when it could not be removed.
    virtual bool remove(const std::string& path) = 0;

    // Renames from to to, replacing an existing to in one step (rename(2)).
    [[nodiscard]] virtual Expected<void> renameOver(const std::string& from, const std::string& to) = 0;

    // Renames from to to unless to exists; never replaces.
    [[nodiscard]] virtual Expected<void> renameNoReplace(const std::string& from, const std::string& to) = 0;

    // Copies the file from over to through a safe write: to is either as it was or the complete copy.
    [[nodiscard]] virtual Expected<void> copyOver(const std::string& from, const std::string& to);

    // Loads a BMP file; nullptr when it cannot be loaded. The caller owns the image.
    virtual FIBITMAP* loadBmp(const std::string& path) = 0;

    // Saves image as a BMP file under a temporary name that replaces path only once complete; false on
    // failure, with an existing path untouched.
    [[nodiscard]] virtual bool saveBmp(FIBITMAP* image, const std::string& path) = 0;

    // Saves image in the image library's format (a FREE_IMAGE_FORMAT) with its save flags, under a
    // temporary name that replaces path only once complete; false on failure, with an existing path
    // untouched. A port without an image library saves nothing.
    [[nodiscard]] virtual bool saveImage(int format, FIBITMAP* image, const std::string& path, int flags)
    {
        static_cast<void>(format);
        static_cast<void>(image);
        static_cast<void>(path);
        static_cast<void>(flags);
        return false;
    }
};

// The POSIX side of the port. The two image calls fail (nothing loaded, nothing saved); the binding of
// the image library derives from this class to supply them.
class SystemFileOps : public FileOps
{
public:
    bool exists(const std::string& path) override;
    std::vector<std::string> listFiles(const std::string& folder) override;
    bool remove(const std::string& path) override;
    [[nodiscard]] Expected<void> renameOver(const std::string& from, const std::string& to) override;
    [[nodiscard]] Expected<void> renameNoReplace(const std::string& from, const std::string& to) override;
    FIBITMAP* loadBmp(const std::string& path) override;
    [[nodiscard]] bool saveBmp(FIBITMAP* image, const std::string& path) override;
};

} // namespace folvex
