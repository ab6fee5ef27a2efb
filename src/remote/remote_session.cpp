#include "remote/remote_session.h"

#include <algorithm>
#include <ctime>

#include "link/engine_texts.h"
#include "remote/object_identification.h"

namespace kv6::remote {

namespace {

constexpr const char* kWaitingText = "Удалённый доступ -Ожидание-";
constexpr const char* kConnectedText = "Удалённый доступ -Соединено-";
constexpr const char* kDisconnectedText = "Удалённый доступ. Разъеденён";
constexpr const char* kObjectPrefix = "Удалённый доступ. Объект ";
constexpr const char* kPasswordRefusedText = " !!!ОШИБКА изменения пароля";
constexpr const char* kNotConnectedText = " Нет соединения с модулем";

std::string hex2(std::uint8_t byte) {
    constexpr char kDigits[] = "0123456789ABCDEF";
    return {kDigits[byte >> 4], kDigits[byte & 0x0F]};
}

std::string hex4(std::size_t value) { return hex2(static_cast<std::uint8_t>(value >> 8)) + hex2(value & 0xFF); }

// Received text for the trace: what a text control would show, minus the
// control bytes that would garble a log line.
std::string printable(std::string_view text) {
    std::string out(text);
    for (char& c : out) {
        const auto u = static_cast<unsigned char>(c);
        if (u < 0x20 || u > 0x7E) c = '.';
    }
    return out;
}

LocalDateTime systemLocalTime() {
    const std::time_t now = std::time(nullptr);
    const std::tm* tm = std::localtime(&now);
    if (tm == nullptr) return {};
    return {tm->tm_year + 1900, tm->tm_mon + 1, tm->tm_mday, tm->tm_hour, tm->tm_min, tm->tm_sec};
}

}  // namespace

RemoteSession::RemoteSession(image::Workspace& workspace, StatusSink& status, TraceSink& trace,
                             RemoteSessionListener& listener)
    : m_workspace(workspace),
      m_status(status),
      m_trace(trace),
      m_listener(listener),
      m_clock(systemLocalTime),
      m_zoneHours([] { return 0; }) {}

void RemoteSession::N18Click() {
    const bool wasConnected = connected();
    m_connections.clear();
    setRemoteStatus({});
    setOperationStatus({});
    m_waiting = true;
    m_listening = true;
    if (wasConnected) m_listener.remoteConnectedChanged(false);
}

void RemoteSession::listenFailed(const std::string& reason) {
    m_listening = false;
    m_waiting = false;
    m_connections.clear();
    setOperationStatus(reason);
}

void RemoteSession::N19Click() {
    const bool wasConnected = connected();
    m_listening = false;
    m_waiting = false;
    m_connections.clear();
    setRemoteStatus(kDisconnectedText);
    if (wasConnected) m_listener.remoteConnectedChanged(false);
}

void RemoteSession::onConnected(int connectionId, std::uint16_t remotePort) {
    if (!m_listening || find(connectionId) != nullptr) return;
    const bool first = m_connections.empty();
    m_connections.push_back(Connection{connectionId, {}, std::nullopt, {}});
    const auto greeting = Greeting::build(m_clock(), m_zoneHours());
    if (m_sink != nullptr) m_sink->sendBytes(connectionId, greeting);
    traceLine("Connect^ " + std::to_string(remotePort));
    if (!first) return;  // a later module gets the greeting only
    // The keep-alive count goes on: only frames reset it, and the greeting is none.
    m_waiting = false;
    setRemoteStatus(kConnectedText);
    m_listener.remoteConnectedChanged(true);
}

void RemoteSession::onData(int connectionId, std::span<const std::uint8_t> bytes) {
    Connection* connection = find(connectionId);
    if (connection == nullptr || bytes.empty()) return;
    const bool tracing = m_trace.tracing(TraceChannel::Remote);
    if (tracing) traceReceived(bytes);
    const bool textOnly = m_identification == Identification::TextOnly;
    if (textOnly) {
        // A receive event that does not start or go on with a frame is text.
        if (connection->assembler.pendingSize() == 0 && bytes[0] != RemoteFrame::kStart) {
            for (const std::string& text : connection->line.feed(bytes))
                if (Connection* still = find(connectionId)) identify(*still, text);
            if (tracing)
                for (std::size_t i = 0; i < bytes.size(); ++i) traceLine(std::to_string(i) + " : " + hex2(bytes[i]));
            return;
        }
        if (const auto text = connection->line.flush()) identify(*connection, *text);
    }
    // Only the module that gets the commands may answer them; every module's
    // identification is kept for when it takes the commands over.
    if (connection == &m_connections.front()) {
        for (const RemoteReply& reply : connection->assembler.feed(bytes)) {
            if (m_connections.empty() || m_connections.front().id != connectionId) break;
            handleReply(reply);
        }
    }
    if (!textOnly)
        if (Connection* still = find(connectionId)) identify(*still, ObjectIdentification::textOf(bytes));
    if (tracing)
        for (std::size_t i = 0; i < bytes.size(); ++i) traceLine(std::to_string(i) + " : " + hex2(bytes[i]));
}

void RemoteSession::onDisconnected(int connectionId) {
    const auto it = std::find_if(m_connections.begin(), m_connections.end(),
                                 [connectionId](const Connection& c) { return c.id == connectionId; });
    if (it == m_connections.end()) return;
    const bool wasPrimary = it == m_connections.begin();
    m_connections.erase(it);
    if (!wasPrimary) return;
    if (m_connections.empty()) {
        setRemoteStatus(kDisconnectedText);
        m_listener.remoteConnectedChanged(false);
    } else {
        promoteNextConnection();
    }
}

// The next oldest module now takes the commands, under the object number it
// gave itself (none yet: frames carry 00 00 until it identifies).
void RemoteSession::promoteNextConnection() {
    const Connection& next = m_connections.front();
    m_objectNumber = next.objectNumber.value_or(std::string{});
    if (next.objectNumber)
        setRemoteStatus(kObjectPrefix + m_objectNumber);
    else
        setRemoteStatus(kConnectedText);
}

void RemoteSession::Timer4Timer() {
    if (!m_listening) return;
    for (Connection& connection : m_connections) {
        connection.assembler.tick();
        if (const auto text = connection.line.tick()) identify(connection, *text);
    }
    if (m_waiting) setRemoteStatus(m_remoteStatus.empty() ? std::string(kWaitingText) : std::string{});
    if (!connected()) return;
    if (m_readActive) {
        stepRead();
        return;
    }
    if (++m_idleTicks > kKeepAliveIdleTicks) {
        send(RemoteFrame::keepAlive());
        traceLine("Send ");
    }
}

int RemoteSession::ticksUntilDue() const {
    if (!m_listening) return kNeverDue;
    for (const Connection& connection : m_connections)
        if (connection.assembler.pendingSize() != 0 || connection.line.pendingSize() != 0) return 1;
    if (m_waiting || m_readActive) return 1;
    if (!connected()) return kNeverDue;
    return std::max(1, kKeepAliveIdleTicks + 1 - m_idleTicks);
}

void RemoteSession::skipQuietTicks(int ticks) {
    if (m_listening && connected() && !m_readActive) m_idleTicks += ticks;
}

void RemoteSession::startRead(std::uint16_t readPassword, bool checkPassword) {
    m_readPassword = readPassword;
    m_checkPassword = checkPassword;
    m_readActive = true;
    m_nextAddress = 0;
    m_readEnd = kReadEndAddress;
    m_replyCountdown = 0;  // the next tick sends the first request
}

void RemoteSession::startBlockRead(std::uint16_t address) {
    m_readPassword = 0;
    m_checkPassword = false;
    m_readActive = true;
    m_nextAddress = address;
    m_readEnd = static_cast<std::uint16_t>(address + kBlockSize);
    m_replyCountdown = 0;
}

void RemoteSession::reactNow() {
    if (m_listening && connected() && m_readActive && m_replyCountdown <= 0) stepRead();
}

bool RemoteSession::sendPassword(std::uint16_t current, std::uint16_t next) {
    if (!requireConnection()) return false;
    const RemoteFrame frame = RemoteFrame::password(m_objectNumber, current, next);
    send(frame);
    traceLine("SendPSW ");
    traceLine("SendCrc " + hex2(frame.checkByte()));
    return true;
}

bool RemoteSession::sendReset() {
    if (!requireConnection()) return false;
    const RemoteFrame frame = RemoteFrame::reset(m_objectNumber);
    send(frame);
    traceLine("SendPSW ");
    traceLine("SendCrc " + hex2(frame.checkByte()));
    return true;
}

void RemoteSession::sendWriteJob(std::uint16_t address, std::span<const std::uint8_t> bytes) {
    if (!requireConnection()) return;
    const auto frame = RemoteFrame::write(m_objectNumber, address, bytes);
    if (!frame) {
        // Does not fit a frame; the engine's time-out then drops the queue.
        traceLine("SendWr refused, " + std::to_string(bytes.size()) + " bytes at " + std::to_string(address));
        setOperationStatus(std::string(link::texts::kWriteError));
        return;
    }
    send(*frame);
    traceLine("SendWr " + std::to_string(address));
    traceLine("SendCrc " + hex2(frame->checkByte()));
}

std::size_t RemoteSession::pendingBytes(int connectionId) const {
    for (const Connection& c : m_connections)
        if (c.id == connectionId) return c.assembler.pendingSize();
    return 0;
}

RemoteSession::Connection* RemoteSession::find(int connectionId) {
    for (Connection& c : m_connections)
        if (c.id == connectionId) return &c;
    return nullptr;
}

bool RemoteSession::requireConnection() {
    if (connected()) return true;
    setOperationStatus(kNotConnectedText);
    return false;
}

void RemoteSession::send(const RemoteFrame& frame) {
    m_idleTicks = 0;
    if (m_sink != nullptr && connected()) m_sink->sendBytes(m_connections.front().id, frame.bytes());
}

void RemoteSession::setRemoteStatus(const std::string& text) {
    m_remoteStatus = text;
    m_status.setStatus(StatusPanel::Remote, text);
}

void RemoteSession::setOperationStatus(const std::string& text) { m_status.setStatus(StatusPanel::Operation, text); }

void RemoteSession::traceLine(const std::string& line) { m_trace.trace(TraceChannel::Remote, line); }

void RemoteSession::stepRead() {
    if (--m_replyCountdown > 0) return;  // a request is outstanding
    if (m_nextAddress >= m_readEnd) {
        m_readActive = false;
        completeRead();
        return;
    }
    auto& image = m_workspace.ReceivedImage;
    if (m_checkPassword && m_nextAddress > kPasswordCheckAfter) {
        const auto stored = static_cast<std::uint16_t>(image[kPasswordOffset] << 8 | image[kPasswordOffset + 1]);
        if (stored != m_readPassword) {
            std::fill_n(image.begin(), kPasswordBlockSize, std::uint8_t{0xFF});
            setOperationStatus(std::string(link::texts::kPasswordMismatch));
            m_readActive = false;
            m_workspace.flags.ClearSectionFlags();
            m_listener.remotePasswordMismatch();
            return;
        }
    }
    send(RemoteFrame::read(m_objectNumber, m_nextAddress));
    m_replyCountdown = kReplyWaitTicks;
    traceLine("SendREAD " + std::to_string(m_nextAddress));
    setOperationStatus(std::string(link::texts::kReadProgress) + std::string(m_nextAddress / kBlockSize, '*'));
}

void RemoteSession::completeRead() {
    setOperationStatus(std::string(link::texts::kReadDone));
    const auto& image = m_workspace.ReceivedImage;
    if (m_trace.tracing(TraceChannel::Image))
        for (std::size_t a = 0; a < kImageDumpBytes; ++a) m_trace.trace(TraceChannel::Image, hex4(a) + " : " + hex2(image[a]));
    m_listener.remoteReadCompleted();
}

void RemoteSession::handleReply(const RemoteReply& reply) {
    switch (reply.command) {
        case RemoteFrame::kRead:
            handleReadReply(reply);
            break;
        case RemoteFrame::kWrite:
            m_listener.remoteWriteAcknowledged();
            break;
        case RemoteFrame::kPassword:
            setOperationStatus(std::string(link::texts::kPasswordChanged));
            m_listener.remotePasswordChanged(true);
            break;
        case RemoteFrame::kPasswordRefused:
            setOperationStatus(kPasswordRefusedText);
            m_listener.remotePasswordChanged(false);
            break;
        case RemoteFrame::kReset:
            setOperationStatus(std::string(link::texts::kResetDone));
            m_listener.remoteResetDone();
            break;
        default:
            break;
    }
}

void RemoteSession::handleReadReply(const RemoteReply& reply) {
    auto& image = m_workspace.ReceivedImage;
    const std::size_t address = reply.address;
    if (reply.bytes.size() != ReplyAssembler::kReadReplySize || address + kBlockSize > image.size()) {
        traceLine("Read^ ignored, address " + std::to_string(address));
        return;
    }
    std::copy_n(reply.bytes.begin() + RemoteFrame::kDataOffset, kBlockSize, image.begin() + address);
    // Any 'R' reply is stored at its own address, but only the block asked
    // for moves the read on. Counting every reply would let a late answer to a
    // repeated request, or a reply for another address, skip the next block:
    // the read would then finish with a block never received (0xFF or an
    // earlier read's bytes) decoded into the pages as if the module had sent it.
    if (reply.address == m_nextAddress) {
        m_nextAddress = static_cast<std::uint16_t>(m_nextAddress + kBlockSize);
        m_replyCountdown = 0;
    }
}

void RemoteSession::identify(Connection& connection, std::string_view text) {
    const bool primary = &connection == &m_connections.front();
    for (auto number : {ObjectIdentification::fromSr(text), ObjectIdentification::fromAdm(text)}) {
        if (!number) continue;
        connection.objectNumber = *number;
        if (primary) {
            m_identificationText = text;
            setObjectNumber(*number);
        }
    }
}

void RemoteSession::setObjectNumber(const std::string& number) {
    m_objectNumber = number;
    traceLine("ObjGet^ " + number);
    setRemoteStatus(kObjectPrefix + number);
    m_listener.remoteIdentified(number);
}

void RemoteSession::traceReceived(std::span<const std::uint8_t> bytes) {
    const std::string length = "  L " + std::to_string(bytes.size());
    traceLine("Read^ " + printable(ObjectIdentification::textOf(bytes)) + length);
    traceLine(length);
}

}  // namespace kv6::remote
