// Arbitrary bytes as a rules file: parsing must not crash; what it accepts
// holds every rule with finite limits and delays that are not negative, and
// a sensible reference; what it refuses is named by a line of the text. The
// same bytes as a sourcetable's format details: a list of RTCM 2 types with
// intervals above 0, or a reason.
#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "alarm_engine.h"

using namespace tessaly::alarms;

namespace {

[[noreturn]] void fail(const char* what) {
    std::fprintf(stderr, "%s\n", what);
    std::abort();
}

bool sound(double v) { return std::isfinite(v) && v >= 0; }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    std::string error;
    if (const auto rules = parse_rules(text, error)) {
        if (!error.empty()) fail("an accepted file came with an error");
        if (rules->rules.size() != AlarmEngine::rule_names().size()) fail("a rule is missing");
        for (const auto& name : AlarmEngine::rule_names()) {
            const RuleConfig& c = (*rules)[name];
            if (!sound(c.limit) || !sound(c.fail) || !sound(c.recover)) fail("a limit or delay is not a number >= 0");
        }
        if (rules->reference && (rules->reference->size() != 3 || !std::isfinite((*rules->reference)[0])))
            fail("a reference that is no X,Y,Z");
        if (!sound(rules->sync_loss_limit)) fail("a sync loss limit that is not a number >= 0");
    } else {
        const auto lines = std::size_t(std::count(text.begin(), text.end(), '\n')) + 1;
        std::size_t line = 0;
        if (std::sscanf(error.c_str(), "line %zu: ", &line) != 1 || line < 1 || line > lines)
            fail("a refusal that names no line of the text");
    }
    error.clear();
    if (const auto list = parse_expected(text, error)) {
        for (const Expected& e : *list)
            if (e.type < 1 || e.type > 63 || !(e.interval > 0) || !std::isfinite(e.interval)) fail("a bad expected type");
    } else if (error.empty()) {
        fail("a refused list without a reason");
    }
    return 0;
}
