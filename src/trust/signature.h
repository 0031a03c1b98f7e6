// The Authenticode signatures of the running exe and of the stored setup,
// read by WinVerifyTrust and crypt32 (both from System32).
#pragma once

#include <windows.h>

#include "trust/signature_rules.h"

// The signature of the open file at `path`, checked through the handle,
// without UI and without fetching anything from the network: revocation is
// not checked, and URLs are read from the local cache only.
[[nodiscard]] Signature file_signature(HANDLE file, const wchar_t* path);

// The setup's signer check, through the held file: passes, or refuses with
// one of the texts of signature_rules.h. What the bootstrapper's own file
// says of its signature is read the first time any worker asks, once for the
// whole run, and goes to the log; it is never freed.
[[nodiscard]] Status check_setup_signer(HANDLE held, const wchar_t* path);
