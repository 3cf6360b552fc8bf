#include "runtime/handles.h"

#include <atomic>

namespace folvex {

Handle allocateHandle()
{
    static std::atomic<Handle> next{FirstHandle};
    return next.fetch_add(1);
}

} // namespace folvex
