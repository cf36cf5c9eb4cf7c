#include <gtest/gtest.h>

#include "platform/signals.h"

int main(int argc, char* argv[])
{
    vornix7::IgnoreWriteSignals();
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
