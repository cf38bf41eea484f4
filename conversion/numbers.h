// Number conversions between record text and the host's Doubles.
#pragma once

#include <string>
#include <string_view>

#include "platform/locale.h"

namespace traskel {

// A decimal number: optional sign, digits with "." or the locale's decimal
// separator, optional exponent, spaces and tabs around. Fields are cut at
// commas, so "." must always work; grouping is never accepted. Anything else
// is a type mismatch. A number too large for a Double is the overflow error;
// one too small for it reads as zero.
double TextToDouble(std::string_view text, const NumberFormat& format);

// General format: at most 15 significant digits, no trailing zeros, exponent
// form for very large or small values ("5E-05"), the locale's separator.
std::string DoubleToText(double value, const NumberFormat& format);

}  // namespace traskel
