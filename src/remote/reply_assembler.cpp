#include "remote/reply_assembler.h"

#include <algorithm>

#include "remote/remote_frame.h"

namespace kv6::remote {

std::vector<RemoteReply> ReplyAssembler::feed(std::span<const std::uint8_t> bytes) {
    std::vector<RemoteReply> replies;
    if (bytes.empty()) return replies;
    m_buffer.insert(m_buffer.end(), bytes.begin(), bytes.end());
    m_idleTicks = 0;

    const auto begin = m_buffer.begin();
    const auto end = m_buffer.end();
    auto pos = begin;
    while (pos != end) {
        if (*pos != RemoteFrame::kStart) {
            pos = end;  // not at a frame start: the rest of this event is no frame
            break;
        }
        const auto available = static_cast<std::size_t>(end - pos);
        if (available < kHeaderSize) break;
        const std::uint8_t command = pos[3];
        std::size_t length = 0;
        if (command == RemoteFrame::kRead) {
            if (available < kReadReplySize) break;
            length = kReadReplySize;
        } else {
            const auto fixed = static_cast<std::ptrdiff_t>(std::min(available, kFixedBytes));
            const auto next = std::find(pos + fixed, end, RemoteFrame::kStart);
            length = std::min(static_cast<std::size_t>(next - pos), kMaxReplySize);
        }
        RemoteReply reply;
        reply.command = command;
        reply.address = static_cast<std::uint16_t>(length > 5 ? (pos[4] << 8 | pos[5]) : 0);
        reply.bytes.assign(pos, pos + static_cast<std::ptrdiff_t>(length));
        replies.push_back(std::move(reply));
        pos += static_cast<std::ptrdiff_t>(length);
    }
    m_buffer.erase(begin, pos);
    return replies;
}

void ReplyAssembler::tick() {
    if (m_buffer.empty()) return;
    if (++m_idleTicks >= kStaleTicks) clear();
}

void ReplyAssembler::clear() {
    m_buffer.clear();
    m_idleTicks = 0;
}

}  // namespace kv6::remote
