// torvane-soak: many whole updates of both product images, each against a
// simulated module with its own random fault plan, as a technician would run
// them (torvane-cli update against torvane-bootsim, two programs on a
// pseudo-terminal). After each run the module checks its memory against the
// image row by row. One line per fault kind: runs, verified successes,
// correct failures, runs the updater ended as a line too noisy to go on
// (correct failures too, counted apart), false successes ("Program Ok" over
// a memory that does not hold the image), "unseen" ones (the same, where the
// module's check explains every row that differs by line damage the frame's
// checksum could not show: the protocol's limit, counted apart), hangs (a
// run longer than its faults allow) and the longest run.
//
// Fault kinds: clean, refuse, mute, lose-answer, late, late>2s (every answer
// past the updater's wait), quiet, noise, drop, hang-up, kill (the module
// killed at a random moment of the transfer, as a clean update times it),
// stray (answers nobody asked for, 'K' or 'N', after random frames),
// late-204 (the enter-programming answer late while the module erases,
// losing what comes meanwhile), jitter (every answer late by a random
// amount, mostly within the updater's wait, sometimes across it) and mixed
// (two or three of these at once).
//
// It exits 1 on any false success or hang; it never judges speed otherwise.
//
//   torvane-soak [--runs N] [--seed S] [--jobs J] [--kinds K1,K2,..] [--keep DIR]
//                [--noise-max RATE] [--cli PATH] [--bootsim PATH] [--images DIR] [--verbose]

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <mutex>
#include <optional>
#include <random>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "tools/bootsim/BootSim.h"
#include "tools/bootsim/ImageCheck.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using Seconds = std::chrono::duration<double>;

constexpr int ExitPassed = 0;
constexpr int ExitFound = 1;
constexpr int ExitUsage = 2;
constexpr const char* ComName = "COM7";
constexpr const char* ProgramOk = "Program Ok";
// The updater's progress line for each block it sends: the first one marks
// the start of the transfer.
constexpr const char* TransferProgress = "status: Program ";
// torvane-cli's exit code (ExitNoisyLine) when the line damaged too many
// frames to go on: " Line too noisy !! ".
constexpr int ExitNoisyLine = 13;

// What one silence may cost the updater: its 2 s wait, the resend's 2 s
// wait and what is around them.
constexpr double SilenceAllowanceS = 5.0;
// A run is given this much beyond a clean run's time (scaled for load) before
// its faults are counted.
constexpr double BaseSlackS = 10.0;
constexpr double CleanTimeFactor = 3.0;
// A module that answers later than the updater waits can keep a search busy
// for every wake-up try. In the transfer, the late answers of earlier tries
// and frames can arrive inside the waits of later frames, at the pace those
// were sent: each frame may then wait up to its full 2 s before the anomalies
// or silences add up, so that part is bounded by the image.
constexpr double LateBeyondWaitAllowanceS = 60.0;
// Answers this late land past the updater's 2 s wait whatever the scheduling.
// A module answering right at the edge is not late: each frame is answered in
// time and the run may take its 2 s a frame, which this bound does not allow.
constexpr int LateBeyondWaitMinMs = 2100;
constexpr int LateBeyondWaitMaxMs = 2600;
// The updater's wait for an answer, and the silences in a transfer after
// which it gives up.
constexpr int UpdaterWaitMs = 2000;
constexpr int SilencesBeforeGivingUp = 8;
// After a refusal the updater waits for the line to be quiet (at most 1 s)
// and may resend a few recent frames after an anomaly.
constexpr double RefusalQuietS = 1.0;
constexpr double ResendRecentS = 1.0;
// One stray may cost what a silence does, then a refusal's quiet and the
// resends; 'N' strays are drawn one time in this many.
constexpr double StrayAllowanceS = SilenceAllowanceS + RefusalQuietS + ResendRecentS;
constexpr int StrayDelayMaxMs = 50;
constexpr int StrayRefusalOneIn = 4;
constexpr const char* StrayRefusal = "=4E";
// A module that erases longer than the updater waits for the 204's answer.
// Frames sent meanwhile are lost; after the unanswered 204 the updater may
// spend a few seconds on its first block.
constexpr int Late204MinMs = 2100;
constexpr int Late204MaxMs = 4000;
constexpr double Late204AllowanceS = 3 * SilenceAllowanceS;
// Jitter: MIN up to 50 ms; MAX mostly well within the updater's wait (a run
// answers every frame at up to MAX), one run in this many across it; within
// the wait MAX lies 5 to 300 ms above MIN.
constexpr int JitterMinMaxMs = 50;
constexpr int JitterWithinMinMs = 5;
constexpr int JitterWithinMaxMs = 300;
constexpr int JitterAcrossOneIn = 5;
constexpr int JitterAcrossMinMs = 2050;
constexpr int JitterAcrossMaxMs = 2600;
// Past the bound, the run is stopped after this much more, and counted as a hang.
constexpr double HangGraceS = 30.0;
constexpr auto Poll = std::chrono::milliseconds{50};
constexpr auto SimExitWait = std::chrono::seconds{30};

