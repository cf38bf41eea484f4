// Round slots and other slots.
#include "conversion/feature.h"
#include "conversion/host_ids.h"

namespace traskel {

using namespace host;

namespace {

void StoreSlotGeometry(Run& run) {
  StorePosition(run, field::kX, field::kY, field::kZ, ids::slot::kPosition);
  StoreVector(run, field::kI, field::kJ, field::kK, ids::slot::kVector);
  StoreVector(run, field::kI2, field::kJ2, field::kK2, ids::slot::kSecondVector);
  StoreValue(run, field::kSize1, ids::slot::kFirstSize);
  StoreValue(run, field::kSize2, ids::slot::kSlotSecondSize);
  MarkInner(run);
  StoreHalfSize(run);
}

// An empty option field means the host's setting 2.
void StoreSlotOption(Run& run) {
  if (ReadField(run, field::kSlotOption).empty()) {
    run.FeatureData.Put(ids::feature_data::kSlotOption, I2(2));
  } else {
    run.FeatureData.Put(ids::feature_data::kSlotOption, R8(FieldAsDouble(run, field::kSlotOption)));
  }
}

}  // namespace

void BuildRoundSlot(Run& run) {
  StoreSlotGeometry(run);
  StoreSize(run);
}

void BuildOtherSlot(Run& run) {
  StoreSlotGeometry(run);
  StoreSlotOption(run);
  StoreSize(run);
}

}  // namespace traskel
