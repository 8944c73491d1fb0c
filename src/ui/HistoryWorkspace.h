#pragma once

#include "ui/AppModel.h"

#include <QFrame>

#include <optional>
#include <string>

class QLabel;
class QPlainTextEdit;
class QPushButton;
class QStackedWidget;
class QToolButton;

namespace vesk {

// One recording opened for work: its rendered text (editable) or its spoken transcript,
// the word count and length, Copy, Apply and Transform into another mode. The draft is
// this view's own until Apply or Transform saves it. `model` must outlive the view.
class HistoryWorkspace : public QFrame {
    Q_OBJECT
public:
    enum class Surface { rendered, spoken };

    explicit HistoryWorkspace(AppModel& model, QWidget* parent = nullptr);

    // Opens `entry`, or the placeholder when there is none. Reopening the same entry keeps
    // the draft unless its rendered text changed underneath.
    void open(const std::optional<HistoryEntry>& entry);
    void setSurface(Surface surface);
    Surface surface() const { return surface_; }
    QString draft() const;

private:
    void renderSurface();
    void renderTransforming();
    void saveDraft();

    AppModel& model_;
    std::optional<HistoryEntry> entry_;
    QString renderedDraft_;
    Surface surface_ = Surface::rendered;
    QStackedWidget* stack_;
    QLabel* title_;
    QLabel* meta_;
    QPushButton* rendered_;
    QPushButton* spoken_;
    QPlainTextEdit* editor_;
    QLabel* transforming_;
    QPushButton* copy_;
    QPushButton* apply_;
    QToolButton* transform_;
    bool applyingSurface_ = false;
};

}  // namespace vesk
