#pragma once
// Reading and setting a SANE device's options by their well-known names: scan mode and depth for a
// pixel type, resolution, scan source (feeder, both sides) and scan area. Runs on the thread that
// makes the SANE calls; no state of its own.

#include "twain/sane_image.h"

#include <sane/sane.h>

#include <optional>
#include <string>
#include <vector>

namespace folvex {

struct Option
{
    int index = -1;
    const SANE_Option_Descriptor* descriptor = nullptr;

    explicit operator bool() const { return descriptor != nullptr; }
};

// The option of that name; empty when the device has none.
Option findOption(SANE_Handle handle, const char* name);

// The entries of a string option with a list of allowed values.
std::vector<std::string> stringEntries(const Option& option);

std::optional<std::string> getString(SANE_Handle handle, const Option& option);
bool setString(SANE_Handle handle, const Option& option, const std::string& value);

// Sets a number option to its allowed value nearest to wanted.
bool setNumber(SANE_Handle handle, const Option& option, double wanted);

// Sets mode and depth for a pixel type (0 black and white, 1 grey, 2 colour): 0 a line-art mode,
// else grey at depth 1, else grey 8 (the page is thresholded when written); 1 grey 8; 2 colour 8.
void configureMode(SANE_Handle handle, int pixelType);

// The resolution in dots per inch, 0 when the device tells none.
double currentResolution(SANE_Handle handle);

// True when the scan source is a feeder (one or both sides).
bool currentSourceIsFeeder(SANE_Handle handle);

// The frame format of a SANE frame; nullopt for formats pages cannot be made of.
std::optional<FrameFormat> frameFormat(SANE_Frame format);

// The source questions and settings of the library's calls; each true when answered yes or set.
bool deviceHasFeeder(SANE_Handle handle);
bool deviceScansBothSides(SANE_Handle handle);
bool selectFeeder(SANE_Handle handle, bool on);
bool selectBothSides(SANE_Handle handle, bool on);
bool setDeviceResolution(SANE_Handle handle, double dpi);
bool setScanArea(SANE_Handle handle, const std::string& paperSize);

} // namespace folvex
