#include "fleet/job_runner.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <utility>

#include "fleet/module_image_layout.h"
#include "pages/journal/journal_model.h"
#include "remote/object_identification.h"
#include "settings/config_diff.h"

namespace kv6::fleet {

using layout::passwordOf;

namespace {

// What a module holds once a factory reset is confirmed.
constexpr std::uint16_t kFactoryPassword = 0;

// An object number the store can keep: one to four letters or digits.
bool plausibleObject(const std::string& number) {
    return !number.empty() && number.size() <= 4 &&
           std::all_of(number.begin(), number.end(), [](char c) { return std::isalnum(static_cast<unsigned char>(c)); });
}

// Printable identification text for the inventory.
std::string printable(std::string_view text) {
    std::string out(text.substr(0, 128));
    for (char& c : out)
        if (static_cast<unsigned char>(c) < 0x20 || static_cast<unsigned char>(c) > 0x7E) c = '.';
    return out;
}

}  // namespace

// Nobody watches a server's status panels or message boxes: the runner
// reports through its listener instead.
class JobRunner::QuietSinks final : public StatusSink, public Prompts, public link::ByteSink, public TraceSink {
public:
    void trace(TraceChannel, const std::string&) override {}
    [[nodiscard]] bool tracing(TraceChannel) const override { return false; }
    void setStatus(StatusPanel, const std::string&) override {}
    bool message(const std::string&, const std::string&, MessageIcon, MessageButtons) override { return true; }
    void write(std::span<const std::uint8_t>) override {}
};

JobRunner::JobRunner(int connectionId, remote::FrameSink& sink, JobRunnerListener& listener, const Options& options)
    : m_connectionId(connectionId),
      m_listener(listener),
      m_options(options),
      m_quiet(std::make_unique<QuietSinks>()),
      m_configuration(std::make_unique<pages::Configuration>()) {
    auto& workspace = m_configuration->workspace;
    m_configuration->document.setRemembersFields(false);  // no window shows change marks
    remote::RemoteSessionListener& sessionListener = *this;
    m_session = std::make_unique<remote::RemoteSession>(workspace, *m_quiet, *m_quiet, sessionListener);
    m_engine = std::make_unique<link::TransferEngine>(workspace, *m_quiet, *m_quiet, *m_quiet, *m_quiet);
    m_engine->setListener(this);
    m_engine->setRemotePath(m_session.get());
    m_engine->setPacing(options.pacing);
    m_session->setFrameSink(&sink);
    // A server knows a module by the text it identifies itself with, never
    // by the data of its replies.
    m_session->setIdentification(remote::RemoteSession::Identification::TextOnly);
    const int zoneHours = options.zoneHours;
    m_session->setTimeZoneHoursProvider([zoneHours] { return zoneHours; });
    if (options.clock) m_session->setClock(options.clock);
    m_session->N18Click();  // a session of one connection, listening from the start
}

JobRunner::~JobRunner() = default;

std::optional<std::int64_t> JobRunner::jobId() const {
    if (!m_job) return std::nullopt;
    return m_job->id;
}

void JobRunner::onConnected(std::uint16_t remotePort) { m_session->onConnected(m_connectionId, remotePort); }

void JobRunner::onData(std::span<const std::uint8_t> bytes) {
    if (m_phase == Phase::Closed) return;
    m_pendingIdentity.clear();
    m_session->onData(m_connectionId, bytes);
    takeIdentity();
    if (m_phase != Phase::Closed) react();
}

void JobRunner::takeIdentity() {
    if (m_pendingIdentity.empty()) return;
    const std::string number = std::exchange(m_pendingIdentity, {});
    if (m_object.empty()) {
        m_object = number;
        m_phase = Phase::Idle;
        m_ticks = 0;
        m_listener.moduleIdentified(m_object, printable(m_session->identificationText()));
    } else if (number != m_object) {
        // Frames would now carry another object number: this connection
        // no longer speaks for the object its jobs were claimed for.
        if (m_job) end(JobEnd::Interrupted, "the module changed its object number to " + number);
        m_phase = Phase::Closed;
        m_listener.closeRequested("object number changed from " + m_object + " to " + number);
    }
}

void JobRunner::onDisconnected() {
    if (m_job) end(JobEnd::Interrupted, "the connection dropped");
    m_session->onDisconnected(m_connectionId);
    m_phase = Phase::Closed;
}

void JobRunner::Timer4Timer() {
    if (m_phase == Phase::Closed) return;
    // The session's tick may repeat a request of the write's verification.
    if ((m_phase == Phase::Writing || m_phase == Phase::Verifying || m_phase == Phase::AwaitingAnswer) && !leaseHeld())
        return;
    m_pendingIdentity.clear();
    m_session->Timer4Timer();  // a text that stopped coming is taken now
    takeIdentity();
    if (m_phase == Phase::Closed) return;
    ++m_ticks;
    switch (m_phase) {
        case Phase::Unidentified:
            if (m_ticks >= m_options.identifyTicks) {
                m_phase = Phase::Closed;
                m_listener.closeRequested("no identification");
            }
            break;
        case Phase::Reading:
        case Phase::Verifying:
            if (m_ticks >= kReadTicks) end(JobEnd::Interrupted, "the module did not answer the read");
            break;
        case Phase::AwaitingAnswer:
            if (m_ticks >= kAnswerTicks) end(JobEnd::Interrupted, "the module did not answer");
            break;
        case Phase::Proving:
            if (m_ticks >= kProofTicks) endProof(Proof::NoAnswer);
            break;
        default:
            break;
    }
}

int JobRunner::ticksUntilDue() const {
    switch (m_phase) {
        case Phase::Closed:
            return kNeverDue;
        case Phase::Unidentified:
            return std::min(m_session->ticksUntilDue(), std::max(1, m_options.identifyTicks - m_ticks));
        case Phase::Idle:
            return m_session->ticksUntilDue();
        default:
            return 1;  // a job or a proof counts its window every tick
    }
}

void JobRunner::skipQuietTicks(int ticks) {
    if (m_phase == Phase::Closed || ticks <= 0) return;
    m_session->skipQuietTicks(ticks);
    m_ticks += ticks;
}

void JobRunner::Timer2Timer() {
    if (m_phase == Phase::Writing && leaseHeld()) m_engine->Timer2Timer();
}

void JobRunner::react() {
    if (m_options.pacing != link::Pacing::Reactive) return;
    if ((m_phase == Phase::Writing || m_phase == Phase::Verifying) && !leaseHeld()) return;
    if (m_phase == Phase::Reading || m_phase == Phase::Verifying || m_phase == Phase::Proving) m_session->reactNow();
    if (m_phase == Phase::Writing) m_engine->react();
}

bool JobRunner::leaseHeld() {
    if (!m_options.fence || !m_job) return true;
    const std::int64_t now =
        m_options.monotonicMs
            ? m_options.monotonicMs()
            : std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
                  .count();
    if (m_options.fence->holds(now)) return true;
    m_phase = Phase::Closed;
    end(JobEnd::LeaseLost, "no heartbeat kept for " + std::to_string(m_options.fence->ageMs(now) / 1000) +
                               " s, the lease may be another server's: nothing more sent");
    m_listener.closeRequested("the lease of its job lapsed");
    return false;
}

void JobRunner::start(FleetJob job) {
    if (m_phase != Phase::Idle) return;
    m_job = std::move(job);
    m_images = std::make_unique<JobImages>();
    m_passwordAfter.reset();
    if (m_job->kind == JobKind::Reset && !m_job->force) {
        end(JobEnd::Failed, "a factory reset runs only when queued with --force");
        return;
    }
    if (changesModule(m_job->kind) && !m_job->password) {
        end(JobEnd::Failed, "no read password is recorded for object " + m_job->object + "; nothing written");
        return;
    }
    m_phase = Phase::Reading;
    startRead();
}

void JobRunner::prove(std::uint16_t recorded) {
    if (m_phase != Phase::Idle || m_job) return;
    m_phase = Phase::Proving;
    m_ticks = 0;
    m_proofPassword = recorded;
    auto& image = m_configuration->workspace.ReceivedImage;
    std::fill_n(image.begin() + kPasswordBlock, remote::RemoteSession::kBlockSize, std::uint8_t{0xFF});
    m_session->startBlockRead(kPasswordBlock);
    react();
}

void JobRunner::endProof(Proof proof) {
    m_session->stopRead();
    m_phase = Phase::Idle;
    m_listener.proofEnded(proof);
}

// The read goes to the end whatever password the module holds; the runner
// judges it once the image is in. Reading changes nothing in the module.
void JobRunner::startRead() {
    m_ticks = 0;
    m_configuration->workspace.ReceivedImage.fill(0xFF);
    m_session->startRead(0, false);
    react();
}

void JobRunner::remoteReadCompleted() {
    m_engine->resetReadState();
    if (m_phase == Phase::Proving) {
        endProof(storedPassword() == m_proofPassword ? Proof::Proved : Proof::Mismatch);
        return;
    }
    if (m_phase == Phase::Reading) {
        // Decoded as a file load: every field of the image, so that encoding
        // the whole configuration again changes nothing but what the job sets.
        m_configuration->document.DecodeImage(image::DecodeSource::FileLoad);
        afterFirstRead();
    } else if (m_phase == Phase::Verifying) {
        // Compared byte for byte; only the journal is wanted from the image.
        m_configuration->journal.decode(m_configuration->workspace.ReceivedImage, image::DecodeSource::RemoteRead);
        afterVerifyRead();
    }
}

const std::vector<journal::JournalRow>& JobRunner::journalRowsOf(const image::Image& image) {
    using journal::JournalModel;
    const auto first = image.begin() + JournalModel::kRegionOffset;
    const auto last = first + JournalModel::kRegionSize;
    JobImages& images = *m_images;
    if (!std::equal(first, last, images.journalBytes.begin(), images.journalBytes.end())) {
        images.journalBytes.assign(first, last);
        images.journalRows = m_configuration->journal.rows(m_options.zoneHours, {});
    }
    return images.journalRows;
}

std::uint16_t JobRunner::storedPassword() const { return passwordOf(m_configuration->workspace.ReceivedImage); }

void JobRunner::keep(const image::Image& image, const std::string& source, std::string consequence, AfterStore next) {
    m_pending = {true, std::move(consequence), next};
    m_phase = Phase::Storing;
    m_ticks = 0;
    answered(m_listener.imageRead(*m_job, image, source, journalRowsOf(image)));
}

void JobRunner::audit(const std::string& difference, AfterStore next) {
    m_pending = {false, "; nothing sent", next};
    m_phase = Phase::Storing;
    m_ticks = 0;
    answered(m_listener.changeSent(*m_job, difference));
}

void JobRunner::storeAnswered(std::int64_t jobId, const std::string& problem) {
    if (m_phase != Phase::Storing || !m_job || m_job->id != jobId) return;
    answered(problem);
}

void JobRunner::answered(const std::optional<std::string>& answer) {
    if (!answer) return;  // the answer comes later; until then the module hears nothing of the job
    if (!answer->empty()) {
        end(JobEnd::StoreFailed, std::string(m_pending.backup ? "the store could not keep the backup: "
                                                              : "the store could not keep the audit line: ") +
                                     *answer + m_pending.consequence);
        return;
    }
    afterStore(m_pending.next);
}

void JobRunner::afterStore(AfterStore next) {
    switch (next) {
        case AfterStore::ReadDone:
            end(JobEnd::Done,
                m_job->password ? "read, backup kept" : "read, backup kept (no password recorded to check)");
            break;
        case AfterStore::AlreadyPassword:
            m_passwordAfter = m_job->newPassword;
            end(JobEnd::Done, "the module already holds the new password");
            break;
        case AfterStore::Audit:
            audit(changeDifference(), AfterStore::SendChange);
            break;
        case AfterStore::SendChange:
            sendChange();
            break;
        case AfterStore::VerifyDone:
            judgeVerifyRead();
            break;
    }
}

void JobRunner::afterFirstRead() {
    FleetJob& job = *m_job;
    const image::Image& read = m_configuration->workspace.ReceivedImage;
    m_images->before = read;
    const std::uint16_t stored = storedPassword();
    // The module proves the object with the password it stores, never with
    // one a file brings: the recorded one, and for a job that sets a new
    // password, that one too (an earlier attempt may have set it before its
    // connection dropped).
    bool proved = job.password && stored == *job.password;
    const std::string jobNumber = std::to_string(job.id);
    if (proved) m_listener.passwordProved(job);
    if (job.kind == JobKind::Read) {
        if (job.password && !proved) {
            end(JobEnd::Failed, "the module's read password differs from the one recorded for object " + job.object,
                true);
            return;
        }
        // Whoever claims a new object number gets its first read: without a
        // recorded password nothing says the image is that object's.
        keep(read, "read job " + jobNumber + (proved ? "" : ", password not proven"), "", AfterStore::ReadDone);
        return;
    }
    std::string problem;
    if (job.kind == JobKind::Write && !prepareWrite(problem)) {
        end(JobEnd::Failed, problem + "; nothing written");
        return;
    }
    if (job.kind == JobKind::Write && job.options.passwordFromFile)
        proved = proved || stored == passwordOf(m_images->written);
    if (job.kind == JobKind::Password && stored == job.newPassword) {
        keep(read, "before job " + jobNumber, "", AfterStore::AlreadyPassword);
        return;
    }
    if (!proved) {
        end(JobEnd::Failed,
            "the module's read password differs from the one recorded for object " + job.object + "; nothing written",
            true);
        return;
    }
    // Nothing goes to the module before its backup and its audit line are kept.
    keep(read, "before job " + jobNumber, "; nothing sent", AfterStore::Audit);
}

// The audit line of the change the job makes; a journal clear is prepared here.
std::string JobRunner::changeDifference() {
    switch (m_job->kind) {
        case JobKind::Write:
            return writeDifference();
        case JobKind::ClearJournal:
            journal::JournalModel::ClearJournal(m_configuration->workspace);
            m_images->written = m_configuration->workspace.ConfigImage;
            return settings::diffText(settings::diffImages(m_images->before, m_images->written));
        case JobKind::Password:
            return "read password changed\n";
        case JobKind::Reset:
            return "factory reset\n";
        case JobKind::Read:
            break;
    }
    return {};
}

void JobRunner::sendChange() {
    const FleetJob& job = *m_job;
    switch (job.kind) {
        case JobKind::Write:
        case JobKind::ClearJournal:
            startWrite();
            break;
        case JobKind::Password:
            if (!leaseHeld()) return;
            m_phase = Phase::AwaitingAnswer;
            m_ticks = 0;
            m_session->sendPassword(*job.password, job.newPassword);
            break;
        case JobKind::Reset:
            if (!leaseHeld()) return;
            m_phase = Phase::AwaitingAnswer;
            m_ticks = 0;
            m_session->sendReset();
            break;
        case JobKind::Read:
            break;
    }
}

void JobRunner::remoteWriteAcknowledged() {
    m_engine->remoteWriteAcknowledged();
}

void JobRunner::remotePasswordChanged(bool changed) {
    if (m_phase != Phase::AwaitingAnswer || m_job->kind != JobKind::Password) return;
    if (changed) {
        m_passwordAfter = m_job->newPassword;
        end(JobEnd::Done, "password changed");
    } else {
        end(JobEnd::Failed, "the module refused the password change");
    }
}

void JobRunner::remoteResetDone() {
    if (m_phase != Phase::AwaitingAnswer || m_job->kind != JobKind::Reset) return;
    // The module confirmed: it is back at the factory password, which the
    // object's next job must be proved with.
    m_passwordAfter = kFactoryPassword;
    end(JobEnd::Done, "factory settings restored");
}

void JobRunner::remoteIdentified(const std::string& objectNumber) {
    if (plausibleObject(objectNumber)) m_pendingIdentity = objectNumber;
}

void JobRunner::end(JobEnd how, std::string result, bool mismatch) {
    if (!m_job) return;
    const FleetJob job = std::move(*m_job);
    m_job.reset();
    m_images.reset();
    // Whatever the engine still had queued belongs to the ended job.
    m_configuration->workspace.queue.clear();
    m_engine->resetReadState();
    m_session->stopRead();
    m_phase = m_phase == Phase::Closed ? Phase::Closed : Phase::Idle;
    JobOutcome outcome;
    outcome.jobId = job.id;
    outcome.end = how;
    outcome.result = std::move(result);
    outcome.passwordMismatch = mismatch;
    outcome.recordedPassword = m_passwordAfter;
    m_listener.jobEnded(job, outcome);
}

}  // namespace kv6::fleet
