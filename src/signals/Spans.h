#pragma once
// Round numbers for the value span of a source: a snapped span runs between round values, so that
// a display's scale reads well.

namespace veltra {

// The value span of a source: its samples stand for values from low to high.
struct TSpan {
  double low = 0.0;
  double high = 0.0;
  friend bool operator==(const TSpan&, const TSpan&) = default;
};

// The round number not below v >= 0: the first of 1, 2, 4 and 8 times the power of ten of v that
// is not below v, else the next power of ten. A mantissa within 1e-6 above a whole number counts as
// that number, so R(2.0000001) is 2. R(0) is 0; R(3) = 4, R(5) = 8, R(8.5) = 10, R(0.0021) = 0.004.
// Values that are not finite and positive are answered unchanged.
double RoundNumber(double v);

// The span between round values that holds `requested`: (-R(|low|), 0) when high <= 0, (0, R(high))
// when low >= 0 < high, else symmetric about 0 with R of the larger magnitude.
TSpan SnapSpan(TSpan requested);

}  // namespace veltra