struct Module {
    const char* name;
    const char* chip;
    const char* hardware;
    const char* preparation;
    const char* hex;
};

// name, chip code, board, preparation, image it must end up holding
constexpr Module Modules[] = {
    {"33FJ64", "252", "26", "0x84", "kbv7e-33fj64.hex"},
    {"K80", "72", "12", "0x04", "kbv7e-26k80.hex"},
};

enum class Kind {
    Clean, Refuse, Mute, LoseAnswer, Late, LateBeyondWait, Quiet, Noise, Drop, HangUp, Kill, Stray, Late204, Jitter, Mixed
};

// kind, its name in the table and in --kinds
constexpr std::pair<Kind, const char*> KindNames[] = {
    {Kind::Clean, "clean"},       {Kind::Refuse, "refuse"},         {Kind::Mute, "mute"},
    {Kind::LoseAnswer, "lose-answer"}, {Kind::Late, "late"},         {Kind::LateBeyondWait, "late>2s"},
    {Kind::Quiet, "quiet"},       {Kind::Noise, "noise"},           {Kind::Drop, "drop"},
    {Kind::HangUp, "hang-up"},    {Kind::Kill, "kill"},             {Kind::Stray, "stray"},
    {Kind::Late204, "late-204"},  {Kind::Jitter, "jitter"},         {Kind::Mixed, "mixed"},
};

struct Calibration {
    int frames = 0;       // frames of a clean update, wake-up included
    double seconds = 0;   // its time
    // When its transfer ran, from the updater's start: its first block's
    // progress line to its last.
    double transferFromS = 0;
    double transferToS = 0;
};

struct Plan {
    Kind kind = Kind::Clean;
    const Module* module = nullptr;
    std::vector<std::string> simArgs;
    std::optional<double> killAfterS;
    double boundS = 0;          // before the line's damage is counted
    std::string text;           // the faults, for the report line
};

// Unseen: "Program Ok" over a memory that differs, where the module's check
// explains every row that differs by a last write the line had damaged in a
// way its 8-bit sum cannot show. That is the protocol's own limit, not the
// updater's fault, and is counted apart. Noisy: the updater stopped because
// the line damaged too many frames, a correct failure counted apart.
enum class Verdict { Success, Failure, Noisy, FalseSuccess, Unseen, Hang, Broken };

struct Result {
    Verdict verdict = Verdict::Broken;
    double seconds = 0;
    std::string detail;
};

struct Options {
    int runs = 40;
    std::uint64_t seed = 1;
    int jobs = 1;
    std::vector<Kind> kinds;
    std::optional<fs::path> keep;
    std::string cli = TORVANE_CLI;
    std::string bootsim = TORVANE_BOOTSIM;
    fs::path images = fs::path(TORVANE_SOURCE_DIR) / "product" / "images";
    bool verbose = false;
    // Above about 1e-4, two flipped top bits in one frame become likely,
    // and the frame's additive checksum cannot see them.
    double noiseMax = 3e-4;
};

// --- processes ---------------------------------------------------------------

struct Child {
    pid_t pid = -1;
    int out = -1;  // its standard output, non-blocking
};

std::vector<std::string> EnvironmentWith(const std::string& setting) {
    std::vector<std::string> env;
    const std::string name = setting.substr(0, setting.find('=') + 1);
    for (char** e = environ; *e; ++e)
        if (std::strncmp(*e, name.c_str(), name.size()) != 0) env.emplace_back(*e);
    env.push_back(setting);
    return env;
}

