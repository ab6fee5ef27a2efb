#include "remote/identification_line.h"

#include <utility>

#include "remote/object_identification.h"

namespace kv6::remote {

namespace {
bool lineEnd(std::uint8_t byte) { return byte == '\r' || byte == '\n' || byte == 0; }
}  // namespace

std::vector<std::string> IdentificationLine::feed(std::span<const std::uint8_t> bytes) {
    std::vector<std::string> texts;
    m_quietTicks = 0;
    for (const std::uint8_t byte : bytes) {
        if (lineEnd(byte)) {
            if (!m_text.empty()) texts.push_back(std::exchange(m_text, {}));
            continue;
        }
        m_text.push_back(static_cast<char>(byte));
        if (m_text.size() >= kMaxLength) texts.push_back(std::exchange(m_text, {}));
    }
    if (ObjectIdentification::namesWholeNumber(m_text)) texts.push_back(std::exchange(m_text, {}));
    return texts;
}

std::optional<std::string> IdentificationLine::tick() {
    if (m_text.empty()) return std::nullopt;
    if (++m_quietTicks < kQuietTicks) return std::nullopt;
    return flush();
}

std::optional<std::string> IdentificationLine::flush() {
    m_quietTicks = 0;
    if (m_text.empty()) return std::nullopt;
    return std::exchange(m_text, {});
}

}  // namespace kv6::remote
