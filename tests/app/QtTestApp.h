#pragma once
// One QApplication for a GoogleTest program that tests widgets (offscreen).

#include <QApplication>
#include <gtest/gtest.h>

namespace zv2::test {

class TQtEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        static int argc = 1;
        static char name[] = "zv2-test";
        static char* argv[] = {name, nullptr};
        if (!QApplication::instance())
            App_ = new QApplication(argc, argv);
    }

private:
    QApplication* App_ = nullptr;
};

// Registers the environment when the test program starts.
inline const bool kQtEnvironmentRegistered = (::testing::AddGlobalTestEnvironment(new TQtEnvironment), true);

} // namespace zv2::test
