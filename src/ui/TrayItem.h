#pragma once

#include "ui/AppModel.h"

#include <QColor>
#include <QImage>
#include <QObject>
#include <QString>
#include <QSystemTrayIcon>
#include <QTimer>

#include <memory>

namespace vesk {

class MenuBarQuickPanel;

// The word the tray's tooltip gives for each state ("listening", "recording", "processing",
// "result ready") and the whole tooltip, "Project Vesk · " + word.
QString trayWord(UIState state);
QString trayTooltip(UIState state);

// The tray icon: a one-colour image tinted by the caller, with a tooltip; a click opens the
// quick panel beside the icon (or at the cursor when the tray gives no geometry). The icon is
// shown with the first image even when no tray host runs yet, and appears once one starts. Identical
// images are never sent again (each change is a message to the tray host); how often to call
// `setIcon` is the caller's choice. `model` must outlive the item. Main thread only.
class TrayItem : public QObject {
    Q_OBJECT
public:
    explicit TrayItem(AppModel& model, QObject* parent = nullptr);
    ~TrayItem() override;

    // `image` is drawn in one colour on transparency; every drawn pixel takes `tint`, keeping
    // its coverage. Returns whether anything reached the tray (false when nothing changed).
    bool setIcon(const QImage& image, const QColor& tint, const QString& tooltip);

    // Opens the quick panel, or closes it when it is open.
    void toggleQuickPanel();
    // The quick panel; null until first opened.
    MenuBarQuickPanel* quickPanel() const { return panel_.get(); }
    const QSystemTrayIcon& trayIcon() const { return icon_; }
    // How many icon images reached the tray so far.
    long long iconUpdates() const { return iconUpdates_; }

    // `image` with every pixel's colour replaced by `tint`, alpha scaled by the pixel's.
    static QImage tinted(const QImage& image, const QColor& tint);

signals:
    // The quick panel appeared or went away (closed, or lost focus).
    void quickPanelShown();
    void quickPanelClosed();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void watchForHost();

    AppModel& model_;
    QSystemTrayIcon icon_;
    std::unique_ptr<MenuBarQuickPanel> panel_;
    QImage shown_;
    QTimer hostWatch_;
    long long iconUpdates_ = 0;
};

}  // namespace vesk
