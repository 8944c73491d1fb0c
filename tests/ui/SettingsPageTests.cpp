#include "ui/ConsoleFixture.h"

#include "speech/SpeechEngines.h"
#include "ui/LocaleNames.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QTest>

#include <unicode/locid.h>

namespace vesk::test {
namespace {

using SettingsTest = SettingsPageTest;

TEST_F(SettingsTest, EachControlReachesItsSetter) {
    auto* hotkey = child<QComboBox>(*window, "settingsHotkey");
    std::vector<std::string> keys;
    for (int i = 0; i < hotkey->count(); ++i) keys.push_back(hotkey->itemText(i).toStdString());
    EXPECT_EQ(keys, (std::vector<std::string>{"Right Ctrl", "Right Alt (AltGr)", "fn (Globe)"}));
    EXPECT_EQ(hotkey->currentText(), "Right Ctrl");
    hotkey->setCurrentIndex(2);
    emit hotkey->activated(2);
    EXPECT_EQ(model.hotkey(), Hotkey::fn);

    auto* language = child<QComboBox>(*window, "settingsLanguage");
    EXPECT_EQ(language->currentData().toString(), "en-US");
    const int german = language->findData("de");
    ASSERT_GE(german, 0);
    language->setCurrentIndex(german);
    emit language->activated(german);
    EXPECT_EQ(model.localeID(), "de");

    struct Toggle {
        const char* name;
        std::function<bool()> value;
    };
    const Toggle toggles[] = {{"settingsSaveHistory", [&] { return model.saveHistory(); }},
                              {"settingsAutoCopy", [&] { return model.autoCopy(); }},
                              {"settingsAutoPaste", [&] { return model.autoPaste(); }}};
    for (const Toggle& toggle : toggles) {
        auto* box = child<QCheckBox>(*window, toggle.name);
        QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(10, box->height() / 2));
        EXPECT_TRUE(toggle.value()) << toggle.name;
        EXPECT_TRUE(box->isChecked()) << toggle.name;
        QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(10, box->height() / 2));
        EXPECT_FALSE(toggle.value()) << toggle.name;
    }

    // The model's own changes show as well.
    model.setHotkey(Hotkey::rightOption);
    EXPECT_EQ(hotkey->currentText(), "Right Alt (AltGr)");

    // "Start at login" shows only where the model offers it, and follows it.
    auto* row = child<QWidget>(*window, "settingsStartAtLoginRow");
    auto* atLogin = child<QCheckBox>(*window, "settingsStartAtLogin");
    EXPECT_FALSE(row->isVisibleTo(window.get()));
    model.publishStartAtLogin(false);
    EXPECT_TRUE(row->isVisibleTo(window.get()));
    QTest::mouseClick(atLogin, Qt::LeftButton, {}, QPoint(10, atLogin->height() / 2));
    EXPECT_EQ(model.startAtLogin(), true);
    model.publishStartAtLogin(false);
    EXPECT_FALSE(atLogin->isChecked());
}

