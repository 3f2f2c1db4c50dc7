// The operating system's error codes (errno) in French, for the messages the
// engine's errors carry: the C library's own texts follow the process's
// locale and are English on most machines.
#pragma once

#include <string>

namespace jet::detail {

// "permission refusée", "plus de place sur le disque", ...; a code without a
// French text gives "erreur système N (the C library's text)".
std::string systemErrorText(int code);

} // namespace jet::detail