// Everything the child needs is prepared before fork: other threads may be
// spawning too.
Child Spawn(const std::vector<std::string>& argv, const std::vector<std::string>& env, const fs::path& errFile) {
    std::vector<char*> args, envp;
    for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    for (const auto& e : env) envp.push_back(const_cast<char*>(e.c_str()));
    envp.push_back(nullptr);
    int out[2];
    if (::pipe2(out, O_CLOEXEC) != 0) return {};
    const int err = ::open(errFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    const int null = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::dup2(null, STDIN_FILENO);
        ::dup2(out[1], STDOUT_FILENO);
        ::dup2(err, STDERR_FILENO);
        ::execve(args[0], args.data(), envp.data());
        ::_exit(127);
    }
    ::close(out[1]);
    ::close(err);
    ::close(null);
    if (pid < 0) {
        ::close(out[0]);
        return {};
    }
    ::fcntl(out[0], F_SETFL, O_NONBLOCK);
    return {pid, out[0]};
}

// Appends what the child has written so far; false once it closed its output.
bool Drain(int fd, std::string& into) {
    char buf[4096];
    for (;;) {
        const ssize_t n = ::read(fd, buf, sizeof buf);
        if (n > 0) {
            into.append(buf, static_cast<std::size_t>(n));
            continue;
        }
        return n < 0 && (errno == EAGAIN || errno == EINTR);
    }
}

// The exit code, or -signal; nullopt when it did not end in time.
std::optional<int> WaitFor(pid_t pid, std::chrono::milliseconds limit) {
    const auto until = Clock::now() + limit;
    for (;;) {
        int status = 0;
        const pid_t r = ::waitpid(pid, &status, WNOHANG);
        if (r == pid) return WIFEXITED(status) ? WEXITSTATUS(status) : -WTERMSIG(status);
        if (r < 0) return -1;
        if (Clock::now() >= until) return std::nullopt;
        std::this_thread::sleep_for(std::chrono::milliseconds{10});
    }
}

int Reap(pid_t pid) {
    if (const auto code = WaitFor(pid, std::chrono::milliseconds{0})) return *code;
    ::kill(pid, SIGKILL);
    return WaitFor(pid, std::chrono::hours{1}).value_or(-1);
}

