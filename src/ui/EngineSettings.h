#pragma once

#include "ui/AppModel.h"

#include <QUrl>
#include <QWidget>

#include <functional>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;

namespace vesk {

// "SPEECH ENGINE": the engine, the model with its size and whether it is installed, and a
// download with its progress and a Cancel. Hidden while the model offers no speech state.
// `model` must outlive the section.
class SpeechEngineSection : public QWidget {
    Q_OBJECT
public:
    explicit SpeechEngineSection(AppModel& model, QWidget* parent = nullptr);

private:
    void render();

    AppModel& model_;
    QComboBox* engine_;
    QComboBox* speechModel_;
    QLabel* status_;
    QPushButton* download_;
    QProgressBar* progress_;
    QPushButton* cancel_;
};

// "ON-DEVICE REWRITING": the server's address, a model from the server's own list, what
// is missing in words, and allowing a server elsewhere (off unless chosen, with its
// warning). Hidden while the model offers no rewriting state. `model` must outlive it.
class RewritingSection : public QWidget {
    Q_OBJECT
public:
    RewritingSection(AppModel& model, std::function<void()> openHelp, QWidget* parent = nullptr);

private:
    void render();

    AppModel& model_;
    QLineEdit* endpoint_;
    QComboBox* rewriteModel_;
    QPushButton* refresh_;
    QLabel* note_;
    QCheckBox* allowRemote_;
};

// "142 MB", "1.5 GB": a size for people.
QString readableSize(int64_t bytes);

}  // namespace vesk
