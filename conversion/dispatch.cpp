#include "conversion/conversion.h"
#include "conversion/feature.h"

namespace traskel {

void DispatchRecord(Run& run, const std::string& line) {
  const std::string key = run.Fields[field::kKey];
  if (key == "PT") return BuildFeature(run, kPoint);
  if (key == "BPT") return BuildFeature(run, kEdgePoint);
  if (key == "LN") return BuildFeature(run, kLinePlane);
  if (key == "CIR") return BuildFeature(run, kCircle);
  if (key == "SLT") {
    return BuildFeature(run, run.Fields[field::kShape] == "ROUND" ? kRoundSlot : kOtherSlot);
  }
  if (key == "PLN") return BuildFeature(run, kLinePlane);
  if (key == "CLY") return BuildFeature(run, kCylinder);
  if (key == "SPH") return BuildFeature(run, kSphere);
  if (key == "CON") return BuildFeature(run, kCone);
  if (key == "HEX") return AddComment(run, "$$ HEX $$ - " + std::string(TrimSpaces(line)));
  if (key == "ELL") return BuildFeature(run, kEllipse);
  if (key == "UDF") return AddComment(run, "$$ UDF $$ - " + std::string(TrimSpaces(line)));
  // Any other key, the empty one of an empty line included: nothing.
}

}  // namespace traskel
