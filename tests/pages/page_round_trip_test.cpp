#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "pages/configuration.h"
#include "pages/common/field_rules.h"

namespace kv6::pages {
namespace {

using Shown = std::vector<std::pair<std::string, std::string>>;

void loadAsFile(Configuration& config, const image::Image& bytes) {
    config.workspace.ReceivedImage = bytes;
    config.document.DecodeImage(image::DecodeSource::FileLoad);
}

Shown shown(const Configuration& config) {
    Shown values;
    for (const image::PageModel* page : config.document.pages())
        for (const image::PageField& field : page->fields())
            values.emplace_back(page->pageKey() + "." + field.key, field.value);
    return values;
}

std::vector<std::pair<std::string, image::Image>> images() {
    std::vector<std::pair<std::string, image::Image>> list;
    image::Image zeros{};
    image::Image ones{};
    ones.fill(0xFF);
    list.emplace_back("zeros", zeros);
    list.emplace_back("ones", ones);
    for (unsigned seed : {1u, 2026u, 40961u}) {
        std::mt19937 rng(seed);
        image::Image random{};
        for (auto& b : random) b = static_cast<std::uint8_t>(rng());
        list.emplace_back("random" + std::to_string(seed), random);
    }
    // Printable bytes only, no ';': every text field full to its end.
    std::mt19937 rng(7);
    image::Image printable{};
    for (auto& b : printable) b = static_cast<std::uint8_t>(0x21 + rng() % 94);
    std::replace(printable.begin(), printable.end(), std::uint8_t{';'}, std::uint8_t{':'});
    list.emplace_back("printable", printable);
    return list;
}

// Whatever a page shows, set takes back (in the escaped text form of the
// command line) without a change, and one save makes the image stable: every
// registered page, on images no editor would produce.
TEST(PageRoundTrip, EveryShownValueSetsBackAndTheSavedImageHolds) {
    for (const auto& [name, bytes] : images()) {
        SCOPED_TRACE(name);
        Configuration first;
        loadAsFile(first, bytes);
        const Shown before = shown(first);
        ASSERT_FALSE(before.empty());
        first.document.EncodeForFile();
        const image::Image saved = first.workspace.ConfigImage;

        Configuration copy;
        loadAsFile(copy, saved);
        EXPECT_EQ(shown(copy), before) << "the saved file gives other values than were shown";
        for (image::PageModel* page : copy.document.pages())
            for (const image::PageField& field : page->fields()) {
                const std::string typed = rules::unescapedText(rules::escapedText(field.value));
                EXPECT_EQ(page->assignField(field.key, typed), "") << page->pageKey() << "." << field.key;
            }
        EXPECT_EQ(shown(copy), before);
        copy.document.EncodeForFile();
        std::vector<std::size_t> changed;
        for (std::size_t i = 0; i < saved.size(); ++i)
            if (copy.workspace.ConfigImage[i] != saved[i]) changed.push_back(i);
        EXPECT_EQ(changed, std::vector<std::size_t>{}) << "offsets changed by show -> set -> save";
    }
}

TEST(PageRoundTrip, EscapedTextComesBackByteForByte) {
    std::string everyByte;
    for (int b = 0; b < 256; ++b) everyByte.push_back(static_cast<char>(b));
    EXPECT_EQ(rules::unescapedText(rules::escapedText(everyByte)), everyByte);
    EXPECT_EQ(rules::escapedText("12\n4\\6\x7f"), "12\\x0a4\\\\6\\x7f");
    // A backslash that starts no escape stays as typed.
    EXPECT_EQ(rules::unescapedText("a\\b\\x4\\xg1\\X41\\x4A"), "a\\b\\x4\\xg1\\X41J");
}

}  // namespace
}  // namespace kv6::pages