std::string ReadText(const fs::path& path) {
    std::ifstream in(path);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

// Bytes the noisy line damaged, both ways, from the module's summary lines
// ("... in X of N bytes, D bytes dropped").
long DamagedBytes(const std::string& simErr) {
    long total = 0;
    std::istringstream lines(simErr);
    for (std::string line; std::getline(lines, line);) {
        if (line.find("line noise") == std::string::npos) continue;
        long flipped = 0, dropped = 0, bits = 0, all = 0;
        const auto at = line.find(": ", line.find("line noise"));
        if (at != std::string::npos &&
            std::sscanf(line.c_str() + at + 2, "%ld bits flipped in %ld of %ld bytes, %ld bytes dropped", &bits,
                        &flipped, &all, &dropped) == 4)
            total += flipped + dropped;
    }
    return total;
}

std::string Joined(const std::vector<std::string>& v) {
    std::string s;
    for (const auto& a : v) s += (s.empty() ? "" : " ") + a;
    return s;
}

// --- one run ----------------------------------------------------------------

class Soak {
public:
    explicit Soak(Options o) : o_(std::move(o)) {}

    int run();

private:
    struct Outcome {
        std::optional<int> cliExit;  // nullopt: stopped as hung
        bool claimedOk = false;
        std::optional<double> claimedAtS;
        std::optional<double> transferAtS;      // the first block's progress line
        std::optional<double> lastProgressAtS;  // the last one
        std::optional<int> simExit;  // nullopt: killed by the plan
        double seconds = 0;
        std::string simErr, cliOut;
    };

    Outcome runOnce(const Module& m, const std::vector<std::string>& simArgs, std::optional<double> killAfterS,
                    double limitS, const fs::path& dir) const;
    std::optional<Calibration> calibrate(const Module& m) const;
    Plan plan(int index, std::mt19937_64& rng) const;
    void addFaults(Kind kind, const Module& m, Plan& p, std::mt19937_64& rng) const;
    Result judge(const Plan& p, const Outcome& out) const;

    Options o_;
    std::map<const Module*, Calibration> calibrated_;
    mutable std::mutex print_;
};

Soak::Outcome Soak::runOnce(const Module& m, const std::vector<std::string>& simArgs, std::optional<double> killAfterS,
                            double limitS, const fs::path& dir) const {
    Outcome r;
    fs::create_directories(dir / "config");
    const auto env = EnvironmentWith("TORVANE_CONFIG_DIR=" + (dir / "config").string());
    std::vector<std::string> simArgv{o_.bootsim,    "--chip",       m.chip,  "--hardware", m.hardware,
                                     "--preparation", m.preparation, "--com", ComName,      "--report",
                                     (dir / "report").string(), "--expect-image", (o_.images / m.hex).string()};
    simArgv.insert(simArgv.end(), simArgs.begin(), simArgs.end());
    Child sim = Spawn(simArgv, env, dir / "sim.err");
    if (sim.pid < 0) {
        r.simErr = "cannot start " + o_.bootsim;
        return r;
    }
    // The device path comes first: the port is mapped by then.
    std::string simOut;
    const auto simStarted = Clock::now();
    while (simOut.find('\n') == std::string::npos && Clock::now() - simStarted < std::chrono::seconds{10}) {
        pollfd p{sim.out, POLLIN, 0};
        ::poll(&p, 1, 50);
        if (!Drain(sim.out, simOut) && simOut.find('\n') == std::string::npos) break;
    }
    if (simOut.find('\n') == std::string::npos) {
        ::kill(sim.pid, SIGKILL);
        Reap(sim.pid);
        ::close(sim.out);
        r.simErr = ReadText(dir / "sim.err");
        return r;
    }

    const std::vector<std::string> cliArgv{o_.cli, "update", "--port", ComName, "--as", "main"};
    const auto started = Clock::now();
    Child cli = Spawn(cliArgv, env, dir / "cli.err");
    if (cli.pid < 0) {
        ::kill(sim.pid, SIGKILL);
        Reap(sim.pid);
        ::close(sim.out);
        r.cliExit = 127;  // judged as a run that could not be made
        r.simErr = "cannot start " + o_.cli;
        return r;
    }
    bool killed = false;
    std::size_t lastProgress = std::string::npos;
    for (;;) {
        const double t = Seconds(Clock::now() - started).count();
        Drain(cli.out, r.cliOut);
        if (!r.claimedAtS && r.cliOut.find(ProgramOk) != std::string::npos) r.claimedAtS = t;
        if (const auto at = r.cliOut.rfind(TransferProgress); at != std::string::npos) {
            if (!r.transferAtS) r.transferAtS = t;
            if (at != lastProgress) r.lastProgressAtS = t;
            lastProgress = at;
        }
        if (killAfterS && !killed && t >= *killAfterS) {
            ::kill(sim.pid, SIGKILL);
            killed = true;
        }
        if (const auto code = WaitFor(cli.pid, std::chrono::milliseconds{0})) {
            r.cliExit = code;
            break;
        }
        if (t > limitS) {
            // Stop it as the user would, then for good.
            ::kill(cli.pid, SIGINT);
            if (const auto code = WaitFor(cli.pid, std::chrono::seconds{5}); !code) Reap(cli.pid);
            break;
        }
        pollfd p{cli.out, POLLIN, 0};
        ::poll(&p, 1, static_cast<int>(Poll.count()));
    }
    r.seconds = Seconds(Clock::now() - started).count();
    Drain(cli.out, r.cliOut);
    if (!r.claimedAtS && r.cliOut.find(ProgramOk) != std::string::npos) r.claimedAtS = r.seconds;
    r.claimedOk = r.claimedAtS.has_value() || r.cliExit == 0;
    ::close(cli.out);

    if (killed) {
        Reap(sim.pid);
    } else {
        ::kill(sim.pid, SIGINT);
        r.simExit = WaitFor(sim.pid, SimExitWait);
        if (!r.simExit) r.simExit = Reap(sim.pid);
    }
    ::close(sim.out);
    r.simErr = ReadText(dir / "sim.err");
    return r;
}

std::optional<Calibration> Soak::calibrate(const Module& m) const {
    const fs::path dir = fs::temp_directory_path() / ("torvane-soak-" + std::to_string(::getpid()) + "-calib-" + m.name);
    const Outcome out = runOnce(m, {}, std::nullopt, 600, dir);
    Calibration c;
    c.seconds = out.seconds;
    std::ifstream log(dir / "report" / "frames.log");
    for (std::string line; std::getline(log, line);) ++c.frames;
    if (out.transferAtS && out.lastProgressAtS) {
        c.transferFromS = *out.transferAtS;
        c.transferToS = *out.lastProgressAtS;
    }
    const bool timed = c.transferToS > c.transferFromS;
    const bool good = out.cliExit == 0 && out.simExit == 0 && c.frames > 2 && timed;
    if (!good)
        std::cerr << "torvane-soak: a clean update of the " << m.name << " module did not succeed (updater exit "
                  << (out.cliExit ? std::to_string(*out.cliExit) : "none") << ", module exit "
                  << (out.simExit ? std::to_string(*out.simExit) : "none")
                  << (timed ? "" : std::string(", no \"") + TransferProgress + "\" lines over a while")
                  << "); see " << dir << "\n"
                  << out.cliOut << out.simErr;
    else
        fs::remove_all(dir);
    if (!good) return std::nullopt;
    return c;
}

int Uniform(std::mt19937_64& rng, int from, int to) { return std::uniform_int_distribution<int>(from, to)(rng); }

// A rate spread evenly over its decades.
double LogUniform(std::mt19937_64& rng, double from, double to) {
    return std::exp(std::uniform_real_distribution<double>(std::log(from), std::log(to))(rng));
}

std::string Rate(double r) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.2g", r);
    return buf;
}

