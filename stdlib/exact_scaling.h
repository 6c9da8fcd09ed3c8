#pragma once
// strtod's exact fallback for products near a rounding midpoint.

namespace nk {

// v * 10^e rounded to the nearest double (ties to even), for a positive finite v and
// |e| <= 700, given a candidate at most one unit away from it.
double nearest_scaled_by_power_of_ten(double candidate, double v, int e);

}  // namespace nk
