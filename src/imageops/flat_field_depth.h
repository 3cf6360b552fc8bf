#pragma once
// Two page operations that work on the page as stored, without its pending turns and angle: the
// correction against a reference page (the job's last page, a white or a black sheet) and the change
// of colour depth. Both write only the page's working copy. Qt-free; GUI thread.

#include "foundation/freeimage_binding.h"
#include "imageops/page_op_context.h"

#include <cstdint>
#include <string>

namespace folvex {

inline constexpr const char* FlatFieldNoReference =
    "Referenzbild-Verbesserung: Es ist kein Referenzbild vorhanden. Dieses muss das letzte gescannte Bild "
    "sein und exakt dieselbe Größe wie das zu verbessernde Bild haben.\\nEs muss entweder eine vollständig "
    "weiße Seite oder eine vollständig schwarze Seite als Vorlage benutzt haben.";
inline constexpr const char* FlatFieldIsReference =
    "Referenzbild-Verbesserung: Das zu verbessernde Bild muss ein anderes als das Referenzbild sein (also "
    "nicht das letzte).";
inline constexpr const char* FlatFieldOtherSize =
    "Referenzbild-Verbesserung: Das zu verbessernde Bild und das Referenzbild (das letzte Bild) müssen "
    "dieselben Abmessungen haben.";
inline constexpr const char* FlatFieldTooFewBits =
    "Referenzbild-Verbesserung: Das zu verbessernde Bild muss mindestens eine Farbtiefe von 8 BPP haben "
    "(Graustufen).";
inline constexpr const char* FlatFieldOtherDepth =
    "Referenzbild-Verbesserung: Das zu verbessernde Bild und das Referenzbild (das letzte Bild) müssen "
    "dieselbe Farbtiefe haben.";

// Corrects page (1 .. PageCount() - 1) against the last page: against a white reference every byte is
// lightened by what the reference byte lacks of 255, against a black one darkened by the reference
// byte, where RefPicCutoff (-1: no limit) allows it. Refusals show their note unless silent; a marked
// page is passed over without one. Updates the wait window's text; the caller opens and closes it.
void FlatFieldCorrect(
    const FreeImageFunctionTable& functions, std::int32_t page, PageOpContext& ctx, bool silent);

// Converts page (1 or more: that page; 0 or less: every page, marked ones too) to black and white
// thresholded at 128 (mode 1), Floyd-Steinberg dithered (2), 8-bit grey (3) or 24-bit colour (4). A page
// that already has the target depth gets no working copy.
void ChangeBitDepth(
    const FreeImageFunctionTable& functions, std::int32_t page, PageOpContext& ctx, std::uint8_t mode);

} // namespace folvex
