#pragma once

#include <functional>
#include <string_view>
#include <vector>

#include "image/page_model.h"
#include "image/workspace.h"

namespace kv6::image {

// The whole-image paths: decode into every page, the two whole-image
// encoders, and the jobs of "write all settings". Pages register in page order.
class ConfigDocument {
public:
    static constexpr int kOptionBitsOffset = 1508;

    explicit ConfigDocument(Workspace& workspace) : m_workspace(workspace) {}

    void addPage(PageModel& page) { m_pages.push_back(&page); }
    [[nodiscard]] const std::vector<PageModel*>& pages() const { return m_pages; }
    [[nodiscard]] PageModel* page(std::string_view key) const;

    // Called as the first decode step (enables the write controls).
    void setWriteControlsEnabler(std::function<void()> enabler) { m_enableWriteControls = std::move(enabler); }
    // Runs after the pages' steps of every whole-image decode (the journal).
    void setJournalDecoder(std::function<void(const Image&, DecodeSource)> decoder) {
        m_decodeJournal = std::move(decoder);
    }

    // Decodes ReceivedImage into every page, copies it into ConfigImage, then
    // clears (serial/remote read) or sets (file load) every SectionFlags entry.
    void DecodeImage(DecodeSource source);

    // Encodes every page unconditionally for "write all settings".
    void EncodeAll();
    // Sets every SectionFlags entry and encodes every page for a file save.
    void EncodeForFile();

    // The twenty jobs of "write all settings": 0..245 in four jobs and
    // 750..1773 in sixteen jobs of 64 bytes.
    void queueWriteAllJobs();

    // Every page remembers what it shows (after a decode, a save).
    void rememberFields();
    // Whether a whole-image decode remembers the fields. Only a window marks
    // changed fields; a server or a diff that decodes image after image does
    // without the copy.
    void setRemembersFields(bool remembers) { m_remembersFields = remembers; }
    // The pages "write all settings" sends count as unchanged once it ends well.
    void rememberWrittenByWriteAll();
    // The queued write ended: taken whole by the module (ok) or failed.
    void writeEnded(bool ok);
    [[nodiscard]] bool hasChanges() const;

    [[nodiscard]] Workspace& workspace() { return m_workspace; }

private:
    void rebuildOptionBits();

    Workspace& m_workspace;
    std::vector<PageModel*> m_pages;
    std::function<void()> m_enableWriteControls;
    std::function<void(const Image&, DecodeSource)> m_decodeJournal;
    bool m_remembersFields = true;
};

}  // namespace kv6::image
