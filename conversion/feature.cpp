#include "conversion/feature.h"

#include "conversion/host_ids.h"
#include "conversion/numbers.h"
#include "conversion/run_time_errors.h"

namespace traskel {

using namespace host;

void BuildFeature(Run& run, std::int32_t typeCode) {
  CreateFeatureCommand(run, typeCode);
  ApplyFeatureDefaults(run);
  switch (typeCode) {
    case kPoint:
      return BuildPoint(run);
    case kEdgePoint:
      return BuildEdgePoint(run);
    case kLinePlane:
      return BuildLineOrPlane(run);
    case kCircle:
      return BuildCircle(run);
    case kRoundSlot:
      return BuildRoundSlot(run);
    case kOtherSlot:
      return BuildOtherSlot(run);
    case kEllipse:
      return BuildEllipse(run);
    case kCylinder:
      return BuildCylinder(run);
    case kSphere:
      return BuildSphere(run);
    case kCone:
      return BuildCone(run);
    default:
      return ReportUnsupported(run);
  }
}

void CreateFeatureCommand(Run& run, std::int32_t typeCode) {
  // The host takes the code by reference; what it may write back is not
  // used, the builder chooses its steps by the code it was given.
  Value code = I4(typeCode);
  run.addingLine = run.lineNumber;
  const Value added = run.CMDS.Call(ids::commands::kAdd, ByRef(code), Bool(true));
  run.cmdLine = run.lineNumber;  // the command is in the host, whatever follows
  run.Cmd = AsObject(added);
  run.FeatureData = AsObject(run.Cmd.Get(ids::command::kFeaturePart));
  run.Cmd.Put(ids::command::kLabel, Str(ReadField(run, field::kLabel)));
}

// The host's fixed defaults for a new feature, in the order it is given them;
// what each property means is the host's business.
void ApplyFeatureDefaults(Run& run) {
  using namespace ids::feature_data;
  const Ref& fd = run.FeatureData;
  fd.Put(kSetting83, Bool(false));
  fd.Put(kSetting81, Bool(false));
  fd.Put(kSetting12, Bool(false));
  fd.Put(kSetting8, I2(100));
  fd.Put(kSetting18, I2(0));
  fd.Put(kSetting4, I2(0));
  fd.Put(kSetting7, I2(0));
  fd.Put(kSetting19, I2(999));
  fd.Put(kSetting5, I2(3));
  run.Cmd.CallIgnoringResult(ids::command::kSetText, Str("NO"), I4(ids::text_code::kNo), I4(0));
  run.Cmd.CallIgnoringResult(ids::command::kSetText, Str("0"), I4(ids::text_code::kHalfSize),
                             I4(0));
  fd.Put(kSize, I2(0));
  fd.Put(kInner, Bool(false));
  fd.Put(kSlotOption, I2(0));
}

const std::string& ReadField(Run& run, int index) {
  run.fieldsRead.set(static_cast<std::size_t>(index));
  return run.Fields[index];
}

double FieldAsDouble(Run& run, int index) {
  try {
    return TextToDouble(ReadField(run, index), run.platform.numbers);
  } catch (const Error& e) {
    RunError failed(e);
    failed.field = index;
    failed.fieldText = run.Fields[index];
    throw failed;
  }
}

namespace {

// Hands the loaded point data to the feature under a slot code; the host may
// give back another point-data object, which later steps must use.
void HandOverPointData(Run& run, std::int32_t slot) {
  Value point = Obj(run.PointData.ptr());
  Value result = run.FeatureData.Call(ids::feature_data::kStorePoint, ByRef(point), I4(slot),
                                      I4(100), I4(13), Str(""), I4(0));
  run.PointData = AsObject(point);
  (void)ToBoolean(result);  // must be a Boolean; its value does not matter
}

}  // namespace

void StorePosition(Run& run, int fx, int fy, int fz, std::int32_t slot) {
  double x = FieldAsDouble(run, fx), y = FieldAsDouble(run, fy), z = FieldAsDouble(run, fz);
  run.PointData.CallIgnoringResult(ids::point_data::kPosition, R8(x), R8(y), R8(z));
  HandOverPointData(run, slot);
}

void StoreVector(Run& run, int fi, int fj, int fk, std::int32_t slot) {
  double i = FieldAsDouble(run, fi), j = FieldAsDouble(run, fj), k = FieldAsDouble(run, fk);
  run.PointData.CallIgnoringResult(ids::point_data::kVector, R8(i), R8(j), R8(k));
  HandOverPointData(run, slot);
}

void StoreValue(Run& run, int f, std::int32_t slot) {
  double v = FieldAsDouble(run, f);
  run.PointData.Put(ids::point_data::kValue, R8(v));
  HandOverPointData(run, slot);
}

void MarkInner(Run& run) {
  if (ReadField(run, field::kInner) == "INNER")
    run.FeatureData.Put(ids::feature_data::kInner, Bool(true));
}

void StoreHalfSize(Run& run) {
  double half = FieldAsDouble(run, field::kSize) / 2.0;
  run.Cmd.CallIgnoringResult(ids::command::kSetText, Str(DoubleToText(half, run.platform.numbers)),
                             I4(ids::text_code::kHalfSize), I4(0));
}

void StoreSize(Run& run) {
  run.FeatureData.Put(ids::feature_data::kSize, R8(FieldAsDouble(run, field::kSize)));
}

}  // namespace traskel
