#pragma once
// Whether a text is one JSON object, by an independent parser. Compiled
// without coverage feedback: the fuzzer is to explore our writer, not it.
#include <string>

bool parses_as_json_object(const std::string& text);
