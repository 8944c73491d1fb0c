#include "ui/ConfidenceLensBar.h"

#include "text/Unicode.h"
#include "ui/ConsoleStyle.h"
#include "ui/Icons.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QToolButton>
#include <QVBoxLayout>

#include <cmath>

namespace vesk {

ConfidenceLensBar::ConfidenceLensBar(AppModel& model, QWidget* parent)
    : QFrame(parent),
      model_(model),
      header_(new QLabel(this)),
      heard_(new QLabel(this)),
      confidence_(new QLabel(this)),
      count_(new QLabel(this)),
      choices_(new QWidget(this)),
      choicesLayout_(new QHBoxLayout(choices_)),
      edit_(new QToolButton(this)),
      keep_(new QToolButton(this)),
      editor_(new QWidget(this)),
      correction_(new QLineEdit(editor_)),
      use_(new QToolButton(editor_)) {
    setObjectName("confidenceLens");
    ConsoleStyle::setRole(*this, "card");
    header_->setObjectName("lensHeader");
    heard_->setObjectName("lensHeard");
    confidence_->setObjectName("lensConfidence");
    count_->setObjectName("lensCount");
    edit_->setObjectName("lensEdit");
    keep_->setObjectName("lensKeep");
    correction_->setObjectName("lensCorrection");
    use_->setObjectName("lensUse");
    ConsoleStyle::makeEyebrow(*header_);
    ConsoleStyle::setRole(*heard_, "title");
    ConsoleStyle::setRole(*confidence_, "muted");
    ConsoleStyle::setRole(*count_, "muted");

    edit_->setIcon(symbolIcon("pencil", ConsoleStyle::kText));
    edit_->setToolTip(QStringLiteral("Type a correction"));
    edit_->setAccessibleName(QStringLiteral("Type a correction"));
    edit_->setCheckable(true);
    keep_->setIcon(symbolIcon("arrow.uturn.backward", ConsoleStyle::kText));
    keep_->setToolTip(QStringLiteral("Keep the recognized wording"));
    keep_->setAccessibleName(QStringLiteral("Keep the recognized wording"));
    use_->setIcon(symbolIcon("checkmark", ConsoleStyle::kGreen));
    use_->setToolTip(QStringLiteral("Use this correction"));
    use_->setAccessibleName(QStringLiteral("Use this correction"));
    correction_->setPlaceholderText(QStringLiteral("Type a correction"));

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(12, 10, 12, 10);
    layout->setSpacing(6);
    auto* top = new QHBoxLayout;
    top->addWidget(header_);
    top->addStretch(1);
    top->addWidget(count_);
    layout->addLayout(top);
    auto* word = new QHBoxLayout;
    word->addWidget(heard_);
    word->addWidget(confidence_);
    word->addStretch(1);
    layout->addLayout(word);
    auto* actions = new QHBoxLayout;
    choicesLayout_->setContentsMargins(0, 0, 0, 0);
    choicesLayout_->setSpacing(6);
    actions->addWidget(choices_);
    actions->addStretch(1);
    actions->addWidget(edit_);
    actions->addWidget(keep_);
    layout->addLayout(actions);
    auto* editorLayout = new QHBoxLayout(editor_);
    editorLayout->setContentsMargins(0, 0, 0, 0);
    auto* correctionLabel = new QLabel(QStringLiteral("Correction"), editor_);
    ConsoleStyle::setRole(*correctionLabel, "muted");
    editorLayout->addWidget(correctionLabel);
    editorLayout->addWidget(correction_, 1);
    editorLayout->addWidget(use_);
    layout->addWidget(editor_);
    editor_->hide();

    connect(edit_, &QToolButton::toggled, this, [this](bool on) {
        editor_->setVisible(on);
        if (on) correction_->setFocus();
    });
    connect(use_, &QToolButton::clicked, this, &ConfidenceLensBar::submitCorrection);
    connect(correction_, &QLineEdit::returnPressed, this, &ConfidenceLensBar::submitCorrection);
    connect(keep_, &QToolButton::clicked, this, [this] {
        if (issue_) model_.replaceConfidenceIssue(*issue_, issue_->heard);
    });
    connect(&model_, &AppModel::confidenceIssuesChanged, this, &ConfidenceLensBar::render);
    render();
}

void ConfidenceLensBar::submitCorrection() {
    if (!issue_) return;
    const std::string text = unicode::trimWhitespaceAndNewlines(correction_->text().toStdString());
    if (text.empty()) return;
    const ConfidenceIssue issue = *issue_;
    correction_->clear();
    model_.replaceConfidenceIssue(issue, text);
}

void ConfidenceLensBar::render() {
    const auto issues = model_.confidenceIssues();
    if (issues.empty()) {
        issue_.reset();
        setVisible(false);
        return;
    }
    const bool sameIssue = issue_ && issue_->id == issues.front().id;
    issue_ = issues.front();
    header_->setText(issue_->isCritical ? QStringLiteral("DETAIL CHECK") : QStringLiteral("WORD CHECK"));
    heard_->setText(QString::fromStdString(issue_->heard));
    const long percent = std::lround(issue_->confidence * 100);
    confidence_->setText(QStringLiteral("%1%").arg(percent));
    confidence_->setAccessibleName(QStringLiteral("Recognition confidence %1 percent").arg(percent));
    count_->setText(QStringLiteral("%1 checks").arg(issues.size()));

    // A choice may be the sender of this very change: detach it now, delete it later.
    for (QPushButton* button : choiceButtons_) {
        button->hide();
        button->setParent(nullptr);
        button->deleteLater();
    }
    choiceButtons_.clear();
    for (size_t i = 0; i < issue_->alternatives.size(); ++i) {
        const std::string alternative = issue_->alternatives[i];
        auto* button = new QPushButton(QString::fromStdString(alternative), choices_);
        button->setObjectName(QStringLiteral("lensChoice-%1").arg(i));
        button->setAccessibleName(QStringLiteral("Replace with %1").arg(QString::fromStdString(alternative)));
        button->setToolTip(button->accessibleName());
        connect(button, &QPushButton::clicked, this, [this, alternative] {
            if (issue_) model_.replaceConfidenceIssue(*issue_, alternative);
        });
        choicesLayout_->addWidget(button);
        choiceButtons_.push_back(button);
    }
    if (!sameIssue) {
        correction_->clear();
        edit_->setChecked(false);
    }
    setVisible(true);
}

}  // namespace vesk
