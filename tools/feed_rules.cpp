// The bootstrapper's own rules for the publisher's tool (tools/publish.py),
// built natively from the same sources as the exe, so that what the tool
// checks is what every bootstrapper in the field will do. Each command prints
// one JSON object: {"ok":true,...} or {"ok":false,"error":"<the sentence>"}.
//
//   feed_rules product
//   feed_rules url URL
//   feed_rules follow CURRENT_URL STATUS LOCATION HOPS_TAKEN
//   feed_rules version VERSION
//   feed_rules manifest FILE
//   feed_rules content-length TEXT
//   feed_rules resume ETAG LAST_MODIFIED TOTAL OFFSET STATUS CONTENT_RANGE CONTENT_LENGTH
//                     HAS_DIGEST   (CONTENT_LENGTH empty: none)
//   feed_rules signer OWN_SUBJECT_HEX OWN_NAME SETUP_TRUST_CODE SETUP_SUBJECT_HEX SETUP_NAME
#include <charconv>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "app_info.h"
#include "net/http_rules.h"
#include "net/transfer_rules.h"
#include "release/download_rules.h"
#include "release/manifest.h"
#include "trust/checksum_rules.h"
#include "trust/signature_rules.h"

namespace {

// A JSON object built field by field; control characters, quotes and
// backslashes escaped, everything else (UTF-8 included) kept as it is.
class Json {
public:
    explicit Json(bool ok) { text_ = ok ? "{\"ok\":true" : "{\"ok\":false"; }

    Json& text(std::string_view key, std::string_view value) {
        name(key);
        text_ += '"';
        for (const char c : value) {
            if (c == '"' || c == '\\') {
                text_ += '\\';
                text_ += c;
            } else if (static_cast<unsigned char>(c) < 0x20) {
                char escaped[8];
                std::snprintf(escaped, sizeof escaped, "\\u%04x", static_cast<unsigned char>(c));
                text_ += escaped;
            } else {
                text_ += c;
            }
        }
        text_ += '"';
        return *this;
    }

    Json& number(std::string_view key, std::uint64_t value) {
        name(key);
        text_ += std::to_string(value);
        return *this;
    }

    Json& boolean(std::string_view key, bool value) {
        name(key);
        text_ += value ? "true" : "false";
        return *this;
    }

    int print() {
        std::puts((text_ + "}").c_str());
        return 0;
    }

private:
    void name(std::string_view key) {
        text_ += ",\"";
        text_ += key;
        text_ += "\":";
    }
    std::string text_;
};

int refused(std::string_view sentence) {
    Json(false).text("error", sentence).print();
    return 1;
}

std::optional<std::uint64_t> number(std::string_view text) {
    std::uint64_t value = 0;
    int base = 10;
    if (text.starts_with("0x")) {
        text.remove_prefix(2);
        base = 16;
    }
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value, base);
    if (error != std::errc{} || end != text.data() + text.size()) return std::nullopt;
    return value;
}

// A certificate's encoded subject, given as hexadecimal digits.
std::optional<std::string> from_hex(std::string_view hex) {
    if (hex.size() % 2 != 0) return std::nullopt;
    std::string bytes;
    for (std::size_t i = 0; i < hex.size(); i += 2) {
        std::uint8_t byte = 0;
        const auto [end, error] = std::from_chars(hex.data() + i, hex.data() + i + 2, byte, 16);
        if (error != std::errc{} || end != hex.data() + i + 2) return std::nullopt;
        bytes += static_cast<char>(byte);
    }
    return bytes;
}

std::string lower(std::string text) {
    for (char& c : text) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return text;
}

int product() {
    return Json(true)
        .text("manifest_url", app::kManifestUrl.c_str())
        .text("user_agent", app::kAppName.c_str())
        .print();
}

int url(std::string_view text) {
    const Result<HttpUrl> parsed = parse_http_url(text);
    if (!parsed.ok()) return refused(parsed.error());
    // The bootstrapper fetches the URL without its userinfo: credentials in
    // it would never be sent, and a server that needs them would refuse.
    const std::string_view rest = text.substr(text.find("://") + 3);
    if (rest.substr(0, rest.find_first_of("/?#")).find('@') != std::string_view::npos) {
        return refused("Download URL carries userinfo, which the bootstrapper drops.");
    }
    const HttpUrl& u = parsed.value();
    return Json(true)
        .text("host", u.host)
        .number("port", u.port)
        .text("path", u.path)
        .boolean("secure", u.secure)
        .print();
}

