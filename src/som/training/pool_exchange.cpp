#include "som/training/pool_exchange.hpp"

#include <cstring>

namespace som {

namespace {

static_assert(sizeof(kernels::bmu_candidate) == sizeof(pool::meeting_note),
              "a candidate travels as one note");

pool::meeting_note to_note(const kernels::bmu_candidate& c) {
  pool::meeting_note note;
  std::memcpy(&note, &c, sizeof note);
  return note;
}

kernels::bmu_candidate from_note(const pool::meeting_note& note) {
  kernels::bmu_candidate c;
  std::memcpy(&c, &note, sizeof c);
  return c;
}

}  // namespace

kernels::bmu_candidate exchange_on_pool(void* sync, unsigned thread, kernels::bmu_candidate mine) {
  pool::thread_pool& team = *static_cast<pool::thread_pool*>(sync);
  const pool::meeting_note* notes = team.meet(thread, to_note(mine));
  kernels::bmu_candidate best = from_note(notes[0]);
  for (unsigned t = 1; t < team.threads(); ++t) {
    const kernels::bmu_candidate other = from_note(notes[t]);
    if (kernels::nearer(other, best)) best = other;
  }
  return best;
}

double share_on_pool(void* sync, unsigned thread, double bound) {
  return static_cast<pool::thread_pool*>(sync)->share(thread, bound);
}

}  // namespace som
