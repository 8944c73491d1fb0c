#include "visualization/RealtimeModels.h"

#include "visualization/DisplayClamp.h"

#include <QThread>

#include <algorithm>
#include <deque>
#include <mutex>
#include <utility>

namespace vesk {

// What posters hold, weakly: the model's address while it lives, and the frames posted and
// not yet taken. The lock makes a post either finish before the model starts going away or
// see that it is gone.
struct AudioVisualModel::Mailbox {
    std::mutex mutex;
    AudioVisualModel* model = nullptr;
    std::deque<std::pair<float, WaveformFrame>> frames;
};

AudioVisualModel::AudioVisualModel(QObject* parent) : QObject(parent), mailbox_(std::make_shared<Mailbox>()) {
    mailbox_->model = this;
    // One queued signal per batch of posts. The frames travel in the mailbox under its own
    // lock rather than inside the queued call, so the hand-over is visible to the thread
    // checker, which cannot see into the event loop.
    connect(this, &AudioVisualModel::framesPosted, this, &AudioVisualModel::takePostedFrames, Qt::QueuedConnection);
}

AudioVisualModel::~AudioVisualModel() {
    std::lock_guard lock(mailbox_->mutex);
    mailbox_->model = nullptr;
    mailbox_->frames.clear();
}

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

AudioVisualModel::Poster AudioVisualModel::poster() const {
    return [mailbox = std::weak_ptr<Mailbox>(mailbox_)](float level, const WaveformFrame& frame) {
        if (const auto held = mailbox.lock()) postTo(*held, level, frame);
    };
}

void AudioVisualModel::post(float level, const WaveformFrame& frame) { postTo(*mailbox_, level, frame); }

void AudioVisualModel::postTo(Mailbox& mailbox, float level, const WaveformFrame& frame) {
    std::lock_guard lock(mailbox.mutex);
    if (!mailbox.model) return;
    mailbox.frames.emplace_back(level, frame);
    // A batch already announced takes this frame along.
    if (mailbox.frames.size() == 1) emit mailbox.model->framesPosted(QPrivateSignal());
}

void AudioVisualModel::takePostedFrames() {
    std::deque<std::pair<float, WaveformFrame>> frames;
    {
        std::lock_guard lock(mailbox_->mutex);
        frames.swap(mailbox_->frames);
    }
    for (const auto& [level, frame] : frames) update(level, frame);
}

LiveTranscriptModel::LiveTranscriptModel(QObject* parent) : QObject(parent) {}

void LiveTranscriptModel::update(const QString& finalized, const QString& provisional) {
    Q_ASSERT(QThread::currentThread() == thread());
    if (snapshot_.finalized == finalized && snapshot_.provisional == provisional) return;
    snapshot_ = Snapshot{finalized, provisional};
    emit snapshotChanged();
}

}  // namespace vesk
