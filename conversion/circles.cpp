// Circles and ellipses.
#include "conversion/feature.h"
#include "conversion/host_ids.h"

namespace traskel {

void BuildCircle(Run& run) {
  StorePosition(run, field::kX, field::kY, field::kZ, ids::slot::kPosition);
  StoreVector(run, field::kI, field::kJ, field::kK, ids::slot::kVector);
  StoreValue(run, field::kSize1, ids::slot::kFirstSize);
  MarkInner(run);
  StoreHalfSize(run);
  StoreSize(run);
}

void BuildEllipse(Run& run) {
  StorePosition(run, field::kX, field::kY, field::kZ, ids::slot::kPosition);
  StoreVector(run, field::kI, field::kJ, field::kK, ids::slot::kVector);
  StoreVector(run, field::kI2, field::kJ2, field::kK2, ids::slot::kSecondVector);
  StoreValue(run, field::kSize1, ids::slot::kEllipseFirstSize);
  StoreValue(run, field::kSize2, ids::slot::kEllipseSecondSize);
  MarkInner(run);
  StoreHalfSize(run);
  StoreSize(run);
}

}  // namespace traskel
