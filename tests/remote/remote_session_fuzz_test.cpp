#include <random>

#include "session_fixture.h"

using namespace kv6;
using namespace kv6::remote;
using namespace kv6::remote::test;

// Random bytes biased towards the frame marks: nothing crashes, the buffer
// stays bounded, and only whole 'R' replies inside the image are stored.
TEST_F(SessionTest, RandomRepliesNeverCrashOrGrowTheBuffer) {
    std::mt19937 rng(20240611);
    connect();
    for (int round = 0; round < 4000; ++round) {
        std::vector<std::uint8_t> event(rng() % 300);
        for (auto& b : event) {
            const auto pick = rng() % 10;
            b = pick == 0 ? '~' : pick == 1 ? 'R' : static_cast<std::uint8_t>(rng());
        }
        feed(event);
        ASSERT_LT(session.pendingBytes(1), 136u);
        if (rng() % 4 == 0) ticks(1);
    }
}

TEST_F(SessionTest, OnlyValidReadRepliesChangeTheImage) {
    std::mt19937 rng(777);
    connect();
    image::Image expected = ws.ReceivedImage;
    auto pickAddress = [&] { return static_cast<std::uint16_t>(rng() % 3969); };
    for (int round = 0; round < 3000; ++round) {
        switch (rng() % 5) {
            case 0: {  // a valid reply, possibly split in pieces
                const std::uint16_t address = pickAddress();
                const auto reply = readReply(address, static_cast<std::uint8_t>(rng()));
                std::copy_n(reply.begin() + 8, 128, expected.begin() + address);
                std::size_t from = 0;
                while (from < reply.size()) {
                    const std::size_t n = std::min<std::size_t>(1 + rng() % 140, reply.size() - from);
                    feed({reply.begin() + static_cast<std::ptrdiff_t>(from),
                          reply.begin() + static_cast<std::ptrdiff_t>(from + n)});
                    from += n;
                }
                break;
            }
            case 1: {  // a truncated reply, then the module goes quiet
                const auto reply = readReply(pickAddress(), static_cast<std::uint8_t>(rng()));
                feed({reply.begin(), reply.begin() + static_cast<std::ptrdiff_t>(rng() % 136)});
                ticks(2);
                break;
            }
            case 2: {  // a reply past the image
                feed(readReply(static_cast<std::uint16_t>(3969 + rng() % 60000), 1));
                break;
            }
            case 3: {  // text and noise without a start mark
                std::vector<std::uint8_t> noise(rng() % 200);
                for (auto& b : noise) {
                    b = static_cast<std::uint8_t>(rng());
                    if (b == '~') b = 'S';
                }
                feed(noise);
                break;
            }
            default: {  // acknowledgements
                const std::uint8_t commands[] = {'W', 'P', 'K', 0xE0};
                feed(shortReply(commands[rng() % 4]));
                break;
            }
        }
        ASSERT_EQ(ws.ReceivedImage, expected) << "round " << round;
        ASSERT_LT(session.pendingBytes(1), 136u);
    }
}
