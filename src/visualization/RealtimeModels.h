#pragma once

#include "visualization/WaveformFrame.h"

#include <QObject>
#include <QString>

#include <vector>

namespace vesk {

// The latest picture of the sound for the HUD, the console and the field. Lives on the main
// thread; `update` must be called there (use `post` from any other thread).
class AudioVisualModel : public QObject {
    Q_OBJECT
public:
    struct Snapshot {
        std::vector<float> waveform;  // each in -1...1
        std::vector<float> spectrum;  // each in 0...1
        float level = 0.0f;           // 0...1
        friend bool operator==(const Snapshot&, const Snapshot&) = default;
    };

    explicit AudioVisualModel(QObject* parent = nullptr);

    const Snapshot& snapshot() const { return snapshot_; }

    // Publishes a new snapshot on every call (the picture moves even when it repeats):
    // waveform from the frame's full signal clamped to -1...1, spectrum clamped to 0...1,
    // level clamped to 0...1.
    void update(float level, const WaveformFrame& frame);

    // Callable from any thread: queues `update` on the model's thread; a queued call is
    // dropped if the model is destroyed first. The caller must still keep the model alive
    // while it may call this (the owner destroys the capture sources before the model).
    void post(float level, const WaveformFrame& frame);

signals:
    void snapshotChanged();

private:
    Snapshot snapshot_;
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
