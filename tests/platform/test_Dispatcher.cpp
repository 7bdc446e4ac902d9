#include "platform/Dispatcher.h"

#include <atomic>
#include <gtest/gtest.h>
#include <thread>

using zv2::platform::TQueueDispatcher;

TEST(Dispatcher, PostedCallsRunOnlyOnTheUiThreadInOrder) {
    TQueueDispatcher ui;
    std::vector<int> order;
    std::thread worker([&] {
        for (int i = 0; i < 3; ++i)
            ui.Post([&order, i] { order.push_back(i); });
    });
    worker.join();
    EXPECT_TRUE(order.empty());
    EXPECT_EQ(ui.RunPending(), 3);
    EXPECT_EQ(order, (std::vector<int>{0, 1, 2}));
}

TEST(Dispatcher, CallWaitsForTheUiThreadAndRunsInlineThere) {
    TQueueDispatcher ui;
    bool inline_ran = false;
    EXPECT_TRUE(ui.Call([&] { inline_ran = true; }));
    EXPECT_TRUE(inline_ran);

    std::atomic<bool> returned{false};
    int value = 0;
    std::thread worker([&] {
        EXPECT_TRUE(ui.Call([&] { value = 42; }));
        returned = true;
    });
    while (ui.WaitAndRun(5000) == 0) {
    }
    worker.join();
    EXPECT_TRUE(returned);
    EXPECT_EQ(value, 42);
}

TEST(Dispatcher, ShutdownReleasesAWorkerWaitingInCall) {
    TQueueDispatcher ui;
    std::atomic<int> result{-1};
    bool ran = false;
    std::thread worker([&] { result = ui.Call([&] { ran = true; }) ? 1 : 0; });
    while (ui.PendingCount() == 0)
        std::this_thread::yield();
    // The UI thread is ending: it shuts the dispatcher down instead of running the queue.
    ui.Shutdown();
    worker.join();
    ui.RunPending();
    EXPECT_EQ(result, 0);
    EXPECT_FALSE(ran);
    std::thread late([&] { result = ui.Call([&] { ran = true; }) ? 1 : 0; });
    late.join();
    EXPECT_EQ(result, 0);
}

TEST(Dispatcher, ManualTimersFireInTimeOrderAndStopWhenDisabled) {
    TQueueDispatcher ui;
    auto fast = ui.CreateTimer();
    auto slow = ui.CreateTimer();
    std::vector<std::string> log;
    fast->OnTimer = [&] { log.push_back("fast@" + std::to_string(ui.NowMs())); };
    slow->OnTimer = [&] { log.push_back("slow@" + std::to_string(ui.NowMs())); };
    fast->SetInterval(100);
    slow->SetInterval(250);
    fast->SetEnabled(true);
    slow->SetEnabled(true);
    ui.AdvanceTime(300);
    EXPECT_EQ(log, (std::vector<std::string>{"fast@100", "fast@200", "slow@250", "fast@300"}));
    log.clear();
    fast->SetEnabled(false);
    ui.AdvanceTime(300);
    EXPECT_EQ(log, (std::vector<std::string>{"slow@500"}));
}
