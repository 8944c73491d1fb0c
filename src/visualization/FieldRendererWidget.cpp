#include "visualization/FieldRendererWidget.h"

#include "core/Log.h"
#include "visualization/FieldShaders.h"
#include "visualization/RealtimeModels.h"

#include <QOpenGLBuffer>
#include <QOpenGLContext>
#include <QOpenGLFunctions>
#include <QOpenGLFunctions_3_3_Core>
#include <QOpenGLShaderProgram>
#include <QOpenGLVersionFunctionsFactory>
#include <QOpenGLVertexArrayObject>
#include <QSurfaceFormat>

#include <cstddef>
#include <string>

namespace vesk {
namespace {

constexpr int kFrameIntervalMs = 16;  // about 60 frames a second
// A software renderer draws every point on the processor: 20 frames a second keep the
// field moving without taking a whole core from recognition.
constexpr int kSoftwareFrameIntervalMs = 50;

bool isSoftwareRenderer(QOpenGLContext& context) {
    const auto* name = reinterpret_cast<const char*>(context.functions()->glGetString(GL_RENDERER));
    if (!name) return false;
    const std::string renderer(name);
    for (const char* software : {"llvmpipe", "softpipe", "swrast", "Software Rasterizer"})
        if (renderer.find(software) != std::string::npos) return true;
    return false;
}

QElapsedTimer startedClock() {
    QElapsedTimer clock;
    clock.start();
    return clock;
}

QSurfaceFormat fieldFormat() {
    QSurfaceFormat format;
    format.setRenderableType(QSurfaceFormat::OpenGL);
    format.setVersion(3, 3);
    format.setProfile(QSurfaceFormat::CoreProfile);
    format.setAlphaBufferSize(8);
    return format;
}

}  // namespace

// The program, its vertex array and the point buffer; lives while the widget's context does
// and is used only with that context current.
class FieldGLProgram {
public:
    // Builds everything; on failure returns nothing and sets `why`.
    static std::unique_ptr<FieldGLProgram> create(QOpenGLContext& context, std::string& why) {
        auto made = std::unique_ptr<FieldGLProgram>(new FieldGLProgram);
        const QSurfaceFormat format = context.format();
        if (context.isOpenGLES() || format.version() < qMakePair(3, 3)) {
            why = "OpenGL 3.3 is not available (the context offers " + std::to_string(format.majorVersion()) + "." +
                  std::to_string(format.minorVersion()) + ")";
            return nullptr;
        }
        made->gl_ = QOpenGLVersionFunctionsFactory::get<QOpenGLFunctions_3_3_Core>(&context);
        if (!made->gl_ || !made->gl_->initializeOpenGLFunctions()) {
            why = "the OpenGL 3.3 core functions could not be resolved";
            return nullptr;
        }
        auto& program = made->program_;
        if (!program.addShaderFromSourceCode(QOpenGLShader::Vertex, FieldShaders::vertexSource) ||
            !program.addShaderFromSourceCode(QOpenGLShader::Fragment, FieldShaders::fragmentSource) ||
            !program.link()) {
            why = program.log().trimmed().toStdString();
            if (why.empty()) why = "the shaders did not compile";
            return nullptr;
        }
        program.setObjectName(FieldShaders::programLabel);
        if (!made->vertexArray_.create() || !made->points_.create()) {
            why = "the vertex buffers could not be created";
            return nullptr;
        }
        made->points_.setUsagePattern(QOpenGLBuffer::StreamDraw);
        QOpenGLVertexArrayObject::Binder binder(&made->vertexArray_);
        made->points_.bind();
        program.bind();
        program.enableAttributeArray(FieldShaders::positionAndSizeLocation);
        program.setAttributeBuffer(FieldShaders::positionAndSizeLocation, GL_FLOAT, 0, 4, sizeof(RenderPoint));
        program.enableAttributeArray(FieldShaders::colorLocation);
        program.setAttributeBuffer(FieldShaders::colorLocation, GL_FLOAT, offsetof(RenderPoint, color), 4,
                                   sizeof(RenderPoint));
        program.release();
        made->points_.release();
        return made;
    }

