#pragma once

#include <QLabel>
#include <QMouseEvent>
#include <functional>
#include <utility>

namespace rivanet::ui {

// A label, or a picture in a label, that does something when clicked.
class ClickableLabel : public QLabel {
 public:
  explicit ClickableLabel(QWidget* parent, std::function<void()> onClick = {})
      : QLabel(parent), m_onClick(std::move(onClick)) {}
  void OnClick(std::function<void()> onClick) { m_onClick = std::move(onClick); }

 protected:
  // Taking the press makes the label the receiver of the release that completes the click.
  void mousePressEvent(QMouseEvent* event) override { event->accept(); }
  void mouseReleaseEvent(QMouseEvent* event) override {
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()) &&
        m_onClick)
      m_onClick();
  }

 private:
  std::function<void()> m_onClick;
};

}  // namespace rivanet::ui
