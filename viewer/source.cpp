// SPDX-License-Identifier: MIT
// What the viewer looks at: a packed glyph file as it is, or a font as its
// conversion would pack it, through the converter's own library calls.
#include "kanji.h"
#include "output.h"
#include "platform.h"
#include "sheet.h"
#include "viewer.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

namespace {

constexpr size_t kHeaderBytes = 4;

// No font format starts like this: BDF is text, PCF, sfnt and gzip have
// other magic bytes, and none of them has three zero bytes after a byte
// from 1 to 32.
bool IsPackedHeader(const unsigned char* head, size_t length) {
  return length == kHeaderBytes && head[0] >= 1 && head[0] <= PackedMaxCellSize && head[1] == 0 &&
         head[2] == 0 && head[3] == 0;
}

// The header read to tell the kinds apart, and the file it came from.
struct PeekedFile {
  FILE* file;
  unsigned char head[kHeaderBytes];
  bool regular;
};

Viewed Refused(int status, std::string message) {
  return Viewed{nullptr, status, std::move(message)};
}

// The font library's reason for refusing a file this viewer could open, which
// was no .qpk either.
Viewed NeitherFontNorPacked() {
  return Refused(1, std::string(Kanji_GetError()) +
                        "; nor a .qpk file: its first 4 bytes give no cell size from 1 to 32");
}

// A font set from a whole packed file on `stream`; `name` is the file's name
// in messages.
Viewed DecodePacked(FILE* stream, const char* name) {
  FontSet* font = Kanji_CreateFontSetFromPackedStream(stream, name);
  return font != nullptr ? Viewed{font, 0, ""} : Refused(1, Kanji_GetError());
}

// A regular file is read again from its start; a pipe's header is gone from
// it, so the header and the rest of the pipe are put together in memory.
Viewed DecodePeeked(PeekedFile& peeked, const char* path) {
  if (peeked.regular) {
    if (fseek(peeked.file, 0, SEEK_SET) != 0)
      return Refused(1, PackedRefusalMessage(path, PackedRefusal::ReadFailed, errno));
    return DecodePacked(peeked.file, path);
  }
  std::vector<unsigned char> whole(peeked.head, peeked.head + kHeaderBytes);
  unsigned char block[65536];
  for (size_t got; (got = fread(block, 1, sizeof block, peeked.file)) != 0;)
    whole.insert(whole.end(), block, block + got);
  if (ferror(peeked.file))
    return Refused(1, PackedRefusalMessage(path, PackedRefusal::ReadFailed, errno));
  FILE* stream = StreamOfBytes(whole.data(), whole.size());
  if (stream == nullptr)
    return Refused(1, PackedRefusalMessage(path, PackedRefusal::NoMemory, ENOMEM));
  Viewed viewed = DecodePacked(stream, path);
  fclose(stream);
  return viewed;
}

// The cell size a font without -s is converted at, as tavrest takes it; 0
// after filling `refusal`.
int SizeOfFont(const char* path, Viewed& refusal) {
  const int size = Kanji_FontPixelSize(path);
  if (size < 0) refusal = NeitherFontNorPacked();
  if (size == 0)
    refusal = Refused(2, std::string(Kanji_GetError()) + "; give the cell size with -s");
  return std::max(size, 0);
}

// For a face past a font's last: its faces, a line each; empty otherwise.
std::string FacesLacking(const char* path, int face) {
  constexpr int kListed = 256;
  std::vector<FontFaceName> faces(kListed);
  const int count = face > 0 ? Kanji_ListFontFaces(path, faces.data(), kListed) : -1;
  std::string lines;
  for (int i = 0; count >= 0 && face >= count && i < std::min(count, kListed); ++i)
    lines += "\ntavrest-view: face " + std::to_string(i) + ": " + faces[i].family + ", " +
             faces[i].style;
  return lines;
}

// The fonts into an empty set, the second filling what the main one left.
Viewed LoadFonts(const ViewSource& source, int size) {
  FontSet* font = Kanji_CreateEmptyFontSet(size);
  if (font == nullptr) return Refused(1, "not enough memory for the font set");
  int loaded = 0;
  for (int i = 0; i < 2; ++i) {
    const char* path = i == 0 ? source.file : source.second;
    if (path == nullptr) continue;
    FontLoadReport report;
    const FontLoadOptions& options = i == 0 ? source.options : source.secondOptions;
    if (Kanji_LoadFont(font, path, &options, &report) != 0) {
      Kanji_DestroyFontSet(font);
      if (const std::string faces = FacesLacking(path, options.face); !faces.empty())
        return Refused(1, Kanji_GetError() + faces);
      return path == source.file ? NeitherFontNorPacked()
                                 : Refused(1, std::string("second font: ") + Kanji_GetError());
    }
    loaded += report.glyphsLoaded;
  }
  if (loaded > 0) return Viewed{font, 0, ""};
  Kanji_DestroyFontSet(font);
  return Refused(1, std::string("no glyph in ") + source.file +
                        (source.second != nullptr ? std::string(" or ") + source.second : ""));
}

// Every slot drawn into its cell, as tavrest fills its sheet.
bool FillSheet(GlyphSheet& sheet, const FontSet& font) {
  if (!CreateGlyphSheet(sheet, font.size)) return false;
  for (int slot = 0; slot < GlyphSlotCount; ++slot) {
    if (Kanji_GlyphRows(&font, slot) == nullptr) continue;
    SDL_Surface* surface = RenderGlyphSlot(font, slot);
    if (surface == nullptr) return false;
    CopyToSheetCell(sheet, surface, font.size, slot);
    SDL_FreeSurface(surface);
  }
  return true;
}

// The bytes tavrest would write as the .qpk of this font set.
bool PackedFileOf(const FontSet& font, std::vector<uint8_t>& file) {
  GlyphSheet sheet{0, 0, {}};
  PackedGlyphs packed{0, {}};
  return FillSheet(sheet, font) && PackGlyphSheet(packed, sheet, font.size) &&
         EncodePackedFile(packed.cellSize, packed.bytes, file);
}

// The font converted and read back as a .qpk, all in memory.
Viewed ConvertFont(const ViewSource& source, int size) {
  Viewed fonts = LoadFonts(source, size);
  if (fonts.font == nullptr) return fonts;
  Kanji_SetEncoding(fonts.font, EncodingShiftJis);  // as tavrest draws its sheet
  std::vector<uint8_t> file;
  const bool packed = PackedFileOf(*fonts.font, file);
  Kanji_DestroyFontSet(fonts.font);
  if (!packed) return Refused(1, std::string("cannot convert ") + source.file + ": out of memory");
  FILE* stream = StreamOfBytes(file.data(), file.size());
  if (stream == nullptr)
    return Refused(1, std::string("cannot convert ") + source.file + ": " + strerror(errno));
  Viewed viewed = DecodePacked(stream, source.file);
  fclose(stream);
  return viewed;
}

Viewed ViewFont(const ViewSource& source) {
  Viewed refusal;
  const int size = source.size != 0 ? source.size : SizeOfFont(source.file, refusal);
  if (size == 0) return refusal;
  for (int i = 0; i < 2; ++i)
    if (const FontLoadOptions& font = i == 0 ? source.options : source.secondOptions;
        font.baselineGiven != 0 && font.baseline > size)
      return Refused(2, std::string(i == 0 ? "--baseline " : "--second-baseline ") +
                            std::to_string(font.baseline) + " lies below the " +
                            std::to_string(size) + "-pixel cell (0 to " + std::to_string(size) +
                            ")");
  return ConvertFont(source, size);
}

}  // namespace

