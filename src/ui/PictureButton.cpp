#include "ui/PictureButton.h"

#include <QFontMetricsF>
#include <QMouseEvent>
#include <QPainter>

#include "ui/ButtonCaption.h"

namespace rivanet::ui {

PictureButton::PictureButton(const QString& tag, const QRect& geometry, QWidget* window)
    : QWidget(window), m_tag(tag) {
  setGeometry(geometry);
  QFont font;
  // Times New Roman where the desktop has it, else a serif of the same widths, else a
  // narrow one, so that the captions fit their boxes.
  font.setFamilies(
      {"Times New Roman", "Liberation Serif", "Tinos", "Nimbus Roman", "DejaVu Serif Condensed"});
  font.setStyleHint(QFont::Serif);
  font.setPointSizeF(14.25);
  font.setBold(true);
  font.setItalic(true);
  setFont(font);
  QPalette colours = palette();
  colours.setColor(QPalette::WindowText, QColor(255, 0, 0));
  setPalette(colours);
}

void PictureButton::MakeButton(const QPixmap& windowPicture) {
  m_face = QPixmap(size());
  m_face.fill(palette().color(QPalette::Window));
  QPainter p(&m_face);
  // The picture's own size, unscaled, from the box's place in the window: the box blends in.
  p.drawPixmap(QPoint(0, 0), windowPicture, QRect(pos(), size()));

  const ButtonTag tag = SplitTag(m_tag.toStdString());
  const QString caption = QString::fromStdString(tag.caption);
  // A wider substitute font than the captions were made for gets smaller rather than cut.
  QFont fitted = font();
  while (QFontMetricsF(fitted).horizontalAdvance(caption) > width() && fitted.pointSizeF() > 8)
    fitted.setPointSizeF(fitted.pointSizeF() - 0.25);
  setFont(fitted);
  const QFontMetricsF metrics(font());
  const CaptionOrigin at = PlaceCaption(width(), height(), metrics.horizontalAdvance(caption),
                                        metrics.height(), tag.code);
  p.setRenderHint(QPainter::TextAntialiasing, true);
  p.setFont(font());
  p.setPen(palette().color(QPalette::WindowText));
  p.drawText(QPointF(at.x, at.y + metrics.ascent()), caption);
  update();
}

void PictureButton::Press() {
  if (m_pressed) return;
  m_pressed = true;
  m_saved = pos();
  move(m_saved + QPoint(TwipsToPixels(kPressShiftXTwips), TwipsToPixels(kPressShiftYTwips)));
}

void PictureButton::Release() {
  if (!m_pressed) return;
  m_pressed = false;
  move(m_saved);
}

void PictureButton::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.drawPixmap(0, 0, m_face);
}

void PictureButton::mousePressEvent(QMouseEvent* event) {
  event->accept();
  // A second button pressed while one is held belongs to the same click.
  if (m_held) return;
  m_held = true;
  emit mouseDown();
}

void PictureButton::mouseReleaseEvent(QMouseEvent* event) {
  event->accept();
  if (!m_held || event->buttons() != Qt::NoButton) return;
  m_held = false;
  emit mouseUp();
}

void PictureButton::mouseDoubleClickEvent(QMouseEvent* event) {
  // The second press of a double click is a press like any other.
  mousePressEvent(event);
}

}  // namespace rivanet::ui
