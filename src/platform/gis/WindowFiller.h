#pragma once

// Fills the windows of a grid being written (rows of tiles, top to bottom) on a thread of its
// own, one window ahead of the writer. GDAL's writer compresses a few tiles at a time on its
// worker threads and holds the caller up while they are busy; filling the next window
// meanwhile (decoding the inputs, laying them over each other) keeps every core at work.

#include <array>
#include <condition_variable>
#include <cstdint>
#include <exception>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace rivanet::gis {

class WindowFiller {
 public:
  // Fills `count` rows of cells from row `top` into `cells` (count * cols values). Runs on the
  // filler's thread, for one window after the other; what it throws reaches Take.
  using Fill = std::function<void(int top, int count, std::int32_t* cells)>;

  WindowFiller(int rows, int windowRows, std::size_t cols, Fill fill);
  ~WindowFiller();
  WindowFiller(const WindowFiller&) = delete;
  WindowFiller& operator=(const WindowFiller&) = delete;

  // The next window, once filled; rethrows what the fill threw. Windows come top to bottom.
  const std::int32_t* Take();
  // Hands the window last taken back for refilling.
  void Release();
  // Waits until every window has been filled (for what the fill gathered on the way).
  void Finish();

 private:
  struct Slot {
    std::vector<std::int32_t> cells;
    bool filled = false;
  };
  void Run();
  void Stop();

  int m_rows;
  int m_windowRows;
  std::size_t m_cols;
  Fill m_fill;
  std::array<Slot, 2> m_slots;
  int m_taken = 0;  // windows taken so far
  std::mutex m_mutex;
  std::condition_variable m_changed;
  bool m_stop = false;
  std::exception_ptr m_failure;
  std::thread m_thread;
};

}  // namespace rivanet::gis
