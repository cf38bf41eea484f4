// Cylinders, spheres and cones; each keeps its own order of the last steps.
#include "conversion/feature.h"

namespace traskel {

void BuildCylinder(Run& run) {
  StorePosition(run, field::kX, field::kY, field::kZ, 0);
  StoreVector(run, field::kI, field::kJ, field::kK, 1);
  StoreValue(run, field::kSize1, 6);
  StoreValue(run, field::kSize2, 40);
  MarkInner(run);
  StoreHalfSize(run);
  StoreSize(run);
}

void BuildSphere(Run& run) {
  StorePosition(run, field::kX, field::kY, field::kZ, 0);
  StoreVector(run, field::kI, field::kJ, field::kK, 1);
  StoreValue(run, field::kSize1, 6);
  MarkInner(run);
  StoreSize(run);
}

void BuildCone(Run& run) {
  StorePosition(run, field::kX, field::kY, field::kZ, 0);
  StoreVector(run, field::kI, field::kJ, field::kK, 1);
  StoreValue(run, field::kSize1, 6);
  StoreSize(run);
  MarkInner(run);
}

}  // namespace traskel
