// SPDX-License-Identifier: MIT
// tavrest-view: command line, loading, and what goes where.
#include "kanji.h"
#include "output.h"
#include "platform.h"
#include "viewer.h"

#include <getopt.h>
#include <strings.h>

#include <algorithm>

#include <cerrno>
#include <cstdarg>
#include <cstdlib>
#include <cstring>

namespace {

constexpr char kUsage[] =
    "usage: tavrest-view FILE [-o SHEET.png] [--scale N] [--background white|transparent]\n"
    "       tavrest-view FILE --text TEXT [--vertical] [--strict] [-o TEXT.png] [--scale N]\n"
    "       tavrest-view FILE --glyph CODE|CHARACTER [--strict] [-o GLYPH.png] [--scale N]\n"
    "       tavrest-view FILE --missing\n"
    "       tavrest-view --faces FONT\n"
    "where FILE is FILE.qpk, or FONT [-s N] [-F SECOND_FONT] [FONT OPTIONS]\n";
constexpr char kHelp[] =
    "FILE is a .qpk file, or a font tavrest reads (BDF, PCF, TrueType, OpenType,\n"
    "gzip-compressed BDF or PCF) converted in memory exactly as tavrest converts it.\n"
    "Without -o it prints the glyph counts, or the text or glyph as text art\n"
    "('#' for ink).\n"
    "\n"
    "  -s, --size N         a font's cell size, 1 to 32; without it the font's own\n"
    "                       (an outline font has none and needs -s)\n"
    "  -F, --second FONT    a second font, filling the slots the first leaves empty\n"
    "      --baseline N     the font's baseline at row N of the cell (0 to the size)\n"
    "                       instead of where its metrics and the fit put it\n"
    "      --second-baseline N  the same for the second font\n"
    "      --face N         face N of the font (a collection's faces count from 0)\n"
    "      --second-face N  face N of the second font\n"
    "      --render MODE    how the font's outlines are drawn: mono (the default),\n"
    "                       autohint or threshold, as tavrest --render\n"
    "      --second-render MODE  the same for the second font\n"
    "      --no-condense    Latin letters wider than the half cell as they come\n"
    "      --faces          list the faces of FONT: index, family and style\n"
    "  -o, --output FILE    write the picture as PNG; the name ends in .png, or is\n"
    "                       /dev/stdout, a FIFO or a device\n"
    "      --scale N        enlarge the picture and text art N times, 1 to 16\n"
    "      --background B   the PNG's paper: white or transparent (the default)\n"
    "      --text TEXT      draw a UTF-8 text; characters without a glyph are named\n"
    "                       on standard error\n"
    "      --vertical       draw the text top to bottom\n"
    "      --strict         characters of the text, or a glyph, without a glyph are\n"
    "                       an error (status 1)\n"
    "      --glyph CODE     one glyph: a single-byte code below 0x100, a JIS code\n"
    "                       such as 0x467C, or one UTF-8 character such as \xE6\x97\xA5\n"
    "      --missing        list the JIS X 0208 characters without a glyph, a line\n"
    "                       per JIS row\n"
    "  -h, --help           show this help and exit\n"
    "  -V, --version        show the version and exit\n"
    "A .qpk FILE may be a pipe, such as /dev/stdin; a font must be a file.\n"
    "Exit status: 0 shown, 1 the file or the PNG failed, 2 a usage error.\n";

// SDL 1.2 keeps a surface's row length in 16 bits: 65535 bytes of 4-byte
// pixels for a text drawn across.
constexpr int kMaxTextWidth = 65535 / 4;
// A picture (PNG or text art) larger than this would take minutes and
// gigabytes.
constexpr long long kMaxPicturePixels = 200'000'000;

enum LongOnly {
  kText = 256,
  kVertical,
  kGlyph,
  kBackground,
  kMissing,
  kStrict,
  kScale,
  kBaseline,
  kSecondBaseline,
  kFace,
  kSecondFace,
  kRender,
  kSecondRender,
  kNoCondense,
  kFaces
};

struct ViewOptions {
  ViewSource source;
  const char* output = nullptr;
  const char* text = nullptr;
  int glyphSlot = -1;
  const char* glyphArgument = nullptr;
  int scale = 0;  // 0: not given, which is 1
  bool vertical = false;
  bool whiteBackground = false;
  bool missing = false;
  bool strict = false;  // characters of the text without a glyph end with status 1
  bool faces = false;
};

void Say(const char* format, va_list args) {
  fputs("tavrest-view: ", stderr);
  vfprintf(stderr, format, args);
  fputc('\n', stderr);
}

int Fail(const char* format, ...) {
  va_list args;
  va_start(args, format);
  Say(format, args);
  va_end(args);
  return 1;
}

int UsageError(const char* format, ...) {
  va_list args;
  va_start(args, format);
  Say(format, args);
  va_end(args);
  fputs(kUsage, stderr);
  fputs("(tavrest-view --help lists the options)\n", stderr);
  return 2;
}

// A whole number from `low` to `high`, digits only; -1 for anything else.
int WholeNumber(const char* text, int low, int high) {
  int value = 0;
  for (const char* p = text; *p != '\0'; ++p) {
    if (*p < '0' || *p > '9') return -1;
    value = std::min(value * 10 + (*p - '0'), 1000);
  }
  return text[0] != '\0' && value >= low && value <= high ? value : -1;
}

bool EndsWithPng(const char* name) {
  const size_t length = strlen(name);
  return length >= 4 && strcasecmp(name + length - 4, ".png") == 0;
}

// One option with its value; 0 when it is right, else the exit status.
int TakeOption(int c, char** argv, ViewOptions& options) {
  switch (c) {
    case 's':
      options.source.size = WholeNumber(optarg, 1, MaxCellSize);
      if (options.source.size < 0)
        return UsageError("the size is a whole number from 1 to %d, not %s", MaxCellSize, optarg);
      return 0;
    case 'F':
      options.source.second = optarg;
      return 0;
    case kBaseline:
    case kSecondBaseline: {
      FontLoadOptions& font =
          c == kBaseline ? options.source.options : options.source.secondOptions;
      font.baseline = WholeNumber(optarg, 0, MaxCellSize);
      font.baselineGiven = 1;
      if (font.baseline < 0)
        return UsageError("%s is a row from 0 to %d, not %s",
                          c == kBaseline ? "--baseline" : "--second-baseline", MaxCellSize, optarg);
      return 0;
    }
    case 'o':
      if (!EndsWithPng(optarg) && OutputKindOf(optarg) != OutputKind::Stream)
        return UsageError("the picture is a PNG: its name ends in .png, not %s", optarg);
      options.output = optarg;
      return 0;
    case kScale:
      options.scale = WholeNumber(optarg, 1, MaxScale);
      if (options.scale < 0)
        return UsageError("--scale is a whole number from 1 to %d, not %s", MaxScale, optarg);
      return 0;
    case kText:
      options.text = optarg;
      return 0;
    case kFace:
    case kSecondFace: {
      const bool second = c == kSecondFace;
      FontLoadOptions& font = second ? options.source.secondOptions : options.source.options;
      font.face = WholeNumber(optarg, 0, 999);
      if (font.face < 0)
        return UsageError("%s takes a face number from 0, not %s",
                          second ? "--second-face" : "--face", optarg);
      return 0;
    }
    case kRender:
    case kSecondRender: {
      const bool second = c == kSecondRender;
      FontLoadOptions& font = second ? options.source.secondOptions : options.source.options;
      font.rendering = Kanji_RenderingNamed(optarg);
      if (font.rendering < 0)
        return UsageError("%s is mono, autohint or threshold, not %s",
                          second ? "--second-render" : "--render", optarg);
      return 0;
    }
    case kNoCondense:
      options.source.options.noCondense = options.source.secondOptions.noCondense = 1;
      return 0;
    case kFaces:
      options.faces = true;
      return 0;
    case kVertical:
      options.vertical = true;
      return 0;
    case kGlyph:
      options.glyphSlot = SlotOfGlyphArgument(optarg);
      options.glyphArgument = optarg;
      if (options.glyphSlot < 0)
        return UsageError("not a single-byte or JIS code, nor a character with a slot: %s", optarg);
      return 0;
    case kMissing:
      options.missing = true;
      return 0;
    case kStrict:
      options.strict = true;
      return 0;
    case kBackground:
      if (strcmp(optarg, "white") != 0 && strcmp(optarg, "transparent") != 0)
        return UsageError("--background is white or transparent, not %s", optarg);
      options.whiteBackground = strcmp(optarg, "white") == 0;
      return 0;
    case 'h':
      fputs(kUsage, stdout);
      fputs(kHelp, stdout);
      exit(0);
    case 'V':
      printf("tavrest-view %s\n", TAVREST_VERSION);
      exit(0);
    case ':':
      return UsageError("%s needs a value", argv[optind - 1]);
    default:
      return UsageError("unknown option %s", argv[optind - 1]);
  }
}

// How the options go together: 0 when they do, else the exit status.
int CheckTogether(const ViewOptions& options) {
  const bool picture = options.text != nullptr || options.glyphSlot >= 0 || options.output;
  if (options.text != nullptr && options.glyphSlot >= 0)
    return UsageError("--text or --glyph, not both");
  if (options.vertical && options.text == nullptr) return UsageError("--vertical goes with --text");
  if (options.strict && options.text == nullptr && options.glyphSlot < 0)
    return UsageError("--strict goes with --text or --glyph");
  if (options.missing && (picture || options.scale != 0)) return UsageError("--missing goes alone");
  if (options.faces && (picture || options.missing || options.scale != 0))
    return UsageError("--faces goes alone");
  if (options.scale != 0 && !picture)
    return UsageError("--scale goes with a picture: -o, --text or --glyph");
  if (options.text != nullptr && options.text[0] == '\0') return UsageError("the text is empty");
  return 0;
}

int ParseOptions(int argc, char** argv, ViewOptions& options) {
  static const option kOptions[] = {
      {"size", required_argument, nullptr, 's'},
      {"second", required_argument, nullptr, 'F'},
      {"baseline", required_argument, nullptr, kBaseline},
      {"second-baseline", required_argument, nullptr, kSecondBaseline},
      {"output", required_argument, nullptr, 'o'},
      {"scale", required_argument, nullptr, kScale},
      {"text", required_argument, nullptr, kText},
      {"vertical", no_argument, nullptr, kVertical},
      {"glyph", required_argument, nullptr, kGlyph},
      {"background", required_argument, nullptr, kBackground},
      {"missing", no_argument, nullptr, kMissing},
      {"strict", no_argument, nullptr, kStrict},
      {"face", required_argument, nullptr, kFace},
      {"second-face", required_argument, nullptr, kSecondFace},
      {"render", required_argument, nullptr, kRender},
      {"second-render", required_argument, nullptr, kSecondRender},
      {"no-condense", no_argument, nullptr, kNoCondense},
      {"faces", no_argument, nullptr, kFaces},
      {"help", no_argument, nullptr, 'h'},
      {"version", no_argument, nullptr, 'V'},
      {nullptr, 0, nullptr, 0}};
  opterr = 0;  // our own messages, one line each
  for (int c; (c = getopt_long(argc, argv, ":s:F:o:hV", kOptions, nullptr)) != -1;)
    if (const int status = TakeOption(c, argv, options); status != 0) return status;
  if (argc - optind != 1) return UsageError("give one file: a .qpk file or a font");
  options.source.file = argv[optind];
  return CheckTogether(options);
}

// The picture the options ask for; false after the reason.
bool MakeMask(FontSet& font, const ViewOptions& options, InkMask& mask) {
  if (options.text != nullptr) {
    Kanji_SetEncoding(&font, EncodingUtf8);
    const int width = Kanji_TextWidth(&font, options.text);
    if (!options.vertical && width > kMaxTextWidth) {
      Fail("the text is %d pixels wide; a text may be at most %d pixels wide", width,
           kMaxTextWidth);
      return false;
    }
    if (TextMask(font, options.text, options.vertical, mask)) return true;
    Fail("cannot draw the text");
    return false;
  }
  const bool made =
      options.glyphSlot >= 0 ? GlyphMask(font, options.glyphSlot, mask) : SheetMask(font, mask);
  if (!made) Fail("out of memory");
  return made;
}

// The largest scale, 1 to MaxScale, at which the picture stays within
// kMaxPicturePixels; 0 for none.
int LargestScale(const InkMask& mask) {
  const long long pixels = static_cast<long long>(mask.width) * mask.height;
  int scale = MaxScale;
  while (scale > 0 && pixels * scale * scale > kMaxPicturePixels) --scale;
  return scale;
}

// False after the reason when the picture would be too large to make.
bool PictureFits(const InkMask& mask, int scale) {
  const int largest = LargestScale(mask);
  if (scale <= largest) return true;
  if (largest == 0)
    Fail("the picture would have more than %lld pixels", kMaxPicturePixels);
  else
    Fail("the picture would have more than %lld pixels at --scale %d; at most --scale %d",
         kMaxPicturePixels, scale, largest);
  return false;
}

int View(FontSet& font, const ViewOptions& options) {
  if (options.missing) {
    PrintMissing(font, stdout);
    return 0;
  }
  if (options.text == nullptr && options.glyphSlot < 0 && options.output == nullptr) {
    PrintCounts(font, CountGlyphs(font), stdout);
    return 0;
  }
  InkMask mask;
  if (!MakeMask(font, options, mask)) return 1;
  const int scale = options.scale != 0 ? options.scale : 1;
  if (!PictureFits(mask, scale)) return 1;
  if (options.output == nullptr) {
    PrintArt(mask, scale, stdout);
  } else if (!WriteInkPng(mask, options.whiteBackground, scale, options.output)) {
    return Fail("cannot write %s: %s", options.output, strerror(errno));
  }
  if (options.glyphSlot >= 0 && Kanji_GlyphRows(&font, options.glyphSlot) == nullptr) {
    fprintf(stderr, "tavrest-view: %s has no glyph\n", options.glyphArgument);
    return options.strict ? 1 : 0;
  }
  if (options.text == nullptr) return 0;
  Kanji_SetEncoding(&font, EncodingUtf8);
  return ReportUndrawn(font, options.text, stderr) > 0 && options.strict ? 1 : 0;
}

// Before anything is read: -o is no folder or the like, and overwrites no
// input. 0 when it is right, else the exit status.
int CheckOutput(const ViewOptions& options) {
  if (options.output == nullptr) return 0;
  for (const char* input : {options.source.file, options.source.second})
    if (input != nullptr && SameFile(options.output, input))
      return UsageError("-o %s and %s are the same file", options.output, input);
  const char* refused = RefusedOutputText(OutputKindOf(options.output));
  return refused != nullptr ? Fail("cannot write %s: it is %s", options.output, refused) : 0;
}

}  // namespace

int main(int argc, char** argv) {
  PrepareProcess(argc, argv);
  ViewOptions options;
  if (const int status = ParseOptions(argc, argv, options); status != 0) return status;
  if (options.faces) return PrintFaces(options.source.file, stdout);
  if (const int status = CheckOutput(options); status != 0) return status;
  const Viewed viewed = OpenViewed(options.source);
  if (viewed.status == 2) return UsageError("%s", viewed.problem.c_str());
  if (viewed.font == nullptr) return Fail("%s", viewed.problem.c_str());
  int status = View(*viewed.font, options);
  Kanji_DestroyFontSet(viewed.font);
  if (fflush(stdout) != 0 && status == 0)
    status = Fail("cannot write standard output: %s", strerror(errno));
  return status;
}
