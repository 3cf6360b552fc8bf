#include "runtime/object_registry.h"

#include <gtest/gtest.h>

#include <QWidget>

namespace folvex {
namespace {

// The window test program runs with a QApplication; the components add their tests beside this one.
TEST(FoundationWindowTest, RunsWithAnApplication)
{
    QWidget widget;
    EXPECT_NE(registerObject(&widget, ObjectKind::Window, 0), NoHandle);
}

} // namespace
} // namespace folvex
