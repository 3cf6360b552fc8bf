#pragma once
// The state of one scan job: created afresh by every call of ScanAndSave and handed to each of its
// steps (acquisition cycles, result step, writers), which read and write it. A plain record; GUI
// thread.

#include "runtime/handles.h"

#include <cstdint>

namespace folvex {

struct ScanJobState
{
    std::uint8_t existingPages = 0;   // 0: the job acquires; 1: it works on the temporary folder's pages
    std::uint8_t ok = 1;              // the job may go on
    std::uint8_t nextCycle = 0;       // another cycle follows (1 once the set-up is done)
    std::uint8_t backPass = 0;        // the current pass acquires (or the current block has) back sides
    std::uint8_t rescanPending = 0;   // the coming cycle was started by a re-scan answer
    std::uint8_t skipAcquisition = 0; // the coming cycle shows the pages of a failed pass, acquires none
    std::uint8_t feederOn = 0;        // the cycle's paper source is the sheet feeder
    std::uint8_t duplexMode = 0;      // 0 single-sided, 2 both sides by the scanner
    std::uint8_t discardBlank = 0;    // "leere Seiten entfernen", read in every cycle
    std::uint8_t emptyRemoved = 0;    // the page editor dropped the pages marked blank
    std::int32_t resolutionDpi = 0;
    std::int32_t pixelType = 0;          // 0 black and white, 1 grey, 2 colour
    std::int32_t acquireResult = 0;      // 0: the acquisition call failed
    std::int32_t acquireStatus = 0;      // an AcquireStatus, or any other value the library reported
    std::uint8_t writeRightsFailure = 0; // the acquisition reported done but left no file
    std::int32_t frontCount = 0;         // "tmpimg<i>.bmp" files found after a pass
    std::int32_t backCount = 0;          // "tmpimgr<i>.bmp" files found after a pass
    std::int32_t readyCount = 0;         // "TmpReadyImg<k>.bmp" files found by a job on existing pages
    std::uint8_t showResult = 0;         // the cycle goes on to the result step
    std::int32_t mergedPages = 0;        // page files after the last merge; the writers' page total
    std::uint8_t blockMerged = 0;        // the current block's scan files are page files already
    std::int32_t blankPagesLeftOut = 0;  // pages the last writer run left out as blank
    std::int32_t resultButton = 0;       // the button chosen in the result dialog
    Handle jobFont = NoHandle;           // Arial 9 points, loaded for the job and freed at its end
};

} // namespace folvex
