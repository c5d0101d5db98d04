#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  ::signal(SIGPIPE, SIG_IGN);
  return RUN_ALL_TESTS();
}
