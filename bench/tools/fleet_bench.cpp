// addin-host uploading to ten scales at once against uploading to one: every
// emulated scales answers each frame 5 ms late, each gets 300 goods.  Prints
// the wall time of one scales, of ten, and their ratio (the aim: ten take at
// most 1.2 times as long as one).
// Usage: bench_tools_fleet [--processes] [--goods N] [--runs N]
//   default: the ten scales are emulators in this one process, each with its
//            own link thread;
//   --processes: ten scales-emulator programs, as ten separate scales.
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "tools/scales-emulator/emulator.h"

extern char** environ;

namespace {

constexpr int kScales = 10;
constexpr int kDelayMs = 5;
constexpr int kDefaultGoods = 300;
constexpr int kDefaultRuns = 3;
constexpr double kAim = 1.2;

std::string Document(int goods) {
    std::string text = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<Goods>\n";
    for (int i = 1; i <= goods; ++i)
        text += "<Good PLU=\"" + std::to_string(i) + "\" Code=\"" + std::to_string(10000 + i) +
                "\" Name=\"Товар номер " + std::to_string(i) + "\" Price=\"" + std::to_string(i) +
                ",50\" ShelfLife=\"5\"/>\n";
    return text + "</Goods>\n";
}

// One emulated scales: in this process, or a scales-emulator program.
class Scales {
  public:
    virtual ~Scales() = default;
    virtual int Port() const = 0;
};

class InProcess : public Scales {
  public:
    InProcess() {
        emu::Faults faults;
        faults.delayMs = kDelayMs;
        emulator_.SetFaults(faults);
        emulator_.SetEcho(false);
        emulator_.StartUdp("127.0.0.1", 0);
    }
    int Port() const override { return emulator_.UdpPort(); }

  private:
    emu::ScalesEmulator emulator_;
};

class Program : public Scales {
  public:
    explicit Program(int index) {
        portFile_ =
            "/tmp/bench_tools_fleet_port_" + std::to_string(getpid()) + "_" + std::to_string(index);
        std::remove(portFile_.c_str());
        std::vector<std::string> args = {
            SCALES_EMULATOR_EXE, "--port",  "0",       "--port-file",
            portFile_,           "--quiet", "--delay", std::to_string(kDelayMs)};
        std::vector<char*> argv;
        for (std::string& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        posix_spawn_file_actions_t quiet;
        posix_spawn_file_actions_init(&quiet);
        posix_spawn_file_actions_addopen(&quiet, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
        posix_spawn(&pid_, argv[0], &quiet, nullptr, argv.data(), environ);
        posix_spawn_file_actions_destroy(&quiet);
        for (int waited = 0; waited < 5000 && port_ == 0; waited += 10) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
            std::ifstream(portFile_) >> port_;
        }
    }
    ~Program() override {
        kill(pid_, SIGTERM);
        waitpid(pid_, nullptr, 0);
        std::remove(portFile_.c_str());
    }
    int Port() const override { return port_; }

  private:
    pid_t pid_ = -1;
    int port_ = 0;
    std::string portFile_;
};

// Seconds addin-host takes to upload the document to the first `count`
// scales; -1 when it fails.
double Upload(const std::vector<std::unique_ptr<Scales>>& scales, int count,
              const std::string& document) {
    std::string command =
        std::string("LC_ALL=C ") + ADDIN_HOST_EXE + " --lib " + ADDIN_LIB + " upload";
    for (int i = 0; i < count; ++i)
        command += " --address 127.0.0.1:" + std::to_string(scales[i]->Port());
    command += " " + document + " >/dev/null 2>&1";
    auto start = std::chrono::steady_clock::now();
    int status = std::system(command.c_str());
    double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    return status == 0 ? seconds : -1;
}

double ProcessCpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    auto seconds = [](const timeval& t) { return t.tv_sec + t.tv_usec / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
    bool processes = false;
    int goods = kDefaultGoods, runs = kDefaultRuns;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--processes") == 0) processes = true;
        if (std::strcmp(argv[i], "--goods") == 0 && i + 1 < argc) goods = std::atoi(argv[++i]);
        if (std::strcmp(argv[i], "--runs") == 0 && i + 1 < argc) runs = std::atoi(argv[++i]);
    }
    const std::string document = "/tmp/bench_tools_fleet_" + std::to_string(getpid()) + ".xml";
    std::ofstream(document) << Document(goods);
    std::vector<std::unique_ptr<Scales>> scales;
    for (int i = 0; i < kScales; ++i) {
        if (processes)
            scales.push_back(std::make_unique<Program>(i));
        else
            scales.push_back(std::make_unique<InProcess>());
    }
    std::vector<double> one, ten;
    double emulatorCpu =
        0;  // in one process: the CPU its emulators used during the ten-scales runs
    for (int run = 0; run < runs; ++run) {
        one.push_back(Upload(scales, 1, document));
        double before = ProcessCpuSeconds();
        ten.push_back(Upload(scales, kScales, document));
        emulatorCpu += ProcessCpuSeconds() - before;
    }
    std::remove(document.c_str());
    if (*std::min_element(one.begin(), one.end()) < 0 ||
        *std::min_element(ten.begin(), ten.end()) < 0) {
        std::printf("an upload failed\n");
        return 1;
    }
    const double ratio = Median(ten) / Median(one);
    std::printf("%d goods per scales, replies %d ms late, emulators %s, median of %d runs\n", goods,
                kDelayMs, processes ? "in 10 processes" : "in one process", runs);
    std::printf("one scales:  %.3f s\nten scales:  %.3f s\nratio:       %.2f (aim: at most %.1f)\n",
                Median(one), Median(ten), ratio, kAim);
    if (!processes) {
        double wall = 0;
        for (double t : ten) wall += t;
        std::printf("emulators' CPU while ten upload: %.3f s in %.3f s (%.0f%% of one core)\n",
                    emulatorCpu, wall, 100 * emulatorCpu / wall);
    }
    return 0;
}
