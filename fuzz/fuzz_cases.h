// The two kinds of fuzzer input. Any jet::Error is fine; a crash, a
// sanitizer report, a hang, any other exception or a file left
// inconsistent is a bug.
#pragma once

#include <cstddef>
#include <cstdint>

// Magic of a write script: anything else is read as a database file.
constexpr char kJet3WriteScript[] = "velmor-jet3-write\n";

// The bytes as a database file: every value of every table read, then the
// whole file checked.
void fuzzReadFile(const uint8_t* data, size_t size);

// The bytes (after the magic) as a script of writes to an Access 97 file.
void fuzzJet3Writes(const uint8_t* data, size_t size);
