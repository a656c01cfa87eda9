#include "json_check.h"

#include <nlohmann/json.hpp>

bool parses_as_json_object(const std::string& text) {
    const auto value = nlohmann::json::parse(text, nullptr, false);
    return !value.is_discarded() && value.is_object();
}
