#include "codecs/lzma/lzma_models.h"

#include <cstddef>

namespace refengine {
namespace lzma {

namespace {

void Fill(Probability& p) { p = kProbabilityInit; }
template <typename T, size_t N>
void Fill(T (&table)[N]) {
    for (auto& entry : table) Fill(entry);
}

void Reset(LengthModel& m) {
    Fill(m.choice);
    Fill(m.choice2);
    Fill(m.low);
    Fill(m.mid);
    Fill(m.high);
}

}  // namespace

void LzmaModels::Reset() {
    Fill(isMatch);
    Fill(isRep);
    Fill(isRepG0);
    Fill(isRepG1);
    Fill(isRepG2);
    Fill(isRep0Long);
    Fill(slot);
    Fill(special);
    Fill(align);
    lzma::Reset(matchLength);
    lzma::Reset(repLength);
}

}  // namespace lzma
}  // namespace refengine
