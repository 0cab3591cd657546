#include "signature_detector.h"

#include "stream_scanner.h"

namespace refengine {
namespace {

class SignatureInspection : public Inspection {
public:
    SignatureInspection(const Database& database, const InspectedObject& object)
        : scanner_(database, object.size, object.sizeKnown) {}

    bool Feed(const unsigned char* bytes, size_t count) override {
        if (!scanner_.Feed(bytes, count)) {
            Settle();
            return false;
        }
        return true;
    }
    uint32_t Finish() override {
        if (!finding_) {
            scanner_.Finish();
            Settle();
        }
        return 0;
    }
    const Finding* found() const override { return finding_ ? &*finding_ : nullptr; }

private:
    void Settle() {
        if (!scanner_.found()) return;
        finding_.reset(new Finding);
        finding_->flags = scanner_.verdict().flags;
        finding_->name = scanner_.verdict().name;
        finding_->curable = scanner_.verdict().curable;
        finding_->cutAt = scanner_.matchStart();
        finding_->cutKnown = scanner_.matchStartKnown();
    }

    StreamScanner scanner_;
    std::unique_ptr<Finding> finding_;
};

}  // namespace

std::unique_ptr<Inspection> SignatureDetector::Inspect(const InspectedObject& object) {
    return std::unique_ptr<Inspection>(new SignatureInspection(database_, object));
}

}  // namespace refengine
