#include "ui/AboutWindow.h"

#include <QPainter>
#include <QPushButton>
#include <string>

#include "platform/Version.h"
#include "ui/Artwork.h"
#include "ui/ButtonCaption.h"
#include "ui/ClickableLabel.h"
#include "ui/DesktopServices.h"
#include "ui/Dialogs.h"

namespace rivanet::ui {
namespace {

const QColor kTeal(0, 128, 128);
const QColor kLogoRed(128, 0, 0);
// The GIS library that does the program's spatial work; the emblem points to it.
const char* const kGisLibraryHome = "https://gdal.org/";

QRect Twips(int left, int top, int width, int height) {
  return {TwipsToPixels(left), TwipsToPixels(top), TwipsToPixels(width), TwipsToPixels(height)};
}

QFont Font(const char* family, QFont::StyleHint hint, double points, bool italic = false) {
  QFont font(family);
  font.setStyleHint(hint);
  font.setPointSizeF(points);
  font.setItalic(italic);
  return font;
}

// The project's logo block: a frame, three streams joining into one, three words and a slogan,
// all in dark red line work.
class LogoBlock : public QWidget {
 public:
  using QWidget::QWidget;

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing, true);
    p.setPen(QPen(kLogoRed, 1.5));
    const double w = width() - 1;
    const double h = height() - 1;
    // The frame: four segments.
    p.drawLine(QPointF(0, 0), QPointF(w, 0));
    p.drawLine(QPointF(w, 0), QPointF(w, h));
    p.drawLine(QPointF(w, h), QPointF(0, h));
    p.drawLine(QPointF(0, h), QPointF(0, 0));
    // Three tributaries of three segments each, meeting at the confluence.
    const QPointF confluence(48, 78);
    const QPointF tributaries[3][3] = {{{10, 10}, {20, 36}, {34, 58}},
                                       {{48, 8}, {44, 34}, {48, 56}},
                                       {{86, 12}, {76, 38}, {62, 58}}};
    for (const auto& t : tributaries) {
      p.drawLine(t[0], t[1]);
      p.drawLine(t[1], t[2]);
      p.drawLine(t[2], confluence);
    }
    // The trunk: two segments.
    p.setPen(QPen(kLogoRed, 3));
    p.drawLine(confluence, QPointF(44, 104));
    p.drawLine(QPointF(44, 104), QPointF(52, h - 6));
    // Two strokes under the words; the small emblem stands to their left.
    p.setPen(QPen(kLogoRed, 1.5));
    p.drawLine(QPointF(142, 70), QPointF(w - 8, 70));
    p.drawLine(QPointF(142, 74), QPointF(w - 30, 74));

    QFont word = Font("Times New Roman", QFont::Serif, 12);
    word.setBold(true);
    p.setFont(word);
    p.drawText(QPointF(142, 24), "RIVANET");  // first word
    p.drawText(QPointF(142, 44), "APPEND");   // second word
    p.drawText(QPointF(142, 64), "TOOLS");    // third word
    p.setFont(Font("Times New Roman", QFont::Serif, 9, true));
    p.drawText(QRectF(100, 94, w - 104, h - 96),
               Qt::AlignLeft | Qt::AlignVCenter | Qt::TextWordWrap,
               "many workspaces, one network");  // slogan
  }
};

}  // namespace

