#include <vector>

#include "conversion/conversion.h"
#include "conversion/feature.h"

namespace traskel {

namespace {

void Slot(Run& run) {
  BuildFeature(run, ReadField(run, field::kShape) == "ROUND" ? kRoundSlot : kOtherSlot);
}

struct Route {
  std::string_view key;
  void (*handle)(Run& run, const std::string& line);
};

// The keys in the order they are tried.
constexpr Route kRoutes[] = {
    {"PT", [](Run& run, const std::string&) { BuildFeature(run, kPoint); }},
    {"BPT", [](Run& run, const std::string&) { BuildFeature(run, kEdgePoint); }},
    {"LN", [](Run& run, const std::string&) { BuildFeature(run, kLinePlane); }},
    {"CIR", [](Run& run, const std::string&) { BuildFeature(run, kCircle); }},
    {"SLT", [](Run& run, const std::string&) { Slot(run); }},
    {"PLN", [](Run& run, const std::string&) { BuildFeature(run, kLinePlane); }},
    {"CLY", [](Run& run, const std::string&) { BuildFeature(run, kCylinder); }},
    {"SPH", [](Run& run, const std::string&) { BuildFeature(run, kSphere); }},
    {"CON", [](Run& run, const std::string&) { BuildFeature(run, kCone); }},
    {"HEX",
     [](Run& run, const std::string& line) {
       AddComment(run, "$$ HEX $$ - " + std::string(TrimSpaces(line)));
     }},
    {"ELL", [](Run& run, const std::string&) { BuildFeature(run, kEllipse); }},
    {"UDF",
     [](Run& run, const std::string& line) {
       AddComment(run, "$$ UDF $$ - " + std::string(TrimSpaces(line)));
     }},
};

}  // namespace

const std::vector<std::string_view>& RecordKeys() {
  static const std::vector<std::string_view> keys = [] {
    std::vector<std::string_view> k;
    for (const Route& route : kRoutes) k.push_back(route.key);
    return k;
  }();
  return keys;
}

bool DispatchRecord(Run& run, const std::string& line) {
  const std::string& key = run.Fields[field::kKey];
  for (const Route& route : kRoutes) {
    if (key != route.key) continue;
    route.handle(run, line);
    return true;
  }
  // Any other key, the empty one of an empty line included: nothing.
  return false;
}

}  // namespace traskel
