#include <gtest/gtest.h>

#include <random>

#include "pages/configuration.h"
#include "settings/config_diff.h"
#include "settings/image_edit.h"
#include "settings/settings_json.h"

using namespace kv6;
using settings::Json;

namespace {

image::Image randomImage(unsigned seed) {
    std::mt19937 random(seed);
    image::Image image{};
    for (auto& b : image) b = static_cast<std::uint8_t>(random());
    return image;
}

// A file as the tool saves it: the image loaded, then saved once.
image::Image savedFile(const image::Image& image) {
    pages::Configuration configuration;
    configuration.workspace.ReceivedImage = image;
    configuration.document.DecodeImage(image::DecodeSource::FileLoad);
    configuration.document.EncodeForFile();
    return configuration.workspace.ConfigImage;
}

struct Loaded {
    explicit Loaded(const image::Image& image) {
        configuration.workspace.ReceivedImage = image;
        configuration.document.DecodeImage(image::DecodeSource::FileLoad);
    }
    image::Image save() {
        configuration.document.EncodeForFile();
        return configuration.workspace.ConfigImage;
    }
    pages::Configuration configuration;
};

// Loaded as kv6ctl set and apply load a file: only edited bytes may change.
struct Edited : Loaded {
    explicit Edited(const image::Image& image) : Loaded(image), edit(configuration, image) {}
    settings::ImageEdit edit;
};

}  // namespace

// Export, then apply onto the same file, gives the file back byte for byte,
// whatever the image holds; through the JSON text, as kv6ctl does. The raw
// image (seed 1) holds bytes the editors would normalise: they stay, and an
// empty template changes nothing either.
TEST(SettingsJson, ExportThenApplyGivesTheFileBack) {
    for (const unsigned seed : {1u, 2u, 3u}) {
        const image::Image file = seed == 1 ? randomImage(seed) : savedFile(randomImage(seed));
        Loaded source(file);
        const std::string text = settings::exportDocument(source.configuration.document).dump(2);

        Json parsed;
        std::string error;
        ASSERT_TRUE(settings::parseJson(text, parsed, error)) << error;
        Edited target(file);  // same file: nothing may change
        ASSERT_TRUE(settings::applyJson(target.configuration.document, parsed).empty());
        EXPECT_EQ(target.edit.edited(), file) << "seed " << seed;
        Edited empty(file);
        ASSERT_TRUE(settings::applyJson(empty.configuration.document, Json::object()).empty());
        EXPECT_EQ(empty.edit.edited(), file) << "seed " << seed;
    }
}

TEST(SettingsJson, ValuesAreTyped) {
    Loaded loaded(savedFile(image::Image{}));
    const Json json = settings::pagesToJson(loaded.configuration.document);
    const Json& object = json.at("object");
    EXPECT_TRUE(object.at("objectNumber").is_string());
    EXPECT_TRUE(object.at("pollTimeMinutes").is_number_integer());
    EXPECT_TRUE(object.at("pinEnabled").is_boolean());
    EXPECT_EQ(json.begin().key(), "object");  // page order, not alphabetical
    EXPECT_EQ(object.begin().key(), "objectNumber");

    // Digits may come as a number; the field's rule still says what it takes.
    Json numbers;
    std::string error;
    ASSERT_TRUE(settings::parseJson(R"({"object": {"objectNumber": 123456}})", numbers, error));
    EXPECT_TRUE(settings::applyJson(loaded.configuration.document, numbers).empty());
    EXPECT_EQ(settings::pagesToJson(loaded.configuration.document).at("object").at("objectNumber"), "123456");
    ASSERT_TRUE(settings::parseJson(R"({"object": {"objectNumber": 1234567, "apn": -1}})", numbers, error));
    const auto problems = settings::applyJson(loaded.configuration.document, numbers);
    ASSERT_EQ(problems.size(), 2u);
    EXPECT_NE((problems[0] + problems[1]).find("accepts"), std::string::npos);
}

TEST(SettingsJson, PartialTemplateChangesOnlyItsFields) {
    const image::Image file = savedFile(image::Image{});
    Loaded loaded(file);
    Json json;
    std::string error;
    ASSERT_TRUE(settings::parseJson(R"({"object": {"apn": "internet", "pollTimeMinutes": 15}})", json, error));
    ASSERT_TRUE(settings::applyJson(loaded.configuration.document, json).empty());
    const settings::ConfigDiff diff = settings::diffImages(file, loaded.save());
    ASSERT_EQ(diff.fields.size(), 2u);
    EXPECT_EQ(diff.fields[0].key, "object.apn");
    EXPECT_EQ(diff.fields[0].after, "internet");
    EXPECT_EQ(diff.fields[1].key, "object.pollTimeMinutes");
    EXPECT_TRUE(diff.otherBytes.empty());

    // On a raw image the edit touches the APN's 41 bytes and the poll time's two, nothing else.
    const image::Image raw = randomImage(4);
    Edited edited(raw);
    ASSERT_TRUE(settings::applyJson(edited.configuration.document, json).empty());
    const image::Image changed = edited.edit.edited();
    for (std::size_t offset = 0; offset < raw.size(); ++offset) {
        const bool named = (offset >= 134 && offset < 175) || offset == 1579 || offset == 1580;
        if (!named) {
            ASSERT_EQ(changed[offset], raw[offset]) << "offset " << offset;
        }
    }
    EXPECT_EQ(settings::diffImages(raw, changed).fields.size(), 2u);
}

