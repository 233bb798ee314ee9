// The training loop: epochs of the online Kohonen rule with a hard-edged
// neighbourhood, until the squared radius falls to `stop_radius`.
#pragma once

#include <cstdint>
#include <cstdio>

#include "som/map_storage.hpp"
#include "som/schedule.hpp"

namespace som {

// Trains until R ≤ stop_radius, writing one "%u\t%f" line per epoch to the
// log, which a thread of its own writes and flushes while training goes on;
// every line is in the stream, flushed, when this returns. The sizes travel
// with the structures.
void train_map(std::FILE* log, const sample_matrix& samples, weight_grid& grid, std::uint32_t& Krok,
               std::uint32_t radius_decay, std::uint32_t rate_decay, std::uint32_t stop_radius,
               std::uint32_t& Rozdil, assignment_table& assignments);

}  // namespace som
