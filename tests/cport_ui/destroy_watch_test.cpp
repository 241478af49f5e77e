// Learning of a component's destruction through a notice it owns.
#include "cport_ui/destroy_watch.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

namespace {

using corvane::DestroyWatch;

TEST(DestroyWatch, CallsBackOnceWithTheDestroyedComponent) {
  std::vector<TComponent*> seen;
  DestroyWatch watch;
  auto component = std::make_unique<TComponent>();
  TComponent* address = component.get();
  watch.Watch(*component, [&](TComponent* destroyed) { seen.push_back(destroyed); });
  EXPECT_TRUE(watch.Watching());
  component.reset();
  EXPECT_EQ(seen, std::vector<TComponent*>{address});
  EXPECT_FALSE(watch.Watching());
}

TEST(DestroyWatch, ResetOrRewatchStopsTheCallback) {
  int calls = 0;
  auto first = std::make_unique<TComponent>();
  auto second = std::make_unique<TComponent>();
  {
    DestroyWatch watch;
    watch.Watch(*first, [&](TComponent*) { ++calls; });
    watch.Watch(*second, [&](TComponent*) { calls += 10; });
    first.reset();
    EXPECT_EQ(calls, 0);
    watch.Reset();
    second = std::make_unique<TComponent>();
    watch.Watch(*second, [&](TComponent*) { calls += 100; });
  }  // the watch goes first: its notice leaves the component
  second.reset();
  EXPECT_EQ(calls, 0);
}

TEST(DestroyWatch, CallbackMayResetItsOwnWatch) {
  DestroyWatch watch;
  bool called = false;
  auto component = std::make_unique<TComponent>();
  watch.Watch(*component, [&](TComponent*) {
    called = true;
    watch.Reset();
  });
  component.reset();
  EXPECT_TRUE(called);
}

}  // namespace
