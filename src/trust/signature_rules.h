// Platform-free rule of the setup's Authenticode signature: a bootstrapper
// that carries a signature runs only a setup signed by its own publisher, so
// that whoever controls the update host can make an install fail but never
// run a program of their own.
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

// What the running exe's own file says of its signature. Being signed means
// carrying a signature, not verifying here: a root missing from this
// machine's store, a system without SHA-2 support, an expired certificate or
// a wintrust that fails to load must never let a signed release run any setup.
struct OwnSignature {
    bool carried = false;          // the exe carries a signature at all
    std::string subject;           // its signer's, read from the file; empty when unreadable
    std::string name;              // the signer's simple display name
    std::uint32_t read_code = 0;   // why the signer could not be read
    std::uint32_t trust_code = 0;  // WinVerifyTrust's answer here: for the log, never for the rule
};

// Passes when the exe carries no signature (development builds), or when the
// setup's signature is valid and its signer's subject equals the exe's own,
// which must have been read. A refusal keeps WinVerifyTrust's code.
[[nodiscard]] Status check_setup_signature(const OwnSignature& own, const Signature& setup);
