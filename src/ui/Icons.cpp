#include "ui/Icons.h"

#include <QIconEngine>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

#include <algorithm>
#include <array>
#include <cmath>

namespace vesk {
namespace {

// Glyphs on a unit box scaled to the target: strokes in the pen colour, fills in its brush.
void checkMark(QPainter& p, const QRectF& b) {
    QPainterPath path(QPointF(b.left() + b.width() * 0.3, b.center().y()));
    path.lineTo(b.left() + b.width() * 0.45, b.top() + b.height() * 0.65);
    path.lineTo(b.left() + b.width() * 0.72, b.top() + b.height() * 0.35);
    p.drawPath(path);
}

void circle(QPainter& p, const QRectF& b) { p.drawEllipse(b.adjusted(1, 1, -1, -1)); }

void checkCircle(QPainter& p, const QRectF& b) {
    circle(p, b);
    checkMark(p, b);
}

void crossCircle(QPainter& p, const QRectF& b) {
    circle(p, b);
    const QRectF in = b.adjusted(b.width() * 0.33, b.height() * 0.33, -b.width() * 0.33, -b.height() * 0.33);
    p.drawLine(in.topLeft(), in.bottomRight());
    p.drawLine(in.topRight(), in.bottomLeft());
}

void exclamation(QPainter& p, const QRectF& b) {
    p.drawLine(QPointF(b.center().x(), b.top() + b.height() * 0.35),
               QPointF(b.center().x(), b.top() + b.height() * 0.6));
    p.drawPoint(QPointF(b.center().x(), b.top() + b.height() * 0.75));
}

void warningTriangle(QPainter& p, const QRectF& b) {
    p.drawPolygon(QPolygonF(
        {QPointF(b.center().x(), b.top() + 1), b.bottomRight() - QPointF(1, 1), b.bottomLeft() + QPointF(1, -1)}));
    exclamation(p, b);
}

void exclamationCircle(QPainter& p, const QRectF& b) {
    circle(p, b);
    exclamation(p, b);
}

void power(QPainter& p, const QRectF& b) {
    const QRectF ring = b.adjusted(2, 2, -2, -2);
    p.drawArc(ring, 120 * 16, -240 * 16);
    p.drawLine(QPointF(b.center().x(), b.top() + 1), QPointF(b.center().x(), b.center().y()));
}

void lines(QPainter& p, const QRectF& b, std::array<double, 4> widths) {
    for (std::size_t i = 0; i < widths.size(); ++i) {
        const double y = b.top() + b.height() * (0.2 + 0.2 * static_cast<double>(i));
        p.drawLine(QPointF(b.left() + 2, y), QPointF(b.left() + 2 + (b.width() - 4) * widths[i], y));
    }
}

void alignLeft(QPainter& p, const QRectF& b) { lines(p, b, {1.0, 0.6, 0.85, 0.5}); }

void quote(QPainter& p, const QRectF& b) {
    for (const double x : {0.3, 0.65}) {
        const QPointF centre(b.left() + b.width() * x, b.top() + b.height() * 0.45);
        p.drawEllipse(centre, b.width() * 0.1, b.width() * 0.1);
        p.drawLine(centre + QPointF(-b.width() * 0.1, 0), centre + QPointF(0, b.height() * 0.3));
    }
}

void wand(QPainter& p, const QRectF& b) {
    p.drawLine(b.bottomLeft() + QPointF(2, -2), b.center() + QPointF(b.width() * 0.15, -b.height() * 0.15));
    for (const auto& star : {QPointF(0.72, 0.22), QPointF(0.35, 0.25), QPointF(0.78, 0.6)}) {
        const QPointF c(b.left() + b.width() * star.x(), b.top() + b.height() * star.y());
        const double r = b.width() * 0.08;
        p.drawLine(c - QPointF(r, 0), c + QPointF(r, 0));
        p.drawLine(c - QPointF(0, r), c + QPointF(0, r));
    }
}

void documents(QPainter& p, const QRectF& b) {
    const double s = b.width() * 0.55;
    p.drawRoundedRect(QRectF(b.left() + 2, b.top() + 2, s, s * 1.2), 1.5, 1.5);
    p.drawRoundedRect(QRectF(b.right() - 2 - s, b.bottom() - 2 - s * 1.2, s, s * 1.2), 1.5, 1.5);
}

void microphone(QPainter& p, const QRectF& b) {
    const double w = b.width() * 0.3;
    p.drawRoundedRect(QRectF(b.center().x() - w / 2, b.top() + 1, w, b.height() * 0.55), w / 2, w / 2);
    p.drawArc(QRectF(b.left() + b.width() * 0.22, b.top() + b.height() * 0.2, b.width() * 0.56, b.height() * 0.55),
              200 * 16, 140 * 16);
    p.drawLine(QPointF(b.center().x(), b.top() + b.height() * 0.75), QPointF(b.center().x(), b.bottom() - 1));
}

void microphoneOff(QPainter& p, const QRectF& b) {
    microphone(p, b);
    p.drawLine(b.topLeft() + QPointF(2, 2), b.bottomRight() - QPointF(2, 2));
}

void waveform(QPainter& p, const QRectF& b) {
    const std::array<double, 5> heights{0.3, 0.7, 1.0, 0.6, 0.35};
    for (std::size_t i = 0; i < heights.size(); ++i) {
        const double x = b.left() + b.width() * (0.15 + 0.175 * static_cast<double>(i));
        const double h = (b.height() - 4) * heights[i] / 2;
        p.drawLine(QPointF(x, b.center().y() - h), QPointF(x, b.center().y() + h));
    }
}

void waveformPlus(QPainter& p, const QRectF& b) {
    waveform(p, b.adjusted(0, 0, -b.width() * 0.3, 0));
    const QPointF c = b.bottomRight() - QPointF(b.width() * 0.18, b.height() * 0.18);
    p.drawLine(c - QPointF(b.width() * 0.12, 0), c + QPointF(b.width() * 0.12, 0));
    p.drawLine(c - QPointF(0, b.width() * 0.12), c + QPointF(0, b.width() * 0.12));
}

void shield(QPainter& p, const QRectF& b) {
    QPainterPath path(QPointF(b.center().x(), b.top() + 1));
    path.lineTo(b.right() - 2, b.top() + b.height() * 0.2);
    path.quadTo(QPointF(b.right() - 2, b.bottom() - 3), QPointF(b.center().x(), b.bottom() - 1));
    path.quadTo(QPointF(b.left() + 2, b.bottom() - 3), QPointF(b.left() + 2, b.top() + b.height() * 0.2));
    path.closeSubpath();
    p.drawPath(path);
}

void checkShield(QPainter& p, const QRectF& b) {
    shield(p, b);
    checkMark(p, b);
}

void lockShield(QPainter& p, const QRectF& b) {
    shield(p, b);
    const QRectF body(b.center().x() - b.width() * 0.14, b.center().y(), b.width() * 0.28, b.height() * 0.2);
    p.drawRect(body);
    p.drawArc(body.adjusted(body.width() * 0.15, -body.height() * 0.8, -body.width() * 0.15, -body.height() * 0.2), 0,
              180 * 16);
}

void keyboard(QPainter& p, const QRectF& b) {
    const QRectF body = b.adjusted(1, b.height() * 0.25, -1, -b.height() * 0.25);
    p.drawRoundedRect(body, 2, 2);
    for (int i = 1; i < 4; ++i) p.drawPoint(QPointF(body.left() + body.width() * i / 4, body.center().y()));
}

void gear(QPainter& p, const QRectF& b) {
    p.drawEllipse(b.center(), b.width() * 0.18, b.width() * 0.18);
    for (int i = 0; i < 8; ++i) {
        const double a = i * M_PI / 4;
        const QPointF d(std::cos(a), std::sin(a));
        p.drawLine(b.center() + d * b.width() * 0.28, b.center() + d * b.width() * 0.45);
    }
}

void drive(QPainter& p, const QRectF& b) {
    p.drawRoundedRect(b.adjusted(1, b.height() * 0.3, -1, -b.height() * 0.3), 2, 2);
    checkMark(p, b.adjusted(b.width() * 0.4, -b.height() * 0.1, 0, -b.height() * 0.1));
}

void clockArrow(QPainter& p, const QRectF& b) {
    p.drawArc(b.adjusted(2, 2, -2, -2), 100 * 16, 320 * 16);
    p.drawLine(b.center(), b.center() - QPointF(0, b.height() * 0.25));
    p.drawLine(b.center(), b.center() + QPointF(b.width() * 0.18, 0));
}

void chevron(QPainter& p, const QRectF& b) {
    p.drawPolyline(QPolygonF({QPointF(b.left() + b.width() * 0.38, b.top() + b.height() * 0.2),
                              QPointF(b.left() + b.width() * 0.65, b.center().y()),
                              QPointF(b.left() + b.width() * 0.38, b.bottom() - b.height() * 0.2)}));
}

// On a 24-unit grid, scaled into the box.
QPointF at(const QRectF& b, double x, double y) {
    return {b.left() + b.width() * x / 24, b.top() + b.height() * y / 24};
}

void chip(QPainter& p, const QRectF& b) {
    p.drawRoundedRect(QRectF(at(b, 6, 6), at(b, 18, 18)), 2, 2);
    for (int i = 0; i < 3; ++i) {
        p.drawLine(at(b, 9 + i * 3, 3), at(b, 9 + i * 3, 6));
        p.drawLine(at(b, 9 + i * 3, 18), at(b, 9 + i * 3, 21));
    }
}

void pencil(QPainter& p, const QRectF& b) {
    p.drawLine(at(b, 5, 19), at(b, 17, 7));
    p.drawLine(at(b, 15, 5), at(b, 19, 9));
}

void magnifier(QPainter& p, const QRectF& b) {
    p.drawEllipse(at(b, 10, 10), b.width() * 6 / 24, b.height() * 6 / 24);
    p.drawLine(at(b, 14.5, 14.5), at(b, 20, 20));
}

void undoArrow(QPainter& p, const QRectF& b) {
    p.drawPolyline(QPolygonF({at(b, 9, 5), at(b, 5, 9), at(b, 9, 13)}));
    p.drawLine(at(b, 5, 9), at(b, 12, 9));
    p.drawArc(QRectF(at(b, 5, 9), at(b, 19, 19)), 90 * 16, -180 * 16);
    p.drawLine(at(b, 12, 19), at(b, 9, 19));
}

constexpr std::array<SymbolIcon, 27> kSymbols{{
    {"wand.and.sparkles", "tools-wizard", wand},
    {"text.alignleft", "format-justify-left", alignLeft},
    {"quote.opening", "format-text-blockquote", quote},
    {"power", "system-shutdown", power},
    {"doc.on.doc", "edit-copy", documents},
    {"checkmark.circle.fill", "emblem-ok", checkCircle},
    {"xmark.circle.fill", "window-close", crossCircle},
    {"exclamationmark.triangle.fill", "dialog-warning", warningTriangle},
    {"exclamationmark.circle.fill", "dialog-error", exclamationCircle},
    {"mic.fill", "audio-input-microphone", microphone},
    {"mic.slash.fill", "microphone-sensitivity-muted", microphoneOff},
    {"waveform", "audio-x-generic", waveform},
    {"waveform.badge.mic", "audio-input-microphone", microphone},
    {"waveform.badge.plus", "list-add", waveformPlus},
    {"lock.shield.fill", "channel-secure", lockShield},
    {"checkmark.shield.fill", "security-high", checkShield},
    {"keyboard.badge.ellipsis", "input-keyboard", keyboard},
    {"gearshape.fill", "preferences-system", gear},
    {"externaldrive.fill.badge.checkmark", "drive-harddisk", drive},
    {"clock.arrow.circlepath", "document-open-recent", clockArrow},
    {"chevron.right", "go-next", chevron},
    {"checkmark", "object-select", checkMark},
    {"pencil", "document-edit", pencil},
    {"cpu", "system-run", chip},
    {"memorychip", "media-flash", chip},
    {"magnifyingglass", "edit-find", magnifier},
    {"arrow.uturn.backward", "edit-undo", undoArrow},
}};

const SymbolIcon* find(std::string_view symbol) {
    const auto it = std::find_if(kSymbols.begin(), kSymbols.end(), [&](const auto& s) { return s.symbol == symbol; });
    return it == kSymbols.end() ? nullptr : &*it;
}

// Draws the glyph afresh at whatever size and pixel ratio an icon is asked for.
class DrawnIconEngine : public QIconEngine {
public:
    DrawnIconEngine(const SymbolIcon& icon, QColor colour) : icon_(icon), colour_(std::move(colour)) {}

