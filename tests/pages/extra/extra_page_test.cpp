#include <gtest/gtest.h>

#include <QPlainTextEdit>

#include "pages/extra/extra_page.h"
#include "widgets/value_list_editor.h"

namespace kv6::pages {
namespace {

using widgets::ValueListEditor;

TEST(ExtraPageTest, HoldsItsKeysAndMemo) {
    ExtraPage extra;
    auto* grid = extra.findChild<ValueListEditor*>("ValueListEditor7");
    ASSERT_NE(grid, nullptr);
    ASSERT_EQ(grid->rowCount(), 5);
    EXPECT_EQ(grid->key(0), "tclip_job_max_time");
    EXPECT_EQ(grid->key(4), "ip_session_maxtime");
    EXPECT_EQ(grid->value(2), "");
    EXPECT_NE(extra.findChild<QPlainTextEdit*>("Memo4"), nullptr);
}

}  // namespace
}  // namespace kv6::pages
