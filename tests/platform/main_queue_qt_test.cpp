// The main queue inside a running Qt event loop: hops land on the GUI thread.
#include "platform/dispatch.h"

#include <QCoreApplication>
#include <QThread>
#include <QTimer>
#include <atomic>
#include <gtest/gtest.h>
#include <thread>

TEST(MainQueueQt, TasksFromWorkersRunInTheEventLoopOnTheGuiThread) {
    int argc = 1;
    char name[] = "test";
    char* argv[] = {name, nullptr};
    QCoreApplication app(argc, argv);
    std::atomic<int> ran{0};
    bool allOnGuiThread = true;
    std::thread worker([&] {
        for (int i = 0; i < 50; ++i) {
            dispatch::mainQueue().async([&] {
                if (QThread::currentThread() != app.thread()) allOnGuiThread = false;
                if (++ran == 50) QCoreApplication::quit();
            });
        }
    });
    QTimer::singleShot(10000, [] { QCoreApplication::exit(1); });
    EXPECT_EQ(QCoreApplication::exec(), 0);
    worker.join();
    EXPECT_EQ(ran.load(), 50);
    EXPECT_TRUE(allOnGuiThread);
}
