#pragma once
// The file-operations port with its image calls on the image library: BMP files loaded and saved
// through the binding's function table. Any thread once the table is filled.

#include "foundation/freeimage_binding.h"
#include "runtime/file_ops.h"

namespace folvex {

class ImageFileOps : public SystemFileOps
{
public:
    explicit ImageFileOps(const FreeImageFunctionTable& functions)
        : m_functions(functions)
    {}

    // LoadU of a BMP file (flags 0); the caller owns the image.
    FIBITMAP* loadBmp(const std::string& path) override;

    // SaveU as BMP (flags 0), which writes under a temporary name and replaces path only when complete.
    [[nodiscard]] bool saveBmp(FIBITMAP* image, const std::string& path) override;

    // SaveU in format with flags.
    [[nodiscard]] bool saveImage(int format, FIBITMAP* image, const std::string& path, int flags) override;

private:
    const FreeImageFunctionTable& m_functions;
};

} // namespace folvex
