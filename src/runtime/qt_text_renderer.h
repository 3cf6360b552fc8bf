#pragma once
// The text renderer on Qt: fonts by the program's names, metrics from QFontMetrics, coverage painted
// into a grey image. Needs a QGuiApplication (offscreen is enough). GUI thread.

#include "runtime/text_renderer.h"

namespace folvex {

class QtTextRenderer final : public TextRenderer
{
public:
    TextExtent measure(
        const std::string& text,
        const std::string& fontName,
        std::int32_t weight,
        std::int32_t pixelHeight) override;
    CoverageMask render(
        const std::string& text,
        const std::string& fontName,
        std::int32_t weight,
        std::int32_t pixelHeight) override;
};

} // namespace folvex
