#pragma once

#include <string>

namespace kv6::remote {

// What the owner of a remote session learns from it. Every method has an
// empty default so an owner overrides only what it acts on.
class RemoteSessionListener {
public:
    virtual ~RemoteSessionListener() = default;
    // All fifteen blocks are in ReceivedImage: the owner decodes the image
    // (DecodeImage for a remote read), which copies it and clears the flags.
    virtual void remoteReadCompleted() {}
    // The module's read password differs; ReceivedImage 0..249 is already
    // 0xFF and SectionFlags are cleared.
    virtual void remotePasswordMismatch() {}
    // A 'W' reply: the write engine's head job is done.
    virtual void remoteWriteAcknowledged() {}
    // A 'P' reply (true) or a 0xE0 reply (false).
    virtual void remotePasswordChanged(bool /*changed*/) {}
    // A 'K' reply.
    virtual void remoteResetDone() {}
    // The first module connected, or the last one went away.
    virtual void remoteConnectedChanged(bool /*connected*/) {}
    // The module that takes the commands sent an identification text.
    virtual void remoteIdentified(const std::string& /*objectNumber*/) {}
};

}  // namespace kv6::remote
