// The processor targets: one entry each, widest first, and the choice of a
// component's build among those it has.
#include "common/targets.hpp"

#include <gtest/gtest.h>

#include <set>
#include <string>

namespace {

TEST(Targets, ListedWidestFirstEachOnce) {
  const auto all = som::targets();
  std::set<std::string> names;
  for (std::size_t i = 0; i < all.size(); ++i) {
    EXPECT_EQ(som::slot(all[i].id), i);
    EXPECT_EQ(&som::target_of(all[i].id), &all[i]);
    EXPECT_TRUE(names.insert(all[i].name).second) << all[i].name;
    EXPECT_EQ(som::find_target(all[i].name), &all[i]);
    // A target needs at least what every narrower one needs.
    if (i + 1 < all.size()) {
      EXPECT_TRUE(som::has_features(all[i].needs, all[i + 1].needs)) << all[i].name;
    }
  }
  EXPECT_EQ(som::find_target("neon"), nullptr);
  EXPECT_EQ(all.back().id, som::target_id::portable);
  EXPECT_TRUE(som::in_baseline(all.back()));
  EXPECT_TRUE(som::runs_here(som::target_id::portable));
  EXPECT_FALSE(som::in_baseline(som::target_of(som::target_id::avx2)));
}

// A component's builds: the widest one that runs here, the widest that
// every processor runs, and the portable one where nothing else is built.
TEST(Targets, WidestBuildSkipsTheTargetsWithoutOne) {
  using som::target_id;
  som::per_target<bool> builds{};
  builds[som::slot(target_id::portable)] = true;
  EXPECT_EQ(som::widest_build(builds), target_id::portable);
  EXPECT_EQ(som::widest_build(builds, true), target_id::portable);
  builds[som::slot(target_id::sse2)] = true;
  EXPECT_EQ(som::widest_build(builds), target_id::sse2);
  EXPECT_EQ(som::widest_build(builds, true), target_id::sse2);
  builds[som::slot(target_id::avx2)] = true;
  const target_id widest = som::widest_build(builds);
  EXPECT_EQ(widest, som::runs_here(target_id::avx2) ? target_id::avx2 : target_id::sse2);
  EXPECT_EQ(som::widest_build(builds, true), target_id::sse2);
  builds[som::slot(target_id::avx512)] = true;
  EXPECT_TRUE(som::runs_here(som::widest_build(builds)));
  for (const som::target_entry& target : som::targets()) {
    if (target.id == som::widest_build(builds)) break;
    EXPECT_FALSE(som::runs_here(target.id)) << target.name << " runs here and is wider";
  }
}

}  // namespace
