#pragma once
// A page editor context for the page-operation tests and benchmark: pages with marks, pending turns
// and angles, the point-field texts and settings a test sets, and a user interface that records the
// wait-window events and notes. No GoogleTest, so the benchmark can use it too.

#include "imageops/page_op_context.h"

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace folvex::testing {

class RecordingUi final : public EditorUi
{
public:
    void openWait(const std::string& text) override { waitEvents.push_back("open: " + text); }

    void setWaitText(const std::string& text) override { waitEvents.push_back("text: " + text); }

    void closeWait() override { waitEvents.push_back("close"); }

    void showNote(const std::string& text) override { notes.push_back(text); }

    bool escapeDown() override { return false; }

    void pauseMs(int) override {}

    // Every wait-window event as "open: ", "text: " or "close".
    std::vector<std::string> waitEvents;
    std::vector<std::string> notes;
};

struct FakePage
{
    std::string path;
    bool deleted = false;
    bool blank = false;
    std::uint8_t turns = 0;
    double angle = 0.0;
    std::string dpi{};       // the table's resolution text
    bool splitAfter = false; // the split toggle after this page is pressed
};

class FakePageContext final : public PageOpContext
{
public:
    std::int32_t PageCount() const override { return static_cast<std::int32_t>(pages.size()); }

    std::string pagePath(std::int32_t page) const override
    {
        return valid(page) ? at(page).path : std::string();
    }

    bool markedForDeletion(std::int32_t page) const override { return valid(page) && at(page).deleted; }

    bool markedBlank(std::int32_t page) const override { return valid(page) && at(page).blank; }

    std::uint8_t turns(std::int32_t page) const override { return valid(page) ? at(page).turns : 0; }

    double angle(std::int32_t page) const override { return valid(page) ? at(page).angle : 0.0; }

    std::string dpiText(std::int32_t page) const override
    {
        return valid(page) ? at(page).dpi : std::string();
    }

    void setDpiText(std::int32_t page, const std::string& text) override
    {
        if (valid(page)) {
            pages[static_cast<std::size_t>(page - 1)].dpi = text;
        }
    }

    std::string whitePointText(PointChannel channel) const override
    {
        return whitePoint[static_cast<int>(channel)];
    }

    std::string blackPointText(PointChannel channel) const override
    {
        return blackPoint[static_cast<int>(channel)];
    }

    const std::string& destinationType() const override { return destination; }

    bool splitToggleExists(std::int32_t page) const override { return valid(page) && page < PageCount(); }

    bool splitTogglePressed(std::int32_t page) const override { return valid(page) && at(page).splitAfter; }

    std::int32_t DelEmptyOnEdit() const override { return delEmptyOnEdit; }

    std::int32_t RefPicX() const override { return refPicX; }

    std::int32_t RefPicY() const override { return refPicY; }

    std::int32_t RefPicCutoff() const override { return refPicCutoff; }

    EditorUi& ui() override { return recordingUi; }

    TextRenderer* textRenderer() override { return renderer; }

    std::vector<FakePage> pages;
    std::array<std::string, 3> whitePoint{"170", "170", "170"};
    std::array<std::string, 3> blackPoint{"70", "70", "70"};
    std::string destination = "PDF";
    std::int32_t refPicX = 0;
    std::int32_t refPicY = 0;
    std::int32_t refPicCutoff = -1;
    std::int32_t delEmptyOnEdit = 0;
    TextRenderer* renderer = nullptr;
    RecordingUi recordingUi;

private:
    bool valid(std::int32_t page) const { return page >= 1 && page <= PageCount(); }

    const FakePage& at(std::int32_t page) const { return pages[static_cast<std::size_t>(page - 1)]; }
};

} // namespace folvex::testing
