#include "hud/DictationHUDState.h"

namespace vesk {

DictationHUDState::DictationHUDState(QObject* parent) : QObject(parent) {}

void DictationHUDState::setPhase(Phase phase) {
    if (phase == phase_) return;
    phase_ = std::move(phase);
    emit phaseChanged();
}

}  // namespace vesk
