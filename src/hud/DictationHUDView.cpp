#include "hud/DictationHUDView.h"

#include "hud/SmoothHUDWaveform.h"
#include "visualization/RealtimeModels.h"

#include <QEasingCurve>
#include <QFontMetricsF>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QTextLayout>

#include <cmath>

namespace vesk {
namespace {

constexpr double kCornerRadius = 17;
constexpr double kGlowRadius = 5;

// The flat-topped shape with rounded bottom corners.
QPainterPath hudShape(const QRectF& r) {
    const double radius = std::min({kCornerRadius, r.width() / 2, r.height()});
    QPainterPath path;
    path.moveTo(r.topLeft());
    path.lineTo(r.topRight());
    path.lineTo(r.right(), r.bottom() - radius);
    path.arcTo(QRectF(r.right() - 2 * radius, r.bottom() - 2 * radius, 2 * radius, 2 * radius), 0, -90);
    path.lineTo(r.left() + radius, r.bottom());
    path.arcTo(QRectF(r.left(), r.bottom() - 2 * radius, 2 * radius, 2 * radius), 270, -90);
    path.closeSubpath();
    return path;
}

QColor withAlpha(QColor colour, double alpha) {
    colour.setAlphaF(static_cast<float>(alpha));
    return colour;
}

// At most `maxLines` lines of `text` wrapped to the box's width, the last one elided.
void drawWrapped(QPainter& painter, const QString& text, const QFont& font, const QRectF& box, int maxLines) {
    const QFontMetricsF metrics(font);
    QTextLayout layout(text, font);
    layout.beginLayout();
    QStringList lines;
    int lastStart = 0;
    for (int i = 0; i < maxLines; ++i) {
        QTextLine line = layout.createLine();
        if (!line.isValid()) break;
        line.setLineWidth(box.width());
        lastStart = line.textStart();
        lines << text.mid(line.textStart(), line.textLength()).trimmed();
    }
    const bool more = layout.createLine().isValid();
    layout.endLayout();
    if (more && !lines.isEmpty())
        lines.back() = metrics.elidedText(text.mid(lastStart).simplified(), Qt::ElideRight, box.width());
    painter.setFont(font);
    for (int i = 0; i < lines.size(); ++i)
        painter.drawText(QPointF(box.left(), box.top() + metrics.ascent() + i * metrics.lineSpacing()), lines[i]);
}

}  // namespace

DictationHUDView::DictationHUDView(AudioVisualModel& audio, DictationHUDState& state, QColor accent, QWidget* parent)
    : QWidget(parent), audio_(audio), state_(state), accent_(std::move(accent)) {
    setAttribute(Qt::WA_TranslucentBackground);
    setAttribute(Qt::WA_TransparentForMouseEvents);
    fade_.setStartValue(0.0);
    fade_.setEndValue(1.0);
    fade_.setDuration(crossFadeMs);
    fade_.setEasingCurve(QEasingCurve::InOutQuad);
    connect(&fade_, &QVariantAnimation::valueChanged, this, qOverload<>(&QWidget::update));
    connect(&fade_, &QVariantAnimation::finished, this, [this] {
        previous_.reset();
        update();
    });
    spinnerTimer_.setInterval(33);
    connect(&spinnerTimer_, &QTimer::timeout, this, qOverload<>(&QWidget::update));
    spinnerClock_.start();
    connect(&state_, &DictationHUDState::phaseChanged, this, &DictationHUDView::phaseChanged);
    connect(&audio_, &AudioVisualModel::snapshotChanged, this, &DictationHUDView::audioChanged);
}

void DictationHUDView::phaseChanged() {
    // The face on screen fades out under the new one; a hidden view just switches.
    if (isVisible()) {
        if (!previous_) previous_ = lastPainted_;
        fade_.stop();
        fade_.start();
    }
    updateSpinner();
    update();
}

void DictationHUDView::audioChanged() {
    // The waveform and the glow follow the sound; nothing to redraw while hidden.
    if (isVisible()) update();
}

void DictationHUDView::updateSpinner() {
    const bool spinning = isVisible() && std::holds_alternative<DictationHUDState::Processing>(state_.phase());
    if (spinning && !spinnerTimer_.isActive()) spinnerTimer_.start();
    if (!spinning) spinnerTimer_.stop();
}

void DictationHUDView::hideEvent(QHideEvent* event) {
    spinnerTimer_.stop();
    fade_.stop();
    previous_.reset();
    QWidget::hideEvent(event);
}

void DictationHUDView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    render(painter, size());
    lastPainted_ = state_.phase();
    updateSpinner();
}

QFont DictationHUDView::font(double pixelSize, QFont::Weight weight) const {
    QFont result = QWidget::font();
    // Sizes are in device-independent pixels, as the panel's geometry is.
    result.setPointSizeF(pixelSize * 72.0 / std::max(logicalDpiY(), 1));
    result.setWeight(weight);
    return result;
}

