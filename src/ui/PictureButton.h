#pragma once

#include <QPixmap>
#include <QString>
#include <QWidget>

namespace rivanet::ui {

// A see-through caption button: a box filled with the part of its window's picture that lies
// behind it, with its caption printed over that. Its Tag is "<caption>,<alignment code>".
// It reports press and release of any mouse button; what they do is the window's business.
class PictureButton : public QWidget {
  Q_OBJECT

 public:
  PictureButton(const QString& tag, const QRect& geometry, QWidget* window);

  // Fills the box from `windowPicture` at the box's own position and prints the caption: the
  // button's face from now on, also while it is moved.
  void MakeButton(const QPixmap& windowPicture);
  // The pressed look: 24 x 12 twips right and down from where the box stands.
  void Press();
  // Back to where the box stood before the press.
  void Release();

  const QString& Tag() const { return m_tag; }

 signals:
  void mouseDown();
  void mouseUp();

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;

 private:
  QString m_tag;
  QPixmap m_face;
  QPoint m_saved;
  bool m_pressed = false;  // moved by Press, not yet put back
  bool m_held = false;     // a mouse button went down on this box and is not yet released
};

}  // namespace rivanet::ui
