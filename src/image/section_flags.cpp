#include "image/section_flags.h"

namespace kv6::image {

bool SectionFlags::isSet(int entry) const { return valid(entry) && m_entries[entry] != 0; }

void SectionFlags::set(int entry) {
    if (valid(entry)) m_entries[entry] = 1;
}

void SectionFlags::clear(int entry) {
    if (valid(entry)) m_entries[entry] = 0;
}

void SectionFlags::ClearSectionFlags() { m_entries.fill(0); }

void SectionFlags::SetAllSectionFlags() {
    m_entries.fill(1);
    m_entries[kUnusedEntry] = 0;
}

}  // namespace kv6::image