void DictationHUDView::render(QPainter& painter, QSizeF size) const {
    const QRectF bounds(QPointF(0, 0), size);
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setCompositionMode(QPainter::CompositionMode_Source);
    painter.fillRect(bounds, Qt::transparent);
    painter.setCompositionMode(QPainter::CompositionMode_SourceOver);

    const QPainterPath shape = hudShape(bounds);
    painter.fillPath(shape, Qt::black);

    // The glow, inside the edge because the panel has no room around its shape.
    const double glow = audio_.snapshot().level * 0.12 + 0.1;
    painter.setClipPath(shape);
    for (int ring = 0; ring < static_cast<int>(kGlowRadius); ++ring) {
        const double fallOff = 1.0 - ring / kGlowRadius;
        painter.setPen(QPen(withAlpha(accent_, glow * fallOff * 0.6), 2.0 * (ring + 1)));
        painter.setBrush(Qt::NoBrush);
        painter.drawPath(shape);
    }

    // The faint line along the bottom edge.
    const QRectF line(bounds.left() + 13, bounds.bottom() - 2, std::max(bounds.width() - 26, 0.0), 1);
    QLinearGradient gradient(line.topLeft(), line.topRight());
    gradient.setColorAt(0, Qt::transparent);
    gradient.setColorAt(0.5, withAlpha(accent_, 0.24));
    gradient.setColorAt(1, Qt::transparent);
    painter.fillRect(line, gradient);

    const double progress = previous_ ? fade_.currentValue().toDouble() : 1.0;
    if (previous_ && progress < 1.0) {
        painter.setOpacity(1.0 - progress);
        paintFace(painter, bounds, *previous_);
    }
    painter.setOpacity(progress);
    paintFace(painter, bounds, state_.phase());
    painter.restore();
}

void DictationHUDView::paintFace(QPainter& painter, const QRectF& bounds, const DictationHUDState::Phase& phase) const {
    using State = DictationHUDState;
    const QColor text88 = withAlpha(Qt::white, 0.88);
    if (std::holds_alternative<State::Recording>(phase)) {
        SmoothHUDWaveform::paint(painter, bounds.adjusted(5, 2, -5, -2), audio_.snapshot().waveform, accent_);
    } else if (std::holds_alternative<State::Processing>(phase)) {
        const QRectF row = bounds.adjusted(14, 0, -14, 0);
        const double spinnerSize = 14;
        const QRectF spinner(row.left(), row.center().y() - spinnerSize / 2, spinnerSize, spinnerSize);
        const double turn = std::fmod(spinnerClock_.elapsed() / 1000.0, 1.0);
        painter.setPen(QPen(withAlpha(accent_, 0.25), 2));
        painter.drawEllipse(spinner.adjusted(1, 1, -1, -1));
        painter.setPen(QPen(accent_, 2, Qt::SolidLine, Qt::RoundCap));
        painter.drawArc(spinner.adjusted(1, 1, -1, -1), static_cast<int>(-turn * 360 * 16), 100 * 16);
        painter.setPen(text88);
        painter.setFont(font(11, QFont::DemiBold));
        painter.drawText(row.adjusted(spinnerSize + 8, 0, 0, 0), Qt::AlignLeft | Qt::AlignVCenter,
                         QStringLiteral("Transcribing…"));
    } else if (const auto* message = std::get_if<State::Message>(&phase)) {
        const QRectF box = bounds.adjusted(14, 0, -14, 0);
        const QFont messageFont = font(11, QFont::DemiBold);
        painter.setPen(text88);
        painter.setFont(messageFont);
        const QString elided = QFontMetricsF(messageFont).elidedText(message->text, Qt::ElideRight, box.width());
        painter.drawText(box, Qt::AlignLeft | Qt::AlignVCenter, elided);
    } else if (const auto* result = std::get_if<State::Result>(&phase)) {
        const QRectF column = bounds.adjusted(14, 9, -14, -8);
        QFont statusFont = font(8, QFont::Bold);
        statusFont.setLetterSpacing(QFont::AbsoluteSpacing, 0.8);
        const double statusHeight = QFontMetricsF(statusFont).height();
        painter.setPen(withAlpha(Qt::white, 0.94));
        drawWrapped(painter, result->text, font(11.5, QFont::DemiBold),
                    QRectF(column.left(), column.top(), column.width(), column.height() - statusHeight - 2), 2);
        painter.setPen(withAlpha(accent_, 0.92));
        painter.setFont(statusFont);
        painter.drawText(QRectF(column.left(), column.bottom() - statusHeight, column.width(), statusHeight),
                         Qt::AlignLeft | Qt::AlignVCenter, result->status.toUpper());
    }
}

}  // namespace vesk
