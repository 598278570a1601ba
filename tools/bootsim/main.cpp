// torvane-bootsim: a simulated boot loader on a pseudo-terminal, for training,
// demonstrations and end-to-end tests. Prints the device path on the first
// line of standard output (one line per module with several), answers until
// SIGINT/SIGTERM (or its own hang-up fault), then prints a summary, writes its
// report and exits 0.

#include <signal.h>

#include <algorithm>
#include <cctype>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <iostream>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "tools/bootsim/ImageCheck.h"
#include "tools/bootsim/SimRunner.h"
#include "shell/ProgramVersion.h"
#include "tools/mkimage/ProductPacker.h"

namespace {

using namespace torvane::bootsim;

constexpr int ExitOk = 0;
constexpr int ExitFailure = 1;
constexpr int ExitUsage = 2;
constexpr int MaxComNumber = 256;
constexpr int MaxModules = 64;
constexpr int MaxModulesInTurn = 1'000'000;
constexpr long MaxModuleChangeGapMs = 600'000;
constexpr int MaxEepromSize = 1024;
constexpr long MaxFrameNumber = 1'000'000'000;
constexpr long MaxDelayMs = 600'000;
constexpr std::size_t MaxStrayBytes = 64;
constexpr auto StopPoll = std::chrono::milliseconds{100};

volatile std::sig_atomic_t g_stopSignal = 0;

extern "C" void OnStopSignal(int) { g_stopSignal = 1; }

constexpr const char* HelpText = R"HELP(Usage: torvane-bootsim [options]

A simulated boot loader at the far end of a pseudo-terminal. The first line of
standard output is the device path to open as the serial port (one line per
module with --modules). It answers until SIGINT or SIGTERM (or its hang-up
fault), then prints a summary on standard error, writes its report (with
--report) and exits 0. Numbers may be decimal or 0x-prefixed hexadecimal.

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
  --late MS             send every answer MS milliseconds late (frames.log
                        shows after=MSms with each answer sent late)
  --jitter MIN-MAX[:SEED]
                        make every answer a further MIN to MAX milliseconds
                        late, drawn afresh for each answer from SEED
                        (default 1): a seed gives each frame the same delay
                        on every run. Answers still go out in the order of
                        their frames, as a device answers, so one drawn
                        shorter than the answer before it waits for that one.
                        The device goes on reading while answers wait
  --late-204 MS         answer the enter-programming command (204) MS
                        milliseconds after it came, as a module does that
                        erases its flash first (--late and --jitter do not
                        add to it). Until then the device is erasing: every
                        frame that starts coming meanwhile is lost to it
                        (frames.log: "muted (arrived while erasing)", nothing
                        written, no answer)
  --stray LIST          send bytes the updater never asked for: LIST is
                        comma-separated items FRAME[+MS][=HEX]. After frame
                        FRAME has come down the line, whatever became of it
                        (muted or its answer lost included), the bytes HEX
                        (default 4B, a 'K'; e.g. =4E for an 'N', =4B4B for
                        two) go out MS milliseconds later (default 0; with 0
                        before the frame's own answer). They pass the noisy
                        line like every byte the device sends. frames.log
                        shows them on the frame's line ("stray=4B+30ms")
                        and the summary lists them
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
                        frames as they arrived. A wake-up or enter-programming
                        byte that comes while the line has damaged something
                        since it last went quiet (50 ms) is most likely a
                        piece of the broken frame: frames.log marks it, and
                        its answer, damaged-by-line too

Line and report:
  --baud N              let the wire time of every byte pass at N baud
                        (11 bits a byte); off by default
  --com COMn            map the COM name to the device in the port map
                        ($TORVANE_CONFIG_DIR/ports). With several modules
                        COMn names the first, the others follow it (COM7,
                        COM8, ...), or give each its name: --com COM7,COM9
  --report DIR          at the end write DIR/flash.bin, DIR/eeprom.bin,
                        DIR/frames.log (one line per frame) and
                        DIR/summary.txt (the summary). With several modules,
                        each has a folder of its own: DIR/COM7, DIR/COM8, ...
                        (DIR/line-1, ... without --com), and with
                        --next-module DIR/module-1, DIR/module-2, ... (below
                        the line's folder when there are several lines)
  --expect-image HEX    at the end check that flash holds this Intel HEX image
                        past the boot jump bytes (the updater writes those)
                        and outside the rows kept for the protected range;
                        exit 1 when it does not. Each flash row (and EEPROM
                        byte) that differs is named, with the frame that last
                        wrote it: the difference is explained only when that
                        frame was damaged by the line in a way its checksum
                        could not show. When every difference is explained
                        the last line starts "check explained" and names the
                        frames "accepted with line damage their checksum
                        could not show"; otherwise it reads "check FAILED".
                        A compiler's HEX file will do: configuration words
                        are left out, and PIC18 data EEPROM in it is checked
                        too. Every module is checked; exit 1 when any fails

A production station:
  --modules N           N modules, 1 to 64, each on a pseudo-terminal of its
                        own, all of the same configuration and faults; one
                        device path per line on standard output, in order.
                        Each keeps its own flash, frames log and summary
  --next-module COUNT[:GAP_MS]
                        COUNT modules in turn on each line, as an operator
                        changes them: once a module is programmed (its final
                        block written, then no frame but wake-ups for 300 ms,
                        time for its EEPROM) it is taken off, the line is
                        silent for GAP_MS (default 3000), then a fresh blank
                        module of the same configuration is put on. The last
                        one stays on, as a single module does. The summary,
                        report and check take each module separately
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

// MIN-MAX[:SEED]
AnswerJitter ParseJitter(const std::string& text) {
    constexpr std::string_view option = "--jitter";
    const std::size_t colon = text.find(':');
    const std::string range = text.substr(0, colon);
    const std::size_t dash = range.find('-');
    if (dash == std::string::npos) throw UsageError("--jitter needs MIN-MAX[:SEED] in milliseconds, not '" + text + "'");
    AnswerJitter j;
    j.minMs = static_cast<int>(ParseNumber(option, range.substr(0, dash), 0, MaxDelayMs));
    j.maxMs = static_cast<int>(ParseNumber(option, range.substr(dash + 1), 0, MaxDelayMs));
    if (j.maxMs < j.minMs) throw UsageError("--jitter: MAX " + std::to_string(j.maxMs) + " is below MIN " + std::to_string(j.minMs));
    if (colon != std::string::npos)
        j.seed = static_cast<std::uint64_t>(ParseNumber(option, text.substr(colon + 1), 0, 0x7FFF'FFFF'FFFF'FFFFL));
    return j;
}

// Two hex digits a byte, e.g. 4B or 4B4E.
std::vector<std::uint8_t> ParseHexBytes(const std::string& item, const std::string& hex) {
    const auto digit = [](char c) { return std::isxdigit(static_cast<unsigned char>(c)) != 0; };
    if (hex.empty() || hex.size() % 2 != 0 || hex.size() > 2 * MaxStrayBytes || !std::all_of(hex.begin(), hex.end(), digit))
        throw UsageError("--stray: '" + item + "' needs its bytes as pairs of hex digits after '=', e.g. =4B or =4E4B (at most " +
                         std::to_string(MaxStrayBytes) + " bytes)");
    std::vector<std::uint8_t> bytes;
    for (std::size_t i = 0; i < hex.size(); i += 2) bytes.push_back(static_cast<std::uint8_t>(std::stoul(hex.substr(i, 2), nullptr, 16)));
    return bytes;
}

// FRAME[+MS][=HEX],...
std::vector<StrayBytes> ParseStrays(const std::string& text) {
    constexpr std::string_view option = "--stray";
    std::vector<StrayBytes> strays;
    std::size_t from = 0;
    for (;;) {
        const std::size_t comma = text.find(',', from);
        const std::string item = text.substr(from, comma - from);
        if (item.empty()) throw UsageError("--stray needs items FRAME[+MS][=HEX], comma-separated, not '" + text + "'");
        StrayBytes s;
        std::string head = item;
        if (const std::size_t eq = head.find('='); eq != std::string::npos) {
            s.bytes = ParseHexBytes(item, head.substr(eq + 1));
            head.resize(eq);
        }
        if (const std::size_t plus = head.find('+'); plus != std::string::npos) {
            s.delayMs = static_cast<int>(ParseNumber(option, head.substr(plus + 1), 0, MaxDelayMs));
            head.resize(plus);
        }
        s.frame = static_cast<int>(ParseNumber(option, head, 1, MaxFrameNumber));
        strays.push_back(std::move(s));
        if (comma == std::string::npos) break;
        from = comma + 1;
    }
    return strays;
}

int ParseComName(const std::string& text) {
    if (text.size() > 3 && (text.compare(0, 3, "COM") == 0 || text.compare(0, 3, "com") == 0))
        return static_cast<int>(ParseNumber("--com", text.substr(3), 1, MaxComNumber)) - 1;
    throw UsageError("--com needs a name like COM7, not '" + text + "'");
}

std::vector<int> ParseComNames(const std::string& text) {
    std::vector<int> indexes;
    std::size_t from = 0;
    for (;;) {
        const std::size_t comma = text.find(',', from);
        const int index = ParseComName(text.substr(from, comma - from));
        if (std::find(indexes.begin(), indexes.end(), index) != indexes.end())
            throw UsageError("--com names COM" + std::to_string(index + 1) + " twice");
        indexes.push_back(index);
        if (comma == std::string::npos) break;
        from = comma + 1;
    }
    return indexes;
}

// COUNT[:GAP_MS]
void ParseNextModule(const std::string& text, RunnerOptions& runner) {
    const std::size_t colon = text.find(':');
    runner.modules = static_cast<int>(ParseNumber("--next-module", text.substr(0, colon), 1, MaxModulesInTurn));
    if (colon != std::string::npos)
        runner.moduleChangeGap =
            std::chrono::milliseconds{ParseNumber("--next-module", text.substr(colon + 1), 0, MaxModuleChangeGapMs)};
}

struct Options {
    SimConfig config;
    RunnerOptions runner;
    std::vector<int> comIndexes;  // one per module when given
    std::optional<int> modules;
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
        } else if (arg == "--late") f.lateMs = static_cast<int>(ParseNumber(arg, value(), 0, MaxDelayMs));
        else if (arg == "--jitter") f.jitter = ParseJitter(value());
        else if (arg == "--late-204") f.late204Ms = static_cast<int>(ParseNumber(arg, value(), 0, MaxDelayMs));
        else if (arg == "--stray") {
            for (StrayBytes& s : ParseStrays(value())) f.strays.push_back(std::move(s));
        }
        else if (arg == "--garble") f.garbleFrame = FrameNumber(arg, value());
        else if (arg == "--wake-at") f.wakeAt = static_cast<int>(ParseNumber(arg, value(), 0, 1'000'000'000));
        else if (arg == "--hangup-after") f.hangUpAfter = FrameNumber(arg, value());
        else if (arg == "--noise") o.runner.noise.bitErrorRate = ParseRateAndSeed(arg, value(), noiseSeed);
        else if (arg == "--drop") o.runner.noise.dropRate = ParseRateAndSeed(arg, value(), noiseSeed);
        else if (arg == "--baud") o.runner.baud = static_cast<int>(ParseNumber(arg, value(), 1, 100'000'000));
        else if (arg == "--com") o.comIndexes = ParseComNames(value());
        else if (arg == "--modules") o.modules = static_cast<int>(ParseNumber(arg, value(), 1, MaxModules));
        else if (arg == "--next-module") ParseNextModule(value(), o.runner);
        else if (arg == "--report") {
            o.reportDir = value();
            if (o.reportDir->empty()) throw UsageError("--report needs a folder");
        } else if (arg == "--expect-image") {
            o.expectImage = value();
        } else throw UsageError("unknown option '" + arg + "' (see --help)");
    }
    if (noiseSeed) o.runner.noise.seed = *noiseSeed;
    if (o.comIndexes.size() > 1) {
        if (o.modules && *o.modules != static_cast<int>(o.comIndexes.size()))
            throw UsageError("--com names " + std::to_string(o.comIndexes.size()) + " ports for " +
                             std::to_string(*o.modules) + " modules");
    } else if (o.comIndexes.size() == 1 && o.modules) {
        const int first = o.comIndexes.front();
        if (first + *o.modules > MaxComNumber)
            throw UsageError("--modules " + std::to_string(*o.modules) + " from COM" + std::to_string(first + 1) +
                             " goes past COM" + std::to_string(MaxComNumber));
        for (int k = 1; k < *o.modules; ++k) o.comIndexes.push_back(first + k);
    }
    if (!o.modules) o.modules = std::max<int>(1, static_cast<int>(o.comIndexes.size()));
    for (int k : f.loseAnswer) {
        if (std::find(f.mute.begin(), f.mute.end(), k) != f.mute.end())
            throw UsageError("frame " + std::to_string(k) +
                             " cannot be both muted (never received) and have its answer lost (received)");
    }
    return o;
}

// Checks a module against a HEX image row by row (CheckImage). A compiler's
// HEX file also carries configuration words (no boot loader writes them) and,
// on PIC18 parts, data EEPROM. `who` names the module in the messages
// ("COM8 module 2: "), empty for the only one.
bool FlashHolds(const BootSim& module, const std::string& who, const std::string& hexPath) {
    std::ifstream in(hexPath);
    if (!in) throw std::runtime_error("cannot read " + hexPath);
    std::stringstream text;
    text << in.rdbuf();
    const auto family = module.geometry().addressUnit == 2 ? torvane::ChipFamily::Dspic : torvane::ChipFamily::Pic18;
    const auto content =
        torvane::mkimage::SortHexRecords(torvane::mkimage::ReadHexRecords(text.str(), hexPath), family, hexPath);
    const ImageCheck check = CheckImage(module, content.program, content.eeprom);
    for (const std::string& line : CheckLines(check, hexPath)) std::cerr << "torvane-bootsim: " << who << line << "\n";
    return check.holds();
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
        const int lines = *options.modules;
        const bool inTurn = options.runner.modules > 1;
        std::vector<std::unique_ptr<SimRunner>> runners;
        for (int k = 0; k < lines; ++k) {
            runners.push_back(std::make_unique<SimRunner>(options.config, options.runner));
            if (options.comIndexes.empty()) continue;
            const int com = options.comIndexes[static_cast<std::size_t>(k)];
            const std::string failure = runners.back()->mapPort(com);
            if (!failure.empty()) {
                std::cerr << "torvane-bootsim: cannot map COM" << com + 1 << ": " << failure << "\n";
                return ExitFailure;
            }
        }
        // Names a line in messages and its report folder.
        auto lineName = [&](std::size_t k) {
            return options.comIndexes.empty() ? "line-" + std::to_string(k + 1)
                                              : "COM" + std::to_string(options.comIndexes[k] + 1);
        };
        // "COM8 module 2: ", or nothing for a lone module that stays on.
        auto who = [&](std::size_t line, int module) {
            std::string s;
            if (lines > 1) s = lineName(line);
            if (inTurn) s += (s.empty() ? "" : " ") + std::string("module ") + std::to_string(module + 1);
            return s.empty() ? s : s + ": ";
        };

        struct sigaction action {};
        action.sa_handler = OnStopSignal;
        sigemptyset(&action.sa_mask);
        sigaction(SIGINT, &action, nullptr);
        sigaction(SIGTERM, &action, nullptr);

        for (const auto& runner : runners) std::cout << runner->devicePath() << "\n";
        std::cout.flush();
        std::cerr << "torvane-bootsim: " << Describe(options.config, runners.front()->geometry());
        if (inTurn)
            std::cerr << "; " << options.runner.modules << " modules in turn, "
                      << options.runner.moduleChangeGap.count() << " ms apart";
        if (lines == 1 && !options.comIndexes.empty()) std::cerr << "; mapped as COM" << options.comIndexes.front() + 1;
        std::cerr << std::endl;
        if (lines > 1) {
            for (std::size_t k = 0; k < runners.size(); ++k)
                std::cerr << "torvane-bootsim: " << lineName(k) << ": " << runners[k]->devicePath() << "\n";
            std::cerr.flush();
        }

        for (const auto& runner : runners) runner->start();
        // Modules of each line announced as taken off and as put on, so that
        // whoever watches (an operator, a test) knows when the next one is there.
        std::vector<int> announcedOff(runners.size(), 0), announcedOn(runners.size(), 1);
        auto announceChanges = [&] {
            for (std::size_t k = 0; k < runners.size(); ++k) {
                const int on = runners[k]->modulesPutOn();
                const int off = runners[k]->attached() ? on - 1 : on;
                while (announcedOff[k] < off || announcedOn[k] < on) {
                    if (announcedOff[k] < off && announcedOff[k] < announcedOn[k]) {
                        std::cerr << "torvane-bootsim: " << who(k, announcedOff[k]++)
                                  << "programmed, taken off; the next is put on "
                                  << options.runner.moduleChangeGap.count() << " ms later" << std::endl;
                    } else {
                        std::cerr << "torvane-bootsim: " << who(k, announcedOn[k]++) << "put on, blank" << std::endl;
                    }
                }
            }
        };
        // Until told to stop, or until every line has hung up as told.
        for (;;) {
            const auto open = std::find_if(runners.begin(), runners.end(), [](const auto& r) { return !r->hungUp(); });
            if (g_stopSignal != 0 || open == runners.end()) break;
            (*open)->waitForHangUp(StopPoll);
            if (inTurn) announceChanges();
        }
        for (const auto& runner : runners) runner->stop();
        if (inTurn) announceChanges();

        bool allHold = true;
        for (std::size_t k = 0; k < runners.size(); ++k) {
            const SimRunner& runner = *runners[k];
            const int count = runner.modulesPutOn();
            if (runner.hungUp())
                std::cerr << "torvane-bootsim: " << who(k, count - 1) << "hung up the line as told" << std::endl;
            for (int m = 0; m < count; ++m)
                for (const std::string& line : runner.summary(m))
                    std::cerr << "torvane-bootsim: " << who(k, m) << line << "\n";
            for (const std::string& line : runner.lineSummary())
                std::cerr << "torvane-bootsim: " << (lines > 1 ? lineName(k) + ": " : std::string()) << line << "\n";
            if (count < options.runner.modules)
                std::cerr << "torvane-bootsim: " << (lines > 1 ? lineName(k) + ": " : std::string()) << "only " << count
                          << " of " << options.runner.modules << " modules were put on\n";
        }
        std::cerr.flush();

        for (std::size_t k = 0; k < runners.size(); ++k) {
            const SimRunner& runner = *runners[k];
            for (int m = 0; m < runner.modulesPutOn(); ++m) {
                if (options.reportDir) {
                    std::filesystem::path dir = *options.reportDir;
                    if (lines > 1) dir /= lineName(k);
                    if (inTurn) dir /= "module-" + std::to_string(m + 1);
                    runner.writeReport(dir, m);
                }
                if (options.expectImage && !FlashHolds(runner.module(m), who(k, m), *options.expectImage))
                    allHold = false;
            }
        }
        return allHold ? ExitOk : ExitFailure;
    } catch (const std::exception& e) {
        std::cerr << "torvane-bootsim: " << e.what() << "\n";
        return ExitFailure;
    }
}
