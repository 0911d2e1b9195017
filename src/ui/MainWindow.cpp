#include "ui/MainWindow.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QGraphicsDropShadowEffect>
#include <QGuiApplication>
#include <QLabel>
#include <QPainter>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QThread>
#include <system_error>

#include "driver/ProcessWS.h"
#include "platform/Error.h"
#include "platform/files/FileSystem.h"
#include "runctl/ActivityLog.h"
#include "runctl/ErrorReport.h"
#include "runctl/RunLock.h"
#include "ui/AboutWindow.h"
#include "ui/Artwork.h"
#include "ui/ButtonCaption.h"
#include "ui/Dialogs.h"
#include "ui/HelpWindow.h"
#include "ui/MainCommands.h"
#include "ui/PictureButton.h"
#include "workspace/Schema.h"

namespace fs = std::filesystem;

namespace rivanet::ui {
namespace {

constexpr std::string_view kFormMain = "Form frmMain";

QRect Twips(int left, int top, int width, int height) {
  return {TwipsToPixels(left), TwipsToPixels(top), TwipsToPixels(width), TwipsToPixels(height)};
}

struct PictureBoxDesign {
  const char* tag;
  int top;  // twips; all five stand at Left 105 and measure 1695 x 465
};
constexpr PictureBoxDesign kPictureBoxes[5] = {{"About ,R", 60},
                                               {"Select Data ,R", 690},
                                               {"Delete Log ,R", 1335},
                                               {" Help ,R", 1980},
                                               {"Quit ,R", 2610}};

QFont BoldLabelFont(const QFont& base) {
  QFont font = base;
  font.setPointSizeF(9.75);
  font.setBold(true);
  return font;
}

}  // namespace

MainWindow::MainWindow(fs::path appFolder, Dialogs& dialogs)
    : m_appFolder(std::move(appFolder)),
      m_dialogs(dialogs),
      m_files(MakeFileSystem()),
      m_log(std::make_unique<ActivityLog>(*m_files, m_appFolder, /*interactive=*/true)),
      m_feedback(*this, *this),
      m_ctx{m_appFolder, /*interactive=*/true, *m_files,
            *m_log,      m_feedback,           schema::ShippedSchema()},
      m_picture(BackgroundPicture()) {
  setWindowTitle(QString::fromStdString(VersionText()));
  setWindowIcon(WindowIcon());
  setFixedSize(TwipsToPixels(9585), TwipsToPixels(7200));
  QPalette white = palette();
  white.setColor(QPalette::Window, Qt::white);
  setPalette(white);
  if (const QScreen* screen = QGuiApplication::primaryScreen())
    move(screen->availableGeometry().center() - rect().center());

  const std::function<void()> commands[5] = {[this] { ShowAbout(); }, [this] { SelectData(); },
                                             [this] { DeleteLog(); }, [this] { ShowHelp(); },
                                             [this] { Quit(); }};
  for (int i = 0; i < 5; ++i) {
    m_boxes[i] =
        new PictureButton(kPictureBoxes[i].tag, Twips(105, kPictureBoxes[i].top, 1695, 465), this);
    m_boxes[i]->setObjectName(QString("Picture%1").arg(i + 1));
    m_boxes[i]->MakeButton(m_picture);
    ConnectPictureBox(i + 1, commands[i]);
  }

  m_status = new QLabel("lblMsg", this);
  m_status->setObjectName("lblMsg");
  m_status->setGeometry(Twips(105, 180, 9915, 810));
  m_status->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
  m_status->setWordWrap(true);
  m_status->setFont(BoldLabelFont(font()));
  QPalette yellow = m_status->palette();
  yellow.setColor(QPalette::WindowText, QColor(255, 255, 0));
  m_status->setPalette(yellow);
  // A dark shadow keeps the yellow text readable where it crosses the pale margin.
  auto* shadow = new QGraphicsDropShadowEffect(m_status);
  shadow->setBlurRadius(4);
  shadow->setOffset(1, 1);
  shadow->setColor(Qt::black);
  m_status->setGraphicsEffect(shadow);
  m_status->hide();

  // Below the status line: where a long run stands, phase and workspace.
  m_progress = new QProgressBar(this);
  m_progress->setObjectName("progress");
  m_progress->setGeometry(Twips(2400, 1035, 4800, 300));
  m_progress->setAlignment(Qt::AlignCenter);
  m_progress->hide();

  m_cancel = new QPushButton("Cancel", this);
  m_cancel->setObjectName("btnCancel");
  m_cancel->setGeometry(Twips(240, 6210, 1455, 735));
  m_cancel->setFont(BoldLabelFont(font()));
  m_cancel->setCursor(Qt::ArrowCursor);
  m_cancel->hide();
  connect(m_cancel, &QPushButton::clicked, this, [this] {
    Handle("btnCancel_Click", [this] {
      // The run stops at its next safe point; one request is enough.
      m_feedback.RequestCancel();
      m_cancel->setEnabled(false);
    });
  });
}

MainWindow::~MainWindow() {
  if (m_runThread != nullptr) {
    // Not reached through the program's own ways of ending, which wait for the run. Should
    // the window go all the same, the run is asked to stop and its last requests to the
    // window are still served, so that its closing sequence completes.
    m_feedback.RequestCancel();
    while (!m_runThread->isFinished()) QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    m_runThread->wait();
    delete m_runThread;
  }
  delete m_about;
  delete m_help;
}

void MainWindow::Handle(std::string_view handler, const std::function<void()>& body) {
  try {
    InProcedure(handler, body, kFormMain, ErrorTail::WithoutLogCopy);
  } catch (const ReportedError& error) {
    EndProgram(EndWithReport(m_ctx, error));
  } catch (const LogWriteFailure& failure) {
    EndProgram(EndWithLogFailure(m_ctx, failure));
  }
}

void MainWindow::ConnectPictureBox(int number, const std::function<void()>& command) {
  PictureButton* box = PictureBox(number);
  const std::string name = "Picture" + std::to_string(number);
  connect(box, &PictureButton::mouseDown, this, [this, box, name] {
    Handle(name + "_MouseDown", [this, box] {
      if (!RunInProgress()) box->Press();
    });
  });
  connect(box, &PictureButton::mouseUp, this, [this, box, name, command] {
    Handle(name + "_MouseUp", [this, box, command] {
      box->Release();
      // A click that arrives once a run has begun (the second half of a double click, say)
      // does nothing.
      if (!RunInProgress() && !m_ending) command();
    });
  });
}

void MainWindow::SelectData() {
  m_feedback.ClearCancel();
  const std::optional<RunPaths> paths = AskForRunPaths(m_ctx, m_dialogs, this);
  if (!paths) return;
  // Any relative path a run meets resolves against the application folder.
  std::error_code ec;
  fs::current_path(m_appFolder, ec);
  if (ec) throw AppError::FromErrno(ec.value(), m_appFolder.string());
  StartRun(*paths);
}

void MainWindow::DeleteLog() { DeleteLogFiles(m_ctx, m_dialogs, this); }

void MainWindow::Quit() {
  m_log->TryMakeLogCopy();
  EndProgram(kExitSucceeded);
}

void MainWindow::ShowAbout() {
  if (m_about == nullptr) {
    m_about = new AboutWindow(m_dialogs, m_appFolder);
    m_about->setAttribute(Qt::WA_DeleteOnClose);
  }
  m_about->show();
  m_about->raise();
  m_about->activateWindow();
}

void MainWindow::ShowHelp() {
  if (m_help == nullptr) {
    m_help = new HelpWindow();
    m_help->setAttribute(Qt::WA_DeleteOnClose);
  }
  m_help->show();
  m_help->raise();
  m_help->activateWindow();
}

void MainWindow::StartRun(const RunPaths& paths) {
  m_runExit.reset();
  m_closeAfterRun = false;
  m_runThread = QThread::create([this, paths] { m_runExit = RunOnWorker(paths); });
  connect(m_runThread, &QThread::finished, this, &MainWindow::OnRunThreadFinished);
  m_runThread->start();
}

std::optional<int> MainWindow::RunOnWorker(const RunPaths& paths) {
  // A batch run on the same application folder may be under way: then this run does not
  // start, and its report is shown but not logged, since the log belongs to the other run.
  std::optional<FileLock> lock;
  try {
    lock = LockApplicationFolder(m_appFolder);
  } catch (const AppError& e) {
    m_ctx.feedback.ShowMessage(ErrorReportText(e, "Picture2_MouseUp", "Form frmMain"));
    return std::nullopt;
  }
  try {
    ProcessWS(m_ctx, paths.input, paths.output, paths.list);
    return std::nullopt;
  } catch (const ReportedError& error) {
    return EndWithReport(m_ctx, error);
  } catch (const LogWriteFailure& failure) {
    return EndWithLogFailure(m_ctx, failure);
  } catch (const std::exception& e) {
    // ProcessWS reports its own errors; this catches what escapes its closing lines, so that
    // nothing leaves the thread unreported.
    return EndWithReport(m_ctx,
                         ReportedError(ErrorReportText(AsAppError(e), "ProcessWS", kModuleSubMain),
                                       ErrorTail::Standard));
  }
}

void MainWindow::OnRunThreadFinished() {
  m_runThread->wait();
  m_runThread->deleteLater();
  m_runThread = nullptr;
  if (m_runExit) {
    // The run ended with an error report; the program ends with it, in the running look.
    EndProgram(*m_runExit);
    return;
  }
  m_cancel->setEnabled(true);
  emit runFinished();
  if (m_closeAfterRun) Handle("Form_QueryUnload", [this] { EndProgram(kExitSucceeded); });
}

void MainWindow::EndProgram(int exitStatus) {
  if (m_ending) return;
  m_ending = true;
  if (m_about != nullptr) m_about->close();
  if (m_help != nullptr) m_help->close();
  hide();
  emit programEnded(exitStatus);
}

void MainWindow::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.drawPixmap(0, 0, m_picture);
}

