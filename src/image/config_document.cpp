#include "image/config_document.h"

#include <algorithm>

namespace kv6::image {

PageModel* ConfigDocument::page(std::string_view key) const {
    for (PageModel* p : m_pages)
        if (p->pageKey() == key) return p;
    return nullptr;
}

void ConfigDocument::DecodeImage(DecodeSource source) {
    if (m_enableWriteControls) m_enableWriteControls();
    for (DecodeStep step : kDecodeSteps)
        for (PageModel* p : m_pages) p->decode(step, m_workspace.ReceivedImage, source);
    if (m_decodeJournal) m_decodeJournal(m_workspace.ReceivedImage, source);
    m_workspace.ConfigImage = m_workspace.ReceivedImage;
    if (source == DecodeSource::FileLoad)
        m_workspace.flags.SetAllSectionFlags();
    else
        m_workspace.flags.ClearSectionFlags();
    if (m_remembersFields) rememberFields();
}

void ConfigDocument::EncodeAll() {
    for (PageModel* p : m_pages) p->encode(m_workspace, EncodeMode::EncodeAll);
    rebuildOptionBits();
}

void ConfigDocument::EncodeForFile() {
    m_workspace.flags.SetAllSectionFlags();
    for (PageModel* p : m_pages) p->encode(m_workspace, EncodeMode::EncodeForFile);
    rebuildOptionBits();
}

// The whole-image encoders rebuild byte 1508 from the pages' check boxes;
// bits 4..7 become zero unless a page owns them (the codes page keeps bit 4,
// code 99's bypass, as its dialog set it). Bits 0..3 of pages not present
// keep what the image holds.
void ConfigDocument::rebuildOptionBits() {
    std::uint8_t bits = 0;
    std::uint8_t owned = 0;
    for (const PageModel* p : m_pages) p->contributeOptionBits(bits, owned);
    std::uint8_t& target = m_workspace.ConfigImage[kOptionBitsOffset];
    target = static_cast<std::uint8_t>((target & 0x0F & ~owned) | (bits & owned));
}

void ConfigDocument::queueWriteAllJobs() {
    m_workspace.QueueWrite(0, 64);
    m_workspace.QueueWrite(64, 64);
    m_workspace.QueueWrite(128, 64);
    m_workspace.QueueWrite(192, 54);
    for (int i = 0; i < 16; ++i) m_workspace.QueueWrite(750 + 64 * i, 64);
}

void ConfigDocument::rememberFields() {
    for (PageModel* p : m_pages) p->rememberFields();
}

void ConfigDocument::rememberWrittenByWriteAll() {
    for (PageModel* p : m_pages)
        if (p->sentByWriteAll()) p->rememberWhenWritten();
}

void ConfigDocument::writeEnded(bool ok) {
    for (PageModel* p : m_pages) p->writeEnded(ok);
}

bool ConfigDocument::hasChanges() const {
    return std::any_of(m_pages.begin(), m_pages.end(), [](const PageModel* p) { return p->hasChanges(); });
}

}  // namespace kv6::image
