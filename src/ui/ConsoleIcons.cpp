#include "ui/ConsoleIcons.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

#include <array>
#include <utility>

namespace vesk {
namespace {

enum class Glyph {
    bars,
    clock,
    gear,
    chevron,
    mic,
    warning,
    keyboard,
    chip,
    shield,
    check,
    checkCircle,
    wand,
    lines,
    quote,
    copy,
    pencil,
    drive,
    plus,
    magnifier,
    cross,
    alert,
    lock,
    undo,
    dot
};

struct Symbol {
    std::string_view name;
    std::string_view themeName;
    Glyph glyph;
};

constexpr std::array kSymbols{
    Symbol{"waveform", "audio-x-generic", Glyph::bars},
    Symbol{"clock.arrow.circlepath", "document-open-recent", Glyph::clock},
    Symbol{"gearshape.fill", "preferences-system", Glyph::gear},
    Symbol{"chevron.right", "go-next", Glyph::chevron},
    Symbol{"mic.slash.fill", "microphone-sensitivity-muted", Glyph::mic},
    Symbol{"exclamationmark.triangle.fill", "dialog-warning", Glyph::warning},
    Symbol{"keyboard.badge.ellipsis", "input-keyboard", Glyph::keyboard},
    Symbol{"waveform.badge.mic", "audio-input-microphone", Glyph::mic},
    Symbol{"cpu", "system-run", Glyph::chip},
    Symbol{"checkmark.shield.fill", "security-medium", Glyph::shield},
    Symbol{"checkmark.circle.fill", "emblem-default", Glyph::checkCircle},
    Symbol{"wand.and.sparkles", "tools-check-spelling", Glyph::wand},
    Symbol{"text.alignleft", "format-justify-left", Glyph::lines},
    Symbol{"quote.opening", "format-text-italic", Glyph::quote},
    Symbol{"doc.on.doc", "edit-copy", Glyph::copy},
    Symbol{"checkmark", "object-select", Glyph::check},
    Symbol{"pencil", "document-edit", Glyph::pencil},
    Symbol{"externaldrive.fill.badge.checkmark", "drive-harddisk", Glyph::drive},
    Symbol{"memorychip", "media-flash", Glyph::chip},
    Symbol{"waveform.badge.plus", "list-add", Glyph::plus},
    Symbol{"magnifyingglass", "edit-find", Glyph::magnifier},
    Symbol{"xmark.circle.fill", "edit-clear", Glyph::cross},
    Symbol{"exclamationmark.circle.fill", "dialog-error", Glyph::alert},
    Symbol{"lock.shield.fill", "security-high", Glyph::lock},
    Symbol{"arrow.uturn.backward", "edit-undo", Glyph::undo},
};

const Symbol* find(std::string_view name) {
    for (const Symbol& symbol : kSymbols)
        if (symbol.name == name) return &symbol;
    return nullptr;
}

// Simple line drawings on a 24 × 24 grid, enough to tell the symbols apart.
void draw(QPainter& p, Glyph glyph) {
    switch (glyph) {
        case Glyph::bars:
            for (int i = 0; i < 5; ++i) {
                const int h = std::array{6, 14, 20, 12, 8}[i];
                p.drawLine(QPointF(4 + i * 4, 12 - h / 2.0), QPointF(4 + i * 4, 12 + h / 2.0));
            }
            break;
        case Glyph::clock:
            p.drawEllipse(QPointF(12, 12), 8, 8);
            p.drawPolyline(std::array{QPointF(12, 7), QPointF(12, 12), QPointF(15, 14)}.data(), 3);
            break;
        case Glyph::gear:
            p.drawEllipse(QPointF(12, 12), 3.5, 3.5);
            for (int i = 0; i < 8; ++i) {
                p.save();
                p.translate(12, 12);
                p.rotate(i * 45);
                p.drawLine(QPointF(0, -6), QPointF(0, -9));
                p.restore();
            }
            p.drawEllipse(QPointF(12, 12), 6.5, 6.5);
            break;
        case Glyph::chevron:
            p.drawPolyline(std::array{QPointF(9, 5), QPointF(16, 12), QPointF(9, 19)}.data(), 3);
            break;
        case Glyph::mic:
            p.drawRoundedRect(QRectF(9, 3, 6, 11), 3, 3);
            p.drawArc(QRectF(6, 7, 12, 11), 180 * 16, 180 * 16);
            p.drawLine(QPointF(12, 18), QPointF(12, 21));
            break;
        case Glyph::warning:
            p.drawPolygon(std::array{QPointF(12, 3), QPointF(21, 20), QPointF(3, 20)}.data(), 3);
            p.drawLine(QPointF(12, 9), QPointF(12, 14));
            p.drawPoint(QPointF(12, 17));
            break;
        case Glyph::keyboard:
            p.drawRoundedRect(QRectF(3, 6, 18, 12), 2, 2);
            for (int i = 0; i < 4; ++i) p.drawPoint(QPointF(7 + i * 3.3, 10.5));
            p.drawLine(QPointF(8, 14.5), QPointF(16, 14.5));
            break;
        case Glyph::chip:
            p.drawRoundedRect(QRectF(6, 6, 12, 12), 2, 2);
            for (int i = 0; i < 3; ++i) {
                p.drawLine(QPointF(9 + i * 3, 3), QPointF(9 + i * 3, 6));
                p.drawLine(QPointF(9 + i * 3, 18), QPointF(9 + i * 3, 21));
            }
            break;
        case Glyph::shield:
        case Glyph::lock: {
            QPainterPath path;
            path.moveTo(12, 3);
            path.lineTo(20, 6);
            path.cubicTo(20, 14, 16, 19, 12, 21);
            path.cubicTo(8, 19, 4, 14, 4, 6);
            path.closeSubpath();
            p.drawPath(path);
            if (glyph == Glyph::shield)
                p.drawPolyline(std::array{QPointF(8.5, 12), QPointF(11, 14.5), QPointF(15.5, 9.5)}.data(), 3);
            else
                p.drawRect(QRectF(9.5, 10.5, 5, 5));
            break;
        }
        case Glyph::check: p.drawPolyline(std::array{QPointF(5, 12), QPointF(10, 17), QPointF(19, 7)}.data(), 3); break;
        case Glyph::checkCircle:
            p.drawEllipse(QPointF(12, 12), 9, 9);
            p.drawPolyline(std::array{QPointF(8, 12), QPointF(11, 15), QPointF(16, 9)}.data(), 3);
            break;
        case Glyph::wand:
            p.drawLine(QPointF(5, 19), QPointF(15, 9));
            p.drawLine(QPointF(17, 3), QPointF(17, 7));
            p.drawLine(QPointF(15, 5), QPointF(19, 5));
            p.drawLine(QPointF(20, 11), QPointF(20, 13));
            break;
        case Glyph::lines:
            for (int i = 0; i < 4; ++i) p.drawLine(QPointF(4, 6 + i * 4), QPointF(i % 2 ? 14 : 20, 6 + i * 4));
            break;
        case Glyph::quote:
            p.drawArc(QRectF(5, 7, 6, 8), 90 * 16, 180 * 16);
            p.drawArc(QRectF(13, 7, 6, 8), 90 * 16, 180 * 16);
            break;
        case Glyph::copy:
            p.drawRoundedRect(QRectF(8, 8, 11, 13), 2, 2);
            p.drawPolyline(std::array{QPointF(5, 16), QPointF(5, 3), QPointF(15, 3)}.data(), 3);
            break;
        case Glyph::pencil:
            p.drawLine(QPointF(5, 19), QPointF(17, 7));
            p.drawLine(QPointF(15, 5), QPointF(19, 9));
            break;
        case Glyph::drive:
            p.drawRoundedRect(QRectF(3, 8, 18, 9), 2, 2);
            p.drawPoint(QPointF(17, 12.5));
            break;
        case Glyph::plus:
            p.drawLine(QPointF(12, 5), QPointF(12, 19));
            p.drawLine(QPointF(5, 12), QPointF(19, 12));
            break;
        case Glyph::magnifier:
            p.drawEllipse(QPointF(10, 10), 6, 6);
            p.drawLine(QPointF(14.5, 14.5), QPointF(20, 20));
            break;
        case Glyph::cross:
            p.drawEllipse(QPointF(12, 12), 9, 9);
            p.drawLine(QPointF(9, 9), QPointF(15, 15));
            p.drawLine(QPointF(15, 9), QPointF(9, 15));
            break;
        case Glyph::alert:
            p.drawEllipse(QPointF(12, 12), 9, 9);
            p.drawLine(QPointF(12, 7), QPointF(12, 13));
            p.drawPoint(QPointF(12, 16.5));
            break;
        case Glyph::undo:
            p.drawPolyline(std::array{QPointF(9, 5), QPointF(5, 9), QPointF(9, 13)}.data(), 3);
            p.drawLine(QPointF(5, 9), QPointF(12, 9));
            p.drawArc(QRectF(5, 9, 14, 10), 90 * 16, -180 * 16);
            p.drawLine(QPointF(12, 19), QPointF(9, 19));
            break;
        case Glyph::dot: p.drawEllipse(QPointF(12, 12), 3, 3); break;
    }
}

}  // namespace

std::string_view freedesktopIconName(std::string_view symbol) {
    const Symbol* found = find(symbol);
    return found ? found->themeName : std::string_view();
}

QIcon consoleIcon(std::string_view symbol, const QColor& color) {
    const Symbol* found = find(symbol);
    if (found) {
        const QString themeName = QString::fromUtf8(found->themeName.data(), qsizetype(found->themeName.size()));
        if (QIcon::hasThemeIcon(themeName)) return QIcon::fromTheme(themeName);
    }
    QPixmap pixmap(48, 48);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.scale(2, 2);
    painter.setPen(QPen(color, 1.8, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    painter.setBrush(Qt::NoBrush);
    draw(painter, found ? found->glyph : Glyph::dot);
    painter.end();
    return QIcon(pixmap);
}

}  // namespace vesk
