// The storing file: create, append, written through at every durability
// step, created anew when moved or deleted (log rotation), and failures
// with the system's reason.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>

#include "tool_test_util.h"
#include "storing_file.h"

using namespace tessaly;
using namespace tessaly::testing;

TEST(StoringFile, AppendKeepsCreateEmptiesAndARotatedFileIsCreatedAnew) {
    TempPath p("storing"), moved("storing-moved");
    write_file(p.str(), "old\r\n");
    StoringFile f;
    f.check_path_every(std::chrono::seconds(0));
    f.open_append(p.str());
    f.write("more");
    f.make_durable();
    EXPECT_EQ(read_file(p.str()), "old\r\nmore");

    f.create(p.str());
    f.write('x');
    f.make_durable();
    std::filesystem::rename(p.str(), moved.str());
    f.write("second");  // still goes to the descriptor opened by the last step
    f.make_durable();
    f.write("third");
    f.make_durable();
    EXPECT_EQ(read_file(moved.str()), "xsecond");
    EXPECT_EQ(read_file(p.str()), "third");
    std::filesystem::remove(p.str());
    f.write("lost");  // into the deleted file
    f.make_durable();
    f.write("fourth");
    f.make_durable();
    EXPECT_EQ(read_file(p.str()), "fourth");
    f.close();
    EXPECT_FALSE(f.is_open());
    EXPECT_THROW(f.write("y"), StoringError);
}

TEST(StoringFile, FailuresCarryTheSystemsReasonAndDropTheAbandonedText) {
    const auto failure = [](const std::function<void()>& step) -> std::string {
        try {
            step();
        } catch (const StoringError& e) {
            return e.what();
        }
        return "no failure";
    };
    StoringFile f;
    EXPECT_EQ(failure([&] { f.create("/nonexistent-folder/RTCM.DAT"); }),
              "cannot create /nonexistent-folder/RTCM.DAT: No such file or directory");
    EXPECT_FALSE(f.is_open());
    f.open_append("/dev/full");
    f.write("lost");
    EXPECT_EQ(failure([&] { f.make_durable(); }), "cannot write to /dev/full: No space left on device");
    EXPECT_NO_THROW(f.close());  // the failed text is not tried again
}
