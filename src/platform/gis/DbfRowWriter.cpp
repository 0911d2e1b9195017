#include "platform/gis/DbfRowWriter.h"

#include "platform/files/FileSystem.h"

namespace fs = std::filesystem;

namespace rivanet::gis {
namespace {

constexpr std::size_t kBatchRows = 256;
constexpr std::size_t kQueuedBatches = 8;  // the queue's bound: memory stays small
constexpr const char* kWriting = "Cannot append to table";

void SetValue(OGRFeature& feature, int i, const DbfField& field, const DbfValue& value) {
  if (std::holds_alternative<std::monostate>(value)) {
    feature.SetFieldNull(i);
  } else if (const auto* n = std::get_if<std::int64_t>(&value)) {
    if (field.type == DbfType::Real)
      feature.SetField(i, static_cast<double>(*n));
    else
      feature.SetField(i, static_cast<GIntBig>(*n));
  } else if (const auto* d = std::get_if<double>(&value)) {
    if (field.type == DbfType::Integer)
      feature.SetField(i, static_cast<GIntBig>(*d));  // integral: checked before it was queued
    else
      feature.SetField(i, *d);
  } else {
    const auto& s = std::get<std::string>(value);
    if (field.type == DbfType::Date) {
      const DbfDate date = *ParseDbfDate(s);  // a date: checked before it was queued
      feature.SetField(i, date.year, date.month, date.day);
    } else {
      feature.SetField(i, s.c_str());
    }
  }
}

}  // namespace

DbfRowWriter::DbfRowWriter(OpenTable& table, DbfTextWidth text, fs::path shownAs)
    : m_table(table),
      m_text(text),
      m_shownAs(std::move(shownAs)),
      m_feature(NewFeature(*table.layer)) {
  m_filling.reserve(kBatchRows);
}

DbfRowWriter::~DbfRowWriter() {
  {
    const std::lock_guard lock(m_mutex);
    m_stop = true;
  }
  m_changed.notify_all();
  if (m_thread.joinable()) m_thread.join();
}

void DbfRowWriter::Add(DbfRow row) {
  m_filling.push_back(std::move(row));
  if (m_filling.size() == kBatchRows) Hand(false);
}

void DbfRowWriter::Finish() {
  Hand(true);
  if (m_thread.joinable()) m_thread.join();
  RethrowFailure();
}

bool DbfRowWriter::FinishQuietly() {
  try {
    Finish();
    return true;
  } catch (...) {  // NOLINT(bugprone-empty-catch): the caller is told by the result
    return false;
  }
}

void DbfRowWriter::Hand(bool last) {
  bool start = false;
  {
    std::unique_lock lock(m_mutex);
    m_changed.wait(lock, [&] { return m_queue.size() < kQueuedBatches || m_failed; });
    if (m_failed) {
      lock.unlock();
      RethrowFailure();
    }
    if (!m_filling.empty()) m_queue.push_back(std::move(m_filling));
    m_last = last;
    start = !m_thread.joinable() && !m_queue.empty();
  }
  m_filling = Batch();
  m_filling.reserve(kBatchRows);
  m_changed.notify_all();
  if (start) m_thread = std::thread(&DbfRowWriter::Run, this);
}

void DbfRowWriter::RethrowFailure() {
  const std::lock_guard lock(m_mutex);
  if (m_failure) std::rethrow_exception(m_failure);
}

void DbfRowWriter::Run() {
  for (;;) {
    Batch batch;
    {
      std::unique_lock lock(m_mutex);
      m_changed.wait(lock, [&] { return m_stop || m_last || !m_queue.empty(); });
      if (m_stop || m_queue.empty()) return;
      batch = std::move(m_queue.front());
      m_queue.pop_front();
    }
    m_changed.notify_all();
    try {
      Write(batch);
    } catch (...) {
      {
        const std::lock_guard lock(m_mutex);
        m_failure = std::current_exception();
        m_failed = true;
      }
      m_changed.notify_all();
      return;
    }
  }
}

void DbfRowWriter::Write(const Batch& batch) {
  // GDAL keeps its error handlers per thread: this one holds for the writer's calls.
  const QuietGdal quiet;
  const std::vector<DbfField>& fields = m_table.fields;
  for (const DbfRow& row : batch) {
    ++m_written;
    for (std::size_t i = 0; i < row.size(); ++i) {
      if (const auto problem = ValueProblem(fields[i], row[i], m_text))
        throw AppError(kErrOverflow, "New row " + std::to_string(m_written) + ": " + *problem +
                                         ": " + DisplayPath(m_shownAs));
      SetValue(*m_feature, static_cast<int>(i), fields[i], row[i]);
    }
    m_feature->SetFID(OGRNullFID);
    CPLErrorReset();
    if (m_table.layer->CreateFeature(m_feature.get()) != OGRERR_NONE)
      throw GdalWriteError(kWriting, m_shownAs);
    // GDAL only warns when it writes a value other than the one given (text it cannot convert
    // to the table's code page, a number it cannot fit).
    if (auto message = quiet.FirstMessage(kWriting, m_shownAs)) throw *message;
  }
}

}  // namespace rivanet::gis
