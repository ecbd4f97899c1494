// The face sort table: one entry per drawable item of a frame (visible front faces and light
// flares), sorted far to near for the painter's algorithm.
#pragma once

#include <cstdint>

#include "scene/records.h"

namespace render {

struct SortEntry {
  float key;   // larger is farther
  void* item;  // a scene::Face, or one of the frame renderer's flare markers
};

// Room for one entry per face of every object node (hidden ones included) plus one per light slot.
constexpr int kFlareSlots = 32;

// Allocates the table zero-filled into scene->sort_table. On failure the pointer is null and the
// tracked allocator has logged the message; the scene must then not be drawn.
void AllocFaceSortTable(scene::Scene* scene);
// Frees the table (null-safe) and clears the pointer.
void FreeFaceSortTable(scene::Scene* scene);

// Sorts the first n entries largest key first, comparing by a.key - b.key rounded to the nearest
// integer (ties to even): keys closer than 0.5, or not numbers, compare equal and may come in
// either order. Not stable.
void SortFaces(SortEntry* table, int n);

}  // namespace render
