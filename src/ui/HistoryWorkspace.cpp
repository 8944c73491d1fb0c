#include "ui/HistoryWorkspace.h"

#include "history/HistoryOrganizer.h"
#include "ui/ConsoleStyle.h"
#include "ui/HistoryPresentation.h"
#include "ui/Icons.h"

#include <QButtonGroup>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStackedWidget>
#include <QToolButton>
#include <QVBoxLayout>

namespace vesk {
namespace {

const char* modeIcon(OutputMode mode) {
    switch (mode) {
        case OutputMode::prompt: return "wand.and.sparkles";
        case OutputMode::clean: return "text.alignleft";
        case OutputMode::exact: return "quote.opening";
    }
    return "wand.and.sparkles";
}

QString qs(std::string_view text) { return QString::fromUtf8(text.data(), qsizetype(text.size())); }

}  // namespace

HistoryWorkspace::HistoryWorkspace(AppModel& model, QWidget* parent)
    : QFrame(parent), model_(model), stack_(new QStackedWidget(this)) {
    setObjectName("historyWorkspace");
    ConsoleStyle::setRole(*this, "card");
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->addWidget(stack_);

    auto* placeholder = new QLabel(QStringLiteral("Select a recording to review, edit or transform it."), stack_);
    placeholder->setObjectName("workspacePlaceholder");
    placeholder->setAlignment(Qt::AlignCenter);
    ConsoleStyle::setRole(*placeholder, "muted");
    stack_->addWidget(placeholder);

    auto* page = new QWidget(stack_);
    auto* layout = new QVBoxLayout(page);
    layout->setContentsMargins(16, 14, 16, 14);
    layout->setSpacing(8);
    title_ = new QLabel(page);
    title_->setObjectName("workspaceTitle");
    ConsoleStyle::setRole(*title_, "title");
    title_->setWordWrap(true);
    layout->addWidget(title_);

    auto* switchRow = new QHBoxLayout;
    rendered_ = new QPushButton(QStringLiteral("Rendered"), page);
    spoken_ = new QPushButton(QStringLiteral("Spoken"), page);
    rendered_->setObjectName("surface-rendered");
    spoken_->setObjectName("surface-spoken");
    auto* surfaces = new QButtonGroup(page);
    for (QPushButton* button : {rendered_, spoken_}) {
        button->setCheckable(true);
        surfaces->addButton(button);
        switchRow->addWidget(button);
    }
    meta_ = new QLabel(page);
    meta_->setObjectName("workspaceMeta");
    ConsoleStyle::setRole(*meta_, "muted");
    switchRow->addSpacing(8);
    switchRow->addWidget(meta_, 1);
    layout->addLayout(switchRow);

    editor_ = new QPlainTextEdit(page);
    editor_->setObjectName("workspaceDraft");
    editor_->setAccessibleName(QStringLiteral("Recording text"));
    layout->addWidget(editor_, 1);

    transforming_ = new QLabel(QStringLiteral("Transforming speech…"), page);
    transforming_->setObjectName("workspaceTransforming");
    transforming_->setStyleSheet(QStringLiteral("color: #b38cff;"));
    layout->addWidget(transforming_);

    auto* actions = new QHBoxLayout;
    copy_ = new QPushButton(symbolIcon("doc.on.doc", ConsoleStyle::kText), QStringLiteral("Copy"), page);
    apply_ = new QPushButton(symbolIcon("checkmark", ConsoleStyle::kGreen), QStringLiteral("Apply"), page);
    transform_ = new QToolButton(page);
    copy_->setObjectName("workspaceCopy");
    apply_->setObjectName("workspaceApply");
    transform_->setObjectName("workspaceTransform");
    transform_->setText(QStringLiteral("Transform"));
    transform_->setPopupMode(QToolButton::InstantPopup);
    auto* menu = new QMenu(transform_);
    for (const OutputMode mode : kAllOutputModes) {
        QAction* action = menu->addAction(symbolIcon(modeIcon(mode), ConsoleStyle::kText), qs(displayName(mode)));
        action->setObjectName(QStringLiteral("transform-%1").arg(qs(displayName(mode)).toLower()));
        connect(action, &QAction::triggered, this, [this, mode] {
            if (!entry_) return;
            saveDraft();
            model_.transformSpeechEntry(entry_->id, mode);
        });
    }
    transform_->setMenu(menu);
    actions->addWidget(copy_);
    actions->addStretch(1);
    actions->addWidget(apply_);
    actions->addWidget(transform_);
    layout->addLayout(actions);
    stack_->addWidget(page);

    connect(rendered_, &QPushButton::clicked, this, [this] { setSurface(Surface::rendered); });
    connect(spoken_, &QPushButton::clicked, this, [this] { setSurface(Surface::spoken); });
    connect(editor_, &QPlainTextEdit::textChanged, this, [this] {
        if (!applyingSurface_ && surface_ == Surface::rendered) renderedDraft_ = editor_->toPlainText();
    });
    connect(copy_, &QPushButton::clicked, this, [this] { model_.copyText(editor_->toPlainText().toStdString()); });
    connect(apply_, &QPushButton::clicked, this, &HistoryWorkspace::saveDraft);
    connect(&model_, &AppModel::historyTransformingIDChanged, this, &HistoryWorkspace::renderTransforming);
    open(std::nullopt);
}

void HistoryWorkspace::open(const std::optional<HistoryEntry>& entry) {
    const bool sameEntry = entry && entry_ && entry->id == entry_->id;
    const bool renderedChanged = !sameEntry || entry->renderedText != entry_->renderedText;
    entry_ = entry;
    if (!entry_) {
        stack_->setCurrentIndex(0);
        return;
    }
    if (renderedChanged) renderedDraft_ = QString::fromStdString(entry_->renderedText);
    if (!sameEntry) surface_ = Surface::rendered;
    title_->setText(QString::fromStdString(HistoryOrganizer::entryTitle(*entry_)) + QStringLiteral("  ·  ") +
                    qs(displayName(entry_->outputMode)));
    meta_->setText(QString::fromStdString(HistoryPresentation::entryMetadata(*entry_)));
    stack_->setCurrentIndex(1);
    renderSurface();
    renderTransforming();
}

void HistoryWorkspace::setSurface(Surface surface) {
    surface_ = surface;
    renderSurface();
}

QString HistoryWorkspace::draft() const { return renderedDraft_; }

void HistoryWorkspace::renderSurface() {
    if (!entry_) return;
    const bool rendered = surface_ == Surface::rendered;
    rendered_->setChecked(rendered);
    spoken_->setChecked(!rendered);
    const QString text = rendered ? renderedDraft_ : QString::fromStdString(entry_->transcript);
    if (editor_->toPlainText() != text) {
        applyingSurface_ = true;
        editor_->setPlainText(text);
        applyingSurface_ = false;
    }
    // What was spoken is the record; only the rendered text is edited.
    editor_->setReadOnly(!rendered);
}

void HistoryWorkspace::renderTransforming() {
    const bool transforming = entry_ && model_.historyTransformingID() == entry_->id;
    transforming_->setVisible(transforming);
    apply_->setEnabled(!transforming);
    transform_->setEnabled(!transforming);
}

void HistoryWorkspace::saveDraft() {
    if (!entry_) return;
    model_.updateSpeechEntry(entry_->id, renderedDraft_.toStdString(), std::nullopt);
}

}  // namespace vesk
