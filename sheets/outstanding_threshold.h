// How many days a row may stay outstanding before the lists make it stand
// out: the setting `joursencours` of the options store (default 30).
#pragma once

namespace velmor::outstanding {

constexpr int defaultThreshold = 30;

// The stored number of days; the default when the key is missing, not a
// number or negative.
int threshold();
void saveThreshold(int days);

} // namespace velmor::outstanding
