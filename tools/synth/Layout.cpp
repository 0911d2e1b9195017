#include "Layout.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <stdexcept>

#include "SynthRandom.h"

namespace rivanet::synth {

namespace {

constexpr std::int32_t kBaseCm = 10000;      // lowest possible terrain: 100 m
constexpr std::int32_t kSlopeCmPerCell = 1;  // regional fall towards the south-east
constexpr int kOctaves = 6;
constexpr double kLongestWaveCells = 192.0;
constexpr double kLargestAmplitudeCm = 2400.0;
constexpr std::int32_t kRimWallCm = 500;       // rim height above the highest pocket cell
constexpr std::int32_t kPocketExtraCm = 1000;  // keeps pockets clear of the terrain around them

double SmoothStep(double t) { return t * t * (3.0 - 2.0 * t); }

// Value noise: random heights on an integer lattice, blended smoothly between lattice points.
double ValueNoise(double x, double y, std::uint64_t key) {
  const double fx = std::floor(x);
  const double fy = std::floor(y);
  const auto ix = static_cast<std::int64_t>(fx);
  const auto iy = static_cast<std::int64_t>(fy);
  const double tx = SmoothStep(x - fx);
  const double ty = SmoothStep(y - fy);
  auto at = [key](std::int64_t px, std::int64_t py) {
    return UnitInterval(Mix(key, static_cast<std::uint64_t>(px), static_cast<std::uint64_t>(py)));
  };
  const double top = at(ix, iy) + (at(ix + 1, iy) - at(ix, iy)) * tx;
  const double bottom = at(ix, iy + 1) + (at(ix + 1, iy + 1) - at(ix, iy + 1)) * tx;
  return top + (bottom - top) * ty;
}

double NoiseAmplitudeCm() {
  double sum = 0;
  for (int o = 0; o < kOctaves; ++o) sum += kLargestAmplitudeCm / std::pow(2.0, o);
  return sum;
}

}  // namespace

Layout::Layout(const LayoutParams& params) : m_params(params) {
  if (params.count < 1) throw std::invalid_argument("the number of units must be at least 1");
  if (params.cells < 16) throw std::invalid_argument("a unit must be at least 16 cells wide");
  if (params.margin < 1 || params.margin > params.cells / 2)
    throw std::invalid_argument("the overlap margin must lie between 1 and half the unit width");
  m_columns = static_cast<int>(std::ceil(std::sqrt(static_cast<double>(params.count))));
  m_rows = (params.count + m_columns - 1) / m_columns;
  m_globalRows = static_cast<std::int64_t>(m_rows - 1) * Stride() + params.cells;
  m_globalCols = static_cast<std::int64_t>(m_columns - 1) * Stride() + params.cells;

  const double terrainMax =
      kBaseCm +
      static_cast<double>(kSlopeCmPerCell) * static_cast<double>(m_globalRows + m_globalCols) +
      NoiseAmplitudeCm() + 1.0;
  if (terrainMax > 2.0e8)
    throw std::invalid_argument("the layout is too large for centimetre elevations");
  m_terrainMaxCm = static_cast<std::int32_t>(std::ceil(terrainMax));
  m_pocketRaiseCm = (m_terrainMaxCm - kBaseCm) + kPocketExtraCm;
  AddPockets();
}

CellRect Layout::Unit(int index) const {
  if (index < 0 || index >= m_params.count) throw std::out_of_range("unit index out of range");
  const int r = index / m_columns;
  const int c = index % m_columns;
  return CellRect{static_cast<std::int64_t>(r) * Stride(), static_cast<std::int64_t>(c) * Stride(),
                  m_params.cells, m_params.cells};
}

std::vector<int> Layout::UnitsCovering(std::int64_t row, std::int64_t col) const {
  std::vector<int> units;
  const std::int64_t r1 = std::min<std::int64_t>(row / Stride(), m_rows - 1);
  const std::int64_t c1 = std::min<std::int64_t>(col / Stride(), m_columns - 1);
  for (std::int64_t r = std::max<std::int64_t>(r1 - 1, 0); r <= r1; ++r) {
    for (std::int64_t c = std::max<std::int64_t>(c1 - 1, 0); c <= c1; ++c) {
      const auto index = static_cast<int>(r * m_columns + c);
      if (index < m_params.count && Unit(index).Contains(row, col)) units.push_back(index);
    }
  }
  std::sort(units.begin(), units.end());
  return units;
}

std::int32_t Layout::TerrainCm(std::int64_t row, std::int64_t col) const {
  double noise = 0;
  double wave = kLongestWaveCells;
  double amplitude = kLargestAmplitudeCm;
  for (int o = 0; o < kOctaves; ++o) {
    noise +=
        amplitude * ValueNoise(static_cast<double>(col) / wave, static_cast<double>(row) / wave,
                               Mix(m_params.seed, 0x7E44A1Bull, static_cast<std::uint64_t>(o)));
    wave /= 2.0;
    amplitude /= 2.0;
  }
  return kBaseCm + static_cast<std::int32_t>(kSlopeCmPerCell * (row + col)) +
         static_cast<std::int32_t>(std::lround(noise));
}

std::int32_t Layout::ElevationCm(std::int64_t row, std::int64_t col) const {
  for (const Pocket& p : m_pockets) {
    if (!p.withRim.Contains(row, col)) continue;
    if (p.interior.Contains(row, col)) return TerrainCm(row, col) + m_pocketRaiseCm;
    return m_terrainMaxCm + m_pocketRaiseCm + kRimWallCm;
  }
  return TerrainCm(row, col);
}

// Two pockets per corner of four units at most: one in the vertical overlap of a left/right
// pair (open to the pair's common south edge) and one in the horizontal overlap of an
// upper/lower pair (open to the pair's common east edge). Both sit in the square where the
// overlaps cross, side by side with a one-cell canyon between their rims, so that each rim
// cell has lower ground outside and drains away from its pocket.
void Layout::AddPockets() {
  const int m = m_params.margin;
  const int c = m_params.cells;
  const int h = m / 2;
  const int length = std::min(c / 2, c - 2 * m - 4);
  if (m < 12 || length < 4) return;
  const std::int64_t s = Stride();
  for (int index = 0; index < m_params.count; ++index) {
    const int ur = index / m_columns;
    const int uc = index % m_columns;
    const std::int64_t stripCol =
        (uc + 1) * s;  // first column of the overlap with the right-hand unit
    if (uc + 1 < m_columns && index + 1 < m_params.count) {
      const std::int64_t southEdge = ur * s + c - 1;
      Pocket p;
      p.interior = CellRect{southEdge - length + 1, stripCol + 2, length, h - 4};
      p.withRim = CellRect{southEdge - length, stripCol + 1, length + 1, h - 2};
      m_pockets.push_back(p);
    }
    if (index + m_columns < m_params.count) {
      const std::int64_t bandRow = (ur + 1) * s;  // first row of the overlap with the unit below
      const std::int64_t eastEdge = uc * s + c - 1;
      Pocket p;
      p.interior = CellRect{bandRow + 2, stripCol + h + 1, m - 4, eastEdge - stripCol - h};
      p.withRim = CellRect{bandRow + 1, stripCol + h, m - 2, eastEdge - stripCol - h + 1};
      m_pockets.push_back(p);
    }
  }
}

std::string Layout::UnitCode(int index) {
  char code[16];
  std::snprintf(code, sizeof code, "U%03d", index + 1);
  return code;
}

std::string Layout::WorkspaceName(int index) { return "unit_" + UnitCode(index); }

}  // namespace rivanet::synth
