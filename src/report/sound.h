// The alert sounds: a new alert always cuts off the one before.
#pragma once

#include <string>

void PlayAlertSound(const std::string& soundFile);
