#include "ui/Sidebar.h"

#include "ui/ConsoleStyle.h"
#include "ui/Icons.h"

#include <QButtonGroup>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <QVBoxLayout>

namespace vesk {
namespace {

QString qs(const std::string& text) { return QString::fromStdString(text); }

}  // namespace

AttentionCard::AttentionCard(AppModel& model, QWidget* parent)
    : QFrame(parent),
      model_(model),
      icon_(new QLabel(this)),
      eyebrow_(new QLabel(this)),
      title_(new QLabel(this)),
      detail_(new QLabel(this)),
      chevron_(new QLabel(this)) {
    setObjectName("attentionCard");
    ConsoleStyle::setRole(*this, "card");
    icon_->setObjectName("attentionIcon");
    eyebrow_->setObjectName("attentionEyebrow");
    title_->setObjectName("attentionTitle");
    detail_->setObjectName("attentionDetail");
    chevron_->setObjectName("attentionChevron");
    ConsoleStyle::makeEyebrow(*eyebrow_);
    ConsoleStyle::setRole(*title_, "title");
    ConsoleStyle::setRole(*detail_, "muted");
    detail_->setWordWrap(true);
    icon_->setFixedSize(22, 22);
    chevron_->setFixedSize(14, 14);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(12, 12, 12, 12);
    layout->setSpacing(4);
    auto* top = new QHBoxLayout;
    top->addWidget(icon_);
    top->addWidget(eyebrow_, 1);
    top->addWidget(chevron_);
    layout->addLayout(top);
    layout->addWidget(title_);
    layout->addWidget(detail_);

    for (auto signal : {&AppModel::uiStateChanged, &AppModel::micAuthorizedChanged, &AppModel::lastErrorChanged,
                        &AppModel::axTrustedChanged, &AppModel::hotkeyChanged, &AppModel::isHandsFreeChanged,
                        &AppModel::transformStatusChanged, &AppModel::confidenceIssuesChanged,
                        &AppModel::autoPasteChanged, &AppModel::autoCopyChanged, &AppModel::outputModeChanged})
        connect(&model_, signal, this, &AttentionCard::render);
    render();
}

void AttentionCard::render() {
    attention_ = sidebarAttention(AttentionInputs::from(model_));
    const QColor tint = ConsoleStyle::tintColor(attention_.tint);
    icon_->setPixmap(symbolIcon(attention_.icon, tint).pixmap(22, 22));
    eyebrow_->setText(qs(attention_.eyebrow));
    eyebrow_->setStyleSheet(QStringLiteral("color: %1;").arg(tint.name()));
    title_->setText(qs(attention_.title));
    detail_->setText(qs(attention_.detail));
    chevron_->setPixmap(symbolIcon("chevron.right", ConsoleStyle::kMuted).pixmap(14, 14));
    chevron_->setVisible(attention_.opensSettings);
    setCursor(attention_.opensSettings ? Qt::PointingHandCursor : Qt::ArrowCursor);
    setFocusPolicy(attention_.opensSettings ? Qt::StrongFocus : Qt::NoFocus);
    setAccessibleName(qs(attention_.title + ". " + attention_.detail));
}

void AttentionCard::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton && attention_.opensSettings && rect().contains(event->position().toPoint()))
        emit settingsRequested();
    QFrame::mouseReleaseEvent(event);
}

void AttentionCard::keyPressEvent(QKeyEvent* event) {
    if (attention_.opensSettings && (event->key() == Qt::Key_Space || event->key() == Qt::Key_Return)) {
        emit settingsRequested();
        return;
    }
    QFrame::keyPressEvent(event);
}

Sidebar::Sidebar(AppModel& model, QWidget* parent) : QWidget(parent), card_(new AttentionCard(model, this)) {
    setObjectName("sidebar");
    setAttribute(Qt::WA_StyledBackground);
    setFixedWidth(232);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(16, 24, 16, 16);
    layout->setSpacing(4);

    auto* title = new QLabel(QStringLiteral("Project Vesk"), this);
    ConsoleStyle::setRole(*title, "heading");
    auto* subtitle = new QLabel(QStringLiteral("Voice console"), this);
    ConsoleStyle::setRole(*subtitle, "muted");
    layout->addWidget(title);
    layout->addWidget(subtitle);
    layout->addSpacing(20);

    struct Row {
        const char* title;
        const char* icon;
        ConsolePage page;
    };
    const Row rows[] = {{"Listen", "waveform", ConsolePage::studio},
                        {"History", "clock.arrow.circlepath", ConsolePage::prompts},
                        {"Settings", "gearshape.fill", ConsolePage::settings}};
    auto* group = new QButtonGroup(this);
    for (size_t i = 0; i < std::size(rows); ++i) {
        auto* button =
            new QPushButton(symbolIcon(rows[i].icon, ConsoleStyle::kText), QString::fromLatin1(rows[i].title), this);
        button->setObjectName(QStringLiteral("nav-%1").arg(QString::fromLatin1(rows[i].title)));
        ConsoleStyle::setRole(*button, "nav");
        button->setCheckable(true);
        button->setIconSize(QSize(18, 18));
        group->addButton(button);
        layout->addWidget(button);
        const ConsolePage page = rows[i].page;
        connect(button, &QPushButton::clicked, this, [this, page] { emit pageRequested(page); });
        rows_[i] = button;
    }
    layout->addStretch(1);
    layout->addWidget(card_);
    connect(card_, &AttentionCard::settingsRequested, this, [this] { emit pageRequested(ConsolePage::settings); });
    setCurrentPage(ConsolePage::studio);
}

void Sidebar::setCurrentPage(ConsolePage page) { rows_[static_cast<size_t>(page)]->setChecked(true); }

}  // namespace vesk