void Soak::addFaults(Kind kind, const Module& m, Plan& p, std::mt19937_64& rng) const {
    const Calibration& c = calibrated_.at(&m);
    // Frame 1 is the wake-up; its loss only costs a search try.
    auto frame = [&] { return Uniform(rng, 2, c.frames); };
    // One to three frames, in order, each once.
    auto frames = [&] {
        std::vector<int> f(static_cast<std::size_t>(Uniform(rng, 1, 3)));
        for (int& k : f) k = frame();
        std::sort(f.begin(), f.end());
        f.erase(std::unique(f.begin(), f.end()), f.end());
        return f;
    };
    auto frameList = [&] {
        const std::vector<int> f = frames();
        std::string s;
        for (int k : f) s += (s.empty() ? "" : ",") + std::to_string(k);
        return std::make_pair(s, static_cast<double>(f.size()));
    };
    auto has = [&](const char* option) { return std::find(p.simArgs.begin(), p.simArgs.end(), option) != p.simArgs.end(); };
    auto add = [&](std::vector<std::string> args, double allowanceS) {
        p.simArgs.insert(p.simArgs.end(), args.begin(), args.end());
        p.boundS += allowanceS;
    };
    switch (kind) {
    case Kind::Clean: break;
    case Kind::Refuse: add({"--refuse", std::to_string(Uniform(rng, 1, 6))}, 1); break;
    case Kind::Mute: {
        // A frame cannot be both muted and have its answer lost.
        if (has("--lose-answer")) return;
        const auto [list, n] = frameList();
        add({"--mute", list}, n * SilenceAllowanceS);
        break;
    }
    case Kind::LoseAnswer: {
        if (has("--mute")) return;
        const auto [list, n] = frameList();
        add({"--lose-answer", list}, n * SilenceAllowanceS);
        break;
    }
    case Kind::Late: {
        const int ms = Uniform(rng, 1, 12);
        add({"--late", std::to_string(ms)}, c.frames * ms / 1000.0 * CleanTimeFactor);
        break;
    }
    case Kind::LateBeyondWait:
        add({"--late", std::to_string(Uniform(rng, LateBeyondWaitMinMs, LateBeyondWaitMaxMs))},
            LateBeyondWaitAllowanceS + c.frames * UpdaterWaitMs / 1000.0);
        break;
    case Kind::Quiet: {
        // Mostly near the end, where a quiet module was once held longest.
        const int k = Uniform(rng, 0, 1) ? std::max(2, c.frames - Uniform(rng, 0, 20)) : frame();
        add({"--silent-after", std::to_string(k)}, 2 * SilenceAllowanceS);
        break;
    }
    case Kind::Noise:
        add({"--noise", Rate(LogUniform(rng, 1e-6, o_.noiseMax)) + ":" + std::to_string(rng() >> 16)}, 0);
        break;
    case Kind::Drop: add({"--drop", Rate(LogUniform(rng, 1e-6, 1e-4)) + ":" + std::to_string(rng() >> 16)}, 0); break;
    case Kind::HangUp: add({"--hangup-after", std::to_string(frame())}, SilenceAllowanceS); break;
    case Kind::Kill:
        // Inside the transfer, where a dead module must never end in "Program Ok".
        p.killAfterS = std::uniform_real_distribution<double>(c.transferFromS, c.transferToS)(rng);
        // Unless it sees the line gone, the updater waits out its silences.
        p.boundS += SilencesBeforeGivingUp * SilenceAllowanceS;
        break;
    case Kind::Stray: {
        // FRAME+MS, now and then FRAME+MS=4E
        const std::vector<int> after = frames();
        std::string items;
        for (int k : after) {
            items += (items.empty() ? "" : ",") + std::to_string(k) + "+" + std::to_string(Uniform(rng, 0, StrayDelayMaxMs));
            if (Uniform(rng, 1, StrayRefusalOneIn) == 1) items += StrayRefusal;
        }
        add({"--stray", items}, static_cast<double>(after.size()) * StrayAllowanceS);
        break;
    }
    case Kind::Late204: {
        const int ms = Uniform(rng, Late204MinMs, Late204MaxMs);
        add({"--late-204", std::to_string(ms)}, ms / 1000.0 + Late204AllowanceS);
        break;
    }
    case Kind::Jitter: {
        const int minMs = Uniform(rng, 0, JitterMinMaxMs);
        const bool across = Uniform(rng, 1, JitterAcrossOneIn) == 1;
        // Within the wait the spread, not MAX itself, is drawn: MAX below MIN would be no jitter at all.
        const int maxMs = across ? Uniform(rng, JitterAcrossMinMs, JitterAcrossMaxMs)
                                 : minMs + static_cast<int>(LogUniform(rng, JitterWithinMinMs, JitterWithinMaxMs));
        const std::string range = std::to_string(minMs) + "-" + std::to_string(maxMs) + ":" + std::to_string(rng() >> 16);
        // Every frame may wait its longest; across the wait, silences and resends until it gives up.
        add({"--jitter", range},
            c.frames * maxMs / 1000.0 + (maxMs >= UpdaterWaitMs ? SilencesBeforeGivingUp * SilenceAllowanceS : 0));
        break;
    }
    case Kind::Mixed: break;
    }
}

