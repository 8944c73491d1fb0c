#pragma once

#include "visualization/FieldSimulation.h"

#include <QElapsedTimer>
#include <QOpenGLWidget>
#include <QTimer>

#include <memory>
#include <string>

namespace vesk {

class AudioVisualModel;
class FieldGLProgram;

// The field drawn on the GPU: an OpenGL 3.3 core widget that advances a FieldSimulation
// once per frame and draws its points as additive sprites in one call. It repaints at 60
// frames a second while it is visible and not at all while hidden.
//
// The widget follows `audio` (connected in the constructor; the model must outlive the
// widget) and the state code set with `setStateCode`. Inputs reach the simulation under its
// lock, so they may change while a frame is drawn. When no usable OpenGL 3.3 context can be
// made (or the program does not build), one warning is logged and the widget shows only its
// clear colour. Main thread only.
class FieldRendererWidget : public QOpenGLWidget {
    Q_OBJECT
public:
    explicit FieldRendererWidget(AudioVisualModel& audio, QWidget* parent = nullptr);
    ~FieldRendererWidget() override;

    // One of FieldStateCode; the palette and constants change on the next frame.
    void setStateCode(int stateCode);
    int stateCode() const { return stateCode_; }

    // False until a context exists, and for good when it could not be used.
    bool hasRenderer() const { return program_ != nullptr; }
    // Between frames while visible: about 60 a second, 20 on a software renderer.
    int frameIntervalMs() const { return frameTimer_.interval(); }
    // Frames drawn so far (each advances the simulation once).
    long long framesDrawn() const { return framesDrawn_; }
    // Points in the last frame drawn.
    std::size_t lastPointCount() const { return lastPointCount_; }

protected:
    void initializeGL() override;
    void paintGL() override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void pushInputs();
    void releaseGL();
    void reportFailure(const std::string& why);

    AudioVisualModel& audio_;
    int stateCode_ = fieldIdle;
    QElapsedTimer clock_;
    FieldSimulation simulation_;
    std::unique_ptr<FieldGLProgram> program_;
    QTimer frameTimer_;
    long long framesDrawn_ = 0;
    std::size_t lastPointCount_ = 0;
    bool failureReported_ = false;
};

}  // namespace vesk