AboutWindow::AboutWindow(Dialogs& dialogs, const std::filesystem::path& appFolder)
    : m_dialogs(dialogs) {
  setWindowTitle(QString("About ") + kAppTitle);
  setFixedSize(TwipsToPixels(9390), TwipsToPixels(7935));
  QPalette background = palette();
  background.setColor(QPalette::Window, QColor(224, 224, 224));
  setPalette(background);
  setAutoFillBackground(true);

  QPalette teal = palette();
  teal.setColor(QPalette::WindowText, kTeal);

  m_title = new ClickableLabel(this, [this] { ShowLibraryVersions(); });
  m_title->setGeometry(Twips(488, 360, 4125, 840));
  m_title->setFont(Font("Arial", QFont::SansSerif, 18, true));
  m_title->setPalette(teal);
  m_title->setText(QString(kAppTitle) + " ");
  m_title->setToolTip("Click for the versions of the libraries on this system");

  auto* version = new QLabel(this);
  version->setGeometry(Twips(4688, 360, 4125, 840));
  version->setFont(m_title->font());
  version->setPalette(teal);
  version->setText(
      QString("Version %1.%2.%3").arg(kVersionMajor).arg(kVersionMinor).arg(kVersionRevision));

  auto* description = new QLabel(this);
  description->setGeometry(Twips(135, 1230, 9165, 2370));
  description->setFont(Font("Times New Roman", QFont::Serif, 14.25));
  description->setPalette(teal);
  description->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
  description->setWordWrap(true);
  description->setText(
      "Joins Rivanet hydrography workspaces into one workspace\n"
      "Features and grids read and written through GDAL/OGR\n"
      "Table work in SQLite, this window in Qt\n"
      "Progress and errors go to Active.log in the application folder\n"
      "Click the title for the library versions on this system");

  AddSeparator(this, 0, QColor(128, 128, 128));
  AddSeparator(this, TwipsToPixels(4200), QColor(128, 128, 128));
  AddSeparator(this, TwipsToPixels(4200) + 1, Qt::white);

  const QString folder = QString::fromStdString(appFolder.string());
  auto* emblem = new ClickableLabel(this, [] { OpenBrowser(kGisLibraryHome); });
  emblem->setGeometry(Twips(6075, 4560, 2100, 2040));
  emblem->setPixmap(Emblem(128));
  emblem->setAlignment(Qt::AlignCenter);
  emblem->setCursor(Qt::PointingHandCursor);
  emblem->setToolTip("GDAL/OGR, the GIS library the program works with");

  auto* logo = new LogoBlock(this);
  logo->setGeometry(Twips(180, 4400, 3630, 2000));

  auto* smallEmblem = new ClickableLabel(this, [folder] { OpenBrowser(folder); });
  smallEmblem->setGeometry(Twips(1740, 5265, 480, 465));
  smallEmblem->setPixmap(Emblem(TwipsToPixels(465)));
  smallEmblem->setCursor(Qt::PointingHandCursor);
  smallEmblem->setToolTip(folder);
  smallEmblem->raise();

  auto* webLink = new ClickableLabel(this, [folder] { OpenBrowser(folder); });
  webLink->setGeometry(Twips(630, 6465, 2670, 345));
  QPalette darkRed = palette();
  darkRed.setColor(QPalette::WindowText, QColor(192, 0, 0));
  webLink->setPalette(darkRed);
  webLink->setAlignment(Qt::AlignCenter);
  webLink->setCursor(Qt::PointingHandCursor);
  webLink->setText("Application folder");
  webLink->setToolTip(folder);

  m_sysInfo = new QPushButton("&System Info...", this);
  m_sysInfo->setGeometry(Twips(4035, 6855, 1245, 345));
  m_sysInfo->setAutoDefault(false);
  connect(m_sysInfo, &QPushButton::clicked, this, [this] { StartSysInfo(m_dialogs, this); });

  auto* ok = new QPushButton("OK", this);
  ok->setGeometry(Twips(4035, 7440, 1260, 345));
  ok->setDefault(true);
  connect(ok, &QPushButton::clicked, this, &QDialog::accept);

  // Wider buttons where the desktop's font needs it, still centred where they were placed.
  for (QPushButton* button : {m_sysInfo, ok}) {
    const int extra = button->sizeHint().width() - button->width();
    if (extra > 0)
      button->setGeometry(button->geometry().adjusted(-extra / 2, 0, extra - extra / 2, 0));
  }
}

void AboutWindow::ShowLibraryVersions() {
  for (const LibraryVersion& library : LibraryVersions()) {
    // A library the loader cannot place is passed over, as a missing file would be.
    if (library.file.empty() || library.version.empty()) continue;
    ShowMessage(m_dialogs, this,
                "The version of " + library.file + " on this system is " + library.version);
  }
}

}  // namespace rivanet::ui
