#include "imageops/straighten.h"

#include <gtest/gtest.h>

namespace folvex {
namespace {} // namespace
} // namespace folvex
