#include "ui/GuiDesktop.h"
#include "visualization/FieldRendererWidget.h"
#include "visualization/RealtimeModels.h"

#include <QCoreApplication>
#include <QProcess>

#include <gtest/gtest.h>

#include <cmath>

namespace vesk {
namespace {

using namespace std::chrono_literals;
using test::GuiTest;

// The quick panel's field is about this size.
constexpr QSize kFieldSize(358, 150);

WaveformFrame loudFrame() {
    WaveformFrame frame;
    for (std::size_t k = 0; k < frame.full.size(); ++k) frame.full[k] = 0.6f * std::sin(0.19f * static_cast<float>(k));
    frame.spectrum.fill(0.7f);
    return frame;
}

struct Lit {
    int count = 0;
    double red = 0, green = 0, blue = 0;  // mean of the lit pixels, 0...255
    double meanLuminance = 0;             // over the whole image, 0...1
};

Lit measure(const QImage& image) {
    Lit lit;
    double luminance = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const QColor c = image.pixelColor(x, y);
            luminance += (0.2126 * c.redF() + 0.7152 * c.greenF() + 0.0722 * c.blueF());
            if (std::max({c.red(), c.green(), c.blue()}) < 90) continue;
            ++lit.count;
            lit.red += c.red();
            lit.green += c.green();
            lit.blue += c.blue();
        }
    }
    if (lit.count) {
        lit.red /= lit.count;
        lit.green /= lit.count;
        lit.blue /= lit.count;
    }
    lit.meanLuminance = luminance / (image.width() * image.height());
    return lit;
}

class FieldRendererTest : public GuiTest {
protected:
    // Shows the field, lets it draw for a while and returns its framebuffer.
    QImage settledFrame(FieldRendererWidget& field) {
        field.resize(kFieldSize);
        field.show();
        EXPECT_TRUE(test::spinUntil([&] { return field.framesDrawn() >= 30; }, 20s)) << "the field never drew";
        return field.grabFramebuffer();
    }
};

TEST_F(FieldRendererTest, LoudFrameLightsPixelsInTheStatesPaletteAndSilenceStaysNearTheClearColour) {
    struct Row {
        int state;
        const char* name;
        // The channel that leads in the palette, and the order of the other two.
        std::function<bool(const Lit&)> inPalette;
    };
    const Row rows[] = {
        {fieldRecording, "recording", [](const Lit& l) { return l.red > l.green && l.green > l.blue; }},
        {fieldProcessing, "processing", [](const Lit& l) { return l.blue > l.red && l.red > l.green; }},
        {fieldReady, "ready", [](const Lit& l) { return l.green > l.blue && l.blue > l.red; }},
    };
    double recordingLuminance = 0;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        AudioVisualModel audio;
        audio.update(0.8f, loudFrame());
        FieldRendererWidget field(audio);
        field.setStateCode(row.state);
        const QImage image = settledFrame(field);
        ASSERT_TRUE(field.hasRenderer());
        test::saveArtefact(image, QStringLiteral("field-loud-") + QLatin1String(row.name));
        const Lit lit = measure(image);
        EXPECT_GT(lit.count, image.width() * image.height() / 20) << "too few lit pixels";
        EXPECT_TRUE(row.inPalette(lit)) << "mean lit colour " << lit.red << ", " << lit.green << ", " << lit.blue;
        // A loud frame draws the spectrum trace on top of the resting picture.
        EXPECT_GT(field.lastPointCount(), 9000u);
        if (row.state == fieldRecording) recordingLuminance = lit.meanLuminance;
    }

    AudioVisualModel silent;
    FieldRendererWidget idle(silent);
    const QImage quiet = settledFrame(idle);
    test::saveArtefact(quiet, QStringLiteral("field-silent-idle"));
    // The clear colour is almost black; the resting guides and glow add a faint veil.
    const double quietLuminance = measure(quiet).meanLuminance;
    EXPECT_LT(quietLuminance, 0.12);
    EXPECT_LT(quietLuminance * 2, recordingLuminance);
    // The corners, far from the glow, are the clear colour itself.
    const QColor corner = quiet.pixelColor(0, quiet.height() - 1);
    EXPECT_LT(std::max({corner.red(), corner.green(), corner.blue()}), 40);
}

TEST_F(FieldRendererTest, DrawsAtDisplayRateOnlyWhileVisible) {
    AudioVisualModel audio;
    FieldRendererWidget field(audio);
    field.resize(kFieldSize);
    field.show();
    ASSERT_TRUE(test::spinUntil([&] { return field.framesDrawn() >= 2; }));
    const long long start = field.framesDrawn();
    test::spinFor(1000ms);
    const long long visibleFrames = field.framesDrawn() - start;
    // The test desktop renders in software: at most 20 frames a second there, so the field
    // leaves the processor to recognition (a busy machine may drop some).
    EXPECT_EQ(field.frameIntervalMs(), 50);
    EXPECT_GE(visibleFrames, 5);
    EXPECT_LE(visibleFrames, 22);

    field.hide();
    const long long hiddenStart = field.framesDrawn();
    audio.update(0.5f, loudFrame());
    test::spinFor(300ms);
    EXPECT_EQ(field.framesDrawn(), hiddenStart);
}

// Runs twice: here it starts this test again in a child process whose OpenGL offers only 3.0
// (Mesa's version override); in the child, it checks the widget there.
TEST_F(FieldRendererTest, WithoutAUsableContextShowsOnlyTheClearColourAndSaysSoOnce) {
    if (!qEnvironmentVariableIsSet("MESA_GL_VERSION_OVERRIDE")) {
        QProcess child;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("MESA_GL_VERSION_OVERRIDE", "3.0");
        child.setProcessEnvironment(environment);
        child.start(QCoreApplication::applicationFilePath(),
                    {"--gtest_filter=FieldRendererTest.WithoutAUsableContextShowsOnlyTheClearColourAndSaysSoOnce"});
        ASSERT_TRUE(child.waitForFinished(60'000));
        const QString output = QString::fromUtf8(child.readAllStandardOutput() + child.readAllStandardError());
        EXPECT_EQ(child.exitCode(), 0) << output.toStdString();
        EXPECT_EQ(output.count("Project Vesk could not create its field renderer: "), 1) << output.toStdString();
        return;
    }
    AudioVisualModel audio;
    audio.update(0.8f, loudFrame());
    FieldRendererWidget field(audio);
    field.resize(kFieldSize);
    for (int shown = 0; shown < 2; ++shown) {
        field.show();
        test::spinFor(300ms);
        field.hide();
    }
    EXPECT_FALSE(field.hasRenderer());
    EXPECT_EQ(field.framesDrawn(), 0);
    const QImage image = field.grabFramebuffer();
    const QColor clear = QColor::fromRgbF(0.002f, 0.004f, 0.006f);
    EXPECT_EQ(test::countPixels(image, [&](QColor c) { return c.rgb() != clear.rgb(); }), 0);
}

}  // namespace
}  // namespace vesk
