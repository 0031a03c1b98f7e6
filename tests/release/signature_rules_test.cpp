#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "release/signature_rules.h"

namespace {

TEST(SignatureRules, OnlyASignedBootstrapperRefusesAndTheCodeIsKept) {
    const Signature own{0, "CN=Vantrel", "Vantrel"};
    const Signature unsigned_own{kTrustNoSignature, "", ""};
    struct Case {
        Signature own, setup;
        std::string refusal;  // empty: runs
        std::uint32_t code;
    };
    const std::vector<Case> cases = {
        {unsigned_own, {kTrustNoSignature, "", ""}, "", 0},
        {{0x800B0109, "CN=Vantrel", "Vantrel"}, {0, "CN=Other", "Other"}, "", 0},
        {own, {0, "CN=Vantrel", "Vantrel"}, "", 0},
        {own, {kTrustNoSignature, "", ""}, "Setup program is not signed.", 0x800B0100},
        {own, {0x80096010, "", ""}, "Setup program's signature is not valid.", 0x80096010},
        {own, {0x800B0109, "", ""}, "Setup program's signature is not valid.", 0x800B0109},
        // The subject decides; the names are only shown.
        {own,
         {0, "CN=Vantrel, O=Other", "Vantrel"},
         "Setup program is signed by \"Vantrel\", not by \"Vantrel\".",
         0},
        {own,
         {0, "CN=Other", "Other"},
         "Setup program is signed by \"Other\", not by \"Vantrel\".",
         0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.refusal);
        const Status checked = check_setup_signature(c.own, c.setup);
        EXPECT_EQ(checked.ok() ? "" : checked.error(), c.refusal);
        EXPECT_EQ(checked.os_error(), c.code);
    }
}

}  // namespace
