#include <gtest/gtest.h>
#include <signal.h>

int main(int argc, char** argv)
{
    ::signal(SIGPIPE, SIG_IGN);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
