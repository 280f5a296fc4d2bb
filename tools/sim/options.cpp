#include "options.h"

#include "port_names.h"

#include <brisko_version.h>

#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <getopt.h>
#include <string_view>

namespace sim {

namespace {

constexpr const char* kUsage = R"(Usage: brisko-k71-sim [OPTION]...
Plays the receiver's loader on a pseudo-terminal linked as <ports dir>/<port>.

Port:
  --ports-dir DIR      directory of the port links
                       (default ${XDG_CONFIG_HOME:-$HOME/.config}/brisko-k71/ports)
  --port NAME          name of the link (default COM3)

Dialogues:
  --out FILE           when a dialogue completes, write the image received: the data bytes of
                       every block frame in order (the first block frame always carries 4080)
  --exit-after N       exit after N completed dialogues (default 0: until SIGTERM or SIGINT)
  --silent             never answer
  --answer-wake K      ignore the first K-1 wake-up frames of a dialogue (default 1)
  --info-length N      infoLength of the device information reply, 0..65535 (default 16)
  --info-bytes WHICH   information bytes sent: all, part (half) or none (default all)
  --pace               time both directions like a 115200 baud 8N1 line
  --reply-delay MS     wait MS before each answer (default 0)

Faults:
  --fault STEP:KIND[:ARG]   misbehave at STEP (repeatable)
      STEP  wake, stage2, info, stage3, first, end, block (every block of the block loop)
            or blockN (its N-th block, from 1)
      KIND  silent          no answer
            wrong-code      a reply frame with the right code plus one
            nonzero-length  the right code with length 1
            short           the first 11 bytes of the right answer
            late            the right answer after ARG ms (default 2500)
            extra-byte      the right answer and one byte more
            garbage         random bytes without end from there on
            hangup          close the line and exit (block steps: in the middle of the frame)
            twice           the right answer twice, back to back in one write
            hangup-after    the right answer, then close the line and exit once the host
                            has read it
      At stage2 the fault acts on reply 0x0000 (silent and short also drop the device
      information reply); at info on the device information reply.
  --fault-dialogues N  faults act only in the first N dialogues (default 0: in all)
  --seed N             seed of the random bytes (default 1)

Other:
  --die-with-parent    stop (as by SIGTERM) when the process that started it ends
  --help               print this help and exit
  --version            print the version and exit

Output, one line each, on standard output:
  READY <link> <slave>
  RX ctrl code=0xCCCC len=N | RX first-block bytes=N crc=ok|bad | RX block n=N bytes=N crc=ok|bad
  TX reply code=0xCCCC [len=N] [bytes=N] [fault=KIND [delay=MS]]   (once written)
  TX info len=N sent=N [bytes=N] [fault=KIND [delay=MS]]
  TX none step=STEP why=ignored|silent|fault|bad-crc | TX garbage | HANGUP step=STEP
  VIOLATION <what>
  VERDICT OK image=N blocks=N crc=all-ok | VERDICT INCOMPLETE step=STEP blocks=N
  VERDICT FAIL step=STEP blocks=N violations=N first=<what>
  One VERDICT line ends each dialogue: at the end frame, when the host starts over with a
  wake-up, and at exit. blocks counts block frames received intact, the first one included.
Exit status: 0, 1 after any protocol violation, 2 on a bad command line or set-up failure.
)";

enum OptionId {
    kPortsDir = 256,
    kPort,
    kOut,
    kExitAfter,
    kSilent,
    kAnswerWake,
    kFault,
    kFaultDialogues,
    kInfoLength,
    kInfoBytes,
    kPace,
    kReplyDelay,
    kSeed,
    kDieWithParent,
    kHelp,
    kVersion,
};

bool ParseInt(const char* text, long long low, long long high, long long& value) {
    const std::string_view view(text);
    auto [ptr, ec] = std::from_chars(view.data(), view.data() + view.size(), value);
    return ec == std::errc() && ptr == view.data() + view.size() && value >= low && value <= high;
}

bool Fail(const std::string& message, int& exitCode) {
    std::fprintf(stderr, "brisko-k71-sim: %s\nTry --help.\n", message.c_str());
    exitCode = 2;
    return false;
}

template <typename T>
bool ReadNumber(const char* arg, long long low, long long high, T& field, int& exitCode) {
    long long number = 0;
    if (!ParseInt(arg, low, high, number))
        return Fail(std::string("bad value '") + arg + "'", exitCode);
    field = static_cast<T>(number);
    return true;
}

constexpr long long kMaxCount = 1'000'000;

bool Apply(int id, const char* arg, Options& options, int& exitCode) {
    switch (id) {
    case kPortsDir:
        options.portsDir = arg;
        return true;
    case kPort: {
        const std::string_view port(arg);
        if (port.empty() || port == "." || port == ".." || port.find('/') != port.npos)
            return Fail("bad port name", exitCode);
        options.port = arg;
        return true;
    }
    case kOut:
        options.outPath = arg;
        return true;
    case kExitAfter:
        return ReadNumber(arg, 0, kMaxCount, options.exitAfter, exitCode);
    case kSilent:
        options.silent = true;
        return true;
    case kDieWithParent:
        options.dieWithParent = true;
        return true;
    case kAnswerWake:
        return ReadNumber(arg, 1, kMaxCount, options.answerWake, exitCode);
    case kFault: {
        std::string error;
        auto fault = ParseFault(arg, error);
        if (!fault)
            return Fail("--fault " + std::string(arg) + ": " + error, exitCode);
        options.faults.push_back(*fault);
        return true;
    }
    case kFaultDialogues:
        return ReadNumber(arg, 0, kMaxCount, options.faultDialogues, exitCode);
    case kInfoLength:
        return ReadNumber(arg, 0, 65535, options.infoLength, exitCode);
    case kInfoBytes: {
        const std::string_view which(arg);
        if (which == "all")
            options.infoBytes = InfoBytes::All;
        else if (which == "part")
            options.infoBytes = InfoBytes::Part;
        else if (which == "none")
            options.infoBytes = InfoBytes::None;
        else
            return Fail("--info-bytes takes all, part or none", exitCode);
        return true;
    }
    case kPace:
        options.pace = true;
        return true;
    case kReplyDelay:
        return ReadNumber(arg, 0, 3'600'000, options.replyDelayMs, exitCode);
    case kSeed:
        return ReadNumber(arg, 0, INT64_MAX, options.seed, exitCode);
    default:
        return Fail("unknown option", exitCode);
    }
}

} // namespace

