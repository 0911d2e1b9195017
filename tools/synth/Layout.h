#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace rivanet::synth {

// Where the drainage units sit on the one global 30 m cell grid, and the terrain that every
// unit samples from it. Everything here is a function of global cell coordinates and the
// seed, so two units that overlap see the same cells with the same elevations.

inline constexpr double kCellSize = 30.0;
inline constexpr int kEpsg = 5070;
// Top-left corner of global cell (0, 0), on the 30 m lattice of the Albers grid.
inline constexpr double kGlobalOriginX = 1200000.0;
inline constexpr double kGlobalOriginY = 2400000.0;

struct LayoutParams {
  int count = 0;   // drainage units
  int cells = 0;   // rows = columns of one unit
  int margin = 0;  // cells two neighbouring units overlap by
  std::uint64_t seed = 1;
};

// A rectangle of global cells, rows [row0, row0 + rows) and columns [col0, col0 + cols).
struct CellRect {
  std::int64_t row0 = 0;
  std::int64_t col0 = 0;
  std::int64_t rows = 0;
  std::int64_t cols = 0;
  bool Contains(std::int64_t r, std::int64_t c) const {
    return r >= row0 && r < row0 + rows && c >= col0 && c < col0 + cols;
  }
};

// A raised pocket of terrain inside an overlap: a plateau walled by a one-cell rim on three
// sides and open on the fourth, which lies on the shared edge of the two units. It drains
// only through that edge, so its streams, their catchments and everything derived from them
// come out the same in both units.
struct Pocket {
  CellRect interior;
  CellRect withRim;  // interior plus the rim (the open side has no rim)
};

class Layout {
 public:
  explicit Layout(const LayoutParams& params);

  int Count() const { return m_params.count; }
  int Cells() const { return m_params.cells; }
  int Margin() const { return m_params.margin; }
  int Stride() const { return m_params.cells - m_params.margin; }
  int LayoutColumns() const { return m_columns; }
  int LayoutRows() const { return m_rows; }
  std::int64_t GlobalRows() const { return m_globalRows; }
  std::int64_t GlobalCols() const { return m_globalCols; }
  std::uint64_t Seed() const { return m_params.seed; }

  CellRect Unit(int index) const;
  // Units whose rectangle holds the global cell, in ascending index order.
  std::vector<int> UnitsCovering(std::int64_t row, std::int64_t col) const;
  std::int64_t GlobalIndex(std::int64_t row, std::int64_t col) const {
    return row * m_globalCols + col;
  }

  // Elevation in centimetres of a global cell, pockets included.
  std::int32_t ElevationCm(std::int64_t row, std::int64_t col) const;
  // Four-character code of a unit ("U001"), its workspace folder name and its number.
  static std::string UnitCode(int index);
  static std::string WorkspaceName(int index);

 private:
  std::int32_t TerrainCm(std::int64_t row, std::int64_t col) const;
  void AddPockets();

  LayoutParams m_params;
  int m_columns = 0;
  int m_rows = 0;
  std::int64_t m_globalRows = 0;
  std::int64_t m_globalCols = 0;
  std::int32_t m_terrainMaxCm = 0;
  std::int32_t m_pocketRaiseCm = 0;
  std::vector<Pocket> m_pockets;
};

}  // namespace rivanet::synth
