#pragma once
// The resize system on real windows: the window system over the runtime's window handles, the event
// filters that stand for the subclasses, the two splitter-bar classes and the fonts it scales.
// GUI thread only.

#include "components/size_change_system.h"

#include <QFont>
#include <QPushButton>

#include <memory>
#include <string>

namespace folvex {

// The window system of the program: geometry, pointer and repaint through the foundation's window
// routines, fonts as runtime font handles, subclasses as event filters that hand resizes and
// left-button mouse messages on.
class SCSQtWindowSystem final : public SCSWindowSystem
{
public:
    SCSQtWindowSystem();
    ~SCSQtWindowSystem() override;
    SCSQtWindowSystem(const SCSQtWindowSystem&) = delete;
    SCSQtWindowSystem& operator=(const SCSQtWindowSystem&) = delete;

    int windowLeft(Handle window) override;
    int windowTop(Handle window) override;
    int windowRight(Handle window) override;
    int windowBottom(Handle window) override;
    int clientWidth(Handle window) override;
    int clientHeight(Handle window) override;
    bool hasSizingFrame(Handle window) override;
    int frameWidth() override;
    int dialogFrameWidth() override;
    int desktopMouseX() override;
    int desktopMouseY() override;
    void moveControl(Handle control, int x, int y, int width, int height) override;
    void redraw(Handle window) override;
    void
    installSubclass(Handle window, SCSSubclassCall call, std::uintptr_t id, std::intptr_t refData) override;
    void removeSubclass(Handle window, std::uintptr_t id) override;
    std::intptr_t defaultSubclassProc(
        Handle window, std::uint32_t msg, std::uintptr_t wParam, std::intptr_t lParam) override;
    SCSFontMeasure measureFont(Handle control) override;
    Handle createFont(
        int height, int width, int weight, bool italic, bool underline, const std::string& faceName) override;
    void deleteFont(Handle font) override;
    void setControlFont(Handle control, Handle font) override;
    void registerSplitterClasses() override;
    void unregisterSplitterClasses() override;

    // Creates a splitter bar of class "SCS_HSPLITTER" or "SCS_VSPLITTER" in the parent's client area
    // and gives it a handle; 0 while the classes are not available or for any other class name.
    Handle
    createSplitterControl(const std::string& className, Handle parent, int x, int y, int width, int height);

private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
};

// A splitter bar: a push button whose cursor shows the direction it can be dragged in.
class SCSSplitterBar final : public QPushButton
{
    Q_OBJECT

public:
    // className is "SCS_HSPLITTER" (dragged up and down) or "SCS_VSPLITTER" (left and right).
    SCSSplitterBar(const std::string& className, QWidget* parent);
};

// The font the component makes for a requested character height and average width in pixels: the
// largest pixel size whose height fits, stretched to the width, antialiased. Width 0 keeps the
// natural width.
QFont makeScaledFont(int height, int width, int weight, bool italic, bool underline, const QString& family);

} // namespace folvex
