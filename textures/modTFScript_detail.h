// Shared helpers of the layer engine's two implementations: the floating-point check,
// the conversions to integers and bytes, and the split of independent rows over two threads.
#pragma once
#include <cfenv>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <system_error>
#include <thread>
#include <utility>

#include "platform/Errors.h"
#include "textures/modTFScript.h"

namespace kuvo::tfs {

constexpr int kFaultFlags = FE_OVERFLOW | FE_INVALID | FE_DIVBYZERO;

// Runs `body` with the fault flags cleared and raises FloatingPointError naming `operation`
// if it left any of them set. The flags are tested, never trapped.
template <class Body>
void Checked(const char* operation, Body&& body) {
  std::feclearexcept(FE_ALL_EXCEPT);
  body();
  if (std::fetestexcept(kFaultFlags)) throw FloatingPointError(operation);
}

// Round to nearest, ties to even. Cell counts and positions beyond 2^31 cells (or NaN) are an invalid
// operation: the flag is set and 0 returned, so the arithmetic that follows cannot overflow.
inline long RoundToLong(double v) {
  if (!(std::fabs(v) < 2147483648.0)) {
    std::feraiseexcept(FE_INVALID);
    return 0;
  }
  return std::lrint(v);
}

// A rounded value clamped to a byte. NaN sets the invalid flag and gives 0.
inline std::uint8_t ClampRoundedByte(double r) {
  if (r >= 0.0 && r <= 255.0) return static_cast<std::uint8_t>(r);
  if (r > 255.0) return 255;
  if (r < 0.0) return 0;
  std::feraiseexcept(FE_INVALID);
  return 0;
}

inline float* Cells(int layer) { return LayerCells(layer); }
inline std::size_t CellCount() { return static_cast<std::size_t>(LayerSize) * static_cast<std::size_t>(LayerSize); }

// The scratch grid of the neighbour operations, N x N, kept between operations of one store.
float* PrivateGrid();

// Work below this many cells runs on one thread: starting a thread costs about as much as 2^17 cells.
// Tests lower it to run the split on small grids.
extern std::size_t MinCellsToSplit;
bool HaveSecondCore();
// Tests set this to refuse every helper thread, as a system out of threads would.
extern bool RefuseHelperThreads;

// Starts the helper thread running `body`; throws std::system_error when no thread can be had.
template <class Body>
std::thread StartHelper(Body&& body) {
  if (RefuseHelperThreads) throw std::system_error(std::make_error_code(std::errc::resource_unavailable_try_again));
  return std::thread(std::forward<Body>(body));
}

// Where ParallelFor splits [0, count): half way when the work pays for a second thread, else count.
inline int SplitPoint(int count, std::size_t cellsPerItem) {
  if (count < 2 || static_cast<std::size_t>(count) * cellsPerItem < MinCellsToSplit || !HaveSecondCore())
    return count;
  return count / 2;
}

// Runs fn(begin, end) over [0, SplitPoint) here and [SplitPoint, count) on a second thread. Every item
// sees the same arithmetic whichever thread runs it, so the bits do not depend on the split.
// Floating-point flags are per thread: the worker's fault flags are raised again on the caller.
template <class Fn>
void ParallelFor(int count, std::size_t cellsPerItem, Fn&& fn) {
  int half = SplitPoint(count, cellsPerItem);
  if (half >= count) {
    fn(0, count);
    return;
  }
  int workerFlags = 0;
  std::thread worker;
  try {
    worker = StartHelper([&] {
      std::feclearexcept(FE_ALL_EXCEPT);
      fn(half, count);
      workerFlags = std::fetestexcept(kFaultFlags);
    });
  } catch (const std::system_error&) {
    // Both ranges here, one after the other: callers may have prepared state per range (the in-place
    // stencils keep the rows at each range's ends), so the ranges must stay those of the split.
    fn(0, half);
    fn(half, count);
    return;
  }
  fn(0, half);
  worker.join();
  if (workerFlags) std::feraiseexcept(workerFlags);
}

}  // namespace kuvo::tfs
