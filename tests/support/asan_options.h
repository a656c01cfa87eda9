#pragma once
// Included once by each test main (and by the tests that must know whether
// they run under the sanitizers: TESSALY_ASAN_BUILD). Under AddressSanitizer,
// freed memory is filled: a Qt object deleted while Qt's own code (which the
// sanitizer does not instrument) still uses it then fails at once, instead
// of being read intact from the sanitizer's quarantine.
#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define TESSALY_ASAN_BUILD 1
#endif
#endif
#if defined(__SANITIZE_ADDRESS__)
#define TESSALY_ASAN_BUILD 1
#endif

#ifdef TESSALY_ASAN_BUILD
extern "C" const char* __asan_default_options();
extern "C" __attribute__((used, visibility("default"))) const char* __asan_default_options() {
    return "max_free_fill_size=4096:free_fill_byte=255";
}
#endif
