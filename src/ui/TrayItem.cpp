#include "ui/TrayItem.h"

#include "ui/MenuBarQuickPanel.h"

#include <QCursor>
#include <QEvent>
#include <QGuiApplication>
#include <QPainter>
#include <QPixmap>
#include <QScreen>

#include <algorithm>

namespace vesk {
namespace {

constexpr int kHostPollMs = 1000;
constexpr int kPanelGap = 4;

// The panel's top-left corner: below the icon when it fits, else above it, kept on screen.
QPoint panelPosition(const QRect& anchor, const QSize& size) {
    const QScreen* screen = QGuiApplication::screenAt(anchor.center());
    if (!screen) screen = QGuiApplication::primaryScreen();
    const QRect area = screen ? screen->availableGeometry() : QRect(QPoint(0, 0), size);
    int x = anchor.center().x() - size.width() / 2;
    int y = anchor.bottom() + 1 + kPanelGap;
    if (y + size.height() > area.bottom() + 1) y = anchor.top() - kPanelGap - size.height();
    x = std::clamp(x, area.left(), std::max(area.left(), area.right() + 1 - size.width()));
    y = std::clamp(y, area.top(), std::max(area.top(), area.bottom() + 1 - size.height()));
    return {x, y};
}

}  // namespace

QString trayWord(UIState state) {
    switch (state) {
        case UIState::idle: return QStringLiteral("listening");
        case UIState::recording: return QStringLiteral("recording");
        case UIState::processing: return QStringLiteral("processing");
        case UIState::ready: return QStringLiteral("result ready");
    }
    return QStringLiteral("listening");
}

QString trayTooltip(UIState state) { return QStringLiteral("Project Vesk · ") + trayWord(state); }

TrayItem::TrayItem(AppModel& model, QObject* parent) : QObject(parent), model_(model) {
    connect(&icon_, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
        if (reason == QSystemTrayIcon::Trigger || reason == QSystemTrayIcon::Context) toggleQuickPanel();
    });
    hostWatch_.setInterval(kHostPollMs);
    connect(&hostWatch_, &QTimer::timeout, this, &TrayItem::watchForHost);
    if (!QSystemTrayIcon::isSystemTrayAvailable()) hostWatch_.start();
}

TrayItem::~TrayItem() = default;

void TrayItem::watchForHost() {
    if (!QSystemTrayIcon::isSystemTrayAvailable()) return;
    hostWatch_.stop();
    if (!icon_.isVisible()) return;
    // Ask again now that someone listens.
    icon_.hide();
    icon_.show();
}

QImage TrayItem::tinted(const QImage& image, const QColor& tint) {
    QImage result = image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    QPainter painter(&result);
    painter.setCompositionMode(QPainter::CompositionMode_SourceIn);
    painter.fillRect(result.rect(), tint);
    return result;
}

bool TrayItem::setIcon(const QImage& image, const QColor& tint, const QString& tooltip) {
    bool changed = false;
    QImage next = tinted(image, tint);
    if (next != shown_) {
        shown_ = std::move(next);
        icon_.setIcon(QIcon(QPixmap::fromImage(shown_)));
        ++iconUpdates_;
        // Shown with the first picture, even without a host: it appears once one starts.
        if (!icon_.isVisible()) icon_.show();
        changed = true;
    }
    if (tooltip != icon_.toolTip()) {
        icon_.setToolTip(tooltip);
        changed = true;
    }
    return changed;
}

bool TrayItem::eventFilter(QObject* watched, QEvent* event) {
    if (panel_ && watched == panel_.get()) {
        if (event->type() == QEvent::Show) emit quickPanelShown();
        if (event->type() == QEvent::Hide) emit quickPanelClosed();
    }
    return QObject::eventFilter(watched, event);
}

void TrayItem::toggleQuickPanel() {
    if (panel_ && panel_->isVisible()) {
        panel_->close();
        return;
    }
    if (!panel_) {
        panel_ = std::make_unique<MenuBarQuickPanel>(model_);
        panel_->installEventFilter(this);
    }
    const QRect anchor = icon_.geometry();
    const QSize size(MenuBarQuickPanel::panelWidth, MenuBarQuickPanel::panelHeight);
    panel_->popUp(anchor.isValid() && !anchor.isEmpty() ? panelPosition(anchor, size)
                                                        : panelPosition(QRect(QCursor::pos(), QSize(1, 1)), size));
}

}  // namespace vesk
