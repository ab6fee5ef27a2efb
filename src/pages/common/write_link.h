#pragma once

namespace kv6::pages {

// What a page's write button needs of the module link: a ready link (remote
// listening, else the serial port opened) and the start of sending once the
// jobs are queued (WriteStep = 0).
class WriteLink {
public:
    virtual ~WriteLink() = default;
    virtual bool ensureLink() = 0;
    virtual void startWrite() = 0;
};

}  // namespace kv6::pages
