#include "ui/ProcessingRail.h"

#include "ui/ConsoleStyle.h"
#include "ui/Icons.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QToolButton>
#include <QVBoxLayout>

namespace vesk {
namespace {

struct Node {
    OutputMode mode;
    const char* title;
    const char* detail;
    const char* icon;
};

constexpr std::array kNodes{
    Node{OutputMode::prompt, "Prompt", "Structured for AI", "wand.and.sparkles"},
    Node{OutputMode::clean, "Clean", "Tightened, same meaning", "text.alignleft"},
    Node{OutputMode::exact, "Exact", "Punctuation only", "quote.opening"},
};

}  // namespace

ProcessingRail::ProcessingRail(AppModel& model, QWidget* parent) : QWidget(parent), model_(model) {
    setObjectName("processingRail");
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(6);
    auto* eyebrow = new QLabel(QStringLiteral("PROCESSING"), this);
    ConsoleStyle::makeEyebrow(*eyebrow);
    layout->addWidget(eyebrow);
    for (size_t i = 0; i < kNodes.size(); ++i) {
        const Node& node = kNodes[i];
        auto* button = new QToolButton(this);
        button->setObjectName(QStringLiteral("mode-%1").arg(QString::fromLatin1(node.title).toLower()));
        button->setText(
            QStringLiteral("%1\n%2").arg(QString::fromLatin1(node.title), QString::fromLatin1(node.detail)));
        button->setAccessibleName(QString::fromLatin1(node.title));
        button->setAccessibleDescription(QString::fromLatin1(node.detail));
        button->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
        button->setIcon(symbolIcon(node.icon, ConsoleStyle::kText));
        button->setIconSize(QSize(20, 20));
        button->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
        button->setMinimumHeight(46);
        button->setCheckable(true);
        const OutputMode mode = node.mode;
        connect(button, &QToolButton::clicked, this, [this, mode] {
            model_.setOutputMode(mode);
            render();  // the selection shows the model's mode, not the click
        });
        layout->addWidget(button);
        nodes_[i] = button;
    }
    for (auto signal :
         {&AppModel::outputModeChanged, &AppModel::uiStateChanged, &AppModel::outputModeSelectionEnabledChanged})
        connect(&model_, signal, this, &ProcessingRail::render);
    render();
}

void ProcessingRail::render() {
    const bool enabled = model_.outputModeSelectionEnabled();
    const bool processing = model_.uiState() == UIState::processing;
    for (size_t i = 0; i < kNodes.size(); ++i) {
        const bool selected = kNodes[i].mode == model_.outputMode();
        QToolButton& button = *nodes_[i];
        button.setChecked(selected);
        button.setEnabled(enabled);
        button.setProperty("processing", selected && processing);
        button.setIcon(symbolIcon(kNodes[i].icon, selected && processing ? ConsoleStyle::kPurple
                                                  : selected             ? ConsoleStyle::kAccent
                                                                         : ConsoleStyle::kText));
        button.setStyleSheet(selected && processing ? QStringLiteral("border-color: #b38cff;") : QString());
    }
}

}  // namespace vesk