int PrintFaces(const char* path, FILE* out) {
  constexpr int kListed = 256;
  std::vector<FontFaceName> faces(kListed);
  const int count = Kanji_ListFontFaces(path, faces.data(), kListed);
  if (count < 0) {
    fprintf(stderr, "tavrest-view: %s\n", Kanji_GetError());
    return 1;
  }
  for (int i = 0; i < std::min(count, kListed); ++i)
    fprintf(out, "%d\t%s\t%s\n", i, faces[i].family, faces[i].style);
  return 0;
}

Viewed OpenViewed(const ViewSource& source) {
  constexpr FontLoadOptions kDefaults{};
  PeekedFile peeked{OpenStream(source.file, "rb"), {}, false};
  if (peeked.file == nullptr)
    return Refused(1, PackedRefusalMessage(source.file, PackedRefusal::CannotOpen, errno));
  const size_t got = fread(peeked.head, 1, kHeaderBytes, peeked.file);
  if (got < kHeaderBytes && ferror(peeked.file)) {
    const int error = errno;
    fclose(peeked.file);
    return Refused(1, PackedRefusalMessage(source.file, PackedRefusal::ReadFailed, error));
  }
  if (got == 0 && !ferror(peeked.file)) {
    fclose(peeked.file);
    return Refused(1, std::string(source.file) + ": empty file");
  }
  FileFacts facts;
  peeked.regular = FactsOfStream(peeked.file, facts) && facts.kind == FileKind::Regular;
  const bool regular = peeked.regular;
  if (IsPackedHeader(peeked.head, got)) {
    const bool loadOptions = memcmp(&source.options, &kDefaults, sizeof kDefaults) != 0 ||
                             memcmp(&source.secondOptions, &kDefaults, sizeof kDefaults) != 0;
    Viewed viewed =
        source.size != 0 || source.second != nullptr
            ? Refused(2, "-s and --second go with a font, not a .qpk file")
        : loadOptions
            ? Refused(2, "the baseline, face and rendering options go with a font, not a .qpk file")
            : DecodePeeked(peeked, source.file);
    fclose(peeked.file);
    return viewed;
  }
  fclose(peeked.file);
  // The font library opens fonts by name, and a pipe's first bytes are gone.
  if (!regular)
    return Refused(1, std::string(source.file) +
                          ": not a .qpk file, and fonts are read from files, not pipes");
  return ViewFont(source);
}
