#include "conversion/conversion.h"
#include "conversion/feature.h"

namespace traskel {

namespace {

bool Feature(Run& run, std::int32_t typeCode) {
  BuildFeature(run, typeCode);
  return true;
}

bool Comment(Run& run, const std::string& text) {
  AddComment(run, text);
  return true;
}

}  // namespace

bool DispatchRecord(Run& run, const std::string& line) {
  const std::string key = run.Fields[field::kKey];
  if (key == "PT") return Feature(run, kPoint);
  if (key == "BPT") return Feature(run, kEdgePoint);
  if (key == "LN") return Feature(run, kLinePlane);
  if (key == "CIR") return Feature(run, kCircle);
  if (key == "SLT") {
    return Feature(run, run.Fields[field::kShape] == "ROUND" ? kRoundSlot : kOtherSlot);
  }
  if (key == "PLN") return Feature(run, kLinePlane);
  if (key == "CLY") return Feature(run, kCylinder);
  if (key == "SPH") return Feature(run, kSphere);
  if (key == "CON") return Feature(run, kCone);
  if (key == "HEX") return Comment(run, "$$ HEX $$ - " + std::string(TrimSpaces(line)));
  if (key == "ELL") return Feature(run, kEllipse);
  if (key == "UDF") return Comment(run, "$$ UDF $$ - " + std::string(TrimSpaces(line)));
  // Any other key, the empty one of an empty line included: nothing.
  return false;
}

}  // namespace traskel
