#pragma once

namespace vesk::FieldShaders {

// The field's GPU program for an OpenGL 3.3 core context. Vertices are RenderPoints (two vec4
// attributes, 32 bytes apart), drawn as GL_POINTS with GL_PROGRAM_POINT_SIZE enabled and
// additive blending: glBlendEquation(GL_FUNC_ADD) and
// glBlendFuncSeparate(GL_SRC_ALPHA, GL_ONE, GL_ONE, GL_ONE_MINUS_SRC_ALPHA).

inline constexpr const char* programLabel = "Vesk Field";
inline constexpr const char* frameLabel = "Vesk Field Frame";
// Logged (with the reason appended) when the program cannot be built; no field is drawn then.
inline constexpr const char* creationFailureMessage = "Project Vesk could not create its field renderer: ";
// The view's clear colour (red, green, blue, alpha).
inline constexpr float clearColor[4] = {0.002f, 0.004f, 0.006f, 1.0f};

inline constexpr int positionAndSizeLocation = 0;
inline constexpr int colorLocation = 1;

inline constexpr const char* vertexSource = R"(#version 330 core
layout(location = 0) in vec4 positionAndSize;
layout(location = 1) in vec4 color;
out vec4 pointColor;

void main() {
    gl_Position = vec4(positionAndSize.xy, 0.0, 1.0);
    gl_PointSize = positionAndSize.z;
    pointColor = color;
}
)";

inline constexpr const char* fragmentSource = R"(#version 330 core
in vec4 pointColor;
out vec4 fragmentColor;

void main() {
    // 0 at the sprite's centre, 1 at its edge.
    float d = length(2.0 * gl_PointCoord - 1.0);
    float feather = 1.0 - smoothstep(0.06, 1.0, d);
    float core = 1.0 - smoothstep(0.0, 0.34, d);
    fragmentColor = vec4(pointColor.rgb * (0.72 + 0.28 * core), pointColor.a * feather);
}
)";

}  // namespace vesk::FieldShaders
