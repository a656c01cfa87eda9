#pragma once
// The alarm rules' settings: limits, failure and recovery delays, switches,
// and the expected message types. Read from a rules file in the settings'
// INI format:
//
//   [age]
//   limit=30
//   fail=0
//   recover=30
//   enabled=true
//
//   [position]
//   reference=3875000.00,1085000.00,4947000.00
//
//   [missing]
//   expect=1(6),3(60)
//
// Defaults are what a maritime DGNSS service starts from. No Qt.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tessaly::alarms {

struct RuleConfig {
    bool enabled = true;
    double limit = 0;    // the rule's figure, in the unit its detail line names
    double fail = 0;     // s the condition must hold before the alarm begins
    double recover = 0;  // s the condition must stay clear before it ends
};

// A message type and its interval in seconds: "1(6)" in the sourcetable's
// format-details notation.
struct Expected {
    int type = 0;
    double interval = 0;
};

struct Rules {
    // name → settings, for every rule in AlarmEngine::rule_names().
    std::vector<std::pair<std::string, RuleConfig>> rules;
    std::optional<std::vector<double>> reference;  // position: X, Y, Z in metres
    std::vector<Expected> expect;                  // missing: from the rules file
    double sync_loss_limit = 0;                    // parity: sync losses per minute

    const RuleConfig& operator[](std::string_view name) const;
    RuleConfig& operator[](std::string_view name);
    static Rules defaults();
};

// Parses a rules file; unknown sections and keys, and values that are not
// numbers, are errors naming the line. Defaults for everything not given.
std::optional<Rules> parse_rules(std::string_view text, std::string& error);

// "1(6),3(60)" → {{1, 6}, {3, 60}}; types without an interval are skipped.
// Nothing (and `error` set) for text that is not such a list.
std::optional<std::vector<Expected>> parse_expected(std::string_view text, std::string& error);

}  // namespace tessaly::alarms
