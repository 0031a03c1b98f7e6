#include "trust/signature_rules.h"

#include <utility>

Status check_setup_signature(const OwnSignature& own, const Signature& setup) {
    if (!own.carried) return {};
    if (setup.trust_code == kTrustNoSignature) return Failure{kSetupNotSigned, setup.trust_code};
    if (!setup.valid()) return Failure{kSetupSignatureInvalid, setup.trust_code};
    if (own.subject.empty() || setup.subject != own.subject) {
        std::string text = "Setup program is signed by \"";
        text.append(setup.name).append("\", not by \"").append(own.name).append("\".");
        return Failure{std::move(text)};
    }
    return {};
}
