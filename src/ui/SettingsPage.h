#pragma once

#include "ui/AppModel.h"
#include "ui/PermissionHelp.h"

#include <QUrl>
#include <QWidget>

#include <functional>
#include <string>
#include <vector>

class QCheckBox;
class QComboBox;
class QLabel;
class QPushButton;
class QVBoxLayout;

namespace vesk {

// The recognizer's locales (called on a worker thread) and how a help page is opened.
struct SettingsSources {
    std::function<std::vector<std::string>()> supportedLocales;
    std::function<void(const QUrl&)> openUrl;

    // The speech engines' locales and the desktop's handler for the page.
    static SettingsSources system();
};

// The "Settings" page: the dictation key, the language, history, delivery, the two
// permissions with the way to allow each, and the privacy line. Every control calls the
// model's setter and shows the model's value back. The locale list loads in the
// background after construction. `model` must outlive the page.
class SettingsPage : public QWidget {
    Q_OBJECT
public:
    SettingsPage(AppModel& model, SettingsSources sources, QWidget* parent = nullptr);

    bool localesLoaded() const { return localesLoaded_; }

private:
    struct PermissionRow {
        QLabel* state = nullptr;
        QLabel* icon = nullptr;
        QPushButton* help = nullptr;
    };

    void render();
    void renderPermission(const PermissionRow& row, bool allowed);
    void showLocales(const std::vector<std::string>& ids);
    PermissionRow addPermission(QVBoxLayout& section, const char* name, const QString& title, const QString& detail,
                                const std::string& note, const char* page);

    AppModel& model_;
    SettingsSources sources_;
    QComboBox* hotkey_;
    QComboBox* language_;
    QCheckBox* saveHistory_;
    QCheckBox* autoCopy_;
    QCheckBox* autoPaste_;
    QCheckBox* startAtLogin_;
    QWidget* startAtLoginRow_;
    QLabel* autoPasteDetail_;
    PermissionRow microphone_;
    PermissionRow keyboard_;
    bool localesLoaded_ = false;
};

}  // namespace vesk
