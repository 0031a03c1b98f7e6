#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "trust/signature_rules.h"

namespace {

// Whether the exe's own signature verifies here never matters: only whether
// it carries one, and whose it is.
TEST(SignatureRules, ASignedBootstrapperRefusesWhateverItsOwnCheckSaid) {
    const auto signed_own = [](std::uint32_t trust) {
        return OwnSignature{true, "CN=Vantrel", "Vantrel", 0, trust};
    };
    const OwnSignature none{};
    const OwnSignature unreadable{true, "", "", 0x80092009, 0x80096010};
    const Signature same{0, "CN=Vantrel", "Vantrel"}, other{0, "CN=Other", "Other"};
    const Signature bare{kTrustNoSignature, "", ""}, changed{0x80096010, "", ""};
    const Signature lookalike{0, "CN=Vantrel, O=Other", "Vantrel"}, no_subject{0, "", ""};
    const std::string not_signed = "Setup program is not signed.";
    const std::string invalid = "Setup program's signature is not valid.";
    struct Case {
        OwnSignature own;
        Signature setup;
        std::string refusal;  // empty: runs
        std::uint32_t code;
    };
    const std::vector<Case> cases = {
        {none, bare, "", 0},
        {none, changed, "", 0},
        {none, other, "", 0},
        {signed_own(0), same, "", 0},
        {signed_own(0), bare, not_signed, 0x800B0100},
        {signed_own(0), changed, invalid, 0x80096010},
        {signed_own(0), {0x800B0109, "", ""}, invalid, 0x800B0109},
        {signed_own(0), other, "Setup program is signed by \"Other\", not by \"Vantrel\".", 0},
        // The subject decides; the names are only shown.
        {signed_own(0), lookalike, "Setup program is signed by \"Vantrel\", not by \"Vantrel\".",
         0},
        // Signed, but not verifying here: untrusted root, changed digest,
        // expired without a time stamp, wintrust not loaded.
        {signed_own(0x800B0109), same, "", 0},
        {signed_own(0x800B0109), bare, not_signed, 0x800B0100},
        {signed_own(0x80096010), same, "", 0},
        {signed_own(0x80096010), bare, not_signed, 0x800B0100},
        {signed_own(0x80096010), other, "Setup program is signed by \"Other\", not by \"Vantrel\".",
         0},
        {signed_own(0x800B0101), bare, not_signed, 0x800B0100},
        {signed_own(0x800B0101), changed, invalid, 0x80096010},
        {signed_own(126), same, "", 0},
        {signed_own(126), bare, not_signed, 0x800B0100},
        // Signed, signer unreadable: nothing runs.
        {unreadable, same, "Setup program is signed by \"Vantrel\", not by \"\".", 0},
        {unreadable, no_subject, "Setup program is signed by \"\", not by \"\".", 0},
        {unreadable, bare, not_signed, 0x800B0100},
        {unreadable, changed, invalid, 0x80096010},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << std::hex << c.own.carried << " " << c.own.subject
                                        << " 0x" << c.own.trust_code << " / " << c.setup.subject
                                        << " 0x" << c.setup.trust_code);
        const Status checked = check_setup_signature(c.own, c.setup);
        EXPECT_EQ(checked.ok() ? "" : checked.error(), c.refusal);
        EXPECT_EQ(checked.os_error(), c.code);
    }
}

}  // namespace
