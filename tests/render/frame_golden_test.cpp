// A hand-built scene of every material kind, flares and the frame blend, played for a few frames
// through two surfaces as the playback loop does, hashed (FNV-1a) against a stored value. On a
// mismatch the frame is written to render_frame_golden.png in the build folder. To renew the value
// on purpose after a deliberate change of the pictures:
//   VEK_RENEW_GOLDEN=1 build/dev/tests/render/test_render_frame --gtest_filter='*Golden*'
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "display/headless/capture.h"
#include "display/surface.h"
#include "support.h"
#include "render/blend.h"

namespace {

using rendertest::Front;
using rendertest::kHeight;
using rendertest::kWidth;

const char kGoldenFile[] = VEK_SOURCE_DIR "/tests/render/frame_golden.txt";

uint32_t Fnv1a(const std::vector<uint32_t>& pixels) {
  uint32_t hash = 2166136261u;
  for (uint32_t p : pixels)
    for (int b = 0; b < 4; ++b) hash = (hash ^ (p >> 8 * b & 0xFF)) * 16777619u;
  return hash;
}

// Corners with their own normals and texture coordinates, so that every attribute varies.
void Vary(scene::Object* o, int seed) {
  for (int i = 0; i < 3; ++i) {
    scene::Vertex& v = o->vertices[i];
    const float a = 0.7f * float(seed + 2 * i);
    const float x = 0.6f * std::cos(a), y = 0.6f * std::sin(a);
    v.pnorm = {x, y, -std::sqrt(1.0f - x * x - y * y)};
    v.u = 30.0f + 70.0f * float((seed + i) % 4);
    v.v = 200.0f - 60.0f * float((seed * 3 + i) % 4);
    v.intensity = 20.0f + 40.0f * float(i + seed % 3);
  }
}

TEST(RenderFrame, GoldenFrameOfAHandBuiltScene) {
  rendertest::TestScene t;
  const std::vector<uint32_t> texture = rendertest::CoordinateTexture();
  const std::vector<uint32_t> mapped = rendertest::CoordinateTexture(0x90);
  const std::vector<uint32_t> shaded = rendertest::ShadedTexture(0x30);
  std::vector<uint32_t> sprite(24 * 24);
  for (int y = 0; y < 24; ++y)
    for (int x = 0; x < 24; ++x) {
      const int d = std::abs(x - 12) + std::abs(y - 12);
      sprite[y * 24 + x] = d < 12 ? uint32_t(12 - d) * 0x00100C08u : 0;
    }
  render::flares = 3;
  render::flareSprite = sprite.data();
  render::singleLight = 0;
  render::frameBlendMode = 1002;

  scene::Material* weighted = t.Material(scene::SHADING_FLAT, texture.data(), 2);
  weighted->weights[0] = 153 * 0x10001, weighted->weights[1] = 102 * 0x10001;
  scene::Material* materials[] = {
      t.Material(scene::SHADING_FLAT, texture.data()),
      t.Material(scene::SHADING_FLAT, texture.data(), 1),
      weighted,
      t.Material(scene::SHADING_FLAT, mapped.data(), 3),
      t.Material(scene::SHADING_PHONG, texture.data()),
      t.Material(scene::SHADING_METAL),
      t.Material(scene::SHADING_GOURAUD),
      t.Material(scene::SHADING_GOURAUD, shaded.data()),
      t.Material(render::SHADING_CONSTANT_GOURAUD),
      t.Material(render::SHADING_CONSTANT_GOURAUD, shaded.data()),
  };
  std::vector<scene::Object*> objects;
  for (int i = 0; i < 20; ++i) {
    const float x = 30.0f + float(i % 5) * 62.0f, y = 10.0f + float(i / 5) * 40.0f;
    const float z = 100.0f * float(1 << (i % 3));
    objects.push_back(t.Triangle(materials[i % 10], Front(x, y, 45.0f + float(i % 4) * 10, z)));
    Vary(objects.back(), i);
  }
  t.Light({-20, 30, 60}, 24, 24);
  t.Light({90, -40, 150}, 24, 24);
  t.Light({0, 0, -500}, 24, 24);  // behind the camera

  const display::Format argb(display::ARGB8888);
  display::Surface a(kWidth, kHeight, argb), b(kWidth, kHeight, argb);
  display::Surface* current = &a;
  display::Surface* previous = &b;
  {
    auto* p = static_cast<uint32_t*>(previous->lock());
    for (int i = 0; i < kWidth * kHeight; ++i)
      p[i] = uint32_t(i % kWidth) * 0x00000301u ^ uint32_t(i / kWidth) * 0x00010200u;
    previous->unlock();
  }
  render::AllocFaceSortTable(t.s);
  render::CollectLights(t.s);
  for (int frame = 0; frame < 3; ++frame) {
    for (scene::Object* o : objects)
      for (int i = 0; i < 3; ++i) o->vertices[i].pvert.x += 3.0f;
    render::ProjectScene(t.s, &t.camera, kWidth, kHeight);
    render::frameBuffer = static_cast<uint32_t*>(current->lock());
    render::framePitch = current->pitch();
    render::previousFrame = static_cast<const uint32_t*>(previous->lock());
    render::RenderFrame(t.s, &t.camera);
    current->unlock();
    previous->unlock();
    ASSERT_TRUE(render::BlendFrames(*current, *previous));
    std::swap(current, previous);
  }
  render::frameBlendMode = 0;
  // Every kind and mode took part.
  for (int kind = 0; kind < render::KIND_COUNT; ++kind) EXPECT_GT(rendertest::FacesDrawn(kind), 0);
  EXPECT_GT(render::drawStats.flares, 0);

  std::vector<uint32_t> pixels(kWidth * kHeight);
  const auto* shown = static_cast<const uint32_t*>(previous->lock());
  pixels.assign(shown, shown + kWidth * kHeight);
  previous->unlock();
  const uint32_t hash = Fnv1a(pixels);
  char text[16];
  std::snprintf(text, sizeof text, "%08x", hash);
  if (std::getenv("VEK_RENEW_GOLDEN")) {
    std::ofstream(kGoldenFile) << text << "\n";
    std::printf("renewed %s: %s\n", kGoldenFile, text);
  }
  std::string expected;
  std::ifstream(kGoldenFile) >> expected;
  EXPECT_EQ(text, expected) << "frame hash 0x" << text << ", stored 0x" << expected
                            << "; frame written to render_frame_golden.png";
  if (expected != text)
    display::headless::write_png(VEK_BINARY_DIR "/render_frame_golden.png", pixels.data(), kWidth,
                                 kHeight);
}

}  // namespace
