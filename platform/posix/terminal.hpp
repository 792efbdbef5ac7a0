#pragma once

namespace ravlin {

// Whether a person can answer at the terminal: standard input is one.
bool StandardInputIsTerminal();

}  // namespace ravlin
