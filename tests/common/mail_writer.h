// Encodings mail carries files in, written for tests and fuzz seeds.
#pragma once

#include <string>

// Base64 in lines of lineLength letters, each ended by LF.
std::string Base64(const std::string& bytes, size_t lineLength = 76);
// A classic uuencoded block named name; withEnd false leaves off its end.
std::string Uuencode(const std::string& name, const std::string& bytes, bool withEnd = true);
// A BinHex 4.0 text of one file with its two forks (0x90 escaped, no runs).
std::string BinHex(const std::string& name, const std::string& data, const std::string& resource = "");
