#include <gtest/gtest.h>

#include "image/section_flags.h"
#include "image/workspace.h"

using namespace kv6::image;

TEST(SectionFlags, SetAllLeavesTheUnusedEntryClear) {
    SectionFlags flags;
    flags.SetAllSectionFlags();
    for (int e = 0; e < SectionFlags::kCount; ++e) EXPECT_EQ(flags.isSet(e), e != 9) << e;
    flags.ClearSectionFlags();
    for (int e = 0; e < SectionFlags::kCount; ++e) EXPECT_FALSE(flags.isSet(e)) << e;
    EXPECT_FALSE(flags.isSet(36));
    EXPECT_FALSE(flags.isSet(-1));
}

TEST(WriteQueue, KeepsOrderAndDropsThe513thJob) {
    Workspace ws;
    for (int i = 0; i < 512; ++i) ASSERT_TRUE(ws.QueueWrite(i, 1));
    EXPECT_FALSE(ws.QueueWrite(3000, 4));
    EXPECT_EQ(ws.queue.size(), 512u);
    EXPECT_EQ(ws.queue.head().address, 0);
    ws.queue.popHead();
    EXPECT_EQ(ws.queue.head().address, 1);
    EXPECT_EQ(ws.queue.jobs().back().address, 511);

    // A sent job makes room for one more, however long the queue runs full.
    for (int next = 512; next < 3000; ++next) {
        ASSERT_TRUE(ws.QueueWrite(next, 1)) << next;
        ASSERT_FALSE(ws.QueueWrite(next, 1)) << next;
        ASSERT_EQ(ws.queue.head().address, next - 511);
        ws.queue.popHead();
    }
    EXPECT_EQ(ws.queue.size(), 511u);
    int expected = 2489;
    for (const WriteJob& job : ws.queue.jobs()) EXPECT_EQ(job.address, expected++);
    while (!ws.queue.empty()) ws.queue.popHead();
    ws.queue.popHead();  // an empty queue stays empty
    EXPECT_EQ(ws.queue.size(), 0u);
    ASSERT_TRUE(ws.QueueWrite(7, 1));
    EXPECT_EQ(ws.queue.head().address, 7);
}

TEST(WriteQueue, RefusesJobsPastTheImageAndReadsBytesAtSendTime) {
    Workspace ws;
    EXPECT_FALSE(ws.QueueWrite(4090, 7));
    EXPECT_FALSE(ws.QueueWrite(-1, 2));
    ASSERT_TRUE(ws.QueueWrite(4090, 6));
    ws.ConfigImage[4095] = 0x5A;  // encoded after queueing: the send sees it
    auto bytes = ws.jobBytes(ws.queue.head());
    ASSERT_EQ(bytes.size(), 6u);
    EXPECT_EQ(bytes[5], 0x5A);
}
