#include "transports/exec_prog.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <fstream>

#include "platform/files.h"
#include "service/errors.h"
#include "support/test_support.h"

namespace varnel {
namespace {

class ExecProgTest : public testing::VarnelTest {
 protected:
  // An executable script; its body runs under /bin/sh.
  std::string Script(const std::string& path, const std::string& body) {
    std::ofstream(path) << "#!/bin/sh\n" << body << "\n";
    ::chmod(path.c_str(), 0755);
    return path;
  }
  std::vector<std::string> Lines(const std::string& path) {
    return FileExists(path) ? ReadLines(path) : std::vector<std::string>{};
  }
};

TEST(SplitParameters, BlanksSeparateAndQuotesGroup) {
  using V = std::vector<std::string>;
  EXPECT_EQ(SplitParameters("  a  b\tc\r\nd "), (V{"a", "b", "c", "d"}));
  EXPECT_EQ(SplitParameters("\"two words\" x\"y z\" \"\""), (V{"two words", "xy z", ""}));
  EXPECT_EQ(SplitParameters("a; rm -rf / `id` $(id)"),
            (V{"a;", "rm", "-rf", "/", "`id`", "$(id)"}));
  EXPECT_EQ(SplitParameters(std::string("a\0b", 3)), (V{"a", "b"}));
  EXPECT_TRUE(SplitParameters("").empty());
}

TEST_F(ExecProgTest, RunsFromExecProgWithTheParametersAsArguments) {
  const std::string out = dir + "/argv.txt";
  Script(File("ExecProg/notify.sh"),
         "pwd > " + out + "\nfor a in \"$@\"; do echo \"[$a]\" >> " + out + "; done");
  EXPECT_TRUE(RunExecProg(ctx, "notify.sh", "link down; touch " + dir + "/pwned \"a b\""));
  const std::string execDir = File("ExecProg");
  EXPECT_EQ(Lines(out), (std::vector<std::string>{execDir, "[link]", "[down;]", "[touch]",
                                                  "[" + dir + "/pwned]", "[a b]"}));
  EXPECT_FALSE(FileExists(dir + "/pwned"));  // no shell ever saw the parameters
  EXPECT_EQ(ctx.ErrorCount, 0);

  // A path, with either slash, runs in its own directory.
  ::mkdir((dir + "/tools").c_str(), 0755);
  Script(dir + "/tools/where.sh", "pwd > " + out);
  EXPECT_TRUE(RunExecProg(ctx, dir + "\\tools\\where.sh", ""));
  EXPECT_EQ(Lines(out), (std::vector<std::string>{dir + "/tools"}));
}

TEST_F(ExecProgTest, MissingAndUnstartablePrograms) {
  EXPECT_FALSE(RunExecProg(ctx, "absent.sh", "x"));
  ASSERT_EQ(Entries(evt::kRuntimeError).size(), 1u);
  EXPECT_EQ(Entries(evt::kRuntimeError)[0],
            "[0] (Module: RunExecProg: absent.sh could not be found)");
  EXPECT_EQ(ctx.LastErrorText, "2026-06-26: Error running absent.sh");

  // Present but not executable: the start fails, and so does the kill that follows.
  std::ofstream(File("ExecProg/plain.txt")) << "text\n";
  EXPECT_FALSE(RunExecProg(ctx, "plain.txt", "p1 p2"));
  ASSERT_EQ(Entries(evt::kRuntimeError).size(), 3u);
  EXPECT_EQ(Entries(evt::kRuntimeError)[1], "[0] (Module: RunExecProg: plain.txt p1 p2)");
  EXPECT_EQ(Entries(evt::kRuntimeError)[2],
            "[0] Error when trying to kill plain.txt. (Module: RunExecProg: plain.txt p1 p2)");
  EXPECT_EQ(ctx.LastErrorText, "2026-06-26: Error when trying to kill plain.txt.");
  EXPECT_EQ(ctx.ErrorCount, 3);
}

}  // namespace
}  // namespace varnel
