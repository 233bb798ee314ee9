// When the kernels keep subnormal weights out of their arithmetic (the Tame
// build of the epoch, see kernel_tiles.hpp): only where that gives the same
// numbers, and only on a processor that slows down for subnormal operands.
#pragma once

#include "som/map/map_storage.hpp"

namespace som::kernels {

// How an epoch treats subnormal weights: as this processor and the map
// decide, never apart, or apart wherever that is exact (for tests and
// benchmarks).
enum class subnormal_mode { automatic, plain, tame };

// Whether every sample component x is ±0, infinite, NaN or at least 2^-968
// in size, 0 <= learning_rate <= 1, and every finite nonzero x has
// |x| × learning_rate (rounded) at least 2^-968: the conditions under which
// the Tame epoch computes exactly what the plain loops do. Integer tests on
// the bits, and one multiplication.
bool tame_is_exact(const sample_matrix& samples, double learning_rate);

// Whether some weight of the grid is subnormal.
bool has_subnormal(const weight_grid& grid);

// Whether this processor takes a slow path for a subnormal operand: measured
// once per process (well under a millisecond), a chain of multiplications
// with a subnormal operand against the same chain with a normal one.
bool subnormals_slow();

}  // namespace som::kernels
