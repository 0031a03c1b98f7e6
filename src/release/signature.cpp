#include "release/signature.h"

#include <softpub.h>

#include <iterator>

#include "support/log.h"
#include "text/utf.h"
#include "win32/handles.h"
#include "win32/system_library.h"

namespace {

Signature own;

// The signer certificate's subject, as encoded and as a display name.
void read_signer(HANDLE state, Signature& signature) {
    CRYPT_PROVIDER_DATA* const provider = ::WTHelperProvDataFromStateData(state);
    CRYPT_PROVIDER_SGNR* const signer =
        provider ? ::WTHelperGetProvSignerFromChain(provider, 0, FALSE, 0) : nullptr;
    if (signer == nullptr || signer->csCertChain == 0 || !signer->pasCertChain[0].pCert) {
        signature.trust_code = static_cast<std::uint32_t>(TRUST_E_NO_SIGNER_CERT);
        return;
    }
    const PCCERT_CONTEXT certificate = signer->pasCertChain[0].pCert;
    const CERT_NAME_BLOB& subject = certificate->pCertInfo->Subject;
    signature.subject.assign(reinterpret_cast<const char*>(subject.pbData), subject.cbData);
    const DWORD size =
        ::CertGetNameStringW(certificate, CERT_NAME_SIMPLE_DISPLAY_TYPE, 0, nullptr, nullptr, 0);
    WideText name(size, L'\0');
    const DWORD length = ::CertGetNameStringW(certificate, CERT_NAME_SIMPLE_DISPLAY_TYPE, 0,
                                              nullptr, name.data(), size);
    name.resize(length > 0 ? length - 1 : 0);
    signature.name = from_wide_lossy(name);
}

}  // namespace

Signature file_signature(HANDLE file, const wchar_t* path) {
    Signature signature;
    // crypt32 comes with it, from the same folder.
    if (Status loaded = load_system_library(L"wintrust.dll"); !loaded.ok()) {
        signature.trust_code = loaded.os_error();
        return signature;
    }
    ::SetFilePointerEx(file, {}, nullptr, FILE_BEGIN);  // read from the start
    WINTRUST_FILE_INFO file_info{};
    file_info.cbStruct = sizeof file_info;
    file_info.pcwszFilePath = path;
    file_info.hFile = file;
    WINTRUST_DATA data{};
    data.cbStruct = sizeof data;
    data.dwUIChoice = WTD_UI_NONE;
    data.fdwRevocationChecks = WTD_REVOKE_NONE;
    data.dwUnionChoice = WTD_CHOICE_FILE;
    data.pFile = &file_info;
    data.dwStateAction = WTD_STATEACTION_VERIFY;
    data.dwProvFlags = WTD_CACHE_ONLY_URL_RETRIEVAL;
    GUID action = WINTRUST_ACTION_GENERIC_VERIFY_V2;
    signature.trust_code = static_cast<std::uint32_t>(
        ::WinVerifyTrust(static_cast<HWND>(INVALID_HANDLE_VALUE), &action, &data));
    const TrustStateGuard state(action, data);
    if (signature.valid()) read_signer(data.hWVTStateData, signature);
    return signature;
}

void note_own_signature() {
    wchar_t path[32768];  // the longest path there is
    if (::GetModuleFileNameW(nullptr, path, std::size(path)) == std::size(path)) return;
    const UniqueFile file(::CreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE,
                                        nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (file) own = file_signature(file.get(), path);
    if (own.valid()) {
        log_event("bootstrapper signed by \"%\": setups must be signed by the same", {own.name});
    } else {
        log_event("bootstrapper not signed (0x%): setups run without a signer check",
                  {LogNumber(own.trust_code, true)});
    }
}

Status check_setup_signer(HANDLE held, const wchar_t* path) {
    if (!own.valid()) return {};
    const Signature signature = file_signature(held, path);
    if (Status signed_ = check_setup_signature(own, signature); !signed_.ok()) return signed_;
    log_event("setup signed by \"%\"", {signature.name});
    return {};
}

const Signature& own_signature() {
    return own;
}
