// The texts after "Laufzeitfehler 'N':" beyond those a whole run shows (13,
// and 440 with the host's text): the other own numbers, an automation error
// without a text, and numbers that are not the program's own.
#include <cerrno>
#include <memory>

#include <gtest/gtest.h>

#include "conversion/conversion.h"
#include "conversion/run_time_errors.h"
#include "support/test_bed.h"

namespace traskel {
namespace {

TEST(RunTimeErrorText, OwnNumbersAreGermanOthersKeepTheirText) {
  EXPECT_EQ(RunTimeErrorText(6, "Overflow"), "Überlauf");
  EXPECT_EQ(RunTimeErrorText(57, "Device I/O error while reading the copy of the input"),
            "Fehler beim Geräte-E/A");
  EXPECT_EQ(RunTimeErrorText(450, ""),
            "Falsche Anzahl an Argumenten oder ungültige Zuweisung zu einer Eigenschaft");

  EXPECT_EQ(RunTimeErrorText(440, ""), "Automatisierungsfehler");

  // An operating-system or COM code is not the program's own.
  EXPECT_EQ(OwnErrorText(-2147024891), nullptr);
  EXPECT_EQ(RunTimeErrorText(-2147024891, "Zugriff verweigert"), "Zugriff verweigert");
  EXPECT_EQ(RunTimeErrorText(5, "Ungültiger Prozeduraufruf"), "Ungültiger Prozeduraufruf");
}

// A copy whose rewind, or whose every read, fails with EIO.
class UnreadableCopy final : public HeldFile {
 public:
  explicit UnreadableCopy(bool rewindFails) : rewindFails_(rewindFails) {}
  Result<void> Clear() override { return {}; }
  Result<void> Write(std::string_view) override { return {}; }
  Result<void> Rewind() override {
    if (rewindFails_) return SystemFailure(EIO);
    return {};
  }
  Result<std::size_t> Read(char*, std::size_t) override { return SystemFailure(EIO); }
  Result<void> Remove() override { return {}; }

 private:
  bool rewindFails_;
};

TEST(FileError, AFailedReadOfTheCopyEndsTheRunNamingTheCopyAndTheReason) {
  for (const auto& [rewindFails, number] : {std::pair{true, 75}, std::pair{false, 57}}) {
    testing::TestBed bed;
    bed.run.ImportFile = "/daten/teil.csv";
    bed.run.copy.file = std::make_unique<UnreadableCopy>(rewindFails);
    bed.run.copy.length = 10;
    try {
      RunConversion(bed.run);
      ADD_FAILURE() << "no error";
    } catch (const RunError& e) {
      EXPECT_EQ(e.number(), number);
      EXPECT_EQ(e.detail, "Die Kopie /daten/teil.csvconf kann nicht gelesen werden: " +
                              SystemFailure(EIO).reason);
    }
  }
}

}  // namespace
}  // namespace traskel
