#include "foundation/image_file_ops.h"

namespace folvex {

FIBITMAP* ImageFileOps::loadBmp(const std::string& path)
{
    return m_functions.LoadU(FIF_BMP, path, 0);
}

bool ImageFileOps::saveBmp(FIBITMAP* image, const std::string& path)
{
    return image != nullptr && m_functions.SaveU(FIF_BMP, image, path, 0) == TRUE;
}

bool ImageFileOps::saveImage(int format, FIBITMAP* image, const std::string& path, int flags)
{
    return image != nullptr &&
           m_functions.SaveU(static_cast<FREE_IMAGE_FORMAT>(format), image, path, flags) == TRUE;
}

} // namespace folvex
