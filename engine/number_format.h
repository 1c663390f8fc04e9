// Number texts of the study: reading a text as a number and the fixed patterns the
// program writes. Grouping is always "," and the decimal point always ".", whatever
// the locale, so files and reports read the same on every machine.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace kim {

// A fixed number pattern: zero-padded to minInt integer digits, minDec to maxDec
// decimals (trailing zeros beyond minDec dropped), integer digits grouped in threes.
struct NumberPattern {
    int minInt;
    int minDec;
    int maxDec;
    bool group;
};

namespace pattern {
inline constexpr NumberPattern ListText{3, 5, 5, true};        // "##,000.00000"
inline constexpr NumberPattern ComparisonText{5, 5, 5, false}; // "00000.00000"
inline constexpr NumberPattern Separation{1, 1, 1, true};      // "##,##0.0"
inline constexpr NumberPattern Frequency{1, 5, 5, true};       // "##,##0.00000"
inline constexpr NumberPattern Product{1, 5, 5, true};         // "###,##0.00000"
inline constexpr NumberPattern Distance{2, 1, 5, true};        // "##,#00.0####"
inline constexpr NumberPattern ReportFrequency{5, 5, 5, true}; // "00,000.00000"
inline constexpr NumberPattern ChannelText{1, 5, 5, false};    // "##0.00000"
} // namespace pattern

// Writes v with the pattern. Rounds half away from zero on the shortest decimal form
// of v (2.675 to two places is 2.68). A negative value gets a leading "-" unless it
// rounds to zero.
std::string formatNumber(double v, const NumberPattern& p);

// Appends the same text to out (no temporary string; the result lines use this).
void appendNumber(std::string& out, double v, const NumberPattern& p);

// A count grouped by thousands ("76,899,487"), every digit exact: counts are 64-bit,
// beyond what a double holds exactly.
std::string formatCount(uint64_t n);

// The longest leading decimal number of the text once grouping commas are dropped:
// "1,234.5" is 1234.5, "1.2.3" is 1.2, "abc" and "" are 0. Never infinite or NaN:
// a number too large for a double reads as the largest finite one.
double readLeadingNumber(std::string_view text);

// True when the text holds exactly one number in the form readLeadingNumber takes
// (grouping commas allowed), nothing before or after it, and it is finite.
bool isPlainNumber(std::string_view text);

// v rounded to the given number of decimals, half away from zero (0..15).
double roundDecimals(double v, int decimals);

// How the study reads a frequency or separation text: the leading number, rounded to
// five decimals as the comparison text "00000.00000" would hold it.
double readStudyNumber(std::string_view text);

// A distance in MHz rounded to whole hertz (six decimals); an exact half goes to the
// even neighbour.
double roundToHertz(double mhz);

} // namespace kim
