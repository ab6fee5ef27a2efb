#pragma once

namespace kv6::link {

enum class ReadFailure { PasswordMismatch, NoAnswer };

// What the transfer engine tells its owner. The owner runs the whole-image
// decode on readCompleted; the engine has already shown the status texts and
// message boxes by then.
class TransferListener {
public:
    virtual ~TransferListener() = default;
    virtual void readCompleted() {}
    virtual void readFailed(ReadFailure) {}
    virtual void writeFinished(bool /*ok*/) {}
    virtual void passwordAcknowledged() {}
    virtual void resetAcknowledged() {}
};

}  // namespace kv6::link
