// The anti-malware providers registered with AMSI, as the 32-bit amsi.dll
// of this 32-bit process would load them: the CLSIDs under
// HKLM\SOFTWARE\Microsoft\AMSI\Providers, each with an in-process server
// file that exists, read in the registry's 32-bit view.
#pragma once

#include <string>
#include <vector>

#include "amsi_api.h"
#include "amsi_detector.h"
#include "windows_amsi.h"

namespace amsiengine {

class RegistryProviders : public ProviderList {
public:
    RegistryProviders(const WindowsAmsi& amsi, TraceSink& trace) : amsi_(amsi), trace_(trace) {}
    bool List(std::vector<Provider>& providers, std::string& why) override;

private:
    const WindowsAmsi& amsi_;
    TraceSink& trace_;
};

}  // namespace amsiengine
