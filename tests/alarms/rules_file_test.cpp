// The rules file: every key of every section, the INI manners of the
// settings file, and each error naming its line.
#include <gtest/gtest.h>

#include <functional>

#include "alarm_engine.h"

namespace tessaly::alarms {
namespace {

struct Case {
    const char* name;
    std::string text;
    std::string error;  // empty: parses
    std::function<void(const Rules&)> check = [](const Rules&) {};
};

void same_as_defaults_but(const Rules& r, const char* rule, RuleConfig want) {
    for (const auto& [name, c] : Rules::defaults().rules) {
        const RuleConfig& got = r[name];
        const RuleConfig& expected = name == rule ? want : c;
        EXPECT_EQ(std::tuple(got.enabled, got.limit, got.fail, got.recover),
                  std::tuple(expected.enabled, expected.limit, expected.fail, expected.recover))
            << name;
    }
}

class RulesFile : public ::testing::TestWithParam<Case> {};

TEST_P(RulesFile, Parses) {
    std::string error;
    const auto rules = parse_rules(GetParam().text, error);
    EXPECT_EQ(error, GetParam().error);
    EXPECT_EQ(bool(rules), GetParam().error.empty());
    if (rules) GetParam().check(*rules);
}

INSTANTIATE_TEST_SUITE_P(Texts, RulesFile, ::testing::Values(
    Case{"EmptyIsTheDefaults", "", "", [](const Rules& r) {
        EXPECT_EQ(r.rules.size(), AlarmEngine::rule_names().size());
        same_as_defaults_but(r, "", {});
        EXPECT_EQ(std::tuple(r["age"].limit, r["age"].fail, r["age"].recover), std::tuple(30.0, 0.0, 30.0));
        EXPECT_EQ(r.sync_loss_limit, 5);
        EXPECT_FALSE(r.reference);
        EXPECT_TRUE(r.expect.empty());
    }},
    Case{"EveryKeyOfARule", "[age]\nlimit=45\nfail=5\nrecover=60.5\nenabled=false\n", "",
         [](const Rules& r) { same_as_defaults_but(r, "age", {false, 45, 5, 60.5}); }},
    Case{"InTheSettingsManner", "\xEF\xBB\xBF; a comment\r\n# another\r\n\r\n  [ prc ]  \r\nlimit = \"150\"\r\nenabled=1",
         "", [](const Rules& r) { same_as_defaults_but(r, "prc", {true, 150, 0, 30}); }},
    Case{"UdreIsTheSatellitesRule", "[udre]\nlimit=5\n", "",
         [](const Rules& r) { same_as_defaults_but(r, "satellites", {true, 5, 10, 30}); }},
    Case{"ReferenceExpectAndSyncLosses",
         "[position]\nreference=3875000.5,-1085000,4947000.25\n[missing]\nexpect=1(6), 3(60),16,31(2.5)\n"
         "[parity]\nsync_losses=3\n",
         "", [](const Rules& r) {
             EXPECT_EQ(*r.reference, (std::vector<double>{3875000.5, -1085000, 4947000.25}));
             ASSERT_EQ(r.expect.size(), 3u);
             EXPECT_EQ(std::tuple(r.expect[0].type, r.expect[1].interval, r.expect[2].type, r.expect[2].interval),
                       std::tuple(1, 60.0, 31, 2.5));
             EXPECT_EQ(r.sync_loss_limit, 3);
         }},
    Case{"UnknownSection", "[age]\n[ages]\n", "line 2: unknown section [ages]"},
    Case{"UnclosedSection", "[age\n", "line 1: a section name must end with ]"},
    Case{"KeyOutsideASection", "\nlimit=3\n", "line 2: 'limit' is outside a section"},
    Case{"NoEqualsSign", "[age]\nlimit\n", "line 2: expected key=value"},
    Case{"NotANumber", "[age]\nlimit=3x\n", "line 2: limit: '3x' is not a number"},
    Case{"NotANumberEither", "[age]\nfail=nan\n", "line 2: fail: 'nan' is not a number"},
    Case{"Negative", "[age]\n\nrecover=-1\n", "line 3: recover: must not be negative"},
    Case{"NotAFlag", "[age]\nenabled=yes\n", "line 2: enabled: 'yes' is not true or false"},
    Case{"KeyOfAnotherSection", "[age]\nreference=1,2,3\n", "line 2: unknown key 'reference' in [age]"},
    Case{"TwoCoordinates", "[position]\nreference=1,2\n", "line 2: reference: '1,2' is not X,Y,Z in metres"},
    Case{"FourCoordinates", "[position]\nreference=1,2,3,4\n", "line 2: reference: '1,2,3,4' is not X,Y,Z in metres"},
    Case{"BadType", "[missing]\nexpect=1(6),64(3)\n",
         "line 2: expect: '64(3)' is not an RTCM 2 message type (1 to 63) with its interval, as in 1(6)"},
    Case{"NoInterval", "[missing]\nexpect=1(0)\n", "line 2: expect: '1(0)' has no interval in seconds above 0"},
    Case{"Unclosed", "[missing]\nexpect=1(6\n", "line 2: expect: '1(6' lacks its closing parenthesis"}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace tessaly::alarms
