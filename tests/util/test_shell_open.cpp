#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include <gtest/gtest.h>

#include "fakes/ScopedEnv.h"
#include "fakes/AlarmRecorders.h"
#include "util/ShellLaunch.h"
#include "util/Util.h"

using namespace quorvane;
using quorvane::testing::ScopedEnv;
namespace fs = std::filesystem;

namespace {

// A fresh directory for one test, removed with everything in it at the end.
class TempDir {
public:
    TempDir() {
        std::string pattern = (fs::temp_directory_path() / "quorvane-shell-XXXXXX").string();
        if (!mkdtemp(pattern.data()))
            throw std::runtime_error("mkdtemp failed");
        path_ = pattern;
    }
    ~TempDir() {
        std::error_code ec;
        fs::remove_all(path_, ec);
    }
    const fs::path& path() const { return path_; }

private:
    fs::path path_;
};

void WriteFile(const fs::path& path, const std::string& text, bool executable) {
    std::ofstream(path) << text;
    fs::permissions(path, executable ? fs::perms(0755) : fs::perms(0644));
}

// A script that writes its parent's pid and its arguments 2.. into the file named by its first
// argument, renaming it into place so a reader never sees it half written.
const char* MarkerScript = "#!/bin/sh\n"
                           "out=\"$1\"; shift\n"
                           "{ echo \"$PPID\"; echo \"$*\"; } > \"$out.tmp\" && mv \"$out.tmp\" \"$out\"\n";

// Polls for a file for at most ten seconds; the started program runs on its own.
std::string AwaitFile(const fs::path& path) {
    for (int i = 0; i < 2000; ++i) {
        if (fs::exists(path)) {
            std::ostringstream text;
            text << std::ifstream(path).rdbuf();
            return text.str();
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return "(no file)";
}

// The test process has no child left, running or zombie.
void ExpectNoChildren() {
    int status = 0;
    errno = 0;
    EXPECT_EQ(waitpid(-1, &status, WNOHANG), -1);
    EXPECT_EQ(errno, ECHILD);
}

TEST(ShellCommand, ExecutablesRunThemselvesAndEverythingElseGoesToTheOpener) {
    TempDir dir;
    const fs::path script = dir.path() / "run me.sh";
    const fs::path doc = dir.path() / "notes.txt";
    WriteFile(script, "#!/bin/sh\n", true);
    WriteFile(doc, "text", false);

    EXPECT_EQ(ShellCommand(script.string(), ""), std::vector<std::string>{script.string()});
    EXPECT_EQ(ShellCommand(script.string(), "  -v \tlog.txt  "),
              (std::vector<std::string>{script.string(), "-v", "log.txt"}));
    EXPECT_EQ(ShellCommand(doc.string(), "ignored"), (std::vector<std::string>{"xdg-open", doc.string()}));
    EXPECT_EQ(ShellCommand(dir.path().string(), ""),
              (std::vector<std::string>{"xdg-open", dir.path().string()}));
    EXPECT_EQ(ShellCommand("https://example.com/help.html", ""),
              (std::vector<std::string>{"xdg-open", "https://example.com/help.html"}));
    EXPECT_EQ(ShellCommand("mailto:me@example.jp", ""),
              (std::vector<std::string>{"xdg-open", "mailto:me@example.jp"}));
}

TEST(ShellCommand, MissingOrEmptyTargetsGiveNoCommand) {
    TempDir dir;
    EXPECT_TRUE(ShellCommand("", "").empty());
    EXPECT_TRUE(ShellCommand((dir.path() / "gone.exe").string(), "").empty());
    EXPECT_TRUE(ShellCommand("no-such-relative-file", "").empty());
    EXPECT_TRUE(ShellCommand("x:", "").empty());
    EXPECT_TRUE(ShellCommand("1http://a", "").empty());
}

// A relative name must not be looked up in PATH or taken for an option of the opener.
TEST(ShellCommand, RelativeNamesStayPaths) {
    TempDir dir;
    WriteFile(dir.path() / "tool", "#!/bin/sh\n", true);
    WriteFile(dir.path() / "-doc", "", false);
    const fs::path old = fs::current_path();
    fs::current_path(dir.path());
    const auto tool = ShellCommand("tool", "");
    const auto doc = ShellCommand("-doc", "");
    fs::current_path(old);
    EXPECT_EQ(tool, std::vector<std::string>{"./tool"});
    EXPECT_EQ(doc, (std::vector<std::string>{"xdg-open", "./-doc"}));
}

TEST(ShellOpen, StartsAnExecutableDetachedWithItsParameters) {
    TempDir dir;
    const fs::path script = dir.path() / "marker.sh";
    const fs::path marker = dir.path() / "marker";
    WriteFile(script, MarkerScript, true);

    ShellOpen(script.string(), marker.string() + " alarm  on");
    ExpectNoChildren();
    const std::string text = AwaitFile(marker);
    std::istringstream lines(text);
    std::string parent, args;
    std::getline(lines, parent);
    std::getline(lines, args);
    EXPECT_EQ(args, "alarm on") << text;
    EXPECT_NE(parent, std::to_string(getpid())) << "the program is this process's child";
    ExpectNoChildren();
}

TEST(ShellOpen, DocumentsGoToTheOpenerFoundInPath) {
    TempDir dir;
    const fs::path bin = dir.path() / "bin";
    fs::create_directory(bin);
    const fs::path marker = dir.path() / "opened";
    WriteFile(bin / "xdg-open",
              "#!/bin/sh\necho \"$*\" > \"" + marker.string() + ".tmp\" && mv \"" + marker.string() +
                  ".tmp\" \"" + marker.string() + "\"\n",
              true);
    const fs::path doc = dir.path() / "chart.png";
    WriteFile(doc, "", false);

    ScopedEnv path("PATH", bin.string() + ":/usr/bin:/bin");
    ShellOpen(doc.string(), "");
    EXPECT_EQ(AwaitFile(marker), doc.string() + "\n");
    ExpectNoChildren();
}

TEST(ShellOpen, MissingTargetOrOpenerIsDroppedSilently) {
    TempDir dir;
    const fs::path doc = dir.path() / "chart.png";
    WriteFile(doc, "", false);
    ScopedEnv path("PATH", (dir.path() / "empty").string());
    ShellOpen(doc.string(), "");
    ShellOpen((dir.path() / "gone.sh").string(), "x");
    ShellOpen("", "");
    ExpectNoChildren();
}

TEST(ShellOpen, AnInstalledShellReplacesTheDesktopUntilRemoved) {
    TempDir dir;
    const fs::path script = dir.path() / "marker.sh";
    const fs::path marker = dir.path() / "marker";
    WriteFile(script, MarkerScript, true);
    quorvane::testing::ActionLog log;
    quorvane::testing::ShellRecorder recorder(log);

    InstallShell(&recorder);
    ShellOpen(script.string(), marker.string() + " recorded");
    InstallShell(nullptr);
    ASSERT_EQ(recorder.calls.size(), 1u);
    EXPECT_EQ(recorder.calls[0].target, script.string());
    EXPECT_EQ(recorder.calls[0].parameters, marker.string() + " recorded");

    ShellOpen(script.string(), marker.string() + " real");
    EXPECT_NE(AwaitFile(marker).find("real"), std::string::npos);
}

} // namespace