TEST_F(SettingsTest, PermissionsSayAllowedOrHowToAllow) {
    auto* pasteDetail = child<QLabel>(*window, "settingsAutoPasteDetail");
    EXPECT_EQ(pasteDetail->text(), "Send the processed result back immediately");
    EXPECT_TRUE(child<QLabel>(*window, "permissionMicrophoneState")->isVisible());
    EXPECT_EQ(child<QLabel>(*window, "permissionMicrophoneState")->text(), "Allowed");
    EXPECT_FALSE(child<QPushButton>(*window, "permissionKeyboardAccessHelp")->isVisible());

    model.publishKeyboardAccess(false);
    model.publishMic(false);
    EXPECT_EQ(pasteDetail->text(), "Allow keyboard access to paste into another app");
    struct Row {
        const char* button;
        const char* page;
        const char* mustMention;
    };
    const Row rows[] = {{"permissionMicrophoneHelp", "microphone.html", "pactl set-default-source"},
                        {"permissionKeyboardAccessHelp", "keyboard-access.html", "usermod -aG input"}};
    for (const Row& row : rows) {
        auto* help = child<QPushButton>(*window, row.button);
        EXPECT_TRUE(help->isVisible());
        EXPECT_EQ(help->text(), "How to allow");
        QTest::mouseClick(help, Qt::LeftButton);
        ASSERT_FALSE(openedUrls.empty());
        const QUrl opened = openedUrls.back();
        EXPECT_TRUE(opened.isLocalFile());
        EXPECT_EQ(opened.fileName(), row.page);
        QFile page(opened.toLocalFile());
        ASSERT_TRUE(page.open(QIODevice::ReadOnly)) << opened.toLocalFile().toStdString();
        EXPECT_TRUE(page.readAll().contains(row.mustMention)) << row.page;
    }
    EXPECT_FALSE(child<QLabel>(*window, "permissionMicrophoneState")->isVisible());

    // The keyboard row names the session it found (the tests run on X11).
    EXPECT_TRUE(child<QLabel>(*window, "permissionKeyboardAccessDetail")->text().contains("X11 session"));
    EXPECT_EQ(child<QLabel>(*window, "settingsPrivacy")->text(),
              "Audio, transcription, and prompt improvement stay on this computer.");
}

TEST(PermissionHelp, SessionFromEnvironment) {
    using PermissionHelp::DesktopSession;
    struct Case {
        const char* type;
        const char* wayland;
        const char* display;
        DesktopSession expected;
    };
    const Case cases[] = {
        {"wayland", "", ":0", DesktopSession::wayland},
        {"x11", "wayland-0", "", DesktopSession::x11},
        {"tty", "wayland-0", ":0", DesktopSession::wayland},
        {"", "", ":1", DesktopSession::x11},
        {"", "", "", DesktopSession::unknown},
    };
    for (const Case& c : cases)
        EXPECT_EQ(PermissionHelp::detectSession(c.type, c.wayland, c.display), c.expected)
            << c.type << "|" << c.wayland << "|" << c.display;
}

TEST(LocaleNames, SortedByDisplayNameInTheCurrentLanguage) {
    UErrorCode status = U_ZERO_ERROR;
    const icu::Locale saved = icu::Locale::getDefault();
    icu::Locale::setDefault(icu::Locale("en", "US"), status);
    const auto choices = sortedByDisplayName({"en-US", "de", "zz-unknown", "el", "en-GB", "ja", "es"});
    std::vector<std::string> order;
    for (const auto& choice : choices) order.push_back(choice.id + "=" + choice.displayName);
    icu::Locale::setDefault(saved, status);
    EXPECT_EQ(order,
              (std::vector<std::string>{"en-GB=English (United Kingdom)", "en-US=English (United States)", "de=German",
                                        "el=Greek", "ja=Japanese", "es=Spanish", "zz-unknown=zz (UNKNOWN)"}));
}

TEST_F(ConsoleTest, LanguageListIsTheRecognizersSortedByDisplayName) {
    ConsoleWindowOptions options;  // the real locale source
    options.settings.openUrl = [](const QUrl&) {};
    ConsoleWindow window(model, std::move(options));
    ASSERT_TRUE(spinUntil([&] { return window.settings().localesLoaded(); }));
    auto* language = child<QComboBox>(window, "settingsLanguage");
    std::vector<std::string> listed;
    for (int i = 0; i < language->count(); ++i)
        listed.push_back(language->itemData(i).toString().toStdString() + "=" + language->itemText(i).toStdString());
    const auto supported = supportedLocaleIDs();
    ASSERT_GT(supported.size(), 5u);
    std::vector<std::string> expected;
    for (const auto& choice : sortedByDisplayName(supported)) expected.push_back(choice.id + "=" + choice.displayName);
    EXPECT_EQ(listed, expected);
    EXPECT_EQ(language->currentData().toString(), "en-US");
}

}  // namespace
}  // namespace vesk::test
