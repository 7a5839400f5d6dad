// The "Plural-Forms" rule on arbitrary header values: parsing, evaluation for
// a spread of counts (the wrap-around ends among them), and the choice of a
// form, which must always name one of the entry's forms.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "translation/PluralForms.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using translator::TPluralForms;
    const TPluralForms rule =
        TPluralForms::Parse(std::string_view(reinterpret_cast<const char*>(data), size));
    if (rule.Valid() && (rule.nplurals() == 0 || rule.nplurals() > translator::kMaxPluralForms))
        std::abort();
    for (uint64_t n : {uint64_t{0}, uint64_t{1}, uint64_t{2}, uint64_t{5}, uint64_t{11},
                       uint64_t{101}, uint64_t{1000}, uint64_t{size}, ~uint64_t{0}}) {
        uint64_t value = 0;
        const bool evaluated = rule.Evaluate(n, value);
        for (uint32_t forms = 1; forms <= 7; ++forms) {
            const uint32_t chosen = rule.Choose(n, forms);
            if (chosen >= forms) std::abort();
            // A rule that can be taken for n and names one of the entry's forms is obeyed.
            if (evaluated && rule.nplurals() <= forms && value < rule.nplurals() && chosen != value)
                std::abort();
        }
    }
    return 0;
}
