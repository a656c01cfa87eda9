#include <gtest/gtest.h>
#include <vector>
#include <sys/stat.h>
#include <filesystem>
#include <fstream>

#include "reconnect_policy.h"
#include "credentials.h"

namespace tessaly {
namespace {

using std::chrono::seconds;

std::vector<long> waits(ReconnectPolicy& p, int n, seconds receiving = {}) {
    std::vector<long> out;
    for (int i = 0; i < n; ++i) out.push_back(long(p.next_wait(receiving).count()));
    return out;
}

TEST(ReconnectPolicy, DoublesToTheCapAndOnlyAGoodConnectionStartsOver) {
    ReconnectPolicy p(seconds(30));
    EXPECT_EQ(waits(p, 12), (std::vector<long>{1, 2, 4, 8, 16, 32, 64, 128, 256, 256, 256, 256}));
    EXPECT_EQ(p.attempt(), 12);
    p.reset();
    waits(p, 4);
    // Connections that fell before delivering for long keep the backoff.
    EXPECT_EQ(waits(p, 2, seconds(29)), (std::vector<long>{16, 32}));
    EXPECT_EQ(p.next_wait(seconds(30)), seconds(1));
    EXPECT_EQ(waits(p, 1), (std::vector<long>{2}));
    EXPECT_EQ(p.attempt(), 2);
    p.reset();
    EXPECT_EQ(waits(p, 1), (std::vector<long>{1}));
}

}  // namespace
}  // namespace tessaly

// Credentials files: what is read from them, and the exact reason when one
// is refused (a mode that lets others in, a line that is not USER:PASSWORD).
// No password ever appears in a reason.
namespace tessaly::credentials {
namespace {

TEST(Credentials, ReadsOrSaysWhatIsWrong) {
    const std::string path = (std::filesystem::temp_directory_path() / ("creds-" + std::to_string(::getpid()))).string();
    const std::string name = "credentials file " + path;
    const std::tuple<const char*, mode_t, std::string> cases[] = {  // content, mode, logins or error
        {"# users\nalice:s3cret\r\n\nbob:pa:ss word\n", 0600, "alice=s3cret bob=pa:ss word "},
        {"carol:\tx", 0400, "carol=\tx "},
        {"alice:s3cret\n", 0644, name + " is readable by group and others (mode 0644): it must be 0600 (chmod 600 " + path + ")"},
        {"alice:s3cret\n", 0620, name + " is writable by group (mode 0620): it must be 0600 (chmod 600 " + path + ")"},
        {"alice:s3cret\n", 0607, name + " is readable by others, writable by others, executable by others (mode 0607): "
                                        "it must be 0600 (chmod 600 " + path + ")"},
        {"alice:s3cret\nbob s3cret\n", 0600, name + " line 2: expected USER:PASSWORD"},
        {":s3cret\n", 0600, name + " line 1: no user name before ':'"},
        {"alice:s3\x1b[2Jcret\n", 0600, name + " line 1: control characters in the user name or password"},
        {"alice:s3cret\nalice:other\n", 0600, name + " line 2: user alice is given twice"},
        {"# nobody\n\n", 0600, name + " holds no USER:PASSWORD line"}};
    for (const auto& [content, mode, expected] : cases) {
        std::ofstream(path, std::ios::trunc) << content;
        ::chmod(path.c_str(), mode);
        std::string error, got;
        if (const auto logins = read_file(path, error))
            for (const Login& l : *logins) got += l.user + "=" + l.password + " ";
        EXPECT_EQ(got.empty() ? error : got, expected) << content;
    }
    std::filesystem::remove(path);
    std::string error;
    EXPECT_FALSE(read_file(path, error));
    EXPECT_EQ(error, "cannot read " + name + ": No such file or directory");
    EXPECT_FALSE(read_file("/tmp", error));
    EXPECT_EQ(error, "credentials file /tmp is not a regular file");
}

TEST(Credentials, ChoosesTheUserNamedInTheUrl) {
    const std::vector<Login> two{{"alice", "a"}, {"bob", "b"}};
    std::string error;
    EXPECT_EQ(choose(two, "bob", "F", error)->password, "b");
    EXPECT_EQ(choose({{"alice", "a"}}, "", "F", error)->password, "a");
    EXPECT_FALSE(choose(two, "", "F", error));
    EXPECT_EQ(error, "F holds 2 users: name the one to use in the URL (ntrip://USER@HOST/MOUNT)");
    EXPECT_FALSE(choose(two, "carol", "F", error));
    EXPECT_EQ(error, "F has no line for user carol");
}

}  // namespace
}  // namespace tessaly::credentials
