// Circles and ellipses.
#include "conversion/feature.h"

namespace traskel {

void BuildCircle(Run& run) {
  StorePosition(run, field::kX, field::kY, field::kZ, 0);
  StoreVector(run, field::kI, field::kJ, field::kK, 1);
  StoreValue(run, field::kSize1, 6);
  MarkInner(run);
  StoreHalfSize(run);
  StoreSize(run);
}

void BuildEllipse(Run& run) {
  StorePosition(run, field::kX, field::kY, field::kZ, 0);
  StoreVector(run, field::kI, field::kJ, field::kK, 1);
  StoreVector(run, field::kI2, field::kJ2, field::kK2, 2002);
  StoreValue(run, field::kSize1, 2001);
  StoreValue(run, field::kSize2, 15);
  MarkInner(run);
  StoreHalfSize(run);
  StoreSize(run);
}

}  // namespace traskel
