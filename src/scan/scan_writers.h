#pragma once
// The program's output writers, one entry per destination type that has one. GUI thread.

#include "scan/writer_table.h"

namespace folvex {

// The table the shell gives every scan job.
WriterTable scanWriters();

} // namespace folvex
