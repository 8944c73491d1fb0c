#pragma once

#include "ui/AppModel.h"

#include <QFrame>

#include <optional>
#include <vector>

class QHBoxLayout;
class QLabel;
class QLineEdit;
class QPushButton;
class QToolButton;
class QWidget;

namespace vesk {

// The review of the first uncertain word: what was heard, how sure the recognizer was,
// one button per alternative, a typed correction, or keeping the wording. Every answer
// goes to `replaceConfidenceIssue`; hidden while there is nothing to review. `model` must
// outlive the bar.
class ConfidenceLensBar : public QFrame {
    Q_OBJECT
public:
    explicit ConfidenceLensBar(AppModel& model, QWidget* parent = nullptr);

private:
    void render();
    void submitCorrection();

    AppModel& model_;
    std::optional<ConfidenceIssue> issue_;
    QLabel* header_;
    QLabel* heard_;
    QLabel* confidence_;
    QLabel* count_;
    QWidget* choices_;
    QHBoxLayout* choicesLayout_;
    std::vector<QPushButton*> choiceButtons_;
    QToolButton* edit_;
    QToolButton* keep_;
    QWidget* editor_;
    QLineEdit* correction_;
    QToolButton* use_;
};

}  // namespace vesk