Plan Soak::plan(int index, std::mt19937_64& rng) const {
    Plan p;
    p.module = &Modules[static_cast<std::size_t>(index) % std::size(Modules)];
    p.kind = o_.kinds[static_cast<std::size_t>(Uniform(rng, 0, static_cast<int>(o_.kinds.size()) - 1))];
    p.boundS = calibrated_.at(p.module).seconds * CleanTimeFactor + BaseSlackS;
    if (p.kind == Kind::Mixed) {
        // Two or three faults of different kinds, noise and drop sharing a seed.
        std::vector<Kind> pool{Kind::Refuse, Kind::Mute,  Kind::LoseAnswer, Kind::Late,    Kind::Quiet,  Kind::Noise,
                               Kind::HangUp, Kind::Kill,  Kind::Stray,      Kind::Late204, Kind::Jitter};
        std::shuffle(pool.begin(), pool.end(), rng);
        pool.resize(static_cast<std::size_t>(Uniform(rng, 2, 3)));
        for (Kind k : pool) addFaults(k, *p.module, p, rng);
    } else {
        addFaults(p.kind, *p.module, p, rng);
    }
    p.text = Joined(p.simArgs);
    if (p.killAfterS) {
        char buf[48];
        std::snprintf(buf, sizeof buf, "%skill -9 after %.2f s", p.text.empty() ? "" : " ", *p.killAfterS);
        p.text += buf;
    }
    if (p.text.empty()) p.text = "no fault";
    return p;
}

Result Soak::judge(const Plan& p, const Outcome& out) const {
    Result r;
    r.seconds = out.seconds;
    const double bound = p.boundS + static_cast<double>(DamagedBytes(out.simErr)) * SilenceAllowanceS;
    if (!out.cliExit) {
        r.verdict = Verdict::Hang;
        r.detail = "still running after " + std::to_string(static_cast<int>(out.seconds)) + " s; stopped";
        return r;
    }
    if (out.claimedOk) {
        const bool killedFirst = p.killAfterS && (!out.claimedAtS || *out.claimedAtS > *p.killAfterS);
        if (killedFirst) {
            r.verdict = Verdict::FalseSuccess;
            r.detail = "\"Program Ok\" after the module was killed";
        } else if (!p.killAfterS && out.simExit != 0) {
            // Only the module's row-by-row check may excuse a difference.
            std::optional<std::string> explained, unexplained, failed;
            std::istringstream lines(out.simErr);
            for (std::string line; std::getline(lines, line);) {
                if (line.find(torvane::bootsim::ExplainedCheckText) != std::string::npos &&
                    line.find(torvane::bootsim::UnseenDamageText) != std::string::npos)
                    explained = line;
                if (!unexplained && line.find("NOT explained") != std::string::npos) unexplained = line;
                if (!failed && line.find("check FAILED") != std::string::npos) failed = line;
            }
            r.verdict = explained ? Verdict::Unseen : Verdict::FalseSuccess;
            const auto& why = explained ? explained : unexplained ? unexplained : failed;
            r.detail = why ? why->substr(std::min(why->find("check"), why->size())) : "the module's check did not pass";
        } else {
            r.verdict = Verdict::Success;
        }
    } else if (*out.cliExit == ExitNoisyLine) {
        r.verdict = Verdict::Noisy;
    } else if (*out.cliExit > 0 && *out.cliExit != ExitUsage && *out.cliExit != 127) {
        r.verdict = Verdict::Failure;
    } else {
        r.verdict = Verdict::Broken;
        r.detail = "the updater exited " + std::to_string(*out.cliExit);
    }
    if ((r.verdict == Verdict::Success || r.verdict == Verdict::Failure || r.verdict == Verdict::Noisy) &&
        out.seconds > bound) {
        r.verdict = Verdict::Hang;
        char buf[96];
        std::snprintf(buf, sizeof buf, "took %.1f s; its faults allow %.1f s", out.seconds, bound);
        r.detail = buf;
    }
    return r;
}

