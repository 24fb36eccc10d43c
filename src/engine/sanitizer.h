// Whether this build runs under AddressSanitizer, as g++ (__SANITIZE_ADDRESS__) and clang
// (__has_feature) each say it: SPELL_CHECKER_ASAN for the preprocessor, kUnderAddressSanitizer
// for code.
#ifndef SPELL_CHECKER_ENGINE_SANITIZER_H_
#define SPELL_CHECKER_ENGINE_SANITIZER_H_

#if defined(__SANITIZE_ADDRESS__)
#define SPELL_CHECKER_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define SPELL_CHECKER_ASAN 1
#endif
#endif
#ifndef SPELL_CHECKER_ASAN
#define SPELL_CHECKER_ASAN 0
#endif

constexpr bool kUnderAddressSanitizer = SPELL_CHECKER_ASAN;

#endif  // SPELL_CHECKER_ENGINE_SANITIZER_H_
