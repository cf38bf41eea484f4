#include "conversion/feature.h"

#include "conversion/numbers.h"

namespace traskel {

using namespace host;

void BuildFeature(Run& run, const std::int32_t& typeCode) {
  std::int32_t localCode = typeCode;
  CreateFeatureCommand(run, localCode);
  ApplyFeatureDefaults(run);
  // The host may change the by-reference code; the choice uses our own.
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

void CreateFeatureCommand(Run& run, std::int32_t& typeCode) {
  Value code = I4(typeCode);
  run.Cmd = AsObject(run.CMDS.Call(8, ByRef(code), Bool(true)));
  if (code.type() == Type::I4) typeCode = code.i4();
  run.FeatureData = AsObject(run.Cmd.Get(9));
  run.Cmd.Put(3, Str(run.Fields[field::kLabel]));
}

void ApplyFeatureDefaults(Run& run) {
  const Ref& fd = run.FeatureData;
  fd.Put(83, Bool(false));
  fd.Put(81, Bool(false));
  fd.Put(12, Bool(false));
  fd.Put(8, I2(100));
  fd.Put(18, I2(0));
  fd.Put(4, I2(0));
  fd.Put(7, I2(0));
  fd.Put(19, I2(999));
  fd.Put(5, I2(3));
  run.Cmd.CallIgnoringResult(28, Str("NO"), I4(43), I4(0));
  run.Cmd.CallIgnoringResult(28, Str("0"), I4(78), I4(0));
  fd.Put(6, I2(0));
  fd.Put(9, Bool(false));
  fd.Put(48, I2(0));
}

double FieldAsDouble(const Run& run, int index) {
  try {
    return TextToDouble(run.Fields[index], run.platform.numbers);
  } catch (Error& e) {
    e.field = index;
    e.fieldText = run.Fields[index];
    throw;
  }
}

namespace {

// Hands the loaded point data to the feature under a slot code; the host may
// give back another point-data object, which later steps must use.
void HandOverPointData(Run& run, std::int32_t slot) {
  Value point = Obj(run.PointData.ptr());
  Value result = run.FeatureData.Call(60, ByRef(point), I4(slot), I4(100), I4(13), Str(""), I4(0));
  run.PointData = AsObject(point);
  (void)ToBoolean(result);  // must be a Boolean; its value does not matter
}

}  // namespace

void StorePosition(Run& run, int fx, int fy, int fz, std::int32_t slot) {
  double x = FieldAsDouble(run, fx), y = FieldAsDouble(run, fy), z = FieldAsDouble(run, fz);
  run.PointData.CallIgnoringResult(7, R8(x), R8(y), R8(z));
  HandOverPointData(run, slot);
}

void StoreVector(Run& run, int fi, int fj, int fk, std::int32_t slot) {
  double i = FieldAsDouble(run, fi), j = FieldAsDouble(run, fj), k = FieldAsDouble(run, fk);
  run.PointData.CallIgnoringResult(8, R8(i), R8(j), R8(k));
  HandOverPointData(run, slot);
}

void StoreValue(Run& run, int f, std::int32_t slot) {
  double v = FieldAsDouble(run, f);
  run.PointData.Put(1, R8(v));
  HandOverPointData(run, slot);
}

void MarkInner(Run& run) {
  if (run.Fields[field::kInner] == "INNER") run.FeatureData.Put(9, Bool(true));
}

void StoreHalfSize(Run& run) {
  double half = FieldAsDouble(run, field::kSize) / 2.0;
  run.Cmd.CallIgnoringResult(28, Str(DoubleToText(half, run.platform.numbers)), I4(78), I4(0));
}

void StoreSize(Run& run) {
  run.FeatureData.Put(6, R8(FieldAsDouble(run, field::kSize)));
}

}  // namespace traskel
