// The public row operations: the fastest set this build has, chosen once.
#include "effects/effects.h"
#include "effects/variants.h"

namespace effects {
namespace {

#if defined(VEK_EFFECTS_HAVE_SSE2) && !defined(VEK_EFFECTS_SCALAR)
const RowOperations& rows = kSse2Rows;
#else
const RowOperations& rows = kScalarRows;
#endif

}  // namespace

void blend_average(const uint32_t* source, uint32_t* destination, int n) {
  rows.blend_average(source, destination, n);
}
void fade_sub_level(int level, int n, const uint32_t* source, uint32_t* destination) {
  rows.fade_sub_level(level, n, source, destination);
}
void fade_sub_15(int n, uint32_t* row) { rows.fade_sub_15(n, row); }
void blit_keyed(int n, const uint32_t* source, uint32_t* destination) {
  rows.blit_keyed(n, source, destination);
}
void crossfade_keyed(const uint32_t* picture, uint32_t* destination, const uint32_t* background,
                     int n, const int32_t* background_weight, const int32_t* picture_weight) {
  rows.crossfade_keyed(picture, destination, background, n, background_weight, picture_weight);
}

const std::vector<const RowOperations*>& row_operation_sets() {
  static const RowOperations public_rows = {"public",    blend_average, fade_sub_level,
                                            fade_sub_15, blit_keyed,    crossfade_keyed};
  static const std::vector<const RowOperations*> sets = {
      &public_rows,
      &kScalarRows,
#ifdef VEK_EFFECTS_HAVE_SSE2
      &kSse2Rows,
#endif
  };
  return sets;
}

}  // namespace effects
