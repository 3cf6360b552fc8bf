// Rendering the program's fifteen arc sets (six faces each) as at start-up; the figure that counts is
// the time per face pixel ("ns_per_pixel"), which should stay at 50 ns or below.

#include "components/button_faces.h"
#include "shell/arc_face_sets.h"

#include <array>
#include <benchmark/benchmark.h>

namespace folvex {
namespace {

// Keeps a copy of every pattern, as a brush made from it would.
class CopyingFaceObjects final : public FaceObjects
{
public:
    Handle createPatternBrush(const DibBitmap& pattern) override
    {
        kept = pattern;
        return allocateHandle();
    }

    Handle createNullPen() override { return allocateHandle(); }

    void deleteObject(Handle) override {}

    DibBitmap kept;
};

void BM_ProgramArcSets(benchmark::State& state)
{
    CopyingFaceObjects objects;
    std::int64_t facePixels = 0;
    for (const ArcFaceSet& set : ShellArcFaceSets) {
        facePixels += 6 * set.width * set.height;
    }
    for (auto _ : state) {
        buttonFaces() = ButtonFaces{};
        buttonFaces().objects = &objects;
        for (const ArcFaceSet& set : ShellArcFaceSets) {
            benchmark::DoNotOptimize(ODBCreateArcODBBrushes(set.width, set.height, set.colour, 0.02f));
        }
    }
    buttonFaces() = ButtonFaces{};
    state.SetItemsProcessed(state.iterations() * facePixels);
    state.counters["ns_per_pixel"] = benchmark::Counter(
        static_cast<double>(facePixels) * 1e-9,
        benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

BENCHMARK(BM_ProgramArcSets)->Unit(benchmark::kMillisecond);

// One focused face of the largest size, the dearest kind (every pixel takes the highlight).
void BM_FocusedFace200x30(benchmark::State& state)
{
    for (auto _ : state) {
        const Handle image = RenderArcODBImage(200, 30, {220, 0, 0}, {220, 0, 0}, 0.02f, 60, 1, 1);
        freeImage(image);
    }
    state.SetItemsProcessed(state.iterations() * 200 * 30);
    state.counters["ns_per_pixel"] = benchmark::Counter(
        200.0 * 30.0 * 1e-9, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

BENCHMARK(BM_FocusedFace200x30)->Unit(benchmark::kMicrosecond);

} // namespace
} // namespace folvex

BENCHMARK_MAIN();
