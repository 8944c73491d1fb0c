#pragma once

#include "ui/AppModel.h"

#include <QWidget>

#include <array>

class QToolButton;

namespace vesk {

// One node per output mode (Prompt, Clean, Exact). The current mode is selected, and
// marked processing while a result is being prepared; pressing a node asks the model for
// that mode, and nothing can be pressed while the model offers no choice. `model` must
// outlive the rail.
class ProcessingRail : public QWidget {
    Q_OBJECT
public:
    explicit ProcessingRail(AppModel& model, QWidget* parent = nullptr);

private:
    void render();

    AppModel& model_;
    std::array<QToolButton*, 3> nodes_{};
};

}  // namespace vesk
