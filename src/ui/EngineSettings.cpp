#include "ui/EngineSettings.h"

#include "ui/ConsoleStyle.h"
#include "ui/Icons.h"
#include "ui/ToggleSwitch.h"

#include <QComboBox>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

#include <array>
#include <cmath>

namespace vesk {
namespace {

struct Engine {
    const char* stored;
    const char* title;
};
constexpr std::array kEngines{Engine{"auto", "Automatic"}, Engine{"whisper", "whisper.cpp"},
                              Engine{"pocketsphinx", "PocketSphinx"}};

QString qs(const std::string& text) { return QString::fromStdString(text); }

// The section's card under its eyebrow; returns the card's layout.
QVBoxLayout* makeCard(QWidget& section, const QString& name) {
    auto* outer = new QVBoxLayout(&section);
    outer->setContentsMargins(0, 0, 0, 6);
    outer->setSpacing(6);
    auto* eyebrow = new QLabel(name, &section);
    ConsoleStyle::makeEyebrow(*eyebrow);
    outer->addWidget(eyebrow);
    auto* card = new QFrame(&section);
    ConsoleStyle::setRole(*card, "card");
    outer->addWidget(card);
    auto* layout = new QVBoxLayout(card);
    layout->setContentsMargins(14, 10, 14, 10);
    layout->setSpacing(10);
    return layout;
}

// A row with a title over its detail and controls on the right; returns the detail.
QLabel* addRow(QVBoxLayout& card, const QString& title, const QString& detail,
               std::initializer_list<QWidget*> controls) {
    QWidget* parent = card.parentWidget();
    auto* row = new QHBoxLayout;
    auto* text = new QVBoxLayout;
    text->setSpacing(1);
    auto* heading = new QLabel(title, parent);
    auto* line = new QLabel(detail, parent);
    ConsoleStyle::setRole(*line, "muted");
    line->setWordWrap(true);
    text->addWidget(heading);
    text->addWidget(line);
    row->addLayout(text, 1);
    for (QWidget* control : controls) {
        control->setParent(parent);
        if (control->accessibleName().isEmpty()) control->setAccessibleName(title);
        row->addWidget(control, 0, Qt::AlignVCenter);
    }
    card.addLayout(row);
    return line;
}

}  // namespace

QString readableSize(int64_t bytes) {
    if (bytes >= int64_t(1) << 30)
        return QStringLiteral("%1 GB").arg(double(bytes) / double(int64_t(1) << 30), 0, 'f', 1);
    return QStringLiteral("%1 MB").arg(std::llround(double(bytes) / double(1 << 20)));
}

SpeechEngineSection::SpeechEngineSection(AppModel& model, QWidget* parent)
    : QWidget(parent),
      model_(model),
      engine_(new QComboBox),
      speechModel_(new QComboBox),
      status_(nullptr),
      download_(new QPushButton(QStringLiteral("Download"))),
      progress_(new QProgressBar),
      cancel_(new QPushButton(QStringLiteral("Cancel"))) {
    setObjectName("speechEngineSection");
    engine_->setObjectName("settingsSpeechEngine");
    speechModel_->setObjectName("settingsSpeechModel");
    download_->setObjectName("settingsModelDownload");
    progress_->setObjectName("settingsModelProgress");
    cancel_->setObjectName("settingsModelCancel");
    progress_->setRange(0, 1000);
    progress_->setTextVisible(false);
    progress_->setFixedWidth(140);
    progress_->setAccessibleName(QStringLiteral("Download progress"));
    for (const Engine& engine : kEngines)
        engine_->addItem(QString::fromLatin1(engine.title), QString::fromLatin1(engine.stored));
    engine_->setMinimumWidth(180);
    speechModel_->setMinimumWidth(180);

    QVBoxLayout* card = makeCard(*this, QStringLiteral("SPEECH ENGINE"));
    addRow(*card, QStringLiteral("Engine"), QStringLiteral("Automatic uses whisper.cpp when its model is installed"),
           {engine_});
    status_ = addRow(*card, QStringLiteral("Speech model"), QString(), {speechModel_});
    status_->setObjectName("settingsModelStatus");
    auto* downloadRow = new QHBoxLayout;
    downloadRow->addStretch(1);
    for (QWidget* control : std::initializer_list<QWidget*>{progress_, cancel_, download_}) {
        control->setParent(card->parentWidget());
        downloadRow->addWidget(control);
    }
    card->addLayout(downloadRow);

    connect(engine_, &QComboBox::activated, this, [this](int index) {
        model_.setSpeechEngine(engine_->itemData(index).toString().toStdString());
        render();
    });
    connect(speechModel_, &QComboBox::activated, this, [this](int index) {
        model_.setSpeechModel(speechModel_->itemText(index).toStdString());
        render();
    });
    connect(download_, &QPushButton::clicked, this, [this] { model_.downloadSpeechModel(); });
    connect(cancel_, &QPushButton::clicked, this, [this] { model_.cancelSpeechModelDownload(); });
    connect(&model_, &AppModel::speechModelStateChanged, this, &SpeechEngineSection::render);
    render();
}

void SpeechEngineSection::render() {
    const auto state = model_.speechModelState();
    setVisible(state.has_value());
    if (!state) return;
    engine_->setCurrentIndex(std::max(0, engine_->findData(qs(state->engine))));
    speechModel_->clear();
    for (const std::string& name : state->models) speechModel_->addItem(qs(name));
    if (speechModel_->findText(qs(state->model)) < 0) speechModel_->addItem(qs(state->model));
    speechModel_->setCurrentText(qs(state->model));

    const bool downloading = state->downloadProgress.has_value();
    QString line = downloading ? QStringLiteral("Downloading %1%").arg(std::lround(*state->downloadProgress * 100))
                   : state->installed ? QStringLiteral("Installed")
                                      : QStringLiteral("Not installed");
    if (state->sizeBytes)
        line += QStringLiteral(" · ") + readableSize(*state->sizeBytes) +
                (state->installed ? QStringLiteral(" on disk") : QStringLiteral(" to download"));
    if (!state->note.empty()) line += QLatin1Char('\n') + qs(state->note);
    if (state->downloadError && !downloading) line += QLatin1Char('\n') + qs(*state->downloadError);
    status_->setText(line);
    progress_->setVisible(downloading);
    cancel_->setVisible(downloading);
    progress_->setValue(downloading ? int(std::lround(*state->downloadProgress * 1000)) : 0);
    download_->setVisible(!downloading && !state->installed);
    speechModel_->setEnabled(!downloading);
}

RewritingSection::RewritingSection(AppModel& model, std::function<void()> openHelp, QWidget* parent)
    : QWidget(parent),
      model_(model),
      endpoint_(new QLineEdit),
      rewriteModel_(new QComboBox),
      refresh_(new QPushButton(QStringLiteral("Refresh"))),
      note_(nullptr),
      allowRemote_(new ToggleSwitch) {
    setObjectName("rewritingSection");
    endpoint_->setObjectName("settingsRewriteEndpoint");
    rewriteModel_->setObjectName("settingsRewriteModel");
    refresh_->setObjectName("settingsRewriteRefresh");
    allowRemote_->setObjectName("settingsAllowRemote");
    endpoint_->setMinimumWidth(240);
    rewriteModel_->setMinimumWidth(180);
    refresh_->setAccessibleName(QStringLiteral("Ask the server for its models"));
    auto* help = new QPushButton(QStringLiteral("How to set up"));
    help->setObjectName("settingsRewriteHelp");

    QVBoxLayout* card = makeCard(*this, QStringLiteral("ON-DEVICE REWRITING"));
    addRow(*card, QStringLiteral("Server"), QStringLiteral("An OpenAI-compatible server on this computer"),
           {endpoint_, help});
    note_ = addRow(*card, QStringLiteral("Model"), QString(), {rewriteModel_, refresh_});
    note_->setObjectName("settingsRewriteNote");
    addRow(*card, QStringLiteral("Allow a remote server"),
           QStringLiteral("Off by default. When on, your words may leave this computer."), {allowRemote_});

    connect(endpoint_, &QLineEdit::editingFinished, this, [this] {
        const auto state = model_.rewritingState();
        const std::string endpoint = endpoint_->text().trimmed().toStdString();
        if (state && endpoint != state->endpoint) model_.setRewriteEndpoint(endpoint);
    });
    connect(rewriteModel_, &QComboBox::activated, this, [this](int index) {
        model_.setRewriteModel(rewriteModel_->itemData(index).toString().toStdString());
        render();
    });
    connect(refresh_, &QPushButton::clicked, this, [this] { model_.refreshRewritingModels(); });
    connect(allowRemote_, &QCheckBox::clicked, this, [this](bool on) {
        model_.setAllowRemoteRewriting(on);
        render();
    });
    connect(help, &QPushButton::clicked, this, [openHelp = std::move(openHelp)] {
        if (openHelp) openHelp();
    });
    connect(&model_, &AppModel::rewritingStateChanged, this, &RewritingSection::render);
    render();
}

void RewritingSection::render() {
    const auto state = model_.rewritingState();
    setVisible(state.has_value());
    if (!state) return;
    if (!endpoint_->hasFocus()) endpoint_->setText(qs(state->endpoint));
    rewriteModel_->clear();
    rewriteModel_->addItem(QStringLiteral("None"), QString());
    for (const std::string& name : state->serverModels) rewriteModel_->addItem(qs(name), qs(name));
    if (!state->model.empty() && rewriteModel_->findData(qs(state->model)) < 0)
        rewriteModel_->addItem(qs(state->model), qs(state->model));
    rewriteModel_->setCurrentIndex(std::max(0, rewriteModel_->findData(qs(state->model))));
    note_->setText(state->availabilityNote.empty() ? QStringLiteral("Ready on this computer")
                                                   : qs(state->availabilityNote));
    allowRemote_->setChecked(state->allowRemote);
}

}  // namespace vesk
