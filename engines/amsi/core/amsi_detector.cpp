#include "amsi_detector.h"

#include <cstdio>
#include <new>
#include <vector>

#include "orlix/contract.h"

namespace amsiengine {
namespace {

using refengine::Finding;
using refengine::InspectedObject;
using refengine::Inspection;

// What a check that could not be judged answers: for a top-level object the
// walk turns it into -1, a member carries it as its own answer.
constexpr uint32_t kNotJudged = orlix::ResultReadError;

std::string Hex(uint32_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%X", value);
    return text;
}

// An object's bytes, kept until all are in: AMSI takes one buffer.
class AmsiInspection : public Inspection {
public:
    AmsiInspection(AmsiDetector& detector, const InspectedObject& object)
        : detector_(detector), name_(object.name), bytes_(std::make_shared<std::vector<unsigned char>>()) {
        const Settings& settings = detector.settings();
        if (object.member && !settings.members) {
            failure_ = detector.Refuse(name_, "members are not sent (members off)");
        } else if (object.sizeKnown && object.size > settings.maxObject) {
            failure_ = TooLarge(object.size);
        } else if (object.sizeKnown) {
            Reserve(object.size);
        }
    }

    bool Feed(const unsigned char* bytes, size_t count) override {
        if (failure_) return false;
        if (count > detector_.settings().maxObject - bytes_->size()) {
            failure_ = TooLarge(bytes_->size() + count);
            return false;
        }
        try {
            bytes_->insert(bytes_->end(), bytes, bytes + count);
        } catch (const std::bad_alloc&) {
            failure_ =
                detector_.Refuse(name_, "out of memory for " + std::to_string(bytes_->size() + count) + " bytes");
            return false;
        }
        return true;
    }

    uint32_t Finish() override {
        if (!failure_ && !finished_) failure_ = detector_.Scan(name_, bytes_, finding_);
        finished_ = true;
        bytes_.reset();
        return failure_;
    }

    const Finding* found() const override { return finding_.get(); }

private:
    uint32_t TooLarge(uint64_t size) {
        bytes_->clear();
        return detector_.Refuse(
            name_, std::to_string(size) + " bytes, above max-object " + std::to_string(detector_.settings().maxObject));
    }
    void Reserve(uint64_t size) {
        try {
            bytes_->reserve(static_cast<size_t>(size));
        } catch (const std::exception&) {
            // Grown as it is fed; a failure then fails the object.
        }
    }

    AmsiDetector& detector_;
    std::string name_;
    std::shared_ptr<std::vector<unsigned char>> bytes_;
    uint32_t failure_ = 0;
    bool finished_ = false;
    std::unique_ptr<Finding> finding_;
};

}  // namespace

AmsiDetector::~AmsiDetector() {
    session_.reset();
    context_.reset();
}

bool AmsiDetector::OpenContext() {
    if (context_) return true;
    if (abandoned_ >= kMaxAbandonedContexts) {
        checkFailure_ = std::to_string(abandoned_) + " AMSI calls never answered: no more checks until reloaded";
        return false;
    }
    AmsiContext context = nullptr;
    HResult result;
    try {
        result = api_.Initialize(kAppName, &context);
    } catch (...) {
        checkFailure_ = "AmsiInitialize threw";
        return false;
    }
    if (Failed(result) || !context) {
        checkFailure_ = "AmsiInitialize failed: " + Hex(static_cast<uint32_t>(result));
        // A context asked for and not answered in time stays with its call.
        if (result == kTimedOut) ++abandoned_;
        return false;
    }
    context_.reset(new AmsiContextHandle(api_, context));
    return true;
}

void AmsiDetector::AbandonContext() {
    if (session_) session_->Abandon();
    session_.reset();
    if (context_) context_->Abandon();
    context_.reset();
    ++abandoned_;
}

void AmsiDetector::EndSession() {
    if (!session_) return;
    try {
        session_.reset();
    } catch (...) {
        // A provider that throws while closing leaves nothing to close.
    }
}

void AmsiDetector::BeginCheck() {
    EndSession();
    checkFailure_.clear();
    deadline_ = Clock::now() + std::chrono::milliseconds(settings_.checkMilliseconds);
    if (!ready_) {
        checkFailure_ = "no anti-malware provider registered with AMSI";
        return;
    }
    if (!OpenContext()) return;
    AmsiSession session = nullptr;
    HResult result;
    try {
        result = api_.OpenSession(context_->get(), &session);
    } catch (...) {
        checkFailure_ = "AmsiOpenSession threw";
        return;
    }
    if (Failed(result)) {
        checkFailure_ = "AmsiOpenSession failed: " + Hex(static_cast<uint32_t>(result));
        if (result == kTimedOut) AbandonContext();
        return;
    }
    session_.reset(new AmsiSessionHandle(api_, context_->get(), session));
}

std::unique_ptr<Inspection> AmsiDetector::Inspect(const InspectedObject& object) {
    return std::unique_ptr<Inspection>(new AmsiInspection(*this, object));
}

uint32_t AmsiDetector::Refuse(const std::string& name, const std::string& why) {
    trace_.Line(name + ": not checked: " + why);
    return kNotJudged;
}

uint32_t AmsiDetector::Scan(const std::string& name, const SharedBytes& bytes, std::unique_ptr<Finding>& finding) {
    if (!checkFailure_.empty()) return Refuse(name, checkFailure_);
    if (!session_) return Refuse(name, "no AMSI session");
    // Nothing to judge; AMSI refuses an empty buffer.
    if (bytes->empty()) return 0;
    if (Clock::now() >= deadline_) return Refuse(name, "time-limit reached");
    uint32_t answer = 0;
    HResult result;
    try {
        result = api_.ScanBuffer(context_->get(), bytes, api_.Widen(name), session_->get(), &answer, deadline_);
    } catch (...) {
        return Refuse(name, "AmsiScanBuffer threw");
    }
    if (result == kTimedOut) {
        AbandonContext();
        checkFailure_ = "an earlier AmsiScanBuffer of this check timed out";
        return Refuse(name, "AmsiScanBuffer did not answer within time-limit");
    }
    if (Failed(result)) return Refuse(name, "AmsiScanBuffer failed: " + Hex(static_cast<uint32_t>(result)));
    const AmsiVerdict verdict = ClassifyResult(answer);
    if (verdict == AmsiVerdict::Clean) {
        // Values besides the two documented clean ones are worth a line.
        if (answer != kAmsiResultClean && answer != kAmsiResultNotDetected)
            trace_.Line(name + ": AMSI_RESULT " + Hex(answer) + ", taken as clean");
        return 0;
    }
    finding.reset(new Finding);
    finding->curable = false;
    if (verdict == AmsiVerdict::Detected) {
        finding->flags = orlix::ResultInfected;
        finding->name = kDetectedName;
    } else {
        finding->flags = orlix::ResultProbablyInfected;
        finding->name = kBlockedByAdminName;
    }
    trace_.Line(name + ": " + finding->name + " (AMSI_RESULT " + Hex(answer) + ")");
    return 0;
}

}  // namespace amsiengine
