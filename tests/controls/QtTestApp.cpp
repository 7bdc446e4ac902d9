// Widget tests need one QApplication for the whole run.
#include <QApplication>

#include <gtest/gtest.h>

#include <memory>

namespace {

class TQtEnvironment : public ::testing::Environment {
public:
    void SetUp() override { App_ = std::make_unique<QApplication>(Argc_, Argv_); }
    void TearDown() override { App_.reset(); }

private:
    int Argc_ = 1;
    char Name_[16] = "test_controls";
    char* Argv_[2] = {Name_, nullptr};
    std::unique_ptr<QApplication> App_;
};

[[maybe_unused]] auto* const Environment = ::testing::AddGlobalTestEnvironment(new TQtEnvironment);

} // namespace
