#pragma once

// The thread that writes a dBASE table's new rows through GDAL. Private to the GIS library: it
// pulls in GDAL.

#include <condition_variable>
#include <deque>
#include <exception>
#include <filesystem>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/gis/DbfFit.h"
#include "platform/gis/DbfInternals.h"
#include "platform/gis/DbfReader.h"

namespace rivanet::gis {

// Writes rows into an open table on a thread of its own. Formatting every number into its
// dBASE text is most of the work of appending rows, and GDAL does it one value at a time; on
// its own thread it runs while the caller reads and sorts the next rows. The rows wait in a
// short queue (a few thousand at most), in the order given, and the caller's thread never
// touches the table while the writer runs. A failure on the writer's thread stops it and
// comes back to the caller at the next Add or at Finish.
class DbfRowWriter {
 public:
  // `table` stays the caller's but is the writer's to use until Finish returns or the writer
  // is destroyed; `shownAs` names the table in messages.
  DbfRowWriter(OpenTable& table, DbfTextWidth text, std::filesystem::path shownAs);
  // Stops the thread; rows not yet written are dropped.
  ~DbfRowWriter();
  DbfRowWriter(const DbfRowWriter&) = delete;
  DbfRowWriter& operator=(const DbfRowWriter&) = delete;

  // Queues a row, a value per field. A value that does not fit its field (ValueProblem) stops
  // the writer before GDAL sees it: GDAL would widen a text field or cut a number.
  void Add(DbfRow row);
  // Returns when every row is written; throws what stopped the writer, if anything did.
  void Finish();
  // As Finish, but false instead of an exception when a failure stopped the writer.
  bool FinishQuietly();

 private:
  using Batch = std::vector<DbfRow>;

  void Hand(bool last);
  void Run();
  void Write(const Batch& batch);
  void RethrowFailure();

  OpenTable& m_table;
  DbfTextWidth m_text;
  std::filesystem::path m_shownAs;
  std::int64_t m_written = 0;
  FeaturePtr m_feature;
  Batch m_filling;

  std::mutex m_mutex;
  std::condition_variable m_changed;
  std::deque<Batch> m_queue;
  bool m_last = false;    // no more batches will come
  bool m_stop = false;    // drop what is queued and end
  bool m_failed = false;  // the writer has stopped on m_failure
  std::exception_ptr m_failure;
  std::thread m_thread;
};

}  // namespace rivanet::gis
