#include "core/Uuid.h"

#include <QUuid>

namespace vesk {

std::string makeUuid() { return QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper().toStdString(); }

bool parseUuid(const std::string& text, std::string* normalized) {
    // Only the plain 36-character form is accepted; braces or other spellings are not ours.
    if (text.size() != 36) return false;
    const QUuid uuid = QUuid::fromString(QString::fromLatin1(text.data(), 36));
    if (uuid.isNull() && text != "00000000-0000-0000-0000-000000000000") return false;
    if (normalized) *normalized = uuid.toString(QUuid::WithoutBraces).toUpper().toStdString();
    return true;
}

}  // namespace vesk
