#include "ui/AssemblingTranscriptView.h"

#include <QFontMetricsF>
#include <QPainter>
#include <QTextBoundaryFinder>

#include <algorithm>
#include <cmath>

namespace vesk {
namespace {

constexpr double kFrontierCycle = 0.82;  // seconds
constexpr double kFrontierShare = 0.34;  // of the available width
constexpr double kFrontierMinimum = 8;   // pixels
constexpr double kRevealSeconds = 0.28;  // the fade of new characters
constexpr double kWordSpacing = 5;
constexpr double kLineSpacing = 4;
constexpr int kFrameInterval = 16;  // ms, while anything moves

// Where the first `count` user-perceived characters of a word end.
qsizetype splitPoint(const QString& word, size_t count) {
    if (count == 0) return 0;
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, word);
    qsizetype position = 0;
    for (size_t seen = 0; seen < count; ++seen) {
        position = finder.toNextBoundary();
        if (position < 0) return word.size();
    }
    return position;
}

}  // namespace

AssemblingTranscriptView::AssemblingTranscriptView(QWidget* parent)
    : QWidget(parent), finalizedColor_(0xec, 0xec, 0xef), provisionalColor_(0x8f, 0xa6, 0xff) {
    setObjectName("liveTranscript");
    setAccessibleName(QString());
    setFocusPolicy(Qt::NoFocus);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    frame_.setInterval(kFrameInterval);
    connect(&frame_, &QTimer::timeout, this, [this] {
        update();
        updateAnimation();
    });
    clock_.start();
}

void AssemblingTranscriptView::setTexts(const QString& finalized, const QString& provisional) {
    const std::string finalizedText = finalized.toStdString();
    const std::string provisionalText = provisional.toStdString();
    auto tokens = makeTranscriptTokens(finalizedText, provisionalText);

    std::unordered_map<std::string, const Word*> previous;
    previous.reserve(words_.size());
    for (const Word& word : words_) previous.emplace(word.token.id, &word);

    std::vector<Word> next;
    next.reserve(tokens.size());
    bool changed = false;
    for (TranscriptToken& token : tokens) {
        const auto found = previous.find(token.id);
        if (found != previous.end() && found->second->token.text == token.text) {
            Word kept = *found->second;
            kept.token = std::move(token);
            next.push_back(std::move(kept));
            continue;
        }
        const size_t prefix = found == previous.end() ? 0 : commonPrefixLength(found->second->token.text, token.text);
        next.push_back({std::move(token), prefix, false});
        changed = true;
    }
    words_ = std::move(next);
    setAccessibleName(QString::fromStdString(transcriptAccessibilityLabel(finalizedText, provisionalText)));
    layoutWords();
    if (changed) beginReveal();
    updateAnimation();
    update();
}

void AssemblingTranscriptView::beginReveal() {
    if (revealPending_) return;
    revealPending_ = true;
    // After this layout is drawn, let the new characters fade in.
    QMetaObject::invokeMethod(
        this,
        [this] {
            revealPending_ = false;
            for (Word& word : words_) word.revealed = true;
            revealClock_.start();
            updateAnimation();
            update();
        },
        Qt::QueuedConnection);
}

void AssemblingTranscriptView::setListening(bool listening) {
    if (listening_ == listening) return;
    listening_ = listening;
    updateAnimation();
    update();
}

void AssemblingTranscriptView::setColors(const QColor& finalized, const QColor& provisional) {
    finalizedColor_ = finalized;
    provisionalColor_ = provisional;
    update();
}

double AssemblingTranscriptView::frontierPhase() const {
    const double seconds = clock_.elapsed() / 1000.0;
    return std::fmod(seconds, kFrontierCycle) / kFrontierCycle;
}

double AssemblingTranscriptView::frontierLength() const {
    return std::max(kFrontierMinimum, kFrontierShare * contentsRect().width());
}

QSize AssemblingTranscriptView::sizeHint() const { return {320, 56}; }

void AssemblingTranscriptView::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    layoutWords();
}

void AssemblingTranscriptView::layoutWords() {
    const QFontMetricsF metrics(font());
    const QRectF area = contentsRect();
    const double lineHeight = metrics.height() + kLineSpacing;
    widths_.resize(words_.size());
    placed_.resize(words_.size());
    double x = area.left();
    double y = area.top() + metrics.ascent();
    for (size_t i = 0; i < words_.size(); ++i) {
        const double width = metrics.horizontalAdvance(QString::fromStdString(words_[i].token.text));
        if (x > area.left() && x + width > area.right()) {
            x = area.left();
            y += lineHeight;
        }
        placed_[i] = {QPointF(x, y), width};
        x += width + kWordSpacing;
    }
    frontier_ = {};
    if (!words_.empty() && words_.back().token.isTail) {
        const double length = frontierLength();
        if (x + length > area.right() && x > area.left()) {
            x = area.left();
            y += lineHeight;
        }
        frontier_ = QRectF(x, y - metrics.ascent() / 2 - 1.5, std::min(length, area.width()), 3);
    }
    contentHeight_ = words_.empty() ? 0 : y + metrics.descent() - area.top();
}

void AssemblingTranscriptView::updateAnimation() {
    const bool fading = revealClock_.isValid() && revealClock_.elapsed() < kRevealSeconds * 1000;
    const bool moving = listening_ && !frontier_.isNull();
    if ((fading || moving) && !frame_.isActive()) frame_.start();
    if (!fading && !moving) frame_.stop();
}

void AssemblingTranscriptView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setFont(font());
    // Keep the newest line in view: the caption grows downwards and scrolls up.
    const double overflow = std::max(0.0, contentHeight_ - contentsRect().height());
    painter.translate(0, -overflow);
    const double fade =
        revealClock_.isValid() ? std::clamp(revealClock_.elapsed() / (kRevealSeconds * 1000.0), 0.0, 1.0) : 1.0;
    for (size_t i = 0; i < words_.size(); ++i) {
        const Word& word = words_[i];
        const QColor color = word.token.state == TranscriptTokenState::finalized ? finalizedColor_ : provisionalColor_;
        const QString text = QString::fromStdString(word.token.text);
        const qsizetype split = splitPoint(text, word.preservedPrefixCount);
        const QString kept = text.left(split);
        painter.setPen(color);
        painter.drawText(placed_[i].origin, kept);
        if (split < text.size()) {
            QColor fresh = color;
            fresh.setAlphaF(word.revealed ? fade : 0.0);
            painter.setPen(fresh);
            const double keptWidth = QFontMetricsF(font()).horizontalAdvance(kept);
            painter.drawText(placed_[i].origin + QPointF(keptWidth, 0), text.mid(split));
        }
    }
    if (!frontier_.isNull()) {
        QColor track = provisionalColor_;
        track.setAlphaF(0.22);
        painter.setPen(Qt::NoPen);
        painter.setBrush(track);
        painter.drawRoundedRect(frontier_, 1.5, 1.5);
        if (listening_) {
            const double sweep = frontier_.width() * 0.3;
            const double start = frontier_.left() + (frontier_.width() - sweep) * frontierPhase();
            painter.setBrush(provisionalColor_);
            painter.drawRoundedRect(QRectF(start, frontier_.top(), sweep, frontier_.height()), 1.5, 1.5);
        }
    }
}

}  // namespace vesk
