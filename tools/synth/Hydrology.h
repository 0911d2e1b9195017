#pragma once

#include <cstdint>
#include <vector>

#include "Layout.h"

namespace rivanet::synth {

// D8 flow direction codes, clockwise from east.
inline constexpr std::uint8_t kDirCodes[8] = {1, 2, 4, 8, 16, 32, 64, 128};
inline constexpr int kDirRow[8] = {0, 1, 1, 1, 0, -1, -1, -1};
inline constexpr int kDirCol[8] = {1, 1, 0, -1, -1, -1, 0, 1};

// Position of a D8 code in kDirCodes, or -1 for anything else.
int DirectionSlot(std::uint8_t code);

// One stream reach: a run of stream cells from a source or confluence down to the cell
// before the next confluence, or to the unit edge.
struct Reach {
  std::vector<std::int32_t> cells;  // local cell indices, upstream first
  int down = -1;                    // reach downstream of this one, -1 when it leaves the unit
  std::vector<int> ups;             // reaches flowing into its first cell
  int mainUp = -1;                  // the upstream reach with the largest drainage area

  std::int64_t firstGlobal = 0;   // global index of the first cell
  std::int64_t outletGlobal = 0;  // global index of the last cell
  std::int32_t outletAcc = 0;     // cells draining through the outlet, itself included
  std::int32_t catchCells = 0;    // cells of its catchment
  std::uint64_t catchHash = 0;    // order-free hash of the catchment's global cells
  std::int32_t topElevCm = 0;     // terrain at the first and last cell
  std::int32_t outletElevCm = 0;

  double lengthM = 0;       // first cell centre to the next reach (or the unit edge)
  double arbolateKm = 0;    // length of this reach and everything upstream
  double pathLengthKm = 0;  // from the outlet to the end of the terminal reach
  int strahler = 1;
  int level = 1;                  // 1 on the main stem of a terminal reach, +1 per side branch
  std::int32_t hydroSeq = 0;      // grows upstream
  std::int32_t levelPath = 0;     // hydroSeq of the most downstream reach of its main path
  std::int32_t terminalPath = 0;  // hydroSeq of its terminal reach

  // Hash of everything above that describes the reach itself; the same reach computed in
  // another unit gets the same value only when cells, catchment, upstream and downstream agree.
  std::uint64_t shapeHash = 0;
};

struct UnitHydrology {
  CellRect rect;
  std::vector<std::int32_t> elevCm;    // raw terrain, row-major
  std::vector<std::uint8_t> fdr;       // D8 codes; edge cells point off the unit
  std::vector<std::int32_t> acc;       // cells draining through each cell, itself included
  std::vector<std::int32_t> catReach;  // reach each cell drains to first, -1 for none
  std::vector<Reach> reaches;          // downstream reaches before the ones above them

  int Cols() const { return static_cast<int>(rect.cols); }
  int Rows() const { return static_cast<int>(rect.rows); }
};

// Fills depressions (priority flood with an epsilon, ties broken by position), derives D8
// directions, accumulation, streams of at least `threshold` cells, reaches and catchments
// for one unit. Memory stays at a few arrays of the unit's size.
UnitHydrology ComputeHydrology(const Layout& layout, int unitIndex, int threshold);

}  // namespace rivanet::synth
