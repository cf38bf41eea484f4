// Expected host traces, shared by the tests against the embedded host and
// those against the Windows COM server: the connection, the comment and
// status lines of a whole run, and the call tables of a feature record.
// Lines are without the informative " -> result" part.
#pragma once

#include <string>
#include <vector>

namespace traskel::testing {

using Lines = std::vector<std::string>;

inline Lines operator+(Lines a, const Lines& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

inline const Lines kConnect = {
    "create \"Quorvex.Application\"",
    "create \"Quorvex.PointData\"",
    "Application get 2",
    "MeasurementProgram get 11",
    "CMDS get 12",
    "CMDS call 5 Obj:Cmd",
    "Cmd put 0 Bool:True",
};

// A trace string literal for text without control characters but tabs.
inline std::string Json(const std::string& s) {
  std::string out = "\"";
  for (char c : s) {
    if (c == '\t') {
      out += "\\t";
      continue;
    }
    if (c == '"' || c == '\\') out += '\\';
    out += c;
  }
  return out + "\"";
}

inline Lines Comment(const std::string& text) {
  return {"CMDS call 8 I4:170 Bool:True", "Cmd get 53", "CommentData put 1 I4:3",
          "Cmd call 93 I4:1 I4:165 I4:0", "CommentData call 6 I4:1 Str&:" + Json(text)};
}

inline std::string Status(int percent, const std::string& line) {
  return "Application put 9 Str:" + Json(std::to_string(percent) + "% Bearbeite Zeile: " + line);
}

// The status text once every line is done.
inline std::string Finished(int taken) {
  return "Application put 9 Str:\"Fertig: " + std::to_string(taken) +
         (taken == 1 ? " Datenzeile" : " Datenzeilen") + " übernommen.\"";
}

// The expected trace of a whole run over `lines` (each ending in CR LF in the
// copy) where `records` gives what each record line from the eleventh on
// adds: nothing for a line left out.
inline Lines Expected(const Lines& lines, const std::vector<Lines>& records) {
  std::size_t total = 0;
  for (const auto& l : lines) total += l.size() + 2;
  Lines out = kConnect;
  std::size_t consumed = 0;
  int taken = 0;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    consumed += lines[i].size() + 2;
    int percent = static_cast<int>(static_cast<double>(consumed) / total * 100 + 0.5);
    out.push_back(Status(percent, lines[i]));
    std::string trimmed = lines[i];
    trimmed.erase(0, trimmed.find_first_not_of(' '));
    trimmed.erase(trimmed.find_last_not_of(' ') + 1);
    if (trimmed.find_first_not_of(' ') == std::string::npos) trimmed.clear();
    const Lines& add = i < 10 ? Comment(trimmed) : records.at(i - 10);
    out.insert(out.end(), add.begin(), add.end());
    if (i >= 10 && !add.empty()) ++taken;
  }
  out.push_back(Finished(taken));
  return out;
}

// Ten header lines as an export starts.
inline Lines Header() {
  return {"CAD-Export Bauteil 4711",
          "Datum,2026-12-01",
          "",
          "  Ersteller: M. Kessler  ",
          "\tEinheit mm",
          "Spalten,Typ,Name,X,Y,Z",
          "Kommentar \"roh\", $$ bleibt",
          "",
          "Version,3",
          "Ende Kopf"};
}

inline std::string Join(const Lines& lines, const std::string& end) {
  std::string s;
  for (const auto& l : lines) s += l + end;
  return s;
}

// A new feature command: type code, its feature data, its label.
inline Lines Head(int code, const std::string& label) {
  return {"CMDS call 8 I4&:" + std::to_string(code) + " Bool:True", "Cmd get 9",
          "Cmd put 3 Str:\"" + label + "\""};
}

inline const Lines kDefaults = {
    "FeatureData put 83 Bool:False",    "FeatureData put 81 Bool:False",
    "FeatureData put 12 Bool:False",    "FeatureData put 8 I2:100",
    "FeatureData put 18 I2:0",          "FeatureData put 4 I2:0",
    "FeatureData put 7 I2:0",           "FeatureData put 19 I2:999",
    "FeatureData put 5 I2:3",           "Cmd call 28 Str:\"NO\" I4:43 I4:0",
    "Cmd call 28 Str:\"0\" I4:78 I4:0", "FeatureData put 6 I2:0",
    "FeatureData put 9 Bool:False",     "FeatureData put 48 I2:0",
};

inline std::string HandOver(int slot) {
  return "FeatureData call 60 Obj&:PointData I4:" + std::to_string(slot) +
         " I4:100 I4:13 Str:\"\" I4:0";
}
inline Lines Pos(const std::string& xyz, int slot) {
  return {"PointData call 7 " + xyz, HandOver(slot)};
}
inline Lines Vec(const std::string& ijk, int slot) {
  return {"PointData call 8 " + ijk, HandOver(slot)};
}
inline Lines Val(const std::string& v, int slot) {
  return {"PointData put 1 " + v, HandOver(slot)};
}
inline Lines Inner() {
  return {"FeatureData put 9 Bool:True"};
}
inline Lines Half(const std::string& text) {
  return {"Cmd call 28 Str:\"" + text + "\" I4:78 I4:0"};
}
inline Lines Size(const std::string& v) {
  return {"FeatureData put 6 " + v};
}

}  // namespace traskel::testing
