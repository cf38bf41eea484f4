#include "conversion/fingerprint.h"

#include <string>

#include <gtest/gtest.h>

namespace traskel {
namespace {

TEST(Fingerprint, IsSha256WhateverPiecesTheTextComesIn) {
  struct Case {
    std::string text, digest;
  };
  const std::string million(1'000'000, 'a');
  for (const Case& c : {
           Case{"", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
           Case{"abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
           Case{"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
                "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
           Case{million, "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
       }) {
    SCOPED_TRACE(c.text.substr(0, 20));
    for (std::size_t piece : {std::size_t{1}, std::size_t{7}, std::size_t{64}, c.text.size()}) {
      Fingerprint f;
      for (std::size_t at = 0; at < c.text.size(); at += piece) {
        f.Feed(std::string_view(c.text).substr(at, piece));
        if (at == 0) (void)f.Hex();  // asking on the way changes nothing
      }
      EXPECT_EQ(f.Hex(), c.digest) << "in pieces of " << piece;
    }
  }
}

}  // namespace
}  // namespace traskel
