#include "addin/decimal.h"

#include <cstddef>

namespace addin {
namespace {

// Longer texts are never prices or ports; the scan stops here.
constexpr size_t kDecimalScanLimit = 50;

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

struct DecimalScan {
    double integerPart = 0.0;
    double fractionDigits = 0.0;
    double fractionScale = 1.0;
    bool integerDigitSeen = false;
    bool separatorSeen = false;
    bool negative = false;
};

// Consumes one character; false ends the scan.
bool ScanCharacter(DecimalScan& scan, char c) {
    if (IsDigit(c)) {
        const int digit = c - '0';
        if (scan.separatorSeen) {
            scan.fractionDigits = scan.fractionDigits * 10.0 + digit;
            scan.fractionScale *= 10.0;
        } else {
            scan.integerPart = scan.integerPart * 10.0 + digit;
            scan.integerDigitSeen = true;
        }
        return true;
    }
    if (c == ',' || c == '.') {
        if (scan.separatorSeen) return false;
        scan.separatorSeen = true;
        return true;
    }
    // Leading blanks and a minus sign may precede the first integer digit.
    if (scan.integerDigitSeen) return false;
    if (c == ' ') return true;
    if (c == '-') {
        scan.negative = true;
        return true;
    }
    return false;
}

}  // namespace

double ParseDecimal(const char* text) {
    if (text == nullptr) return 0.0;
    DecimalScan scan;
    for (size_t i = 0; i < kDecimalScanLimit; ++i) {
        if (!ScanCharacter(scan, text[i])) break;
    }
    double value = scan.integerPart + scan.fractionDigits / scan.fractionScale;
    return scan.negative ? -value : value;
}

}  // namespace addin
