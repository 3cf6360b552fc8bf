#include "scan/scan_writers.h"

#include "scan/image_writers.h"
#include "scan/multipage_writers.h"
#include "scan/ocr_output.h"
#include "scan/pdf_output.h"

namespace folvex {

WriterTable scanWriters()
{
    WriterTable writers;
    writers["PDF"] = SavePdf;
    writers["PDF+OCR"] = [](ScanJobContext& context, ScanJobState& job) { return SavePdfOcr(context, job); };
    writers["BMP"] = SaveBmp;
    writers["JPG"] = SaveJpg;
    writers["PNG"] = SavePng;
    writers["einseitiges TIF"] = SaveSingleTif;
    writers["GIF"] = SaveGif;
    writers["TARGA"] = SaveTarga;
    writers["mehrseitiges TIF"] = SaveMultipageTiff;
    writers["Animated GIF"] = SaveAnimatedGif;
    return writers;
}

} // namespace folvex