    // Uploads `points` into the stream buffer and draws them as additive sprites.
    void draw(const std::vector<RenderPoint>& points) {
        gl_->glEnable(GL_PROGRAM_POINT_SIZE);
        gl_->glEnable(GL_BLEND);
        gl_->glBlendEquation(GL_FUNC_ADD);
        gl_->glBlendFuncSeparate(GL_SRC_ALPHA, GL_ONE, GL_ONE, GL_ONE_MINUS_SRC_ALPHA);
        QOpenGLVertexArrayObject::Binder binder(&vertexArray_);
        points_.bind();
        const int bytes = static_cast<int>(points.size() * sizeof(RenderPoint));
        // Orphan the old storage so the driver never waits for the previous frame's draw.
        if (bytes > capacity_) {
            points_.allocate(points.data(), bytes);
            capacity_ = bytes;
        } else {
            points_.allocate(capacity_);
            points_.write(0, points.data(), bytes);
        }
        program_.bind();
        gl_->glDrawArrays(GL_POINTS, 0, static_cast<GLsizei>(points.size()));
        program_.release();
        points_.release();
    }

private:
    FieldGLProgram() : points_(QOpenGLBuffer::VertexBuffer) {}

    QOpenGLFunctions_3_3_Core* gl_ = nullptr;
    QOpenGLShaderProgram program_;
    QOpenGLVertexArrayObject vertexArray_;
    QOpenGLBuffer points_;
    int capacity_ = 0;
};

FieldRendererWidget::FieldRendererWidget(AudioVisualModel& audio, QWidget* parent)
    : QOpenGLWidget(parent), audio_(audio), clock_(startedClock()), simulation_(0.0) {
    setFormat(fieldFormat());
    setMinimumSize(8, 8);
    frameTimer_.setTimerType(Qt::PreciseTimer);
    frameTimer_.setInterval(kFrameIntervalMs);
    connect(&frameTimer_, &QTimer::timeout, this, qOverload<>(&QWidget::update));
    connect(&audio_, &AudioVisualModel::snapshotChanged, this, &FieldRendererWidget::pushInputs);
    pushInputs();
}

FieldRendererWidget::~FieldRendererWidget() {
    releaseGL();
    // The base class destroys the context after this part of the widget is gone.
    if (QOpenGLContext* current = context()) disconnect(current, nullptr, this, nullptr);
}

void FieldRendererWidget::setStateCode(int stateCode) {
    if (stateCode == stateCode_) return;
    stateCode_ = stateCode;
    pushInputs();
}

void FieldRendererWidget::pushInputs() {
    const auto& snapshot = audio_.snapshot();
    simulation_.update(snapshot.waveform, snapshot.spectrum, snapshot.level, stateCode_);
}

void FieldRendererWidget::releaseGL() {
    if (!program_) return;
    // The buffers belong to the context: free them while it is current.
    makeCurrent();
    program_.reset();
    doneCurrent();
}

void FieldRendererWidget::initializeGL() {
    QOpenGLContext* current = context();
    connect(current, &QOpenGLContext::aboutToBeDestroyed, this, &FieldRendererWidget::releaseGL, Qt::UniqueConnection);
    std::string why;
    if (current && current->isValid()) {
        program_ = FieldGLProgram::create(*current, why);
        if (isSoftwareRenderer(*current)) frameTimer_.setInterval(kSoftwareFrameIntervalMs);
    } else {
        why = "no OpenGL context could be created";
    }
    if (!program_) reportFailure(why);
}

void FieldRendererWidget::reportFailure(const std::string& why) {
    if (failureReported_) return;
    failureReported_ = true;
    logWarning(FieldShaders::creationFailureMessage + why);
}

void FieldRendererWidget::paintGL() {
    QOpenGLFunctions* gl = context()->functions();
    const auto* clear = FieldShaders::clearColor;
    gl->glClearColor(clear[0], clear[1], clear[2], clear[3]);
    gl->glClear(GL_COLOR_BUFFER_BIT);
    if (!program_) {
        // Only the clear colour: nothing moves, so nothing needs redrawing.
        frameTimer_.stop();
        return;
    }
    const auto points = simulation_.advance(static_cast<double>(clock_.nsecsElapsed()) * 1e-9);
    lastPointCount_ = points.size();
    ++framesDrawn_;
    if (!points.empty()) program_->draw(points);
}

void FieldRendererWidget::showEvent(QShowEvent* event) {
    QOpenGLWidget::showEvent(event);
    frameTimer_.start();
    // Without any context Qt never calls initializeGL: say so once the widget had its chance.
    QTimer::singleShot(0, this, [this] {
        if (isVisible() && !isValid()) reportFailure("no OpenGL context could be created");
    });
}

void FieldRendererWidget::hideEvent(QHideEvent* event) {
    frameTimer_.stop();
    QOpenGLWidget::hideEvent(event);
}

}  // namespace vesk