void MainWindow::closeEvent(QCloseEvent* event) {
  if (m_ending) {
    event->accept();
    return;
  }
  if (RunInProgress()) {
    // The run is asked to stop and goes through its closing sequence (Work folder removed,
    // log copy made); the window closes after that.
    m_closeAfterRun = true;
    m_feedback.RequestCancel();
    m_cancel->setEnabled(false);
    event->ignore();
    return;
  }
  // The close box or the system menu: every window goes, without a log copy.
  Handle("Form_QueryUnload", [this] { EndProgram(kExitSucceeded); });
  event->accept();
}

void MainWindow::ShowRunningLook() {
  for (PictureButton* box : m_boxes) box->hide();
  m_cancel->setEnabled(true);
  m_cancel->show();
  m_cancel->setFocus();
  setCursor(Qt::BusyCursor);
  m_status->setText(QString());
  m_status->show();
  // Until the run says where it stands, the bar only shows that it is alive.
  m_progress->setRange(0, 0);
  m_progress->setFormat(QString());
  m_progress->show();
  repaint();
  emit runStarted();
}

void MainWindow::ShowIdleLook() {
  m_cancel->hide();
  m_status->hide();
  m_progress->hide();
  for (PictureButton* box : m_boxes) box->show();
  repaint();
  unsetCursor();
}

void MainWindow::ShowStatus(const std::string& text) {
  m_status->setText(QString::fromStdString(text));
}

void MainWindow::ShowProgress(const RunProgress& progress) {
  const QString phase = QString::fromStdString(progress.phase);
  if (progress.steps > 0) {
    m_progress->setRange(0, progress.steps);
    m_progress->setValue(progress.step);
    m_progress->setFormat(phase + " %v of %m");
  } else {
    m_progress->setRange(0, 0);
    m_progress->setFormat(phase);
  }
}

void MainWindow::ShowRunMessage(const std::string& text) { ShowMessage(m_dialogs, this, text); }

void MainWindow::RestoreDefaultPointer() { unsetCursor(); }

}  // namespace rivanet::ui
