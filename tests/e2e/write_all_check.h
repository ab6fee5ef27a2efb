#pragma once

#include <QByteArray>
#include <QString>
#include <gtest/gtest.h>
#include <string>

#include "image/image.h"
#include "io/prg_file.h"
#include "pages/configuration.h"

namespace kv6::e2e {

// The module's memory after "write all settings" of a file: what EncodeAll
// makes of the file in the written ranges (0..245, 750..1773), the module's
// earlier bytes everywhere else.
inline void expectWrittenAll(const QString& inputPrg, const image::Image& before, const QByteArray& after,
                             const std::string& context = {}) {
    pages::Configuration expected;
    ASSERT_TRUE(io::loadConfigurationFile(expected, inputPrg).ok);
    expected.document.EncodeAll();
    ASSERT_EQ(after.size(), 4096) << context;
    for (int i = 0; i < 4096; ++i) {
        const bool written = i <= 245 || (i >= 750 && i <= 1773);
        const auto want = written ? expected.workspace.ConfigImage[static_cast<std::size_t>(i)]
                                  : before[static_cast<std::size_t>(i)];
        ASSERT_EQ(static_cast<std::uint8_t>(after[i]), want) << context << " offset " << i;
    }
}

}  // namespace kv6::e2e
