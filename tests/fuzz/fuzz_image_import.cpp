// libFuzzer entry for the import of image files and multi-page TIFFs: the first byte chooses the
// format, the rest is the file. Every page the image library reads goes through the import's
// conversion to a page image and is written as a page file, as the import does.
#include "foundation/freeimage_binding.h"
#include "runtime/safe_file.h"
#include "shell/page_import.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

namespace {

void makePage(const folvex::FreeImageFunctionTable& functions, FIBITMAP* image, const std::string& folder)
{
    folvex::FreeImageBitmap owner = folvex::ownFreeImage(functions, nullptr);
    FIBITMAP* page = folvex::pageImageOf(functions, image, owner);
    if (page != nullptr) {
        static_cast<void>(functions.SaveU(FIF_BMP, page, folvex::pageFilePath(folder, 1), 0));
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace folvex;
    static const std::array<const char*, 8> Names{
        "a.jpg", "a.bmp", "a.png", "a.gif", "a.tga", "a.tif", "a.jpeg", "multi.tiff"};
    static FreeImageLibrary library;
    static const bool loaded = loadFreeImageBinding(library);
    static const PrivateFolder folder = PrivateFolder::create("/tmp").value();
    if (!loaded) {
        std::abort();
    }
    if (size == 0) {
        return 0;
    }
    const FreeImageFunctionTable& functions = library.FreeImageFunctions;
    const std::string name = Names[data[0] % Names.size()];
    const std::string file = folder.file(name);
    if (!writeFileSafely(file, std::string_view(reinterpret_cast<const char*>(data + 1), size - 1))) {
        return 0;
    }
    if (name == "multi.tiff") {
        FIMULTIBITMAP* multi = functions.OpenMultiBitmap(FIF_TIFF, file.c_str(), FALSE, TRUE, FALSE, 0);
        if (multi == nullptr) {
            return 0;
        }
        const int pages = functions.GetPageCount(multi);
        for (int i = 0; i < pages && i < 4; ++i) {
            if (FIBITMAP* locked = functions.LockPage(multi, i)) {
                makePage(functions, locked, folder.path());
                functions.UnlockPage(multi, locked, FALSE);
            }
        }
        functions.CloseMultiBitmap(multi, 0);
        return 0;
    }
    FreeImageBitmap image = ownFreeImage(functions, functions.Load(importFormatOf(file), file.c_str(), 0));
    if (image) {
        makePage(functions, image.get(), folder.path());
    }
    return 0;
}
