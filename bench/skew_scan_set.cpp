#include "skew_scan_set.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <numbers>
#include <random>

namespace folvex::bench {

namespace {

// A page as reflectance, 0 ink to 255 paper, rows from the top.
struct Sheet
{
    int width = 0;
    int height = 0;
    double dpi = 0.0;
    std::vector<float> levels;

    float& at(int x, int y) { return levels[static_cast<std::size_t>(y) * width + x]; }

    float at(int x, int y) const { return levels[static_cast<std::size_t>(y) * width + x]; }

    int px(double mm) const { return static_cast<int>(std::lround(mm * dpi / 25.4)); }
};

enum class Edge
{
    None,
    LidStrip,   // a solid grey strip along the border of the scan
    LidShadow,  // dark at the border, brightening towards the paper
    FoldStrip,  // a strip on the page itself, turned with it
    FoldShadow, // a shadow on the page itself, turned with it
};

enum class Form
{
    Grey,
    Colour,
    OneBit,
};

struct Recipe
{
    std::string document; // brief, buch, kurz, or empty for a blank page
    int dpi = 300;
    double angleDeg = 0.0;
    Form form = Form::Grey;
    bool tinted = false;
    Edge edge = Edge::None;
    unsigned seed = 1;
};

Sheet loadSheet(const FreeImageFunctionTable& fi, const std::string& file, int dpi)
{
    Sheet sheet;
    const FreeImageBitmap image = ownFreeImage(fi, fi.LoadU(FIF_PGMRAW, file, 0));
    if (image == nullptr || fi.GetBPP(image.get()) != 8) {
        return sheet;
    }
    sheet.width = static_cast<int>(fi.GetWidth(image.get()));
    sheet.height = static_cast<int>(fi.GetHeight(image.get()));
    sheet.dpi = dpi;
    sheet.levels.resize(static_cast<std::size_t>(sheet.width) * sheet.height);
    for (int y = 0; y < sheet.height; ++y) {
        const BYTE* row = fi.GetScanLine(image.get(), sheet.height - 1 - y);
        for (int x = 0; x < sheet.width; ++x) {
            sheet.at(x, y) = row[x];
        }
    }
    return sheet;
}

// The sheet turned counter-clockwise by angleDeg about its centre (bilinear), paper where nothing
// was.
Sheet turned(const Sheet& sheet, double angleDeg)
{
    Sheet out = sheet;
    if (angleDeg == 0.0) {
        return out;
    }
    const double radians = angleDeg * std::numbers::pi / 180.0;
    const double c = std::cos(radians);
    const double s = std::sin(radians);
    const double cx = (sheet.width - 1) / 2.0;
    const double cy = (sheet.height - 1) / 2.0;
    for (int y = 0; y < sheet.height; ++y) {
        for (int x = 0; x < sheet.width; ++x) {
            const double dx = x - cx;
            const double dy = y - cy;
            const double sx = cx + dx * c - dy * s;
            const double sy = cy + dx * s + dy * c;
            const int x0 = static_cast<int>(std::floor(sx));
            const int y0 = static_cast<int>(std::floor(sy));
            const double fx = sx - x0;
            const double fy = sy - y0;
            auto sample = [&](int xi, int yi) -> double {
                return xi < 0 || yi < 0 || xi >= sheet.width || yi >= sheet.height ? 255.0 : sheet.at(xi, yi);
            };
            out.at(x, y) = static_cast<float>(
                (1 - fy) * ((1 - fx) * sample(x0, y0) + fx * sample(x0 + 1, y0)) +
                fy * ((1 - fx) * sample(x0, y0 + 1) + fx * sample(x0 + 1, y0 + 1)));
        }
    }
    return out;
}

// Darkens the sheet's left edge: a strip stripMm wide at grey 40, or a shadow shadowMm wide from grey
// 25 at the border to paper.
void darkenLeftEdge(Sheet& sheet, double stripMm, double shadowMm)
{
    const int strip = sheet.px(stripMm);
    const int shadow = sheet.px(shadowMm);
    for (int y = 0; y < sheet.height; ++y) {
        for (int x = 0; x < std::max(strip, shadow) && x < sheet.width; ++x) {
            float& level = sheet.at(x, y);
            if (x < strip) {
                level = std::min(level, 40.0f);
            }
            if (x < shadow) {
                // Brightening faster at first, as a shadow does.
                const double t = static_cast<double>(x) / shadow;
                level = static_cast<float>(level * (0.1 + 0.9 * std::sqrt(t)));
            }
        }
    }
}

void applyEdge(Sheet& sheet, Edge edge, bool beforeTurning)
{
    const bool onPage = edge == Edge::FoldStrip || edge == Edge::FoldShadow;
    if (edge == Edge::None || onPage != beforeTurning) {
        return;
    }
    if (edge == Edge::LidStrip || edge == Edge::FoldStrip) {
        darkenLeftEdge(sheet, edge == Edge::LidStrip ? 6.0 : 4.0, 0.0);
    } else {
        darkenLeftEdge(sheet, 0.0, edge == Edge::LidShadow ? 12.0 : 15.0);
    }
}

FreeImageBitmap finishedPage(const FreeImageFunctionTable& fi, const Sheet& sheet, const Recipe& recipe)
{
    std::mt19937 random(recipe.seed);
    std::normal_distribution<float> noise(0.0f, 6.0f);
    // Paper and ink: white or a yellowish tint; ink a blue-black.
    const float paper[3] = {
        recipe.tinted ? 238.0f : 250.0f, recipe.tinted ? 228.0f : 250.0f, recipe.tinted ? 196.0f : 248.0f};
    const float ink[3] = {22.0f, 24.0f, 40.0f};
    Sheet dusty = sheet;
    // Dust: dark specks of one to three pixels at 300 dpi.
    const int specks = static_cast<int>(120 * (sheet.dpi / 300.0) * (sheet.dpi / 300.0));
    std::uniform_int_distribution<int> atX(0, sheet.width - 4);
    std::uniform_int_distribution<int> atY(0, sheet.height - 4);
    std::uniform_int_distribution<int> size(1, std::max(1, static_cast<int>(3 * sheet.dpi / 300.0)));
    for (int i = 0; i < specks; ++i) {
        const int x = atX(random);
        const int y = atY(random);
        const int d = size(random);
        for (int v = 0; v < d; ++v) {
            for (int u = 0; u < d; ++u) {
                dusty.at(x + u, y + v) = std::min(dusty.at(x + u, y + v), 60.0f);
            }
        }
    }
    const bool colour = recipe.form == Form::Colour;
    FreeImageBitmap page = ownFreeImage(fi, fi.Allocate(sheet.width, sheet.height, colour ? 24 : 8, 0, 0, 0));
    for (int y = 0; y < sheet.height; ++y) {
        BYTE* row = fi.GetScanLine(page.get(), sheet.height - 1 - y);
        for (int x = 0; x < sheet.width; ++x) {
            const float t = dusty.at(x, y) / 255.0f;
            float channel[3];
            const float grain = noise(random);
            for (int k = 0; k < 3; ++k) {
                channel[k] = std::clamp(ink[k] + (paper[k] - ink[k]) * t + grain, 0.0f, 255.0f);
            }
            if (colour) {
                row[3 * x + FI_RGBA_RED] = static_cast<BYTE>(channel[0]);
                row[3 * x + FI_RGBA_GREEN] = static_cast<BYTE>(channel[1]);
                row[3 * x + FI_RGBA_BLUE] = static_cast<BYTE>(channel[2]);
            } else {
                row[x] =
                    static_cast<BYTE>(0.2126f * channel[0] + 0.7152f * channel[1] + 0.0722f * channel[2]);
            }
        }
    }
    const auto dotsPerMetre = static_cast<unsigned>(std::lround(sheet.dpi * 39.3701));
    fi.SetDotsPerMeterX(page.get(), dotsPerMetre);
    fi.SetDotsPerMeterY(page.get(), dotsPerMetre);
    if (recipe.form == Form::OneBit) {
        FreeImageBitmap bits = ownFreeImage(fi, fi.Threshold(page.get(), 128));
        fi.SetDotsPerMeterX(bits.get(), dotsPerMetre);
        fi.SetDotsPerMeterY(bits.get(), dotsPerMetre);
        return bits;
    }
    return page;
}

const char* formName(Form form)
{
    return form == Form::Grey ? "grey" : form == Form::Colour ? "colour" : "1-bit";
}

const char* edgeName(Edge edge)
{
    switch (edge) {
        case Edge::LidStrip:
            return ", lid strip";
        case Edge::LidShadow:
            return ", lid shadow";
        case Edge::FoldStrip:
            return ", fold strip";
        case Edge::FoldShadow:
            return ", fold shadow";
        default:
            return "";
    }
}

} // namespace

std::vector<ScanPage> makeScanSet(const FreeImageFunctionTable& fi, const std::string& folder)
{
    std::vector<Recipe> recipes;
    const double angles[] = {-6.0, -4.3, -2.5, -1.2, -0.7, -0.2, 0.0, 0.2, 0.7, 1.6, 3.4, 4.7, 6.0};
    const int dpis[] = {150, 200, 300};
    const Form forms[] = {Form::Grey, Form::Colour, Form::OneBit};
    const Edge edges[] = {Edge::LidStrip, Edge::LidShadow, Edge::FoldStrip, Edge::FoldShadow};
    unsigned seed = 1;
    for (int i = 0; i < 13; ++i) {
        for (int d = 0; d < 3; ++d) {
            recipes.push_back(
                {(i + d) % 2 == 0 ? "brief" : "buch",
                 dpis[d],
                 angles[i],
                 forms[(i + d) % 3],
                 (3 * i + d) % 4 == 0,
                 Edge::None,
                 seed++});
        }
    }
    // Each page with an edge comes with its twin without, made first.
    const std::size_t firstEdge = recipes.size();
    const double edgeAngles[] = {
        -5.6, -3.1, -1.7, -0.7, -0.2, 0.0, 0.2, 0.5, 0.7, 1.3, 2.2, 3.9, 5.1, -4.4, 2.9, -1.0};
    for (int i = 0; i < 16; ++i) {
        const Recipe twin{
            i % 2 == 0 ? "buch" : "brief",
            dpis[i % 3],
            edgeAngles[i],
            forms[(i + 1) % 3],
            i % 5 == 2,
            Edge::None,
            seed++};
        recipes.push_back(twin);
        Recipe withEdge = twin;
        withEdge.edge = edges[i % 4];
        recipes.push_back(withEdge);
    }
    recipes.push_back({"kurz", 150, 1.1, Form::Grey, false, Edge::None, seed++});
    recipes.push_back({"kurz", 200, -2.8, Form::Colour, true, Edge::None, seed++});
    recipes.push_back({"kurz", 300, 0.4, Form::OneBit, false, Edge::None, seed++});
    recipes.push_back({"", 150, 0.0, Form::Grey, false, Edge::None, seed++});
    recipes.push_back({"", 300, 0.0, Form::Colour, true, Edge::None, seed++});
    recipes.push_back({"", 200, 0.0, Form::OneBit, false, Edge::LidShadow, seed++});

    std::vector<ScanPage> pages;
    std::string loadedFile;
    Sheet source;
    for (std::size_t r = 0; r < recipes.size(); ++r) {
        const Recipe& recipe = recipes[r];
        const std::string document = recipe.document.empty() ? "kurz" : recipe.document;
        const std::string file = folder + "/" + document + "-" + std::to_string(recipe.dpi) + ".pgm";
        if (file != loadedFile) {
            source = loadSheet(fi, file, recipe.dpi);
            loadedFile = file;
            if (source.levels.empty()) {
                std::fprintf(stderr, "Die Textseite %s fehlt (bench/skew_text_pages.sh).\n", file.c_str());
                return {};
            }
        }
        Sheet sheet = source;
        if (recipe.document.empty()) {
            std::fill(sheet.levels.begin(), sheet.levels.end(), 255.0f);
        }
        applyEdge(sheet, recipe.edge, true);
        sheet = turned(sheet, recipe.angleDeg);
        applyEdge(sheet, recipe.edge, false);

        ScanPage page;
        char label[96];
        std::snprintf(
            label,
            sizeof label,
            "%s %d %s%s%s",
            recipe.document.empty() ? "blank" : recipe.document.c_str(),
            recipe.dpi,
            formName(recipe.form),
            recipe.tinted ? ", tinted" : "",
            edgeName(recipe.edge));
        page.label = label;
        page.angleDeg = recipe.angleDeg;
        page.blank = recipe.document.empty();
        page.edge = recipe.edge != Edge::None;
        page.twin = page.edge && r >= firstEdge && !page.blank ? static_cast<int>(pages.size()) - 1 : -1;
        page.page = finishedPage(fi, sheet, recipe);
        page.colour = ownFreeImage(fi, fi.ConvertTo24Bits(page.page.get()));
        pages.push_back(std::move(page));
    }
    return pages;
}

} // namespace folvex::bench
