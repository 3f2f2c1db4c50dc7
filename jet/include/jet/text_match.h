// Texts compared as Access's "General" sort order compares them at its first
// level: case and accents ignored, and the characters it sorts apart
// (apostrophes, hyphens and other punctuation) left out, so that "loreal"
// matches "L'Oréal" and "oe" matches "œ".
#pragma once

#include <string>
#include <string_view>

namespace jet {

// The first-level key of a text: one byte per Latin letter, digit or blank
// (ligatures give their letters), more for other scripts; a character the
// collation tables do not cover gives itself, case folded, behind a marker
// byte. Texts with equal keys are equal for the General order's first level.
std::string textMatchKey(std::u16string_view text);
// The same key of a UTF-8 text (as Value::asText gives it); a byte that
// starts no valid sequence counts as U+FFFD.
std::string textMatchKey(std::string_view utf8);
// Appends the key of a UTF-8 text to `key` (no allocation when `key` has
// room): for many keys kept one after the other.
void appendTextMatchKey(std::string& key, std::string_view utf8);

// True when `needleKey` (a textMatchKey) occurs in `haystackKey`; an empty
// needle occurs everywhere.
bool keyContains(std::string_view haystackKey, std::string_view needleKey);

} // namespace jet
