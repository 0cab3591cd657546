// The signature matcher as the walk's detector: every object and member is
// matched against the loaded records as it is fed.
#pragma once

#include <memory>

#include "database.h"
#include "detect/detector.h"

namespace refengine {

class SignatureDetector : public Detector {
public:
    explicit SignatureDetector(Database& database) : database_(database) {}
    // Builds what the bases loaded since the last check need.
    void BeginCheck() override { database_.Finish(); }
    std::unique_ptr<Inspection> Inspect(const InspectedObject& object) override;

private:
    Database& database_;
};

}  // namespace refengine
