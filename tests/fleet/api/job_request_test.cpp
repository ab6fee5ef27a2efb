#include <gtest/gtest.h>

#include "fleet/api/job_request.h"

namespace kv6::fleet::api::test {

namespace {

std::string refusal(const std::string& body) {
    std::string error;
    EXPECT_FALSE(JobRequest::parse(body, error)) << body;
    return error;
}

std::string base64(const std::string& bytes) {
    static const char* alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    unsigned buffer = 0;
    int bits = 0;
    for (const char c : bytes) {
        buffer = (buffer << 8) | static_cast<unsigned char>(c);
        bits += 8;
        while (bits >= 6) out += alphabet[(buffer >> (bits -= 6)) & 0x3F];
    }
    if (bits > 0) out += alphabet[(buffer << (6 - bits)) & 0x3F];
    while (out.size() % 4) out += '=';
    return out;
}

}  // namespace

TEST(JobRequestParse, EachRefusalNamesTheKeyOrValueAtFault) {
    const struct {
        const char* body;
        const char* error;
    } cases[] = {
        {"", "the body is not JSON"},
        {"{\"object\": \"1001\",", "the body is not JSON"},
        {"[1, 2]", "the body is no JSON object"},
        {"\"read\"", "the body is no JSON object"},
        {R"({"object": "1001", "kind": "read", "colour": 1})", "unknown key 'colour'"},
        {R"({"kind": "read"})", "object: one to four letters or digits are needed"},
        {R"({"object": 1001, "kind": "read"})", "object: one to four letters or digits are needed"},
        {R"({"object": "10011", "kind": "read"})", "object: one to four letters or digits are needed"},
        {R"({"object": "10 1", "kind": "read"})", "object: one to four letters or digits are needed"},
        {R"({"object": "1001"})", "kind: read, write, password, clear-journal or reset is needed"},
        {R"({"object": "1001", "kind": "erase"})", "kind: read, write, password, clear-journal or reset is needed"},
        {R"({"object": "1001", "kind": ["read"]})", "kind: read, write, password, clear-journal or reset is needed"},
        {R"({"object": "1001", "kind": "read", "password": "12"})", "password: a number 0..65535 is needed"},
        {R"({"object": "1001", "kind": "read", "password": 65536})", "password: a number 0..65535 is needed"},
        {R"({"object": "1001", "kind": "read", "password": -1})", "password: a number 0..65535 is needed"},
        {R"({"object": "1001", "kind": "read", "password": 1.5})", "password: a number 0..65535 is needed"},
        {R"({"object": "1001", "kind": "password"})", "newPassword: a password job needs a number 0..65535"},
        {R"({"object": "1001", "kind": "read", "newPassword": 3})", "newPassword: belongs to password jobs"},
        {R"({"object": "1001", "kind": "reset"})", "force: reset restores factory settings: it needs \"force\": true"},
        {R"({"object": "1001", "kind": "reset", "force": "yes"})", "force: true or false is needed"},
        {R"({"object": "1001", "kind": "read", "force": true})", "force: belongs to reset jobs"},
        {R"({"object": "1001", "kind": "read", "prg": "AAAA"})", "prg: belongs to write jobs"},
        {R"({"object": "1001", "kind": "clear-journal", "renumber": true})", "renumber: belongs to write jobs"},
        {R"({"object": "1001", "kind": "write"})",
         "settings: a write needs either \"settings\" (a kv6-settings document) or \"prg\" (base64)"},
        {R"({"object": "1001", "kind": "write", "settings": {}, "prg": "AAAA"})",
         "settings: a write needs either \"settings\" (a kv6-settings document) or \"prg\" (base64)"},
        {R"({"object": "1001", "kind": "write", "settings": "apn"})",
         "settings: a kv6-settings document (a JSON object) is needed"},
        {R"({"object": "1001", "kind": "write", "prg": "not base64!"})", "prg: the .prg's bytes in base64 are needed"},
        {R"({"object": "1001", "kind": "write", "prg": 12})", "prg: the .prg's bytes in base64 are needed"},
        {R"({"object": "1001", "kind": "write", "prg": "AAAA"})", "prg: a .prg holds exactly 4096 bytes, this one 3"},
    };
    for (const auto& c : cases) EXPECT_EQ(refusal(c.body), c.error) << c.body;
}

TEST(JobRequestParse, GoodRequestsBecomeTheJobKv6ctlWouldQueue) {
    std::string error;
    const auto password = JobRequest::parse(R"({"object": "A1", "kind": "password", "newPassword": 4321,
                                                "password": 1234})",
                                            error);
    ASSERT_TRUE(password) << error;
    EXPECT_EQ(password->job.object, "A1");
    EXPECT_EQ(password->job.kind, JobKind::Password);
    EXPECT_EQ(password->job.newPassword, 4321);
    EXPECT_EQ(password->password, std::optional<std::uint16_t>(1234));

    const auto reset = JobRequest::parse(R"({"object": "7", "kind": "reset", "force": true})", error);
    ASSERT_TRUE(reset) << error;
    EXPECT_TRUE(reset->job.force);
    EXPECT_FALSE(reset->password);

    std::string image(4096, '\0');
    image[0] = '\x5a';
    image[4095] = '\xff';
    const auto prg = JobRequest::parse(
        R"({"object": "1001", "kind": "write", "renumber": true, "passwordFromFile": true, "prg": ")" + base64(image) +
            "\"}",
        error);
    ASSERT_TRUE(prg) << error;
    EXPECT_EQ(prg->job.format, WriteFormat::Prg);
    ASSERT_EQ(prg->job.payload.size(), 4096u);
    EXPECT_EQ(prg->job.payload.front(), 0x5a);
    EXPECT_EQ(prg->job.payload.back(), 0xff);
    EXPECT_TRUE(prg->job.options.renumber);
    EXPECT_TRUE(prg->job.options.passwordFromFile);
}

TEST(JobRequestParse, SettingsAreReadAsKv6ctlReadsASettingsFile) {
    std::string error;
    const auto write = JobRequest::parse(
        R"({"object": "1001", "kind": "write", "settings": {"format": "kv6-settings", "version": 1,
            "object": {"apn": "fleet.apn"}}})",
        error);
    ASSERT_TRUE(write) << error;
    EXPECT_EQ(write->job.format, WriteFormat::SettingsJson);
    ASSERT_TRUE(write->settings);
    EXPECT_EQ((*write->settings)["object"]["apn"], "fleet.apn");
    const std::string payload(write->job.payload.begin(), write->job.payload.end());
    EXPECT_NE(payload.find("fleet.apn"), std::string::npos);

    EXPECT_EQ(refusal(R"({"object": "1001", "kind": "write", "settings": {"format": "kv6-settings", "version": 1},
                          "passwordFromFile": true})"),
              "passwordFromFile: a settings document holds no read password: it takes a .prg");
}

}  // namespace kv6::fleet::api::test
