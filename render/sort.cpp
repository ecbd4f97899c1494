#include "render/sort.h"

#include <utility>

#include "render/messages.h"

namespace render {
namespace {

// a before b: a.key - b.key rounds (ties to even) to 1 or more exactly when it exceeds 0.5, and a
// difference that is not a number exceeds nothing.
bool Before(const SortEntry& a, const SortEntry& b) { return a.key - b.key > 0.5f; }

void SiftDown(SortEntry* table, int root, int n) {
  for (;;) {
    int child = 2 * root + 1;
    if (child >= n) return;
    if (child + 1 < n && Before(table[child], table[child + 1])) ++child;
    if (!Before(table[root], table[child])) return;
    std::swap(table[root], table[child]);
    root = child;
  }
}

}  // namespace

void AllocFaceSortTable(scene::Scene* scene) {
  size_t faces = 0;
  for (const scene::WorldNode* node = scene->world; node; node = node->next) {
    if (node->type != scene::WORLD_OBJECT || !node->record) continue;
    const int32_t count = static_cast<const scene::Object*>(node->record)->face_count;
    if (count > 0) faces += static_cast<size_t>(count);
  }
  scene->sort_table =
      TrackedCalloc(sizeof(SortEntry), faces + kFlareSlots, "face_sort_table[]", __FILE__, __LINE__);
}

void FreeFaceSortTable(scene::Scene* scene) {
  TrackedFree(scene->sort_table, __FILE__, __LINE__);
  scene->sort_table = nullptr;
}

// Heap sort: in place, and safe with a comparison under which "equal" is not transitive (keys a
// and c may differ by 0.8 while both equal b), which general sorts built on partitioning are not.
void SortFaces(SortEntry* table, int n) {
  for (int i = n / 2 - 1; i >= 0; --i) SiftDown(table, i, n);
  for (int end = n - 1; end > 0; --end) {
    std::swap(table[0], table[end]);
    SiftDown(table, 0, end);
  }
}

}  // namespace render
