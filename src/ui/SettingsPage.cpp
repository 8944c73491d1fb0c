#include "ui/SettingsPage.h"

#include "speech/SpeechEngines.h"
#include "ui/ConsoleStyle.h"
#include "ui/EngineSettings.h"
#include "ui/Icons.h"
#include "ui/LocaleNames.h"
#include "ui/ToggleSwitch.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDesktopServices>
#include <QFrame>
#include <QFutureWatcher>
#include <QHBoxLayout>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QScrollArea>
#include <QVBoxLayout>
#include <QtConcurrent/QtConcurrentRun>

namespace vesk {
namespace {

constexpr std::array kHotkeys{Hotkey::rightControl, Hotkey::rightOption, Hotkey::fn};

QString qs(std::string_view text) { return QString::fromUtf8(text.data(), qsizetype(text.size())); }

QVBoxLayout& addSection(QVBoxLayout& page, QWidget* parent, const QString& name) {
    auto* eyebrow = new QLabel(name, parent);
    ConsoleStyle::makeEyebrow(*eyebrow);
    page.addWidget(eyebrow);
    auto* card = new QFrame(parent);
    ConsoleStyle::setRole(*card, "card");
    auto* layout = new QVBoxLayout(card);
    layout->setContentsMargins(14, 10, 14, 10);
    layout->setSpacing(10);
    page.addWidget(card);
    page.addSpacing(6);
    return *layout;
}

// A row: the title over its detail on the left, the control on the right. Returns the
// detail label.
QLabel* addRow(QVBoxLayout& section, const QString& title, const QString& detail, QWidget* control) {
    auto* parent = section.parentWidget();
    auto* row = new QHBoxLayout;
    auto* text = new QVBoxLayout;
    text->setSpacing(1);
    auto* titleLabel = new QLabel(title, parent);
    auto* detailLabel = new QLabel(detail, parent);
    ConsoleStyle::setRole(*detailLabel, "muted");
    detailLabel->setWordWrap(true);
    text->addWidget(titleLabel);
    text->addWidget(detailLabel);
    row->addLayout(text, 1);
    if (control) {
        control->setParent(parent);
        control->setAccessibleName(title);
        row->addWidget(control, 0, Qt::AlignVCenter);
    }
    section.addLayout(row);
    return detailLabel;
}

}  // namespace

SettingsSources SettingsSources::system() {
    return {[] { return supportedLocaleIDs(); }, [](const QUrl& url) { QDesktopServices::openUrl(url); }};
}

SettingsPage::SettingsPage(AppModel& model, SettingsSources sources, QWidget* parent)
    : QWidget(parent),
      model_(model),
      sources_(std::move(sources)),
      hotkey_(new QComboBox),
      language_(new QComboBox),
      saveHistory_(new ToggleSwitch),
      autoCopy_(new ToggleSwitch),
      autoPaste_(new ToggleSwitch),
      startAtLogin_(new ToggleSwitch) {
    setObjectName("settingsPage");
    hotkey_->setObjectName("settingsHotkey");
    language_->setObjectName("settingsLanguage");
    saveHistory_->setObjectName("settingsSaveHistory");
    autoCopy_->setObjectName("settingsAutoCopy");
    autoPaste_->setObjectName("settingsAutoPaste");
    startAtLogin_->setObjectName("settingsStartAtLogin");
    for (const Hotkey key : kHotkeys) hotkey_->addItem(qs(displayName(key)), qs(storedValue(key)));
    hotkey_->setMinimumWidth(180);
    language_->setMinimumWidth(220);
    language_->setEnabled(false);

    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    auto* scroll = new QScrollArea(this);
    scroll->setWidgetResizable(true);
    scroll->setFrameShape(QFrame::NoFrame);
    auto* content = new QWidget(scroll);
    content->setObjectName("settingsContent");
    content->setAttribute(Qt::WA_StyledBackground);
    scroll->setWidget(content);
    outer->addWidget(scroll);
    auto* page = new QVBoxLayout(content);
    page->setContentsMargins(24, 20, 24, 20);
    page->setSpacing(6);

    QVBoxLayout& dictation = addSection(*page, content, QStringLiteral("DICTATION"));
    addRow(dictation, QStringLiteral("Hold key"), QStringLiteral("Push-to-talk from any app"), hotkey_);
    addRow(dictation, QStringLiteral("Language"), QStringLiteral("On-device speech model"), language_);
    addRow(dictation, QStringLiteral("Local history"),
           QStringLiteral("Off by default; keeps completed speech on this computer"), saveHistory_);
    // In a row of its own, shown only where the model offers it.
    startAtLoginRow_ = new QWidget(dictation.parentWidget());
    startAtLoginRow_->setObjectName("settingsStartAtLoginRow");
    auto* atLogin = new QVBoxLayout(startAtLoginRow_);
    atLogin->setContentsMargins(0, 0, 0, 0);
    addRow(*atLogin, QStringLiteral("Start at login"), QStringLiteral("Wait in the tray from the moment you log in"),
           startAtLogin_);
    dictation.addWidget(startAtLoginRow_);

    QVBoxLayout& delivery = addSection(*page, content, QStringLiteral("DELIVERY"));
    addRow(delivery, QStringLiteral("Auto-copy"), QStringLiteral("Put each processed result on the Clipboard"),
           autoCopy_);
    autoPasteDetail_ = addRow(delivery, QStringLiteral("Auto-paste"), QString(), autoPaste_);
    autoPasteDetail_->setObjectName("settingsAutoPasteDetail");

    QVBoxLayout& permissions = addSection(*page, content, QStringLiteral("PERMISSIONS"));
    const auto session = PermissionHelp::sessionFromEnvironment();
    microphone_ = addPermission(permissions, "Microphone", QStringLiteral("Microphone"),
                                QStringLiteral("Required for voice capture"), PermissionHelp::microphoneNote(session),
                                PermissionHelp::kMicrophonePage);
    keyboard_ = addPermission(permissions, "KeyboardAccess", QStringLiteral("Keyboard access"),
                              QStringLiteral("Required for the global hotkey and automatic paste"),
                              PermissionHelp::keyboardAccessNote(session), PermissionHelp::kKeyboardAccessPage);

    // What a Linux desktop needs besides: the recognizer's model and the rewriting server.
    page->addWidget(new SpeechEngineSection(model_, content));
    page->addWidget(new RewritingSection(
        model_,
        [this] {
            const auto file = PermissionHelp::helpPage(PermissionHelp::kRewritingPage);
            if (!file.empty() && sources_.openUrl)
                sources_.openUrl(QUrl::fromLocalFile(QString::fromStdString(file.string())));
        },
        content));

    auto* closing = new QHBoxLayout;
    auto* lock = new QLabel(content);
    lock->setPixmap(symbolIcon("lock.shield.fill", ConsoleStyle::kGreen).pixmap(18, 18));
    auto* privacy =
        new QLabel(QStringLiteral("Audio, transcription, and prompt improvement stay on this computer."), content);
    privacy->setObjectName("settingsPrivacy");
    ConsoleStyle::setRole(*privacy, "muted");
    closing->addWidget(lock);
    closing->addWidget(privacy, 1);
    page->addSpacing(4);
    page->addLayout(closing);
    page->addStretch(1);

    connect(hotkey_, &QComboBox::activated, this, [this](int index) {
        model_.setHotkey(hotkeyFromStoredValue(hotkey_->itemData(index).toString().toStdString()));
        render();
    });
    connect(language_, &QComboBox::activated, this, [this](int index) {
        model_.setLocale(language_->itemData(index).toString().toStdString());
        render();
    });
    const auto toggle = [this](QCheckBox* box, void (AppModel::*setter)(bool)) {
        connect(box, &QCheckBox::clicked, this, [this, setter](bool on) {
            (model_.*setter)(on);
            render();
        });
    };
    toggle(saveHistory_, &AppModel::setSaveHistory);
    toggle(autoCopy_, &AppModel::setAutoCopy);
    toggle(autoPaste_, &AppModel::setAutoPaste);
    toggle(startAtLogin_, &AppModel::setStartAtLogin);
    for (auto signal : {&AppModel::hotkeyChanged, &AppModel::localeIDChanged, &AppModel::saveHistoryChanged,
                        &AppModel::autoCopyChanged, &AppModel::autoPasteChanged, &AppModel::axTrustedChanged,
                        &AppModel::micAuthorizedChanged, &AppModel::startAtLoginChanged})
        connect(&model_, signal, this, &SettingsPage::render);
    render();

    // The recognizer's locales are gathered and named off the main thread.
    auto* watcher = new QFutureWatcher<std::vector<std::string>>(this);
    connect(watcher, &QFutureWatcher<std::vector<std::string>>::finished, this, [this, watcher] {
        showLocales(watcher->result());
        watcher->deleteLater();
    });
    watcher->setFuture(QtConcurrent::run(sources_.supportedLocales));
}

SettingsPage::PermissionRow SettingsPage::addPermission(QVBoxLayout& section, const char* name, const QString& title,
                                                        const QString& detail, const std::string& note,
                                                        const char* page) {
    auto* parent = section.parentWidget();
    auto* state = new QWidget(parent);
    auto* stateLayout = new QHBoxLayout(state);
    stateLayout->setContentsMargins(0, 0, 0, 0);
    PermissionRow row;
    row.icon = new QLabel(state);
    row.state = new QLabel(QStringLiteral("Allowed"), state);
    row.help = new QPushButton(QStringLiteral("How to allow"), state);
    row.state->setObjectName(QStringLiteral("permission%1State").arg(QString::fromLatin1(name)));
    row.help->setObjectName(QStringLiteral("permission%1Help").arg(QString::fromLatin1(name)));
    row.help->setAccessibleName(QStringLiteral("How to allow: %1").arg(title));
    stateLayout->addWidget(row.icon);
    stateLayout->addWidget(row.state);
    stateLayout->addWidget(row.help);
    QLabel* detailLabel = addRow(section, title, detail, state);
    detailLabel->setText(detail + QLatin1Char('\n') + QString::fromStdString(note));
    detailLabel->setObjectName(QStringLiteral("permission%1Detail").arg(QString::fromLatin1(name)));
    const std::string pageName = page;
    connect(row.help, &QPushButton::clicked, this, [this, pageName] {
        const auto file = PermissionHelp::helpPage(pageName);
        if (!file.empty() && sources_.openUrl)
            sources_.openUrl(QUrl::fromLocalFile(QString::fromStdString(file.string())));
    });
    return row;
}

void SettingsPage::renderPermission(const PermissionRow& row, bool allowed) {
    row.icon->setPixmap(symbolIcon(allowed ? "checkmark.circle.fill" : "exclamationmark.circle.fill",
                                   allowed ? ConsoleStyle::kGreen : ConsoleStyle::kOrange)
                            .pixmap(16, 16));
    row.state->setVisible(allowed);
    row.help->setVisible(!allowed);
}

void SettingsPage::showLocales(const std::vector<std::string>& ids) {
    language_->clear();
    for (const LocaleChoice& choice : sortedByDisplayName(ids))
        language_->addItem(QString::fromStdString(choice.displayName), QString::fromStdString(choice.id));
    language_->setEnabled(true);
    localesLoaded_ = true;
    render();
}

void SettingsPage::render() {
    const QString key = qs(storedValue(model_.hotkey()));
    hotkey_->setCurrentIndex(hotkey_->findData(key));
    const QString locale = QString::fromStdString(model_.localeID());
    if (language_->findData(locale) < 0)
        language_->insertItem(0, QString::fromStdString(localeDisplayName(model_.localeID())), locale);
    language_->setCurrentIndex(language_->findData(locale));
    saveHistory_->setChecked(model_.saveHistory());
    autoCopy_->setChecked(model_.autoCopy());
    autoPaste_->setChecked(model_.autoPaste());
    const std::optional<bool> atLogin = model_.startAtLogin();
    startAtLoginRow_->setVisible(atLogin.has_value());
    startAtLogin_->setChecked(atLogin.value_or(false));
    autoPasteDetail_->setText(model_.axTrusted() ? QStringLiteral("Send the processed result back immediately")
                                                 : QStringLiteral("Allow keyboard access to paste into another app"));
    renderPermission(microphone_, model_.micAuthorized());
    renderPermission(keyboard_, model_.axTrusted());
}

}  // namespace vesk
