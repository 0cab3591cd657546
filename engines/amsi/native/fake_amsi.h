// A fake of the documented AMSI functions for the engine's tests: it
// records every call (contexts, sessions, content names, lengths), answers
// by a rule over the bytes, and fails, throws or "hangs" where told.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "amsi_api.h"
#include "amsi_detector.h"

namespace amsitest {

using namespace amsiengine;

struct ScanCall {
    uintptr_t context;
    uintptr_t session;
    std::string name;  // the content name, narrowed back
    size_t length;
    Deadline deadline;
};

class FakeAmsi : public AmsiApi {
public:
    HResult Initialize(const std::u16string& appName, AmsiContext* context) override;
    void Uninitialize(AmsiContext context) override;
    HResult OpenSession(AmsiContext context, AmsiSession* session) override;
    void CloseSession(AmsiContext context, AmsiSession session) override;
    HResult ScanBuffer(AmsiContext context, const SharedBytes& buffer, const std::u16string& contentName,
                       AmsiSession session, uint32_t* result, Deadline deadline) override;
    HResult ScanString(AmsiContext context, const std::u16string& text, const std::u16string& contentName,
                       AmsiSession session, uint32_t* result, Deadline deadline) override;

    // The AMSI_RESULT for a buffer; by default DETECTED for bytes holding
    // the anti-virus test file, NOT_DETECTED for the rest.
    std::function<uint32_t(const std::string& name, const std::vector<unsigned char>& bytes)> rule;
    HResult initializeAnswer = kOk;
    HResult openAnswer = kOk;
    HResult scanAnswer = kOk;  // for the scans whose content name ends in failOn (all when empty)
    std::string failOn;
    bool throwOnScan = false;
    bool hangOnScan = false;  // answers kTimedOut, as the Windows side does at the deadline

    std::u16string appName;
    std::vector<std::string> log;  // "init 1", "open 1/2", "close 1/2", "uninit 1"
    std::vector<ScanCall> scans;
    int openContexts = 0;
    int openSessions = 0;

private:
    uintptr_t nextHandle_ = 0;
};

class FakeProviders : public ProviderList {
public:
    bool List(std::vector<Provider>& providers, std::string& why) override {
        providers = registered;
        why = reason;
        return readable;
    }
    std::vector<Provider> registered;
    bool readable = true;
    std::string reason;
};

class RecordedTrace : public TraceSink {
public:
    void Line(const std::string& text) override { lines.push_back(text); }
    bool Holds(const std::string& part) const;
    std::vector<std::string> lines;
};

Provider DefenderLike();

}  // namespace amsitest
