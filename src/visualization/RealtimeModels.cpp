#include "visualization/RealtimeModels.h"

#include "visualization/DisplayClamp.h"

#include <QMetaObject>
#include <QThread>

#include <algorithm>

namespace vesk {

AudioVisualModel::AudioVisualModel(QObject* parent) : QObject(parent) {}

void AudioVisualModel::update(float level, const WaveformFrame& frame) {
    Q_ASSERT(QThread::currentThread() == thread());
    Snapshot next;
    next.waveform.resize(frame.full.size());
    std::transform(frame.full.begin(), frame.full.end(), next.waveform.begin(),
                   [](float v) { return clampForDisplay(v, -1.0f, 1.0f); });
    next.spectrum.resize(frame.spectrum.size());
    std::transform(frame.spectrum.begin(), frame.spectrum.end(), next.spectrum.begin(),
                   [](float v) { return clampForDisplay(v, 0.0f, 1.0f); });
    next.level = clampForDisplay(level, 0.0f, 1.0f);
    snapshot_ = std::move(next);
    emit snapshotChanged();
}

void AudioVisualModel::post(float level, const WaveformFrame& frame) {
    // The functor runs in this object's thread and is discarded with the object, which is the
    // weak hold the audio side needs.
    QMetaObject::invokeMethod(
        this, [this, level, frame] { update(level, frame); }, Qt::QueuedConnection);
}

LiveTranscriptModel::LiveTranscriptModel(QObject* parent) : QObject(parent) {}

void LiveTranscriptModel::update(const QString& finalized, const QString& provisional) {
    Q_ASSERT(QThread::currentThread() == thread());
    if (snapshot_.finalized == finalized && snapshot_.provisional == provisional) return;
    snapshot_ = Snapshot{finalized, provisional};
    emit snapshotChanged();
}

}  // namespace vesk
