#include "trust/signature.h"

#include <softpub.h>

#include <iterator>
#include <memory>
#include <vector>

#include "support/log.h"
#include "text/utf.h"
#include "win32/handles.h"
#include "win32/system_library.h"

namespace {

inline void close_store(HCERTSTORE store) {
    ::CertCloseStore(store, 0);
}
inline void close_message(HCRYPTMSG message) {
    ::CryptMsgClose(message);
}
inline void free_certificate(PCCERT_CONTEXT certificate) {
    ::CertFreeCertificateContext(certificate);
}
using UniqueStore = UniqueOwner<HCERTSTORE, &close_store>;
using UniqueMessage = UniqueOwner<HCRYPTMSG, &close_message>;
using UniqueCertificate = UniqueOwner<PCCERT_CONTEXT, &free_certificate>;

// A certificate's subject, as encoded and as a display name.
void read_subject(PCCERT_CONTEXT certificate, std::string& subject, std::string& name) {
    const CERT_NAME_BLOB& blob = certificate->pCertInfo->Subject;
    subject.assign(reinterpret_cast<const char*>(blob.pbData), blob.cbData);
    const DWORD size =
        ::CertGetNameStringW(certificate, CERT_NAME_SIMPLE_DISPLAY_TYPE, 0, nullptr, nullptr, 0);
    WideText wide(size, L'\0');
    const DWORD length = ::CertGetNameStringW(certificate, CERT_NAME_SIMPLE_DISPLAY_TYPE, 0,
                                              nullptr, wide.data(), size);
    wide.resize(length > 0 ? length - 1 : 0);
    name = from_wide_lossy(wide);
}

// The verified signer certificate's subject.
void read_signer(HANDLE state, Signature& signature) {
    CRYPT_PROVIDER_DATA* const provider = ::WTHelperProvDataFromStateData(state);
    CRYPT_PROVIDER_SGNR* const signer =
        provider ? ::WTHelperGetProvSignerFromChain(provider, 0, FALSE, 0) : nullptr;
    if (signer == nullptr || signer->csCertChain == 0 || !signer->pasCertChain[0].pCert) {
        signature.trust_code = static_cast<std::uint32_t>(TRUST_E_NO_SIGNER_CERT);
        return;
    }
    read_subject(signer->pasCertChain[0].pCert, signature.subject, signature.name);
}

// Whether the running image carries a signature: its security directory is
// set. Read from the mapped headers, so that no DLL has to load for it and a
// signed exe stays signed where wintrust or crypt32 fail.
bool image_carries_signature() {
    const auto* base = reinterpret_cast<const BYTE*>(::GetModuleHandleW(nullptr));
    const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    const IMAGE_OPTIONAL_HEADER& header =
        reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew)->OptionalHeader;
    return header.NumberOfRvaAndSizes > IMAGE_DIRECTORY_ENTRY_SECURITY &&
           header.DataDirectory[IMAGE_DIRECTORY_ENTRY_SECURITY].Size != 0;
}

// The signer of the signature embedded in the file at `path`, whether or not
// it verifies on this machine; on failure, the code of the step that failed.
void read_embedded_signer(const wchar_t* path, OwnSignature& own) {
    if (Status loaded = load_system_library(L"crypt32.dll"); !loaded.ok()) {
        own.read_code = loaded.os_error();
        return;
    }
    HCERTSTORE store_handle = nullptr;
    HCRYPTMSG message_handle = nullptr;
    const BOOL found =
        ::CryptQueryObject(CERT_QUERY_OBJECT_FILE, path, CERT_QUERY_CONTENT_FLAG_PKCS7_SIGNED_EMBED,
                           CERT_QUERY_FORMAT_FLAG_BINARY, 0, nullptr, nullptr, nullptr,
                           &store_handle, &message_handle, nullptr);
    const UniqueStore store(store_handle);
    const UniqueMessage message(message_handle);
    DWORD size = 0;
    if (found &&
        ::CryptMsgGetParam(message.get(), CMSG_SIGNER_CERT_INFO_PARAM, 0, nullptr, &size)) {
        std::vector<std::uint64_t> info((size + 7) / 8);  // aligned for CERT_INFO
        if (::CryptMsgGetParam(message.get(), CMSG_SIGNER_CERT_INFO_PARAM, 0, info.data(), &size)) {
            const UniqueCertificate certificate(
                ::CertFindCertificateInStore(store.get(), X509_ASN_ENCODING | PKCS_7_ASN_ENCODING,
                                             0, CERT_FIND_SUBJECT_CERT, info.data(), nullptr));
            if (certificate) return read_subject(certificate.get(), own.subject, own.name);
        }
    }
    own.read_code = ::GetLastError();
}

OwnSignature read_own_signature() {
    OwnSignature own;
    own.carried = image_carries_signature();
    if (!own.carried) return own;
    wchar_t path[32768];  // the longest path there is
    const DWORD length = ::GetModuleFileNameW(nullptr, path, std::size(path));
    if (length == 0 || length == std::size(path)) {
        own.read_code = own.trust_code = ::GetLastError();
        return own;
    }
    read_embedded_signer(path, own);
    const UniqueFile file(::CreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE,
                                        nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    own.trust_code = file ? file_signature(file.get(), path).trust_code : ::GetLastError();
    return own;
}

void log_own_signature(const OwnSignature& own) {
    const LogNumber trust(own.trust_code, true);
    if (!own.carried) {
        log_event("bootstrapper not signed: setups run without a signer check");
    } else if (own.subject.empty()) {
        log_event(
            "bootstrapper signed, signer not readable (0x%), not verified here (0x%): "
            "every setup is refused",
            {LogNumber(own.read_code, true), trust});
    } else if (own.trust_code == 0) {
        log_event("bootstrapper signed by \"%\": setups must be signed by the same", {own.name});
    } else {
        log_event(
            "bootstrapper signed by \"%\", not verified here (0x%): setups must be signed "
            "by the same",
            {own.name, trust});
    }
}

// Made on first use and never destroyed: a detached worker may still read it
// while the process ends.
union OwnRecord {
    OwnSignature value;
    constexpr OwnRecord() {}
    ~OwnRecord() {}
};
OwnRecord own_record;
INIT_ONCE own_read = INIT_ONCE_STATIC_INIT;

const OwnSignature& own_signature() {
    ::InitOnceExecuteOnce(
        &own_read,
        [](INIT_ONCE*, void*, void**) -> BOOL {
            log_own_signature(*std::construct_at(&own_record.value, read_own_signature()));
            return TRUE;
        },
        nullptr, nullptr);
    return own_record.value;
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

Status check_setup_signer(HANDLE held, const wchar_t* path) {
    const OwnSignature& own = own_signature();
    if (!own.carried) return {};
    const Signature signature = file_signature(held, path);
    if (Status signed_ = check_setup_signature(own, signature); !signed_.ok()) return signed_;
    log_event("setup signed by \"%\"", {signature.name});
    return {};
}
