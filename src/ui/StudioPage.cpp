#include "ui/StudioPage.h"

#include "ui/AssemblingTranscriptView.h"
#include "ui/ConfidenceLensBar.h"
#include "ui/ConsoleStyle.h"
#include "ui/Icons.h"
#include "ui/LevelFieldWidget.h"
#include "ui/ProcessingRail.h"

#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace vesk {

FieldWidgetFactory levelFieldFactory() {
    return [](AudioVisualModel& model, QWidget* parent) -> QWidget* { return new LevelFieldWidget(model, parent); };
}

StudioPage::StudioPage(AppModel& model, const FieldWidgetFactory& makeField, QWidget* parent)
    : QWidget(parent), model_(model) {
    setObjectName("studioPage");
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(20, 20, 20, 16);
    layout->setSpacing(12);

    // The field card: the live sound and, under it, the caption as it assembles.
    auto* fieldCard = new QFrame(this);
    fieldCard->setObjectName("fieldCard");
    ConsoleStyle::setRole(*fieldCard, "card");
    auto* fieldLayout = new QVBoxLayout(fieldCard);
    fieldLayout->setContentsMargins(1, 1, 1, 10);
    fieldLayout->setSpacing(8);
    field_ = makeField(model_.audioVisual(), fieldCard);
    field_->setAccessibleName(QStringLiteral("Vesk Field audio visualization"));
    field_->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    fieldLayout->addWidget(field_, 1);
    transcript_ = new AssemblingTranscriptView(fieldCard);
    transcript_->setContentsMargins(14, 0, 14, 0);
    transcript_->setFixedHeight(46);
    fieldLayout->addWidget(transcript_);

    auto* side = new QVBoxLayout;
    side->setSpacing(10);
    rail_ = new ProcessingRail(model_, this);
    lens_ = new ConfidenceLensBar(model_, this);
    side->addWidget(rail_);
    side->addWidget(lens_);
    side->addStretch(1);

    auto* top = new QHBoxLayout;
    top->setSpacing(14);
    top->addWidget(fieldCard, 3);
    top->addLayout(side, 2);
    layout->addLayout(top, 1);

    // The command dock: the result as editable text and the copy action.
    auto* dock = new QFrame(this);
    dock->setObjectName("commandDock");
    ConsoleStyle::setRole(*dock, "card");
    auto* dockLayout = new QVBoxLayout(dock);
    dockLayout->setContentsMargins(12, 10, 12, 10);
    dockLayout->setSpacing(6);
    auto* dockTop = new QHBoxLayout;
    auto* eyebrow = new QLabel(QStringLiteral("DRAFT"), dock);
    ConsoleStyle::makeEyebrow(*eyebrow);
    draftStatus_ = new QLabel(dock);
    draftStatus_->setObjectName("draftStatus");
    ConsoleStyle::setRole(*draftStatus_, "muted");
    copy_ = new QPushButton(symbolIcon("doc.on.doc", ConsoleStyle::kText), QStringLiteral("Copy transcript"), dock);
    copy_->setObjectName("copyTranscript");
    dockTop->addWidget(eyebrow);
    dockTop->addWidget(draftStatus_, 1);
    dockTop->addWidget(copy_);
    dockLayout->addLayout(dockTop);
    draft_ = new QPlainTextEdit(dock);
    draft_->setObjectName("promptDraft");
    draft_->setAccessibleName(QStringLiteral("Prompt draft"));
    draft_->setPlaceholderText(QStringLiteral("Your result appears here, ready to edit."));
    draft_->setFixedHeight(96);
    dockLayout->addWidget(draft_);
    layout->addWidget(dock);

    connect(draft_, &QPlainTextEdit::textChanged, this, [this] {
        if (!applyingModel_) model_.stageCurrentPromptEdit(draft_->toPlainText().toStdString());
    });
    connect(copy_, &QPushButton::clicked, this, [this] { model_.copyTranscriptSurface(); });
    connect(&model_, &AppModel::promptDraftChanged, this, &StudioPage::renderDraft);
    connect(&model_, &AppModel::transformStatusChanged, this, &StudioPage::renderDraft);
    connect(&model_, &AppModel::uiStateChanged, this, &StudioPage::renderTranscript);
    connect(&model_.transcriptModel(), &LiveTranscriptModel::snapshotChanged, this, &StudioPage::renderTranscript);
    renderDraft();
    renderTranscript();
}

void StudioPage::renderDraft() {
    const QString text = QString::fromStdString(model_.promptDraft());
    if (draft_->toPlainText() != text) {
        // The model's text replaces the editor's; keep the caret where it was when it fits.
        const int position = draft_->textCursor().position();
        applyingModel_ = true;
        draft_->setPlainText(text);
        applyingModel_ = false;
        QTextCursor cursor = draft_->textCursor();
        cursor.setPosition(std::min<int>(position, int(text.size())));
        draft_->setTextCursor(cursor);
    }
    const auto status = model_.transformStatus();
    draftStatus_->setText(status ? QString::fromStdString(*status) : QString());
    copy_->setEnabled(!text.isEmpty());
}

void StudioPage::renderTranscript() {
    const auto& snapshot = model_.transcriptModel().snapshot();
    transcript_->setTexts(snapshot.finalized, snapshot.provisional);
    transcript_->setListening(model_.uiState() == UIState::recording);
}

}  // namespace vesk
