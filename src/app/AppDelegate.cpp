#include "app/AppDelegate.h"
#include "app/RewritingSettings.h"
#include "app/SpeechModelSettings.h"
#include "rewriting/RewriteEngine.h"
#include "system/Autostart.h"

#include "app/DictationSession.h"
#include "app/EntryEditor.h"
#include "app/LifecycleSettings.h"
#include "app/ResultDelivery.h"
#include "rewriting/VoiceProfile.h"

#include <QMetaObject>
#include <QPointer>

#include <set>

namespace vesk {

void MainThreadHop::post(std::function<void()> work) const {
    std::lock_guard lock(mutex_);
    if (!receiver_) return;
    // The receiver's destructor detaches under this lock before it is destroyed, and
    // destroying it drops the events still queued for it.
    QMetaObject::invokeMethod(
        receiver_, [work = std::move(work)] { work(); }, Qt::QueuedConnection);
}

void MainThreadHop::detach() {
    std::lock_guard lock(mutex_);
    receiver_ = nullptr;
}

AppDelegate::AppDelegate(ControllerServices services, QObject* parent)
    : AppModel(parent),
      services_(std::move(services)),
      hop_(std::make_shared<MainThreadHop>(this)),
      audioVisual_(this),
      transcriptModel_(this) {
    recognitionWorker_.setMaxThreadCount(1);
    fileWorker_.setMaxThreadCount(1);
    // Threads that outlive a burst of work cost nothing; keep them so a dictation never
    // waits for a thread to start.
    recognitionWorker_.setExpiryTimeout(-1);
    settings_ = services_.settings->read();
    speechModels_ = std::make_unique<SpeechModelSettings>(*this);
    recognizer_ = makeRecognizer(settings_.locale);
    entries_ = services_.history->entries();
    voiceProfile_ = VoiceProfileStore::load();
    session_ = std::make_unique<DictationSession>(*this);
    delivery_ = std::make_unique<ResultDelivery>(*this);
    editor_ = std::make_unique<EntryEditor>(*this);
    lifecycle_ = std::make_unique<LifecycleSettings>(*this);
    rewriting_ = std::make_unique<RewritingSettings>(*this);
    // The engine learns in the background whether its server answers.
    if (auto* engine = dynamic_cast<RewriteEngine*>(services_.rewriter.get()))
        connect(engine, &RewriteEngine::availabilityChanged, this, &AppModel::rewritingStateChanged);

    QPointer<AppDelegate> self(this);
    const auto hopped = [self](auto action) {
        return [self, action](auto... arguments) {
            // The monitor's callbacks hop to the main queue before doing anything.
            QMetaObject::invokeMethod(
                self.data(),
                [self, action, arguments...] {
                    if (self) action(*self, arguments...);
                },
                Qt::QueuedConnection);
        };
    };
    services_.keys->setHandlers({
        .onStart = hopped([](AppDelegate& app) { app.session().keyStarted(); }),
        .onStop = hopped([](AppDelegate& app) { app.session().keyStopped(); }),
        .onCancel = hopped([](AppDelegate& app) { app.session().keyCancelled(); }),
        .onHandsFreeChange = hopped([](AppDelegate& app, bool on) { app.session().handsFreeChanged(on); }),
    });
}

AppDelegate::~AppDelegate() {
    hop_->detach();
    speechModels_.reset();
    // Ends the live feeding, which otherwise waits for a recording that nobody stops.
    session_.reset();
    // Background work holds what it needs by value; wait so none of it outlives the
    // services it may still be calling.
    recognitionWorker_.waitForDone();
    fileWorker_.waitForDone();
}

std::shared_ptr<SpeechRecognizer> AppDelegate::makeRecognizer(const std::string& locale) {
    return services_.makeRecognizer(locale, speechModels_->downloadObserver());
}

std::optional<SpeechModelState> AppDelegate::speechModelState() const { return speechModels_->state(); }
void AppDelegate::setSpeechEngine(const std::string& engine) { speechModels_->setEngine(engine); }
void AppDelegate::setSpeechModel(const std::string& model) { speechModels_->setModel(model); }
void AppDelegate::downloadSpeechModel() { speechModels_->download(); }
void AppDelegate::cancelSpeechModelDownload() { speechModels_->cancel(); }
std::optional<RewritingState> AppDelegate::rewritingState() const { return rewriting_->state(); }
void AppDelegate::setRewriteEndpoint(const std::string& endpoint) { rewriting_->setEndpoint(endpoint); }
void AppDelegate::setRewriteModel(const std::string& model) { rewriting_->setModel(model); }
void AppDelegate::setAllowRemoteRewriting(bool on) { rewriting_->setAllowRemote(on); }
void AppDelegate::refreshRewritingModels() { rewriting_->refresh(); }

std::optional<bool> AppDelegate::startAtLogin() const { return Autostart::isEnabled(); }

void AppDelegate::setStartAtLogin(bool on) {
    if (on == Autostart::isEnabled()) return;
    std::error_code error;
    const std::filesystem::path executable = std::filesystem::read_symlink("/proc/self/exe", error);
    if (error || !Autostart::setEnabled(on, executable))
        setLastError("Start at login could not be changed: " + Autostart::entryPath().string() +
                     " could not be written.");
    emit startAtLoginChanged();
}

std::vector<HistoryEntry> AppDelegate::speechTimeline() const {
    std::vector<HistoryEntry> timeline;
    std::set<std::string> seen;
    for (const auto* list : {&recentEntries_, &entries_})
        for (const HistoryEntry& entry : *list)
            if (seen.insert(entry.id).second) timeline.push_back(entry);
    return timeline;
}

bool AppDelegate::outputModeSelectionEnabled() const {
    return !(uiState_ == UIState::processing && !editor_->isRerendering());
}

void AppDelegate::notifyOutputModeSelection() {
    const bool enabled = outputModeSelectionEnabled();
    if (enabled == lastModeSelection_) return;
    lastModeSelection_ = enabled;
    emit outputModeSelectionEnabledChanged();
}

namespace {

template <typename T>
bool assign(T& field, T value) {
    if (field == value) return false;
    field = std::move(value);
    return true;
}

}  // namespace

void AppDelegate::setUIState(UIState state) {
    if (assign(uiState_, state)) emit uiStateChanged();
    notifyOutputModeSelection();
}
void AppDelegate::setHandsFree(bool on) {
    if (assign(isHandsFree_, on)) emit isHandsFreeChanged();
}
void AppDelegate::setLastError(std::optional<std::string> text) {
    if (assign(lastError_, std::move(text))) emit lastErrorChanged();
}
void AppDelegate::setTransformStatus(std::optional<std::string> text) {
    if (assign(transformStatus_, std::move(text))) emit transformStatusChanged();
}
void AppDelegate::setCurrentAssessment(std::optional<PromptAssessment> assessment) {
    if (assign(currentAssessment_, std::move(assessment))) emit currentAssessmentChanged();
}
void AppDelegate::setPromptDraft(std::string text) {
    if (assign(promptDraft_, std::move(text))) emit promptDraftChanged();
}
void AppDelegate::setConfidenceIssues(std::vector<ConfidenceIssue> issues) {
    if (assign(confidenceIssues_, std::move(issues))) emit confidenceIssuesChanged();
}
void AppDelegate::setRecentEntries(std::vector<HistoryEntry> entries) {
    if (assign(recentEntries_, std::move(entries))) emit recentEntriesChanged();
}
void AppDelegate::setEntries(std::vector<HistoryEntry> entries) {
    if (assign(entries_, std::move(entries))) emit entriesChanged();
}
void AppDelegate::setHistoryTransformingID(std::optional<std::string> id) {
    if (assign(historyTransformingID_, std::move(id))) emit historyTransformingIDChanged();
}
void AppDelegate::setMicAuthorized(bool on) {
    if (assign(micAuthorized_, on)) emit micAuthorizedChanged();
}
void AppDelegate::setAxTrusted(bool on) {
    if (assign(axTrusted_, on)) emit axTrustedChanged();
}
void AppDelegate::setVoiceProfile(std::optional<VoiceProfile> profile) {
    if (assign(voiceProfile_, std::move(profile))) emit voiceProfileChanged();
}
void AppDelegate::setLiveCaption(const std::string& finalized, const std::string& provisional) {
    transcriptModel_.update(QString::fromStdString(finalized), QString::fromStdString(provisional));
}

// --- Operations, each handed to the collaborator that owns its concern ---

void AppDelegate::setHotkey(Hotkey key) { lifecycle_->setHotkey(key); }
void AppDelegate::setSaveHistory(bool on) { lifecycle_->setSaveHistory(on); }
void AppDelegate::setOutputMode(OutputMode mode) { lifecycle_->setOutputMode(mode); }
void AppDelegate::setLocale(const std::string& localeID) { lifecycle_->setLocale(localeID); }
void AppDelegate::setAutoPaste(bool on) { lifecycle_->setAutoPaste(on); }
void AppDelegate::setAutoCopy(bool on) { lifecycle_->setAutoCopy(on); }
void AppDelegate::transformSpeechEntry(const std::string& id, OutputMode mode) {
    editor_->transformSpeechEntry(id, mode);
}
void AppDelegate::updateSpeechEntry(const std::string& id, const std::string& renderedText,
                                    std::optional<OutputMode> mode) {
    editor_->updateSpeechEntry(id, renderedText, mode);
}
void AppDelegate::stageCurrentPromptEdit(const std::string& text) { editor_->stageCurrentPromptEdit(text); }
void AppDelegate::replaceConfidenceIssue(const ConfidenceIssue& issue, const std::string& replacement) {
    editor_->replaceConfidenceIssue(issue, replacement);
}
void AppDelegate::copyTranscriptSurface() { editor_->copyTranscriptSurface(); }
void AppDelegate::copyText(const std::string& text) { delivery_->copy(text); }
void AppDelegate::clearReadyPrompt() { editor_->clearReadyPrompt(); }
void AppDelegate::refreshPermissions() { lifecycle_->refreshPermissions(); }
void AppDelegate::showMainWindow() { lifecycle_->showMainWindow(); }
void AppDelegate::quit() { services_.surfaces->quitApplication(); }
void AppDelegate::transformCurrentSpeech(OutputMode mode) { editor_->transformCurrentSpeech(mode); }

void AppDelegate::applicationDidFinishLaunching() {
    lifecycle_->launch();
    rewriting_->refresh();
}
void AppDelegate::applicationWillTerminate() { lifecycle_->terminate(); }
void AppDelegate::mainWindowWillClose() { lifecycle_->mainWindowWillClose(); }
void AppDelegate::popoverDidShow() { lifecycle_->popoverDidShow(); }
void AppDelegate::popoverDidClose() { lifecycle_->popoverDidClose(); }
void AppDelegate::updateAudioVisualFrame(float level, const WaveformFrame& frame, std::string_view source) {
    lifecycle_->updateAudioVisualFrame(level, frame, source);
}

void AppDelegate::updateIcon(bool force) { lifecycle_->updateIcon(force); }
void AppDelegate::startAmbientMeterIfPossible() { lifecycle_->startAmbientMeterIfPossible(); }
void AppDelegate::refreshVoiceProfileIfDue(bool force) { lifecycle_->refreshVoiceProfileIfDue(force); }
void AppDelegate::cancelPostRecordingTransform() { editor_->cancelPostRecordingTransform(); }

}  // namespace vesk
