#include "fake_amsi.h"

#include <algorithm>
#include <stdexcept>

#include "common/eicar.h"

namespace amsitest {
namespace {

uintptr_t Id(const void* handle) { return reinterpret_cast<uintptr_t>(handle); }
std::string Number(const void* handle) { return std::to_string(Id(handle)); }

std::string Narrow(const std::u16string& wide) {
    std::string narrow;
    for (char16_t c : wide) narrow.push_back(static_cast<char>(c));
    return narrow;
}

bool EndsWith(const std::string& text, const std::string& tail) {
    return text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

}  // namespace

HResult FakeAmsi::Initialize(const std::u16string& name, AmsiContext* context) {
    appName = name;
    if (Failed(initializeAnswer)) return initializeAnswer;
    *context = reinterpret_cast<AmsiContext>(++nextHandle_);
    log.push_back("init " + Number(*context));
    ++openContexts;
    return kOk;
}

void FakeAmsi::Uninitialize(AmsiContext context) {
    log.push_back("uninit " + Number(context));
    --openContexts;
}

HResult FakeAmsi::OpenSession(AmsiContext context, AmsiSession* session) {
    if (Failed(openAnswer)) return openAnswer;
    *session = reinterpret_cast<AmsiSession>(++nextHandle_);
    log.push_back("open " + Number(context) + "/" + Number(*session));
    ++openSessions;
    return kOk;
}

void FakeAmsi::CloseSession(AmsiContext context, AmsiSession session) {
    log.push_back("close " + Number(context) + "/" + Number(session));
    --openSessions;
}

HResult FakeAmsi::ScanBuffer(AmsiContext context, const SharedBytes& buffer, const std::u16string& contentName,
                             AmsiSession session, uint32_t* result, Deadline deadline) {
    const std::string name = Narrow(contentName);
    scans.push_back(ScanCall{Id(context), Id(session), name, buffer->size(), deadline});
    const bool targeted = failOn.empty() || EndsWith(name, failOn);
    if (targeted && throwOnScan) throw std::runtime_error("provider fault");
    if (targeted && hangOnScan) return kTimedOut;
    if (targeted && Failed(scanAnswer)) return scanAnswer;
    if (rule) {
        *result = rule(name, *buffer);
    } else {
        const std::string eicar = EicarText();
        const bool holds = std::search(buffer->begin(), buffer->end(), eicar.begin(), eicar.end()) != buffer->end();
        *result = holds ? kAmsiResultDetected : kAmsiResultNotDetected;
    }
    return kOk;
}

HResult FakeAmsi::ScanString(AmsiContext, const std::u16string&, const std::u16string&, AmsiSession, uint32_t*,
                             Deadline) {
    return kFail;  // the engine sends buffers only
}

bool RecordedTrace::Holds(const std::string& part) const {
    return std::any_of(lines.begin(), lines.end(),
                       [&](const std::string& line) { return line.find(part) != std::string::npos; });
}

Provider DefenderLike() {
    return Provider{"{2781761E-28E0-4109-99FE-B9D127C57AFE}", "Microsoft Defender Antimalware", "C:\\x86\\MpOav.dll"};
}

}  // namespace amsitest
