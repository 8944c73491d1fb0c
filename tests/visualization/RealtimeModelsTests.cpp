#include "visualization/RealtimeModels.h"

#include <QCoreApplication>
#include <QThread>

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <memory>
#include <thread>

namespace vesk {
namespace {

// Counts a model's change notifications.
struct ChangeCounter {
    int count = 0;
    template <typename Model>
    explicit ChangeCounter(Model* model) {
        QObject::connect(model, &Model::snapshotChanged, [this] { ++count; });
    }
};

TEST(AudioVisualModel, StartsEmptyClampsAndPublishesEveryUpdate) {
    AudioVisualModel model;
    EXPECT_TRUE(model.snapshot().waveform.empty());
    EXPECT_TRUE(model.snapshot().spectrum.empty());
    EXPECT_EQ(model.snapshot().level, 0.0f);

    // Out-of-range inputs are clamped: waveform to [-1, 1], spectrum and level to [0, 1].
    WaveformFrame frame;
    const float inputs[] = {-1.3f, 0.4f, 2.0f};
    std::copy(inputs, inputs + 3, frame.full.begin());
    std::copy(inputs, inputs + 3, frame.spectrum.begin());
    model.update(1.7f, frame);
    const auto& snapshot = model.snapshot();
    std::vector<float> waveform(384, 0.0f), spectrum(192, 0.0f);
    std::copy_n(std::begin({-1.0f, 0.4f, 1.0f}), 3, waveform.begin());
    std::copy_n(std::begin({0.0f, 0.4f, 1.0f}), 3, spectrum.begin());
    EXPECT_EQ(snapshot.waveform, waveform);
    EXPECT_EQ(snapshot.spectrum, spectrum);
    EXPECT_EQ(snapshot.level, 1.0f);

    model.update(-0.5f, frame);
    EXPECT_EQ(model.snapshot().level, 0.0f);
    frame.full[0] = std::nanf("");
    model.update(std::nanf(""), frame);
    EXPECT_EQ(model.snapshot().level, 0.0f);
    EXPECT_EQ(model.snapshot().waveform[0], 0.0f);

    // The audio model publishes every update, even an unchanged one.
    ChangeCounter spy(&model);
    model.update(0.5f, WaveformFrame::zero());
    model.update(0.5f, WaveformFrame::zero());
    EXPECT_EQ(spy.count, 2);
}

TEST(LiveTranscriptModel, PublishesOnlyRealChanges) {
    LiveTranscriptModel model;
    ChangeCounter spy(&model);
    const struct {
        const char *finalized, *provisional;
        int changes;
    } rows[] = {
        {"", "", 0}, {"Hello", " wor", 1}, {"Hello", " wor", 1}, {"Hello", " world", 2}, {"Hello world", " world", 3}};
    for (const auto& row : rows) {
        model.update(row.finalized, row.provisional);
        EXPECT_EQ(spy.count, row.changes) << row.finalized << "|" << row.provisional;
    }
    EXPECT_EQ(model.snapshot().finalized, "Hello world");
    EXPECT_EQ(model.snapshot().provisional, " world");
}

TEST(AudioVisualModel, PostsFromAnotherThreadOntoTheModelsThread) {
    int argc = 1;
    char name[] = "tests_visualization";
    char* argv[] = {name, nullptr};
    QCoreApplication app(argc, argv);

    auto model = std::make_unique<AudioVisualModel>();
    ChangeCounter spy(model.get());
    Qt::HANDLE publishedOn = nullptr;
    QObject::connect(model.get(), &AudioVisualModel::snapshotChanged,
                     [&publishedOn] { publishedOn = QThread::currentThreadId(); });
    std::thread worker([&model] { model->post(0.25f, WaveformFrame::zero()); });
    worker.join();
    EXPECT_EQ(spy.count, 0) << "nothing is published before the main loop runs";
    QCoreApplication::processEvents();
    EXPECT_EQ(spy.count, 1);
    EXPECT_EQ(model->snapshot().level, 0.25f);
    EXPECT_EQ(publishedOn, QThread::currentThreadId());

    // A queued update for a model that is gone is dropped.
    std::thread late([&model] { model->post(0.75f, WaveformFrame::zero()); });
    late.join();
    model.reset();
    QCoreApplication::processEvents();
}

// An analysis thread keeps posting while the main thread deletes the model: every post
// either lands before the model goes or finds it gone, and posting goes on harmlessly after.
// The sanitizer builds are what catch a post reaching the model while it is deleted.
TEST(AudioVisualModel, APosterRacingTheModelsDestructionIsSafe) {
    int argc = 1;
    char name[] = "tests_visualization";
    char* argv[] = {name, nullptr};
    QCoreApplication app(argc, argv);

    for (int round = 0; round < 20; ++round) {
        auto model = std::make_unique<AudioVisualModel>();
        ChangeCounter spy(model.get());
        const AudioVisualModel::Poster post = model->poster();
        std::atomic<bool> done = false;
        std::atomic<int> posted = 0;
        std::thread poster([&] {
            while (!done) {
                post(0.5f, WaveformFrame::zero());
                ++posted;
            }
        });
        const auto waitForPosts = [&](int count) {
            const int target = posted + count;
            while (posted < target) std::this_thread::yield();
        };
        waitForPosts(20);
        QCoreApplication::processEvents();
        EXPECT_GT(spy.count, 0);
        model.reset();  // while the poster keeps going
        QCoreApplication::processEvents();
        waitForPosts(20);
        done = true;
        poster.join();
        QCoreApplication::processEvents();
    }
}

}  // namespace
}  // namespace vesk
