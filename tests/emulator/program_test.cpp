// The scales-emulator program as a script runs it: options, the port file,
// one line per frame, the JSON state on SIGUSR1 and on exit.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <fstream>
#include <sstream>
#include <thread>

#include "frame_bytes.h"
#include "links.h"

namespace {

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// Waits up to waitMs for a file to appear with content.
std::string AwaitFile(const std::string& path, int waitMs = 5000) {
    constexpr int kStepMs = 10;
    for (int waited = 0; waited < waitMs; waited += kStepMs) {
        const std::string text = ReadFile(path);
        if (!text.empty()) return text;
        std::this_thread::sleep_for(std::chrono::milliseconds(kStepMs));
    }
    return "";
}

class Program : public ::testing::Test {
  protected:
    void SetUp() override {
        char pattern[] = "/tmp/scales-emulator-test-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir_ = pattern;
    }
    void TearDown() override {
        if (pid_ > 0) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
        for (const char* name : {"port", "state.json", "out", "err", "scales-tty"})
            unlink(Path(name).c_str());
        rmdir(dir_.c_str());
    }
    std::string Path(const std::string& name) const { return dir_ + "/" + name; }

    void Launch(std::vector<std::string> args) {
        args.insert(args.begin(), SCALES_EMULATOR_PATH);
        pid_ = fork();
        ASSERT_GE(pid_, 0);
        if (pid_ == 0) {
            const int out = open(Path("out").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
            const int err = open(Path("err").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
            dup2(out, 1);
            dup2(err, 2);
            std::vector<char*> argv;
            for (std::string& a : args) argv.push_back(a.data());
            argv.push_back(nullptr);
            execv(argv[0], argv.data());
            _exit(127);
        }
    }

    // Exit status, or -1 when the program is still running after waitMs.
    int AwaitExit(int waitMs = 5000) {
        constexpr int kStepMs = 10;
        for (int waited = 0; waited < waitMs; waited += kStepMs) {
            int status = 0;
            if (waitpid(pid_, &status, WNOHANG) == pid_) {
                pid_ = -1;
                return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(kStepMs));
        }
        return -1;
    }

    // Sends frames to the port named in the port file, each after the
    // reply to the one before.
    void SendFrames(const std::vector<std::vector<uint8_t>>& frames) {
        const int port = std::stoi(AwaitFile(Path("port")));
        const int fd = socket(AF_INET, SOCK_DGRAM, 0);
        sockaddr_in to{};
        to.sin_family = AF_INET;
        to.sin_port = htons(static_cast<uint16_t>(port));
        inet_pton(AF_INET, "127.0.0.1", &to.sin_addr);
        timeval wait{2, 0};
        setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &wait, sizeof wait);
        for (const auto& frame : frames) {
            sendto(fd, frame.data(), frame.size(), 0, reinterpret_cast<sockaddr*>(&to), sizeof to);
            uint8_t reply[16];
            EXPECT_EQ(recv(fd, reply, sizeof reply, 0), 1);
        }
        close(fd);
    }

    std::string dir_;
    pid_t pid_ = -1;
};

const auto kClock = emu_test::Frame("0E 01 00 00 00 00 00 24 03 05 09 07 45");

TEST_F(Program, PrintsFramesAndWritesStateWhenFramesAreDone) {
    Launch({"--port", "0", "--port-file", Path("port"), "--exit-after-frames=2", "--state-file",
            Path("state.json"), "--table"});
    SendFrames({kClock, emu_test::BananaFrame()});
    ASSERT_EQ(AwaitExit(), 0) << ReadFile(Path("err"));
    const std::string out = ReadFile(Path("out"));
    EXPECT_NE(out.find("listening on UDP 127.0.0.1:"), std::string::npos) << out;
    EXPECT_NE(out.find("clock 2024-03-05 09:07:45\n"
                       "goods PLU 10001 code 10001 \"Банан\" price 123.45 shelf life 10 label 0 "
                       "dept 28 barcode 7 unit kg\n"),
              std::string::npos)
        << out;
    EXPECT_NE(out.find("10001  10001  Банан  123.45"), std::string::npos) << out;
    const std::string json = ReadFile(Path("state.json"));
    EXPECT_NE(json.find("\"framesReceived\": 2"), std::string::npos) << json;
    EXPECT_NE(json.find("\"name\": \"Банан\""), std::string::npos) << json;
}

// A state file that is a device or a pipe ("/dev/null") is written into, not
// replaced by a renamed regular file: that would replace it machine-wide.
TEST_F(Program, StateFileThatIsNoRegularFileIsWrittenInPlace) {
    const std::string fifo = Path("state.fifo");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    const int reader = open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
    ASSERT_GE(reader, 0);
    Launch({"--port", "0", "--port-file", Path("port"), "--exit-after-frames=1", "--quiet",
            "--state-file", fifo});
    SendFrames({kClock});
    ASSERT_EQ(AwaitExit(), 0) << ReadFile(Path("err"));
    char json[4096] = {};
    const ssize_t got = read(reader, json, sizeof json - 1);
    close(reader);
    struct stat after {};
    ASSERT_EQ(stat(fifo.c_str(), &after), 0);
    EXPECT_TRUE(S_ISFIFO(after.st_mode));
    EXPECT_GT(got, 0);
    EXPECT_NE(std::string(json).find("\"framesReceived\": 1"), std::string::npos) << json;
}

TEST_F(Program, StateOnSignalsAndFaultOptions) {
    Launch({"--port=0", "--port-file", Path("port"), "--state-file", Path("state.json"), "--quiet",
            "--fail-kind", "goods:1"});
    const int port = std::stoi(AwaitFile(Path("port")));
    ASSERT_GT(port, 0);
    SendFrames({kClock, emu_test::BananaFrame()});  // the goods frame fails: not stored
    kill(pid_, SIGUSR1);
    std::string json = AwaitFile(Path("state.json"));
    EXPECT_NE(json.find("\"goods\": []"), std::string::npos) << json;
    unlink(Path("state.json").c_str());

    SendFrames({emu_test::BananaFrame()});
    kill(pid_, SIGTERM);
    ASSERT_EQ(AwaitExit(), 0);
    json = ReadFile(Path("state.json"));
    EXPECT_NE(json.find("\"plu\": 10001"), std::string::npos) << json;
    EXPECT_EQ(ReadFile(Path("out")).find("goods PLU"), std::string::npos);  // --quiet
}

TEST_F(Program, SerialLinkNamesThePseudoTerminalWhileRunning) {
    const std::string link = Path("scales-tty");
    Launch({"--port=0", "--port-file", Path("port"), "--serial-link", link, "--quiet"});
    AwaitFile(Path("port"));
    char target[256] = {};
    ASSERT_GT(readlink(link.c_str(), target, sizeof target - 1), 0);
    EXPECT_EQ(std::string(target).rfind("/dev/pts/", 0), 0u) << target;
    kill(pid_, SIGTERM);
    ASSERT_EQ(AwaitExit(), 0);
    EXPECT_NE(access(link.c_str(), F_OK), 0);  // removed on exit

    // A file that is not a link is never replaced.
    std::ofstream(link) << "keep";
    Launch({"--port=0", "--serial-link", link});
    EXPECT_EQ(AwaitExit(), 1);
    EXPECT_EQ(ReadFile(link), "keep");
}

TEST_F(Program, RefusesAddressesOffThisMachineAndBadOptions) {
    Launch({"--address", "192.168.0.200", "--port", "0"});
    EXPECT_EQ(AwaitExit(), 2);
    EXPECT_NE(ReadFile(Path("err")).find("only on loopback addresses"), std::string::npos);
    for (const char* bad : {"--delay=x", "--fail-kind=weight", "--fail-reply=maybe", "--frobnicate",
                            "--port", "--delay=weight=5", "--delay=goods=x", "--baud=1234",
                            "--split-gap-us=x", "--realtime=1"}) {
        Launch({bad});
        EXPECT_EQ(AwaitExit(), 2) << bad;
    }
    struct Help {
        std::vector<std::string> args;
        const char* says;
    };
    for (const Help& help : {Help{{"--help"}, "  --fail-kind KIND[:COUNT]\n"},
                             Help{{"-h", "--lang", "ru"}, "Использование: scales-emulator"}}) {
        Launch(help.args);
        EXPECT_EQ(AwaitExit(), 0);
        EXPECT_NE(ReadFile(Path("out")).find(help.says), std::string::npos) << help.says;
    }
}

// A port that is taken: the system's reason is in the message.
TEST_F(Program, SaysWhyItCannotListen) {
    Launch({"--port=0", "--port-file", Path("port"), "--quiet"});
    const std::string port = AwaitFile(Path("port"));
    const pid_t first = pid_;
    pid_ = -1;
    Launch({"--port", port.substr(0, port.size() - 1)});
    EXPECT_EQ(AwaitExit(), 1);
    EXPECT_NE(ReadFile(Path("err"))
                  .find("cannot listen on UDP 127.0.0.1:" + port.substr(0, port.size() - 1) + ": " +
                        std::strerror(EADDRINUSE) + "\n"),
              std::string::npos)
        << ReadFile(Path("err"));
    kill(first, SIGKILL);
    waitpid(first, nullptr, 0);
}

// Per-kind delays on the command line: the kind's own wins over the global one.
TEST_F(Program, DelayPerKind) {
    Launch({"--port=0", "--port-file", Path("port"), "--delay", "100", "--delay", "goods=300",
            "--delay=clock=0", "--exit-after-frames=3", "--realtime"});
    const auto start = std::chrono::steady_clock::now();
    SendFrames({kClock, emu_test::BananaFrame(), emu_test::Frame("0E 04 00 00 04")});
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(400));
    ASSERT_EQ(AwaitExit(), 0) << ReadFile(Path("err"));
    const std::string out = ReadFile(Path("out"));
    EXPECT_NE(out.find("real-time scheduling: "), std::string::npos) << out;
    EXPECT_NE(out.find("clock 2024-03-05 09:07:45\n"), std::string::npos) << out;
    EXPECT_NE(out.find("unit kg [reply after 300 ms]\n"), std::string::npos) << out;
    EXPECT_NE(out.find("clear goods [reply after 100 ms]\n"), std::string::npos) << out;
}

// The serial line at the speed given; the frame's line shows on output.
TEST_F(Program, SerialLineAtTheGivenSpeed) {
    const std::string link = Path("scales-tty");
    Launch({"--port=0", "--port-file", Path("port"), "--baud", "9600", "--serial-link", link,
            "--state-file", Path("state.json")});
    AwaitFile(Path("port"));
    const int fd = emu_test::OpenSerial(link, B9600);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(write(fd, kClock.data(), kClock.size()), 259);
    uint8_t reply = 0;
    pollfd p{fd, POLLIN, 0};
    ASSERT_EQ(poll(&p, 1, 3000), 1);
    EXPECT_EQ(read(fd, &reply, 1), 1);
    EXPECT_EQ(reply, 0x02);
    close(fd);
    kill(pid_, SIGTERM);
    ASSERT_EQ(AwaitExit(), 0);
    const std::string out = ReadFile(Path("out"));
    EXPECT_NE(out.find("(9600 baud, 8N1)"), std::string::npos) << out;
    EXPECT_NE(ReadFile(Path("state.json")).find("\"framesAtWrongLineSetting\": 0"),
              std::string::npos);
}

}  // namespace
