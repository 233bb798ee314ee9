// The kernels' meeting on a thread pool: each thread's candidate for a
// sample's winner goes to the others as a meeting note, and every thread
// picks the same winner from them by the search's tie rule.
#pragma once

#include "som/kernels/kernel.hpp"
#include "som/pool/thread_pool.hpp"

namespace som {

// A kernels::exchange_fn and a kernels::share_fn, with the pool as `sync`.
kernels::bmu_candidate exchange_on_pool(void* sync, unsigned thread, kernels::bmu_candidate mine);
double share_on_pool(void* sync, unsigned thread, double bound);

}  // namespace som
