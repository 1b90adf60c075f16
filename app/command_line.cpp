// SPDX-License-Identifier: MIT
// The command line: getopt_long over the options below, then the checks of
// how they go together.
#include "app.h"
#include "kanji.h"
#include "output.h"
#include "run_parts.h"

#include <getopt.h>
#include <strings.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

namespace {

constexpr char kVersion[] = "tavrest " TAVREST_VERSION "\n";
constexpr char kUsageLine[] =
    "Usage: tavrest [OPTION]... [FONT [SECOND]]  (tavrest --help lists the options)";
constexpr char kHelp[] =
    "Usage: tavrest [OPTION]... [FONT [SECOND]]\n"
    "Converts Japanese fonts (BDF, PCF, TrueType, OpenType) into a packed glyph file\n"
    "(tavrest.qpk) and a sheet image (tavrest.tga). Without options the three\n"
    "settings (main font, second font, cell size) are read from ./tavrest.ini and a\n"
    "window shows the progress. FONT and SECOND are the same as -f FONT -F SECOND.\n"
    "\n"
    "  -c, --config FILE    read the three settings from FILE instead of ./tavrest.ini;\n"
    "                       relative font paths in it are taken from FILE's folder\n"
    "  -f, --font FILE      main font; the settings file is then not read; without -s\n"
    "                       the cell size is the font's own (BDF, PCF, bitmap sfnt)\n"
    "  -F, --second FILE    second font (optional with -f)\n"
    "  -s, --size N         cell size, 1 to 32\n"
    "      --baseline N     the main font's baseline at row N of the cell (0 to the\n"
    "                       size) instead of where its metrics and the fit put it\n"
    "      --second-baseline N  the same for the second font\n"
    "  -o, --output FILE    packed glyph file (default tavrest.qpk); - for standard\n"
    "                       output\n"
    "  -i, --image FILE     sheet image (default tavrest.tga); the writer is chosen by\n"
    "                       the name's ending, .tga or .bmp; - for standard output\n"
    "                       (a FIFO or a device too) as TGA\n"
    "      --no-image       write no sheet image\n"
    "      --no-sync        do not sync the outputs to disk (they are still replaced\n"
    "                       whole, but a power loss may leave them empty)\n"
    "      --face N         face N of the main font (a collection's faces count from 0)\n"
    "      --second-face N  face N of the second font\n"
    "      --render MODE    how the main font's outlines are drawn: mono (hinted, the\n"
    "                       default), autohint or threshold (anti-aliased, then cut)\n"
    "      --second-render MODE  the same for the second font\n"
    "      --no-condense    draw Latin letters wider than the half cell as they come,\n"
    "                       instead of moving and condensing them into it\n"
    "  -b, --batch          no window and no final wait\n"
    "  -q, --quiet          no warnings (errors are still printed)\n"
    "  -v, --verbose        after the run: one line per font (file, glyphs loaded,\n"
    "                       glyphs cut by the cell), one with the JIS X 0208 and\n"
    "                       other JIS X 0213 plane 1 characters it filled, and one\n"
    "                       per file written\n"
    "  -h, --help           show this help and exit\n"
    "  -V, --version        show the version and exit\n"
    "\n"
    "Exit status: 0 converted, 1 the conversion failed, 2 a usage error.\n";

// Codes no short option has.
enum LongOnly {
  kNoImage = 256,
  kNoSync,
  kBaseline,
  kSecondBaseline,
  kFace,
  kSecondFace,
  kRender,
  kSecondRender,
  kNoCondense
};
constexpr option kLongOptions[] = {{"config", required_argument, nullptr, 'c'},
                                   {"font", required_argument, nullptr, 'f'},
                                   {"second", required_argument, nullptr, 'F'},
                                   {"size", required_argument, nullptr, 's'},
                                   {"output", required_argument, nullptr, 'o'},
                                   {"image", required_argument, nullptr, 'i'},
                                   {"no-image", no_argument, nullptr, kNoImage},
                                   {"no-sync", no_argument, nullptr, kNoSync},
                                   {"baseline", required_argument, nullptr, kBaseline},
                                   {"second-baseline", required_argument, nullptr, kSecondBaseline},
                                   {"face", required_argument, nullptr, kFace},
                                   {"second-face", required_argument, nullptr, kSecondFace},
                                   {"render", required_argument, nullptr, kRender},
                                   {"second-render", required_argument, nullptr, kSecondRender},
                                   {"no-condense", no_argument, nullptr, kNoCondense},
                                   {"batch", no_argument, nullptr, 'b'},
                                   {"quiet", no_argument, nullptr, 'q'},
                                   {"verbose", no_argument, nullptr, 'v'},
                                   {"help", no_argument, nullptr, 'h'},
                                   {"version", no_argument, nullptr, 'V'},
                                   {nullptr, 0, nullptr, 0}};
constexpr char kShortOptions[] = ":c:f:F:s:o:i:bqvhV";

// The option just read as the user wrote it: "--config" or "-c".
std::string OptionJustRead(char** argv) {
  const std::string word = argv[optind - 1];
  if (word.starts_with("--")) return word.substr(0, word.find('='));
  return optopt != 0 ? std::string("-") + static_cast<char>(optopt) : word;
}

// A whole number from `least` to MaxCellSize, digits only.
bool ParseSize(const char* text, int& size, int least = 1) {
  int value = 0;
  for (const char* p = text; *p != '\0'; ++p) {
    if (*p < '0' || *p > '9') return false;
    value = std::min(value * 10 + (*p - '0'), 1000);
  }
  size = value;
  return text[0] != '\0' && value >= least && value <= MaxCellSize;
}

// A face number: digits only, up to 65535.
bool ParseFace(const char* text, int& face) {
  int value = 0;
  for (const char* p = text; *p != '\0'; ++p) {
    if (*p < '0' || *p > '9') return false;
    value = std::min(value * 10 + (*p - '0'), 100000);
  }
  face = value;
  return text[0] != '\0' && value <= 65535;
}

bool ParseRendering(const char* text, int& rendering) {
  const int named = Kanji_RenderingNamed(text);
  if (named >= 0) rendering = named;
  return named >= 0;
}

bool EndsWith(const std::string& name, const char* ending) {
  const size_t length = strlen(ending);
  return name.size() >= length && strcasecmp(name.c_str() + name.size() - length, ending) == 0;
}

// Standard output, a FIFO or a character device: a name without an ending,
// which takes the image as TGA.
bool IsStream(const std::string& name) {
  return name == "-" || OutputKindOf(name.c_str()) == OutputKind::Stream;
}

struct Given {
  bool config = false, font = false, second = false, size = false, image = false, noImage = false;
};

// One option; false with `problem` set when it is wrong.
bool TakeOption(int code, RunOptions& options, Given& given, std::string& problem, char** argv) {
  const bool takesFile = code == 'c' || code == 'f' || code == 'F' || code == 'o' || code == 'i';
  if (takesFile && optarg[0] == '\0') {
    problem = "option " + OptionJustRead(argv) + " needs a value";
    return false;
  }
  switch (code) {
    case 'c':
      given.config = true, options.configPath = optarg;
      break;
    case 'f':
      given.font = true, options.mainFont = optarg;
      break;
    case 'F':
      given.second = true, options.secondFont = optarg;
      break;
    case 'o':
      options.packedName = optarg;
      break;
    case 'b':
      options.batch = true;
      break;
    case 'q':
      options.quiet = true;
      break;
    case 'v':
      options.verbose = true;
      break;
    case kNoImage:
      given.noImage = true;
      break;
    case kNoSync:
      options.sync = false;
      break;
    case kNoCondense:
      options.noCondense = true;
      break;
    case kFace:
    case kSecondFace:
      if (ParseFace(optarg, code == kFace ? options.mainFace : options.secondFace)) break;
      problem = std::string(code == kFace ? "--face" : "--second-face") +
                " takes a face number from 0, not \"" + optarg + "\"";
      return false;
    case kRender:
    case kSecondRender:
      if (ParseRendering(optarg, code == kRender ? options.mainRender : options.secondRender))
        break;
      problem = std::string(code == kRender ? "--render" : "--second-render") +
                " is mono, autohint or threshold, not \"" + optarg + "\"";
      return false;
    case 's':
      given.size = true;
      if (ParseSize(optarg, options.cellSize)) break;
      problem = "the size must be a whole number from 1 to " + std::to_string(MaxCellSize) +
                ", not \"" + optarg + "\"";
      return false;
    case kBaseline:
    case kSecondBaseline:
      if (ParseSize(optarg, code == kBaseline ? options.baseline : options.secondBaseline, 0))
        break;
      problem = std::string(code == kBaseline ? "--baseline" : "--second-baseline") +
                " must be a row from 0 to " + std::to_string(MaxCellSize) + ", not \"" + optarg +
                "\"";
      return false;
    case 'i':
      given.image = true;
      options.imageName = optarg;
      options.image = EndsWith(optarg, ".bmp") ? ImageKind::Bmp : ImageKind::Tga;
      if (EndsWith(optarg, ".tga") || EndsWith(optarg, ".bmp") || IsStream(optarg)) break;
      problem = std::string("the image name must end in .tga or .bmp: ") + optarg;
      return false;
    case ':':
      problem = "option " + OptionJustRead(argv) + " needs a value";
      return false;
    default:
      problem = "unknown option " + OptionJustRead(argv);
      return false;
  }
  return true;
}

// How the options go together; empty when they do.
std::string Conflict(const Given& given, const RunOptions& options) {
  if (given.config && given.font) return "-c and -f cannot be used together";
  if (given.size && !given.font && !given.config) return "-s needs -f or -c";
  if (given.noImage && given.image) return "--no-image and -i cannot be used together";
  if (given.image && options.imageName == "-" && options.packedName == "-")
    return "-o and -i cannot both be standard output";
  return "";
}

// FONT [SECOND] after the options: the same as -f FONT -F SECOND.
bool TakeOperands(int count, char** operands, RunOptions& options, Given& given,
                  std::string& problem) {
  if (count == 0) return true;
  if (count > 2)
    problem = std::string("a third operand, ") + operands[2] + ": give at most FONT and SECOND";
  else if (given.font || given.config)
    problem = std::string("a font operand, ") + operands[0] + ", cannot be used with " +
              (given.font ? "-f" : "-c");
  else if (count == 2 && given.second)
    problem = std::string("two second fonts: -F and the operand ") + operands[1];
  else if (operands[0][0] == '\0' || (count == 2 && operands[1][0] == '\0'))
    problem = "a font operand is empty";
  if (!problem.empty()) return false;
  given.font = true, options.mainFont = operands[0];
  if (count == 2) given.second = true, options.secondFont = operands[1];
  return true;
}

}  // namespace

