// The refused-key limit as an address meets it, on a clock of the test's: a burst of refusals
// and then a wait for new keys while keys the address used go on; a refill; addresses and keys
// remembered within their bounds, the oldest forgotten first.
#include "vrel/server/refusal_limit.h"

#include <gtest/gtest.h>

namespace vrel::server {
namespace {

using std::chrono::seconds;

TEST(RefusalLimit, SpendsRefillsAndForgetsWithinItsBounds) {
  RefusalLimit limit({2, 10, 1, 2});
  const auto t = RefusalLimit::Clock::now();
  const std::uint64_t used = RefusalLimit::KeyId("7K3QD-0ZM4X-AAAAA-BBBBB-CCCCC-DDDDD");
  const std::uint64_t fresh = RefusalLimit::KeyId("7k3qd0zm4xaaaaabbbbbcccccdddd1");
  EXPECT_EQ(RefusalLimit::KeyId("not a key"), 0u);
  EXPECT_NE(used, fresh);
  limit.Succeeded("a", used);
  limit.Refused("a", t);
  EXPECT_EQ(limit.RetryAfter("a", fresh, t), 0);  // one refusal left of two
  limit.Refused("a", t);
  EXPECT_EQ(limit.RetryAfter("a", fresh, t), 10);
  EXPECT_EQ(limit.RetryAfter("a", 0, t), 10);  // a text not of a key's form: never used
  EXPECT_EQ(limit.RetryAfter("a", used, t), 0);
  EXPECT_EQ(limit.RetryAfter("b", fresh, t), 0);
  EXPECT_NEAR(limit.RetryAfter("a", fresh, t + seconds(4)), 6, 1);  // Succeeded read the clock
  EXPECT_EQ(limit.RetryAfter("a", fresh, t + seconds(11)), 0);

  // Keys: at most two an address, so a third pushes one out.
  limit.Refused("a", t + seconds(11));
  limit.Succeeded("a", 7);
  limit.Succeeded("a", 8);
  const int remembered = (limit.RetryAfter("a", used, t + seconds(11)) == 0) +
                         (limit.RetryAfter("a", 7, t + seconds(11)) == 0) +
                         (limit.RetryAfter("a", 8, t + seconds(11)) == 0);
  EXPECT_EQ(remembered, 2);
  // Addresses: at most one, so another's refusal makes this one's budget whole again.
  limit.Refused("b", t + seconds(11));
  EXPECT_EQ(limit.RetryAfter("a", fresh, t + seconds(11)), 0);
}

}  // namespace
}  // namespace vrel::server
