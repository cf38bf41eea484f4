#include "conversion/conversion.h"

namespace traskel {

std::string_view TrimSpaces(std::string_view s) {
  std::size_t begin = s.find_first_not_of(' ');
  if (begin == std::string_view::npos) return {};
  std::size_t end = s.find_last_not_of(' ');
  return s.substr(begin, end - begin + 1);
}

void SplitFields(FieldArray& fields, std::string_view line) {
  for (std::string& f : fields) f.clear();
  if (line.empty()) return;
  std::size_t k = 0;
  for (;;) {
    std::size_t comma = line.find(',');
    fields[k].assign(TrimSpaces(line.substr(0, comma)));
    if (comma == std::string_view::npos || ++k == fields.size()) return;
    line.remove_prefix(comma + 1);
  }
}

}  // namespace traskel
