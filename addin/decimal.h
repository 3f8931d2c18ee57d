// ParseDecimal: the add-in's reader for decimal numbers written as text by
// people ("1234,56", "19.99", " -7").  It never depends on the C locale, so
// the host's SetLocale cannot change a price.
#pragma once

namespace addin {

// Reads at most the first kDecimalScanLimit bytes of `text`; null gives 0.
double ParseDecimal(const char* text);

}  // namespace addin
