#include "support/watchdog.h"

int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  watchEveryTest(std::chrono::seconds(TEST_DEADLINE_SECONDS));
  return RUN_ALL_TESTS();
}
