#include <gtest/gtest.h>

#include "process/repeat_folder.h"

namespace kv6::process::test {

namespace {

using Ms = RepeatFolder::Ms;

LogEntry warning(const std::string& text) { return {LogLevel::Warning, "kv6.store", text}; }

std::vector<std::string> texts(const std::vector<LogEntry>& entries) {
    std::vector<std::string> out;
    for (const auto& e : entries) out.push_back(e.text);
    return out;
}

}  // namespace

TEST(RepeatFolder, AnOutageOfIdenticalFailuresIsOneLineAndOneCount) {
    RepeatFolder folder;
    std::vector<std::string> written;
    const auto keep = [&](const std::vector<LogEntry>& lines) {
        for (const auto& t : texts(lines)) written.push_back(t);
    };
    // 1,874 failures, one every 10.7 ms: about 20 s.
    for (int i = 0; i < 1874; ++i)
        keep(
            folder.add(warning("statement failed: no connection to the server"), Ms(i * 107 / 10)));
    EXPECT_EQ(written, std::vector<std::string>{"statement failed: no connection to the server"});
    // Nothing more while the failures may still go on...
    keep(folder.tick(Ms(20'000 + 9'000)));
    EXPECT_EQ(written.size(), 1u);
    // ...the count once they have stopped.
    keep(folder.tick(Ms(20'041 + 10'000)));
    ASSERT_EQ(written.size(), 2u);
    EXPECT_EQ(written[1],
              "statement failed: no connection to the server (repeated 1,873 times in 20 s)");
    // Quiet since: nothing more, and the next failure is written in full again.
    keep(folder.tick(Ms(100'000)));
    keep(folder.add(warning("statement failed: no connection to the server"), Ms(100'001)));
    EXPECT_EQ(written.size(), 3u);
    EXPECT_EQ(written[2], "statement failed: no connection to the server");
}

TEST(RepeatFolder, FailuresDifferingOnlyInTheirNumbersAreOneKindAndInterleavedKindsFoldApart) {
    RepeatFolder folder;
    std::vector<LogEntry> out;
    const auto keep = [&](std::vector<LogEntry> lines) {
        out.insert(out.end(), lines.begin(), lines.end());
    };
    for (int i = 0; i < 300; ++i) {
        keep(folder.add(warning("statement failed: server closed the connection"), Ms(i * 10)));
        keep(folder.add({LogLevel::Warning, "kv6.fleet",
                         "the store could not keep that object " + std::to_string(1000 + i) +
                             " called: server closed the connection"},
                        Ms(i * 10 + 5)));
    }
    ASSERT_EQ(
        texts(out),
        (std::vector<std::string>{
            "statement failed: server closed the connection",
            "the store could not keep that object 1000 called: server closed the connection"}));
    keep(folder.tick(Ms(3'000 + 10'000)));
    ASSERT_EQ(out.size(), 4u);
    // Each with its own level and category, the last text of the kind and its count.
    EXPECT_EQ(out[2].category, "kv6.store");
    EXPECT_EQ(out[2].text,
              "statement failed: server closed the connection (repeated 299 times in 3 s)");
    EXPECT_EQ(out[3].category, "kv6.fleet");
    EXPECT_EQ(out[3].level, LogLevel::Warning);
    EXPECT_EQ(out[3].text,
              "the store could not keep that object 1299 called: server closed the connection "
              "(repeated 299 times in 3 s, "
              "with other numbers)");
}

TEST(RepeatFolder, AFailureThatGoesOnIsCountedEveryIntervalNotOnlyAtItsEnd) {
    RepeatFolder folder;
    std::vector<std::string> written;
    // One failure a second for three minutes: the count is written every minute.
    for (int s = 0; s < 180; ++s)
        for (const auto& t :
             texts(folder.add(warning("the store cannot be reached"), Ms(s * 1000))))
            written.push_back(t);
    for (const auto& t : texts(folder.tick(Ms(179'500)))) written.push_back(t);
    EXPECT_EQ(written, (std::vector<std::string>{
                           "the store cannot be reached",
                           "the store cannot be reached (repeated 60 times in 60 s)",
                           "the store cannot be reached (repeated 60 times in 60 s)"}));
    // What is still counted when the program stops is not lost.
    EXPECT_EQ(texts(folder.flush()),
              std::vector<std::string>{"the store cannot be reached (repeated 59 times in 59 s)"});
    EXPECT_TRUE(folder.flush().empty());
}

TEST(RepeatFolder, EventsAreNeverFoldedOnlyFailuresAndAKindsLevelKeepsItApart) {
    RepeatFolder folder;
    // A module that calls again and again: each call is an event of its own.
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(
            folder.add({LogLevel::Info, "kv6.fleet", "object 1001 identified from 10.0.0.7"}, Ms(i))
                .size(),
            1u);
        EXPECT_EQ(folder.add({LogLevel::Debug, "kv6.store", "SELECT 1"}, Ms(i)).size(), 1u);
    }
    EXPECT_EQ(folder.add(warning("disk I/O error"), Ms(10)).size(), 1u);
    EXPECT_EQ(folder.add({LogLevel::Error, "kv6.store", "disk I/O error"}, Ms(11)).size(), 1u);
    EXPECT_EQ(folder.add({LogLevel::Warning, "kv6.fleet", "disk I/O error"}, Ms(12)).size(), 1u);
    EXPECT_TRUE(folder.add(warning("disk I/O error"), Ms(13)).empty());
    // A single repeat is said as such.
    EXPECT_EQ(texts(folder.tick(Ms(20'013))),
              std::vector<std::string>{"disk I/O error (repeated once in 1 s)"});
}

TEST(RepeatFolder, ManyKindsAtOnceKeepItsMemoryBoundedAndLoseNoCount) {
    RepeatFolder folder;
    // Texts that differ in more than numbers: each a kind of its own.
    const auto text = [](std::size_t k) {
        std::string t = "failure ";
        do {
            t += static_cast<char>('a' + k % 26);
            k /= 26;
        } while (k > 0);
        return t;
    };
    for (std::size_t k = 0; k < RepeatFolder::kMaxRuns; ++k) {
        const auto at = Ms(static_cast<long>(k));
        ASSERT_EQ(folder.add(warning(text(k)), at).size(), 1u);
        ASSERT_TRUE(folder.add(warning(text(k)), at).empty());
    }
    // One kind more: the stalest is summed up to make room, before the new line.
    const auto out = folder.add(warning("failure of another kind"), Ms(500));
    ASSERT_EQ(out.size(), 2u);
    EXPECT_EQ(out[0].text, "failure a (repeated once in 1 s)");
    EXPECT_EQ(out[1].text, "failure of another kind");
    EXPECT_EQ(folder.flush().size(), RepeatFolder::kMaxRuns - 1);
}

TEST(RepeatFolder, NumbersAreGroupedAndShapesSetDigitsAside) {
    EXPECT_EQ(RepeatFolder::grouped(0), "0");
    EXPECT_EQ(RepeatFolder::grouped(999), "999");
    EXPECT_EQ(RepeatFolder::grouped(1000), "1,000");
    EXPECT_EQ(RepeatFolder::grouped(1234567), "1,234,567");
    EXPECT_EQ(RepeatFolder::shape("object 1001 (job 77) from 10.0.0.7"),
              "object # (job #) from #.#.#.#");
}

}  // namespace kv6::process::test
