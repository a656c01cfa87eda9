// The storing file: create, append, durability by close and reopen, and
// failures with the system's reason.
#include <gtest/gtest.h>

#include <filesystem>

#include "recording_test_util.h"
#include "storing_file.h"

using namespace tessaly;
using namespace tessaly::testing;

TEST(StoringFile, CreateEmptiesAppendKeepsAndDurableStepsReachTheDisk) {
    TempPath p("storing");
    write_file(p.str(), "old\r\n");

    StoringFile f;
    f.open_append(p.str());
    f.write("more");
    f.make_durable();
    EXPECT_EQ(read_file(p.str()), "old\r\nmore");

    f.create(p.str());
    f.write('x');
    f.make_durable();
    EXPECT_EQ(read_file(p.str()), "x");
    f.close();
    EXPECT_FALSE(f.is_open());
    EXPECT_THROW(f.write("y"), StoringError);
}

TEST(StoringFile, DurabilityStepReopensTheFileByName) {
    TempPath p("storing"), moved("storing-moved");
    StoringFile f;
    f.create(p.str());
    f.write("first");
    f.make_durable();
    std::filesystem::rename(p.str(), moved.str());
    f.write("second");  // still goes to the descriptor opened by the last step
    f.make_durable();
    f.write("third");
    f.make_durable();
    EXPECT_EQ(read_file(moved.str()), "firstsecond");
    EXPECT_EQ(read_file(p.str()), "third");
}

TEST(StoringFile, FailuresCarryTheSystemsReasonAndDropTheAbandonedText) {
    StoringFile f;
    try {
        f.create("/nonexistent-folder/RTCM.DAT");
        FAIL() << "created a file in a missing folder";
    } catch (const StoringError& e) {
        EXPECT_STREQ(e.what(), "cannot create /nonexistent-folder/RTCM.DAT: No such file or directory");
    }
    EXPECT_FALSE(f.is_open());

    f.open_append("/dev/full");
    f.write("lost");
    try {
        f.make_durable();
        FAIL() << "writing to /dev/full succeeded";
    } catch (const StoringError& e) {
        EXPECT_STREQ(e.what(), "cannot write to /dev/full: No space left on device");
    }
    EXPECT_NO_THROW(f.close());  // the failed text is not tried again
}
