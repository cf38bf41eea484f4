// The measurement program as the host keeps it. A program may hold a
// million commands, so each is kept compact: its few known properties in
// fixed places, its other parts in small vectors, in chunks that never move.
// Chunks grow from a few records to their full size, so a short program
// costs little. The map-based Command view is built only when asked for.
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "host/value.h"
#include "quorvex_sim/sim_host.h"

namespace quorvex_sim {

// Every property id a command can be given, ascending.
inline constexpr std::array<std::int32_t, 13> kPropertyIds = {0,  4,  5,  6,  7,  8, 9,
                                                              12, 18, 19, 48, 81, 83};
// The place of the id in kPropertyIds, or -1.
int PropertyIndex(std::int32_t id);

struct CommentPart {
  std::int32_t kind = 0;
  std::vector<std::int32_t> format;
  std::map<std::int32_t, std::string> lines;
};

struct Record {
  std::int32_t typeCode = 0;
  // Each property's type (Empty: not set) and its I2, R8 or Bool as a double.
  std::array<std::uint8_t, kPropertyIds.size()> propertyType{};
  std::array<double, kPropertyIds.size()> propertyNumber{};
  std::string label;
  std::vector<std::pair<std::int32_t, std::string>> texts;  // ascending code
  std::vector<std::pair<std::int32_t, SlotData>> slots;     // in the order first stored
  std::unique_ptr<CommentPart> comment;

  // v must be an I2, R8 or Bool.
  void SetProperty(int index, const traskel::host::Value& v);
  traskel::host::Value Property(int index) const;
  bool HasProperty(int index) const { return propertyType[index] != 0; }
  void SetText(std::int32_t code, const std::string& text);
  void SetSlot(std::int32_t code, const SlotData& data);
  CommentPart& Comment();
};

class ProgramModel {
 public:
  std::size_t size() const { return size_; }
  bool empty() const { return size_ == 0; }
  const Record& operator[](std::size_t n) const { return At(n); }
  // A new record at the end.
  Record& Add();
  // The record, to be changed.
  Record& Edit(std::size_t n);
  // Everything as Commands, as it stands now.
  const std::vector<Command>& Commands();

 private:
  // Chunks of 16, 32, ... 512 records, then of 1024 each.
  static constexpr std::size_t kFirstChunk = 16;
  static constexpr std::size_t kChunk = 1024;
  static constexpr std::size_t kGrowingChunks = 6;
  static constexpr std::size_t kInGrowingChunks = kChunk - kFirstChunk;
  static_assert(kFirstChunk << kGrowingChunks == kChunk);
  static std::size_t ChunkSize(std::size_t chunk);
  Record& At(std::size_t n) const;

  std::vector<std::unique_ptr<Record[]>> chunks_;
  std::size_t size_ = 0;
  std::size_t capacity_ = 0;
  std::vector<Command> view_;
};

}  // namespace quorvex_sim
