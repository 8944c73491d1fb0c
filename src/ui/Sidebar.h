#pragma once

#include "ui/AppModel.h"
#include "ui/SidebarAttention.h"

#include <QFrame>
#include <QWidget>

#include <array>

class QLabel;
class QPushButton;

namespace vesk {

// The console's pages.
enum class ConsolePage { studio, prompts, settings };

// The card under the navigation that says what the dictation needs now. Recomputed on
// every change of the model; a click opens the settings when the card says so.
// `model` must outlive the card.
class AttentionCard : public QFrame {
    Q_OBJECT
public:
    explicit AttentionCard(AppModel& model, QWidget* parent = nullptr);

    const SidebarAttention& attention() const { return attention_; }

signals:
    void settingsRequested();

protected:
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void render();

    AppModel& model_;
    SidebarAttention attention_;
    QLabel* icon_;
    QLabel* eyebrow_;
    QLabel* title_;
    QLabel* detail_;
    QLabel* chevron_;
};

// The title block, the three navigation rows and the attention card.
class Sidebar : public QWidget {
    Q_OBJECT
public:
    explicit Sidebar(AppModel& model, QWidget* parent = nullptr);

    void setCurrentPage(ConsolePage page);
    AttentionCard& attentionCard() { return *card_; }

signals:
    void pageRequested(ConsolePage page);

private:
    std::array<QPushButton*, 3> rows_{};
    AttentionCard* card_;
};

}  // namespace vesk