TEST(SettingsJson, EveryProblemIsListedWithItsKey) {
    Loaded loaded(savedFile(image::Image{}));
    Json json;
    std::string error;
    ASSERT_TRUE(settings::parseJson(
        R"({"format": "kv6-settings", "object": {"objectNumber": "12a", "pinEnabled": 1, "nosuch": "x",
            "apn": ["internet"], "pollTimeMinutes": 3.7}, "nopage": {}})",
        json, error));
    const auto problems = settings::applyJson(loaded.configuration.document, json);
    ASSERT_EQ(problems.size(), 6u);  // a fraction is not cut to a whole number
    std::string all;
    for (const std::string& problem : problems) all += problem;
    for (const char* key : {"object.objectNumber", "object.pinEnabled", "object.nosuch", "object.apn",
                            "object.pollTimeMinutes", "nopage"})
        EXPECT_NE(all.find(key), std::string::npos) << key;
}

TEST(SettingsJson, MalformedTextNamesLineAndColumn) {
    Json json;
    std::string error;
    EXPECT_FALSE(settings::parseJson("{\n  \"object\": {,}\n}", json, error));
    EXPECT_NE(error.find("line 2, column 14"), std::string::npos) << error;
    EXPECT_FALSE(settings::parseJson("{\"object\": {\"apn\": \"a\xff\"}}", json, error));  // not UTF-8
    Loaded loaded(savedFile(image::Image{}));
    ASSERT_TRUE(settings::parseJson("[1, 2]", json, error));
    EXPECT_EQ(settings::applyJson(loaded.configuration.document, json).size(), 1u);
}

// JSON that parses badly in other ways: a number no double holds, a number
// past long long, a value nested as deep as a big file allows.
TEST(SettingsJson, OutOfRangeAndDeepValuesAreProblemsNotCrashes) {
    Json json;
    std::string error;
    EXPECT_FALSE(settings::parseJson(R"({"zones": {"antiBounce": 1e400}})", json, error));
    EXPECT_NE(error.find("1e400"), std::string::npos) << error;

    Loaded loaded(savedFile(image::Image{}));
    const std::string deep = std::string(100000, '[') + std::string(100000, ']');
    ASSERT_TRUE(settings::parseJson(R"({"zones": {"antiBounce": 18446744073709551615, "startZone": 18446744073709551615},
                                        "object": {"apn": )" + deep + "}}",
                                    json, error)) << error;
    const auto problems = settings::applyJson(loaded.configuration.document, json);
    ASSERT_EQ(problems.size(), 3u);  // startZone must not wrap to -1, "no selection"
    EXPECT_EQ(problems[0], "object.apn: expected a string (or, for digits, a whole number), got an array");
    EXPECT_NE((problems[1] + problems[2]).find("zones.startZone"), std::string::npos);
}

// Three fields and one byte no field shows.
TEST(ConfigDiff, FieldsInPageOrderThenOtherBytes) {
    const image::Image a = savedFile(randomImage(9));
    Loaded loaded(a);
    Json json;
    std::string error;
    ASSERT_TRUE(settings::parseJson(
        R"({"object": {"objectNumber": "123456", "ipPort": "5000", "pinEnabled": false}})", json, error));
    ASSERT_TRUE(settings::applyJson(loaded.configuration.document, json).empty());
    image::Image b = loaded.save();
    b[3000] ^= 0x5A;  // no page interprets 3000

    const settings::ConfigDiff diff = settings::diffImages(a, b);
    std::vector<std::string> keys;
    for (const auto& f : diff.fields) keys.push_back(f.key);
    std::vector<std::string> changed;
    for (const std::string key : {"object.objectNumber", "object.ipPort", "object.pinEnabled"}) {
        Loaded original(a);
        for (const auto& f : original.configuration.document.page("object")->fields())
            if ("object." + f.key == key && f.value != (key == "object.objectNumber" ? "123456"
                                                        : key == "object.ipPort"     ? "5000"
                                                                                     : "false"))
                changed.push_back(key);
    }
    EXPECT_EQ(keys, changed);
    ASSERT_FALSE(diff.otherBytes.empty());
    EXPECT_EQ(diff.otherBytes.back().first, 3000);
    EXPECT_EQ(diff.otherBytes.back().last, 3000);
    EXPECT_TRUE(settings::diffImages(a, a).empty());

    // Bytes inside fields that no shown value reflects still make the files differ.
    const image::Image raw = randomImage(10);
    const settings::ConfigDiff normalised = settings::diffImages(raw, savedFile(raw));
    EXPECT_TRUE(normalised.fields.empty());
    EXPECT_FALSE(normalised.otherBytes.empty());
}
