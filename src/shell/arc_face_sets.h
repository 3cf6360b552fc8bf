#pragma once
// The arc face sets the main window makes at start-up: colour name and button size of each, in the
// order their indexes are used. Qt-free, so the face-sheet tool and the benchmark draw the same sets.

#include <array>

namespace folvex {

struct ArcFaceSet
{
    const char* colour;
    int width;
    int height;
};

inline constexpr std::array<ArcFaceSet, 15> ShellArcFaceSets{{
    {"green", 200, 30},
    {"black", 200, 30},
    {"red", 150, 30},
    {"green", 150, 30},
    {"red", 100, 30},
    {"green", 100, 30},
    {"silver", 100, 20},
    {"yellow", 150, 20},
    {"purple", 100, 20},
    {"black", 100, 20},
    {"black", 100, 20},
    {"pink", 100, 20},
    {"orange", 100, 20},
    {"cyan", 100, 20},
    {"brown", 100, 20},
}};

} // namespace folvex