struct Row {
    int runs = 0, ok = 0, failed = 0, noisy = 0, falseOk = 0, unseen = 0, hangs = 0, broken = 0;
    double longest = 0;
};

int Soak::run() {
    for (const Module& m : Modules) {
        const auto c = calibrate(m);
        if (!c) return ExitFound;
        calibrated_[&m] = *c;
        std::printf("calibration: %s module, a clean update: %d frames in %.2f s, the transfer from %.2f s to %.2f s\n",
                    m.name, c->frames, c->seconds, c->transferFromS, c->transferToS);
    }
    std::fflush(stdout);

    // Plans are drawn up front, so a seed names the same runs whatever the jobs.
    std::mt19937_64 rng(o_.seed);
    std::vector<Plan> plans;
    for (int i = 0; i < o_.runs; ++i) plans.push_back(plan(i, rng));

    std::vector<Result> results(plans.size());
    std::atomic<int> next{0};
    const fs::path base = fs::temp_directory_path() / ("torvane-soak-" + std::to_string(::getpid()));
    auto worker = [&] {
        for (int i; (i = next++) < static_cast<int>(plans.size());) {
            const Plan& p = plans[static_cast<std::size_t>(i)];
            const fs::path dir = base / std::to_string(i + 1);
            const Outcome out = runOnce(*p.module, p.simArgs, p.killAfterS, p.boundS + 600 + HangGraceS, dir);
            Result r = judge(p, out);
            results[static_cast<std::size_t>(i)] = r;
            const bool bad = r.verdict == Verdict::FalseSuccess || r.verdict == Verdict::Unseen ||
                             r.verdict == Verdict::Hang || r.verdict == Verdict::Broken;
            {
                std::lock_guard lock(print_);
                if (bad || o_.verbose) {
                    const char* what = r.verdict == Verdict::FalseSuccess ? "FALSE SUCCESS"
                                       : r.verdict == Verdict::Unseen     ? "Program Ok over unseen line damage"
                                       : r.verdict == Verdict::Hang       ? "HANG"
                                       : r.verdict == Verdict::Broken     ? "BROKEN"
                                       : r.verdict == Verdict::Success    ? "ok"
                                       : r.verdict == Verdict::Noisy      ? "failed: line too noisy"
                                                                          : "failed";
                    std::printf("run %d: %s module, %s: %s, %.1f s%s%s\n", i + 1, p.module->name, p.text.c_str(), what,
                                r.seconds, r.detail.empty() ? "" : ": ", r.detail.c_str());
                    std::fflush(stdout);
                }
            }
            if (bad && o_.keep) {
                std::error_code ec;
                fs::create_directories(*o_.keep, ec);
                // The port map holds a link to a line that is gone by now: copied as a link.
                fs::copy(dir, *o_.keep / std::to_string(i + 1), fs::copy_options::recursive | fs::copy_options::copy_symlinks, ec);
                std::ofstream(*o_.keep / std::to_string(i + 1) / "cli.out") << out.cliOut;
            }
            std::error_code ec;
            fs::remove_all(dir, ec);
        }
    };
    std::vector<std::thread> threads;
    for (int j = 0; j < o_.jobs; ++j) threads.emplace_back(worker);
    for (auto& t : threads) t.join();
    std::error_code ec;
    fs::remove_all(base, ec);

    std::map<Kind, Row> rows;
    Row all;
    for (std::size_t i = 0; i < plans.size(); ++i) {
        for (Row* row : {&rows[plans[i].kind], &all}) {
            ++row->runs;
            const Result& r = results[i];
            row->ok += r.verdict == Verdict::Success;
            row->failed += r.verdict == Verdict::Failure;
            row->noisy += r.verdict == Verdict::Noisy;
            row->falseOk += r.verdict == Verdict::FalseSuccess;
            row->unseen += r.verdict == Verdict::Unseen;
            row->hangs += r.verdict == Verdict::Hang;
            row->broken += r.verdict == Verdict::Broken;
            row->longest = std::max(row->longest, r.seconds);
        }
    }
    std::printf("\n%-12s %6s %8s %8s %6s %8s %7s %6s %9s\n", "fault", "runs", "success", "failed", "noisy", "FALSE",
                "unseen", "hangs", "longest");
    auto print = [](const char* name, const Row& r) {
        std::printf("%-12s %6d %8d %8d %6d %8d %7d %6d %8.1fs%s\n", name, r.runs, r.ok, r.failed, r.noisy, r.falseOk,
                    r.unseen, r.hangs, r.longest, r.broken ? "  (some runs could not be judged)" : "");
    };
    for (const auto& [kind, name] : KindNames)
        if (rows.count(kind)) print(name, rows[kind]);
    print("all", all);
    if (all.unseen > 0)
        std::printf("unseen: \"Program Ok\" where the module's check explains every row that differs by line damage\n"
                    "the frames' 8-bit sum could not show; no updater can see it on this protocol\n");
    if (all.noisy > 0)
        std::printf("noisy: the updater stopped with \" Line too noisy !! \" (exit %d), a correct failure\n",
                    ExitNoisyLine);
    std::printf("seed %llu; replay with: torvane-soak --runs %d --seed %llu\n",
                static_cast<unsigned long long>(o_.seed), o_.runs, static_cast<unsigned long long>(o_.seed));
    return all.falseOk + all.hangs + all.broken > 0 ? ExitFound : ExitPassed;
}

