// How a server's session learns a module's object number: from its
// identification text only, however TCP cuts it.
#include <gtest/gtest.h>

#include "remote/identification_line.h"
#include "session_fixture.h"

namespace kv6::remote::test {

namespace {

std::vector<std::string> feedText(IdentificationLine& line, const std::string& text) {
    return line.feed(bytesOf(text));
}

class TextOnlySessionTest : public SessionTest {
protected:
    TextOnlySessionTest() { session.setIdentification(RemoteSession::Identification::TextOnly); }
};

}  // namespace

TEST(IdentificationLineTest, ATextIsTakenAtItsLineEndOrOnceItNamesItsWholeNumber) {
    IdentificationLine line;
    // Cut before the number's last characters: nothing yet.
    EXPECT_TRUE(feedText(line, "#0000000000000SR 10").empty());
    EXPECT_EQ(feedText(line, "01"), std::vector<std::string>{"#0000000000000SR 1001"});
    // The same text again is a text again; so is each line.
    EXPECT_EQ(feedText(line, "#0000000000000SR 1001"), std::vector<std::string>{"#0000000000000SR 1001"});
    EXPECT_EQ(feedText(line, "\r\nfirst\nADM#AB12"), std::vector<std::string>{"first"});
    EXPECT_EQ(feedText(line, "34#"), std::vector<std::string>{"ADM#AB1234#"});

    // A line end takes a short text as it is; a zero byte ends a line too.
    IdentificationLine shortText;
    std::vector<std::uint8_t> bytes = bytesOf("SR 7");
    bytes.push_back(0);
    EXPECT_EQ(shortText.feed(bytes), std::vector<std::string>{"SR 7"});
}

TEST(IdentificationLineTest, ATextThatStopsComingOrGrowsTooLongIsTakenAsItIs) {
    IdentificationLine line;
    EXPECT_TRUE(feedText(line, "#000SR 12").empty());
    EXPECT_FALSE(line.tick());
    EXPECT_EQ(line.tick(), "#000SR 12");
    EXPECT_EQ(line.pendingSize(), 0u);

    // However long a line, no more than kMaxLength is ever held.
    IdentificationLine endless;
    const auto texts = endless.feed(std::vector<std::uint8_t>(3 * IdentificationLine::kMaxLength + 5, 'x'));
    ASSERT_EQ(texts.size(), 3u);
    EXPECT_EQ(texts[0].size(), IdentificationLine::kMaxLength);
    EXPECT_EQ(endless.pendingSize(), 5u);
}

TEST_F(TextOnlySessionTest, AnIdentificationCutInTwoNamesTheWholeNumber) {
    connect();
    feed(bytesOf("#0000000000000SR 10"));
    EXPECT_EQ(session.objectNumber(), "");
    feed(bytesOf("01"));
    EXPECT_EQ(session.objectNumber(), "1001");
    EXPECT_EQ(session.identificationText(), "#0000000000000SR 1001");

    // A text cut short with no end is taken after two quiet ticks.
    feed(bytesOf("#0000000000000SR 55"));
    EXPECT_EQ(session.objectNumber(), "1001");
    ticks(2);
    EXPECT_EQ(session.objectNumber(), "55");
}

TEST_F(TextOnlySessionTest, ReplyFramesNeverRenameTheModule) {
    connect();
    feed(bytesOf("#0000000000000SR 5352"));
    ASSERT_EQ(session.objectNumber(), "5352");
    session.startRead(0, false);
    ticks(1);
    // Object 5352 packs to 'S', 'R': the module's reply starts "~SRR", and its
    // data could hold any text.
    std::vector<std::uint8_t> reply = readReply(0, 0x30);
    reply[1] = 'S';
    reply[2] = 'R';
    const std::string data = "SR  ADM#AB9999#   7777";
    std::copy(data.begin(), data.end(), reply.begin() + 8);
    feed(reply);
    EXPECT_EQ(session.objectNumber(), "5352");
    EXPECT_EQ(session.nextAddress(), 128);  // the frame itself was taken
    feed(bytesOf("~SRWSRxxxxxxxxxxx7777"));
    EXPECT_EQ(session.objectNumber(), "5352");
}

TEST_F(SessionTest, TheDesktopToolStillReadsTheNumberFromAnyReply) {
    connect();
    feed(bytesOf("#0000000000000SR 5352"));
    std::vector<std::uint8_t> reply = shortReply('W');
    reply[1] = 'S';
    reply[2] = 'R';
    feed(reply);
    EXPECT_EQ(session.objectNumber(), "");  // the documented rule: the frame's own "SR" counts
}

}  // namespace kv6::remote::test
