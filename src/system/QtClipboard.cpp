#include "system/QtClipboard.h"

#include <QClipboard>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QMimeData>

#include <algorithm>
#include <memory>

namespace vesk {
namespace {

// Targets that describe the selection rather than hold content.
bool isMetaTarget(const QString& type) {
    return type == u"TARGETS" || type == u"MULTIPLE" || type == u"TIMESTAMP" || type == u"SAVE_TARGETS" ||
           type == QLatin1String(kOwnerMimeType);
}

std::unique_ptr<QMimeData> ownedMimeData() {
    auto data = std::make_unique<QMimeData>();
    data->setData(QString::fromLatin1(kOwnerMimeType), QByteArray::number(QCoreApplication::applicationPid()));
    return data;
}

}  // namespace

QtClipboard::QtClipboard(QObject* parent) : QObject(parent) {
    connect(QGuiApplication::clipboard(), &QClipboard::changed, this, [this](QClipboard::Mode mode) {
        if (mode == QClipboard::Clipboard) ++changeCount_;
    });
}

SavedClipboard QtClipboard::save() {
    const QMimeData* data = QGuiApplication::clipboard()->mimeData(QClipboard::Clipboard);
    if (!data) return {};
    const QStringList formats = data->formats();
    // Qt lists an image a second time under its own internal type; putting that back
    // would offer every image format Qt knows, most of them empty. The owner's real
    // image types are kept.
    const bool hasImageType =
        std::any_of(formats.begin(), formats.end(), [](const QString& type) { return type.startsWith(u"image/"); });
    ClipboardItem item;
    for (const QString& type : formats) {
        if (isMetaTarget(type)) continue;
        if (hasImageType && type == u"application/x-qt-image") continue;
        const QByteArray bytes = data->data(type);
        // A type the owner lists but cannot deliver is left out.
        if (bytes.isNull()) continue;
        item[type.toStdString()] = bytes.toStdString();
    }
    if (item.empty()) return {};
    return {std::move(item)};
}

void QtClipboard::restore(const SavedClipboard& saved) {
    QClipboard* clipboard = QGuiApplication::clipboard();
    if (saved.empty()) {
        clipboard->clear(QClipboard::Clipboard);
        return;
    }
    // One item on this desktop: where a saved list holds several, the first one's types
    // win and the others add theirs.
    auto data = ownedMimeData();
    for (const auto& item : saved)
        for (const auto& [type, bytes] : item) {
            const QString name = QString::fromStdString(type);
            if (!data->hasFormat(name)) data->setData(name, QByteArray::fromStdString(bytes));
        }
    clipboard->setMimeData(data.release(), QClipboard::Clipboard);
}

void QtClipboard::setText(const std::string& text) {
    auto data = ownedMimeData();
    data->setText(QString::fromStdString(text));
    QGuiApplication::clipboard()->setMimeData(data.release(), QClipboard::Clipboard);
}

std::optional<std::string> QtClipboard::text() {
    const QMimeData* data = QGuiApplication::clipboard()->mimeData(QClipboard::Clipboard);
    if (!data || !data->hasText()) return std::nullopt;
    return data->text().toStdString();
}

}  // namespace vesk
