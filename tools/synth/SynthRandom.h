#pragma once

#include <cstdint>
#include <string_view>

namespace rivanet::synth {

// Every random choice of the generator comes from these mixing functions, keyed by the seed
// and by global positions or reach identities. The standard library's distributions are not
// used on purpose: their output differs between library versions, and the generated
// workspaces must come out the same wherever the tool is built.

inline std::uint64_t SplitMix64(std::uint64_t x) {
  x += 0x9E3779B97F4A7C15ull;
  x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
  x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
  return x ^ (x >> 31);
}

inline std::uint64_t Mix(std::uint64_t a, std::uint64_t b) { return SplitMix64(a ^ SplitMix64(b)); }

inline std::uint64_t Mix(std::uint64_t a, std::uint64_t b, std::uint64_t c) {
  return Mix(Mix(a, b), c);
}

inline std::uint64_t HashText(std::string_view text) {
  std::uint64_t h = 0xCBF29CE484222325ull;  // FNV-1a, then mixed
  for (unsigned char ch : text) h = (h ^ ch) * 0x100000001B3ull;
  return SplitMix64(h);
}

// Uniform in [0, 1) from the top 53 bits.
inline double UnitInterval(std::uint64_t h) { return static_cast<double>(h >> 11) * 0x1.0p-53; }

// Uniform in [lo, hi).
inline double Uniform(std::uint64_t h, double lo, double hi) {
  return lo + (hi - lo) * UnitInterval(h);
}

// Uniform integer in [lo, hi].
inline std::int64_t UniformInt(std::uint64_t h, std::int64_t lo, std::int64_t hi) {
  return lo + static_cast<std::int64_t>(h % static_cast<std::uint64_t>(hi - lo + 1));
}

}  // namespace rivanet::synth
