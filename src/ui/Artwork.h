#pragma once

#include <QIcon>
#include <QPixmap>

namespace rivanet::ui {

// The program's pictures, drawn here rather than shipped, so that every pixel is the
// project's own.

// The main window's background: a dark relief map with contour lines, a drainage network,
// catchment boundaries and a lake, with a pale margin for the command buttons.
// catchment boundaries, a lake and a pale legend card under the command buttons.
QPixmap BackgroundPicture();

// The program's emblem: three streams joining into one, on a deep blue tile.
QPixmap Emblem(int size);

// The window icon: the emblem at the usual icon sizes.
QIcon WindowIcon();

}  // namespace rivanet::ui
