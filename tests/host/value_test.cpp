#include <gtest/gtest.h>

#include "host/value.h"
#include "support/host_errors.h"

namespace traskel::host {
namespace {

using traskel::testing::ErrorNumberOf;

TEST(Value, ExactAccessorsRejectOtherTypes) {
  EXPECT_EQ(I2(7).i2(), 7);
  EXPECT_EQ(I4(603).i4(), 603);
  EXPECT_EQ(Str("x").str(), "x");
  EXPECT_EQ(ErrorNumberOf([] { (void)I2(1).i4(); }), kTypeMismatch);
  EXPECT_EQ(ErrorNumberOf([] { (void)R8(1).obj(); }), kTypeMismatch);
  EXPECT_EQ(ErrorNumberOf([] { AsObject(Bool(true)); }), kTypeMismatch);
  EXPECT_FALSE(AsObject(Obj(nullptr)));
  EXPECT_NE(I2(1), I4(1));  // same number, other automation type
}

TEST(Value, CoercionToBoolean) {
  EXPECT_TRUE(ToBoolean(Bool(true)));
  EXPECT_FALSE(ToBoolean(I4(0)));
  EXPECT_TRUE(ToBoolean(I2(-1)));
  EXPECT_TRUE(ToBoolean(R8(0.5)));
  EXPECT_TRUE(ToBoolean(Str("True")));
  EXPECT_FALSE(ToBoolean(Str("0")));
  EXPECT_EQ(ErrorNumberOf([] { ToBoolean(Str("ja")); }), kTypeMismatch);
  EXPECT_EQ(ErrorNumberOf([] { ToBoolean(Obj(nullptr)); }), kTypeMismatch);
}

// Records what it receives and writes through by-reference arguments.
class Echo : public Object {
 public:
  Value Get(DispId id) override { return I4(id); }
  void Put(DispId id, const Value& v) override { last = {id, v}; }
  Value Call(DispId id, std::span<const Arg> args) override {
    count = args.size();
    for (const Arg& a : args) {
      if (a.byRef()) a.target() = Str("changed");
    }
    return I4(id);
  }
  std::pair<DispId, Value> last;
  std::size_t count = 0;
};

TEST(Ref, CallsReachTheObjectAndByReferenceArgumentsComeBack) {
  auto echo = std::make_shared<Echo>();
  Ref r(echo);
  Value mine = I4(1);
  EXPECT_EQ(r.Call(8, ByRef(mine), Bool(true)), I4(8));
  EXPECT_EQ(echo->count, 2u);
  EXPECT_EQ(mine, Str("changed"));
  Value byValue = I4(1);
  r.Call(8, byValue);
  EXPECT_EQ(byValue, I4(1));
  r.Put(3, Str("P1"));
  EXPECT_EQ(echo->last.second, Str("P1"));
  r.Call(5);
  EXPECT_EQ(echo->count, 0u);
}

TEST(Ref, NothingRaisesObjectNotSet) {
  Ref nothing;
  EXPECT_EQ(ErrorNumberOf([&] { nothing.Get(2); }), kObjectNotSet);
  EXPECT_EQ(ErrorNumberOf([&] { nothing.Put(9, Str("")); }), kObjectNotSet);
  EXPECT_EQ(ErrorNumberOf([&] { nothing.Call(8, I4(170)); }), kObjectNotSet);
}

}  // namespace
}  // namespace traskel::host
