#pragma once

#include <functional>

namespace tessaly::test {

// Runs the event loop until `done` holds or 5 s have passed; false then.
bool spin_until(const std::function<bool()>& done, int limit_ms = 5000);

}  // namespace tessaly::test