CommandLine ParseCommandLine(int argc, char** argv, RunOptions& options, std::string& problem) {
  Given given;
  optind = 0;  // a fresh scan each time
  opterr = 0;  // the messages are ours
  int code;
  while ((code = getopt_long(argc, argv, kShortOptions, kLongOptions, nullptr)) != -1) {
    if (code == 'h') return CommandLine::Help;
    if (code == 'V') return CommandLine::Version;
    if (!TakeOption(code, options, given, problem, argv)) return CommandLine::UsageError;
  }
  if (!TakeOperands(argc - optind, argv + optind, options, given, problem))
    return CommandLine::UsageError;
  problem = Conflict(given, options);
  if (!problem.empty()) return CommandLine::UsageError;
  if (given.noImage) options.image = ImageKind::None;
  options.settingsRequired = given.config || given.font || given.second || given.size;
  return CommandLine::Run;
}

namespace {

int PrintOnStandardOutput(const char* text) {
  if (fputs(text, stdout) >= 0 && fflush(stdout) == 0) return 0;
  Report("cannot write to standard output: %s", strerror(errno));
  return 1;
}

}  // namespace

int ReportUsageError(const char* problem) {
  Report("%s", problem);
  fprintf(stderr, "%s\n", kUsageLine);
  return 2;
}

int TavrestMain(int argc, char** argv) {
  RunOptions options;
  std::string problem;
  switch (ParseCommandLine(argc, argv, options, problem)) {
    case CommandLine::Help:
      return PrintOnStandardOutput(kHelp);
    case CommandLine::Version:
      return PrintOnStandardOutput(kVersion);
    case CommandLine::UsageError:
      return ReportUsageError(problem.c_str());
    case CommandLine::Run:
      break;
  }
  return RunConversion(options);
}
