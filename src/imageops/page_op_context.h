#pragma once
// What the page operations see of the page editor: the context they get for a page (its file, marks,
// pending turns and angle, the point fields, the destination type, the split toggles and the settings
// read at use) and the editor's user interface (wait window, notes, the Esc test). The page editor's
// model implements the context, its window the user interface. GUI thread.

#include "runtime/text_renderer.h"

#include <cstdint>
#include <string>

namespace folvex {

// The editor window's side of long page work.
class EditorUi
{
public:
    virtual ~EditorUi() = default;

    // The wait window: opened with a text, its text changed, closed again.
    virtual void openWait(const std::string& text) = 0;
    virtual void setWaitText(const std::string& text) = 0;
    virtual void closeWait() = 0;

    // A note with OK only; "\n" breaks the line.
    virtual void showNote(const std::string& text) = 0;

    // True while Esc is held down without modifiers.
    virtual bool escapeDown() = 0;

    // Lets the window process its events for about ms milliseconds.
    virtual void pauseMs(int ms) = 0;
};

// The three point fields of one kind, in the order red, green, blue.
enum class PointChannel
{
    Red = 0,
    Green = 1,
    Blue = 2,
};

// The destination types that split their output and so show split toggles.
inline bool destinationTypeSplits(const std::string& destinationType)
{
    return destinationType == "PDF" || destinationType == "PDF+OCR" || destinationType == "mehrseitiges TIF";
}

// Pages are numbered 1 .. PageCount(); a number outside that range reads as an empty page entry
// (no path, no marks, no turns, angle 0.0).
class PageOpContext
{
public:
    virtual ~PageOpContext() = default;

    virtual std::int32_t PageCount() const = 0;
    // The page file's full path.
    virtual std::string pagePath(std::int32_t page) const = 0;
    virtual bool markedForDeletion(std::int32_t page) const = 0;
    virtual bool markedBlank(std::int32_t page) const = 0;
    // Pending clockwise quarter turns, 0 to 3.
    virtual std::uint8_t turns(std::int32_t page) const = 0;
    // Pending free angle in degrees, counter-clockwise positive.
    virtual double angle(std::int32_t page) const = 0;
    // The page's resolution as last read, as decimal text; empty when not known yet.
    virtual std::string dpiText(std::int32_t page) const = 0;
    virtual void setDpiText(std::int32_t page, const std::string& text) = 0;
    // The texts of the white-point and black-point fields as typed.
    virtual std::string whitePointText(PointChannel channel) const = 0;
    virtual std::string blackPointText(PointChannel channel) const = 0;
    // The destination type chosen when the editor opened.
    virtual const std::string& destinationType() const = 0;
    // The split toggle after page p (1 .. PageCount() − 1).
    virtual bool splitToggleExists(std::int32_t page) const = 0;
    virtual bool splitTogglePressed(std::int32_t page) const = 0;
    // Settings, read when used, since the options dialog can change them while the editor is open.
    virtual std::int32_t DelEmptyOnEdit() const = 0;
    virtual std::int32_t RefPicX() const = 0;
    virtual std::int32_t RefPicY() const = 0;
    virtual std::int32_t RefPicCutoff() const = 0;
    virtual EditorUi& ui() = 0;
    // What draws text into pages (the page numbers); null when the editor has none.
    virtual TextRenderer* textRenderer() = 0;
};

} // namespace folvex
