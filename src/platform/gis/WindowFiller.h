#pragma once

// Fills the windows of a grid being written (blocks of tiles, in the order given) on a thread of
// its own, one window ahead of the writer. GDAL's writer compresses a few tiles at a time on its
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

// A block of a grid's cells: rows [top, top + rows) and columns [left, left + cols).
struct CellWindow {
  int top = 0;
  int left = 0;
  int rows = 0;
  int cols = 0;
};

class WindowFiller {
 public:
  // Fills the window's cells (rows * cols values, a row after the other) into `cells`. Runs on
  // the filler's thread, for one window after the other; what it throws reaches Take.
  using Fill = std::function<void(const CellWindow& window, std::int32_t* cells)>;

  // `windows` in the order they are filled and taken; none larger than `largest` cells.
  WindowFiller(std::vector<CellWindow> windows, std::size_t largest, Fill fill);
  ~WindowFiller();
  WindowFiller(const WindowFiller&) = delete;
  WindowFiller& operator=(const WindowFiller&) = delete;

  // The next window, once filled; rethrows what the fill threw. Windows come in their order.
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

  std::vector<CellWindow> m_windows;
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
