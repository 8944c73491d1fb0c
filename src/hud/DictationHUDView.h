#pragma once

#include "hud/DictationHUDState.h"

#include <QColor>
#include <QElapsedTimer>
#include <QTimer>
#include <QVariantAnimation>
#include <QWidget>

#include <optional>

namespace vesk {

class AudioVisualModel;

// The HUD's content: a black shape with a flat top and rounded bottom corners, a glow that
// brightens with the input level, a faint line along the bottom, and one of four faces by
// phase (the live waveform, "Transcribing…" with a spinner, a message, or the delivered text
// with its upper-cased status). A new phase cross-fades in over 0.18 s while visible.
//
// Observes `audio` and `state`, connected in the constructor; both must outlive the view.
// Main thread only.
class DictationHUDView : public QWidget {
    Q_OBJECT
public:
    static constexpr int crossFadeMs = 180;

    DictationHUDView(AudioVisualModel& audio, DictationHUDState& state, QColor accent, QWidget* parent = nullptr);

    const QColor& accent() const { return accent_; }
    // True while the previous face is still fading out.
    bool isCrossFading() const { return fade_.state() == QAbstractAnimation::Running; }

    // Draws the view as it is now into `painter` (`size` in device-independent pixels).
    void render(QPainter& painter, QSizeF size) const;

protected:
    void paintEvent(QPaintEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void phaseChanged();
    void audioChanged();
    void updateSpinner();
    void paintFace(QPainter& painter, const QRectF& bounds, const DictationHUDState::Phase& phase) const;
    QFont font(double pixelSize, QFont::Weight weight) const;

    AudioVisualModel& audio_;
    DictationHUDState& state_;
    const QColor accent_;
    std::optional<DictationHUDState::Phase> previous_;  // the face fading out
    DictationHUDState::Phase lastPainted_;
    QVariantAnimation fade_;
    QTimer spinnerTimer_;
    QElapsedTimer spinnerClock_;
};

}  // namespace vesk
