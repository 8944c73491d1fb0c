#pragma once

#include "app/ControllerPorts.h"
#include "ui/ConsoleWindow.h"

#include <QObject>
#include <QPointer>

#include <functional>
#include <memory>

namespace vesk {

class AppDelegate;
class DictationHUDController;
class TrayItem;

// The windows of the running application over its controller: the tray icon with its
// quick panel, the console window (made on first use and kept when closed) and the
// dictation HUD. It tells the controller when the console closes and when the quick
// panel opens or closes, and answers a second start by showing the console.
// Main thread; `app` must outlive the shell.
class DesktopShell : public QObject {
    Q_OBJECT
public:
    explicit DesktopShell(AppDelegate& app, ConsoleWindowOptions console = {}, QObject* parent = nullptr);
    ~DesktopShell() override;

    // Makes the console once, then shows, raises and activates it.
    void presentConsole();
    bool isConsoleVisible() const;
    bool isQuickPanelShown() const;

    // Null until first presented.
    ConsoleWindow* console() const { return console_.get(); }
    TrayItem& tray() { return *tray_; }
    DictationHUDController& hud() { return *hud_; }

signals:
    // The console was shown for the first time (the start-up measurement's end mark).
    void consoleFirstShown();

private:
    AppDelegate& app_;
    ConsoleWindowOptions consoleOptions_;
    std::unique_ptr<ConsoleWindow> console_;
    std::unique_ptr<TrayItem> tray_;
    std::unique_ptr<DictationHUDController> hud_;
};

// The controller is made before its windows (they observe it), so its window ports reach
// the shell through this link, attached once the shell exists. Before that, and after the
// shell is gone, the ports do nothing and report nothing visible.
struct ShellLink {
    QPointer<DesktopShell> shell;
};

std::unique_ptr<DictationHud> makeShellHud(std::shared_ptr<ShellLink> link);
std::unique_ptr<TrayIconSink> makeShellTray(std::shared_ptr<ShellLink> link);
// `quit` ends the application (it returns before the application has ended).
std::unique_ptr<AppSurfaces> makeShellSurfaces(std::shared_ptr<ShellLink> link, std::function<void()> quit);

}  // namespace vesk
