// Texture preparation of a scene, pass by pass, and the per-frame step of animated textures.
#include "render/textures.h"

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "render/lights.h"
#include "render/messages.h"
#include "render/settings.h"
#include "render/texture_images.h"
#include "scene/library.h"

namespace render {

const FrameOffset kFrameOffsets[kFramesPerSlot] = {
    {0, 0},   {64, 0},   {128, 0},   {192, 0},   {0, 64},  {64, 64},  {128, 64},  {192, 64},
    {0, 128}, {64, 128}, {128, 128}, {192, 128}, {0, 192}, {64, 192}, {128, 192}, {192, 192}};

namespace {

using display::Surface;
using scene::Material;
using SurfacePtr = std::unique_ptr<Surface>;

constexpr char kTextureDirectory[] = "Textures\\";
constexpr char kAnimatedDirectory[] = "Animated\\";
constexpr char kFakeTextureName[] = "$dully$";
constexpr char kFirstFrame[] = ".001";
constexpr uint32_t kDullColour = 0x00404040;
constexpr float kTextureScale = 255.0f;  // texture coordinates 0 ... 1 to texels of 256
constexpr float kAnimatedScale = 62.0f;  // to texels of one 64-texel frame, short of the next frame
constexpr float kIntensityScale = 255.0f;
constexpr float kShadeScale = 62.0f;  // brightest shade level that lighting produces
static_assert((kSlotBytes & (kSlotBytes - 1)) == 0, "slots align by masking");
static_assert(kFramesPerSlot * kFrameSize * kFrameSize == kTextureSize * kTextureSize,
              "16 frames tile one texture");

// Frames left before the animated textures step again.
int32_t countdown = 1;

const char* NameOf(const char* name) { return name ? name : ""; }

// A map's file name, or null when there is none.
const char* FileName(const scene::TextureMap& map) {
  return map.filename && map.filename[0] ? map.filename : nullptr;
}

std::vector<Material*> Materials(scene::Scene* scene) {
  std::vector<Material*> materials;
  for (scene::WorldNode* node = scene->world; node; node = node->next)
    if (node->type == scene::WORLD_MATERIAL && node->record)
      materials.push_back(static_cast<Material*>(node->record));
  return materials;
}

std::vector<scene::Object*> Objects(scene::Scene* scene) {
  std::vector<scene::Object*> objects;
  for (scene::WorldNode* node = scene->world; node; node = node->next)
    if (node->type == scene::WORLD_OBJECT && node->record)
      objects.push_back(static_cast<scene::Object*>(node->record));
  return objects;
}

int32_t SlotsForFrames(int32_t frames) { return (frames + kFramesPerSlot - 1) / kFramesPerSlot; }

SurfacePtr Load(const std::string& path) {
  auto surface = std::make_unique<Surface>(nullptr, path.c_str());
  return surface->ok() ? std::move(surface) : nullptr;
}

bool HasSize(const Surface& surface, int32_t width, int32_t height) {
  return surface.width() == width && surface.height() == height;
}

// A uniform dark texture standing in for a missing file.
SurfacePtr DullTexture() {
  auto surface =
      std::make_unique<Surface>(kTextureSize, kTextureSize, display::Format(display::ARGB8888));
  LockedPixels pixels(*surface);
  if (!pixels.ok()) return nullptr;
  for (int32_t y = 0; y < kTextureSize; ++y)
    for (int32_t x = 0; x < kTextureSize; ++x) pixels.row<uint32_t>(y)[x] = kDullColour;
  return surface;
}

// The same for shaded textures: every index 0, which the palette maps to the dull colour.
SurfacePtr DullIndexedTexture() {
  auto surface =
      std::make_unique<Surface>(kTextureSize, kTextureSize, display::Format(display::INDEX8));
  auto palette = std::make_shared<display::Palette>();
  uint32_t* entries = palette->lock();
  for (int32_t i = 0; i < display::Palette::kEntries; ++i) entries[i] = kDullColour;
  palette->unlock();
  if (!surface->palette(std::move(palette))) return nullptr;
  return surface;
}

// ---- Material modes -----------------------------------------------------------------------------

int32_t PackWeight(int32_t weight) { return weight + 65536 * weight; }

void SetTransparencyMode(Material& m) {
  m.weights[0] = m.weights[1] = 0;
  if (!transparencyEnabled || m.transparency == 0.0f) {
    m.transparency_mode = TRANSPARENCY_OPAQUE;
  } else if (FileName(m.reflection_map)) {
    m.transparency_mode = TRANSPARENCY_MAP;
  } else if (m.transparency == 0.5f) {
    m.transparency_mode = TRANSPARENCY_HALF;
  } else {
    const uint8_t a = static_cast<uint8_t>(std::lround(m.transparency * 255.0f));
    m.transparency_mode = TRANSPARENCY_WEIGHTED;
    m.weights[0] = PackWeight(255 - a);
    m.weights[1] = PackWeight(a);
  }
}

// Animated texture names start with the frame count in two digits and name the first frame
// ("12fire.001").
bool AnimatedFrameCount(const char* name, int32_t& frames) {
  if (!animatedTexturesEnabled || !name) return false;
  const auto digit = [](char c) { return c >= '0' && c <= '9'; };
  if (!digit(name[0]) || !digit(name[1]) || !std::strstr(name, kFirstFrame)) return false;
  frames = 10 * (name[0] - '0') + (name[1] - '0');
  return true;
}

// Decides every material's animation and transparency modes and counts the slots they need.
int32_t SetMaterialModes(scene::Scene* scene, int32_t& slots) {
  slots = 0;
  for (Material* m : Materials(scene)) {
    scene::TextureMap& t = m->texture_map;
    const char* name = FileName(t);
    int32_t frames = 0;
    t.animated = 0;
    if (AnimatedFrameCount(name, frames)) {
      if (frames <= 0) {
        Note("\n Error! bad number of frames (%d) in animated texture '%s' from material %s!",
             frames, name, NameOf(m->name));
        return 0;
      }
      t.animated = 1;
      t.last_frame = frames - 1;
      t.current_frame = 0;
      t.frame_u_offset = t.frame_v_offset = 0.0f;
      slots += SlotsForFrames(frames);
    } else if (m->shading != scene::SHADING_METAL) {
      ++slots;
    }
    SetTransparencyMode(*m);
  }
  return 1;
}

// ---- Background picture and flare sprite --------------------------------------------------------

int32_t LoadBackground() {
  const char* file = backgroundPicture;
  const int32_t border = screenWidth == 320 ? 10 : 20;
  const int32_t width = screenWidth - 2 * border, height = screenHeight - 2 * border;
  if (width < 1 || height < 1) {
    Note("\n Couldn't resize background picture '%s' to proper size!", file);
    return 0;
  }
  BackgroundPicPtr = static_cast<uint32_t*>(
      TrackedCalloc(static_cast<size_t>(screenWidth) * static_cast<size_t>(screenHeight), 4,
                    "allokacja BackgroundPicPtr", __FILE__, __LINE__));
  if (!BackgroundPicPtr) return 0;
  SurfacePtr image = Load(file);
  if (!image) {
    Note("\n Error! couldn't load background picture file '%s'!", file);
    return 0;
  }
  if (!image->convert(display::Format(display::ARGB8888))) {
    Note("\n Couldn't convert file '%s' to ARGB8888 format!", file);
    return 0;
  }
  image = ResizeImage(std::move(image), width, height);
  if (!image) {
    Note("\n Couldn't resize background picture '%s' to proper size!", file);
    return 0;
  }
  LockedPixels pixels(*image);
  if (!pixels.ok()) return 0;
  for (int32_t y = 0; y < height; ++y)
    std::memcpy(BackgroundPicPtr + static_cast<size_t>(y + border) * screenWidth + border,
                pixels.row<uint32_t>(y), static_cast<size_t>(width) * 4);
  return 1;
}

int32_t LoadFlareSprite(scene::Scene* scene, uint8_t* slot) {
  const std::string path = "Flares\\lens" + std::to_string(flares) + ".tga";
  SurfacePtr image = Load(path);
  if (!image) {
    Log("\nCouldn't load flare-texture file: '%s'!", path.c_str());
    return 0;
  }
  if (!image->convert(display::Format(display::ARGB8888))) {
    Log("\n Couldn't convert texture '%s' to ARGB format!", path.c_str());
    return 0;
  }
  const int32_t width = image->width(), height = image->height();
  if (int64_t{width} * height * 4 > kSlotBytes) {
    Log("\nFlare-texture file '%s' is too large (%dx%d, at most 65536 pixels)!", path.c_str(),
        width, height);
    return 0;
  }
  Note("\nLoading flare-texture file '%s', size: %dx%d...ok!", path.c_str(), width, height);
  LockedPixels pixels(*image);
  if (!pixels.ok()) {
    Log("\n can't lock surface!");
    return 0;
  }
  uint32_t* sprite = reinterpret_cast<uint32_t*>(slot);
  for (int32_t y = 0; y < height; ++y)
    for (int32_t x = 0; x < width; ++x) *sprite++ = pixels.row<uint32_t>(y)[x] & 0x00FFFFFF;
  flareSprite = reinterpret_cast<const uint32_t*>(slot);
  for (scene::WorldNode* node = scene->world; node; node = node->next) {
    if (node->type != scene::WORLD_LIGHT || !node->record) continue;
    auto* light = static_cast<scene::Light*>(node->record);
    light->flare_width = width;
    light->flare_height = height;
    light->flare_margin_x = static_cast<float>(width);
    light->flare_margin_y = static_cast<float>(height);
  }
  return 1;
}

// ---- Shading conversions ------------------------------------------------------------------------

// Two-sided materials of `from` shading take `to` shading and become one-sided.
void ConvertTwoSided(scene::Scene* scene, uint32_t from, uint32_t to) {
  for (Material* m : Materials(scene)) {
    if (m->shading != from || !(m->flags & scene::MATERIAL_TWOSIDED)) continue;
    m->shading = to;
    m->flags &= ~scene::MATERIAL_TWOSIDED;
    Note(" %s", NameOf(m->name));
  }
}

void ApplyConstantGouraud(scene::Scene* scene) {
  Note("\nApplying constant gouraud to objects mapping: ");
  for (scene::Object* object : Objects(scene)) {
    for (int32_t f = 0; f < object->face_count; ++f) {
      if (f % 100 == 0) Note(".");
      const scene::Face& face = object->faces[f];
      const Material* m = face.pmaterial;
      if (!m || m->shading != SHADING_CONSTANT_GOURAUD) continue;
      const float scale = FileName(m->texture_map) ? kShadeScale : kIntensityScale;
      for (scene::Vertex* vertex : {face.pa, face.pb, face.pc})
        if (vertex) vertex->intensity = VertexAttenuation(*vertex) * scale;
    }
  }
}

void ConvertShadings(scene::Scene* scene) {
  if (maxCompat) {
    Note("\n3dsmax compat. shading conversion ('phong+2-sided'->'gouraud') done in:");
    ConvertTwoSided(scene, scene::SHADING_PHONG, scene::SHADING_GOURAUD);
  }
  if (constantGouraud) {
    Note("\nApplying vertex lighting(conv. 'constant+2-sided'->'constant gouraud') done in:");
    ConvertTwoSided(scene, scene::SHADING_FLAT, SHADING_CONSTANT_GOURAUD);
    ApplyConstantGouraud(scene);
  }
}

// ---- Textures -----------------------------------------------------------------------------------

int32_t LoadAnimatedTexture(Material& m, const char* name, SurfacePtr map,
                            const std::string& map_path, uint8_t*& next) {
  const std::string path = kAnimatedDirectory + std::string(name);
  if (map && !HasSize(*map, kFrameSize, kFrameSize)) {
    if (!autoResize) {
      Log("\nBad size(not 64x64) of transparency map file '%s' from material '%s'!",
          map_path.c_str(), NameOf(m.name));
      return 0;
    }
    Note("\nAutoresizing transparency map '%s' for animated textures from %dx%d to 64x64...",
         map_path.c_str(), map->width(), map->height());
    map = ResizeIndexedImage(std::move(map), kFrameSize, kFrameSize);
    if (!map) {
      Log("\nCouldn't resize transparency map '%s'!", map_path.c_str());
      return 0;
    }
  }
  const int32_t frames = m.texture_map.last_frame + 1;
  if (!LoadAnimatedFrames(path.c_str(), frames, next, map.get())) {
    Log("\n Can't load animated textures from material %s!", NameOf(m.name));
    return 0;
  }
  scene::TextureMap& t = m.texture_map;
  t.texture = t.first_slot = next;
  t.texture_width = t.texture_height = kTextureSize;
  t.texture_bits = 32;
  next += static_cast<size_t>(SlotsForFrames(frames)) * kSlotBytes;
  return 1;
}

// Records the image just written into the next slot as the material's texture.
int32_t Stored(Material& m, const Surface& image, int32_t bits, const std::string& path,
               uint8_t*& next) {
  scene::TextureMap& t = m.texture_map;
  t.texture = next;
  t.texture_width = image.width();
  t.texture_height = image.height();
  t.texture_bits = bits;
  Note("\nLoading texture file '%s'(%s), size: %dx%d...ok!", path.c_str(), NameOf(m.name),
       image.width(), image.height());
  next += kSlotBytes;
  return 1;
}

// A 32-bit texture of flat and phong materials, with its transparency map in the top bytes.
int32_t LoadTexture(Material& m, const char* name, SurfacePtr map, const std::string& map_path,
                    uint8_t*& next) {
  const std::string path = kTextureDirectory + std::string(name);
  const char* material = NameOf(m.name);
  SurfacePtr image = Load(path);
  if (!image) {
    if (!fakeTextures) {
      Log("\nCouldn't load texture file: '%s' from material %s!", path.c_str(), material);
      return 0;
    }
    Note("\n*Couldn't locate file '%s'! Applying dull texture!", path.c_str());
    image = DullTexture();
    if (!image) {
      Log("\nFatal: couldn't create surface!");
      return 0;
    }
  }
  if (!image->convert(display::Format(display::ARGB8888))) {
    Log("\n Couldn't convert texture '%s' to ARGB format!", path.c_str());
    return 0;
  }
  if (!HasSize(*image, kTextureSize, kTextureSize)) {
    if (!autoResize) {
      Log("\nFile '%s' in %s: bad texture size(should be 256x256)!", path.c_str(), material);
      return 0;
    }
    Note("\nAutoresizing texture '%s'(%s) from %dx%d to 256x256...", path.c_str(), material,
         image->width(), image->height());
    image = ResizeImage(std::move(image), kTextureSize, kTextureSize);
    if (!image) {
      Log("\nCouldn't resize texture %s!", path.c_str());
      return 0;
    }
  }
  if (map) {
    if (!HasSize(*map, image->width(), image->height())) {
      if (!autoResize) {
        Log("\nBad size(not 256x256) of transparency map file '%s' from material '%s'!",
            map_path.c_str(), material);
        return 0;
      }
      Note("\nAutoresizing transparency map '%s'(%s) from %dx%d to %dx%d...", map_path.c_str(),
           material, map->width(), map->height(), image->width(), image->height());
      map = ResizeIndexedImage(std::move(map), image->width(), image->height());
      if (!map) {
        Log("\nCouldn't resize transparency map file %s!", map_path.c_str());
        return 0;
      }
    }
    SetTopBytes(*image, *map);
  }
  if (!TileCopy(*image, next)) {
    Log("\n can't lock surface!");
    return 0;
  }
  return Stored(m, *image, 32, path, next);
}

int32_t LoadFlatOrPhong(Material& m, uint8_t*& next) {
  const char* material = NameOf(m.name);
  const char* name = FileName(m.texture_map);
  if (!name) {
    Note("\n*No texture filename for flat/phong shading in material %s!", material);
    if (!fakeTextures) return 0;
    Note("\n*Applying fake-texture name to material '%s'!", material);
    char* fake = scene::kf_copy_name(kFakeTextureName);
    if (!fake) {
      Log("\n memory callocation error: %s, file: %s, line: %d", "fake texture name", __FILE__,
          __LINE__);
      return 0;
    }
    std::free(m.texture_map.filename);
    name = m.texture_map.filename = fake;
  }
  SurfacePtr map;
  std::string map_path;
  if (m.transparency_mode == TRANSPARENCY_MAP) {
    map_path = kTextureDirectory + std::string(FileName(m.reflection_map));
    map = Load(map_path);
    if (!map) {
      Log("\nCouldn't load transparency map file: '%s'(%s)!", map_path.c_str(), material);
      return 0;
    }
    if (!IsIndexed(*map)) {
      Log("\nTransparency map '%s' should have only max. 256 colors!", map_path.c_str());
      return 0;
    }
    Note("\nLoading transparency map file '%s'(%s), size: %dx%d...ok!", map_path.c_str(), material,
         map->width(), map->height());
  }
  if (m.texture_map.animated) return LoadAnimatedTexture(m, name, std::move(map), map_path, next);
  return LoadTexture(m, name, std::move(map), map_path, next);
}

// An 8-bit texture with its shade table, for gouraud materials.
int32_t LoadShadedTexture(Material& m, const char* name, uint8_t*& next) {
  const std::string path = kTextureDirectory + std::string(name);
  const char* material = NameOf(m.name);
  SurfacePtr image = Load(path);
  if (!image) {
    if (!fakeTextures) {
      Note("\nCouldn't load texture file: '%s'(%s)!", path.c_str(), material);
      return 0;
    }
    Note("\n*Couldn't locate file '%s'! Applying dull texture!", path.c_str());
    image = DullIndexedTexture();
    if (!image) {
      Note("\nFatal: couldn't create surface!");
      return 0;
    }
  }
  if (!IsIndexed(*image)) {
    Log("\nTexture '%s' in gouraud material %s should have only 256 colors!", path.c_str(),
        material);
    return 0;
  }
  if (!HasSize(*image, kTextureSize, kTextureSize)) {
    if (!autoResize) {
      Log("\nFile '%s' in %s: bad texture size(should be 256x256)!", path.c_str(), material);
      return 0;
    }
    Note("\nAutoresizing gouraud texture map '%s'(%s) from %dx%d to 256x256...", path.c_str(),
         material, image->width(), image->height());
    image = ResizeIndexedImage(std::move(image), kTextureSize, kTextureSize);
    if (!image) {
      Log("\nCouldn't resize texture %s!", path.c_str());
      return 0;
    }
  }
  if (!WriteShadedTexture(*image, next)) {
    Log("\nCan't get palette from '%s' in %s!", path.c_str(), material);
    return 0;
  }
  return Stored(m, *image, 8, path, next);
}

int32_t LoadMaterialTexture(Material& m, uint8_t*& next) {
  const char* name = FileName(m.texture_map);
  // Only flat and phong materials hold animation frames; the others draw a single texture or none.
  if (m.shading != scene::SHADING_FLAT && m.shading != scene::SHADING_PHONG)
    m.texture_map.animated = 0;
  switch (m.shading) {
    case scene::SHADING_FLAT:
    case scene::SHADING_PHONG:
      return LoadFlatOrPhong(m, next);
    case scene::SHADING_GOURAUD:
    case SHADING_CONSTANT_GOURAUD:
      if (name) return LoadShadedTexture(m, name, next);
      Note("\nMaterial %s with constant/gouraud shading has no texture...", NameOf(m.name));
      m.texture_map.texture = nullptr;
      return 1;
    case scene::SHADING_METAL:
      if (name) Note("\nMaterial %s with environment mapping needs no texture...", NameOf(m.name));
      m.texture_map.texture = nullptr;
      return 1;
    default:
      Note("\n*Error! Unknown material shading(code: %d)!", static_cast<int>(m.shading));
      if (maxCompat) Note("\n*3ds max users: objects/materials' names are probably duplicated!");
      return 0;
  }
}

// ---- Texture coordinates and the animated-texture table
// ------------------------------------------

// The texture coordinates as the scene held them before they were converted, so that releasing
// the textures can put them back and a second preparation starts from them, not from texels. They
// lie behind the slots in the texture buffer, at the byte offset the scene's render_reserved word
// holds (0: none saved): per object a record, then its vertices' u and v; a null object ends them.
struct SavedCoordinates {
  const scene::Object* object;
  int64_t count;
};

size_t SavedCoordinatesBytes(scene::Scene* scene) {
  size_t bytes = sizeof(SavedCoordinates);
  for (scene::Object* object : Objects(scene))
    bytes += sizeof(SavedCoordinates) + sizeof(float) * 2 * static_cast<size_t>(object->vertex_count);
  return bytes;
}

void SaveCoordinates(scene::Scene* scene, size_t offset) {
  uint8_t* at = static_cast<uint8_t*>(scene->texture_buffer) + offset;
  for (scene::Object* object : Objects(scene)) {
    const SavedCoordinates record{object, object->vertex_count};
    std::memcpy(at, &record, sizeof record);
    at += sizeof record;
    for (int32_t i = 0; i < object->vertex_count; ++i, at += 2 * sizeof(float)) {
      std::memcpy(at, &object->vertices[i].u, sizeof(float));
      std::memcpy(at + sizeof(float), &object->vertices[i].v, sizeof(float));
    }
  }
  scene->render_reserved = static_cast<uint32_t>(offset);
}

// Objects are matched in world order; one the world no longer holds at its place is left alone.
void RestoreCoordinates(scene::Scene* scene) {
  if (!scene->texture_buffer || scene->render_reserved == 0) return;
  const uint8_t* at = static_cast<const uint8_t*>(scene->texture_buffer) + scene->render_reserved;
  scene->render_reserved = 0;
  for (scene::Object* object : Objects(scene)) {
    SavedCoordinates record;
    std::memcpy(&record, at, sizeof record);
    if (record.object != object || record.count != object->vertex_count) return;
    at += sizeof record;
    for (int32_t i = 0; i < object->vertex_count; ++i, at += 2 * sizeof(float)) {
      std::memcpy(&object->vertices[i].u, at, sizeof(float));
      std::memcpy(&object->vertices[i].v, at + sizeof(float), sizeof(float));
    }
  }
}

void ConvertTextureCoordinates(scene::Scene* scene) {
  if (maxCompat) Note("\n3dsmax compat. uv-texture-map conversion done in:");
  for (scene::Object* object : Objects(scene)) {
    const Material* first = object->face_count > 0 ? object->faces[0].pmaterial : nullptr;
    const float scale = animatedTexturesEnabled && first && first->texture_map.animated
                            ? kAnimatedScale
                            : kTextureScale;
    for (int32_t i = 0; i < object->vertex_count; ++i) {
      scene::Vertex& v = object->vertices[i];
      // Negative coordinates are mirrored rather than wrapped.
      v.u = std::fabs(v.u) * scale;
      v.v = std::fabs(v.v) * scale;
      if (maxCompat) v.v = scale - v.v;
    }
    if (maxCompat) Note(" %s", NameOf(object->name));
  }
}

int32_t BuildAnimatedTable(scene::Scene* scene) {
  if (!animatedTexturesEnabled) return 1;
  std::vector<Material*> animated;
  for (Material* m : Materials(scene))
    if (m->texture_map.animated && m->texture_map.first_slot) animated.push_back(m);
  if (animated.empty()) return 1;
  auto** table = static_cast<Material**>(TrackedCalloc(sizeof(Material*), animated.size(),
                                                       "table for handling animated textures",
                                                       __FILE__, __LINE__));
  if (!table) return 0;
  std::memcpy(table, animated.data(), animated.size() * sizeof(Material*));
  scene->animated_textures = table;
  scene->animated_count = static_cast<int32_t>(animated.size());
  return 1;
}

uint8_t* FirstSlot(void* buffer) {
  const uintptr_t at = reinterpret_cast<uintptr_t>(buffer);
  return static_cast<uint8_t*>(buffer) + ((kSlotBytes - at % kSlotBytes) % kSlotBytes);
}

int32_t PrepareScene(scene::Scene* scene) {
  if (backgroundPicture && backgroundPicture[0] && !LoadBackground()) return 0;
  int32_t slots = 0;
  if (!SetMaterialModes(scene, slots)) return 0;
  // flareGlow alone names no sprite file, so only flares loads one.
  const int32_t flare_slots = flares ? 1 : 0;
  if (slots == 0) {
    Log("\nNo materials textures defined in scene!");
    if (!flare_slots) return 1;
  }
  // The slots, room to align them, and behind them the texture coordinates as they are now.
  const size_t saved_offset = (static_cast<size_t>(slots) + flare_slots + 4) * kSlotBytes;
  const size_t saved_slots = (SavedCoordinatesBytes(scene) + kSlotBytes - 1) / kSlotBytes;
  if (saved_offset > UINT32_MAX) {
    Log("\n memory callocation error: %s, file: %s, line: %d", "bigbuffer for textures", __FILE__,
        __LINE__);
    return 0;
  }
  scene->texture_buffer = TrackedCalloc(kSlotBytes, saved_offset / kSlotBytes + saved_slots,
                                        "bigbuffer for textures", __FILE__, __LINE__);
  if (!scene->texture_buffer) return 0;
  uint8_t* next = FirstSlot(scene->texture_buffer);
  if (flare_slots) {
    if (!LoadFlareSprite(scene, next)) return 0;
    next += kSlotBytes;
  }
  ConvertShadings(scene);
  for (Material* m : Materials(scene))
    if (!LoadMaterialTexture(*m, next)) return 0;
  SaveCoordinates(scene, saved_offset);
  ConvertTextureCoordinates(scene);
  return BuildAnimatedTable(scene);
}

}  // namespace

int32_t LoadSceneTextures(scene::Scene* scene) {
  FreeSceneTextures(scene);
  countdown = 1;
  if (PrepareScene(scene)) return 1;
  FreeSceneTextures(scene);
  return 0;
}

int32_t LoadAnimatedFrames(const char* path, int32_t frames, uint8_t* slot, Surface* map) {
  Surface work(kTextureSize, kTextureSize, display::Format(display::ARGB8888));
  if (!work.ok()) {
    Log("\n can't allocate surface!");
    return 0;
  }
  std::string name = path;
  const size_t first = name.find(kFirstFrame);
  if (first == std::string::npos || frames < 1 || frames > 99) {
    Log("\nCouldn't load texture file: '%s'!", path);
    return 0;
  }
  if (map && (!IsIndexed(*map) || !HasSize(*map, kFrameSize, kFrameSize))) {
    Log("\nTransparency map of '%s' should be 64x64 with max. 256 colors!", path);
    return 0;
  }
  Note("\nLoading frames of animated texture file '%s':", path);
  for (int32_t n = 1; n <= frames; ++n) {
    name[first + 2] = static_cast<char>('0' + n / 10);
    name[first + 3] = static_cast<char>('0' + n % 10);
    SurfacePtr image = Load(name);
    if (!image) {
      Log("\nCouldn't load texture file: '%s'!", name.c_str());
      return 0;
    }
    if (!image->convert(display::Format(display::ARGB8888))) {
      Log("\n Couldn't convert texture '%s' to ARGB format!", name.c_str());
      return 0;
    }
    if (!HasSize(*image, kFrameSize, kFrameSize)) {
      if (!autoResize) {
        Log("\nFile '%s': bad animated texture size(should be 64x64)!", name.c_str());
        return 0;
      }
      Note("\nAutoresizing animated frame '%s' from %dx%d to 64x64...", name.c_str(),
           image->width(), image->height());
      image = ResizeImage(std::move(image), kFrameSize, kFrameSize);
      if (!image) {
        Log("\nCouldn't resize texture %s!", name.c_str());
        return 0;
      }
    }
    if (map) SetTopBytes(*image, *map);
    Note(" %d", n);
    const FrameOffset& at = kFrameOffsets[(n - 1) % kFramesPerSlot];
    const display::Rect to{static_cast<int32_t>(at.u), static_cast<int32_t>(at.v),
                           static_cast<int32_t>(at.u) + kFrameSize,
                           static_cast<int32_t>(at.v) + kFrameSize};
    if (!image->copy(work, display::Rect{0, 0, kFrameSize, kFrameSize}, to)) {
      Log("\n can't lock surface!");
      return 0;
    }
    if (n % kFramesPerSlot == 0 || n == frames) {
      TileCopy(work, slot);
      slot += kSlotBytes;
    }
  }
  return 1;
}

void AdvanceAnimatedTextures(scene::Scene* scene) {
  if (--countdown > 0) return;
  countdown = animationDelay;
  auto* const* table = static_cast<Material* const*>(scene->animated_textures);
  for (int32_t i = 0; table && i < scene->animated_count; ++i) {
    scene::TextureMap& t = table[i]->texture_map;
    t.current_frame = t.current_frame >= t.last_frame ? 0 : t.current_frame + 1;
    t.texture = static_cast<uint8_t*>(t.first_slot) +
                static_cast<size_t>(t.current_frame / kFramesPerSlot) * kSlotBytes;
    t.frame_u_offset = kFrameOffsets[t.current_frame % kFramesPerSlot].u;
    t.frame_v_offset = kFrameOffsets[t.current_frame % kFramesPerSlot].v;
  }
}

void FreeSceneTextures(scene::Scene* scene) {
  TrackedFree(BackgroundPicPtr, __FILE__, __LINE__);
  BackgroundPicPtr = nullptr;
  flareSprite = nullptr;
  if (!scene) return;
  RestoreCoordinates(scene);
  TrackedFree(scene->texture_buffer, __FILE__, __LINE__);
  TrackedFree(scene->animated_textures, __FILE__, __LINE__);
  scene->texture_buffer = nullptr;
  scene->animated_textures = nullptr;
  scene->animated_count = 0;
  for (Material* m : Materials(scene)) m->texture_map.texture = m->texture_map.first_slot = nullptr;
}

float VertexAttenuation(const scene::Vertex& vertex) {
  float sum = 0.0f;
  int32_t counted = 0;
  for (int32_t i = 0; i < lightCount; ++i) {
    const scene::Light& light = *lightTable[i];
    const float d = scene::vec_distance(&light.position, &vertex.pvert);
    const float inner = light.range_a, outer = light.range_b;
    if (d < inner) {
      sum += 1.0f;
      ++counted;
    } else if (d <= outer && outer - inner > 0.0f) {
      sum += 1.0f - (d - inner) / (outer - inner);
      ++counted;
    }
  }
  return counted ? sum / static_cast<float>(counted) : 0.0f;
}

}  // namespace render
