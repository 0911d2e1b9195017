#include "platform/gis/WindowFiller.h"

#include "platform/gis/GdalSupport.h"

namespace rivanet::gis {

WindowFiller::WindowFiller(std::vector<CellWindow> windows, std::size_t largest, Fill fill)
    : m_windows(std::move(windows)), m_fill(std::move(fill)) {
  for (Slot& slot : m_slots) slot.cells.resize(largest);
  m_thread = std::thread([this] { Run(); });
}

WindowFiller::~WindowFiller() { Stop(); }

void WindowFiller::Stop() {
  {
    const std::lock_guard<std::mutex> lock(m_mutex);
    m_stop = true;
  }
  m_changed.notify_all();
  if (m_thread.joinable()) m_thread.join();
}

void WindowFiller::Run() {
  QuietGdal quiet;  // GDAL's error handlers belong to a thread
  for (std::size_t window = 0; window < m_windows.size(); ++window) {
    Slot& slot = m_slots[window % m_slots.size()];
    {
      std::unique_lock<std::mutex> lock(m_mutex);
      m_changed.wait(lock, [&] { return m_stop || !slot.filled; });
      if (m_stop) return;
    }
    try {
      m_fill(m_windows[window], slot.cells.data());
    } catch (...) {
      const std::lock_guard<std::mutex> lock(m_mutex);
      m_failure = std::current_exception();
      m_changed.notify_all();
      return;
    }
    {
      const std::lock_guard<std::mutex> lock(m_mutex);
      slot.filled = true;
    }
    m_changed.notify_all();
  }
}

const std::int32_t* WindowFiller::Take() {
  Slot& slot = m_slots[static_cast<std::size_t>(m_taken) % m_slots.size()];
  std::unique_lock<std::mutex> lock(m_mutex);
  m_changed.wait(lock, [&] { return slot.filled || m_failure; });
  if (!slot.filled) std::rethrow_exception(m_failure);
  return slot.cells.data();
}

void WindowFiller::Release() {
  {
    const std::lock_guard<std::mutex> lock(m_mutex);
    m_slots[static_cast<std::size_t>(m_taken) % m_slots.size()].filled = false;
    ++m_taken;
  }
  m_changed.notify_all();
}

void WindowFiller::Finish() {
  if (m_thread.joinable()) m_thread.join();
  if (m_failure) std::rethrow_exception(m_failure);
}

}  // namespace rivanet::gis
