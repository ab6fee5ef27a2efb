#pragma once

#include <string>

namespace kv6 {

enum class MessageIcon { None, Information, Exclamation };
enum class MessageButtons { Ok, OkCancel, YesNo };

// Every message box of the tool goes through this interface, so that the
// desktop shows real boxes, the command line prints, and tests answer
// without a person. Texts are UTF-8.
class Prompts {
public:
    virtual ~Prompts() = default;
    // Returns true when the user chose OK (Yes for YesNo).
    virtual bool message(const std::string& text, const std::string& caption, MessageIcon icon,
                         MessageButtons buttons) = 0;
};

}  // namespace kv6
