// The walk's detector that asks the anti-malware provider through AMSI:
// every object whole, and every member the walk unpacks, each under its
// name in the walk, all of one check in one AMSI session.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "amsi_api.h"
#include "amsi_config.h"
#include "detect/detector.h"

namespace amsiengine {

// Where the engine's trace lines go (a debugger's output on Windows).
class TraceSink {
public:
    virtual ~TraceSink() = default;
    virtual void Line(const std::string& text) = 0;
};

// Find names.
constexpr char kDetectedName[] = "AMSI.Detected";
constexpr char kBlockedByAdminName[] = "AMSI.BlockedByAdmin";
// The application name the provider sees.
constexpr char16_t kAppName[] = u"Orlix for TheBAT!";
// Contexts left to calls that never answered; past this many, every check
// fails until the next binding, rather than leave more threads behind.
constexpr int kMaxAbandonedContexts = 4;

// One HAMSICONTEXT, uninitialized when it goes unless a call that timed out
// may still be using it.
class AmsiContextHandle {
public:
    AmsiContextHandle(AmsiApi& api, AmsiContext context) : api_(api), context_(context) {}
    ~AmsiContextHandle() {
        if (context_) api_.Uninitialize(context_);
    }
    AmsiContextHandle(const AmsiContextHandle&) = delete;
    AmsiContextHandle& operator=(const AmsiContextHandle&) = delete;
    AmsiContext get() const { return context_; }
    void Abandon() { context_ = nullptr; }

private:
    AmsiApi& api_;
    AmsiContext context_;
};

// One HAMSISESSION of a context, closed when it goes (unless abandoned).
class AmsiSessionHandle {
public:
    AmsiSessionHandle(AmsiApi& api, AmsiContext context, AmsiSession session)
        : api_(api), context_(context), session_(session) {}
    ~AmsiSessionHandle() {
        if (context_) api_.CloseSession(context_, session_);
    }
    AmsiSessionHandle(const AmsiSessionHandle&) = delete;
    AmsiSessionHandle& operator=(const AmsiSessionHandle&) = delete;
    AmsiSession get() const { return session_; }
    void Abandon() { context_ = nullptr; }

private:
    AmsiApi& api_;
    AmsiContext context_;
    AmsiSession session_;
};

class AmsiDetector : public refengine::Detector {
public:
    AmsiDetector(AmsiApi& api, const Settings& settings, TraceSink& trace)
        : api_(api), settings_(settings), trace_(trace) {}
    ~AmsiDetector() override;
    AmsiDetector(const AmsiDetector&) = delete;
    AmsiDetector& operator=(const AmsiDetector&) = delete;

    // Without a provider AMSI answers "not detected" for everything: until
    // one is known, every check fails.
    void SetReady(bool ready) { ready_ = ready; }

    void BeginCheck() override;
    std::unique_ptr<refengine::Inspection> Inspect(const refengine::InspectedObject& object) override;

    // Sends one object's bytes: 0 with finding set or not, or the contract's
    // error bits when it could not be judged.
    uint32_t Scan(const std::string& name, const SharedBytes& bytes, std::unique_ptr<refengine::Finding>& finding);
    // The reason a check or object cannot be sent, for the trace; the
    // answer is the error bits.
    uint32_t Refuse(const std::string& name, const std::string& why);
    const Settings& settings() const { return settings_; }
    bool ready() const { return ready_; }

private:
    bool OpenContext();
    // A call timed out: what it holds is never closed under it.
    void AbandonContext();
    void EndSession();

    AmsiApi& api_;
    const Settings& settings_;
    TraceSink& trace_;
    bool ready_ = false;
    std::unique_ptr<AmsiContextHandle> context_;
    std::unique_ptr<AmsiSessionHandle> session_;
    std::string checkFailure_;  // why this check cannot be sent, empty when it can
    Deadline deadline_{};
    int abandoned_ = 0;
};

}  // namespace amsiengine
