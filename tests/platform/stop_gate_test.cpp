// The stop of a run against the putting in place of its files: whichever comes
// first wins, and the other is refused until the run's state is lifted.
#include "platform/stop_gate.h"

#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <string>

namespace gate = plat::stop_gate;

TEST(StopGate, AStopAndThePuttingInPlaceExcludeEachOther)
{
  // Each step: 's' asks for the stop, 'c' claims the putting in place, 'f'
  // forgets a claim (a run starts), 'o' forgets a stop (a run ends), 'h'
  // holds the putting in place back and 'r' releases it; the answers of 's',
  // 'c' and 'h' in order, and whether a stop is in force at the end.
  const struct {
    const char* steps;
    std::string answers;
    bool stopped;
  } cases[] = {
      {"sc", "10", true},       // a stop first: nothing is put in place
      {"cs", "10", false},      // putting in place first: the stop is refused
      {"ss", "11", true},       // asking twice keeps the stop
      {"cc", "11", false},      // claiming twice keeps the claim
      {"cosc", "101", false},   // a run's end keeps the claim of files put in place
      {"cfsc", "110", true},    // the next run starts: a stop is taken again
      {"sfc", "10", true},      // a stop before the run starts is kept
      {"soc", "11", false},     // a run's end lifts its stop
      {"hs", "11", true},       // a stop while held is taken
      {"hrc", "11", false},     // released: the putting in place goes ahead
      {"hh", "11", false},      // holding twice keeps the hold
      {"sh", "10", true},       // too late to hold: stopped
      {"ch", "10", false},      // too late to hold: being put in place
  };
  for (const auto& c : cases) {
    gate::reset();
    std::string answers;
    for (const char* step = c.steps; *step != '\0'; ++step) {
      switch (*step) {
      case 's': answers += gate::stop() ? '1' : '0'; break;
      case 'c': answers += gate::begin_commit() ? '1' : '0'; break;
      case 'f': gate::forget_commit(); break;
      case 'o': gate::forget_stop(); break;
      case 'h': answers += gate::hold() ? '1' : '0'; break;
      case 'r': gate::release(); break;
      }
    }
    EXPECT_EQ(answers, c.answers) << c.steps;
    EXPECT_EQ(gate::stopped(), c.stopped) << c.steps;
  }
  gate::reset();
}

TEST(StopGate, AHeldClaimWaitsForTheReleaseOrTheStop)
{
  using namespace std::chrono_literals;
  for (const bool stop : {false, true}) {
    gate::reset();
    ASSERT_TRUE(gate::hold());
    std::future<bool> claim = std::async(std::launch::async, [] { return gate::begin_commit(); });
    EXPECT_EQ(claim.wait_for(100ms), std::future_status::timeout) << stop;
    if (stop)
      EXPECT_TRUE(gate::stop());
    else
      gate::release();
    ASSERT_EQ(claim.wait_for(2s), std::future_status::ready) << stop;
    EXPECT_EQ(claim.get(), !stop);
    EXPECT_EQ(gate::stopped(), stop);
  }
  gate::reset();
}