std::string DefaultPortsDir() {
    return PortsDirectory();
}

std::optional<Options> ParseOptions(int argc, char** argv, int& exitCode) {
    static const option kLong[] = {
        {"ports-dir", required_argument, nullptr, kPortsDir},
        {"port", required_argument, nullptr, kPort},
        {"out", required_argument, nullptr, kOut},
        {"exit-after", required_argument, nullptr, kExitAfter},
        {"silent", no_argument, nullptr, kSilent},
        {"answer-wake", required_argument, nullptr, kAnswerWake},
        {"fault", required_argument, nullptr, kFault},
        {"fault-dialogues", required_argument, nullptr, kFaultDialogues},
        {"info-length", required_argument, nullptr, kInfoLength},
        {"info-bytes", required_argument, nullptr, kInfoBytes},
        {"pace", no_argument, nullptr, kPace},
        {"reply-delay", required_argument, nullptr, kReplyDelay},
        {"seed", required_argument, nullptr, kSeed},
        {"die-with-parent", no_argument, nullptr, kDieWithParent},
        {"help", no_argument, nullptr, kHelp},
        {"version", no_argument, nullptr, kVersion},
        {nullptr, 0, nullptr, 0},
    };
    Options options;
    options.portsDir = DefaultPortsDir();
    exitCode = 0;
    opterr = 0;
    for (;;) {
        const int id = getopt_long(argc, argv, "", kLong, nullptr);
        if (id == -1)
            break;
        if (id == kHelp) {
            std::fputs(kUsage, stdout);
            return std::nullopt;
        }
        if (id == kVersion) {
            std::fputs("brisko-k71-sim " BRISKO_K71_VERSION "\n", stdout);
            return std::nullopt;
        }
        if (id == '?' || id == ':') {
            Fail(std::string("bad option '") + argv[optind - 1] + "'", exitCode);
            return std::nullopt;
        }
        if (!Apply(id, optarg, options, exitCode))
            return std::nullopt;
    }
    if (optind < argc) {
        Fail(std::string("unexpected argument '") + argv[optind] + "'", exitCode);
        return std::nullopt;
    }
    return options;
}

} // namespace sim
