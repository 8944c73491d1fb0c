#pragma once

#include "ui/AppModel.h"

#include <QWidget>

#include <functional>

class QLabel;
class QPlainTextEdit;
class QPushButton;

namespace vesk {

class AssemblingTranscriptView;
class ConfidenceLensBar;
class ProcessingRail;

// Makes the widget drawn in the field card over the live sound, parented to `parent`.
using FieldWidgetFactory = std::function<QWidget*(AudioVisualModel& model, QWidget* parent)>;

// The painted level picture; the default until the GPU field is plugged in.
FieldWidgetFactory levelFieldFactory();

// The "Listen" page: the live field with the caption under it, the output modes, the
// review of uncertain words and the editable result. Edits of the draft go to
// `stageCurrentPromptEdit` as they are typed. `model` must outlive the page.
class StudioPage : public QWidget {
    Q_OBJECT
public:
    StudioPage(AppModel& model, const FieldWidgetFactory& makeField, QWidget* parent = nullptr);

    QWidget& field() { return *field_; }
    AssemblingTranscriptView& transcript() { return *transcript_; }

private:
    void renderDraft();
    void renderTranscript();

    AppModel& model_;
    QWidget* field_;
    AssemblingTranscriptView* transcript_;
    ProcessingRail* rail_;
    ConfidenceLensBar* lens_;
    QLabel* draftStatus_;
    QPlainTextEdit* draft_;
    QPushButton* copy_;
    bool applyingModel_ = false;
};

}  // namespace vesk
