#include "scan/scan_writers.h"

namespace folvex {

WriterTable scanWriters()
{
    WriterTable writers;
    return writers;
}

} // namespace folvex
