#pragma once

#include "visualization/WaveformFrame.h"

#include <QObject>
#include <QString>

#include <functional>
#include <memory>
#include <vector>

namespace vesk {

// The latest picture of the sound for the HUD, the console and the field. Lives on the main
// thread; `update` must be called there (from any other thread, through `poster()`).
class AudioVisualModel : public QObject {
    Q_OBJECT
public:
    struct Snapshot {
        std::vector<float> waveform;  // each in -1...1
        std::vector<float> spectrum;  // each in 0...1
        float level = 0.0f;           // 0...1
        friend bool operator==(const Snapshot&, const Snapshot&) = default;
    };

    // Takes (level, frame) on any thread and queues them as an `update` of the model, in the
    // order posted.
    using Poster = std::function<void(float level, const WaveformFrame& frame)>;

    explicit AudioVisualModel(QObject* parent = nullptr);
    // Main thread. A post racing the destruction either completes before it goes on or finds
    // the model gone; posted updates not yet run are dropped.
    ~AudioVisualModel() override;

    const Snapshot& snapshot() const { return snapshot_; }

    // Publishes a new snapshot on every call (the picture moves even when it repeats):
    // waveform from the frame's full signal clamped to -1...1, spectrum clamped to 0...1,
    // level clamped to 0...1.
    void update(float level, const WaveformFrame& frame);

    // Holds the model weakly: callable from any thread at any time, also while and after the
    // model is destroyed (then it does nothing). This is what a frame callback on a worker
    // thread gets, for example `pipeline.setOnFrame(model.poster())`.
    Poster poster() const;
    // The same through the model itself, for a caller that knows the model outlives the call.
    void post(float level, const WaveformFrame& frame);

signals:
    void snapshotChanged();
    // Posted frames wait in the mailbox (emitted from the posting thread, received queued).
    void framesPosted(QPrivateSignal);

private:
    struct Mailbox;
    static void postTo(Mailbox& mailbox, float level, const WaveformFrame& frame);
    void takePostedFrames();

    Snapshot snapshot_;
    std::shared_ptr<Mailbox> mailbox_;
};

// The live caption: text the recognizer has settled and the volatile tail that may still
// change. Lives on the main thread.
class LiveTranscriptModel : public QObject {
    Q_OBJECT
public:
    struct Snapshot {
        QString finalized;
        QString provisional;
        friend bool operator==(const Snapshot&, const Snapshot&) = default;
    };

    explicit LiveTranscriptModel(QObject* parent = nullptr);

    const Snapshot& snapshot() const { return snapshot_; }

    // Publishes only when either text changed, so observers see real changes only.
    void update(const QString& finalized, const QString& provisional);

signals:
    void snapshotChanged();

private:
    Snapshot snapshot_;
};

}  // namespace vesk
