#include "scan/scan_writers.h"

#include "scan/pdf_output.h"

namespace folvex {

WriterTable scanWriters()
{
    WriterTable writers;
    writers["PDF"] = SavePdf;
    return writers;
}

} // namespace folvex
