#include "quorvex_sim/model.h"

#include <algorithm>
#include <bit>

namespace quorvex_sim {

using traskel::host::Type;
using traskel::host::Value;

int PropertyIndex(std::int32_t id) {
  const auto at = std::find(kPropertyIds.begin(), kPropertyIds.end(), id);
  return at != kPropertyIds.end() ? static_cast<int>(at - kPropertyIds.begin()) : -1;
}

void Record::SetProperty(int index, const Value& v) {
  double number = 0;
  switch (v.type()) {
    case Type::I2:
      number = v.i2();
      break;
    case Type::R8:
      number = v.r8();
      break;
    case Type::Bool:
      number = v.boolean() ? 1 : 0;
      break;
    default:
      throw traskel::host::TypeMismatch();
  }
  propertyType[index] = static_cast<std::uint8_t>(v.type());
  propertyNumber[index] = number;
}

Value Record::Property(int index) const {
  const double number = propertyNumber[index];
  switch (static_cast<Type>(propertyType[index])) {
    case Type::I2:
      return traskel::host::I2(static_cast<std::int16_t>(number));
    case Type::R8:
      return traskel::host::R8(number);
    case Type::Bool:
      return traskel::host::Bool(number != 0);
    default:
      return Value();
  }
}

void Record::SetText(std::int32_t code, const std::string& text) {
  if (texts.empty()) texts.reserve(2);  // the usual two codes
  auto at = std::lower_bound(texts.begin(), texts.end(), code,
                             [](const auto& entry, std::int32_t c) { return entry.first < c; });
  if (at != texts.end() && at->first == code) {
    at->second = text;
  } else {
    texts.emplace(at, code, text);
  }
}

void Record::SetSlot(std::int32_t code, const SlotData& data) {
  for (auto& [c, d] : slots) {
    if (c == code) {
      d = data;
      return;
    }
  }
  if (slots.empty()) slots.reserve(2);  // a position and a vector at least
  slots.emplace_back(code, data);
}

CommentPart& Record::Comment() {
  if (!comment) comment = std::make_unique<CommentPart>();
  return *comment;
}

std::size_t ProgramModel::ChunkSize(std::size_t chunk) {
  return chunk < kGrowingChunks ? kFirstChunk << chunk : kChunk;
}

Record& ProgramModel::At(std::size_t n) const {
  if (n < kInGrowingChunks) {
    // Chunk c starts at record kFirstChunk * (2^c - 1).
    const std::size_t chunk = static_cast<std::size_t>(std::bit_width(n / kFirstChunk + 1)) - 1;
    return chunks_[chunk][n - kFirstChunk * ((std::size_t{1} << chunk) - 1)];
  }
  const std::size_t rest = n - kInGrowingChunks;
  return chunks_[kGrowingChunks + rest / kChunk][rest % kChunk];
}

Record& ProgramModel::Add() {
  if (size_ == capacity_) {
    const std::size_t size = ChunkSize(chunks_.size());
    chunks_.push_back(std::make_unique<Record[]>(size));
    capacity_ += size;
  }
  return At(size_++);
}

Record& ProgramModel::Edit(std::size_t n) {
  return At(n);
}

namespace {

Command ToCommand(const Record& r) {
  Command c;
  c.typeCode = r.typeCode;
  c.label = r.label;
  for (std::size_t n = 0; n < kPropertyIds.size(); ++n) {
    if (r.HasProperty(static_cast<int>(n))) {
      c.properties.emplace(kPropertyIds[n], r.Property(static_cast<int>(n)));
    }
  }
  c.texts.insert(r.texts.begin(), r.texts.end());
  for (const auto& [code, data] : r.slots) {
    c.slots.emplace(code, data);
    c.slotOrder.push_back(code);
  }
  if (r.comment) {
    c.commentKind = r.comment->kind;
    c.commentFormat = r.comment->format;
    c.commentLines = r.comment->lines;
  }
  return c;
}

}  // namespace

const std::vector<Command>& ProgramModel::Commands() {
  // Rebuilt whole: only tests and tools ask, and a snapshot is what they want.
  view_.clear();
  view_.reserve(size_);
  for (std::size_t n = 0; n < size_; ++n) view_.push_back(ToCommand((*this)[n]));
  return view_;
}

}  // namespace quorvex_sim
