#pragma once

namespace kv6::link {

// How the link paces its traffic with the module.
//  - Module: one block request or write job per Timer2 tick, received bytes
//    taken on Timer1 ticks, the remote read one block per Timer4 tick. The
//    pacing modules in the field are known to work with.
//  - Reactive: received bytes are taken as soon as the port or socket reports
//    them, and the next block request or write job goes out as soon as the
//    module's reply to the previous one is in. Time-outs and retries still
//    count the ticks of the Module pacing.
enum class Pacing { Module, Reactive };

}  // namespace kv6::link
