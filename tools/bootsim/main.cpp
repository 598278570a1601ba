// torvane-bootsim: a simulated boot loader on a pseudo-terminal, for training,
// demonstrations and end-to-end tests. Prints the device path on the first
// line of standard output, answers until SIGINT/SIGTERM (or its own hang-up
// fault), then prints a summary, writes its report and exits 0.

#include <signal.h>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <iostream>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "tools/bootsim/SimRunner.h"
#include "shell/ProgramVersion.h"
#include "tools/mkimage/ProductPacker.h"

namespace {

using namespace torvane::bootsim;

constexpr int ExitOk = 0;
constexpr int ExitFailure = 1;
constexpr int ExitUsage = 2;
constexpr int MaxComNumber = 256;
constexpr int MaxEepromSize = 1024;
constexpr auto StopPoll = std::chrono::milliseconds{100};

volatile std::sig_atomic_t g_stopSignal = 0;

extern "C" void OnStopSignal(int) { g_stopSignal = 1; }

constexpr const char* HelpText = R"HELP(Usage: torvane-bootsim [options]

A simulated boot loader at the far end of a pseudo-terminal. The first line of
standard output is the device path to open as the serial port. It answers
until SIGINT or SIGTERM (or its hang-up fault), then prints a summary on
standard error, writes its report (with --report) and exits 0. Numbers may be
decimal or 0x-prefixed hexadecimal.

The device:
  --chip N              chip code (default 252). Known: 66-72 and 199 (PIC18,
                        64-byte rows), 252 and 254 (0xA800 units), 253 (0x15400
                        units) (dsPIC33/PIC24, 256-byte rows at address = offset/2).
                        Other codes get a 32 KiB PIC18 layout.
  --loader-version N    boot loader version (default 10); 8 to 31 send a record
  --hardware N          hardware code (default 26)
  --preparation N       preparation code (default 0x84)
  --no-identity         answer a wake-up with the chip code and 'K' only
  --record-text TXT     record text, at most 24 characters (default "TORVANE BOOTSIM")
  --record-range S,L    protected range in the record: start and length in
                        address units (default 0,0: none). When the device
                        sends its record (version 8 to 31) and S is not 0, it
                        keeps units S to S+L-1: a block whose row touches
                        them is not written and is answered 'N', so an
                        updater that writes there ends in refusals instead of
                        a false success. frames.log marks each such frame
                        "refused (row in the protected range ...)" and the
                        summary counts them. The updater leaves out every row
                        whose end (the next row's address) lies from S to
                        S+L; with S+L on a row boundary that is every row the
                        device keeps, plus the row just below S, which
                        --expect-image then finds never written.
  --wake LIST           wake-up codes it answers, comma-separated
                        (default 194,197,198)
  --eeprom-size N       data EEPROM bytes, 0 to 1024 (default 256)
  --key N               scramble key (default: this product's)
  --plain               store program data as received, never unscrambled

Faults (frames are numbered from 1 in the order they come down the line,
wake-up bytes included; the number is the line of frames.log. A muted frame
keeps its number, so a frame sent again after it simply has the next one):
  --refuse N            answer 'N' to the first N block and EEPROM frames,
                        writing nothing
  --silent              lose every answer (the frames still take effect)
  --silent-after K      answer frames 1 to K only (later frames still take
                        effect; their answers are lost)
  --mute LIST           these frames never reach the device: nothing of them
                        takes effect (no row written, no wake-up, not counted
                        by --refuse or --wake-at) and nothing is answered.
                        frames.log marks them "muted (never received: ...)"
  --lose-answer LIST    these frames reach the device and take effect (the
                        row is written) but their answer is lost on the line.
                        frames.log shows "answer=lost(..)" with the answer.
                        A frame cannot be in both lists
  --late MS             send every answer MS milliseconds late
  --garble K            flip bit 5 of the first byte of frame K's answer
                        ('K' arrives as 'k')
  --wake-at K           ignore the first K wake-up bytes: the device answers
                        from the updater's try K on (tries count from 0)
  --hangup-after K      close the line after answering frame K, then end
  --noise RATE[:SEED]   flip bits at this bit-error rate (0 to 1, e.g. 1e-4)
                        in what the device receives and in what it sends
  --drop RATE[:SEED]    lose whole bytes at this rate (0 to 1), both ways.
                        The damage follows the seed (default 1) and the
                        place of each byte on the line, so a seed repeats
                        it; the summary counts the bits flipped and the
                        bytes dropped each way, and frames.log shows the
                        frames as they arrived

Line and report:
  --baud N              let the wire time of every byte pass at N baud
                        (11 bits a byte); off by default
  --com COMn            map the COM name to the device in the port map
                        ($TORVANE_CONFIG_DIR/ports)
  --report DIR          at the end write DIR/flash.bin, DIR/eeprom.bin,
                        DIR/frames.log (one line per frame) and
                        DIR/summary.txt (the summary)
  --expect-image HEX    at the end check that flash holds this Intel HEX image
                        past the boot jump bytes (the updater writes those)
                        and outside the rows kept for the protected range;
                        exit 1 when it does not, naming the first byte that
                        differs and whether its row was ever written. A
                        compiler's HEX file will do: configuration words are
                        left out, and PIC18 data EEPROM in it is checked too
  --help                show this text
  --version             name this release and the product it is built for
)HELP";

struct UsageError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

long ParseNumber(std::string_view option, const std::string& text, long min, long max) {
    std::size_t used = 0;
    long value = 0;
    try {
        const bool hex = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
        value = std::stol(text, &used, hex ? 16 : 10);
    } catch (const std::exception&) {
        used = 0;
    }
    if (text.empty() || used != text.size() || value < min || value > max)
        throw UsageError(std::string(option) + " needs a number from " + std::to_string(min) + " to " +
                         std::to_string(max) + ", not '" + text + "'");
    return value;
}

std::vector<long> ParseList(std::string_view option, const std::string& text, long min, long max) {
    std::vector<long> values;
    std::size_t from = 0;
    for (;;) {
        const std::size_t comma = text.find(',', from);
        values.push_back(ParseNumber(option, text.substr(from, comma - from), min, max));
        if (comma == std::string::npos) break;
        from = comma + 1;
    }
    return values;
}

std::uint8_t Byte(std::string_view option, const std::string& text) {
    return static_cast<std::uint8_t>(ParseNumber(option, text, 0, 255));
}

int FrameNumber(std::string_view option, const std::string& text) {
    return static_cast<int>(ParseNumber(option, text, 1, 1'000'000'000));
}

double ParseRate(std::string_view option, const std::string& text) {
    std::size_t used = 0;
    double value = -1;
    try {
        value = std::stod(text, &used);
    } catch (const std::exception&) {
        used = 0;
    }
    if (text.empty() || used != text.size() || !(value >= 0 && value <= 1))
        throw UsageError(std::string(option) + " needs a rate from 0 to 1, not '" + text + "'");
    return value;
}

// RATE[:SEED]; the two noise options share one seed.
double ParseRateAndSeed(std::string_view option, const std::string& text, std::optional<std::uint64_t>& seed) {
    const std::size_t colon = text.find(':');
    if (colon != std::string::npos) {
        const auto s = static_cast<std::uint64_t>(ParseNumber(option, text.substr(colon + 1), 0, 0x7FFF'FFFF'FFFF'FFFFL));
        if (seed && *seed != s) throw UsageError("--noise and --drop must name the same seed");
        seed = s;
    }
    return ParseRate(option, text.substr(0, colon));
}

int ParseComName(const std::string& text) {
    if (text.size() > 3 && (text.compare(0, 3, "COM") == 0 || text.compare(0, 3, "com") == 0))
        return static_cast<int>(ParseNumber("--com", text.substr(3), 1, MaxComNumber)) - 1;
    throw UsageError("--com needs a name like COM7, not '" + text + "'");
}

struct Options {
    SimConfig config;
    RunnerOptions runner;
    std::optional<int> comIndex;
    std::optional<std::string> reportDir;
    std::optional<std::string> expectImage;
    bool help = false;
    bool version = false;
};

Options ParseOptions(int argc, char** argv) {
    Options o;
    SimConfig& c = o.config;
    SimFaults& f = c.faults;
    std::optional<std::uint64_t> noiseSeed;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        std::optional<std::string> inlineValue;
        if (const auto eq = arg.find('='); arg.rfind("--", 0) == 0 && eq != std::string::npos) {
            inlineValue = arg.substr(eq + 1);
            arg.resize(eq);
        }
        auto value = [&]() -> std::string {
            if (inlineValue) return *inlineValue;
            if (i + 1 >= argc) throw UsageError(arg + " needs a value");
            return argv[++i];
        };
        auto flag = [&] {
            if (inlineValue) throw UsageError(arg + " takes no value");
        };
        if (arg == "--help" || arg == "-h") flag(), o.help = true;
        else if (arg == "--chip") c.chip = Byte(arg, value());
        else if (arg == "--version") flag(), o.version = true;
        else if (arg == "--loader-version") c.version = Byte(arg, value());
        else if (arg == "--hardware") c.hardware = Byte(arg, value());
        else if (arg == "--preparation") c.preparation = Byte(arg, value());
        else if (arg == "--no-identity") flag(), c.identity = false;
        else if (arg == "--record-text") {
            c.recordText = value();
            if (c.recordText.size() > static_cast<std::size_t>(RecordTextLength))
                throw UsageError("--record-text holds at most 24 characters");
        } else if (arg == "--record-range") {
            const auto v = ParseList(arg, value(), 0, 0xFFFF);
            if (v.size() != 2) throw UsageError("--record-range needs START,LEN");
            c.recordRangeStart = static_cast<std::uint16_t>(v[0]);
            c.recordRangeLength = static_cast<std::uint16_t>(v[1]);
        } else if (arg == "--wake") {
            c.wakeCodes.clear();
            for (long code : ParseList(arg, value(), 0, 255)) {
                if (!IsWakeCode(static_cast<std::uint8_t>(code)))
                    throw UsageError("--wake takes the wake-up codes 194, 197 and 198, not " + std::to_string(code));
                c.wakeCodes.push_back(static_cast<std::uint8_t>(code));
            }
        } else if (arg == "--eeprom-size") c.eepromSize = static_cast<int>(ParseNumber(arg, value(), 0, MaxEepromSize));
        else if (arg == "--key") c.scrambleKey = Byte(arg, value());
        else if (arg == "--plain") flag(), c.plain = true;
        else if (arg == "--refuse") f.refuseNext = static_cast<int>(ParseNumber(arg, value(), 0, 1'000'000'000));
        else if (arg == "--silent") flag(), f.silent = true;
        else if (arg == "--silent-after") f.silentAfter = FrameNumber(arg, value());
        else if (arg == "--mute") {
            for (long k : ParseList(arg, value(), 1, 1'000'000'000)) f.mute.push_back(static_cast<int>(k));
        } else if (arg == "--lose-answer") {
            for (long k : ParseList(arg, value(), 1, 1'000'000'000)) f.loseAnswer.push_back(static_cast<int>(k));
        } else if (arg == "--late") f.lateMs = static_cast<int>(ParseNumber(arg, value(), 0, 600'000));
        else if (arg == "--garble") f.garbleFrame = FrameNumber(arg, value());
        else if (arg == "--wake-at") f.wakeAt = static_cast<int>(ParseNumber(arg, value(), 0, 1'000'000'000));
        else if (arg == "--hangup-after") f.hangUpAfter = FrameNumber(arg, value());
        else if (arg == "--noise") o.runner.noise.bitErrorRate = ParseRateAndSeed(arg, value(), noiseSeed);
        else if (arg == "--drop") o.runner.noise.dropRate = ParseRateAndSeed(arg, value(), noiseSeed);
        else if (arg == "--baud") o.runner.baud = static_cast<int>(ParseNumber(arg, value(), 1, 100'000'000));
        else if (arg == "--com") o.comIndex = ParseComName(value());
        else if (arg == "--report") {
            o.reportDir = value();
            if (o.reportDir->empty()) throw UsageError("--report needs a folder");
        } else if (arg == "--expect-image") {
            o.expectImage = value();
        } else throw UsageError("unknown option '" + arg + "' (see --help)");
    }
    if (noiseSeed) o.runner.noise.seed = *noiseSeed;
    for (int k : f.loseAnswer) {
        if (std::find(f.mute.begin(), f.mute.end(), k) != f.mute.end())
            throw UsageError("frame " + std::to_string(k) +
                             " cannot be both muted (never received) and have its answer lost (received)");
    }
    return o;
}

// Compares flash with a plain image past the boot jump bytes (4 on PIC18
// parts, 8 on dsPIC33/PIC24 parts), which the updater replaces on purpose,
// and past the rows the device keeps for its protected range, which can never
// hold the image (a write there is reported as refused instead).
bool FlashHolds(const SimRunner& runner, const SimConfig& config, const std::string& hexPath) {
    std::ifstream in(hexPath);
    if (!in) throw std::runtime_error("cannot read " + hexPath);
    std::stringstream text;
    text << in.rdbuf();
    const ChipGeometry g = runner.geometry();
    // A HEX file straight from the compiler also carries configuration words
    // (no boot loader writes them) and, on PIC18 parts, data EEPROM.
    const auto family = g.addressUnit == 2 ? torvane::ChipFamily::Dspic : torvane::ChipFamily::Pic18;
    const auto content =
        torvane::mkimage::SortHexRecords(torvane::mkimage::ReadHexRecords(text.str(), hexPath), family, hexPath);
    const auto& image = content.program;
    const auto flash = runner.flash();
    const auto eeprom = runner.eeprom();
    for (std::size_t i = 0; i < content.eeprom.size(); ++i) {
        if (i < eeprom.size() && eeprom[i] == content.eeprom[i]) continue;
        std::cerr << "torvane-bootsim: check FAILED: data EEPROM differs from " << hexPath << " at index " << i << "\n";
        return false;
    }
    const std::size_t skip = g.rowBytes > 255 ? 8 : 4;
    if (image.size() > flash.size()) {
        std::cerr << "torvane-bootsim: check: " << hexPath << " (" << image.size() << " bytes) does not fit this device's flash\n";
        return false;
    }
    const std::uint32_t rowUnits = g.rowBytes / g.addressUnit;
    std::size_t keptFrom = 0, keptTo = 0;  // image bytes of the rows the device keeps
    if (const auto range = config.protectedRange()) {
        keptFrom = std::size_t{range->first / rowUnits} * g.rowBytes;
        keptTo = std::size_t{(range->end + rowUnits - 1) / rowUnits} * g.rowBytes;
    }
    const auto frames = runner.frames();
    std::size_t compared = 0;
    for (std::size_t i = skip; i < image.size(); ++i) {
        if (i >= keptFrom && i < keptTo) continue;
        ++compared;
        if (flash[i] == image[i]) continue;
        const auto row = static_cast<std::uint32_t>(i / g.rowBytes * rowUnits);
        const bool written = std::any_of(frames.begin(), frames.end(), [&](const FrameRecord& f) {
            return f.kind == FrameKind::Block && f.verdict == Verdict::Accepted && f.address == row;
        });
        char where[160];
        std::snprintf(where, sizeof where, "byte 0x%zX holds 0x%02X, the image 0x%02X (row 0x%X %s)", i, flash[i],
                      image[i], row, written ? "was written" : "was never written");
        std::cerr << "torvane-bootsim: check FAILED: flash differs from " << hexPath << " at " << where << "\n";
        return false;
    }
    std::cerr << "torvane-bootsim: check passed: flash holds " << hexPath << ", all " << compared
              << " bytes past the boot jump";
    if (keptTo > keptFrom) std::cerr << " and outside the protected rows";
    std::cerr << "\n";
    return true;
}

std::string Describe(const SimConfig& c, const ChipGeometry& g) {
    char buf[160];
    if (c.identity)
        std::snprintf(buf, sizeof buf, "chip %u, boot loader version %u, hardware %u, preparation 0x%02X", c.chip,
                      c.version, c.hardware, c.preparation);
    else
        std::snprintf(buf, sizeof buf, "chip %u, no identity", c.chip);
    std::string s = buf;
    std::snprintf(buf, sizeof buf, "; %u-byte rows, boot loader from 0x%X%s", g.rowBytes, g.bootStart(),
                  g.known ? "" : " (unknown chip: stand-in layout)");
    s += buf;
    if (const auto range = c.protectedRange()) {
        std::snprintf(buf, sizeof buf, "; protected range 0x%X-0x%X", range->first, range->end - 1);
        s += buf;
        // The updater judges a row by the address just past it, so the row
        // holding the range's end would be sent and refused.
        if (range->end % (g.rowBytes / g.addressUnit) != 0)
            s += " (it ends inside a row: an updater sends that row and it is refused)";
    } else if (c.recordRangeStart != 0 && c.recordRangeLength != 0) {
        s += "; no protected range (this version sends no record to report it)";
    }
    return s;
}

}  // namespace

int main(int argc, char** argv) {
    Options options;
    try {
        options = ParseOptions(argc, argv);
    } catch (const UsageError& e) {
        std::cerr << "torvane-bootsim: " << e.what() << "\n";
        return ExitUsage;
    }
    if (options.help) {
        std::cout << HelpText;
        return ExitOk;
    }
    if (options.version) {
        std::cout << torvane::VersionText("torvane-bootsim");
        return ExitOk;
    }
    // A file named on the command line is checked before the device answers
    // anybody: finding out at the end would waste the whole run.
    std::error_code ec;
    if (options.expectImage &&
        (!std::filesystem::is_regular_file(*options.expectImage, ec) || !std::ifstream(*options.expectImage))) {
        std::cerr << "torvane-bootsim: --expect-image: cannot read " << *options.expectImage << "\n";
        return ExitUsage;
    }
    if (options.reportDir && !std::filesystem::is_directory(*options.reportDir, ec) &&
        !std::filesystem::create_directories(*options.reportDir, ec)) {
        std::cerr << "torvane-bootsim: --report: cannot create " << *options.reportDir << ": " << ec.message() << "\n";
        return ExitUsage;
    }

    try {
        SimRunner runner(options.config, options.runner);
        if (options.comIndex) {
            const std::string failure = runner.mapPort(*options.comIndex);
            if (!failure.empty()) {
                std::cerr << "torvane-bootsim: cannot map COM" << *options.comIndex + 1 << ": " << failure << "\n";
                return ExitFailure;
            }
        }

        struct sigaction action {};
        action.sa_handler = OnStopSignal;
        sigemptyset(&action.sa_mask);
        sigaction(SIGINT, &action, nullptr);
        sigaction(SIGTERM, &action, nullptr);

        std::cout << runner.devicePath() << std::endl;
        std::cerr << "torvane-bootsim: " << Describe(options.config, runner.geometry());
        if (options.comIndex) std::cerr << "; mapped as COM" << *options.comIndex + 1;
        std::cerr << std::endl;

        runner.start();
        while (g_stopSignal == 0 && !runner.waitForHangUp(StopPoll)) {
        }
        runner.stop();
        if (runner.hungUp()) std::cerr << "torvane-bootsim: hung up the line as told" << std::endl;
        for (const std::string& line : runner.summary()) std::cerr << "torvane-bootsim: " << line << "\n";
        std::cerr.flush();

        if (options.reportDir) runner.writeReport(*options.reportDir);
        if (options.expectImage && !FlashHolds(runner, options.config, *options.expectImage)) return ExitFailure;
        return ExitOk;
    } catch (const std::exception& e) {
        std::cerr << "torvane-bootsim: " << e.what() << "\n";
        return ExitFailure;
    }
}
