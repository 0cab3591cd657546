// The anti-virus test file, put together at run time so that no file of
// the project holds it in one piece.
#pragma once

#include <string>

std::string EicarText();
