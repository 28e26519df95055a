// The output collected and not yet sent, shared by the output functions and the
// platform's flush. Nothing outside the terminal layer touches it.
#pragma once

#include <string>

extern std::string outputBuffer;
