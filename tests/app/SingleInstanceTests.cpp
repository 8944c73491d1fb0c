#include "app/SingleInstance.h"

#include "app/ControllerRig.h"

#include <QLocalServer>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <fstream>

namespace vesk::test {
namespace {

class SingleInstanceTest : public ::testing::Test {
protected:
    void SetUp() override {
        ensureApplication();
        ASSERT_TRUE(directory_.isValid());
    }
    QString socketName() const { return directory_.filePath("instance.socket"); }
    QTemporaryDir directory_;
};

TEST_F(SingleInstanceTest, ALaterStartAsksTheRunningOneToShowItselfAndEnds) {
    SingleInstance first(socketName());
    EXPECT_FALSE(first.handOffToRunningInstance());
    ASSERT_TRUE(first.isListening());
    int shows = 0;
    QObject::connect(&first, &SingleInstance::showRequested, [&] { ++shows; });

    for (int start = 1; start <= 2; ++start) {
        SingleInstance later(socketName());
        EXPECT_TRUE(later.handOffToRunningInstance());
        EXPECT_FALSE(later.isListening());
        EXPECT_TRUE(spinUntil([&] { return shows == start; })) << "start " << start;
    }
}

TEST_F(SingleInstanceTest, ASocketLeftByACrashedRunDoesNotBlockTheNextStart) {
    {  // what a killed process leaves: the socket file, with nobody listening
        std::ofstream stale(socketName().toStdString());
    }
    SingleInstance next(socketName());
    EXPECT_FALSE(next.handOffToRunningInstance(200));
    EXPECT_TRUE(next.isListening());

    int shows = 0;
    QObject::connect(&next, &SingleInstance::showRequested, [&] { ++shows; });
    SingleInstance after(socketName());
    EXPECT_TRUE(after.handOffToRunningInstance());
    EXPECT_TRUE(spinUntil([&] { return shows == 1; }));
}

}  // namespace
}  // namespace vesk::test
