#include "tools/bench_bridge/chaos_faults.h"

#include <gtest/gtest.h>

namespace corvane {
namespace {

// The printed seed must repeat a run, and a fault never lands on a target that is still
// busy with the last one (a client closed twice, a transceiver frozen while pulled).
TEST(FaultPicker, RepeatsItsSeedAndSparesBusyTargets) {
  struct Case {
    std::vector<bool> clients_busy;
    bool rig_busy;
    bool on_rig_allowed;
    bool on_a_allowed;
    bool on_b_allowed;
  };
  const Case cases[] = {
      {{false, false}, false, true, true, true},
      {{true, false}, false, true, false, true},
      {{false, true}, true, false, true, false},
      {{true, true}, false, true, false, false},
  };
  for (const Case& c : cases) {
    FaultPicker picker(42, AllFaults(), 2);
    FaultPicker again(42, AllFaults(), 2);
    for (int i = 0; i < 200; ++i) {
      const std::optional<FaultEvent> e = picker.Next(c.clients_busy, c.rig_busy);
      const std::optional<FaultEvent> e2 = again.Next(c.clients_busy, c.rig_busy);
      ASSERT_TRUE(e.has_value());
      ASSERT_TRUE(e2.has_value());
      EXPECT_EQ(e->fault, e2->fault);
      EXPECT_EQ(e->length, e2->length);
      EXPECT_EQ(e->amount, e2->amount);
      EXPECT_TRUE(e->target == kRigTarget ? c.on_rig_allowed
                  : e->target == 0        ? c.on_a_allowed
                                          : c.on_b_allowed)
          << FaultName(e->fault) << " on " << e->target;
      if (e->fault == Fault::kBurst) {
        EXPECT_GT(e->amount, 128);
      }
    }
  }
  FaultPicker only_clients(7, {Fault::kBurst}, 2);
  EXPECT_FALSE(only_clients.Next({true, true}, false).has_value());
}

TEST(FaultPicker, FaultListsAreReadByName) {
  EXPECT_EQ(ParseFaults("burst,pull-rig"),
            (std::optional<std::vector<Fault>>{{Fault::kBurst, Fault::kPullRig}}));
  for (const char* bad : {"", ",", "burst,unplug"}) EXPECT_FALSE(ParseFaults(bad)) << bad;
  for (Fault fault : AllFaults()) EXPECT_EQ(ParseFaults(FaultName(fault))->front(), fault);
}

}  // namespace
}  // namespace corvane
