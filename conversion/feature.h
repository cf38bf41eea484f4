// Feature commands: creation, the fixed defaults and the shared steps every
// builder is made of.
#pragma once

#include <cstdint>

#include "conversion/run.h"

namespace traskel {

// Command type codes of the host.
inline constexpr std::int32_t kPoint = 603;
inline constexpr std::int32_t kEdgePoint = 604;
inline constexpr std::int32_t kCircle = 612;
inline constexpr std::int32_t kSphere = 613;
inline constexpr std::int32_t kCone = 615;
inline constexpr std::int32_t kCylinder = 616;
inline constexpr std::int32_t kRoundSlot = 618;
inline constexpr std::int32_t kOtherSlot = 619;
inline constexpr std::int32_t kEllipse = 621;
inline constexpr std::int32_t kComment = 170;
// Lines and planes have no command type of their own: they go as code 0 and
// take the steps of a point.
inline constexpr std::int32_t kLinePlane = 0;

// Record field indices.
namespace field {
inline constexpr int kKey = 0, kLabel = 1, kX = 2, kY = 3, kZ = 4, kI = 5, kJ = 6, kK = 7;
inline constexpr int kShape = 8, kSize1 = 9, kSize2 = 10, kI2 = 11, kJ2 = 12, kK2 = 13;
inline constexpr int kInner = 14, kSize = 17, kSlotOption = 19;
}  // namespace field

void BuildFeature(Run& run, std::int32_t typeCode);
void CreateFeatureCommand(Run& run, std::int32_t typeCode);
void ApplyFeatureDefaults(Run& run);

// The text of a record field as a feature's step reads it; the run notes
// the read.
const std::string& ReadField(Run& run, int index);

// Reads a numeric field; a text that is no number is a type mismatch, and
// the run notes the field for the message.
double FieldAsDouble(Run& run, int index);

// The shared steps. A step converts all its fields before its first host call.
void StorePosition(Run& run, int fx, int fy, int fz, std::int32_t slot);
void StoreVector(Run& run, int fi, int fj, int fk, std::int32_t slot);
void StoreValue(Run& run, int f, std::int32_t slot);
void MarkInner(Run& run);
void StoreHalfSize(Run& run);
void StoreSize(Run& run);

// The step sequences, one family a file.
void BuildPoint(Run& run);
void BuildEdgePoint(Run& run);
void BuildCircle(Run& run);
void BuildEllipse(Run& run);
void BuildRoundSlot(Run& run);
void BuildOtherSlot(Run& run);
void BuildCylinder(Run& run);
void BuildSphere(Run& run);
void BuildCone(Run& run);
void BuildLineOrPlane(Run& run);
void ReportUnsupported(Run& run);

}  // namespace traskel
