#include "scan/scan_writers.h"

#include "scan/multipage_writers.h"
#include "scan/pdf_output.h"

namespace folvex {

WriterTable scanWriters()
{
    WriterTable writers;
    writers["PDF"] = SavePdf;
    writers["mehrseitiges TIF"] = SaveMultipageTiff;
    writers["Animated GIF"] = SaveAnimatedGif;
    return writers;
}

} // namespace folvex
