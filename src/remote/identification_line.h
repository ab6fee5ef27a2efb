#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace kv6::remote {

// Collects the identification text a module sends outside frames, however
// TCP cuts it. A text is taken whole at its line end (CR, LF or a zero
// byte), as soon as it names all four characters of an object number (a
// module sends its text at once, often with no line end), after
// kQuietTicks timer ticks without new bytes, or at kMaxLength.
class IdentificationLine {
public:
    static constexpr std::size_t kMaxLength = 256;
    static constexpr int kQuietTicks = 2;

    // The text bytes of one receive event; the texts it completes, in order.
    [[nodiscard]] std::vector<std::string> feed(std::span<const std::uint8_t> bytes);
    // One timer tick: a text that waited kQuietTicks is taken as it is.
    [[nodiscard]] std::optional<std::string> tick();
    // A frame came: the text collected so far is taken as it is.
    [[nodiscard]] std::optional<std::string> flush();
    [[nodiscard]] std::size_t pendingSize() const { return m_text.size(); }

private:
    std::string m_text;
    int m_quietTicks = 0;
};

}  // namespace kv6::remote
