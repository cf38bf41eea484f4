// "PT" and "BPT" points.
#include "conversion/feature.h"
#include "conversion/host_ids.h"

namespace traskel {

using namespace host;

void BuildPoint(Run& run) {
  StorePosition(run, field::kX, field::kY, field::kZ, 0);
  StoreVector(run, field::kI, field::kJ, field::kK, 1);
  StoreSize(run);
}

void BuildEdgePoint(Run& run) {
  StorePosition(run, field::kX, field::kY, field::kZ, 0);
  StoreVector(run, field::kI, field::kJ, field::kK, 1);
  StoreVector(run, field::kI2, field::kJ2, field::kK2, 19);
  // The host's settings for an edge point, over the defaults.
  run.FeatureData.Put(18, I2(1));
  run.FeatureData.Put(4, I2(1));
  run.FeatureData.Put(5, I2(3));
  run.FeatureData.Put(7, I2(3));
  StoreSize(run);
}

}  // namespace traskel
