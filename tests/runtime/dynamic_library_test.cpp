#include "runtime/dynamic_library.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <utility>
#include <vector>

namespace folvex {
namespace {

using AbsFunction = int(int);

TEST(DynamicLibraryTest, OpensByNameAndFindsFunctions)
{
    const DynamicLibrary libc("libc.so.6");
    ASSERT_TRUE(libc.isOpen());
    AbsFunction* absolute = libc.function<AbsFunction>("abs");
    ASSERT_NE(absolute, nullptr);
    EXPECT_EQ(absolute(-7), 7);
    EXPECT_EQ(libc.symbol("gibtEsNicht"), nullptr);

    const DynamicLibrary missing("libgibtesnicht.so.1");
    EXPECT_FALSE(missing.isOpen());
    EXPECT_FALSE(missing.error().empty());
    EXPECT_EQ(missing.symbol("abs"), nullptr);
}

TEST(DynamicLibraryTest, CloseAllReachesEveryOpenLibraryAlsoAfterAMove)
{
    closeAllDynamicLibraries();
    DynamicLibrary first("libc.so.6");
    std::vector<DynamicLibrary> held;
    held.push_back(DynamicLibrary("libm.so.6"));
    held.push_back(DynamicLibrary("libc.so.6")); // the vector moves its elements when it grows
    std::optional<DynamicLibrary> assigned;
    assigned.emplace("libgibtesnicht.so.1");
    *assigned = std::move(first); // the moved-from object no longer counts
    {
        const DynamicLibrary gone("libm.so.6"); // closed by its destructor, not counted
    }
    const DynamicLibrary missing("libgibtesnicht.so.1");

    EXPECT_EQ(closeAllDynamicLibraries(), 3);
    EXPECT_FALSE(assigned->isOpen());
    EXPECT_EQ(assigned->symbol("abs"), nullptr);
    for (const DynamicLibrary& library : held) {
        EXPECT_FALSE(library.isOpen());
    }
    EXPECT_EQ(closeAllDynamicLibraries(), 0);

    const DynamicLibrary later("libc.so.6");
    EXPECT_TRUE(later.isOpen());
    EXPECT_NE(later.symbol("abs"), nullptr);
}

} // namespace
} // namespace folvex