int follow(std::string_view current, std::string_view status_text, std::string_view location,
           std::string_view hops_text) {
    const auto status = number(status_text);
    const auto hops = number(hops_text);
    if (!status || !hops) return 2;
    if (!is_redirect(static_cast<std::uint32_t>(*status))) {
        return Json(true).boolean("redirect", false).print();
    }
    const Result<std::string> target =
        redirect_target(current, location, static_cast<unsigned>(*hops));
    if (!target.ok()) return refused(target.error());
    return Json(true).boolean("redirect", true).text("target", target.value()).print();
}

int version(std::string_view text) {
    if (!version_is_safe_in_file_name(text)) {
        return refused("The version holds a character Windows refuses in a file name.");
    }
    return Json(true).text("file_name", setup_file_name(text)).print();
}

int manifest(const char* path) {
    std::ifstream file(path, std::ios::binary);
    if (!file) return refused("The manifest file cannot be read.");
    const std::string body{std::istreambuf_iterator<char>(file), {}};
    if (body.size() > kManifestLimit) return refused(kManifestTooLarge);
    const Result<ReleaseInfo> read = read_release_manifest(body);
    if (!read.ok()) return refused(read.error());
    const ReleaseInfo& info = read.value();
    Json out(true);
    out.text("version", info.version).text("url", info.setup_url);
    if (info.sha256) out.text("sha256", lower(sha256_text(*info.sha256)));
    return out.print();
}

int content_length(std::string_view text) {
    const auto length = parse_content_length(text);
    if (!length) return refused("Content-Length is not a byte count.");
    return Json(true).number("length", *length).print();
}

// What a bootstrapper whose download dropped at OFFSET does next: the
// validator it kept from the whole answer, where it asks to continue, and
// what it makes of the server's answer to that.
int resume(std::span<char*> args) {
    const auto total = number(args[2]);
    const auto offset = number(args[3]);
    const auto status = number(args[4]);
    if (!total || !offset || !status) return 2;
    std::optional<std::uint64_t> length;
    if (*args[6] != '\0') {
        length = parse_content_length(args[6]);
        if (!length) return 2;
    }
    const bool has_digest = std::string_view(args[7]) == "1";
    ResumeRecord record;
    record.validator = choose_validator(args[0], args[1]);
    record.total = *total;
    const ResumePlan plan = plan_resume(record, record.url_digest, *offset, has_digest);
    const AnswerUse use =
        use_of_answer(plan.offset, *total, static_cast<std::uint32_t>(*status), args[5], length)
            .use;
    const char* names[] = {"append", "from_zero", "restart", "refuse"};
    return Json(true)
        .text("validator", record.validator)
        .number("asks_from", plan.offset)
        .text("answer", names[static_cast<int>(use)])
        .print();
}

int signer(std::span<char*> args) {
    const auto own_subject = from_hex(args[0]);
    const auto trust_code = number(args[2]);
    const auto setup_subject = from_hex(args[3]);
    if (!own_subject || !trust_code || !setup_subject) return 2;
    OwnSignature own;
    own.carried = !own_subject->empty();
    own.subject = *own_subject;
    own.name = args[1];
    Signature setup;
    setup.trust_code = static_cast<std::uint32_t>(*trust_code);
    setup.subject = *setup_subject;
    setup.name = args[4];
    const Status checked = check_setup_signature(own, setup);
    if (!checked.ok()) return refused(checked.error());
    return Json(true).boolean("bootstrapper_signed", own.carried).print();
}

int usage() {
    std::fputs(
        "usage: feed_rules product | url URL | follow URL STATUS LOCATION HOPS |\n"
        "  version VERSION | manifest FILE | content-length TEXT |\n"
        "  resume ETAG LAST_MODIFIED TOTAL OFFSET STATUS CONTENT_RANGE CONTENT_LENGTH HAS_DIGEST "
        "|\n"
        "  signer OWN_SUBJECT_HEX OWN_NAME TRUST_CODE SETUP_SUBJECT_HEX SETUP_NAME\n",
        stderr);
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) return usage();
    const std::string_view command = argv[1];
    const std::span<char*> args(argv + 2, static_cast<std::size_t>(argc - 2));
    int result = -1;
    if (command == "product" && args.empty()) result = product();
    if (command == "url" && args.size() == 1) result = url(args[0]);
    if (command == "follow" && args.size() == 4)
        result = follow(args[0], args[1], args[2], args[3]);
    if (command == "version" && args.size() == 1) result = version(args[0]);
    if (command == "manifest" && args.size() == 1) result = manifest(args[0]);
    if (command == "content-length" && args.size() == 1) result = content_length(args[0]);
    if (command == "resume" && args.size() == 8) result = resume(args);
    if (command == "signer" && args.size() == 5) result = signer(args);
    return result == -1 || result == 2 ? usage() : result;
}
