#pragma once

#include <QString>
#include <string>
#include <vector>

namespace kv6::ctl {

// The lines of a side file such as parame, as the desktop tool reads them:
// UTF-8 when valid, else Windows-1251; lines end at CR, LF or CR LF. An
// empty list when the file cannot be read.
[[nodiscard]] std::vector<std::string> readSideFileLines(const QString& path, bool* ok = nullptr);

// Where the desktop tool would find a side file: next to the executable,
// else in the current directory; empty when neither has it.
[[nodiscard]] QString locateSideFile(const QString& name);

}  // namespace kv6::ctl
