#include "ui/ConsoleWindow.h"

#include "ui/ConsoleStyle.h"
#include "ui/HistoryPage.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QScreen>
#include <QStackedWidget>

namespace vesk {

ConsoleWindow::ConsoleWindow(AppModel& model, ConsoleWindowOptions options, QWidget* parent)
    : QWidget(parent, Qt::Window), model_(model) {
    setObjectName("consoleRoot");
    setAttribute(Qt::WA_StyledBackground);
    setWindowTitle(QStringLiteral("Project Vesk"));
    setStyleSheet(ConsoleStyle::styleSheet());
    resize(kWidth, kHeight);
    setMinimumSize(kMinimumWidth, kHeight);
    setMaximumSize(kMaximumWidth, kHeight);

    sidebar_ = new Sidebar(model_, this);
    pages_ = new QStackedWidget(this);
    studio_ = new StudioPage(model_, options.makeField, pages_);
    history_ = new HistoryPage(model_, pages_);
    settings_ = new SettingsPage(model_, std::move(options.settings), pages_);
    pages_->addWidget(studio_);
    pages_->addWidget(history_);
    pages_->addWidget(settings_);

    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(sidebar_);
    layout->addWidget(pages_, 1);

    connect(sidebar_, &Sidebar::pageRequested, this, &ConsoleWindow::setPage);
    connect(history_, &HistoryPage::navigateToSettings, this, [this] { setPage(ConsolePage::settings); });

    permissionTimer_.setInterval(kPermissionRefreshMs);
    connect(&permissionTimer_, &QTimer::timeout, this, [this] { model_.refreshPermissions(); });
    permissionTimer_.start();
    setPage(ConsolePage::studio);
}

void ConsoleWindow::present() {
    if (!centred_) {
        centred_ = true;
        if (const QScreen* screen = this->screen() ? this->screen() : QGuiApplication::primaryScreen()) {
            QRect frame(QPoint(), size());
            frame.moveCenter(screen->availableGeometry().center());
            move(frame.topLeft());
        }
    }
    show();
    raise();
    activateWindow();
}

void ConsoleWindow::setPage(ConsolePage page) {
    page_ = page;
    pages_->setCurrentIndex(static_cast<int>(page));
    sidebar_->setCurrentPage(page);
}

void ConsoleWindow::closeEvent(QCloseEvent* event) {
    // The window is only hidden (nothing deletes it on close); the owner shows it again.
    QWidget::closeEvent(event);
    emit closed();
}

}  // namespace vesk
