// A job runner's write: what it sends, what the audit names, and the
// verify read that decides whether the module holds it.
#include <algorithm>

#include "fleet/job_runner.h"
#include "fleet/module_image_layout.h"
#include "fleet/write_image.h"
#include "settings/config_diff.h"
#include "settings/image_edit.h"
#include "settings/settings_json.h"
#include "settings/write_verification.h"

namespace kv6::fleet {

using namespace layout;

// What the write changes, field by field; the object number and the read
// password only where the job says so, and named with its option.
std::string JobRunner::writeDifference() const {
    const image::Image& before = m_images->before;
    image::Image written = m_images->written;
    const bool passwordChanges = passwordOf(written) != passwordOf(before);
    // No field shows the password: it is named below rather than as bare bytes.
    std::copy_n(before.begin() + kPasswordOffset, 2, written.begin() + kPasswordOffset);
    std::string text = settings::diffText(settings::diffImages(before, written));
    if (!std::equal(before.begin(), before.begin() + kObjectNumberLength, written.begin()))
        text += "object number changed, as the job asks (--renumber)\n";
    if (passwordChanges) text += "read password changed, as the job asks (--password-from-file)\n";
    return text;
}

// What a write sends, onto the image just read: a settings document applied
// as `kv6ctl apply` does, or a whole image, kept to what writtenImage()
// lets a job change. Fills m_images->written.
bool JobRunner::prepareWrite(std::string& problem) {
    FleetJob& job = *m_job;
    auto& workspace = m_configuration->workspace;
    image::Image source{};
    if (job.format == WriteFormat::Prg) {
        if (job.payload.size() != image::kImageSize) {
            problem = "the image to write is not " + std::to_string(image::kImageSize) + " bytes";
            return false;
        }
        std::copy(job.payload.begin(), job.payload.end(), source.begin());
    } else if (job.format == WriteFormat::SettingsJson) {
        settings::Json json;
        std::string error;
        if (!settings::parseJson(std::string_view(reinterpret_cast<const char*>(job.payload.data()), job.payload.size()),
                                 json, error)) {
            problem = "the settings are not JSON: " + error;
            return false;
        }
        // Only the bytes of the fields the settings change go onto the module's
        // own image, as kv6ctl apply edits a file: re-encoding every page would
        // also rewrite bytes the editors normalise and that no one asked to change.
        const settings::ImageEdit edit(*m_configuration, workspace.ReceivedImage);
        const std::vector<std::string> problems = settings::applyJson(m_configuration->document, json);
        if (!problems.empty()) {
            problem = "the settings were refused: " + problems.front();
            if (problems.size() > 1) problem += " (and " + std::to_string(problems.size() - 1) + " more)";
            return false;
        }
        source = edit.edited();
    } else {
        problem = "the write job holds nothing to write";
        return false;
    }
    m_images->written = writtenImage(m_images->before, source, job.options);
    workspace.ConfigImage = m_images->written;
    return true;
}

void JobRunner::startWrite() {
    if (!leaseHeld()) return;
    if (m_job->kind == JobKind::Write) m_configuration->document.queueWriteAllJobs();
    m_phase = Phase::Writing;
    m_ticks = 0;
    m_engine->startWrite();
    react();
}

void JobRunner::writeFinished(bool ok) {
    if (m_phase != Phase::Writing) return;
    if (!ok) {
        end(JobEnd::Interrupted, "the module did not acknowledge a write");
        return;
    }
    if (m_job->kind == JobKind::ClearJournal) {
        end(JobEnd::Done, "journal cleared");
        return;
    }
    if (!leaseHeld()) return;
    m_phase = Phase::Verifying;
    startRead();
}

void JobRunner::afterVerifyRead() {
    // Judged as read: nothing that comes while the backup is being kept counts.
    m_images->verified = m_configuration->workspace.ReceivedImage;
    // Run again, the write is sent again: the same bytes, then a backup that is kept.
    keep(m_images->verified, "after job " + std::to_string(m_job->id), " after the write",
         AfterStore::VerifyDone);
}

void JobRunner::judgeVerifyRead() {
    const image::Image& read = m_images->verified;
    const settings::ConfigDiff diff =
        settings::compareWritten(m_images->written, read, kRemoteReadBytes, settings::writeAllRanges());
    if (diff.empty()) {
        m_passwordAfter = passwordOf(m_images->written);
        end(JobEnd::Done, "verified");
        return;
    }
    std::string held;
    for (const auto& f : diff.fields) held += (held.empty() ? "" : ", ") + f.key;
    for (const auto& r : diff.otherBytes)
        held += (held.empty() ? "bytes " : ", bytes ") + std::to_string(r.first) + ".." + std::to_string(r.last);
    // Whatever the module now holds, its password is what the read found.
    m_passwordAfter = passwordOf(read);
    end(JobEnd::Failed, "did not hold: " + held);
}

}  // namespace kv6::fleet