std::optional<Options> ParseOptions(int argc, char** argv) {
    Options o;
    for (const auto& [kind, name] : KindNames) o.kinds.push_back(kind);
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        const bool hasValue = i + 1 < argc;
        auto number = [&](long min) -> std::optional<long> {
            if (!hasValue) return std::nullopt;
            char* end = nullptr;
            const long v = std::strtol(argv[++i], &end, 10);
            if (*end != '\0' || v < min) return std::nullopt;
            return v;
        };
        if (a == "--runs") {
            const auto v = number(1);
            if (!v) return std::nullopt;
            o.runs = static_cast<int>(*v);
        } else if (a == "--seed") {
            const auto v = number(0);
            if (!v) return std::nullopt;
            o.seed = static_cast<std::uint64_t>(*v);
        } else if (a == "--jobs") {
            const auto v = number(1);
            if (!v) return std::nullopt;
            o.jobs = static_cast<int>(*v);
        } else if (a == "--kinds" && hasValue) {
            o.kinds.clear();
            std::istringstream list(argv[++i]);
            for (std::string name; std::getline(list, name, ',');) {
                const auto* it = std::find_if(std::begin(KindNames), std::end(KindNames),
                                              [&](const auto& k) { return name == k.second; });
                if (it == std::end(KindNames)) return std::nullopt;
                o.kinds.push_back(it->first);
            }
            if (o.kinds.empty()) return std::nullopt;
        } else if (a == "--keep" && hasValue) o.keep = argv[++i];
        else if (a == "--cli" && hasValue) o.cli = argv[++i];
        else if (a == "--bootsim" && hasValue) o.bootsim = argv[++i];
        else if (a == "--images" && hasValue) o.images = argv[++i];
        else if (a == "--verbose") o.verbose = true;
        else if (a == "--noise-max" && hasValue) {
            o.noiseMax = std::atof(argv[++i]);
            if (!(o.noiseMax > 1e-6 && o.noiseMax <= 1)) return std::nullopt;
        }
        else return std::nullopt;
    }
    return o;
}

}  // namespace

int main(int argc, char** argv) {
    const auto options = ParseOptions(argc, argv);
    if (!options) {
        std::cerr << "usage: torvane-soak [--runs N] [--seed S] [--jobs J] [--kinds K1,K2,..] [--keep DIR]\n"
                     "                    [--noise-max RATE] [--cli PATH] [--bootsim PATH] [--images DIR] [--verbose]\n"
                     "fault kinds:";
        for (const auto& [kind, name] : KindNames) std::cerr << " " << name;
        std::cerr << "\n";
        return ExitUsage;
    }
    ::signal(SIGPIPE, SIG_IGN);
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    return Soak(*options).run();
}
