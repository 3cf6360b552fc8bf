#include "runtime/dib.h"

#include <limits>
#include <mutex>
#include <unordered_map>

namespace folvex {

namespace {

struct ImageRegistry
{
    std::mutex mutex;
    std::unordered_map<Handle, std::unique_ptr<DibBitmap>> images;
};

// Never destroyed: other objects that live until exit() may still reach it from their destructors.
ImageRegistry& imageRegistry()
{
    static auto* registry = new ImageRegistry;
    return *registry;
}

} // namespace

std::unique_ptr<DibBitmap> makeDibBitmap(std::int32_t width, std::int32_t height, std::uint16_t bitCount)
{
    if (width <= 0 || height <= 0 || width > 1'000'000 || height > 1'000'000) {
        return nullptr;
    }
    if (bitCount != 1 && bitCount != 4 && bitCount != 8 && bitCount != 24 && bitCount != 32) {
        return nullptr;
    }
    auto bitmap = std::make_unique<DibBitmap>();
    bitmap->width = width;
    bitmap->height = height;
    bitmap->bitCount = bitCount;
    const std::size_t stride = bitmap->stride();
    if (stride > std::numeric_limits<std::size_t>::max() / static_cast<std::size_t>(height)) {
        return nullptr;
    }
    bitmap->bits.assign(stride * static_cast<std::size_t>(height), 0);
    if (bitCount <= 8) {
        const std::uint32_t entries = 1u << bitCount;
        bitmap->palette.resize(entries);
        for (std::uint32_t i = 0; i < entries; ++i) {
            const std::uint32_t level = i * 255 / (entries - 1);
            bitmap->palette[i] = level << 16 | level << 8 | level;
        }
    }
    return bitmap;
}

Handle registerImage(std::unique_ptr<DibBitmap> bitmap)
{
    if (!bitmap) {
        return NoHandle;
    }
    const Handle handle = allocateHandle();
    ImageRegistry& registry = imageRegistry();
    std::lock_guard lock(registry.mutex);
    registry.images.emplace(handle, std::move(bitmap));
    return handle;
}

DibBitmap* findImage(Handle image)
{
    ImageRegistry& registry = imageRegistry();
    std::lock_guard lock(registry.mutex);
    const auto found = registry.images.find(image);
    return found != registry.images.end() ? found->second.get() : nullptr;
}

bool freeImage(Handle image)
{
    std::unique_ptr<DibBitmap> released;
    ImageRegistry& registry = imageRegistry();
    std::lock_guard lock(registry.mutex);
    const auto found = registry.images.find(image);
    if (found == registry.images.end()) {
        return false;
    }
    released = std::move(found->second);
    registry.images.erase(found);
    return true;
}

} // namespace folvex
