// The texts after "Laufzeitfehler 'N':" beyond those a whole run shows (13,
// and 440 with the host's text): the other own numbers, an automation error
// without a text, and numbers that are not the program's own.
#include <gtest/gtest.h>

#include "conversion/run_time_errors.h"

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

}  // namespace
}  // namespace traskel