    void paint(QPainter* painter, const QRect& rect, QIcon::Mode mode, QIcon::State) override {
        QColor colour = colour_;
        if (mode == QIcon::Disabled) colour.setAlphaF(colour.alphaF() * 0.4f);
        painter->save();
        painter->setRenderHint(QPainter::Antialiasing);
        painter->setPen(QPen(colour, std::max(1.2, rect.width() / 12.0), Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        painter->setBrush(Qt::NoBrush);
        icon_.draw(*painter, QRectF(rect));
        painter->restore();
    }

    QPixmap pixmap(const QSize& size, QIcon::Mode mode, QIcon::State state) override {
        QPixmap result(size);
        result.fill(Qt::transparent);
        QPainter painter(&result);
        paint(&painter, QRect(QPoint(0, 0), size), mode, state);
        return result;
    }

    QIconEngine* clone() const override { return new DrawnIconEngine(icon_, colour_); }

private:
    const SymbolIcon& icon_;
    QColor colour_;
};

}  // namespace

std::span<const SymbolIcon> symbolTable() { return kSymbols; }

QIcon drawnSymbolIcon(std::string_view symbol, const QColor& colour) {
    const SymbolIcon* icon = find(symbol);
    return icon ? QIcon(new DrawnIconEngine(*icon, colour)) : QIcon();
}

QIcon symbolIcon(std::string_view symbol, const QColor& colour) {
    const SymbolIcon* icon = find(symbol);
    if (!icon) return {};
    const QString name = QString::fromUtf8(icon->themeName.data(), static_cast<qsizetype>(icon->themeName.size()));
    if (QIcon::hasThemeIcon(name)) return QIcon::fromTheme(name);
    return drawnSymbolIcon(symbol, colour);
}

}  // namespace vesk
