#include "Hydrology.h"

#include <algorithm>
#include <cmath>
#include <functional>
#include <queue>
#include <stdexcept>

#include "SynthRandom.h"

namespace rivanet::synth {

namespace {

// Filled surface in 1/1024 cm, so that the epsilon that drains a flat stays far below the
// centimetre resolution of the elevation grid.
constexpr std::uint32_t kFillScale = 1024;

struct Extent {
  int rows;
  int cols;
  bool Inside(int r, int c) const { return r >= 0 && r < rows && c >= 0 && c < cols; }
};

// Direction slot of an edge cell: straight off the nearest edge, diagonally off a corner.
int OutwardSlot(const Extent& e, int r, int c) {
  const bool top = r == 0, bottom = r == e.rows - 1, left = c == 0, right = c == e.cols - 1;
  if (top && left) return 5;
  if (top && right) return 7;
  if (bottom && left) return 3;
  if (bottom && right) return 1;
  if (top) return 6;
  if (bottom) return 2;
  if (left) return 4;
  return 0;
}

}  // namespace

int DirectionSlot(std::uint8_t code) {
  for (int k = 0; k < 8; ++k)
    if (kDirCodes[k] == code) return k;
  return -1;
}

UnitHydrology ComputeHydrology(const Layout& layout, int unitIndex, int threshold) {
  if (threshold < 2) throw std::invalid_argument("the stream threshold must be at least 2 cells");
  UnitHydrology h;
  h.rect = layout.Unit(unitIndex);
  const Extent ext{static_cast<int>(h.rect.rows), static_cast<int>(h.rect.cols)};
  const std::size_t n = static_cast<std::size_t>(ext.rows) * static_cast<std::size_t>(ext.cols);
  auto globalOf = [&](std::size_t local) {
    return layout.GlobalIndex(h.rect.row0 + static_cast<std::int64_t>(local) / ext.cols,
                              h.rect.col0 + static_cast<std::int64_t>(local) % ext.cols);
  };

  h.elevCm.resize(n);
  for (int r = 0; r < ext.rows; ++r)
    for (int c = 0; c < ext.cols; ++c)
      h.elevCm[static_cast<std::size_t>(r) * ext.cols + c] =
          layout.ElevationCm(h.rect.row0 + r, h.rect.col0 + c);

  // Priority flood from the unit edge. Keys order by filled height, then by position; the
  // row-major local order equals the global order inside a unit, so a pocket of terrain that
  // two units share floods the same way in both.
  std::vector<std::uint32_t> z(n, 0);
  std::vector<std::int32_t> order;
  order.reserve(n);
  {
    std::vector<std::uint8_t> queued(n, 0);
    std::priority_queue<std::uint64_t, std::vector<std::uint64_t>, std::greater<>> heap;
    auto push = [&](std::size_t i, std::uint32_t height) {
      z[i] = height;
      queued[i] = 1;
      heap.push((static_cast<std::uint64_t>(height) << 32) | static_cast<std::uint64_t>(i));
    };
    for (int r = 0; r < ext.rows; ++r)
      for (int c = 0; c < ext.cols; ++c)
        if (r == 0 || c == 0 || r == ext.rows - 1 || c == ext.cols - 1) {
          const std::size_t i = static_cast<std::size_t>(r) * ext.cols + c;
          push(i, static_cast<std::uint32_t>(h.elevCm[i]) * kFillScale);
        }
    while (!heap.empty()) {
      const std::uint64_t key = heap.top();
      heap.pop();
      const auto i = static_cast<std::size_t>(key & 0xFFFFFFFFull);
      order.push_back(static_cast<std::int32_t>(i));
      const int r = static_cast<int>(i / ext.cols), c = static_cast<int>(i % ext.cols);
      for (int k = 0; k < 8; ++k) {
        const int nr = r + kDirRow[k], nc = c + kDirCol[k];
        if (!ext.Inside(nr, nc)) continue;
        const std::size_t j = static_cast<std::size_t>(nr) * ext.cols + nc;
        if (queued[j]) continue;
        push(j, std::max(static_cast<std::uint32_t>(h.elevCm[j]) * kFillScale, z[i] + 1));
      }
    }
  }

  // Steepest descent on the filled surface; every inner cell has a lower neighbour (the one
  // that flooded it), so directions never loop and always end at the edge.
  h.fdr.assign(n, 0);
  std::vector<std::int32_t> downOf(n, -1);
  const double diag = std::sqrt(2.0);
  for (int r = 0; r < ext.rows; ++r) {
    for (int c = 0; c < ext.cols; ++c) {
      const std::size_t i = static_cast<std::size_t>(r) * ext.cols + c;
      if (r == 0 || c == 0 || r == ext.rows - 1 || c == ext.cols - 1) {
        h.fdr[i] = kDirCodes[OutwardSlot(ext, r, c)];
        continue;
      }
      int best = -1;
      double bestSlope = 0;
      for (int k = 0; k < 8; ++k) {
        const std::size_t j =
            static_cast<std::size_t>(r + kDirRow[k]) * ext.cols + (c + kDirCol[k]);
        if (z[j] >= z[i]) continue;
        const double slope = static_cast<double>(z[i] - z[j]) / ((k % 2) ? diag : 1.0);
        if (slope > bestSlope) {
          bestSlope = slope;
          best = k;
        }
      }
      if (best < 0) throw std::logic_error("a filled cell has no lower neighbour");
      h.fdr[i] = kDirCodes[best];
      downOf[i] = static_cast<std::int32_t>(static_cast<std::size_t>(r + kDirRow[best]) * ext.cols +
                                            (c + kDirCol[best]));
    }
  }

  // Flood order is ascending height, and flow always goes to a lower cell: walking it
  // backwards visits every cell after all cells upstream of it.
  h.acc.assign(n, 1);
  for (auto it = order.rbegin(); it != order.rend(); ++it)
    if (downOf[static_cast<std::size_t>(*it)] >= 0)
      h.acc[static_cast<std::size_t>(downOf[static_cast<std::size_t>(*it)])] +=
          h.acc[static_cast<std::size_t>(*it)];

  // Reaches start at sources (no stream cell upstream) and at confluences (two or more).
  std::vector<std::uint8_t> streamUps(n, 0);
  for (std::size_t i = 0; i < n; ++i)
    if (h.acc[i] >= threshold && downOf[i] >= 0) {
      auto& u = streamUps[static_cast<std::size_t>(downOf[i])];
      if (u < 255) ++u;
    }
  std::vector<std::int32_t> reachOf(n, -1);
  for (const std::int32_t start : order) {
    const auto s = static_cast<std::size_t>(start);
    if (h.acc[s] < threshold || streamUps[s] == 1) continue;
    Reach reach;
    std::int32_t cell = start;
    const int id = static_cast<int>(h.reaches.size());
    while (true) {
      reach.cells.push_back(cell);
      reachOf[static_cast<std::size_t>(cell)] = id;
      const std::int32_t next = downOf[static_cast<std::size_t>(cell)];
      if (next < 0 || streamUps[static_cast<std::size_t>(next)] != 1) break;
      cell = next;
    }
    h.reaches.push_back(std::move(reach));
  }

  // Catchments: a cell drains to the reach of the first stream cell on its flow path.
  h.catReach.assign(n, -1);
  for (const std::int32_t cell : order) {
    const auto i = static_cast<std::size_t>(cell);
    if (reachOf[i] >= 0)
      h.catReach[i] = reachOf[i];
    else if (downOf[i] >= 0)
      h.catReach[i] = h.catReach[static_cast<std::size_t>(downOf[i])];
  }

  // Downstream first: sort by filled height of the outlet (then position).
  std::vector<std::uint64_t> outletKey(h.reaches.size());
  for (std::size_t r = 0; r < h.reaches.size(); ++r) {
    const auto outlet = static_cast<std::size_t>(h.reaches[r].cells.back());
    outletKey[r] = (static_cast<std::uint64_t>(z[outlet]) << 32) | outlet;
  }
  std::vector<int> sorted(h.reaches.size());
  for (std::size_t r = 0; r < sorted.size(); ++r) sorted[r] = static_cast<int>(r);
  std::sort(sorted.begin(), sorted.end(), [&](int a, int b) {
    return outletKey[static_cast<std::size_t>(a)] < outletKey[static_cast<std::size_t>(b)];
  });
  std::vector<int> newId(h.reaches.size());
  for (std::size_t k = 0; k < sorted.size(); ++k)
    newId[static_cast<std::size_t>(sorted[k])] = static_cast<int>(k);
  {
    std::vector<Reach> reordered(h.reaches.size());
    for (std::size_t r = 0; r < h.reaches.size(); ++r)
      reordered[static_cast<std::size_t>(newId[r])] = std::move(h.reaches[r]);
    h.reaches = std::move(reordered);
    for (auto& v : reachOf)
      if (v >= 0) v = newId[static_cast<std::size_t>(v)];
    for (auto& v : h.catReach)
      if (v >= 0) v = newId[static_cast<std::size_t>(v)];
  }
  z.clear();
  z.shrink_to_fit();
  order.clear();
  order.shrink_to_fit();

  // Topology and per-reach measures.
  for (std::size_t r = 0; r < h.reaches.size(); ++r) {
    Reach& reach = h.reaches[r];
    const auto first = static_cast<std::size_t>(reach.cells.front());
    const auto outlet = static_cast<std::size_t>(reach.cells.back());
    reach.firstGlobal = globalOf(first);
    reach.outletGlobal = globalOf(outlet);
    reach.outletAcc = h.acc[outlet];
    reach.topElevCm = h.elevCm[first];
    reach.outletElevCm = h.elevCm[outlet];
    const std::int32_t next = downOf[outlet];
    reach.down = next >= 0 ? reachOf[static_cast<std::size_t>(next)] : -1;
    if (reach.down >= 0)
      h.reaches[static_cast<std::size_t>(reach.down)].ups.push_back(static_cast<int>(r));
    double length = 0;
    for (std::size_t k = 0; k < reach.cells.size(); ++k) {
      const auto cell = static_cast<std::size_t>(reach.cells[k]);
      const int slot = DirectionSlot(h.fdr[cell]);
      const double step = (slot % 2) ? diag * kCellSize : kCellSize;
      // The last step runs to the next reach's first cell, or half a step to the unit edge.
      length += (k + 1 < reach.cells.size() || downOf[cell] >= 0) ? step : step / 2;
    }
    reach.lengthM = length;
  }
  for (std::size_t i = 0; i < n; ++i) {
    const std::int32_t r = h.catReach[i];
    if (r < 0) continue;
    Reach& reach = h.reaches[static_cast<std::size_t>(r)];
    ++reach.catchCells;
    reach.catchHash += SplitMix64(static_cast<std::uint64_t>(globalOf(i)));
  }

  // Upstream measures, upstream reaches first.
  for (std::size_t k = h.reaches.size(); k-- > 0;) {
    Reach& reach = h.reaches[k];
    std::sort(reach.ups.begin(), reach.ups.end(), [&](int a, int b) {
      const Reach& ra = h.reaches[static_cast<std::size_t>(a)];
      const Reach& rb = h.reaches[static_cast<std::size_t>(b)];
      if (ra.outletAcc != rb.outletAcc) return ra.outletAcc > rb.outletAcc;
      return ra.outletGlobal < rb.outletGlobal;
    });
    reach.arbolateKm = reach.lengthM / 1000.0;
    int top = 0, topCount = 0;
    for (int u : reach.ups) {
      const Reach& up = h.reaches[static_cast<std::size_t>(u)];
      reach.arbolateKm += up.arbolateKm;
      if (up.strahler > top) {
        top = up.strahler;
        topCount = 1;
      } else if (up.strahler == top) {
        ++topCount;
      }
    }
    reach.strahler = reach.ups.empty() ? 1 : (topCount >= 2 ? top + 1 : top);
    reach.mainUp = reach.ups.empty() ? -1 : reach.ups.front();
  }
  // Downstream measures, downstream reaches first.
  for (std::size_t k = 0; k < h.reaches.size(); ++k) {
    Reach& reach = h.reaches[k];
    if (reach.down >= 0) {
      const Reach& dn = h.reaches[static_cast<std::size_t>(reach.down)];
      reach.pathLengthKm = dn.pathLengthKm + dn.lengthM / 1000.0;
    }
    // Path length in metres keeps hydroSeq growing upstream; the low bits separate reaches
    // that lie at the same distance from their outlets.
    reach.hydroSeq = static_cast<std::int32_t>(std::lround(reach.pathLengthKm * 1000.0)) * 16 +
                     static_cast<std::int32_t>(reach.outletGlobal & 15) + 1;
    if (reach.down < 0) {
      reach.level = 1;
      reach.levelPath = reach.hydroSeq;
      reach.terminalPath = reach.hydroSeq;
    } else {
      const Reach& dn = h.reaches[static_cast<std::size_t>(reach.down)];
      const bool mainStem = dn.mainUp == static_cast<int>(k);
      reach.level = mainStem ? dn.level : dn.level + 1;
      reach.levelPath = mainStem ? dn.levelPath : reach.hydroSeq;
      reach.terminalPath = dn.terminalPath;
    }
  }
  for (Reach& reach : h.reaches) {
    std::uint64_t sig = Mix(0x5EAC4ull, reach.cells.size());
    for (std::int32_t cell : reach.cells)
      sig = Mix(sig, static_cast<std::uint64_t>(globalOf(static_cast<std::size_t>(cell))));
    sig = Mix(sig, static_cast<std::uint64_t>(reach.outletAcc),
              static_cast<std::uint64_t>(reach.catchCells));
    sig = Mix(sig, reach.catchHash, static_cast<std::uint64_t>(reach.strahler));
    sig = Mix(sig, static_cast<std::uint64_t>(std::llround(reach.arbolateKm * 1e6)),
              static_cast<std::uint64_t>(std::llround(reach.pathLengthKm * 1e6)));
    sig = Mix(sig, static_cast<std::uint64_t>(reach.level),
              static_cast<std::uint64_t>(reach.levelPath));
    sig = Mix(sig, static_cast<std::uint64_t>(reach.terminalPath),
              static_cast<std::uint64_t>(reach.ups.size()));
    if (reach.mainUp >= 0) {
      const Reach& up = h.reaches[static_cast<std::size_t>(reach.mainUp)];
      sig = Mix(sig, static_cast<std::uint64_t>(up.hydroSeq),
                static_cast<std::uint64_t>(up.levelPath));
    }
    reach.shapeHash = sig;
  }
  return h;
}

}  // namespace rivanet::synth
