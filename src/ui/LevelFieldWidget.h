#pragma once

#include "visualization/RealtimeModels.h"

#include <QWidget>

namespace vesk {

// A plain painted picture of the live sound: a glow that swells with the level and the
// waveform drawn across it. It stands in the field card where the GPU particle field is
// not plugged in. Repaints on every snapshot; `model` must outlive the widget.
class LevelFieldWidget : public QWidget {
    Q_OBJECT
public:
    explicit LevelFieldWidget(AudioVisualModel& model, QWidget* parent = nullptr);

    // The level drawn by the last paint.
    float paintedLevel() const { return paintedLevel_; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    AudioVisualModel& model_;
    float paintedLevel_ = 0;
};

}  // namespace vesk
