#include "ui/AssemblingTranscriptView.h"

#include <QEvent>
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

    std::unordered_map<std::string, size_t> previous;
    previous.reserve(words_.size());
    for (size_t i = 0; i < words_.size(); ++i) previous.emplace(words_[i].token.id, i);

    std::vector<Word> next;
    std::vector<Glyphs> glyphs;
    next.reserve(tokens.size());
    glyphs.reserve(tokens.size());
    bool changed = false;
    for (TranscriptToken& token : tokens) {
        const auto found = previous.find(token.id);
        if (found != previous.end() && words_[found->second].token.text == token.text) {
            Word kept = words_[found->second];
            kept.token = std::move(token);
            next.push_back(std::move(kept));
            glyphs.push_back(glyphs_[found->second]);
            continue;
        }
        const size_t prefix =
            found == previous.end() ? 0 : commonPrefixLength(words_[found->second].token.text, token.text);
        Glyphs fresh;
        fresh.text = QString::fromStdString(token.text);
        glyphs.push_back(std::move(fresh));
        next.push_back({std::move(token), prefix, false});
        changed = true;
    }
    glyphs_ = std::move(glyphs);
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
            lastRevealAt_ = clock_.elapsed();
            for (size_t i = 0; i < words_.size(); ++i) {
                if (words_[i].revealed) continue;
                words_[i].revealed = true;
                glyphs_[i].revealedAt = lastRevealAt_;
            }
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

void AssemblingTranscriptView::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    if (event->type() == QEvent::FontChange) {
        for (Glyphs& glyphs : glyphs_) glyphs.width = -1;
        layoutWords();
    }
}

void AssemblingTranscriptView::layoutWords() {
    const QFontMetricsF metrics(font());
    const QRectF area = contentsRect();
    const double lineHeight = metrics.height() + kLineSpacing;
    double x = area.left();
    double y = area.top() + metrics.ascent();
    for (size_t i = 0; i < words_.size(); ++i) {
        Glyphs& glyphs = glyphs_[i];
        if (glyphs.width < 0) glyphs.width = metrics.horizontalAdvance(glyphs.text);
        const double width = glyphs.width;
        if (x > area.left() && x + width > area.right()) {
            x = area.left();
            y += lineHeight;
        }
        glyphs.origin = QPointF(x, y);
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
    const bool fading = lastRevealAt_ >= 0 && clock_.elapsed() - lastRevealAt_ < kRevealSeconds * 1000;
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
    const qint64 now = clock_.elapsed();
    const QFontMetricsF metrics(font());
    const double visibleTop = overflow - metrics.height();
    const double visibleBottom = overflow + height() + metrics.height();
    for (size_t i = 0; i < words_.size(); ++i) {
        const Glyphs& glyphs = glyphs_[i];
        // Only the last lines are in view; the rest has scrolled away.
        if (glyphs.origin.y() < visibleTop || glyphs.origin.y() > visibleBottom) continue;
        const Word& word = words_[i];
        const QColor color = word.token.state == TranscriptTokenState::finalized ? finalizedColor_ : provisionalColor_;
        const double fade =
            word.revealed ? std::clamp((now - glyphs.revealedAt) / (kRevealSeconds * 1000.0), 0.0, 1.0) : 0.0;
        painter.setPen(color);
        const qsizetype split = fade >= 1.0 ? glyphs.text.size() : splitPoint(glyphs.text, word.preservedPrefixCount);
        if (split >= glyphs.text.size()) {
            painter.drawText(glyphs.origin, glyphs.text);
            continue;
        }
        const QString kept = glyphs.text.left(split);
        if (!kept.isEmpty()) painter.drawText(glyphs.origin, kept);
        QColor fresh = color;
        fresh.setAlphaF(fade);
        painter.setPen(fresh);
        painter.drawText(glyphs.origin + QPointF(metrics.horizontalAdvance(kept), 0), glyphs.text.mid(split));
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
