// "PT" and "BPT" points.
#include "conversion/feature.h"
#include "conversion/host_ids.h"

namespace traskel {

using namespace host;

void BuildPoint(Run& run) {
  StorePosition(run, field::kX, field::kY, field::kZ, ids::slot::kPosition);
  StoreVector(run, field::kI, field::kJ, field::kK, ids::slot::kVector);
  StoreSize(run);
}

void BuildEdgePoint(Run& run) {
  StorePosition(run, field::kX, field::kY, field::kZ, ids::slot::kPosition);
  StoreVector(run, field::kI, field::kJ, field::kK, ids::slot::kVector);
  StoreVector(run, field::kI2, field::kJ2, field::kK2, ids::slot::kEdgePointVector);
  // The host's settings for an edge point, over the defaults.
  run.FeatureData.Put(ids::feature_data::kSetting18, I2(1));
  run.FeatureData.Put(ids::feature_data::kSetting4, I2(1));
  run.FeatureData.Put(ids::feature_data::kSetting5, I2(3));
  run.FeatureData.Put(ids::feature_data::kSetting7, I2(3));
  StoreSize(run);
}

}  // namespace traskel
