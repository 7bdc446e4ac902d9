// The program's UI-thread dispatcher on Qt's event loop: calls posted from
// other threads run on the UI thread, each thread's in the order posted, and
// what a poster wrote before posting is seen by the call (under
// ThreadSanitizer this test fails if the hand-off is one it cannot see).
#include "app/untQtDispatcher.h"

#include "QtTestApp.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>
#include <gtest/gtest.h>
#include <string>
#include <thread>
#include <vector>

TEST(QtDispatcher, CallsFromOtherThreadsRunOnTheUiThreadInTheirOrderWithWhatThePosterWrote) {
    zv2::app::TQtDispatcher dispatcher;
    constexpr int kThreads = 4, kCalls = 200;
    std::vector<std::vector<std::string>> seen(kThreads);
    int ran = 0;
    bool allOnUiThread = true;
    QEventLoop loop;
    std::vector<std::thread> posters;
    for (int t = 0; t < kThreads; ++t) {
        posters.emplace_back([&, t] {
            for (int i = 0; i < kCalls; ++i) {
                // Written here, read on the UI thread: only the hand-off orders the two.
                auto text = std::make_shared<std::string>(std::to_string(i));
                dispatcher.Post([&, t, text] {
                    allOnUiThread = allOnUiThread && dispatcher.IsUiThread();
                    seen[t].push_back(*text);
                    if (++ran == kThreads * kCalls)
                        loop.quit();
                });
            }
        });
    }
    QTimer::singleShot(60000, &loop, &QEventLoop::quit); // a bound, should the calls never come
    loop.exec();
    for (auto& poster : posters)
        poster.join();
    EXPECT_EQ(ran, kThreads * kCalls);
    EXPECT_TRUE(allOnUiThread);
    for (int t = 0; t < kThreads; ++t) {
        ASSERT_EQ(seen[t].size(), static_cast<std::size_t>(kCalls)) << t;
        for (int i = 0; i < kCalls; ++i)
            EXPECT_EQ(seen[t][static_cast<std::size_t>(i)], std::to_string(i)) << t;
    }
}

TEST(QtDispatcher, ACallWaitsForTheUiThreadAndShutdownLetsWaitersGo) {
    zv2::app::TQtDispatcher dispatcher;
    bool called = false, result = false;
    QEventLoop loop;
    std::thread worker([&] {
        result = dispatcher.Call([&] { called = true; });
        dispatcher.Post([&] { loop.quit(); });
    });
    QTimer::singleShot(60000, &loop, &QEventLoop::quit);
    loop.exec();
    worker.join();
    EXPECT_TRUE(result);
    EXPECT_TRUE(called);
    dispatcher.Shutdown();
    std::thread late([&] { result = dispatcher.Call([] {}); });
    late.join();
    EXPECT_FALSE(result);
}
