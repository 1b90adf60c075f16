// tavrest-view: command line, loading, and what goes where.
#include "kanji.h"
#include "viewer.h"

#include <getopt.h>

#include <cerrno>
#include <cstdarg>
#include <cstdlib>
#include <cstring>

namespace {

constexpr char kUsage[] =
    "usage: tavrest-view FILE.qpk [-o SHEET.png] [--background white|transparent]\n"
    "       tavrest-view FILE.qpk --text TEXT [--vertical] [--strict] [-o TEXT.png]\n"
    "       tavrest-view FILE.qpk --glyph CODE|CHARACTER [-o GLYPH.png]\n"
    "       tavrest-view FILE.qpk --missing\n"
    "Without -o it prints the glyph counts, or the text or glyph as text art\n"
    "('#' for ink). TEXT is UTF-8; the characters it has no glyph for are named\n"
    "on standard error, and --strict makes them an error (status 1). CODE is a\n"
    "single-byte code below 0x100 or a JIS code such as 0x467C; CHARACTER one\n"
    "UTF-8 character such as \xE6\x97\xA5. --missing lists the JIS X 0208 characters\n"
    "without a glyph, a line per JIS row. FILE may be a pipe, such as /dev/stdin.\n";

enum LongOnly { kText = 256, kVertical, kGlyph, kBackground, kMissing, kStrict };

struct ViewOptions {
  const char* file = nullptr;
  const char* output = nullptr;
  const char* text = nullptr;
  int glyphSlot = -1;
  bool vertical = false;
  bool whiteBackground = false;
  bool missing = false;
  bool strict = false;  // characters of the text without a glyph end with status 1
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
  return 2;
}

// 0 when the options make sense, else the exit status (after the message).
int ParseOptions(int argc, char** argv, ViewOptions& options) {
  static const option kOptions[] = {{"output", required_argument, nullptr, 'o'},
                                    {"text", required_argument, nullptr, kText},
                                    {"vertical", no_argument, nullptr, kVertical},
                                    {"glyph", required_argument, nullptr, kGlyph},
                                    {"background", required_argument, nullptr, kBackground},
                                    {"missing", no_argument, nullptr, kMissing},
                                    {"strict", no_argument, nullptr, kStrict},
                                    {"help", no_argument, nullptr, 'h'},
                                    {"version", no_argument, nullptr, 'V'},
                                    {nullptr, 0, nullptr, 0}};
  opterr = 0;  // our own messages, one line each
  for (int c; (c = getopt_long(argc, argv, ":o:hV", kOptions, nullptr)) != -1;) {
    switch (c) {
      case 'o':
        options.output = optarg;
        break;
      case kText:
        options.text = optarg;
        break;
      case kVertical:
        options.vertical = true;
        break;
      case kGlyph:
        options.glyphSlot = SlotOfGlyphArgument(optarg);
        if (options.glyphSlot < 0)
          return UsageError("not a single-byte or JIS code, nor a character with a slot: %s",
                            optarg);
        break;
      case kMissing:
        options.missing = true;
        break;
      case kStrict:
        options.strict = true;
        break;
      case kBackground:
        if (strcmp(optarg, "white") != 0 && strcmp(optarg, "transparent") != 0)
          return UsageError("--background is white or transparent, not %s", optarg);
        options.whiteBackground = strcmp(optarg, "white") == 0;
        break;
      case 'h':
        fputs(kUsage, stdout);
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
  if (argc - optind != 1) return UsageError("give one .qpk file");
  options.file = argv[optind];
  if (options.text != nullptr && options.glyphSlot >= 0)
    return UsageError("--text or --glyph, not both");
  if (options.vertical && options.text == nullptr) return UsageError("--vertical goes with --text");
  if (options.strict && options.text == nullptr) return UsageError("--strict goes with --text");
  if (options.missing && (options.text != nullptr || options.glyphSlot >= 0 || options.output))
    return UsageError("--missing goes alone");
  if (options.text != nullptr && options.text[0] == '\0') return UsageError("the text is empty");
  return 0;
}

// The picture the options ask for; false after the reason.
bool MakeMask(FontSet& font, const ViewOptions& options, InkMask& mask) {
  if (options.text != nullptr) {
    Kanji_SetEncoding(&font, EncodingUtf8);
    if (TextMask(font, options.text, options.vertical, mask)) return true;
    Fail("cannot draw the text");
    return false;
  }
  const bool made =
      options.glyphSlot >= 0 ? GlyphMask(font, options.glyphSlot, mask) : SheetMask(font, mask);
  if (!made) Fail("out of memory");
  return made;
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
  if (options.output == nullptr) {
    PrintArt(mask, stdout);
  } else if (!WriteInkPng(mask, options.whiteBackground, options.output)) {
    return Fail("cannot write %s: %s", options.output, strerror(errno));
  }
  if (options.text == nullptr) return 0;
  Kanji_SetEncoding(&font, EncodingUtf8);
  return ReportUndrawn(font, options.text, stderr) > 0 && options.strict ? 1 : 0;
}

}  // namespace

int main(int argc, char** argv) {
  ViewOptions options;
  if (const int status = ParseOptions(argc, argv, options); status != 0) return status;
  FontSet* font = Kanji_CreateFontSetFromPacked(options.file);
  if (font == nullptr) return Fail("%s", Kanji_GetError());
  int status = View(*font, options);
  Kanji_DestroyFontSet(font);
  if (fflush(stdout) != 0 && status == 0)
    status = Fail("cannot write standard output: %s", strerror(errno));
  return status;
}
