#include "ui/HelpWindow.h"
#include "ui/Artwork.h"

#include <algorithm>

#include <QFontMetricsF>
#include <QGridLayout>
#include <QLabel>
#include <QPushButton>

#include "platform/Version.h"
#include "ui/ButtonCaption.h"

namespace rivanet::ui {

std::vector<HelpRow> HelpRows() {
  const std::string title = kAppTitle;
  return {
      {"About", "Information about " + title +
                    " - Clicking on any of the logos will launch the default browser\r\n"
                    "with that organization's home page.   System Info will display information "
                    "about your system."},
      {"Select Data",
       "Provides a file dialog to allow selection of Rivanet HUC8 workspaces to be appended."},
      {"Delete Log", "Deletes the current " + title + " log file."},
      {"Quit", "Closes the " + title + " application."},
      {"Note:",
       "The SkelPath value in the " + title +
           ".ini file is the name of the folder containing\r\n"
           "the skeleton files for the Rivanet datasets.  This folder should be a subfolder "
           "to the \r\n"
           "application folder."},
  };
}

namespace {

QString LabelText(const std::string& text) {
  QString shown = QString::fromStdString(text);
  shown.replace("\r\n", "\n");
  return shown;
}

}  // namespace

HelpWindow::HelpWindow() {
  setWindowTitle("Help");
  setFixedSize(TwipsToPixels(10425), TwipsToPixels(7095));
  QPalette background = palette();
  background.setColor(QPalette::Window, QColor(224, 224, 224));
  setPalette(background);
  setAutoFillBackground(true);

  // The texts carry their own line breaks; where the desktop's font is wider than the one
  // they were written for, it gets smaller rather than breaking their lines again.
  const std::vector<HelpRow> rows = HelpRows();
  const int textWidth = width() - TwipsToPixels(1605) - TwipsToPixels(180);
  QFont regular = font();
  regular.setPointSizeF(9.75);
  auto widest = [&](const QFont& candidate) {
    const QFontMetricsF metrics(candidate);
    double most = 0;
    for (const HelpRow& row : rows)
      for (const QString& line : LabelText(row.text).split('\n'))
        most = std::max(most, metrics.horizontalAdvance(line));
    return most;
  };
  while (widest(regular) > textWidth && regular.pointSizeF() > 7)
    regular.setPointSizeF(regular.pointSizeF() - 0.25);
  QFont bold = regular;
  bold.setBold(true);

  // The rows take the height their text needs in the desktop's font, in two columns: titles
  // right-aligned up to 1350 twips, texts from 1605 twips.
  auto* table = new QWidget(this);
  table->setGeometry(0, TwipsToPixels(150), width(), TwipsToPixels(6100));
  auto* grid = new QGridLayout(table);
  grid->setContentsMargins(0, 0, TwipsToPixels(180), 0);
  grid->setHorizontalSpacing(TwipsToPixels(255));
  grid->setVerticalSpacing(TwipsToPixels(180));
  grid->setColumnMinimumWidth(0, TwipsToPixels(1350));
  grid->setColumnStretch(1, 1);
  int row = 0;
  for (const HelpRow& help : rows) {
    auto* title = new QLabel(QString::fromStdString(help.title), table);
    title->setFont(bold);
    title->setAlignment(Qt::AlignRight | Qt::AlignTop);
    auto* text = new QLabel(LabelText(help.text), table);
    text->setFont(regular);
    text->setWordWrap(true);
    text->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    if (help.title == "Note:") {
      // The note stands out in the colour of an active title bar.
      QPalette note = palette();
      note.setColor(QPalette::WindowText, note.color(QPalette::Active, QPalette::Highlight));
      title->setPalette(note);
      text->setPalette(note);
    }
    grid->addWidget(title, row, 0);
    grid->addWidget(text, row, 1);
    ++row;
  }
  grid->setRowStretch(row, 1);

  AddSeparator(this, 0, QColor(128, 128, 128));
  AddSeparator(this, TwipsToPixels(6345), Qt::white);
  AddSeparator(this, TwipsToPixels(6450), QColor(128, 128, 128));

  auto* ok = new QPushButton("OK", this);
  ok->setGeometry(TwipsToPixels(8910), TwipsToPixels(6600), TwipsToPixels(1260),
                  TwipsToPixels(345));
  ok->setDefault(true);
  connect(ok, &QPushButton::clicked, this, &QDialog::accept);
}

}  // namespace rivanet::ui
