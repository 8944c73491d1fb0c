#pragma once

#include "ui/AppModel.h"
#include "ui/SettingsPage.h"
#include "ui/Sidebar.h"
#include "ui/StudioPage.h"

#include <QTimer>
#include <QWidget>

class QStackedWidget;

namespace vesk {

class HistoryPage;

// What the console is built with; the defaults are the real ones.
struct ConsoleWindowOptions {
    // The widget in the field card. The GPU field plugs in here.
    FieldWidgetFactory makeField = levelFieldFactory();
    SettingsSources settings = SettingsSources::system();
};

// The application's one ordinary window: the sidebar and the Listen, History and Settings
// pages over the model. 1120 × 556 at first, never shorter or taller than 556, at least
// 980 wide, centred on its screen when first shown. Closing hides it; the owner keeps it
// and shows it again. While it exists it asks the model to refresh the permissions every
// 2 seconds. Main thread; `model` must outlive the window.
class ConsoleWindow : public QWidget {
    Q_OBJECT
public:
    static constexpr int kWidth = 1120;
    static constexpr int kHeight = 556;
    static constexpr int kMinimumWidth = 980;
    static constexpr int kMaximumWidth = 10000;
    static constexpr int kPermissionRefreshMs = 2000;

    explicit ConsoleWindow(AppModel& model, ConsoleWindowOptions options = {}, QWidget* parent = nullptr);

    // Shows, raises and activates the window, centred the first time.
    void present();

    void setPage(ConsolePage page);
    ConsolePage page() const { return page_; }

    Sidebar& sidebar() { return *sidebar_; }
    StudioPage& studio() { return *studio_; }
    HistoryPage& history() { return *history_; }
    SettingsPage& settings() { return *settings_; }
    const QTimer& permissionTimer() const { return permissionTimer_; }

signals:
    // The person closed the window (it is hidden, not destroyed).
    void closed();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    AppModel& model_;
    ConsolePage page_ = ConsolePage::studio;
    Sidebar* sidebar_;
    QStackedWidget* pages_;
    StudioPage* studio_;
    HistoryPage* history_;
    SettingsPage* settings_;
    QTimer permissionTimer_;
    bool centred_ = false;
};

}  // namespace vesk
