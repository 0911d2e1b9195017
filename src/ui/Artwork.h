#pragma once

#include <QIcon>
#include <QPixmap>

class QColor;
class QWidget;

namespace rivanet::ui {

// The program's pictures, drawn here rather than shipped, so that every pixel is the
// project's own.

// The main window's background: a dark relief map with contour lines, a drainage network,
// catchment boundaries, a lake and a pale legend card under the command buttons.
QPixmap BackgroundPicture();

// The program's emblem: three streams joining into one, on a deep blue tile.
QPixmap Emblem(int size);

// The window icon: the emblem at the usual icon sizes.
QIcon WindowIcon();

// A one-pixel line across `parent` at height `y`, as the About and Help windows draw their
// separators.
void AddSeparator(QWidget* parent, int y, const QColor& colour);

}  // namespace rivanet::ui
