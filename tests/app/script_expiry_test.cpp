#include "app/script_expiry.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>

#include "tests/support/local_moment.h"

namespace nimbus {
namespace {

// The station's clock, with summer time: Paris moved to it on 31 March 2024.
class script_expiry : public ::testing::Test {
protected:
  void SetUp() override {
    if (const char* tz = std::getenv("TZ"))
      saved_ = tz, hadTz_ = true;
    setenv("TZ", "Europe/Paris", 1);
    tzset();
  }
  void TearDown() override {
    if (hadTz_)
      setenv("TZ", saved_.c_str(), 1);
    else
      unsetenv("TZ");
    tzset();
  }

private:
  std::string saved_;
  bool hadTz_ = false;
};

TEST_F(script_expiry, runs_until_ten_local_days_after_its_modification) {
  using test::LocalMoment;
  const struct {
    const char* name;
    std::time_t modified;
    std::time_t now;
    bool expired;
  } cases[] = {
      {"modified now", LocalMoment(2024, 1, 10, 8, 0, 0), LocalMoment(2024, 1, 10, 8, 0, 0), false},
      {"exactly 10 days", LocalMoment(2024, 1, 10, 8, 0, 0), LocalMoment(2024, 1, 20, 8, 0, 0),
       false},
      {"10 days and 1 second", LocalMoment(2024, 1, 10, 8, 0, 0), LocalMoment(2024, 1, 20, 8, 0, 1),
       true},
      {"across the month end", LocalMoment(2024, 2, 25, 23, 59, 59),
       LocalMoment(2024, 3, 6, 23, 59, 59), false},
      // 239 hours across the change to summer time.
      {"10 local days into summer time", LocalMoment(2024, 3, 28, 12, 0, 0),
       LocalMoment(2024, 4, 7, 12, 0, 0), false},
      {"and 1 second more", LocalMoment(2024, 3, 28, 12, 0, 0), LocalMoment(2024, 4, 7, 12, 0, 1),
       true},
      {"modified in the future", LocalMoment(2099, 1, 1, 0, 0, 0), LocalMoment(2024, 1, 1, 0, 0, 0),
       false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(ScriptExpired(c.modified, c.now), c.expired);
  }
  EXPECT_EQ(ScriptExpiry(LocalMoment(2024, 3, 28, 12, 0, 0)), LocalMoment(2024, 4, 7, 12, 0, 0));
}

} // namespace
} // namespace nimbus
