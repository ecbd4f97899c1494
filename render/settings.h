// Render settings: global switches and values the intro assigns per scene (the frame addresses per
// frame) and the renderer only reads. Defaults are those of a 320 x 200 frame with nothing optional on.
#pragma once

#include <cstdint>

namespace render {

// Frame geometry. framePitch is in bytes (as the locked surface reports it); screenWidth is the row
// length in pixels of sprites and of the blend pass.
inline int32_t screenWidth = 320;
inline int32_t screenHeight = 200;
inline int32_t framePitch = 320 * 4;
// Pixel (0, 0) of the locked output surface.
inline uint32_t* frameBuffer = nullptr;
// The frame shown last (320 pixels a row), sampled by the environment mode of metal faces.
inline const uint32_t* previousFrame = nullptr;

// Clip rectangle of the rasterizers, in pixels, inclusive. It must lie inside the frame.
inline float clipMinX = 0.0f;
inline float clipMinY = 0.0f;
inline float clipMaxX = 319.0f;
inline float clipMaxY = 199.0f;

inline int32_t sortMode = 2;  // 2: depth-sum keys; anything else: distance keys
inline int32_t singleLight = 0;
inline int32_t flares = 0;
inline int32_t flareGlow = 0;
inline int32_t transparencyEnabled = 0;
inline int32_t animatedTexturesEnabled = 0;
inline int32_t frameBlendMode = 0;
inline int32_t backgroundEnabled = 0;

// Texture preparation.
inline const char* backgroundPicture = "";
inline int32_t autoResize = 0;
inline int32_t fakeTextures = 0;
inline int32_t maxCompat = 0;
inline int32_t constantGouraud = 0;
inline int32_t ambientTint = 0;
inline int32_t animationDelay = 1;

// Option flags for the scene library, composed by BuildLoadOptions.
inline int32_t loadOption0 = 0;
inline int32_t loadOption1 = 0;
inline int32_t loadOption2 = 0;
inline int32_t loadOption3 = 0;
inline int32_t loadOption4 = 0;
inline int32_t loadOption5 = 0;
inline int32_t loadOption6 = 0;

// The scene's ambient colour as multipliers, taken by SetupAmbient, applied to textures and palettes
// when ambientTint is set.
struct AmbientColour {
  float red = 1.0f;
  float green = 1.0f;
  float blue = 1.0f;
};
inline AmbientColour ambientColour;

}  // namespace render
