// The dialog's script button on a file that cannot be read to its end
// (POSIX side).
#include "dialog_rig.h"

#include <gtest/gtest.h>

#include <string>

namespace {

// A file whose reading fails (the kernel answers EIO for the unmapped start
// of this process's memory) is reported as a failure, not as a script read
// to its end.
TEST(DialogOption, AScriptThatCannotBeReadIsAWarningNotDone) {
    Rig rig;
    rig.open();
    rig.reveal();
    rig.type(1040, "/proc/self/mem");
    rig.click(1039);
    EXPECT_TRUE(rig.calls().empty());
    const auto boxes = rig.surface.take_boxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].kind, "warning");
    EXPECT_NE(boxes[0].text.find("failed"), std::string::npos) << boxes[0].text;
}

}  // namespace
