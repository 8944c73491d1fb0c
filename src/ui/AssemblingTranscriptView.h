#pragma once

#include "ui/TranscriptTokens.h"

#include <QColor>
#include <QElapsedTimer>
#include <QTimer>
#include <QWidget>

#include <string>
#include <unordered_map>
#include <vector>

namespace vesk {

// The live caption, word by word: settled words in one colour, the still-changing tail in
// another, and a moving draft frontier after the last provisional word. When a word
// changes, the characters it shares at its start stay; the rest fades in after the first
// layout. One accessible element whose name is the whole caption. Main thread.
class AssemblingTranscriptView : public QWidget {
    Q_OBJECT
public:
    // A word as drawn: its token, how many leading characters stayed from its previous
    // text, and whether its new characters have begun to appear.
    struct Word {
        TranscriptToken token;
        size_t preservedPrefixCount = 0;
        bool revealed = false;
    };

    explicit AssemblingTranscriptView(QWidget* parent = nullptr);

    // Replaces the caption; words keep their identity by token id.
    void setTexts(const QString& finalized, const QString& provisional);
    void setListening(bool listening);
    void setColors(const QColor& finalized, const QColor& provisional);

    const std::vector<Word>& words() const { return words_; }
    bool isListening() const { return listening_; }
    // Where the frontier's highlight is in its 0.82 s cycle, 0...1.
    double frontierPhase() const;
    // The frontier bar's length for the current width.
    double frontierLength() const;

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    // What drawing a word needs, kept while the word is unchanged.
    struct Glyphs {
        QString text;
        double width = -1;      // measured with the current font; negative until measured
        QPointF origin;         // baseline start
        qint64 revealedAt = 0;  // ms on the view's clock when its new characters began to appear
    };

    void beginReveal();
    void layoutWords();
    void updateAnimation();

    std::vector<Word> words_;
    std::vector<Glyphs> glyphs_;  // parallel to words_
    QRectF frontier_;
    double contentHeight_ = 0;
    QColor finalizedColor_;
    QColor provisionalColor_;
    bool listening_ = false;
    bool revealPending_ = false;
    QElapsedTimer clock_;
    qint64 lastRevealAt_ = -1;
    QTimer frame_;
};

}  // namespace vesk
