// Checking files and memory blocks, walking archives, curing.
#pragma once

#include <cstdint>
#include <string>

// Results of the check and cure entry points.
constexpr int32_t BavResultOk = 0;
constexpr int32_t BavResultInfected = 1;
constexpr int32_t BavResultSuspicious = 2;
constexpr int32_t BavResultNotSupported = -1;
constexpr int32_t BavResultFailed = -3;

// The host's StatusText buffer holds at least this many bytes.
constexpr int kStatusTextSize = 286;

// A bounded copy into the host's StatusText buffer.
void WriteStatusText(char* statusText, const std::string& text);

int32_t CheckFile(const std::string& objectName, char* statusText);
int32_t CureFile(const std::string& fileName, char* statusText);
int32_t CheckMemory(uint32_t address, int32_t size, char* statusText);
