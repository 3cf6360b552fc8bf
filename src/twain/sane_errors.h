#pragma once
// The scanner library's error record and its texts: what lastErrorCode() and errorText() answer
// after a call failed. Any thread; no state.

#include "twain/sane_scanner_library.h"

#include <sane/sane.h>

#include <string>

namespace folvex {

struct LastError
{
    ScannerErrorCode code = ScannerErrorCode::None;
    std::string text;
};

// A reason that tells the caller the device stopped answering: it starts with InterfaceNotStartedPhrase.
std::string notReadyText(const std::string& reason);

// The error a SANE status stands for, with the device's own wording appended.
LastError errorOfStatus(SANE_Status status);

// A SANE call overran its time.
LastError hungError();

// The source is closed or its device gone.
LastError goneError();

// No device of that product name is connected; the text names it.
LastError unknownDeviceError(const std::string& productName);

// A call with an unknown handle, an unknown list or a value out of range; the text names the call.
LastError badCallError(const std::string& what);

// A page file could not be written; the text names the file and the system's reason.
LastError pageNotWrittenError(const std::string& path, const std::string& reason);

// The text of an error code when no better one is known.
std::string genericErrorText(ScannerErrorCode code);

} // namespace folvex
