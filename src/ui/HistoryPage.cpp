#include "ui/HistoryPage.h"

#include "history/HistoryOrganizer.h"
#include "ui/ConsoleStyle.h"
#include "ui/HistoryPresentation.h"
#include "ui/HistoryWorkspace.h"
#include "ui/Icons.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QStackedWidget>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>

namespace vesk {
namespace {

constexpr int kIDRole = Qt::UserRole;
constexpr int kHeaderRole = Qt::UserRole + 1;

enum ListState { listing = 0, empty = 1, noMatch = 2 };

QString qs(std::string_view text) { return QString::fromUtf8(text.data(), qsizetype(text.size())); }

// A centred icon with a title and a line under it, for the empty and no-match states.
QWidget* makeState(QWidget* parent, const char* name, const char* icon, const QString& title, const QString& detail) {
    auto* state = new QWidget(parent);
    state->setObjectName(QString::fromLatin1(name));
    auto* layout = new QVBoxLayout(state);
    layout->addStretch(1);
    auto* picture = new QLabel(state);
    picture->setPixmap(symbolIcon(icon, ConsoleStyle::kMuted).pixmap(36, 36));
    picture->setAlignment(Qt::AlignCenter);
    auto* heading = new QLabel(title, state);
    heading->setObjectName(QStringLiteral("%1Title").arg(QString::fromLatin1(name)));
    ConsoleStyle::setRole(*heading, "title");
    heading->setAlignment(Qt::AlignCenter);
    layout->addWidget(picture);
    layout->addWidget(heading);
    if (!detail.isEmpty()) {
        auto* line = new QLabel(detail, state);
        ConsoleStyle::setRole(*line, "muted");
        line->setWordWrap(true);
        line->setAlignment(Qt::AlignCenter);
        layout->addWidget(line);
    }
    layout->addStretch(1);
    return state;
}

}  // namespace

HistoryPage::HistoryPage(AppModel& model, QWidget* parent)
    : QWidget(parent),
      model_(model),
      search_(new QLineEdit(this)),
      storageIcon_(new QLabel(this)),
      storage_(new QLabel(this)),
      storageSettings_(new QToolButton(this)),
      listStack_(new QStackedWidget(this)),
      list_(new QListWidget(listStack_)),
      workspace_(new HistoryWorkspace(model, this)) {
    setObjectName("historyPage");
    search_->setObjectName("historySearch");
    search_->setPlaceholderText(QStringLiteral("Search history"));
    search_->setClearButtonEnabled(true);
    search_->addAction(symbolIcon("magnifyingglass", ConsoleStyle::kMuted), QLineEdit::LeadingPosition);
    storage_->setObjectName("historyStorage");
    ConsoleStyle::setRole(*storage_, "muted");
    storageSettings_->setObjectName("historyStorageSettings");
    storageSettings_->setIcon(symbolIcon("gearshape.fill", ConsoleStyle::kText));
    storageSettings_->setToolTip(QStringLiteral("Settings"));
    storageSettings_->setAccessibleName(QStringLiteral("Settings"));
    list_->setObjectName("historyList");
    list_->setUniformItemSizes(false);

    listStack_->addWidget(list_);
    listStack_->addWidget(makeState(listStack_, "historyEmpty", "waveform.badge.plus",
                                    QStringLiteral("Your next dictation will appear here"),
                                    QStringLiteral("Recordings become searchable project sessions automatically.")));
    QWidget* noMatch =
        makeState(listStack_, "historyNoMatch", "magnifyingglass", QStringLiteral("No matching recordings"), QString());
    clearSearch_ = new QPushButton(QStringLiteral("Clear search"), noMatch);
    clearSearch_->setObjectName("historyClearSearch");
    static_cast<QVBoxLayout*>(noMatch->layout())->insertWidget(3, clearSearch_, 0, Qt::AlignHCenter);
    listStack_->addWidget(noMatch);

    auto* left = new QVBoxLayout;
    left->setSpacing(8);
    left->addWidget(search_);
    auto* storageRow = new QHBoxLayout;
    storageIcon_->setFixedSize(16, 16);
    storageRow->addWidget(storageIcon_);
    storageRow->addWidget(storage_, 1);
    storageRow->addWidget(storageSettings_);
    left->addLayout(storageRow);
    left->addWidget(listStack_, 1);

    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(20, 20, 20, 16);
    layout->setSpacing(14);
    layout->addLayout(left, 4);
    layout->addWidget(workspace_, 5);

    connect(search_, &QLineEdit::textChanged, this, &HistoryPage::renderTimeline);
    connect(clearSearch_, &QPushButton::clicked, this, [this] { search_->clear(); });
    connect(storageSettings_, &QToolButton::clicked, this, &HistoryPage::navigateToSettings);
    connect(list_, &QListWidget::currentItemChanged, this, [this](QListWidgetItem* item) {
        if (rebuilding_ || !item || item->data(kHeaderRole).toBool()) return;
        selectedID_ = item->data(kIDRole).toString().toStdString();
        renderSelection();
    });
    for (auto signal : {&AppModel::entriesChanged, &AppModel::recentEntriesChanged})
        connect(&model_, signal, this, [this] {
            renderTimeline();
            renderSelection();
        });
    connect(&model_, &AppModel::saveHistoryChanged, this, &HistoryPage::renderStorage);
    renderStorage();
    renderTimeline();
}

void HistoryPage::setSearchText(const QString& text) { search_->setText(text); }

void HistoryPage::select(const std::string& id) {
    selectedID_ = id;
    renderTimeline();
    renderSelection();
}

int HistoryPage::listedRowCount() const { return list_->count(); }

const std::string& HistoryPage::titleOf(const HistoryEntry& entry) {
    auto& cached = titles_[entry.id];
    if (cached.second.empty() || cached.first != entry.renderedText) {
        cached.first = entry.renderedText;
        cached.second = HistoryOrganizer::entryTitle(entry);
    }
    return cached.second;
}

void HistoryPage::renderTimeline() {
    const auto timeline = model_.speechTimeline();
    const auto kept = HistoryPresentation::filter(timeline, search_->text().toStdString(),
                                                  [this](const HistoryEntry& entry) { return titleOf(entry); });
    listStack_->setCurrentIndex(timeline.empty() ? empty : kept.empty() ? noMatch : listing);

    rebuilding_ = true;
    list_->clear();
    const double now = HistoryPresentation::now();
    QListWidgetItem* current = nullptr;
    QFont headerFont = list_->font();
    headerFont.setBold(true);
    for (const HistoryProject& project : HistoryOrganizer::projects(kept)) {
        auto* header = new QListWidgetItem(qs(project.title) + QLatin1Char('\n') +
                                           qs(HistoryPresentation::projectMetadata(project, now)));
        header->setData(kHeaderRole, true);
        header->setFlags(Qt::ItemIsEnabled);
        header->setFont(headerFont);
        header->setForeground(ConsoleStyle::kMuted);
        list_->addItem(header);
        for (const HistoryEntry& entry : project.entries) {
            auto* row = new QListWidgetItem(QStringLiteral("   ") + qs(titleOf(entry)) + QStringLiteral("\n   ") +
                                            qs(displayName(entry.outputMode)));
            row->setData(kIDRole, QString::fromStdString(entry.id));
            row->setData(kHeaderRole, false);
            list_->addItem(row);
            if (selectedID_ && *selectedID_ == entry.id) current = row;
        }
    }
    if (current) list_->setCurrentItem(current);
    rebuilding_ = false;
}

void HistoryPage::renderStorage() {
    const bool stored = model_.saveHistory();
    storage_->setText(stored ? QStringLiteral("Stored on this computer") : QStringLiteral("This session only"));
    storageIcon_->setPixmap(
        symbolIcon(stored ? "externaldrive.fill.badge.checkmark" : "memorychip", ConsoleStyle::kMuted).pixmap(16, 16));
    storageSettings_->setVisible(!stored);
}

void HistoryPage::renderSelection() {
    std::optional<HistoryEntry> entry;
    if (selectedID_) {
        const auto timeline = model_.speechTimeline();
        const auto found = std::find_if(timeline.begin(), timeline.end(),
                                        [&](const HistoryEntry& candidate) { return candidate.id == *selectedID_; });
        if (found != timeline.end())
            entry = *found;
        else
            selectedID_.reset();
    }
    workspace_->open(entry);
}

}  // namespace vesk
