#include "hud/DictationHUDController.h"

#include "hud/DictationHUDView.h"
#include "hud/WindowInputPassThrough.h"

#include <QEasingCurve>
#include <QGuiApplication>
#include <QParallelAnimationGroup>
#include <QPropertyAnimation>
#include <QScreen>

#include <cmath>

namespace vesk {
namespace {

const QColor kAccent = QColor::fromRgbF(1.0f, 0.43f, 0.1f, 1.0f);

constexpr int kGrowMs = 290;
constexpr int kProcessingMs = 240;
constexpr int kMessageMs = 200;
constexpr int kHideMs = 200;

QEasingCurve cubic(double x1, double y1, double x2, double y2) {
    QEasingCurve curve(QEasingCurve::BezierSpline);
    curve.addCubicBezierSegment(QPointF(x1, y1), QPointF(x2, y2), QPointF(1, 1));
    return curve;
}

HUDRect toHUD(const QRect& rect) {
    return {double(rect.x()), double(rect.y()), double(rect.width()), double(rect.height())};
}

QRect toQt(const HUDRect& rect) {
    return QRect(static_cast<int>(std::lround(rect.x)), static_cast<int>(std::lround(rect.y)),
                 static_cast<int>(std::lround(rect.width)), std::max(1, static_cast<int>(std::lround(rect.height))));
}

}  // namespace

HUDScreens currentHUDScreens() {
    HUDScreens result;
    const QScreen* primary = QGuiApplication::primaryScreen();
    if (!primary) return result;
    result.primaryHeight = primary->geometry().height();
    const auto screens = QGuiApplication::screens();
    for (qsizetype i = 0; i < screens.size(); ++i) {
        const QScreen* screen = screens[i];
        HUDScreen described;
        described.frame = DictationHUDGeometry::fromTopLeft(toHUD(screen->geometry()), result.primaryHeight);
        described.visibleFrame =
            DictationHUDGeometry::fromTopLeft(toHUD(screen->availableGeometry()), result.primaryHeight);
        // Linux reports no camera notch: the plain form applies.
        described.localizedName = (screen->name() + QLatin1Char(' ') + screen->model()).toStdString();
        result.screens.push_back(std::move(described));
        if (screen == primary) result.main = static_cast<std::size_t>(i);
    }
    return result;
}

DictationHUDController::DictationHUDController(AudioVisualModel& audio, QObject* parent)
    : QObject(parent), audio_(audio) {
    dismissal_.setSingleShot(true);
    dismissal_.setTimerType(Qt::PreciseTimer);
    connect(&dismissal_, &QTimer::timeout, this, &DictationHUDController::hide);
}

DictationHUDController::~DictationHUDController() {
    if (animation_) animation_->stop();
    delete animation_.data();
}

QWidget* DictationHUDController::panel() const { return panel_.get(); }

bool DictationHUDController::isShowing() const { return panel_ && panel_->isVisible(); }

QRect DictationHUDController::targetFrame(DictationHUDLayout layout) const {
    const HUDScreens screens = currentHUDScreens();
    const HUDRect frame = DictationHUDGeometry::targetFrame(layout, screens.screens, screens.main);
    if (screens.screens.empty()) return toQt(frame);
    return toQt(DictationHUDGeometry::toTopLeft(frame, screens.primaryHeight));
}

void DictationHUDController::showRecording() {
    if (!panel_) {
        panel_ = std::make_unique<DictationHUDView>(audio_, state_, kAccent);
        // A floating strip that never takes focus and lets clicks reach what lies below.
        panel_->setWindowFlags(Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint |
                               Qt::WindowDoesNotAcceptFocus | Qt::WindowTransparentForInput |
                               Qt::NoDropShadowWindowHint);
        panel_->setAttribute(Qt::WA_ShowWithoutActivating);
        panel_->setFocusPolicy(Qt::NoFocus);
        panel_->setWindowTitle(QStringLiteral("Project Vesk HUD"));
        panel_->setGeometry(0, 0, 168, 36);
    }
    dismissal_.stop();
    state_.setPhase(DictationHUDState::Recording{});
    ++animationGeneration_;

    const QRect target = targetFrame(DictationHUDLayout::compact);
    if (animation_) animation_->stop();
    // Start as a thin line along the strip's top edge.
    panel_->setGeometry(target.x() + 10, target.y(), std::max(target.width() - 20, 1), 2);
    panel_->setWindowOpacity(0.82);
    panel_->show();
    panel_->raise();
    passInputThroughFrame(*panel_);
    animate(target, 1.0, kGrowMs, cubic(0.18, 0.82, 0.22, 1.0));
}

void DictationHUDController::showProcessing() { expand(DictationHUDState::Processing{}, kProcessingMs); }

void DictationHUDController::showMessage(const QString& text) {
    if (!isShowing()) return;
    expand(DictationHUDState::Message{text}, kMessageMs);
    scheduleDismissal(messageDismissalMs);
}

void DictationHUDController::showResult(const QString& text, const QString& status) {
    if (!isShowing()) return;
    expand(DictationHUDState::Result{text, status}, kMessageMs);
    scheduleDismissal(resultDismissalMs);
}

void DictationHUDController::expand(DictationHUDState::Phase phase, int durationMs) {
    if (!isShowing()) return;
    ++animationGeneration_;
    state_.setPhase(std::move(phase));
    animate(targetFrame(DictationHUDLayout::expanded), 1.0, durationMs, cubic(0.2, 0.78, 0.24, 1.0));
}

void DictationHUDController::hide() {
    if (!isShowing()) return;
    dismissal_.stop();
    const auto generation = ++animationGeneration_;
    const QRect from = panel_->geometry();
    const QRect collapsed(static_cast<int>(std::lround(from.x() + from.width() * 0.08)), from.y(),
                          std::max(1, static_cast<int>(std::lround(from.width() * 0.84))), 2);
    animate(collapsed, 0.0, kHideMs, cubic(0.55, 0.0, 0.82, 0.25));
    connect(animation_, &QAbstractAnimation::finished, this, [this, generation] {
        // A show since this hide began keeps the panel.
        if (generation == animationGeneration_ && panel_) panel_->hide();
    });
}

void DictationHUDController::animate(const QRect& target, double opacity, int durationMs, const QEasingCurve& curve) {
    // A running animation deletes itself once stopped.
    if (animation_) animation_->stop();
    auto* group = new QParallelAnimationGroup(this);
    auto* frame = new QPropertyAnimation(panel_.get(), "geometry", group);
    frame->setEndValue(target);
    frame->setDuration(durationMs);
    frame->setEasingCurve(curve);
    auto* alpha = new QPropertyAnimation(panel_.get(), "windowOpacity", group);
    alpha->setEndValue(opacity);
    alpha->setDuration(durationMs);
    alpha->setEasingCurve(curve);
    animation_ = group;
    // The window manager may rebuild its frame as the panel changes size.
    connect(group, &QAbstractAnimation::finished, this, [this] { passInputThroughFrame(*panel_); });
    group->start(QAbstractAnimation::DeleteWhenStopped);
}

void DictationHUDController::scheduleDismissal(int delayMs) { dismissal_.start(delayMs); }

}  // namespace vesk
