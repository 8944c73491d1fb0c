#pragma once

#include "ui/AppModel.h"

#include <QWidget>

#include <optional>
#include <string>
#include <unordered_map>
#include <utility>

class QLabel;
class QLineEdit;
class QListWidget;
class QListWidgetItem;
class QPushButton;
class QStackedWidget;
class QToolButton;

namespace vesk {

class HistoryWorkspace;

// The "History" page: the speech timeline searched as it is typed and grouped into
// projects, and the workspace of the selected recording. The selection, the search and
// the draft are this page's own; every change of an entry goes through the model.
// `model` must outlive the page.
class HistoryPage : public QWidget {
    Q_OBJECT
public:
    explicit HistoryPage(AppModel& model, QWidget* parent = nullptr);

    void setSearchText(const QString& text);
    // Selects an entry of the timeline and opens it in the workspace.
    void select(const std::string& id);
    const std::optional<std::string>& selectedID() const { return selectedID_; }
    // Rows currently listed: project headers and entries.
    int listedRowCount() const;

signals:
    void navigateToSettings();

private:
    void renderTimeline();
    void renderStorage();
    void renderSelection();
    const std::string& titleOf(const HistoryEntry& entry);

    AppModel& model_;
    std::optional<std::string> selectedID_;
    // Entry titles by id, with the rendered text they were made from.
    std::unordered_map<std::string, std::pair<std::string, std::string>> titles_;
    QLineEdit* search_;
    QLabel* storageIcon_;
    QLabel* storage_;
    QToolButton* storageSettings_;
    QStackedWidget* listStack_;
    QListWidget* list_;
    QPushButton* clearSearch_;
    HistoryWorkspace* workspace_;
    bool rebuilding_ = false;
};

}  // namespace vesk
