#pragma once

#include "hud/DictationHUDGeometry.h"
#include "hud/DictationHUDState.h"

#include <QColor>
#include <QObject>
#include <QPointer>
#include <QRect>
#include <QTimer>

#include <memory>
#include <vector>

class QAbstractAnimation;
class QEasingCurve;

namespace vesk {

class AudioVisualModel;
class DictationHUDView;

// The floating panel that shows a dictation: it grows from a thin line into a compact strip
// while recording, expands for processing, messages and results, and shrinks back to a line
// before it goes. The panel is a frameless, always-on-top tool window that never takes focus
// and lets every click through, placed by DictationHUDGeometry on the chosen screen.
//
// Every call returns at once; animations and dismissals run on the event loop. A show during
// a running hide wins: every show and hide bumps a generation, and a hide's completion that
// finds a newer one leaves the panel up. `audio` must outlive the controller. Main thread only.
class DictationHUDController : public QObject {
    Q_OBJECT
public:
    static constexpr int messageDismissalMs = 2800;
    static constexpr int resultDismissalMs = 4800;

    explicit DictationHUDController(AudioVisualModel& audio, QObject* parent = nullptr);
    ~DictationHUDController() override;

    // Creates the panel on first use, then grows it from a line into the compact strip.
    void showRecording();
    // These expand a visible panel and do nothing while it is hidden.
    void showProcessing();
    void showMessage(const QString& text);                        // dismissed 2.8 s later
    void showResult(const QString& text, const QString& status);  // dismissed 4.8 s later
    // Shrinks the panel to a line and takes it off the screen; nothing while hidden.
    void hide();

    const DictationHUDState& state() const { return state_; }
    // The panel window; null until the first `showRecording`.
    QWidget* panel() const;
    bool isShowing() const;
    // Where the panel rests for `layout`, in Qt's global coordinates.
    QRect targetFrame(DictationHUDLayout layout) const;

private:
    void expand(DictationHUDState::Phase phase, int durationMs);
    void animate(const QRect& target, double opacity, int durationMs, const QEasingCurve& curve);
    void scheduleDismissal(int delayMs);

    AudioVisualModel& audio_;
    DictationHUDState state_;
    std::unique_ptr<DictationHUDView> panel_;
    QPointer<QAbstractAnimation> animation_;
    QTimer dismissal_;
    unsigned long long animationGeneration_ = 0;
};

// The screens as the geometry sees them (bottom-left, y-up), with the index of the primary.
struct HUDScreens {
    std::vector<HUDScreen> screens;
    std::optional<std::size_t> main;
    double primaryHeight = 0;
};
HUDScreens currentHUDScreens();

}  // namespace vesk
