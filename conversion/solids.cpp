// Cylinders, spheres and cones; each keeps its own order of the last steps.
#include "conversion/feature.h"
#include "conversion/host_ids.h"

namespace traskel {

void BuildCylinder(Run& run) {
  StorePosition(run, field::kX, field::kY, field::kZ, ids::slot::kPosition);
  StoreVector(run, field::kI, field::kJ, field::kK, ids::slot::kVector);
  StoreValue(run, field::kSize1, ids::slot::kFirstSize);
  StoreValue(run, field::kSize2, ids::slot::kCylinderSecondSize);
  MarkInner(run);
  StoreHalfSize(run);
  StoreSize(run);
}

void BuildSphere(Run& run) {
  StorePosition(run, field::kX, field::kY, field::kZ, ids::slot::kPosition);
  StoreVector(run, field::kI, field::kJ, field::kK, ids::slot::kVector);
  StoreValue(run, field::kSize1, ids::slot::kFirstSize);
  MarkInner(run);
  StoreSize(run);
}

void BuildCone(Run& run) {
  StorePosition(run, field::kX, field::kY, field::kZ, ids::slot::kPosition);
  StoreVector(run, field::kI, field::kJ, field::kK, ids::slot::kVector);
  StoreValue(run, field::kSize1, ids::slot::kFirstSize);
  StoreSize(run);
  MarkInner(run);
}

}  // namespace traskel
