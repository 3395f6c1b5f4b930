#include "platform/auto_reset_event.h"

#include <gtest/gtest.h>
#include <thread>

namespace cantrix {
namespace {

using std::chrono::milliseconds;

TEST(AutoResetEvent, APollConsumesOneSignal)
{
    AutoResetEvent event;
    EXPECT_FALSE(event.Wait(milliseconds(0)));
    event.Set();
    event.Set();
    EXPECT_TRUE(event.Wait(milliseconds(0)));
    EXPECT_FALSE(event.Wait(milliseconds(0)));
    event.Set();
    event.Reset();
    EXPECT_FALSE(event.Wait(milliseconds(0)));
}

TEST(AutoResetEvent, AWaitEndsWhenAnotherThreadSets)
{
    AutoResetEvent event;
    std::thread setter([&] {
        std::this_thread::sleep_for(milliseconds(20));
        event.Set();
    });
    EXPECT_TRUE(event.Wait(milliseconds(60000)));
    setter.join();
    EXPECT_FALSE(event.Wait(milliseconds(10)));
}

} // namespace
} // namespace cantrix
