#include "core/Settings.h"

#include <QByteArray>
#include <QSettings>
#include <QString>
#include <QVariant>

namespace vesk::Settings {
namespace {

// A fresh handle per call is cheap and sees writes made by another process.
QSettings store() { return QSettings(QStringLiteral("ProjectVesk"), QStringLiteral("ProjectVesk")); }

QString key(const std::string& name) { return QString::fromStdString(name); }

}  // namespace

std::optional<std::string> string(const std::string& name) {
    const QVariant value = store().value(key(name));
    if (!value.isValid()) return std::nullopt;
    return value.toString().toStdString();
}

std::optional<bool> boolean(const std::string& name) {
    const QVariant value = store().value(key(name));
    if (!value.isValid()) return std::nullopt;
    return value.toBool();
}

std::optional<std::string> bytes(const std::string& name) {
    const QVariant value = store().value(key(name));
    if (!value.isValid()) return std::nullopt;
    const QByteArray data = value.toByteArray();
    return std::string(data.constData(), static_cast<size_t>(data.size()));
}

void setString(const std::string& name, const std::string& value) {
    auto settings = store();
    settings.setValue(key(name), QString::fromStdString(value));
}

void setBoolean(const std::string& name, bool value) {
    auto settings = store();
    settings.setValue(key(name), value);
}

void setBytes(const std::string& name, const std::string& value) {
    auto settings = store();
    settings.setValue(key(name), QByteArray(value.data(), static_cast<qsizetype>(value.size())));
}

void remove(const std::string& name) {
    auto settings = store();
    settings.remove(key(name));
}

Hotkey hotkey() { return hotkeyFromStoredValue(string("hotkey").value_or("")); }

bool saveHistory() { return boolean("saveHistory").value_or(false); }

OutputMode outputMode() {
    const std::string value = string("outputMode").value_or("");
    // Values written by earlier versions.
    if (value == "smart") return OutputMode::prompt;
    if (value == "raw") return OutputMode::exact;
    return outputModeFromStoredValue(value).value_or(OutputMode::prompt);
}

std::string locale() { return string("locale").value_or("en-US"); }
bool autoPaste() { return boolean("autoPaste").value_or(false); }
bool autoCopy() { return boolean("autoCopy").value_or(false); }

void setHotkey(Hotkey key) { setString("hotkey", std::string(storedValue(key))); }
void setSaveHistory(bool on) { setBoolean("saveHistory", on); }
void setOutputMode(OutputMode mode) { setString("outputMode", std::string(storedValue(mode))); }
void setLocale(const std::string& identifier) { setString("locale", identifier); }

}  // namespace vesk::Settings
