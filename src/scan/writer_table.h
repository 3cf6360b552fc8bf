#pragma once
// The output writers of a scan job, keyed by the exact text of the destination type ("PDF", "PDF+OCR",
// "JPG", ...). The result step looks the type up here; a type with no writer writes nothing. GUI thread.

#include <functional>
#include <map>
#include <string>

namespace folvex {

struct ScanJobContext;
struct ScanJobState;

// How a writer's run ended. Declined: the user answered "Nein" to a question (the job ends, ok = 0).
// Cancelled: the user closed the save dialog without a name (the result dialog comes again).
enum class WriterOutcome
{
    Written,
    Declined,
    Cancelled,
};

// A writer saves the job's page files TmpReadyImg1 .. mergedPages of the temporary folder.
using ScanWriter = std::function<WriterOutcome(ScanJobContext& context, ScanJobState& job)>;

using WriterTable = std::map<std::string, ScanWriter>;

} // namespace folvex
