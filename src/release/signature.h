// The Authenticode signatures of the running exe and of the stored setup,
// read by WinVerifyTrust (wintrust and crypt32 from System32).
#pragma once

#include <windows.h>

#include "release/signature_rules.h"

// The signature of the open file at `path`, checked through the handle,
// without UI and without fetching anything from the network: revocation is
// not checked, and URLs are read from the local cache only.
[[nodiscard]] Signature file_signature(HANDLE file, const wchar_t* path);

// The setup's signer check, through the held file: passes, or refuses with
// one of the texts of signature_rules.h. The bootstrapper's own signature is
// read the first time it is needed. What it found goes to the log.
[[nodiscard]] Status check_setup_signer(HANDLE held, const wchar_t* path);

// Reads the running exe's own signature. The entry point calls it once,
// before any worker starts; workers only read what it found.
void note_own_signature();

// What note_own_signature found; not valid before it ran.
[[nodiscard]] const Signature& own_signature();
