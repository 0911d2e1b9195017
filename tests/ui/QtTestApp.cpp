#include <gtest/gtest.h>

#include <QApplication>
#include <memory>

namespace {

// One application object for the whole test program, on the offscreen platform so that the
// tests need no display and open nothing on one.
class QtTestApp : public ::testing::Environment {
 public:
  void SetUp() override {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    m_app = std::make_unique<QApplication>(m_argc, m_argv);
  }
  void TearDown() override { m_app.reset(); }

 private:
  int m_argc = 1;
  char m_name[8] = "ui_test";
  char* m_argv[2] = {m_name, nullptr};
  std::unique_ptr<QApplication> m_app;
};

[[maybe_unused]] ::testing::Environment* const kQtTestApp =
    ::testing::AddGlobalTestEnvironment(new QtTestApp);

}  // namespace
