#include "ui/Artwork.h"

#include <QPalette>
#include <QWidget>

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>
#include <cmath>

namespace rivanet::ui {
namespace {

constexpr int kWidth = 640;
constexpr int kHeight = 480;
constexpr double kPi = 3.14159265358979323846;

const QColor kDeepWater(17, 42, 61);
const QColor kLowland(29, 74, 84);
const QColor kContour(120, 170, 150, 70);
const QColor kStream(128, 210, 240);
const QColor kBoundary(220, 230, 200, 90);
const QColor kMargin(246, 241, 224, 238);
const QColor kInk(70, 60, 45);

// A closed, gently irregular ring around `centre`: one contour line of a hill.
QPainterPath ContourRing(QPointF centre, double radius, double phase) {
  QPainterPath ring;
  constexpr int kPoints = 120;
  for (int i = 0; i <= kPoints; ++i) {
    const double a = 2 * kPi * i / kPoints;
    const double r = radius * (1 + 0.13 * std::sin(3 * a + phase) + 0.07 * std::cos(5 * a - phase));
    const QPointF p(centre.x() + r * std::cos(a) * 1.25, centre.y() + r * std::sin(a));
    if (i == 0)
      ring.moveTo(p);
    else
      ring.lineTo(p);
  }
  return ring;
}

void DrawRelief(QPainter& p) {
  QLinearGradient sky(0, 0, kWidth, kHeight);
  sky.setColorAt(0, kDeepWater);
  sky.setColorAt(1, kLowland);
  p.fillRect(0, 0, kWidth, kHeight, sky);

  // Two hills, their contour lines closer together where the slope is steeper.
  p.setPen(QPen(kContour, 1));
  p.setBrush(Qt::NoBrush);
  for (int i = 1; i <= 11; ++i)
    p.drawPath(ContourRing({470, 150}, 14.0 * i + i * i * 0.8, i * 0.35));
  for (int i = 1; i <= 8; ++i) p.drawPath(ContourRing({250, 390}, 12.0 * i + i * i, 1 + i * 0.3));

  // The cells of a raster grid, faint, as the grids of a workspace lie under the features.
  p.setPen(QPen(QColor(255, 255, 255, 14), 1));
  for (int x = 140; x < kWidth; x += 20) p.drawLine(x, 0, x, kHeight);
  for (int y = 0; y < kHeight; y += 20) p.drawLine(140, y, kWidth, y);
}

void DrawCatchments(QPainter& p) {
  QPen pen(kBoundary, 1.4, Qt::DashLine);
  p.setPen(pen);
  QPainterPath divide;
  divide.moveTo(150, 250);
  divide.cubicTo(260, 210, 300, 120, 360, 60);
  divide.cubicTo(400, 20, 460, 10, 520, 0);
  p.drawPath(divide);
  QPainterPath second;
  second.moveTo(639, 260);
  second.cubicTo(560, 280, 520, 360, 560, 480);
  p.drawPath(second);
}

// One stream from `from` to `to`, bending through two control points, widening downstream.
void DrawStream(QPainter& p, QPointF from, QPointF c1, QPointF c2, QPointF to, double w0,
                double w1) {
  constexpr int kSteps = 40;
  QPointF last = from;
  for (int i = 1; i <= kSteps; ++i) {
    const double t = static_cast<double>(i) / kSteps;
    const double u = 1 - t;
    const QPointF pt = u * u * u * from + 3 * u * u * t * c1 + 3 * u * t * t * c2 + t * t * t * to;
    p.setPen(QPen(kStream, w0 + (w1 - w0) * t, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(last, pt);
    last = pt;
  }
}

void DrawDrainage(QPainter& p) {
  p.setRenderHint(QPainter::Antialiasing, true);
  // A lake on the main stem.
  QRadialGradient lake(QPointF(455, 300), 42);
  lake.setColorAt(0, QColor(150, 220, 245, 230));
  lake.setColorAt(1, QColor(90, 170, 210, 230));
  p.setPen(QPen(kStream, 1.5));
  p.setBrush(lake);
  p.drawPath(ContourRing({455, 300}, 26, 2.2));
  p.setBrush(Qt::NoBrush);

  // The main stem from the hills to the lower edge, and its tributaries.
  DrawStream(p, {612, 24}, {560, 110}, {520, 210}, {470, 285}, 1.2, 3.0);
  DrawStream(p, {440, 318}, {400, 360}, {360, 400}, {330, 480}, 3.4, 6.0);
  DrawStream(p, {360, 70}, {420, 140}, {400, 230}, {445, 282}, 0.8, 2.4);
  DrawStream(p, {639, 200}, {590, 240}, {540, 300}, {482, 305}, 0.8, 2.2);
  DrawStream(p, {210, 300}, {260, 330}, {300, 380}, {352, 410}, 0.6, 2.2);
  DrawStream(p, {560, 420}, {480, 410}, {420, 440}, {340, 450}, 0.6, 2.0);
  DrawStream(p, {300, 150}, {330, 190}, {350, 170}, {392, 180}, 0.5, 1.2);
  DrawStream(p, {520, 90}, {540, 120}, {530, 150}, {548, 170}, 0.5, 1.1);
  DrawStream(p, {620, 360}, {600, 380}, {580, 400}, {548, 418}, 0.5, 1.2);
}

// A pale margin down the left edge, like the margin of a printed map: the command buttons
// stand on it, and it carries a north arrow and a scale bar.
void DrawMargin(QPainter& p) {
  QLinearGradient wash(0, 0, 180, 0);
  wash.setColorAt(0, kMargin);
  wash.setColorAt(128.0 / 180, kMargin);
  QColor clear = kMargin;
  clear.setAlpha(0);
  wash.setColorAt(1, clear);
  p.fillRect(0, 0, 180, kHeight, wash);

  p.setRenderHint(QPainter::Antialiasing, true);
  // North arrow.
  const QPointF tip(64, 246);
  QPolygonF left, right;
  left << tip << QPointF(52, 292) << QPointF(64, 282);
  right << tip << QPointF(76, 292) << QPointF(64, 282);
  p.setPen(QPen(kInk, 1));
  p.setBrush(kInk);
  p.drawPolygon(left);
  p.setBrush(kMargin);
  p.drawPolygon(right);
  QFont letter("serif");
  letter.setStyleHint(QFont::Serif);
  letter.setPixelSize(16);
  letter.setBold(true);
  p.setFont(letter);
  p.drawText(QRectF(44, 222, 40, 22), Qt::AlignCenter, "N");

  // Scale bar: four alternating segments.
  for (int i = 0; i < 4; ++i) {
    p.setBrush(i % 2 == 0 ? kInk : kMargin);
    p.drawRect(QRectF(20 + i * 22, 330, 22, 6));
  }
  QFont small("sans-serif");
  small.setStyleHint(QFont::SansSerif);
  small.setPixelSize(10);
  p.setFont(small);
  p.drawText(QRectF(10, 340, 44, 14), Qt::AlignCenter, "0");
  p.drawText(QRectF(86, 340, 44, 14), Qt::AlignCenter, "3 km");
}

void DrawTitle(QPainter& p) {
  QFont title("serif");
  title.setStyleHint(QFont::Serif);
  title.setPixelSize(34);
  title.setItalic(true);
  title.setBold(true);
  p.setFont(title);
  p.setPen(QColor(0, 0, 0, 110));
  p.drawText(QRectF(0, 392, 622, 44), Qt::AlignRight | Qt::AlignVCenter, "RivanetAppend");
  p.setPen(QColor(236, 244, 236));
  p.drawText(QRectF(0, 390, 620, 44), Qt::AlignRight | Qt::AlignVCenter, "RivanetAppend");
  QFont sub("sans-serif");
  sub.setStyleHint(QFont::SansSerif);
  sub.setPixelSize(13);
  p.setFont(sub);
  p.setPen(QColor(200, 225, 215));
  p.drawText(QRectF(0, 434, 620, 20), Qt::AlignRight | Qt::AlignVCenter,
             "many hydrography workspaces, one network");
}

}  // namespace

QPixmap BackgroundPicture() {
  QPixmap picture(kWidth, kHeight);
  QPainter p(&picture);
  DrawRelief(p);
  DrawCatchments(p);
  DrawDrainage(p);
  DrawMargin(p);
  DrawTitle(p);
  return picture;
}

QPixmap Emblem(int size) {
  QPixmap emblem(size, size);
  emblem.fill(Qt::transparent);
  QPainter p(&emblem);
  p.setRenderHint(QPainter::Antialiasing, true);
  p.scale(size / 64.0, size / 64.0);
  QLinearGradient tile(0, 0, 64, 64);
  tile.setColorAt(0, QColor(31, 78, 107));
  tile.setColorAt(1, QColor(18, 48, 70));
  p.setPen(Qt::NoPen);
  p.setBrush(tile);
  p.drawRoundedRect(QRectF(2, 2, 60, 60), 12, 12);
  auto stream = [&](QPointF a, QPointF c, QPointF b, double width) {
    QPainterPath path(a);
    path.quadTo(c, b);
    p.setPen(QPen(kStream, width, Qt::SolidLine, Qt::RoundCap));
    p.setBrush(Qt::NoBrush);
    p.drawPath(path);
  };
  stream({12, 10}, {20, 28}, {32, 36}, 3.5);
  stream({32, 8}, {30, 22}, {32, 36}, 3.5);
  stream({53, 12}, {44, 28}, {32, 36}, 3.5);
  stream({32, 36}, {34, 46}, {30, 56}, 6.5);
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(236, 244, 236));
  p.drawEllipse(QPointF(32, 36), 3.2, 3.2);
  return emblem;
}

QIcon WindowIcon() {
  QIcon icon;
  for (int size : {16, 24, 32, 48, 64, 128}) icon.addPixmap(Emblem(size));
  return icon;
}

void AddSeparator(QWidget* parent, int y, const QColor& colour) {
  auto* line = new QWidget(parent);
  line->setGeometry(0, y, parent->width(), 1);
  line->setAutoFillBackground(true);
  QPalette palette = line->palette();
  palette.setColor(QPalette::Window, colour);
  line->setPalette(palette);
}

}  // namespace rivanet::ui
