#pragma once
// Stand-in for the runtime's handle registry, draw objects and event posting while the runtime's
// window part is not yet on this branch. Same names and signatures as the runtime's.

#include "runtime/handles.h"

#include <QBrush>
#include <QColor>
#include <QFont>
#include <QImage>
#include <QObject>
#include <QPen>
#include <QWidget>

#include <cstdint>
#include <string>

namespace folvex {

enum class ObjectKind
{
    None = 0,
    Window = 1,
    Control = 2,
    Menu = 3,
    Font = 4,
    Brush = 5,
    Pen = 6,
    Image = 7,
};

Handle registerObject(QObject* object, ObjectKind kind, std::uint32_t style = 0);
QObject* findObject(Handle handle);
QWidget* findWidget(Handle handle);
Handle handleOf(const QObject* object);
void releaseHandle(Handle handle);

Handle createFont(const std::string& name, double points, std::uint32_t flags = 0);
QColor colourFromRgbValue(std::uint32_t bgr);
Handle createSolidBrush(std::uint32_t bgr);
Handle createPen(int widthPx, std::uint32_t bgr);
Handle createNullPen();
Handle createPatternBrush(const QImage& pattern);
const QFont* findFont(Handle handle);
const QBrush* findBrush(Handle handle);
const QPen* findPen(Handle handle);
bool deleteDrawObject(Handle handle);

void postControlEvent(Handle window, Handle control, int type = 0);
int queuedWindowEvents();
int WindowEvent();
Handle EventControl();

} // namespace folvex
