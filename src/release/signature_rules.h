// Platform-free rule of the setup's Authenticode signature: a bootstrapper
// that carries a valid signature runs only a setup signed by its own
// publisher, so that whoever controls the update host can make an install
// fail but never run a program of their own.
#pragma once

#include <cstdint>
#include <string>

#include "base/result.h"

// WinVerifyTrust's answer for a file that carries no signature at all.
inline constexpr std::uint32_t kTrustNoSignature = 0x800B0100;

inline constexpr const char* kSetupNotSigned = "Setup program is not signed.";
inline constexpr const char* kSetupSignatureInvalid = "Setup program's signature is not valid.";

// What WinVerifyTrust said of one file.
struct Signature {
    std::uint32_t trust_code = kTrustNoSignature;  // 0: a valid signature
    std::string subject;                           // the signer certificate's encoded subject name
    std::string name;                              // its simple display name, for the window
    [[nodiscard]] bool valid() const { return trust_code == 0; }
};

// Passes when `own` is not valid (development builds are unsigned), or when
// the setup's signature is valid and its signer's subject equals our own.
// A refusal keeps WinVerifyTrust's code.
[[nodiscard]] Status check_setup_signature(const Signature& own, const Signature& setup);
