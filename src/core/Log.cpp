#include "core/Log.h"

#include <QLoggingCategory>
#include <QString>

Q_LOGGING_CATEGORY(projectvesk, "projectvesk")

namespace vesk {

void logInfo(std::string_view message) {
    qCInfo(projectvesk).noquote() << QString::fromUtf8(message.data(), static_cast<qsizetype>(message.size()));
}

void logWarning(std::string_view message) {
    qCWarning(projectvesk).noquote() << QString::fromUtf8(message.data(), static_cast<qsizetype>(message.size()));
}

}  // namespace vesk
