#include <vector>

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

bool Slot(Run& run) {
  return Feature(run, run.Fields[field::kShape] == "ROUND" ? kRoundSlot : kOtherSlot);
}

struct Route {
  std::string_view key;
  bool (*handle)(Run& run, const std::string& line);
};

// The keys in the order they are tried.
constexpr Route kRoutes[] = {
    {"PT", [](Run& run, const std::string&) { return Feature(run, kPoint); }},
    {"BPT", [](Run& run, const std::string&) { return Feature(run, kEdgePoint); }},
    {"LN", [](Run& run, const std::string&) { return Feature(run, kLinePlane); }},
    {"CIR", [](Run& run, const std::string&) { return Feature(run, kCircle); }},
    {"SLT", [](Run& run, const std::string&) { return Slot(run); }},
    {"PLN", [](Run& run, const std::string&) { return Feature(run, kLinePlane); }},
    {"CLY", [](Run& run, const std::string&) { return Feature(run, kCylinder); }},
    {"SPH", [](Run& run, const std::string&) { return Feature(run, kSphere); }},
    {"CON", [](Run& run, const std::string&) { return Feature(run, kCone); }},
    {"HEX",
     [](Run& run, const std::string& line) {
       return Comment(run, "$$ HEX $$ - " + std::string(TrimSpaces(line)));
     }},
    {"ELL", [](Run& run, const std::string&) { return Feature(run, kEllipse); }},
    {"UDF",
     [](Run& run, const std::string& line) {
       return Comment(run, "$$ UDF $$ - " + std::string(TrimSpaces(line)));
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
    if (key == route.key) return route.handle(run, line);
  }
  // Any other key, the empty one of an empty line included: nothing.
  return false;
}

}  // namespace traskel
