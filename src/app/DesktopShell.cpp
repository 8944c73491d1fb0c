#include "app/DesktopShell.h"

#include "app/AppDelegate.h"
#include "hud/DictationHUDController.h"
#include "ui/MenuBarQuickPanel.h"
#include "ui/TrayItem.h"

namespace vesk {

DesktopShell::DesktopShell(AppDelegate& app, ConsoleWindowOptions console, QObject* parent)
    : QObject(parent),
      app_(app),
      consoleOptions_(std::move(console)),
      tray_(std::make_unique<TrayItem>(app)),
      hud_(std::make_unique<DictationHUDController>(app.audioVisual())) {
    connect(tray_.get(), &TrayItem::quickPanelShown, this, [this] { app_.popoverDidShow(); });
    connect(tray_.get(), &TrayItem::quickPanelClosed, this, [this] { app_.popoverDidClose(); });
}

DesktopShell::~DesktopShell() = default;

void DesktopShell::presentConsole() {
    if (!console_) {
        console_ = std::make_unique<ConsoleWindow>(app_, consoleOptions_);
        connect(console_.get(), &ConsoleWindow::closed, this, [this] { app_.mainWindowWillClose(); });
        console_->present();
        emit consoleFirstShown();
        return;
    }
    console_->present();
}

bool DesktopShell::isConsoleVisible() const { return console_ && console_->isVisible(); }

bool DesktopShell::isQuickPanelShown() const {
    const MenuBarQuickPanel* panel = tray_->quickPanel();
    return panel && panel->isVisible();
}

namespace {

class ShellHud final : public DictationHud {
public:
    explicit ShellHud(std::shared_ptr<ShellLink> link) : link_(std::move(link)) {}
    void showRecording() override {
        if (auto* hud = target()) hud->showRecording();
    }
    void showProcessing() override {
        if (auto* hud = target()) hud->showProcessing();
    }
    void showMessage(const std::string& text) override {
        if (auto* hud = target()) hud->showMessage(QString::fromStdString(text));
    }
    void showResult(const std::string& text, const std::string& status) override {
        if (auto* hud = target()) hud->showResult(QString::fromStdString(text), QString::fromStdString(status));
    }
    void hide() override {
        if (auto* hud = target()) hud->hide();
    }

private:
    DictationHUDController* target() const { return link_->shell ? &link_->shell->hud() : nullptr; }
    std::shared_ptr<ShellLink> link_;
};

class ShellTray final : public TrayIconSink {
public:
    explicit ShellTray(std::shared_ptr<ShellLink> link) : link_(std::move(link)) {}
    void setIcon(const QImage& image, const QColor& tint, const QString& tooltip) override {
        if (link_->shell) link_->shell->tray().setIcon(image, tint, tooltip);
    }

private:
    std::shared_ptr<ShellLink> link_;
};

class ShellSurfaces final : public AppSurfaces {
public:
    ShellSurfaces(std::shared_ptr<ShellLink> link, std::function<void()> quit)
        : link_(std::move(link)), quit_(std::move(quit)) {}
    bool isMainWindowVisible() override { return link_->shell && link_->shell->isConsoleVisible(); }
    bool isPopoverShown() override { return link_->shell && link_->shell->isQuickPanelShown(); }
    void presentMainWindow() override {
        if (link_->shell) link_->shell->presentConsole();
    }
    void quitApplication() override {
        if (quit_) quit_();
    }

private:
    std::shared_ptr<ShellLink> link_;
    std::function<void()> quit_;
};

}  // namespace

std::unique_ptr<DictationHud> makeShellHud(std::shared_ptr<ShellLink> link) {
    return std::make_unique<ShellHud>(std::move(link));
}

std::unique_ptr<TrayIconSink> makeShellTray(std::shared_ptr<ShellLink> link) {
    return std::make_unique<ShellTray>(std::move(link));
}

std::unique_ptr<AppSurfaces> makeShellSurfaces(std::shared_ptr<ShellLink> link, std::function<void()> quit) {
    return std::make_unique<ShellSurfaces>(std::move(link), std::move(quit));
}

}  // namespace vesk
